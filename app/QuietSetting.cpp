#include "app/QuietSetting.h"

#include "app/WindowSettings.h"
#include "serial/CommandExchange.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

QMenu* addQuietSetting(QMainWindow& window, CommandExchange& exchange, QSettings* settings)
{
    QMenu* menu = window.menuBar()->addMenu(QCoreApplication::translate("QuietSetting", "设置(&S)"));
    QAction* quiet = menu->addAction(QCoreApplication::translate("QuietSetting", "接收静默时间(&Q)…"));
    QObject::connect(quiet, &QAction::triggered, &window, [&window, &exchange, settings] {
        bool ok = false;
        const int ms = QInputDialog::getInt(
            &window, QCoreApplication::translate("QuietSetting", "接收静默时间"),
            QCoreApplication::translate("QuietSetting",
                                        "线路静默多少毫秒后，仪器的回答才算结束（默认 200）。\n"
                                        "仪器回答中途停顿较久、拷贝常被提示不完整时，请加大此值。"),
            exchange.receiveQuietMs(), 1, 60000, 50, &ok);
        if (!ok)
            return;
        exchange.setReceiveQuietMs(ms);
        if (settings)
            WindowSettings(*settings).setQuietMs(ms);
    });
    return menu;
}

void restoreQuietSetting(CommandExchange& exchange, QSettings* settings)
{
    if (settings)
        exchange.setReceiveQuietMs(WindowSettings(*settings).quietMs(exchange.receiveQuietMs()));
}
