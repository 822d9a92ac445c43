// What ktm520-cli does when something goes wrong: each failure has its exit code and the
// window's words for it, and never leaves an output file that is not whole.
#include "tests/cli/CliFixture.h"
#include "tests/support/QtTestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>

#include <functional>

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The simulator hangs up at the first command line it receives: while it runs, nothing was sent.
class NothingSentTest : public CliTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "hangup@1"}; }
};

class ErrTest : public CliTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "err"}; }
};

class SecondRowErrTest : public CliTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "err@2"}; }
};

// The first row is answered only after its wait and the pause have passed; the second is refused.
class LateThenErrTest : public CliTest {
protected:
    QStringList simArguments() const override
    {
        return {"--no-pace", "--fault", "late:3500@1", "--fault", "err@2"};
    }
};

class SilentTest : public CliTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "drop"}; }
};

class SlowTransferTest : public CliTest {
protected:
    // about 110 KB at 960 bytes a second: long enough to be cut off in the middle
    QStringList simArguments() const override { return {"--baud", "9600", "--records", "3000"}; }
};

class SplitReplyTest : public CliTest {
protected:
    QStringList simArguments() const override { return {"--no-pace", "--fault", "split:800"}; }
};

} // namespace

TEST_F(NothingSentTest, RefusedCommandsSendNothingAndTouchNoFile)
{
    CliRun run = cli({"delete", "A"});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("--yes")) << run.describe();
    run = cli({"delete", "A", "--data"});
    EXPECT_EQ(run.exitCode, 2) << run.describe();

    // the new-file dialog's checks
    run = cli({"new-file", "A", "two words"});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("文件名中含有不可显示字符（含空格），请修正！")) << run.describe();
    run = cli({"new-file", "A", "ABCDEFGHIJKLMNOPQRSTU"});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    run = cli({"new-file", "A", "a/b"});
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("文件名中不能含有以下字符")) << run.describe();

    // the editor's list check, and codes of another partition
    run = cli({"write-components", "A", "-"}, "A001=OK\nA999=BAD\n");
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("第2行元件编号错误")) << run.describe();
    run = cli({"write-components", "A", "-"}, "B001=OTHER\n");
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    run = cli({"write-components", "A", file("missing.xlsx")});
    EXPECT_EQ(run.exitCode, 2) << run.describe();

    // an output folder that is not there is said before the download starts
    run = cli({"copy", "A", "-o", file("no-such-folder/A.xls")});
    EXPECT_EQ(run.exitCode, 6) << run.describe();
    EXPECT_TRUE(run.errText().startsWith("保存文件失败")) << run.describe();

    for (const QString& out : {QStringLiteral("no-such-folder/A.xlsx"), QStringLiteral("no-such-folder/A.csv")}) {
        run = cli({"copy", "A", "-o", file(out)});
        EXPECT_EQ(run.exitCode, 6) << run.describe();
        EXPECT_TRUE(run.errText().contains("不存在")) << run.describe();
    }
    run = cli({"components", "A", "-o", file("no-such-folder/A.xlsx")});
    EXPECT_EQ(run.exitCode, 6) << run.describe();

    run = cli({"copy", "A", "-o", file("A.txt")});
    EXPECT_EQ(run.exitCode, 2) << run.describe();

    EXPECT_TRUE(workFiles().isEmpty());
    testing_qt::pump(300);
    ASSERT_TRUE(simRunning()) << "a refused command reached the instrument";

    // and the first command that does go out meets the hang-up: the fault was armed
    run = cli({"partitions"}, {}, 30000);
    EXPECT_TRUE(run.exitCode == 7 || run.exitCode == 5) << run.describe();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(testing_qt::waitFor([&] { return !simRunning(); }, 5000));
    EXPECT_EQ(m_sim.exitCode(), 3);
}

