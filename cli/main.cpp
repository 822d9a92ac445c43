// ktm520-cli: the KTM-520 data manager's command line, for unattended downloads.
#include "cli/Console.h"
#include "cli/Options.h"
#include "cli/Session.h"
#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "serial/PortDiscovery.h"

#ifdef Q_OS_WIN
#include "serial/WindowsPortRegistry.h"
#else
#include "serial/LinuxPortTable.h"
#endif

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ktm520-cli"));

    const cli::ParseResult parsed = cli::parse(QCoreApplication::arguments().mid(1));
    const bool quiet = parsed.options && parsed.options->quiet;
    cli::Console console(stdout, stderr, cli::Console::isTerminal(stderr), quiet);
    if (!parsed.options) {
        console.error(parsed.error + QStringLiteral("\n用法见 ktm520-cli --help"));
        return cli::UsageError;
    }
    const cli::Options& options = *parsed.options;
    if (options.command == cli::Command::Help) {
        console.out(cli::helpText());
        return cli::Success;
    }
    if (options.command == cli::Command::Version) {
        console.out(cli::versionText());
        return cli::Success;
    }

    // The program's own workbook engine writes .xls and reads the component workbooks; the
    // command line never starts an office suite.
    sheets::Servers servers;
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
#ifdef Q_OS_WIN
    auto ports = []() -> std::unique_ptr<PortRegistry> { return std::make_unique<WindowsPortRegistry>(); };
#else
    auto ports = []() -> std::unique_ptr<PortRegistry> { return std::make_unique<LinuxPortTable>(); };
#endif
    QFile standardInput;
    standardInput.open(stdin, QIODevice::ReadOnly);

    cli::Session session(options, cli::SessionServices{console, ports, servers,
                                                       QCoreApplication::applicationDirPath() + QStringLiteral("/Data.xls"),
                                                       standardInput, Timing{}});
    const int code = session.run();
    console.flushOut();
    return code;
}
