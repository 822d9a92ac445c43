// The sync command: the archive synchronised with the office database, as the window's 同步到办公室
// 数据库 does, for a cron job: the office's settings shared with the window (or --office), the
// progress on standard error, the result and the conflicts on standard output, and an exit code
// that tells a server out of reach (11) from every other failure of the office (12).
#include "cli/ArchiveCommands.h"

#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "cli/Console.h"
#include "cli/Progress.h"
#include "office/OfficeSettings.h"
#include "office/PgConnection.h"
#include "office/Sync.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace cli {

namespace {

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::ArchiveSync)
};

// What a step of the sync is doing, for the progress line.
QString stepText(office::SyncProgress::Step step)
{
    switch (step) {
    case office::SyncProgress::Connecting: return Texts::tr("正在连接办公室数据库");
    case office::SyncProgress::Register: return Texts::tr("正在上传测点登记");
    case office::SyncProgress::Readings: return Texts::tr("正在上传读数");
    case office::SyncProgress::Versions: return Texts::tr("正在上传标定、触发值、屏蔽和确认");
    case office::SyncProgress::Pulling: return Texts::tr("正在取回办公室的数据");
    case office::SyncProgress::Finished: break;
    }
    return {};
}

// How to set the office up, for a sync that finds none.
QString notConfiguredText(const QString& settingsFile)
{
    const QString where = settingsFile.isEmpty()
                            ? Texts::tr("请在窗口的“设置 → 办公室数据库设置…”中填写连接，")
                            : Texts::tr("设置文件“%1”中没有连接；请在其中写入 office/connection（连接字符串）或 "
                                        "office/service（服务名），")
                                  .arg(QDir::toNativeSeparators(settingsFile));
    return Texts::tr("尚未设置办公室数据库，未同步。") + where +
           Texts::tr("或用 --office 给出连接字符串，如 --office \"host=office.example dbname=ktm520 user=alice "
                     "sslmode=verify-full\"；密码放在 ~/.pgpass 中。");
}

} // namespace

int ArchiveCommands::sync()
{
    // Where the office is: the settings the window keeps (or the file named), a connection typed
    // on the line instead of theirs.
    if (!m_o.officeSettings.isEmpty() && !QFileInfo::exists(m_o.officeSettings)) {
        m_console.error(Texts::tr("办公室数据库设置文件“%1”不存在。").arg(QDir::toNativeSeparators(m_o.officeSettings)));
        return UsageError;
    }
    office::Settings settings = office::loadSettings(m_o.officeSettings);
    if (!m_o.office.isEmpty()) {
        settings.connection = m_o.office;
        settings.service.clear();
        if (const QString problem = office::settingsProblem(settings); !problem.isEmpty()) {
            m_console.error(QStringLiteral("--office: ") + problem);
            return UsageError;
        }
    }
    if (!settings.configured()) {
        m_console.error(notConfiguredText(m_o.officeSettings));
        return OfficeFailed;
    }
    if (const QString problem = office::settingsProblem(settings); !problem.isEmpty()) {
        m_console.error(problem);
        return OfficeFailed;
    }
    // A mistyped --archive would be a new, empty archive made only to pull the office into it.
    if (!m_o.archivePath.isEmpty() && !QFileInfo::exists(m_o.archivePath)) {
        m_console.error(Texts::tr("档案“%1”不存在，未同步。").arg(QDir::toNativeSeparators(m_o.archivePath)));
        return ArchiveFailed;
    }
    archive::Recorder recorder(archivePath(m_o));
    archive::Archive* a = openArchive(recorder);
    if (!a)
        return ArchiveFailed;

    Progress progress(m_console);
    office::SyncProgress::Step shown = office::SyncProgress::Finished;
    office::SyncOptions options;
    options.followedSites = settings.followedSites;
    options.pull = !m_o.noPull;
    options.cancelled = m_stopRequested;
    options.progress = [&](const office::SyncProgress& p) {
        if (p.step != shown) {
            progress.end(); // the step before keeps its line
            shown = p.step;
        }
        if (p.step == office::SyncProgress::Finished)
            return;
        if (p.total > 0)
            progress.steps(stepText(p.step), p.done, p.total);
        else
            m_console.progress(stepText(p.step) + QStringLiteral("…"));
    };
    office::Failure failure;
    const std::optional<office::SyncResult> result =
        office::synchronise(*a, office::conninfo(settings), options, &failure);
    progress.end();

    if (!result) {
        if (failure.kind == office::FailureKind::Cancelled || m_stopRequested()) {
            m_console.error(office::failureText(office::Failure{office::FailureKind::Cancelled, {}}));
            return Interrupted;
        }
        if (failure.kind == office::FailureKind::NotConfigured) {
            m_console.error(notConfiguredText(m_o.officeSettings));
            return OfficeFailed;
        }
        m_console.error(office::failureText(failure));
        if (failure.kind == office::FailureKind::Authentication)
            m_console.error(Texts::tr("命令行的密码取自 ~/.pgpass（或 PGPASSFILE 指定的文件）或 PGPASSWORD，"
                                      "不读取窗口保存在系统密钥存储中的密码。"));
        switch (failure.kind) {
        case office::FailureKind::Unreachable: return OfficeUnreachable;
        case office::FailureKind::Local: return ArchiveFailed;
        default: return OfficeFailed;
        }
    }

    m_console.out(office::resultText(*result) + QLatin1Char('\n'));
    const QStringList conflicts = office::conflictTexts(*result);
    if (!conflicts.isEmpty()) {
        m_console.out(Texts::tr("冲突 %1 处（均已保存在办公室数据库中，以较晚的修改为准）：").arg(conflicts.size()) +
                      QLatin1Char('\n'));
        for (const QString& conflict : conflicts)
            m_console.out(QStringLiteral("- ") + conflict + QLatin1Char('\n'));
    }
    // A user who may only read sends nothing: a cron job's mail must say that the readings
    // still wait, although the sync itself went well.
    if (result->readOnly && result->readingsWaiting > 0)
        m_console.error(Texts::tr("此用户只能读取办公室数据库，未上传任何内容：%1。")
                            .arg(office::waitingText(result->readingsWaiting)));
    return Success;
}

} // namespace cli
