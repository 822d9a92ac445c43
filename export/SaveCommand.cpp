#include "export/SaveCommand.h"

#include "export/Automation.h"
#include "export/SheetWriter.h"
#include "grids/PreviewGrid.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"
#include "serial/CommandExchange.h"

#include <QFile>
#include <workbook/workbook.h>

namespace {
const QString kFilter = QStringLiteral("*.xls|*.xls|*.txt");
} // namespace

SaveCommand::SaveCommand(Context context) : m_c(std::move(context)) {}

bool SaveCommand::IsExistExcel() const { return m_c.servers.exists(QStringLiteral("EXCEL.Application")); }

bool SaveCommand::IsExistWPS() const { return m_c.servers.exists(sheets::kWps); }

QString SaveCommand::xlsPath(const QString& chosen)
{
    const qsizetype slash = std::max(chosen.lastIndexOf(QLatin1Char('/')), chosen.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = chosen.lastIndexOf(QLatin1Char('.'));
    const qsizetype suffix = chosen.size() - dot - 1;
    if (dot > slash + 1 && suffix >= 1 && suffix <= 4)
        return chosen.left(dot) + QStringLiteral(".xls");
    return chosen + QStringLiteral(".xls");
}

void SaveCommand::Command4_Click()
{
    m_c.host.ComFalse();
    if (m_c.grid.rows() < 2) {
        m_c.messenger.information(QStringLiteral("请先预览文件后，再保存！"));
        m_c.host.ComEnable();
        return;
    }
    m_c.exchange.Replied = 0;
    const std::optional<QString> node = m_c.selectedText();
    if (!node) {
        m_c.host.ComEnable(); // no node to name the file after: nothing to propose, nothing written
        return;
    }
    const std::optional<QString> chosen =
        m_c.dialogs.saveFileName(kFilter, SheetWriter::sanitizeName(*node + QStringLiteral(".xls")));
    if (!chosen) {
        m_c.host.ComEnable(); // cancelled
        return;
    }
    if (chosen->isEmpty()) {
        m_c.messenger.information(QStringLiteral("请填写正确的文件名称！"));
        m_c.exchange.commandWait();
        m_c.host.ComEnable();
        return;
    }
    SaveFileName = xlsPath(*chosen);

    if (IsExistExcel())
        SaveExcel();
    else if (IsExistWPS())
        SaveWps();
    else if (m_c.servers.exists(sheets::kBuiltin))
        SaveBuiltin();
    else {
        m_c.messenger.information(QStringLiteral("你的电脑没有安装MS-OFFICE和WPS软件，无法保存EXCEL格式！"));
        m_c.host.ComEnable();
    }
}

bool SaveCommand::copyTemplate()
{
    // The template replaces whatever is at the path in one step; if it cannot (template missing,
    // target locked) nothing is written at all.
    QFile source(m_c.templatePath);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (bytes.isEmpty())
        return false;
    return !workbook::writeFileAtomically(QFile::encodeName(SaveFileName).toStdString(),
                                          std::string_view(bytes.constData(), size_t(bytes.size())));
}

void SaveCommand::SaveExcel() { saveWith(sheets::kExcel, FailurePath::CloseAndReport); }

void SaveCommand::SaveWps() { saveWith(sheets::kWps, FailurePath::SaveWhatIsThere); }

void SaveCommand::SaveBuiltin() { saveWith(sheets::kBuiltin, FailurePath::CloseAndReport); }

void SaveCommand::saveWith(const QString& server, FailurePath failurePath)
{
    if (!copyTemplate()) {
        m_c.messenger.information(kFailure);
        m_c.host.ComEnable();
        return;
    }
    std::unique_ptr<sheets::Application> app;
    sheets::Workbook* book = nullptr;
    try {
        app = m_c.servers.create(server);
        SheetWriter::write(m_c.grid, *app, SaveFileName, book);
        app->quit();
        app.reset();
        m_c.messenger.information(kSuccess);
        m_c.host.ComEnable();
        return;
    } catch (const sheets::Error&) {
    }
    // Failure path; a step that fails in turn ends it silently, with the buttons usable.
    try {
        if (failurePath == FailurePath::CloseAndReport) {
            m_c.host.ComEnable();
            if (!app)
                throw sheets::Error(QStringLiteral("no application"));
            app->quit();
            m_c.messenger.information(kFailure);
        } else {
            if (!book)
                throw sheets::Error(QStringLiteral("no workbook"));
            book->save();
            book->close(true);
            app->quit();
            m_c.host.ComEnable();
            m_c.messenger.information(kFailure);
        }
    } catch (const sheets::Error&) {
        m_c.host.ComEnable();
    }
}
