#include "app/Form1.h"
#include "app/QtMessenger.h"
#include "serial/PortDiscovery.h"
#include "serial/PortFolder.h"
#include "serial/QtSerialLink.h"

#include <QApplication>

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
    return app.exec();
}
