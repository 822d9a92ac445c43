// An instrument that stops for a while inside a reply, at a line boundary: what arrived before
// the pause looks whole, so the command line must never write, print or archive it as whole.
#include "tests/cli/CliFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kWentOn = QStringLiteral("仪器的回答在停顿后又继续发送，接收的数据不完整");

// Every reply of more than one line stops for half a second at the line end nearest its middle.
class PauseTest : public CliTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "pause:500"}; }

    qint64 archived()
    {
        const CliRun list = cli({"archive", "list", "--json"}, {}, 60000, false);
        EXPECT_EQ(list.exitCode, 0) << list.describe();
        qint64 n = 0;
        for (const auto& c : QJsonDocument::fromJson(list.out).array())
            n += c.toObject()["count"].toInteger();
        return n;
    }
};

} // namespace

TEST_F(PauseTest, ACutReplyIsNeverWrittenPrintedOrArchived)
{
    // Each of these replies has several lines, so the pause falls inside it.
    ASSERT_GT(lines(expected("DIR G")).size(), 1);
    ASSERT_GT(lines(expected("DIRPART A")).size(), 1);
    const QList<QStringList> commands{
        {"copy", "G", "-o", file("G.csv")},
        {"copy", "G", "-o", file("G.xls")},
        {"copy", "G", "-o", "-"},
        {"copy", "A", "A20261105-01", "-o", file("A1.xlsx")},
        {"files", "G"},
        {"files", "G", "--json"},
        {"components", "A"},
        {"components", "A", "--json"},
        {"components", "A", "-o", file("A.xls")},
    };
    for (const QStringList& command : commands) {
        const CliRun run = cli(command);
        EXPECT_EQ(run.exitCode, 7) << command.join(' ').toStdString() << ": " << run.describe();
        EXPECT_TRUE(run.out.isEmpty()) << command.join(' ').toStdString() << ": " << run.describe();
        EXPECT_TRUE(run.errText().contains(kWentOn)) << run.describe();
    }
    EXPECT_TRUE(workFiles().isEmpty()) << workFiles().join(", ").toStdString();
    EXPECT_EQ(archived(), 0);
}

TEST_F(PauseTest, OneLineRepliesAndComponentRowsAreUntouched)
{
    // A one-line reply has no line end inside it to pause at.
    CliRun run = cli({"partitions"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()).size(), 10);
    run = cli({"write-components", "B", "-"}, "B001=FIRST\nB002=SECOND\n");
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(run.outText(), "B001=FIRST\tOK\nB002=SECOND\tOK\n");
    run = cli({"new-file", "B", "P1"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    run = cli({"delete", "B", "--data", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    run = cli({"delete", "B", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();
}

TEST_F(PauseTest, AQuietSpellLongerThanThePauseTakesTheReplyWhole)
{
    CliRun run = cli({"--quiet-ms", "1200", "copy", "G", "-o", file("G.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QString reply = expected("COPY G");
    qint64 records = 0;
    for (const QString& line : lines(reply))
        records += line.contains(' ') ? 1 : 0;
    EXPECT_EQ(QString::fromUtf8(readAll(file("G.csv"))).count("\r\n") - 1, records);
    EXPECT_EQ(archived(), records);

    run = cli({"--quiet-ms", "1200", "files", "G"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()), lines(expected("DIR G")));
    run = cli({"--quiet-ms", "1200", "components", "A"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()), lines(expected("DIRPART A")));
}
