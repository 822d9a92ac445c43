#include "export/SaveCommand.h"

#include "export/Automation.h"
#include "export/CsvWriter.h"
#include "export/XlsxExport.h"
#include "export/FailureText.h"
#include "export/SheetWriter.h"
#include "grids/PreviewGrid.h"
#include "platform/FileDialogs.h"
#include "platform/Messenger.h"
#include "serial/CommandExchange.h"
#include "platform/FilePath.h"
#include "platform/SupportLog.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <workbook/workbook.h>

namespace {
// .xls through the template as always; .xlsx and .csv for grids of any length.
QString filter() { return SaveCommand::tr("EXCEL 97-2003 工作簿|*.xls|EXCEL 工作簿|*.xlsx|CSV（逗号分隔）|*.csv"); }

bool hasSuffix(const QString& path, const char* suffix)
{
    const QLatin1String s(suffix);
    return path.size() > s.size() && path.endsWith(s, Qt::CaseInsensitive);
}
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
    if (m_saving)
        return; // the save in progress ends first
    if (m_c.exchange.replyDue()) {
        // A reply still due would replace the preview while the operator names its file.
        m_c.messenger.information(CommandExchange::busyText());
        return;
    }
    m_c.exchange.gate().lockControls();
    if (m_c.grid.rows() < 2) {
        m_c.messenger.information(tr("请先预览文件后，再保存！"));
        m_c.exchange.gate().unlockControls();
        return;
    }
    m_c.exchange.clearReplied();
    const std::optional<QString> node = m_c.selectedText();
    if (!node) {
        m_c.exchange.gate().unlockControls(); // no node to name the file after: nothing to propose, nothing written
        return;
    }
    const std::optional<QString> chosen =
        m_c.dialogs.saveFileName(filter(), SheetWriter::sanitizeName(*node + QStringLiteral(".xls")));
    if (!chosen) {
        m_c.exchange.gate().unlockControls(); // cancelled
        return;
    }
    if (chosen->isEmpty()) {
        m_c.messenger.information(tr("请填写正确的文件名称！"));
        m_c.exchange.commandWait();
        m_c.exchange.gate().unlockControls();
        return;
    }
    // The chosen type decides the writer: .xlsx and .csv by the built-in writers, anything
    // else is an .xls through the template.
    if (hasSuffix(*chosen, ".xlsx") || hasSuffix(*chosen, ".csv")) {
        SaveFileName = *chosen;
        saveStreamed();
        return;
    }
    if (const std::optional<SheetWriter::TooLong> tooLong = SheetWriter::tooLongForXls(m_c.grid)) {
        // Refused before the file is touched.
        m_c.messenger.information(FailureText::tooManyRows(tooLong->name, tooLong->rows));
        m_c.exchange.gate().unlockControls();
        return;
    }
    const QString xls = xlsPath(*chosen);
    // The dialog asked before replacing the name it was given; the ending added here may name
    // another file that is there already, and the operator is asked about that one too.
    if (xls != *chosen && QFileInfo::exists(xls) &&
        !m_c.messenger.confirm(tr("%1 已存在。\n要替换它吗？").arg(QFileInfo(xls).fileName()))) {
        m_c.exchange.gate().unlockControls();
        return;
    }
    SaveFileName = xls;

    if (IsExistExcel())
        SaveExcel();
    else if (IsExistWPS())
        SaveWps();
    else if (m_c.servers.exists(sheets::kBuiltin))
        SaveBuiltin();
    else {
        m_c.messenger.information(tr("你的电脑没有安装MS-OFFICE和WPS软件，无法保存EXCEL格式！"));
        m_c.exchange.gate().unlockControls();
    }
}

std::optional<QString> SaveCommand::copyTemplate(const QString& templatePath, const QString& target, QString* work)
{
    QFile source(templatePath);
    if (!source.open(QIODevice::ReadOnly))
        return FailureText::templateMissing();
    const QByteArray bytes = source.readAll();
    if (bytes.isEmpty())
        return FailureText::templateMissing();
    // The work copy is a temporary file of the target's own (an .xls, so that every server opens
    // it): refused for a target that cannot be replaced, and never shared with another save.
    const std::filesystem::path to = toFilePath(QDir::toNativeSeparators(target));
    workbook::Result<workbook::TemporaryFile> copy = workbook::createTemporaryFor(to, ".xls");
    if (!copy)
        return FailureText::reason(copy.error());
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), copy->file) == size_t(bytes.size()) &&
                         std::fflush(copy->file) == 0;
    int err = errno ? errno : EIO;
    const bool closed = std::fclose(copy->file) == 0;
    if (written && !closed)
        err = errno ? errno : EIO;
    const QString path = QString::fromStdU16String(copy->path.u16string());
    if (!written || !closed) {
        QFile::remove(path);
        return FailureText::reason(workbook::errorKindOfErrno(err), QString::fromLocal8Bit(std::strerror(err)));
    }
    *work = QDir::fromNativeSeparators(path);
    if (target.contains(QLatin1Char('\\')))
        *work = QDir::toNativeSeparators(*work);
    return std::nullopt;
}

