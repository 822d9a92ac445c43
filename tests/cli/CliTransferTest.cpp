// Transfers through ktm520-cli: progress only on a terminal, and large partitions that arrive
// record for record.
#include "tests/cli/CliFixture.h"
#include "ktmsim/seed.h"
#include "tests/support/QtTestMain.h"

#include <QFile>
#include <QLocale>
#include <QProcess>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

class PacedTransferTest : public CliTest {
protected:
    // about 3.6 KB at 960 bytes a second
    QStringList simArguments() const override { return {"--baud", "9600", "--records", "100"}; }
};

} // namespace

TEST_F(PacedTransferTest, NoProgressWhenStandardErrorIsNotATerminal)
{
    const CliRun run = cli({"copy", "A", "-o", file("A.xls")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_GT(run.elapsedMs, 3000); // the paced line took its time: progress would have shown
    EXPECT_EQ(run.errText(), "成功保存文件，请查阅！\n");
    EXPECT_FALSE(run.err.contains('\r'));
    EXPECT_FALSE(run.err.contains('\x1b'));
}

TEST_F(PacedTransferTest, ProgressOnATerminalShowsBytesRateAndElapsed)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    QProcess copy;
    // Standard error on the terminal; standard output stays a pipe.
    copy.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
    startCli(copy, {"copy", "A", "-o", file("A.xls")});
    ASSERT_TRUE(copy.waitForStarted(5000));
    ::close(slave);
    QByteArray terminal;
    auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            terminal.append(buffer, n);
    };
    ASSERT_TRUE(testing_qt::waitFor(
        [&] {
            drain();
            return copy.state() == QProcess::NotRunning;
        },
        60000));
    drain();
    ::close(master);
    EXPECT_EQ(copy.exitCode(), 0) << terminal.toStdString();
    const QString text = QString::fromUtf8(terminal);
    // redrawn in place several times while the records came in, then the totals
    EXPECT_GE(text.count("\r正在接收数据："), 3) << text.toStdString();
    EXPECT_TRUE(text.contains("字节/秒，用时")) << text.toStdString();
    const QString total = QLocale(QLocale::Chinese, QLocale::China).toString(expected("COPY A", 100).toUtf8().size());
    EXPECT_TRUE(text.contains("接收完成：" + total + " 字节")) << text.toStdString();
    EXPECT_TRUE(text.contains("成功保存文件，请查阅！")) << text.toStdString();
    EXPECT_TRUE(copy.readAllStandardOutput().isEmpty());
}

TEST_F(PacedTransferTest, ComponentWriteShowsABarOnATerminal)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    QProcess write;
    write.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
    startCli(write, {"write-components", "A", "-"});
    ASSERT_TRUE(write.waitForStarted(5000));
    ::close(slave);
    write.write("A001=ONE\nA002=TWO\n");
    write.closeWriteChannel();
    QByteArray terminal;
    auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            terminal.append(buffer, n);
    };
    ASSERT_TRUE(testing_qt::waitFor(
        [&] {
            drain();
            return write.state() == QProcess::NotRunning;
        },
        60000));
    drain();
    ::close(master);
    EXPECT_EQ(write.exitCode(), 0) << terminal.toStdString();
    const QString text = QString::fromUtf8(terminal);
    EXPECT_TRUE(text.contains("  0% 0/2 行")) << text.toStdString();
    EXPECT_TRUE(text.contains(" 50% 1/2 行")) << text.toStdString();
    EXPECT_TRUE(text.contains("100% 2/2 行")) << text.toStdString();
    EXPECT_FALSE(text.contains("正在接收数据")) << text.toStdString(); // rows, not each tiny answer
    EXPECT_EQ(QString::fromUtf8(write.readAllStandardOutput()), "A001=ONE\tOK\nA002=TWO\tOK\n");
}

namespace {

class LargePartitionTest : public CliTest {
protected:
    static constexpr long kRecords = 100000;
    QStringList simArguments() const override { return {"--no-pace", "--records", QString::number(kRecords)}; }
};

} // namespace

TEST_F(LargePartitionTest, AHundredThousandRecordsArriveInTheCsvRecordForRecord)
{
    const CliRun run = cli({"copy", "A", "-o", file("A.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(workFiles(), QStringList({"A.csv"})); // the temporary file is gone
    expectCsvHoldsRecords(readAll(file("A.csv")), ktmsim::largePartitionFiles('A', kRecords), size_t(kRecords));
}

TEST_F(LargePartitionTest, CsvOnStandardOutputAndOneFileOfAPartition)
{
    const std::vector<ktmsim::DataFile> all = ktmsim::largePartitionFiles('A', kRecords);
    ASSERT_GE(all.size(), 3u);
    const QString name = QString::fromStdString(all[2].name);
    const CliRun run = cli({"copy", "A", name, "-o", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.err.isEmpty()) << run.describe(); // nothing to say on success but the data
    expectCsvHoldsRecords(run.out, {all[2]}, all[2].records.size());
    EXPECT_TRUE(workFiles().isEmpty());
}

TEST_F(CliTest, ComponentsSavedAsCsv)
{
    const CliRun run = cli({"components", "C", "-o", file("C.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QByteArray csv = readAll(file("C.csv"));
    ASSERT_TRUE(csv.startsWith(kBom));
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.mid(kBom.size())));
    const QStringList held = lines(expected("DIRPART C"));
    ASSERT_EQ(rows.size(), held.size() + 1);
    EXPECT_EQ(rows[0], QStringList({"序号", "元件名"}));
    for (int i = 0; i < held.size(); ++i)
        EXPECT_EQ(rows[i + 1], QStringList({QString::number(i + 1), held[i]}));
}
