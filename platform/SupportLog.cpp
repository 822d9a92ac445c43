#include "platform/SupportLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

// Silent until a log is installed: without one (tests, the command line without --log) nothing
// of this reaches the console.
Q_LOGGING_CATEGORY(logLink, "ktm520.link", QtCriticalMsg)
Q_LOGGING_CATEGORY(logExchange, "ktm520.exchange", QtCriticalMsg)
Q_LOGGING_CATEGORY(logMessages, "ktm520.messages", QtCriticalMsg)
Q_LOGGING_CATEGORY(logFiles, "ktm520.files", QtCriticalMsg)

namespace SupportLog {
namespace {

struct Sink {
    QMutex mutex;
    QFile file;
    Limits limits;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

Sink& sink()
{
    static Sink s;
    return s;
}

const char* level(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "error";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

// name.<keep> goes, name.<n> becomes name.<n+1>, the current file becomes name.1.
void rotate(Sink& s)
{
    const QString path = s.file.fileName();
    s.file.close();
    QFile::remove(path + QStringLiteral(".%1").arg(s.limits.keep));
    for (int n = s.limits.keep - 1; n >= 1; --n)
        QFile::rename(path + QStringLiteral(".%1").arg(n), path + QStringLiteral(".%1").arg(n + 1));
    if (s.limits.keep > 0)
        QFile::rename(path, path + QStringLiteral(".1"));
    else
        QFile::remove(path);
    s.file.setFileName(path);
    s.file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Sink& s = sink();
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' +
                            QByteArray(context.category ? context.category : "default") + ' ' + level(type) + ": " +
                            message.toUtf8() + '\n';
    {
        QMutexLocker lock(&s.mutex);
        if (s.file.isOpen()) {
            if (s.file.size() > 0 && s.file.size() + line.size() > s.limits.maxBytes)
                rotate(s);
            s.file.write(line);
            s.file.flush();
        }
    }
    // Qt's own warnings still reach the console; ours are for the file only.
    const bool ours = context.category && qstrncmp(context.category, "ktm520.", 7) == 0;
    if (!ours && s.previous)
        s.previous(type, context, message);
}

} // namespace

QString defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Varnok/logs");
}

bool install(const QString& path, Limits limits, QString* why)
{
    Sink& s = sink();
    QMutexLocker lock(&s.mutex);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (s.file.isOpen())
        s.file.close();
    s.file.setFileName(path);
    s.limits = limits;
    if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (why)
            *why = s.file.errorString();
        return false;
    }
    if (!s.installed) {
        s.previous = qInstallMessageHandler(handler);
        s.installed = true;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("ktm520.*.info=true\nktm520.*.warning=true"));
    return true;
}

void uninstall()
{
    Sink& s = sink();
    QMutexLocker lock(&s.mutex);
    if (s.installed) {
        qInstallMessageHandler(s.previous);
        s.installed = false;
        QLoggingCategory::setFilterRules(QStringLiteral("ktm520.*.info=false\nktm520.*.warning=false"));
    }
    s.file.close();
}

QString currentFile()
{
    Sink& s = sink();
    QMutexLocker lock(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

} // namespace SupportLog
