#include "app/Form1.h"
#include "app/QtMessenger.h"
#include "serial/LinuxPortTable.h"
#include "serial/PortDiscovery.h"
#include "serial/QtSerialLink.h"
#include "serial/WindowsPortRegistry.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnok"));

#ifdef Q_OS_WIN
    QtSerialLink link([](int n) { return QStringLiteral("COM%1").arg(n); });
    auto ports = []() -> std::unique_ptr<PortRegistry> { return std::make_unique<WindowsPortRegistry>(); };
#else
    // The table is read anew for each connection, so a port published after start-up is found.
    QtSerialLink link([](int n) { return LinuxPortTable().resolve(n); });
    auto ports = []() -> std::unique_ptr<PortRegistry> { return std::make_unique<LinuxPortTable>(); };
#endif
    QtMessenger messenger;
    Form1 window(Form1Services{link, messenger, ports, Timing{}});
    messenger.setParent(&window);
    window.show();

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window to <file> and exit."),
                                        QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.process(app);
    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QTimer::singleShot(1000, &window, [&window, file] {
            const bool saved = window.grab().save(file);
            std::printf("%s\n", saved ? qPrintable(file) : "screenshot failed");
            std::fflush(stdout);
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
