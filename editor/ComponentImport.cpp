#include "editor/ComponentImport.h"

#include "editor/ComponentList.h"
#include "export/Automation.h"
#include "export/FailureText.h"

#include <QCoreApplication>

ComponentImport::ComponentImport(const sheets::Servers& servers) : m_servers(servers) {}

ComponentImport::~ComponentImport() { release(); }

QString ComponentImport::failureText(const QString& reason)
{
    return QCoreApplication::translate("ComponentImport", "Varnok提示：%1").arg(reason) + QStringLiteral("\r\n") +
           QCoreApplication::translate("ComponentImport", "请稍后重试！");
}

std::optional<QString> ComponentImport::open(const QString& server, const QString& path, Failures failures)
{
    release();
    try {
        m_app = m_servers.create(server);
        if (!m_app)
            throw sheets::Error(QStringLiteral("no application"));
    } catch (const sheets::Error& e) {
        m_app.reset();
        return failureText(FailureText::reason(e));
    }
    // Each step runs on its own; when failures are reported the first one ends the import. The
    // steps after the opening need the workbook.
    std::optional<QString> failure;
    const auto step = [&](auto&& action) {
        if (failure)
            return;
        try {
            action();
        } catch (const sheets::Error& e) {
            if (failures == Failures::Report)
                failure = failureText(FailureText::reason(e));
        }
    };
    step([&] { m_book = &m_app->open(path); });
    step([&] { m_app->setVisible(false); });
    step([&] {
        if (!m_book)
            throw sheets::Error(QStringLiteral("no workbook"));
        for (int i = 0; i < m_book->worksheetCount(); ++i)
            m_sheets << m_book->worksheet(i).name();
    });
    if (failure)
        release();
    return failure;
}

std::optional<QString> ComponentImport::fill(PreviewGrid& grid, int index)
{
    try {
        if (!m_book)
            throw sheets::Error(QStringLiteral("no workbook"));
        if (index < 0 || index >= m_book->worksheetCount())
            throw sheets::Error(workbook::ErrorKind::Damaged, QStringLiteral("no worksheet"));
        ComponentList::fillFromSheet(grid, m_book->worksheet(index));
    } catch (const sheets::Error& e) {
        return failureText(FailureText::reason(e));
    }
    return std::nullopt;
}

void ComponentImport::release(bool save)
{
    m_sheets.clear();
    if (!m_app)
        return;
    try {
        if (m_book)
            m_book->close(save);
    } catch (const sheets::Error&) {
    }
    try {
        m_app->quit();
    } catch (const sheets::Error&) {
    }
    m_book = nullptr;
    m_app.reset();
}