TEST_F(CliTest, ANameCannotCarryACommandOfItsOwn)
{
    const QString inC = cli({"files", "C"}).outText();
    const QString inD = cli({"files", "D"}).outText();
    ASSERT_FALSE(lines(inC).isEmpty());
    ASSERT_FALSE(lines(inD).isEmpty());
    const QString beforeC = cli({"copy", "C", "-o", "-", "--no-archive"}).outText();
    ASSERT_GT(lines(beforeC).size(), 1);

    for (const QString& name : {QStringLiteral("x\nDELDATA C"), QStringLiteral("x\r\nDEL D"), QStringLiteral("x\rDEL D"),
                                QStringLiteral("x DEL"), QStringLiteral("x\tY")}) {
        CliRun run = cli({"copy", "B", name, "-o", file("B.csv")});
        EXPECT_EQ(run.exitCode, 2) << run.describe();
        EXPECT_TRUE(run.errText().contains("中含有无法发送给仪器的字符")) << run.describe();
        run = cli({"new-file", "B", name});
        EXPECT_EQ(run.exitCode, 2) << run.describe();
    }
    EXPECT_TRUE(workFiles().isEmpty());
    // nothing else happened: C's files still hold their records, D still has its files
    EXPECT_EQ(cli({"files", "C"}).outText(), inC);
    EXPECT_EQ(cli({"files", "D"}).outText(), inD);
    EXPECT_EQ(cli({"copy", "C", "-o", "-", "--no-archive"}).outText(), beforeC);
}

TEST_F(CliTest, AnOptionIsNotTakenForThePort)
{
    const CliRun run = cli({"--port", "--archive", file("x.sqlite"), "partitions"}, {}, 30000, false);
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(run.errText().contains("选项 --port 需要一个值。")) << run.describe();
    EXPECT_TRUE(workFiles().isEmpty());
}

TEST_F(CliTest, APortThatDoesNotExistIsAConnectionFailure)
{
    CliRun run = cli({"--port", "COM200", "partitions"}, {}, 30000, false);
    EXPECT_EQ(run.exitCode, 3) << run.describe();
    EXPECT_TRUE(run.errText().startsWith("端口打开错误！或许参数设置不正确？请重试")) << run.describe();
    EXPECT_TRUE(run.out.isEmpty());

    run = cli({"--port", "/dev/ktm520-no-such-device", "files", "A"}, {}, 30000, false);
    EXPECT_EQ(run.exitCode, 3) << run.describe();
    EXPECT_TRUE(run.errText().contains("/dev/ktm520-no-such-device")) << run.describe();

    // a port another program holds (serial ports are locked while open)
    QSerialPort holder(device());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
    run = cli({"partitions"});
    EXPECT_EQ(run.exitCode, 3) << run.describe();
    EXPECT_TRUE(run.errText().startsWith("端口打开错误！")) << run.describe();
    holder.close();
    run = cli({"partitions"});
    EXPECT_EQ(run.exitCode, 0) << run.describe();
}

TEST_F(CliTest, TheDefaultPortIsTheFirstListed)
{
    CliRun run = cli({"ports", "--json"}, {}, 30000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QJsonArray ports = QJsonDocument::fromJson(run.out).array();
    ASSERT_FALSE(ports.isEmpty()) << run.describe();
    EXPECT_EQ(ports[0].toObject()["name"].toString(), portName());
    EXPECT_EQ(ports[0].toObject()["device"].toString(), device());

    run = cli({"ports"}, {}, 30000, false);
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.outText().startsWith(portName() + "\t" + device() + "\t")) << run.describe();

    run = cli({"partitions"}, {}, 30000, false);
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()).size(), 10);

    // the device path itself does as well
    run = cli({"--port", device(), "partitions"}, {}, 30000, false);
    EXPECT_EQ(run.exitCode, 0) << run.describe();
}

