#include "export/OfficeServer.h"

#include <QCoreApplication>
#include <list>
#include <vector>

namespace sheets {
namespace {

using latebound::Named;
using latebound::ObjectPtr;
using latebound::Value;

Value text(const QString& s) { return s.toStdU16String(); }

// Every call of the server goes through here, so a failure always arrives as Error with the
// server's description.
template <class F>
auto guarded(F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const latebound::Failure& e) {
        throw Error(QString::fromStdU16String(e.description()));
    }
}

// `what` names the object for the operator (a QT_TRANSLATE_NOOP of context "sheets").
ObjectPtr object(const Value& v, const char* what)
{
    if (const ObjectPtr* o = std::get_if<ObjectPtr>(&v); o && *o)
        return *o;
    throw Error(QCoreApplication::translate("sheets", "表格程序没有返回%1")
                    .arg(QCoreApplication::translate("sheets", what)));
}

// A cell's value as the import reads it: texts as they are, numbers in their usual form (up to
// 15 significant digits), booleans as the applications show them.
QString cellValueText(const Value& v)
{
    if (const std::u16string* s = std::get_if<std::u16string>(&v))
        return QString::fromStdU16String(*s);
    if (const double* d = std::get_if<double>(&v))
        return QString::number(*d, 'g', 15);
    if (const bool* b = std::get_if<bool>(&v))
        return *b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    return {};
}

class OfficeWorksheet : public Worksheet {
public:
    explicit OfficeWorksheet(ObjectPtr sheet) : m_sheet(std::move(sheet)) {}

    QString name() const override
    {
        return guarded([&] { return cellValueText(m_sheet->get(u"Name")); });
    }
    void setName(const QString& name) override
    {
        guarded([&] { m_sheet->put(u"Name", text(name)); });
    }
    QString cellText(int row, int column) const override
    {
        return guarded([&] { return cellValueText(cell(row, column)->get(u"Value")); });
    }
    void setCellText(int row, int column, const QString& value) override
    {
        guarded([&] { cell(row, column)->put(u"Value", text(value)); });
    }
    void setCellNumber(int row, int column, double value) override
    {
        guarded([&] { cell(row, column)->put(u"Value", value); });
    }
    const ObjectPtr& object() const { return m_sheet; }

private:
    ObjectPtr cell(int row, int column) const
    {
        if (!m_cells)
            m_cells = sheets::object(m_sheet->get(u"Cells"), QT_TRANSLATE_NOOP("sheets", "单元格"));
        const Value at[] = {double(row), double(column)};
        return sheets::object(m_cells->get(u"Item", at), QT_TRANSLATE_NOOP("sheets", "单元格"));
    }

    ObjectPtr m_sheet;
    mutable ObjectPtr m_cells;
};

class OfficeWorkbook : public Workbook {
public:
    explicit OfficeWorkbook(ObjectPtr book) : m_book(std::move(book)) {}

    int worksheetCount() const override
    {
        return guarded([&] {
            const Value count = worksheets()->get(u"Count");
            const double* n = std::get_if<double>(&count);
            if (!n)
                throw Error(QCoreApplication::translate("sheets", "表格程序没有返回工作表的数目"));
            return int(*n);
        });
    }
    Worksheet& worksheet(int index) override
    {
        const Value at[] = {double(index + 1)};
        return keep(guarded(
            [&] { return sheets::object(worksheets()->get(u"Item", at), QT_TRANSLATE_NOOP("sheets", "工作表")); }));
    }
    Worksheet& worksheet(const QString& name) override
    {
        const Value at[] = {text(name)};
        return keep(guarded(
            [&] { return sheets::object(worksheets()->get(u"Item", at), QT_TRANSLATE_NOOP("sheets", "工作表")); }));
    }
    Worksheet& addAfter(Worksheet& after) override
    {
        auto* sheet = dynamic_cast<OfficeWorksheet*>(&after);
        if (!sheet)
            throw Error(QCoreApplication::translate("sheets", "工作表不属于这个工作簿"));
        const Named where[] = {{u"After", sheet->object()}};
        return keep(guarded([&] {
            return sheets::object(worksheets()->call(u"Add", {}, where), QT_TRANSLATE_NOOP("sheets", "工作表"));
        }));
    }
    void save() override
    {
        guarded([&] { m_book->call(u"Save"); });
    }
    void close(bool saveChanges) override
    {
        // Closing without saving passes no argument, as the editor closes under Excel.
        const Named save[] = {{u"SaveChanges", true}};
        guarded([&] { m_book->call(u"Close", {}, saveChanges ? std::span<const Named>(save) : std::span<const Named>()); });
    }
    // Releases everything this workbook holds of the server.
    void release()
    {
        m_sheets.clear();
        m_worksheets.reset();
        m_book.reset();
    }

private:
    const ObjectPtr& worksheets() const
    {
        if (!m_worksheets)
            m_worksheets =
                sheets::object(m_book->get(u"Worksheets"), QT_TRANSLATE_NOOP("sheets", "工作表集合"));
        return m_worksheets;
    }
    Worksheet& keep(ObjectPtr sheet) { return m_sheets.emplace_back(std::move(sheet)); }

    ObjectPtr m_book;
    mutable ObjectPtr m_worksheets;
    std::list<OfficeWorksheet> m_sheets; // stable addresses for the references handed out
};

class OfficeApplication : public Application {
public:
    explicit OfficeApplication(ObjectPtr app) : m_app(std::move(app)) {}
    ~OfficeApplication() override { release(); }

    Workbook& open(const QString& path) override
    {
        // The path travels as UTF-16 to the server, whatever the system's code page.
        const Value file[] = {text(path)};
        ObjectPtr book = guarded([&] {
            if (!m_workbooks)
                m_workbooks = object(m_app->get(u"Workbooks"), QT_TRANSLATE_NOOP("sheets", "工作簿集合"));
            return object(m_workbooks->call(u"Open", file), QT_TRANSLATE_NOOP("sheets", "工作簿"));
        });
        return m_books.emplace_back(std::move(book));
    }
    void setVisible(bool visible) override
    {
        guarded([&] { m_app->put(u"Visible", visible); });
    }
    void quit() override
    {
        if (!m_app)
            return;
        try {
            guarded([&] { m_app->call(u"Quit"); });
        } catch (...) {
            release();
            throw;
        }
        release();
    }

private:
    // Every object of the server is let go, the application last, so nothing keeps it running.
    void release()
    {
        for (OfficeWorkbook& b : m_books)
            b.release();
        m_books.clear();
        m_workbooks.reset();
        m_app.reset();
    }

    ObjectPtr m_app;
    ObjectPtr m_workbooks;
    std::list<OfficeWorkbook> m_books;
};

} // namespace

std::unique_ptr<Application> createOfficeApplication(latebound::Factory& factory, const QString& identifier)
{
    ObjectPtr app = guarded([&] { return factory.create(identifier.toStdU16String()); });
    if (!app)
        throw Error(QCoreApplication::translate("sheets", "没有可用的表格程序：%1").arg(identifier));
    return std::make_unique<OfficeApplication>(std::move(app));
}

void addOfficeServers(Servers& servers, latebound::Factory& factory)
{
    for (const QString& id : {kExcel, kWps})
        servers.add(id, [&factory, id] { return createOfficeApplication(factory, id); });
}

} // namespace sheets
