#include "tests/support/RecordingServer.h"

#include <QFile>
#include <list>

namespace {

class FakeSheet : public sheets::Worksheet {
public:
    FakeSheet(RecordingServer& server, RecordingServer::Book& book, size_t index)
        : m_server(server), m_book(book), m_index(index) {}
    QString name() const override { return sheet().name; }
    void setName(const QString& name) override
    {
        m_server.record("name " + name);
        if (name.isEmpty())
            throw sheets::Error("empty name");
        for (size_t i = 0; i < m_book.size(); ++i)
            if (i != m_index && m_book[i].name.compare(name, Qt::CaseInsensitive) == 0)
                throw sheets::Error("duplicate name");
        sheet().name = name;
    }
    QString cellText(int row, int column) const override
    {
        m_server.record(QStringLiteral("read %1 %2").arg(row).arg(column));
        const auto it = sheet().cells.find({row, column});
        if (it == sheet().cells.end())
            return {};
        return it->second.typeId() == QMetaType::Double ? QString::number(it->second.toDouble())
                                                        : it->second.toString();
    }
    void setCellText(int row, int column, const QString& text) override
    {
        m_server.record(QStringLiteral("text %1 %2 %3").arg(row).arg(column).arg(text));
        sheet().cells[{row, column}] = text;
    }
    void setCellNumber(int row, int column, double value) override
    {
        m_server.record(QStringLiteral("number %1 %2 %3").arg(row).arg(column).arg(value));
        sheet().cells[{row, column}] = value;
    }
    size_t index() const { return m_index; }
    void shiftFrom(size_t inserted)
    {
        if (m_index >= inserted)
            ++m_index;
    }

private:
    RecordingServer::Sheet& sheet() const { return m_book[m_index]; }
    RecordingServer& m_server;
    RecordingServer::Book& m_book;
    size_t m_index;
};

class FakeBook : public sheets::Workbook {
public:
    FakeBook(RecordingServer& server, QString path, RecordingServer::Book content)
        : m_server(server), m_path(std::move(path)), m_book(std::move(content)) {}
    int worksheetCount() const override { return int(m_book.size()); }
    sheets::Worksheet& worksheet(int index) override
    {
        m_server.record(QStringLiteral("sheet# %1").arg(index));
        if (index < 0 || size_t(index) >= m_book.size())
            throw sheets::Error("no such sheet");
        return wrap(size_t(index));
    }
    sheets::Worksheet& worksheet(const QString& name) override
    {
        m_server.record("sheet " + name);
        for (size_t i = 0; i < m_book.size(); ++i)
            if (m_book[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return wrap(i);
        throw sheets::Error("no sheet " + name);
    }
    sheets::Worksheet& addAfter(sheets::Worksheet& after) override
    {
        m_server.record("add after " + after.name());
        const size_t at = static_cast<FakeSheet&>(after).index() + 1;
        m_book.insert(m_book.begin() + qsizetype(at), RecordingServer::Sheet{QStringLiteral("Sheet%1").arg(m_book.size() + 1), {}});
        for (FakeSheet& s : m_sheets)
            s.shiftFrom(at);
        return m_sheets.emplace_back(m_server, m_book, at);
    }
    void save() override
    {
        m_server.record("save");
        m_server.saved[m_path] = m_book;
    }
    void close(bool saveChanges) override
    {
        m_server.record(QStringLiteral("close %1").arg(saveChanges ? 1 : 0));
        if (saveChanges)
            m_server.saved[m_path] = m_book;
    }

private:
    sheets::Worksheet& wrap(size_t index)
    {
        for (FakeSheet& s : m_sheets)
            if (s.index() == index)
                return s;
        return m_sheets.emplace_back(m_server, m_book, index);
    }
    RecordingServer& m_server;
    QString m_path;
    RecordingServer::Book m_book;
    std::list<FakeSheet> m_sheets;
};

class FakeApplication : public sheets::Application {
public:
    explicit FakeApplication(RecordingServer& server) : m_server(server) {}
    sheets::Workbook& open(const QString& path) override
    {
        m_server.record("open " + path);
        if (m_server.files.contains(path))
            return m_books.emplace_back(m_server, path, m_server.files.value(path));
        if (!QFile::exists(path))
            throw sheets::Error("cannot open " + path);
        return m_books.emplace_back(m_server, path, RecordingServer::Book{{QStringLiteral("Sheet1"), {}}});
    }
    void setVisible(bool visible) override { m_server.record(QStringLiteral("visible %1").arg(visible ? 1 : 0)); }
    void quit() override
    {
        m_server.record("quit");
        m_books.clear();
    }

private:
    RecordingServer& m_server;
    std::list<FakeBook> m_books;
};

} // namespace

void RecordingServer::record(const QString& entry)
{
    log.append(entry);
    if (onCall)
        onCall(entry);
    if (failOn != m_counting) {
        m_counting = failOn;
        m_matches = 0;
    }
    if (!failOn.isEmpty() && entry.startsWith(failOn) && ++m_matches == failAt)
        throw sheets::Error("scripted failure at " + entry);
}

void RecordingServer::install(sheets::Servers& servers, const QString& identifier)
{
    servers.add(identifier, [this, identifier]() -> std::unique_ptr<sheets::Application> {
        record("create " + identifier);
        return std::make_unique<FakeApplication>(*this);
    });
}
