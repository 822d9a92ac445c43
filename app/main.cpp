#include "app/Form1.h"
#include "app/QtMessenger.h"
#include "serial/PortDiscovery.h"
#include "serial/PortFolder.h"
#include "serial/QtSerialLink.h"

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
#else
    QtSerialLink link([](int n) { return PortFolder::resolve(n); });
#endif
    QtMessenger messenger;
    EmptyPortRegistry ports;
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
