// The window remembers the serial line's settings, its dialogs' folders and its geometry, and
// restores them after the start-up has filled its lists.
#include "app/Form1.h"
#include "app/WindowSettings.h"
#include "serial/CommandExchange.h"

#include "tests/support/FakeSerialLink.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "export/Automation.h"

#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class WindowSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<Form1> window(QList<QByteArray> ports)
    {
        return std::make_unique<Form1>(Form1Services{
            link, messenger, [ports] { return std::make_unique<FixedPorts>(ports); }, testing_qt::fastTiming(), dialogs,
            servers, QString(), nullptr, &settings});
    }
    void remember(const QString& port, const QString& baud, const QString& parity, const QString& stopBits)
    {
        WindowSettings(settings).setLine({port, baud, parity, stopBits});
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    FakeSerialLink link;
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    sheets::Servers servers;
};

} // namespace

TEST_F(WindowSettingsTest, TheRememberedLineIsChosenAgainAndAPortThatIsGoneFallsBackToTheFirst)
{
    remember("com5", "115200", "Even", "2");
    auto w = window({"COM3", "COM5"});
    EXPECT_EQ(w->Combo1->currentText(), "COM5") << "found whatever the case it was stored in";
    EXPECT_EQ(w->Combo2->currentText(), "115200");
    EXPECT_EQ(w->Combo3->currentText(), "偶");
    EXPECT_EQ(w->Combo4->currentText(), "2");
    EXPECT_EQ(w->settingsString(), "115200,E,8,2");

    remember("COM9", "12345", "", "3");
    w.reset();
    ASSERT_EQ(WindowSettings(settings).line().baud, "12345");
    w = window({"COM3", "COM5"});
    EXPECT_EQ(w->Combo1->currentText(), "COM3") << "the list's first entry, as at every start";
    EXPECT_EQ(w->Combo2->currentText(), "9600") << "a rate the list does not offer leaves the default";
    EXPECT_EQ(w->Combo3->currentText(), "无");
    EXPECT_EQ(w->Combo4->currentText(), "1");

    // No port at all: the start-up's "COM1" stays.
    remember("COM5", "9600", "None", "1");
    w = window({});
    EXPECT_EQ(w->Combo1->currentText(), "COM1");
}

TEST_F(WindowSettingsTest, ALineThatOpensIsRememberedAtOnceAndTheGeometryOnClosing)
{
    auto w = window({"COM3", "COM5"});
    w->Combo1->setCurrentIndex(1);
    w->Combo2->setCurrentText("19200");
    w->Command1->click();
    ASSERT_EQ(w->Command1->text(), Form1::connectedText());
    const WindowSettings::Line line = WindowSettings(settings).line();
    EXPECT_EQ(line.port, "COM5");
    EXPECT_EQ(line.baud, "19200");
    EXPECT_EQ(line.parity, "None") << "the value is kept, not the word the window shows";

    w->resize(900, 640);
    w->show();
    w->close();
    const QByteArray geometry = WindowSettings(settings).geometry();
    ASSERT_FALSE(geometry.isEmpty());
    auto again = window({"COM3", "COM5"});
    EXPECT_EQ(again->size(), QSize(900, 640)) << "the window comes back as it was left";
    EXPECT_EQ(again->Combo1->currentText(), "COM5");
}

TEST_F(WindowSettingsTest, FoldersAreThoseOfTheLastFileAndOneThatIsGoneIsForgotten)
{
    WindowSettings remembered(settings);
    EXPECT_EQ(remembered.folder(WindowSettings::Folder::Save), QString());
    ASSERT_TRUE(QDir(dir.path()).mkpath("导出/二月"));
    remembered.rememberFolderOf(WindowSettings::Folder::Save, dir.filePath("导出/二月/大坝.xlsx"));
    remembered.rememberFolderOf(WindowSettings::Folder::Import, dir.filePath("settings.ini"));
    EXPECT_EQ(remembered.folder(WindowSettings::Folder::Save), dir.filePath("导出/二月"));
    EXPECT_EQ(remembered.folder(WindowSettings::Folder::Import), dir.path()) << "each kind keeps its own";
    ASSERT_TRUE(QDir(dir.filePath("导出")).removeRecursively());
    EXPECT_EQ(remembered.folder(WindowSettings::Folder::Save), QString()) << "a folder that has gone is no start";
}

TEST_F(WindowSettingsTest, TheQuietSpellIsChosenInTheMenuRememberedAndUsedAtTheNextStart)
{
    EXPECT_EQ(WindowSettings(settings).quietMs(200), 200) << "nothing remembered: the default";
    auto w = window({"COM3"});
    const int initial = w->exchange().receiveQuietMs();
    EXPECT_EQ(initial, int(testing_qt::fastTiming().receiveQuiet * 1000 + 0.5));

    QAction* item = nullptr;
    for (QAction* menu : w->menuBar()->actions())
        for (QAction* a : menu->menu() ? menu->menu()->actions() : QList<QAction*>())
            if (a->text().startsWith(QStringLiteral("接收静默时间")))
                item = a;
    ASSERT_NE(item, nullptr);
    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        asked = true;
        EXPECT_EQ(dialog->intValue(), initial) << "the dialog starts from the spell in use";
        dialog->setIntValue(1500);
        dialog->accept();
    });
    item->trigger();
    EXPECT_TRUE(asked);
    EXPECT_EQ(w->exchange().receiveQuietMs(), 1500);
    EXPECT_EQ(WindowSettings(settings).quietMs(200), 1500);

    w.reset();
    w = window({"COM3"});
    EXPECT_EQ(w->exchange().receiveQuietMs(), 1500) << "remembered between runs";
    // A value no one could have chosen is not used.
    settings.setValue("line/quietMs", "0");
    EXPECT_EQ(WindowSettings(settings).quietMs(200), 200);
    settings.setValue("line/quietMs", "junk");
    w = window({"COM3"});
    EXPECT_EQ(w->exchange().receiveQuietMs(), initial);
}
