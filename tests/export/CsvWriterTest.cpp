#include "export/CsvWriter.h"

#include "export/FailureText.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "tests/export/CommaLocale.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using Rows = QList<QStringList>;

// The rows of a CSV file as Python's csv module reads them (strict quoting), a reader nobody on
// this project wrote. A leading byte-order mark is dropped and reported in `bom`.
Rows readWithPythonCsv(const QString& path, bool* bom = nullptr)
{
    static const char* script = R"(
import csv, io, json, sys
text = open(sys.argv[1], encoding="utf-8", newline="").read()
bom = text.startswith("\ufeff")
rows = list(csv.reader(io.StringIO(text[1:] if bom else text), strict=True))
print(json.dumps({"bom": bom, "rows": rows}))
)";
    QProcess python;
    python.start(QStringLiteral(SYSTEM_PYTHON3), {"-c", QString::fromUtf8(script), path});
    python.waitForFinished(60000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonObject out = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    if (bom)
        *bom = out["bom"].toBool();
    Rows rows;
    for (const auto& row : out["rows"].toArray())
        rows << row.toVariant().toStringList();
    return rows;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Takes from this thread the root privileges that ignore file permissions, while it lives.
class NoPermissionOverride {
public:
    NoPermissionOverride()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_lowered = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~NoPermissionOverride()
    {
        if (m_lowered)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
};

class CsvWriterTest : public ::testing::Test {
protected:
    // A reply of `files` files of `records` records each, with readings that differ per record.
    static QString reply(int files, int records)
    {
        QString out;
        for (int f = 1; f <= files; ++f) {
            out += QStringLiteral("A2026110%1-0%1\r\n").arg(f);
            for (int i = 0; i < records; ++i)
                out += QStringLiteral("A%1 %2 %3 2026-12-07 10:31:05\r\n").arg(i).arg(i * 7 - 30000).arg(i % 500 - 250);
        }
        return out;
    }
    // The existing file that a failed save must leave as it is.
    void saveOld()
    {
        grids::FillGrid(grid, "OLD\r\nA001 1 2 D T\r\n");
        ASSERT_TRUE(CsvWriter::save(grid, target, &error)) << error.toStdString();
        old = contents(target);
    }

    PreviewGrid grid;
    QTemporaryDir tmp;
    QString target = tmp.filePath("A.csv");
    QString error;
    QByteArray old;
};

} // namespace

TEST_F(CsvWriterTest, RecordsReadBackOnePerRowUnderTheirFilesName)
{
    grids::FillGrid(grid, QStringLiteral("一号桥-20261105\r\n"
                                         "A001 28456 235 2026-12-07 10:31:05\r\n"
                                         "A002 -52 -3 2026-12-07 10:32:05\r\n"
                                         "A003 - abc 测量 异常\r\n" // not numbers: the texts stay
                                         "A004 12 34\r\n"          // three fields: "12 34" shares a cell
                                         "A20261106-02\r\n"
                                         "A001 &H1F 2.5D1 2026-12-08 09:00:00\r\n"
                                         "B001   09:30 中午\r\n")); // a name row with a time: kept
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("桥梁监测")));
    const QString path = tmp.filePath(QStringLiteral("桥梁监测/一号桥 数据.csv"));
    ASSERT_TRUE(CsvWriter::save(grid, path, &error)) << error.toStdString();
    bool bom = false;
    EXPECT_EQ(readWithPythonCsv(path, &bom),
              Rows({{"文件名", "编号", "读数", "温度", "时间"},
                    {"一号桥-20261105", "A001", "2845.6", "23.5", "2026-12-07 10:31:05"},
                    {"一号桥-20261105", "A002", "-5.2", "-0.3", "2026-12-07 10:32:05"},
                    {"一号桥-20261105", "A003", "-", "abc", "测量 异常"},
                    {"一号桥-20261105", "A004", "123.4", "", ""},
                    {"A20261106-02", "A001", "3.1", "2.5", "2026-12-08 09:00:00"},
                    {"B001", "B001", "", "", "09:30 中午"}}));
    EXPECT_TRUE(bom);
}

TEST_F(CsvWriterTest, ManySectionsInManyPiecesReadBackRecordForRecord)
{
    grids::FillGrid(grid, reply(3, 9000));
    ASSERT_TRUE(CsvWriter::save(grid, target, &error)) << error.toStdString();
    const Rows rows = readWithPythonCsv(target);
    ASSERT_EQ(rows.size(), 1 + 3 * 9000);
    for (int k = 1; k < rows.size(); ++k) {
        const int f = (k - 1) / 9000 + 1, i = (k - 1) % 9000;
        const QStringList expected = {QStringLiteral("A2026110%1-0%1").arg(f), QStringLiteral("A%1").arg(i)};
        ASSERT_EQ(rows[k].mid(0, 2), expected) << k;
        ASSERT_EQ(rows[k][2].toDouble(), (i * 7 - 30000) / 10.0) << rows[k][2].toStdString();
        ASSERT_EQ(rows[k][3].toDouble(), (i % 500 - 250) / 10.0) << rows[k][3].toStdString();
    }
}

