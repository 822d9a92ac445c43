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

    // Runs the program with its standard error on a terminal (standard output stays a pipe);
    // returns what the terminal showed.
    struct OnTerminal {
        int exitCode = -1;
        QString terminal;
        QByteArray out;
    };
    OnTerminal runOnTerminal(const QStringList& arguments, const QByteArray& input = {})
    {
        OnTerminal result;
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return result;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        QProcess process;
        process.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
        startCli(process, arguments);
        const bool started = process.waitForStarted(5000);
        ::close(slave);
        QByteArray shown;
        auto drain = [&] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(master, buffer, sizeof buffer)) > 0)
                shown.append(buffer, n);
        };
        if (started) {
            process.write(input);
            process.closeWriteChannel();
            testing_qt::waitFor(
                [&] {
                    drain();
                    return process.state() == QProcess::NotRunning;
                },
                60000);
            drain();
        }
        ::close(master);
        result.exitCode = process.state() == QProcess::NotRunning ? process.exitCode() : -1;
        result.terminal = QString::fromUtf8(shown);
        result.out = process.readAllStandardOutput();
        return result;
    }
};

} // namespace

TEST_F(PacedTransferTest, NoProgressWhenStandardErrorIsNotATerminal)
{
    const CliRun run = cli({"copy", "A", "-o", file("A.xls")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_GT(run.elapsedMs, 3000); // the paced line took its time: progress would have shown
    EXPECT_TRUE(run.errText().startsWith("成功保存文件，请查阅！\n已存档：新增 ")) << run.describe();
    EXPECT_EQ(run.err.count('\n'), 2) << run.describe();
    EXPECT_FALSE(run.err.contains('\r'));
    EXPECT_FALSE(run.err.contains('\x1b'));
}

TEST_F(PacedTransferTest, ProgressOnATerminalShowsBytesRateAndElapsed)
{
    const OnTerminal run = runOnTerminal({"copy", "A", "-o", file("A.xls")});
    const std::string shown = run.terminal.toStdString();
    EXPECT_EQ(run.exitCode, 0) << shown;
    // redrawn in place several times while the records came in, then the totals
    EXPECT_GE(run.terminal.count("\r正在接收数据："), 3) << shown;
    EXPECT_TRUE(run.terminal.contains("字节/秒，用时")) << shown;
    const QString total = QLocale(QLocale::Chinese, QLocale::China).toString(expected("COPY A", 100).toUtf8().size());
    EXPECT_TRUE(run.terminal.contains("接收完成：" + total + " 字节")) << shown;
    EXPECT_TRUE(run.terminal.contains("成功保存文件，请查阅！")) << shown;
    EXPECT_TRUE(run.out.isEmpty());
}

TEST_F(PacedTransferTest, ComponentWriteShowsABarOnATerminal)
{
    const OnTerminal run = runOnTerminal({"write-components", "A", "-"}, "A001=ONE\nA002=TWO\n");
    const std::string shown = run.terminal.toStdString();
    EXPECT_EQ(run.exitCode, 0) << shown;
    EXPECT_TRUE(run.terminal.contains("  0% 0/2 行")) << shown;
    EXPECT_TRUE(run.terminal.contains(" 50% 1/2 行")) << shown;
    EXPECT_TRUE(run.terminal.contains("100% 2/2 行")) << shown;
    EXPECT_FALSE(run.terminal.contains("正在接收数据")) << shown; // rows, not each tiny answer
    EXPECT_EQ(QString::fromUtf8(run.out), "A001=ONE\tOK\nA002=TWO\tOK\n");
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
    // The simulated partition's random readings hold a step the quality rules flag (code 10: copied
    // and archived, with a flag); what counts here is that every record arrived.
    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 10) << run.describe();
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