TEST_F(ErrTest, AnInstrumentThatAnswersErrGivesFourWithTheWindowsMessage)
{
    writeFile(file("A.xls"), "the workbook of last night");
    CliRun run = cli({"copy", "A", "-o", file("A.xls")});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("读取错误！请先选择您要查阅的数据区，再操作！")) << run.describe();
    EXPECT_EQ(contents(file("A.xls")), "the workbook of last night"); // kept as it was

    run = cli({"copy", "A", "A20261105-01", "-o", file("f.xls")});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("读取错误！请先选择您要查阅的文件，再操作！")) << run.describe();

    run = cli({"new-file", "A", "X1"});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("文件创建失败，请稍后重试！")) << run.describe();
    run = cli({"delete", "A", "--yes"});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("删除分区失败，请稍后重试！")) << run.describe();
    run = cli({"delete", "A", "--data", "--yes"});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("删除分区数据失败，请稍后重试！")) << run.describe();

    for (const QStringList& listing : {QStringList{"partitions"}, QStringList{"files", "B"},
                                       QStringList{"components", "B", "--json"}}) {
        run = cli(listing);
        EXPECT_EQ(run.exitCode, 4) << run.describe();
        EXPECT_TRUE(run.out.isEmpty()) << run.describe(); // ERR is not a listing
    }
    EXPECT_EQ(workFiles(), QStringList({"A.xls"}));
}

TEST_F(SecondRowErrTest, ARefusedRowIsReportedAndTheOthersStillWritten)
{
    // the simulator's second command line is the second row
    const CliRun run = cli({"write-components", "B", "-"}, "B001=FIRST\nB002=SECOND\nB003=THIRD\n");
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_EQ(run.outText(), "B001=FIRST\tOK\nB002=SECOND\tERR\nB003=THIRD\tOK\n");
    EXPECT_TRUE(run.errText().contains("元件编号写入失败！，请查阅，检查！")) << run.describe();
    const QStringList now = lines(cli({"components", "B"}).outText());
    EXPECT_TRUE(now.contains("B001=FIRST"));
    EXPECT_FALSE(now.contains("B002=SECOND"));
    EXPECT_TRUE(now.contains("B003=THIRD"));
}

TEST_F(LateThenErrTest, ALateAnswerIsNotCreditedToTheNextRow)
{
    const CliRun run = cli({"--timeout", "2", "write-components", "B", "-"}, "B001=FIRST\nB002=SECOND\n");
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_EQ(run.outText(), "B001=FIRST\tERR（无应答）\nB002=SECOND\tERR\n") << run.describe();
    // What the instrument holds: the late row was carried out, the refused one was not.
    const QStringList now = lines(cli({"components", "B"}).outText());
    EXPECT_TRUE(now.contains("B001=FIRST"));
    EXPECT_FALSE(now.contains("B002=SECOND"));
}

TEST_F(SilentTest, NoReplyInTimeGivesFive)
{
    CliRun run = cli({"--timeout", "1", "partitions"});
    EXPECT_EQ(run.exitCode, 5) << run.describe();
    EXPECT_EQ(run.errText().count("没有读取到数据！请检查连线或仪器的电源开关是否关闭！"), 1) << run.describe();
    // the settle time after opening, then the second --timeout allows
    EXPECT_LT(run.elapsedMs, 6000);

    run = cli({"--timeout", "1", "copy", "A", "-o", file("A.xls")});
    EXPECT_EQ(run.exitCode, 5) << run.describe();
    run = cli({"--timeout", "0.5", "write-components", "A", "-"}, "A001=X\nA002=Y\n");
    EXPECT_EQ(run.exitCode, 5) << run.describe();
    EXPECT_EQ(run.outText(), "A001=X\tERR（无应答）\nA002=Y\tERR（无应答）\n");
    EXPECT_TRUE(workFiles().isEmpty());
}

