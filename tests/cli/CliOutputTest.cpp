// Where ktm520-cli's results go and what happens when they cannot get there: a full disk, a
// closed standard output, a reader that goes away; and a run told to stop while it saves or
// archives.
#include "tests/cli/CliFixture.h"
#include "tests/support/QtTestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kNotWritten = QStringLiteral("无法写出结果到标准输出");

class CliOutputTest : public CliTest {
protected:
    // Runs the program with its standard output as the shell redirection says ("" = a pipe
    // that the test reads), and the input given on standard input.
    CliRun redirected(const QString& redirection, const QStringList& arguments, const QByteArray& input = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start("/bin/sh", QStringList{"-c", "exec \"$0\" \"$@\" " + redirection, KTM_CLI_PATH, "--port", portName()} + arguments);
        CliRun run;
        if (!process.waitForStarted(10000))
            return run;
        process.write(input);
        process.closeWriteChannel();
        run.finished = process.waitForFinished(120000);
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return run;
    }

    qint64 archivedCount()
    {
        const CliRun list = cli({"archive", "list", "--json"}, {}, 60000, false);
        EXPECT_EQ(list.exitCode, 0) << list.describe();
        qint64 n = 0;
        for (const auto& c : QJsonDocument::fromJson(list.out).array())
            n += c.toObject()["count"].toInteger();
        return n;
    }
};

// A partition large enough that its CSV fills a pipe many times over, and its store takes a while.
class LargeOutputTest : public CliOutputTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--records", "200000"}; }
};

// As many records as an .xls worksheet holds.
class FullWorkbookTest : public CliOutputTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--records", "65000"}; }
};

} // namespace

TEST_F(CliOutputTest, ResultsThatCannotBeWrittenAreExitCodeSix)
{
    // an archive to list
    ASSERT_EQ(cli({"copy", "C", "-o", file("C.csv")}).exitCode, 0);
    const QList<QStringList> listings = {{"partitions"}, {"files", "A"}, {"files", "A", "--json"}, {"components", "A"}, {"ports"}, {"archive", "list"}, {"archive", "list", "--json"}, {"--help"}};
    for (const QString& where : {QStringLiteral(">/dev/full"), QStringLiteral(">&-")}) {
        for (const QStringList& listing : listings) {
            const CliRun run = redirected(where, listing);
            SCOPED_TRACE((where + " " + listing.join(' ')).toStdString());
            EXPECT_EQ(run.exitCode, 6) << run.describe();
            EXPECT_TRUE(run.errText().contains(kNotWritten)) << run.describe();
        }
        // the rows of a component write: each row still goes to the instrument
        const CliRun run = redirected(where, {"write-components", "B", "-"}, "B001=FULL1\nB002=FULL2\n");
        EXPECT_EQ(run.exitCode, 6) << run.describe();
        EXPECT_TRUE(run.errText().contains(kNotWritten)) << run.describe();
        const QStringList now = lines(cli({"components", "B"}).outText());
        EXPECT_TRUE(now.contains("B001=FULL1") && now.contains("B002=FULL2")) << now.join(' ').toStdString();
        ASSERT_EQ(cli({"write-components", "B", "-"}, "B001=X\nB002=Y\n").exitCode, 0);
    }
    // CSV on a standard output that was closed before the run: refused before anything is sent
    const CliRun run = redirected(">&-", {"copy", "D", "-o", "-"});
    EXPECT_EQ(run.exitCode, 6) << run.describe();
    EXPECT_FALSE(run.errText().contains("已存档")) << run.describe();
    // a closed standard output that nothing is written to is no failure: the copy goes to its file
    const CliRun toFile = redirected(">&-", {"copy", "D", "-o", file("D.csv")});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.describe();
    EXPECT_TRUE(toFile.errText().contains("已存档")) << toFile.describe();
    // and the same results written where they can be are exit 0
    EXPECT_EQ(redirected(">/dev/null", {"files", "A", "--json"}).exitCode, 0);
    EXPECT_EQ(redirected(">/dev/null", {"archive", "list"}).exitCode, 0);
}

