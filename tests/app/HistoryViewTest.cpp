// The history view's check of the archive: asked for, it repairs and says what it found.
#include "app/HistoryView.h"

#include "archive/Recorder.h"
#include "tests/support/RecordingMessenger.h"
#include "tests/support/ScriptedFileDialogs.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtEndian>
#include <gtest/gtest.h>

TEST(HistoryViewCheck, TheCheckButtonRepairsTheNumbersAndSaysSo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("archive.sqlite");
    {
        auto a = archive::Archive::open(path, nullptr, nullptr);
        ASSERT_TRUE(a);
        ASSERT_TRUE(a->store({{"A", "F1", "A001", "2026-12-07 10:31:05", "31234", "-52"}}, QDateTime::currentDateTimeUtc(),
                             nullptr));
    }
    // The reading's number changed behind the archive's back; its text did not.
    QByteArray number(8, '\0');
    qToBigEndian(3123.4, number.data());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    ASSERT_EQ(bytes.count(number), 1);
    bytes[bytes.indexOf(number)] = char(0xC4);
    ASSERT_TRUE(f.seek(0) && f.write(bytes) == bytes.size());
    f.close();

    archive::Recorder recorder(path);
    RecordingMessenger messenger;
    ScriptedFileDialogs dialogs;
    HistoryView view(recorder, dialogs, messenger);
    view.refresh();
    ASSERT_EQ(view.components->topLevelItemCount(), 1);
    ASSERT_NE(view.checkButton, nullptr);
    view.checkButton->click();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].contains("1 条记录的数值与其文本不符")) << messenger.messages[0].toStdString();
    EXPECT_TRUE(messenger.messages[0].contains("已按记录的文本修复，档案现已完好。")) << messenger.messages[0].toStdString();
    const std::vector<archive::Point> p = recorder.archive()->series("A", "A001", 0, archive::History::kAllTime);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_DOUBLE_EQ(p[0].readingHz, 3123.4);

    view.checkButton->click();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[1], "档案检查完毕：1 条记录，未发现问题。");
}