namespace {
// Starts a copy, kills the simulator while the records stream in, and checks what is left.
void copyAndKill(QProcess& copy, const std::function<void()>& kill, const std::function<QStringList()>& files)
{
    ASSERT_TRUE(copy.waitForStarted(5000));
    // opening, the command wait, then a second or two of records
    testing_qt::pump(3500);
    ASSERT_EQ(copy.state(), QProcess::Running) << copy.readAllStandardError().toStdString();
    kill();
    ASSERT_TRUE(testing_qt::waitFor([&] { return copy.state() == QProcess::NotRunning; }, 15000));
    const QString err = QString::fromUtf8(copy.readAllStandardError());
    EXPECT_TRUE(copy.exitCode() == 7 || copy.exitCode() == 5) << copy.exitCode() << " " << err.toStdString();
    EXPECT_TRUE(err.contains("传输中断") || err.contains("已断开")) << err.toStdString();
    EXPECT_TRUE(copy.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(files().isEmpty()) << files().join(", ").toStdString();
}
} // namespace

TEST_F(SlowTransferTest, TheSimulatorKilledMidTransferLeavesNoWorkbook)
{
    QProcess copy;
    startCli(copy, {"copy", "A", "-o", file("A.xls")});
    copyAndKill(
        copy, [this] { killSim(); }, [this] { return workFiles(); });
}

TEST_F(SlowTransferTest, TheSimulatorKilledMidTransferLeavesNoCsv)
{
    QProcess copy;
    startCli(copy, {"copy", "A", "-o", file("A.csv")});
    copyAndKill(
        copy, [this] { killSim(); }, [this] { return workFiles(); });
}

TEST_F(SlowTransferTest, TheSimulatorKilledMidTransferPutsNothingOnStandardOutput)
{
    QProcess copy;
    startCli(copy, {"copy", "A", "-o", "-"});
    copyAndKill(
        copy, [this] { killSim(); }, [this] { return workFiles(); });
}

TEST_F(SplitReplyTest, AReplyCutInTheMiddleOfALineIsNotSaved)
{
    const QString reply = expected("COPY A");
    // The simulator sends the first half, pauses, then the rest: the pause ends the reply.
    ASSERT_FALSE(reply.left(reply.size() / 2).endsWith("\r\n"));
    const CliRun run = cli({"copy", "A", "-o", file("A.xls")});
    EXPECT_EQ(run.exitCode, 7) << run.describe();
    EXPECT_TRUE(run.errText().contains("接收的数据不完整")) << run.describe();
    EXPECT_TRUE(workFiles().isEmpty());
}

TEST_F(CliTest, ASaveThatFailsAfterTheTransferGivesSixAndKeepsWhatWasThere)
{
    // the target is a folder: the work copy is written, but cannot replace it
    ASSERT_TRUE(QDir(m_work.path()).mkdir("A.xls"));
    writeFile(file("A.xls/inside"), "kept");
    const CliRun run = cli({"copy", "A", "-o", file("A.xls")});
    EXPECT_EQ(run.exitCode, 6) << run.describe();
    EXPECT_TRUE(run.errText().startsWith("保存文件失败，请检查诸如是否已打开同名文件等原因，请稍后重试！\n"))
        << run.describe();
    EXPECT_EQ(contents(file("A.xls/inside")), "kept");
    EXPECT_EQ(workFiles(), QStringList()); // no work copy left either
}

TEST_F(SlowTransferTest, StoppedBySignalMidTransferEndsInOrderWithNoFile)
{
    QProcess copy;
    startCli(copy, {"copy", "A", "-o", file("A.csv")});
    ASSERT_TRUE(copy.waitForStarted(5000));
    testing_qt::pump(3000);
    ASSERT_EQ(copy.state(), QProcess::Running);
    copy.terminate(); // SIGTERM, as a cron job's time limit sends it
    ASSERT_TRUE(testing_qt::waitFor([&] { return copy.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(copy.exitCode(), 7);
    const QString err = QString::fromUtf8(copy.readAllStandardError());
    EXPECT_TRUE(err.contains("已停止接收：已接收的")) << err.toStdString();
    EXPECT_TRUE(err.contains("已中止。")) << err.toStdString();
    EXPECT_TRUE(workFiles().isEmpty()) << workFiles().join(", ").toStdString();
    // the instrument is still there for the next run, once the rest of the reply has been sent
    EXPECT_TRUE(simRunning());
}

namespace {
class GarbageTest : public CliTest {
protected:
    // noise without a line end instead of every reply
    QStringList simArguments() const override { return {"--no-pace", "--fault", "garbage:40"}; }
};
} // namespace

TEST_F(GarbageTest, NoiseIsNeitherAListingNorAConfirmationNorData)
{
    CliRun run = cli({"partitions"});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("读取数据分区失败！仪器的回答不是分区范围")) << run.describe();
    run = cli({"new-file", "A", "N1"});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("仪器的回答不明确")) << run.describe();
    run = cli({"copy", "A", "-o", file("A.csv")});
    EXPECT_EQ(run.exitCode, 7) << run.describe();
    EXPECT_TRUE(workFiles().isEmpty());
}
