// The window against an instrument that stops for a while inside its replies, at a line
// boundary: a copy cut that way is said to be incomplete and is never archived.
#include "archive/Recorder.h"
#include "app/TreeLook.h"
#include "storage/PartitionTree.h"
#include "tests/e2e/SimFixture.h"
#include "tests/support/QtTestMain.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeView>

namespace {

const QString kCopyCut = QStringLiteral("接收的数据不完整：仪器的回答中途停顿后又继续发送，预览中的数据不完整，未存档！请重新拷贝。");
const QString kListCut = QStringLiteral("接收的数据不完整：仪器的回答中途停顿后又继续发送，显示的列表可能不完整！请重试。");

class PauseE2ETest : public SimFixture {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "pause:500"}; }
    Timing timing() const override
    {
        Timing t = SimFixture::timing();
        t.replyGrace = Timing{}.replyGrace; // the program's own grace, longer than the pause
        return t;
    }
    archive::Recorder* recorder() override { return &m_recorder; }

    void select(const QString& key)
    {
        const PartitionTree::Node* node = window->tree().itemByKey(key);
        ASSERT_NE(node, nullptr);
        window->SSTree1->setCurrentIndex(window->treeLook().mapFromSource(node->index()));
    }
    // What the archive holds once the copy being archived (on the archive's thread) is stored.
    qint64 archived()
    {
        EXPECT_TRUE(testing_qt::waitFor([&] { return !m_recorder.storing(); }, 60000));
        qint64 n = 0;
        for (const auto& s : m_recorder.archive()->summary())
            n += s.count;
        return n;
    }

    QTemporaryDir m_data;
    archive::Recorder m_recorder{m_data.filePath("archive.sqlite")};
};

} // namespace

TEST_F(PauseE2ETest, ACutCopyIsSaidToBeIncompleteAndNotArchived)
{
    window->Command2->click(); // the partition range is one line: no pause inside it
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
    select("G");
    window->Command6->click();
    ASSERT_TRUE(waitIdle(30000));
    EXPECT_EQ(messenger.messages, QStringList({kCopyCut}));
    EXPECT_TRUE(window->statusLine->text().startsWith(kCopyCut)) << window->statusLine->text().toStdString();
    EXPECT_EQ(archived(), 0);

    window->Command3->click(); // the listing of G
    ASSERT_TRUE(waitIdle(30000));
    EXPECT_EQ(messenger.messages, QStringList({kCopyCut, kListCut}));

    // A quiet spell longer than the instrument's pause takes the replies whole.
    window->exchange().setReceiveQuietMs(1200);
    messenger.messages.clear();
    window->Command3->click();
    ASSERT_TRUE(waitIdle(30000));
    EXPECT_EQ(childTexts("G"), listingLines(expected("DIR G")));
    window->Command6->click();
    ASSERT_TRUE(waitIdle(30000));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join("; ").toStdString();
    qint64 records = 0;
    for (const QString& line : listingLines(expected("COPY G")))
        records += line.contains(' ') ? 1 : 0;
    EXPECT_EQ(archived(), records);
    EXPECT_TRUE(window->statusLine->text().contains(QStringLiteral("已存档：新增 %1 条记录").arg(records)))
        << window->statusLine->text().toStdString();
}
