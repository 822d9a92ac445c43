// The window in the language of the run: English when the catalogue was installed before it
// was made (as main() does), Chinese otherwise; and the language menu that chooses the next
// run's language.
#include "app/Form1.h"
#include "grids/PreviewGrid.h"
#include "platform/Language.h"
#include "storage/PartitionTree.h"
#include "tests/support/Form1Fixture.h"
#include "tests/support/IsolatedSettings.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// Installed before the window is made, gone after it.
struct EnglishCatalogue {
    EnglishCatalogue() { installed = Language::install(Language::kEnglish, &owner); }
    QObject owner;
    bool installed = false;
};

class EnglishWindow : public EnglishCatalogue, public Form1Fixture {};

// The catalogue was installed and went again before the window was made.
struct CatalogueGone {
    CatalogueGone()
    {
        QObject owner;
        Language::install(Language::kEnglish, &owner);
    }
};

class ChineseAgainWindow : public CatalogueGone, public Form1Fixture {};

QStringList columnCaptions(const Form1& w)
{
    QStringList captions;
    for (const QPushButton* b : {w.Command2, w.Command3, w.Command6, w.Command5, w.Command4, w.Command7, w.Command8,
                                 w.Command9, w.Command10, w.Command11})
        captions << b->text();
    return captions;
}

QMenu* languageMenu(Form1& w)
{
    for (QAction* a : w.menuBar()->actions())
        if (a->menu() && a->menu()->actions().size() == 2 && a->menu()->actions().at(1)->text() == u"English")
            return a->menu();
    return nullptr;
}

} // namespace

TEST_F(EnglishWindow, CaptionsAndCommandsSpeakEnglish)
{
    ASSERT_TRUE(installed);
    EXPECT_EQ(window.windowTitle(), "KTM-520 Vibrating Wire Readout - Varnok Electronic Technology Co., Ltd. - V2.0");
    EXPECT_EQ(columnCaptions(window),
              QStringList({"Read Partitions", "List Files", "Copy Partition", "Copy File", "Save Preview <==",
                           "Delete Partition", "Delete Partition Data", "New File", "View Component Codes",
                           "Write Component Codes"}));
    EXPECT_EQ(window.Command1->text(), "Connect");
    EXPECT_EQ(window.Command12->text(), "Disconnect");
    EXPECT_EQ(window.stopButton->text(), "Stop Receiving");
    EXPECT_EQ(window.tree().item(0)->text(), "Data Partitions");
    // The grid's header row is what a save writes: it stays as the files have it.
    EXPECT_EQ(window.grid().text(0, 3), "时间");
}

TEST_F(EnglishWindow, ConnectedInEnglishTheCommandsGoOut)
{
    // Refused while not connected, in English.
    window.Command2->click();
    EXPECT_EQ(messenger.messages, QStringList({"No instrument is connected. Connect first, then try again."}));
    EXPECT_TRUE(link.writes.isEmpty());
    messenger.messages.clear();

    // The exchange knows the window is connected from the English caption.
    connectPort();
    EXPECT_EQ(window.Command1->text(), "Connected");
    window.Command2->click();
    EXPECT_EQ(link.writes, QList<QByteArray>({"DIR\r\n"}));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join(u'\n').toStdString();
}

TEST_F(ChineseAgainWindow, WithoutTheCatalogueTheWindowSpeaksChinese)
{
    EXPECT_EQ(Language::active(), Language::kChinese);
    EXPECT_EQ(window.windowTitle(), "KTM-520型振弦读数仪-Varnok电子科技有限公司_V2.0");
    EXPECT_EQ(columnCaptions(window),
              QStringList({"读取数据分区", "查阅分区文件", "拷贝分区", "拷贝文件", "保存预览文件<==", "删除分区",
                           "删除分区数据", "新建文件名", "查阅分区元件编号", "写入分区元件编号"}));
    EXPECT_EQ(window.Command1->text(), "连接");
    EXPECT_EQ(window.tree().item(0)->text(), "数据分区");
}

TEST_F(Form1Fixture, TheLanguageMenuRemembersTheChoiceForTheNextStart)
{
    IsolatedSettings isolated;
    QMenu* menu = languageMenu(window);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "语言(&L)");
    QAction* chinese = menu->actions().at(0);
    QAction* english = menu->actions().at(1);
    EXPECT_EQ(chinese->text(), "中文");
    EXPECT_TRUE(chinese->isChecked());
    EXPECT_FALSE(english->isChecked());

    // Told in the language chosen, which the window does not speak yet.
    english->trigger();
    EXPECT_EQ(Language::remembered(), Language::kEnglish);
    EXPECT_TRUE(english->isChecked());
    EXPECT_FALSE(chinese->isChecked());
    EXPECT_EQ(messenger.messages, QStringList({"The program will speak English from its next start."}));
    EXPECT_EQ(window.Command1->text(), "连接"); // nothing changes before then

    // Back to the language spoken: remembered, nothing to tell.
    chinese->trigger();
    EXPECT_EQ(Language::remembered(), Language::kChinese);
    EXPECT_EQ(messenger.messages.size(), 1);
}

TEST_F(EnglishWindow, TheLanguageMenuShowsEnglishChecked)
{
    IsolatedSettings isolated;
    QMenu* menu = languageMenu(window);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "&Language");
    EXPECT_TRUE(menu->actions().at(1)->isChecked());
    menu->actions().at(0)->trigger();
    EXPECT_EQ(Language::remembered(), Language::kChinese);
    EXPECT_EQ(messenger.messages, QStringList({"下次启动程序时，界面将使用中文。"}));
}
