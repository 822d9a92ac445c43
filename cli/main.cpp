// ktm520-cli: the KTM-520 data manager's command line, for unattended downloads.
#include "platform/SupportLog.h"
#include "cli/Console.h"
#include "cli/Options.h"
#include "cli/Session.h"
#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "platform/DataFiles.h"
#include "platform/Language.h"
#include "serial/Connection.h"
#include "serial/PortDiscovery.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// SIGINT and SIGTERM (Ctrl-C, a cron job's time limit) end the run in order instead of killing
// it: the flag is read while a file is being written, the pipe wakes the event loop.
volatile std::sig_atomic_t stopSignal = 0;
#ifndef Q_OS_WIN
int stopPipe[2] = {-1, -1};
#endif

extern "C" void onStopSignal(int signal)
{
    stopSignal = signal;
#ifndef Q_OS_WIN
    const char c = 's';
    [[maybe_unused]] auto r = ::write(stopPipe[1], &c, 1);
#endif
    // A second signal ends the program at once.
    std::signal(signal, SIG_DFL);
}

#ifndef Q_OS_WIN
// A standard stream that was closed when the program started would be the number the next
// file opened gets, and results or messages written to it would go there: to the serial port,
// the archive or the output file. Each closed one is given /dev/null; true when standard output
// was closed, so that its results count as not written.
bool standardOutputWasClosed()
{
    bool outClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened != -1) {
            ::dup2(opened, fd);
            ::close(opened);
        }
        outClosed = outClosed || fd == 1;
    }
    return outClosed;
}
#endif

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
QtMessageHandler previousHandler = nullptr;

// Starting a platform looks for its settings in the standard folders, and Qt warns that
// XDG_RUNTIME_DIR is not set, as it never is under cron: a warning in every cron job's mail about
// a folder the report never uses. That one is left out; every other message goes on as before.
void withoutRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}
#endif

// The application of this run. Only a report written as a PDF draws widgets (the trend plot is
// drawn into its pages) and so needs a QApplication; every other command keeps QCoreApplication,
// which needs no display and no platform plugin. The decision is made before any application
// exists, from the same parse the run makes later.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const cli::ParseResult parsed = cli::parse(arguments);
    if (!parsed.options || !parsed.options->needsWidgets())
        return std::make_unique<QCoreApplication>(argc, argv);
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // A cron job has no display, and a report needs none: the plot is drawn into the PDF, never
    // shown. Offscreen also keeps the drawing at 96 dpi, whatever screen a desktop session has,
    // and never fails on a display that is named but gone. QT_QPA_PLATFORM set says otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(withoutRuntimeDirWarning);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    return application;
#else
    return std::make_unique<QApplication>(argc, argv);
#endif
}

// Every result goes to standard output: a run whose results could not all be written there
// (a full disk, a closed descriptor, a reader that went away) has failed, whatever it did.
int finished(cli::Console& console, int code)
{
    if (!console.reportOutFailure())
        return code;
    // A copy that raised a gauge did its work too: results it could not write still fail it.
    return code == cli::Success || code == cli::Raised ? int(cli::SaveFailed) : code;
}

} // namespace

int main(int argc, char* argv[])
{
#ifndef Q_OS_WIN
    const bool outClosed = standardOutputWasClosed();
#endif
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication& app = *application;
#ifndef Q_OS_WIN
    // A reader that goes away (| head) makes a write fail with EPIPE instead of ending the
    // program in the middle of a copy: the copy is still saved and archived, and the exit code
    // says what could not be written.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("ktm520-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("Varnok"));
    // The operator's language: --lang, else the one chosen in the window, else Chinese.
    Language::install(Language::chosen(Language::requestedOn(QCoreApplication::arguments())), &app);

    const cli::ParseResult parsed = cli::parse(QCoreApplication::arguments().mid(1));
    const bool quiet = parsed.options && parsed.options->quiet;
    cli::Console console(stdout, stderr, cli::Console::isTerminal(stderr), quiet);
#ifndef Q_OS_WIN
    if (outClosed)
        console.outClosedAtStart(EBADF);
#endif
    if (!parsed.options) {
        console.error(parsed.error + QLatin1Char('\n') + QCoreApplication::translate("cli::Options", "用法见 ktm520-cli --help"));
        return cli::UsageError;
    }
    const cli::Options& options = *parsed.options;
    if (options.log) {
        QString why;
        const QString file = SupportLog::defaultFolder() + QStringLiteral("/ktm520.log");
        if (!SupportLog::install(file, {}, &why))
            console.error(QCoreApplication::translate("cli::Options", "无法写入日志 %1：%2").arg(file, why));
        qCInfo(logLink).noquote() << "ktm520-cli started:" << QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    }
    if (options.command == cli::Command::Help) {
        console.out(cli::helpText());
        return finished(console, cli::Success);
    }
    if (options.command == cli::Command::Version) {
        console.out(cli::versionText());
        return finished(console, cli::Success);
    }

    // The program's own workbook engine writes .xls and reads the component workbooks; the
    // command line never starts an office suite.
    sheets::Servers servers;
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    const auto ports = &connection::platformPorts;
    QFile standardInput;
    standardInput.open(stdin, QIODevice::ReadOnly);

    cli::Session session(options, cli::SessionServices{console, ports, servers,
                                                       dataFilePath(QStringLiteral("Data.xls")),
                                                       standardInput, Timing{}, [] { return stopSignal != 0; }});
#ifndef Q_OS_WIN
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (::pipe(stopPipe) == 0) {
        for (int fd : stopPipe)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
        stopNotifier = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &session, [&session, &stopNotifier] {
            stopNotifier->setEnabled(false);
            session.stop();
        });
    }
#endif
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    return finished(console, session.run());
}
