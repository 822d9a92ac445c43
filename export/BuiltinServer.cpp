#include "export/BuiltinServer.h"

#include "platform/FilePath.h"

#include <QCoreApplication>
#include <workbook/workbook.h>

#include <list>
#include <optional>

namespace sheets {
namespace {

Error failure(const workbook::Error& e) { return Error(e.kind(), QString::fromStdString(e.description())); }

class BuiltinWorksheet : public Worksheet {
public:
    BuiltinWorksheet(workbook::Workbook& book, workbook::Sheet& sheet) : m_book(book), m_sheet(&sheet) {}

    QString name() const override { return QString::fromStdString(m_sheet->name()); }
    void setName(const QString& name) override
    {
        const std::optional<std::size_t> index = m_book.indexOf(m_sheet->name());
        if (!index)
            throw Error(QCoreApplication::translate("sheets", "工作表已不存在"));
        if (workbook::Error e = m_book.rename(*index, name.toStdString()))
            throw failure(e);
    }
    QString cellText(int row, int column) const override
    {
        return QString::fromStdString(m_sheet->text(row, column));
    }
    void setCellText(int row, int column, const QString& text) override
    {
        if (workbook::Error e = m_sheet->setText(row, column, text.toStdString()))
            throw failure(e);
    }
    void setCellNumber(int row, int column, double value) override
    {
        if (workbook::Error e = m_sheet->setNumber(row, column, value))
            throw failure(e);
    }
    workbook::Sheet& sheet() { return *m_sheet; }

private:
    workbook::Workbook& m_book;
    workbook::Sheet* m_sheet;
};

class BuiltinWorkbook : public Workbook {
public:
    explicit BuiltinWorkbook(workbook::Workbook book) : m_book(std::move(book)) {}

    int worksheetCount() const override { return int(m_book.sheetCount()); }
    Worksheet& worksheet(int index) override
    {
        if (index < 0 || index >= worksheetCount())
            throw Error(QCoreApplication::translate("sheets", "没有第 %1 个工作表").arg(index + 1));
        return wrap(m_book.sheet(std::size_t(index)));
    }
    Worksheet& worksheet(const QString& name) override
    {
        workbook::Sheet* sheet = m_book.findSheet(name.toStdString());
        if (!sheet)
            throw Error(QCoreApplication::translate("sheets", "工作簿中没有名为“%1”的工作表").arg(name));
        return wrap(*sheet);
    }
    Worksheet& addAfter(Worksheet& after) override
    {
        const std::optional<std::size_t> index = m_book.indexOf(after.name().toStdString());
        if (!index)
            throw Error(QCoreApplication::translate("sheets", "工作表已不存在"));
        // A new worksheet gets a free default name, as spreadsheet applications give one.
        QString name;
        for (int n = int(m_book.sheetCount()) + 1;; ++n) {
            name = QStringLiteral("Sheet%1").arg(n);
            if (!m_book.indexOf(name.toStdString()))
                break;
        }
        workbook::Result<workbook::Sheet*> added = m_book.addSheetAfter(*index, name.toStdString());
        if (!added)
            throw failure(added.error());
        return wrap(*added.value());
    }
    void save() override
    {
        if (workbook::Error e = m_book.save())
            throw failure(e);
    }
    void close(bool saveChanges) override
    {
        if (saveChanges)
            save();
    }

private:
    Worksheet& wrap(workbook::Sheet& sheet)
    {
        for (BuiltinWorksheet& w : m_sheets)
            if (&w.sheet() == &sheet)
                return w;
        return m_sheets.emplace_back(m_book, sheet);
    }

    workbook::Workbook m_book;
    std::list<BuiltinWorksheet> m_sheets; // stable addresses for the references handed out
};

class BuiltinApplication : public Application {
public:
    Workbook& open(const QString& path) override
    {
        workbook::Result<workbook::Workbook> book = workbook::Workbook::open(toFilePath(path));
        if (!book)
            throw failure(book.error());
        return m_books.emplace_back(std::move(book.value()));
    }
    void setVisible(bool) override {}
    void quit() override { m_books.clear(); }

private:
    std::list<BuiltinWorkbook> m_books;
};

} // namespace

std::unique_ptr<Application> createBuiltinApplication() { return std::make_unique<BuiltinApplication>(); }

} // namespace sheets
