#include "office/OfficeSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTextStream>
#include <map>
#include <memory>

#ifdef KTM_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

#ifdef KTM_HAVE_KEYCHAIN
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>
#endif

namespace office {

namespace {

QString tr(const char* source) { return QCoreApplication::translate("Office", source); }

const QString kConnectionKey = QStringLiteral("office/connection");
const QString kServiceKey = QStringLiteral("office/service");
const QString kFollowedSitesKey = QStringLiteral("office/followedSites");
const QString kSyncAfterDownloadKey = QStringLiteral("office/syncAfterDownload");

std::unique_ptr<QSettings> openSettings(const QString& path)
{
    if (!path.isEmpty())
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnok"),
                                       QStringLiteral("ktm520-office"));
}

using Options = std::map<QString, QString>;

// The options a connection string or URI sets (those with a value); nullopt and `why` when libpq
// cannot read it.
std::optional<Options> parsedOptions(const QString& text, QString* why = nullptr)
{
    Options options;
#ifdef KTM_HAVE_LIBPQ
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(text.toUtf8().constData(), &error);
    if (!parsed) {
        if (why)
            *why = error ? QString::fromLocal8Bit(error).trimmed() : QString();
        PQfreemem(error);
        return std::nullopt;
    }
    for (PQconninfoOption* o = parsed; o->keyword; ++o)
        if (o->val && o->val[0] != '\0')
            options[QString::fromUtf8(o->keyword)] = QString::fromUtf8(o->val);
    PQconninfoFree(parsed);
#else
    // Without libpq nothing connects; the string is still read roughly for the dialog: its
    // "key=value" words, and a URI's password.
    static const QRegularExpression word(QStringLiteral(R"((\w+)\s*=\s*('(?:[^'\\]|\\.)*'|\S+))"));
    for (auto match = word.globalMatch(text); match.hasNext();) {
        const auto m = match.next();
        QString value = m.captured(2);
        if (value.startsWith(QLatin1Char('\'')))
            value = value.mid(1, value.size() - 2);
        options[m.captured(1)] = value;
    }
    static const QRegularExpression uriPassword(QStringLiteral(R"(^postgres(?:ql)?://[^/@:]*:[^/@]+@)"));
    if (uriPassword.match(text.trimmed()).hasMatch())
        options[QStringLiteral("password")] = QStringLiteral("?");
    (void)why;
#endif
    return options;
}

// The pg_service.conf files libpq reads, in its order: the user's (PGSERVICEFILE, else
// ~/.pg_service.conf), then the system's (PGSYSCONFDIR, else Debian's folder).
QStringList serviceFiles()
{
    QStringList files;
    const QString own = qEnvironmentVariable("PGSERVICEFILE");
    files << (own.isEmpty() ? QDir::homePath() + QStringLiteral("/.pg_service.conf") : own);
    const QString sysconf = qEnvironmentVariable("PGSYSCONFDIR");
    files << (sysconf.isEmpty() ? QStringLiteral("/etc/postgresql-common") : sysconf) + QStringLiteral("/pg_service.conf");
    return files;
}

// The options of a service, from the first file that defines it (as libpq takes them: the first
// file with the section wins, and the section's lines up to the next section).
Options serviceOptions(const QString& service)
{
    Options options;
    if (service.isEmpty())
        return options;
    for (const QString& path : serviceFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream in(&file);
        bool inSection = false;
        bool found = false;
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            if (line.startsWith(QLatin1Char('['))) {
                if (inSection)
                    break;
                inSection = line == QLatin1Char('[') + service + QLatin1Char(']');
                found = found || inSection;
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (inSection && equals > 0) {
                const QString key = line.left(equals).trimmed();
                // An option set twice in a section: libpq keeps the first.
                if (!options.count(key))
                    options[key] = line.mid(equals + 1).trimmed();
            }
        }
        if (found)
            return options;
    }
    return options;
}

// What libpq will take for `keyword`: the connection string's, else its service's, else the
// environment's.
QString optionOf(const Settings& settings, const QString& keyword, const char* environment)
{
    Options options;
    if (!settings.connection.trimmed().isEmpty()) {
        if (auto parsed = parsedOptions(settings.connection.trimmed()))
            options = *parsed;
    }
    if (auto found = options.find(keyword); found != options.end())
        return found->second;
    QString service = settings.connection.trimmed().isEmpty() ? settings.service.trimmed() : QString();
    if (auto named = options.find(QStringLiteral("service")); named != options.end())
        service = named->second;
    if (service.isEmpty())
        service = qEnvironmentVariable("PGSERVICE");
    const Options fromService = serviceOptions(service);
    if (auto found = fromService.find(keyword); found != fromService.end())
        return found->second;
    return qEnvironmentVariable(environment);
}

} // namespace