SaveProgress::~SaveProgress() = default;

void SaveCommand::saveStreamed()
{
    // A grid of a million rows takes seconds to write: the writer runs on a thread of its own
    // while the window's event loop goes on (repaints, the progress dialog and its cancel).
    // The grid does not change meanwhile: the commands are disabled and the line is idle.
    if (m_c.exchange.lineBusy()) {
        // A reply came due while the file was being chosen: it would change the grid under
        // the writer.
        m_c.messenger.information(CommandExchange::busyText());
        m_c.exchange.gate().unlockControls();
        return;
    }
    const QString path = SaveFileName;
    const bool csv = hasSuffix(path, ".csv");
    const PreviewGrid& grid = m_c.grid;
    std::atomic<qint64> polls{0};
    std::atomic<bool> cancel{false};
    // The writers ask every 4096 rows (and once at the end) whether to stop.
    const std::function<bool()> hook = [&] {
        ++polls;
        return cancel.load();
    };
    std::optional<QString> failure;
    QThread* worker = QThread::create([&] {
        if (csv) {
            QString error;
            if (!CsvWriter::save(grid, path, &error, hook))
                failure = error;
        } else {
            failure = XlsxExport::save(grid, path, hook);
        }
    });
    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!m_c.progress)
            return;
        m_c.progress->advance(std::min<qint64>(polls.load() * 4096, grid.rows()));
        if (m_c.progress->cancelRequested())
            cancel = true;
    });
    m_saving = true;
    if (m_c.progress)
        m_c.progress->start(path, grid.rows());
    worker->start();
    tick.start();
    if (!worker->isFinished())
        loop.exec();
    worker->wait();
    delete worker;
    tick.stop();
    if (m_c.progress)
        m_c.progress->finish();
    m_saving = false;
    m_c.exchange.gate().unlockControls();
    if (!failure)
        m_c.messenger.information(successText());
    else if (cancel.load())
        m_c.messenger.information(FailureText::saveCancelled());
    else
        m_c.messenger.information(failureMessage(*failure));
}

void SaveCommand::SaveExcel() { saveWith(sheets::kExcel, FailurePath::CloseAndReport); }

void SaveCommand::SaveWps() { saveWith(sheets::kWps, FailurePath::SaveWhatIsThere); }

void SaveCommand::SaveBuiltin() { saveWith(sheets::kBuiltin, FailurePath::CloseAndReport); }

void SaveCommand::saveWith(const QString& server, FailurePath failurePath)
{
    const std::optional<Failure> failure =
        saveAs(m_c.grid, m_c.servers, server, failurePath, m_c.templatePath, SaveFileName);
    if (!failure) {
        m_c.messenger.information(successText());
        m_c.exchange.gate().unlockControls();
        return;
    }
    // The buttons are usable again before the failure is reported.
    m_c.exchange.gate().unlockControls();
    if (!failure->quiet)
        m_c.messenger.information(failureMessage(failure->reason));
}

std::optional<SaveCommand::Failure> SaveCommand::saveAs(const PreviewGrid& grid, const sheets::Servers& servers,
                                                        const QString& server, FailurePath failurePath,
                                                        const QString& templatePath, const QString& target,
                                                        const std::function<bool()>& stopRequested)
{
    // The servers write a copy of the template beside the chosen file; only a copy that was
    // written in full replaces it, so a failure (or the program being killed) never costs the
    // user the file that was there.
    QString work;
    if (const std::optional<QString> why = copyTemplate(templatePath, target, &work))
        return Failure{*why};
    const auto discardWork = [&] { QFile::remove(work); };
    std::unique_ptr<sheets::Application> app;
    sheets::Workbook* book = nullptr;
    QString why;
    try {
        app = servers.create(server);
        SheetWriter::write(grid, *app, work, book);
        app->quit();
        app.reset();
        if (stopRequested && stopRequested()) {
            discardWork();
            return Failure{FailureText::saveCancelled()};
        }
        if (workbook::Error e = workbook::replaceFile(toFilePath(work), toFilePath(target))) {
            discardWork();
            return Failure{FailureText::reason(e)};
        }
        // Which spreadsheet program wrote a workbook is the first thing support asks.
        qCInfo(logFiles).noquote() << "saved" << target << "through" << server;
        return std::nullopt;
    } catch (const sheets::Error& e) {
        why = FailureText::reason(e);
        qCWarning(logFiles).noquote() << "saving" << target << "through" << server << "failed:" << why;
    }
    // Failure path; a step that fails in turn ends it quietly. What the server saved of the
    // work copy is discarded either way.
    try {
        if (failurePath == FailurePath::CloseAndReport) {
            if (!app)
                throw sheets::Error(QStringLiteral("no application"));
            app->quit();
        } else {
            if (!book)
                throw sheets::Error(QStringLiteral("no workbook"));
            book->save();
            book->close(true);
            app->quit();
        }
        discardWork();
        return Failure{why};
    } catch (const sheets::Error&) {
        discardWork();
        return Failure{why, true};
    }
}

QString SaveCommand::failureMessage(const QString& reason) { return failureText() + QLatin1Char('\n') + reason; }
