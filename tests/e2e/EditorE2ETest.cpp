// The component-code editor against the real simulator.
#include "tests/e2e/SimFixture.h"

#include "app/Form3.h"
#include "app/TreeLook.h"
#include "grids/PreviewGrid.h"
#include "storage/PartitionTree.h"
#include "tests/support/Modal.h"
#include "tests/support/QtTestMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

namespace {

class EditorE2ETest : public SimFixture {
protected:
    QStringList componentsOf(const QString& partition)
    {
        const QModelIndex node = window->tree().itemByKey(partition)->index();
        window->SSTree1->setCurrentIndex(window->treeLook().mapFromSource(node));
        window->Command10->click();
        EXPECT_TRUE(waitIdle());
        QStringList out;
        for (int r = 1; r < window->grid().rows(); ++r)
            out << window->grid().text(r, 1);
        return out;
    }
    // Runs act inside a freshly opened editor; returns once the editor has closed.
    void inEditor(std::function<void(Form3&)> act)
    {
        ASSERT_TRUE(waitIdle()); // the watchdog releases the gate the last editor left
        whenModalOpens<Form3>([act](Form3& e) {
            act(e);
            if (e.isVisible())
                e.close();
        });
        window->Command11->click();
    }
};

} // namespace

TEST_F(EditorE2ETest, TypedComponentsAreWrittenAndListed)
{
    const QStringList before = componentsOf("C");
    QStringList statuses;
    inEditor([&](Form3& e) {
        e.Command3->click();
        for (const auto& [code, name] : QList<QPair<QString, QString>>{
                 {"C101", "E2E-1"}, {"C102", "E2E-2"}, {"C150", "ABCDEFGHIJ"}}) {
            e.Text2->setText(code);
            e.Text3->setText(name);
            e.Command4->click();
        }
        e.Command2->click();
        testing_qt::waitFor([&] { return !e.writing(); }, 30000);
        for (int r = 1; r < e.grid().rows(); ++r)
            statuses << e.grid().text(r, 0);
    });
    EXPECT_EQ(statuses, QStringList({"OK", "OK", "OK"}));
    EXPECT_EQ(messenger.messages, QStringList({RecordingMessenger::kPlain + "元件编号写入完成，请查阅，检查！"}));
    const QStringList after = componentsOf("C");
    EXPECT_EQ(after, before + QStringList({"C101=E2E-1", "C102=E2E-2", "C150=ABCDEFGHIJ"}));
}

TEST_F(EditorE2ETest, SavedComponentListImportsAndWritesBackUnchanged)
{
    const QStringList original = componentsOf("A");
    ASSERT_FALSE(original.isEmpty());
    // save the component grid as a workbook
    const QString path = m_state.path() + "/components.xls";
    dialogs.answers = {path};
    window->Command4->click();
    ASSERT_EQ(messenger.messages, QStringList({"成功保存文件，请查阅！"}));
    messenger.messages.clear();

    QStringList imported, statuses;
    inEditor([&](Form3& e) {
        dialogs.answers = {path};
        e.Command1->click();
        for (int r = 1; r < e.grid().rows(); ++r)
            imported << e.grid().text(r, 1);
        e.Command2->click();
        testing_qt::waitFor([&] { return !e.writing(); }, 30000);
        for (int r = 1; r < e.grid().rows(); ++r)
            statuses << e.grid().text(r, 0);
    });
    EXPECT_EQ(imported, original);
    EXPECT_EQ(statuses, QStringList(QList<QString>(original.size(), "OK")));
    EXPECT_EQ(messenger.messages, QStringList({RecordingMessenger::kPlain + "元件编号写入完成，请查阅，检查！"}));
    EXPECT_EQ(componentsOf("A"), original);
}

namespace {
// The instrument refuses the second command it receives.
class RefusingInstrumentTest : public EditorE2ETest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "err@2"}; }
};
} // namespace

TEST_F(RefusingInstrumentTest, RefusedRowIsMarkedAndTheOthersAreWritten)
{
    QStringList statuses;
    bool stillOpen = false;
    inEditor([&](Form3& e) {
        e.Command3->click();
        for (const auto& [code, name] : QList<QPair<QString, QString>>{{"D101", "R1"}, {"D102", "R2"}, {"D103", "R3"}}) {
            e.Text2->setText(code);
            e.Text3->setText(name);
            e.Command4->click();
        }
        e.Command2->click();
        testing_qt::waitFor([&] { return !e.writing(); }, 30000);
        for (int r = 1; r < e.grid().rows(); ++r)
            statuses << e.grid().text(r, 0);
        stillOpen = e.isVisible();
    });
    EXPECT_EQ(statuses, QStringList({"OK", "ERR\r\n", "OK"}));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(messenger.messages, QStringList({RecordingMessenger::kPlain + "元件编号写入失败！，请查阅，检查！"}));
    const QStringList d = componentsOf("D");
    EXPECT_TRUE(d.contains("D101=R1"));
    EXPECT_FALSE(d.contains("D102=R2"));
    EXPECT_TRUE(d.contains("D103=R3"));
}

namespace {
// The first row is answered only after its wait and the pause have passed; the second is refused.
class LateInstrumentTest : public EditorE2ETest {
protected:
    QStringList simArguments() const override
    {
        return {"--no-pace", "--fault", "late:2000@1", "--fault", "err@2"};
    }
};
} // namespace

TEST_F(LateInstrumentTest, ALateAnswerIsNotCreditedToTheNextRow)
{
    // The rows' wait is 1.25 s and the pause 0.25 s here: row 1's answer comes at 2 s.
    ASSERT_LT(timing().componentReplyWait + timing().componentPause, 2.0f);
    ASSERT_GT(2 * timing().componentReplyWait, 2.0f);
    QStringList statuses;
    inEditor([&](Form3& e) {
        e.Command3->click();
        for (const auto& [code, name] : QList<QPair<QString, QString>>{{"E101", "L1"}, {"E102", "L2"}}) {
            e.Text2->setText(code);
            e.Text3->setText(name);
            e.Command4->click();
        }
        e.Command2->click();
        testing_qt::waitFor([&] { return !e.writing(); }, 30000);
        for (int r = 1; r < e.grid().rows(); ++r)
            statuses << e.grid().text(r, 0);
    });
    EXPECT_EQ(statuses, QStringList({"ERR", "ERR\r\n"}));
    const QStringList now = componentsOf("E");
    EXPECT_TRUE(now.contains("E101=L1")) << "the late row was carried out";
    EXPECT_FALSE(now.contains("E102=L2"));
}
