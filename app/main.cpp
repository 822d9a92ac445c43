#include "app/DemoTour.h"
#include "app/Form1.h"
#include "app/QtFileDialogs.h"
#include "app/QtMessenger.h"
#include "app/WindowLanguage.h"
#include "archive/Recorder.h"
#include "export/Automation.h"
#include "export/BuiltinServer.h"
#include "export/OfficeServer.h"
#include "platform/DataFiles.h"
#include "platform/SupportLog.h"
#include "serial/Connection.h"
#include "serial/PortDiscovery.h"
#include "serial/QtSerialLink.h"

#ifdef Q_OS_WIN
#include <windows/ComAutomation.h>
#endif

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnok"));
    QCoreApplication::setOrganizationName(QStringLiteral("Varnok"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KTM_VERSION));
    // Matches the window to its menu entry and icon (com.varnok.ktm520.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.varnok.ktm520"));
    installWindowLanguage(QCoreApplication::arguments(), &app); // --lang, else the one remembered

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KTM-520 data manager"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Select port <name> (e.g. COM3) at start."),
                                  QStringLiteral("name"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window to <file> and exit."),
                                        QStringLiteral("file"));
    const QCommandLineOption tour(QStringLiteral("tour"),
                                  QStringLiteral("Walk through connect, read, list and copy unattended, saving "
                                                 "screenshots into <folder>, then exit."),
                                  QStringLiteral("folder"));
    const QCommandLineOption lang(QStringLiteral("lang"),
                                  QStringLiteral("Speak <code> (zh_CN or en) for this run, whatever was chosen."),
                                  QStringLiteral("code"));
    parser.addOptions({port, screenshot, tour, lang});
    parser.process(app);

    // The ports are read anew whenever the list opens and for each connection, so a port
    // published after start-up is found; a name chosen from the list opens the device the list
    // showed, if it is still there.
    const std::unique_ptr<QtSerialLink> link = connection::platformLink();
    const auto ports = &connection::platformPorts;
    // Spreadsheet servers in the order they are tried: Excel and WPS spreadsheets where Windows
    // has them, and always the program's own engine.
    sheets::Servers servers;
#ifdef Q_OS_WIN
    win::ComFactory automation;
    sheets::addOfficeServers(servers, automation);
#endif
    servers.add(sheets::kBuiltin, [] { return sheets::createBuiltinApplication(); });
    QtFileDialogs fileBoxes;
    TourFileDialogs tourFiles(parser.value(tour));
    FileDialogs& dialogs = parser.isSet(tour) ? static_cast<FileDialogs&>(tourFiles) : fileBoxes;
    const QString templatePath = dataFilePath(QStringLiteral("Data.xls"));

    QtMessenger boxes;
    ConsoleMessenger console;
    Messenger& messenger = parser.isSet(tour) ? static_cast<Messenger&>(console) : boxes;
    // Every completed copy is kept in the archive in the user's data folder; a demonstration
    // keeps its own beside its screenshots.
    archive::Recorder recorder(parser.isSet(tour) ? QDir(parser.value(tour)).absoluteFilePath(QStringLiteral("archive.sqlite"))
                                                  : archive::Archive::defaultPath());
    // The line's settings, the dialogs' folders and the window's place are remembered between
    // runs (~/.config/Varnok/Varnok.conf; the registry on Windows); a demonstration or a
    // screenshot leaves them alone.
    QSettings settings;
    // The log for support, in the user's data folder; it never holds the records themselves.
    QString logFailure;
    if (!SupportLog::install(SupportLog::defaultFolder() + QStringLiteral("/ktm520.log"), {}, &logFailure))
        std::fprintf(stderr, "The log cannot be written: %s\n", qPrintable(logFailure));
    qCInfo(logLink) << "ktm520 started, version" << QCoreApplication::applicationVersion();
    const bool remember = !parser.isSet(tour) && !parser.isSet(screenshot);
    if (remember)
        fileBoxes.setSettings(&settings);
    // The office database's settings are the user's, shared with the command line; a
    // demonstration or a screenshot has no office.
    Form1 window(Form1Services{*link, messenger, ports, Timing{}, dialogs, servers, templatePath, &recorder,
                               remember ? &settings : nullptr,
                               remember ? std::optional<QString>(QString()) : std::nullopt});
    boxes.setParent(&window);
    fileBoxes.setParent(&window);
    if (parser.isSet(port))
        window.Combo1->setCurrentText(parser.value(port));
    window.show();

    if (parser.isSet(tour)) {
        const QString folder = parser.value(tour);
        QTimer::singleShot(0, &window, [&window, folder] {
            DemoTour walk(window, folder);
            QApplication::exit(walk.run());
        });
    } else if (parser.isSet(screenshot)) {
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