Settings loadSettings(const QString& path)
{
    const auto s = openSettings(path);
    Settings settings;
    settings.connection = s->value(kConnectionKey).toString();
    settings.service = s->value(kServiceKey).toString();
    settings.followedSites = s->value(kFollowedSitesKey).toStringList();
    settings.syncAfterDownload = s->value(kSyncAfterDownloadKey, false).toBool();
    return settings;
}

bool saveSettings(const Settings& settings, const QString& path)
{
    const auto s = openSettings(path);
    s->setValue(kConnectionKey, settings.connection.trimmed());
    s->setValue(kServiceKey, settings.service.trimmed());
    s->setValue(kFollowedSitesKey, settings.followedSites);
    s->setValue(kSyncAfterDownloadKey, settings.syncAfterDownload);
    s->sync();
    return s->status() == QSettings::NoError;
}

QString settingsProblem(const Settings& settings)
{
    const QString connection = settings.connection.trimmed();
    const QString service = settings.service.trimmed();
    if (!connection.isEmpty() && !service.isEmpty())
        return tr("连接字符串和服务名只能填写其中一项。");
    if (!service.isEmpty()) {
        static const QRegularExpression unfit(QStringLiteral(R"([\s'"\\=\[\]])"));
        if (service.contains(unfit))
            return tr("服务名“%1”不能含有空格、引号、等号、方括号或反斜杠。").arg(service);
        return {};
    }
    if (connection.isEmpty())
        return {};
    QString why;
    const auto options = parsedOptions(connection, &why);
    if (!options)
        return why.isEmpty() ? tr("连接字符串无法解读。") : tr("连接字符串无法解读：%1").arg(why);
    if (options->count(QStringLiteral("password")))
        return tr("连接字符串中含有密码：设置中不保存密码，请把密码放在 ~/.pgpass（或 PGPASSFILE 指定的文件）中，或保存到系统的密钥存储。");
    return {};
}

QString conninfo(const Settings& settings)
{
    const QString connection = settings.connection.trimmed();
    if (!connection.isEmpty())
        return connection;
    const QString service = settings.service.trimmed();
    if (service.isEmpty())
        return {};
    QString quoted = service;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QStringLiteral("service='%1'").arg(quoted);
}

QString sslModeOf(const Settings& settings)
{
    QString mode = optionOf(settings, QStringLiteral("sslmode"), "PGSSLMODE");
    // libpq's old spelling: requiressl=1 asks for at least "require".
    if (mode.isEmpty() && optionOf(settings, QStringLiteral("requiressl"), "PGREQUIRESSL") == QLatin1String("1"))
        mode = QStringLiteral("require");
    return mode.isEmpty() ? QStringLiteral("prefer") : mode;
}

QString userOf(const Settings& settings) { return optionOf(settings, QStringLiteral("user"), "PGUSER"); }
QString hostOf(const Settings& settings) { return optionOf(settings, QStringLiteral("host"), "PGHOST"); }

namespace PasswordStore {

namespace {

#ifdef KTM_HAVE_KEYCHAIN
const QString kStoreService = QStringLiteral("ktm520-office");

// The entry's key: the user and host of a connection string, or the service's name.
QString keyOf(const Settings& settings)
{
    if (settings.connection.trimmed().isEmpty() && !settings.service.trimmed().isEmpty())
        return QStringLiteral("service/") + settings.service.trimmed();
    return userOf(settings) + QLatin1Char('@') + hostOf(settings);
}

// Runs a job of the key store to its end (its jobs are asynchronous), waiting at most a minute
// for a store that does not answer.
void runToEnd(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    job.start();
    if (!finished)
        loop.exec();
}
#endif

} // namespace

#ifdef KTM_HAVE_KEYCHAIN

bool available() { return true; }

std::optional<QString> read(const Settings& settings)
{
    if (!settings.configured())
        return std::nullopt;
    QKeychain::ReadPasswordJob job(kStoreService);
    job.setKey(keyOf(settings));
    runToEnd(job);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

bool write(const Settings& settings, const QString& password, QString* why)
{
    if (!settings.configured()) {
        if (why)
            *why = tr("尚未设置办公室数据库。");
        return false;
    }
    QKeychain::WritePasswordJob job(kStoreService);
    job.setKey(keyOf(settings));
    job.setTextData(password);
    runToEnd(job);
    if (job.error() == QKeychain::NoError)
        return true;
    if (why)
        *why = tr("系统的密钥存储没有保存密码：%1").arg(job.errorString());
    return false;
}

bool forget(const Settings& settings)
{
    if (!settings.configured())
        return false;
    QKeychain::DeletePasswordJob job(kStoreService);
    job.setKey(keyOf(settings));
    runToEnd(job);
    return job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound;
}

#else

bool available() { return false; }
std::optional<QString> read(const Settings&) { return std::nullopt; }

bool write(const Settings&, const QString&, QString* why)
{
    if (why)
        *why = tr("此版本的程序不能使用系统的密钥存储。");
    return false;
}

bool forget(const Settings&) { return false; }

#endif

} // namespace PasswordStore

} // namespace office