TEST_F(CsvWriterTest, ByteOrderMarkCrLfAndQuotedFields)
{
    grids::Ini_Grid(grid);
    grid.setRows(4);
    const QStringList cells = {"F,1", "", "", "",                    // the file's name holds a comma
                               "say \"hi\"", "12", "x", "two\nlines", // a quote, a text reading, LF
                               "cr\rhere", "", "-3", "plain"};
    for (int k = 0; k < cells.size(); ++k)
        grid.setText(1 + k / 4, k % 4, cells[k]);
    ASSERT_TRUE(CsvWriter::save(grid, target, &error)) << error.toStdString();
    EXPECT_EQ(contents(target), QByteArray("\xEF\xBB\xBF") + QStringLiteral("文件名,编号,读数,温度,时间\r\n").toUtf8()
                                    + "\"F,1\",\"say \"\"hi\"\"\",1.2,x,\"two\nlines\"\r\n"
                                      "\"F,1\",\"cr\rhere\",,-0.3,plain\r\n");
    EXPECT_EQ(readWithPythonCsv(target), Rows({{"文件名", "编号", "读数", "温度", "时间"},
                                               {"F,1", "say \"hi\"", "1.2", "x", "two\nlines"},
                                               {"F,1", "cr\rhere", "", "-0.3", "plain"}}));
}

TEST_F(CsvWriterTest, NumbersKeepTheFullStopUnderACommaDecimalLocale)
{
    CommaLocale german;
    if (!german.active())
        GTEST_SKIP() << "no comma-decimal locale: de_DE.UTF-8 is not installed and localedef could not make it";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    grids::FillGrid(grid, "F\r\nA001 28456 -235 D T\r\nA002 1234567 5 D T\r\n");
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const bool written = CsvWriter::write(grid, out, &error);
    QLocale::setDefault(QLocale::c());
    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_TRUE(out.data().endsWith("F,A001,2845.6,-23.5,D T\r\nF,A002,123456.7,0.5,D T\r\n")) << out.data().toStdString();
}

TEST_F(CsvWriterTest, AnUnwritableOrMissingFolderLeavesEverythingAsItWas)
{
    saveOld();
    ASSERT_TRUE(QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::ExeOwner));
    {
        NoPermissionOverride asUser;
        QFile probe(tmp.filePath("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            GTEST_SKIP() << "this process writes into read-only folders";
        }
        grids::FillGrid(grid, reply(1, 10));
        EXPECT_FALSE(CsvWriter::save(grid, target, &error));
    }
    ASSERT_TRUE(QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(error, FailureText::reason(workbook::ErrorKind::AccessDenied));
    EXPECT_EQ(contents(target), old);
    EXPECT_EQ(entries(tmp.path()), QStringList({"A.csv"}));

    EXPECT_FALSE(CsvWriter::save(grid, tmp.filePath("gone/A.csv"), &error));
    EXPECT_EQ(error, FailureText::reason(workbook::ErrorKind::NotFound));
    EXPECT_EQ(entries(tmp.path()), QStringList({"A.csv"}));
}

TEST_F(CsvWriterTest, AWriteThatFailsOrIsCancelledHalfWayCommitsNothing)
{
    saveOld();
    grids::FillGrid(grid, reply(2, 20000)); // about 1.3 MB
    // The file size limit stops the write part of the way in; Qt then reports a short write
    // without an error, which must not pass for a complete file.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 300000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = CsvWriter::save(grid, target, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, FailureText::reason(workbook::ErrorKind::TooLarge));
    EXPECT_EQ(contents(target), old);
    EXPECT_EQ(entries(tmp.path()), QStringList({"A.csv"}));

    int polls = 0;
    EXPECT_FALSE(CsvWriter::save(grid, target, &error, [&] { return ++polls == 3; }));
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(error, FailureText::saveCancelled());
    EXPECT_EQ(contents(target), old);
    EXPECT_FALSE(CsvWriter::save(grid, tmp.filePath("new.csv"), &error, [] { return true; }));
    EXPECT_EQ(entries(tmp.path()), QStringList({"A.csv"}));
}

TEST_F(CsvWriterTest, TheTextGoesOutInPiecesNotAsOneWholeFile)
{
    // Records the largest single write.
    class Pieces : public QIODevice {
    public:
        qint64 largest = 0, total = 0;
    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char*, qint64 n) override
        {
            largest = std::max(largest, n);
            total += n;
            return n;
        }
    } out;
    out.open(QIODevice::WriteOnly);
    grids::FillGrid(grid, reply(1, 100000));
    ASSERT_TRUE(CsvWriter::write(grid, out, &error)) << error.toStdString();
    EXPECT_GT(out.total, 4'000'000);
    EXPECT_LE(out.largest, 128 * 1024);
}

TEST_F(CsvWriterTest, ComponentListAsTheGridShowsIt)
{
    grids::FillYJGrid(grid, QStringLiteral("A001=QRVA000001\r\nA002=东侧,上游\r\n\r\n"));
    ASSERT_TRUE(CsvWriter::save(grid, target, &error)) << error.toStdString();
    EXPECT_EQ(readWithPythonCsv(target),
              Rows({{"序号", "元件名"}, {"1", "A001=QRVA000001"}, {"2", "A002=东侧,上游"}, {"3", ""}}));
}