TEST_F(LargeOutputTest, AReaderThatGoesAwayEndsTheRunButTheCopyIsArchived)
{
    QProcess copy;
    QProcess head;
    copy.setProcessEnvironment(environment());
    copy.setStandardOutputProcess(&head);
    head.start("head", {"-c", "1000"});
    copy.start(KTM_CLI_PATH, {"--port", portName(), "copy", "A", "-o", "-"});
    ASSERT_TRUE(copy.waitForStarted(10000));
    ASSERT_TRUE(copy.waitForFinished(120000));
    ASSERT_TRUE(head.waitForFinished(10000));
    EXPECT_EQ(head.readAllStandardOutput().size(), 1000);
    const QString err = QString::fromUtf8(copy.readAllStandardError());
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit) << "ended by SIGPIPE";
    EXPECT_EQ(copy.exitCode(), 6) << err.toStdString();
    EXPECT_TRUE(err.contains("标准输出已关闭")) << err.toStdString();
    EXPECT_TRUE(err.contains("已存档：新增 200000 条记录，共 200000 条")) << err.toStdString();
    EXPECT_EQ(archivedCount(), 200000);
}

TEST_F(LargeOutputTest, StoppedWhileArchivingKeepsNothingOfTheCopy)
{
    QProcess copy;
    startCli(copy, {"copy", "A", "-o", file("A.csv")});
    ASSERT_TRUE(copy.waitForStarted(10000));
    // the CSV is put in place once whole; the store comes next
    ASSERT_TRUE(testing_qt::waitFor([&] { return QFile::exists(file("A.csv")) || copy.state() != QProcess::Running; },
                                    120000));
    ASSERT_EQ(copy.state(), QProcess::Running) << copy.readAllStandardError().toStdString();
    copy.terminate();
    ASSERT_TRUE(copy.waitForFinished(30000));
    const QString err = QString::fromUtf8(copy.readAllStandardError());
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(copy.exitCode(), 7) << err.toStdString();
    EXPECT_TRUE(err.contains("存档已中止：本次拷贝的记录均未存档。")) << err.toStdString();
    EXPECT_FALSE(err.contains("已存档：")) << err.toStdString();
    EXPECT_EQ(archivedCount(), 0); // rolled back whole, not half stored
    // the next run stores the copy in full
    const CliRun again = cli({"copy", "A", "-o", file("A.csv")});
    EXPECT_EQ(again.exitCode, 0) << again.describe();
    EXPECT_EQ(archivedCount(), 200000);
}

TEST_F(FullWorkbookTest, StoppedWhileSavingTheWorkbookWritesNoFileAndArchivesNothing)
{
    QProcess copy;
    startCli(copy, {"copy", "A", "-o", file("A.xls")});
    ASSERT_TRUE(copy.waitForStarted(10000));
    // the work copy beside the target appears when the save begins
    const auto saving = [&] {
        for (const QString& f : workFiles())
            if (f.contains("saving"))
                return true;
        return false;
    };
    ASSERT_TRUE(testing_qt::waitFor([&] { return saving() || copy.state() != QProcess::Running; }, 120000));
    ASSERT_EQ(copy.state(), QProcess::Running) << copy.readAllStandardError().toStdString();
    copy.terminate();
    ASSERT_TRUE(copy.waitForFinished(30000));
    const QString err = QString::fromUtf8(copy.readAllStandardError());
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(copy.exitCode(), 7) << err.toStdString();
    EXPECT_TRUE(err.contains("保存已取消，未写入任何文件。")) << err.toStdString();
    EXPECT_TRUE(workFiles().isEmpty()) << workFiles().join(", ").toStdString();
    EXPECT_EQ(archivedCount(), 0);
}
