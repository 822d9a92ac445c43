#include "export/CsvWriter.h"

#include "export/FailureText.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "tests/export/CommaLocale.h"
#include "tests/support/XlrdReader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Rows = QList<QStringList>;
using workbook::ErrorKind;

// Whether the writer wrote the file; its reason in `error` when it did not.
bool wrote(const SaveResult& result, QString* error)
{
    if (result)
        *error = result->reason;
    return !result;
}

Rows pythonCsv(const QString& path)
{
    QString error;
    const Rows rows = ::readWithPythonCsv(path, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return rows;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// A reply of `files` files of `records` records each, every record's numbers its own.
QString reply(int files, int records)
{
    QString out;
    for (int f = 1; f <= files; ++f) {
        out += QStringLiteral("F%1\r\n").arg(f);
        for (int i = 0; i < records; ++i)
            out += QStringLiteral("A%1 %2 %3 D T\r\n").arg(i).arg(i * 7 - 30000).arg(i % 500 - 250);
    }
    return out;
}

class CsvWriterTest : public ::testing::Test {
protected:
    // A save of a small grid to `target`, the file a failed save must leave as it is.
    void saveOld()
    {
        grids::FillGrid(grid, "OLD\r\nA001 1 2 D T\r\n");
        ASSERT_TRUE(wrote(CsvWriter::save(grid, target), &error)) << error.toStdString();
        old = contents(target);
    }
    QStringList files() const { return QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    PreviewGrid grid;
    QTemporaryDir tmp;
    QString target = tmp.filePath("A.csv");
    QString error;
    QByteArray old;
};

} // namespace

TEST_F(CsvWriterTest, RecordsReadBackUnderTheirFilesNameWithChineseAndQuotedTextIntact)
{
    grids::FillGrid(grid, QStringLiteral("一号桥-20261105\r\n"
                                         "A001 28456 235 2026-12-07 10:31:05\r\n"
                                         "A002 -52 -3 测量 异常\r\n"
                                         "A003 - abc D T\r\n" // not numbers: the texts stay
                                         "A004 12 34\r\n"     // three fields: "12 34" shares a cell
                                         "A005  -3 D T\r\n"   // no reading, but a temperature: a record
                                         "A,1 &H1F x\"y\" 9:00 a\nb\rc\r\n"
                                         "F2\r\n"
                                         "B001   09:30 中午\r\n")); // a name row with a time: kept
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("桥梁监测")));
    const QString path = tmp.filePath(QStringLiteral("桥梁监测/一号桥 数据.csv"));
    ASSERT_TRUE(wrote(CsvWriter::save(grid, path), &error)) << error.toStdString();
    EXPECT_EQ(pythonCsv(path), Rows({{"BOM"},
                                     {"文件名", "编号", "读数", "温度", "时间"},
                                     {"一号桥-20261105", "A001", "2845.6", "23.5", "2026-12-07 10:31:05"},
                                     {"一号桥-20261105", "A002", "-5.2", "-0.3", "测量 异常"},
                                     {"一号桥-20261105", "A003", "-", "abc", "D T"},
                                     {"一号桥-20261105", "A004", "123.4", "", ""},
                                     {"一号桥-20261105", "A005", "", "-0.3", "D T"},
                                     {"一号桥-20261105", "A,1", "3.1", "x\"y\"", "9:00 a\nb\rc"},
                                     {"B001", "B001", "", "", "09:30 中午"}}));
    const QByteArray bytes = contents(path);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" + QStringLiteral("文件名,编号,读数,温度,时间\r\n").toUtf8()));
    EXPECT_TRUE(bytes.contains(",\"A,1\",3.1,\"x\"\"y\"\"\",\"9:00 a\nb\rc\"\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 8);
}

TEST_F(CsvWriterTest, ALargeGridGoesOutInPiecesAndReadsBackRecordForRecord)
{
    struct Pieces : QIODevice {
        QByteArray all;
        qint64 largest = 0;
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* data, qint64 n) override
        {
            largest = std::max(largest, n);
            all.append(data, n);
            return n;
        }
    } out;
    out.open(QIODevice::WriteOnly);
    grids::FillGrid(grid, reply(3, 30000));
    ASSERT_TRUE(wrote(CsvWriter::write(grid, out), &error)) << error.toStdString();
    EXPECT_LE(out.largest, 128 * 1024);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(out.all) == out.all.size() && file.flush());
    const Rows rows = pythonCsv(target);
    ASSERT_EQ(rows.size(), 2 + 3 * 30000);
    for (int k = 2; k < rows.size(); ++k) {
        const int i = (k - 2) % 30000;
        ASSERT_EQ(rows[k].mid(0, 2), QStringList({QStringLiteral("F%1").arg((k - 2) / 30000 + 1), QStringLiteral("A%1").arg(i)}));
        ASSERT_EQ(rows[k][2].toDouble(), (i * 7 - 30000) / 10.0) << rows[k][2].toStdString();
        ASSERT_EQ(rows[k][3].toDouble(), (i % 500 - 250) / 10.0) << rows[k][3].toStdString();
    }
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
    const bool written = wrote(CsvWriter::write(grid, out), &error);
    QLocale::setDefault(QLocale::c());
    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_TRUE(out.data().endsWith("F,A001,2845.6,-23.5,D T\r\nF,A002,123456.7,0.5,D T\r\n")) << out.data().toStdString();
}

TEST_F(CsvWriterTest, AnUnwritableOrMissingFolderLeavesEverythingAsItWas)
{
    saveOld();
    // The file may be written, its folder may not: a save must not write into the file directly.
    std::filesystem::permissions(target.toStdString(), std::filesystem::perms(0666));
    std::filesystem::permissions(tmp.path().toStdString(), std::filesystem::perms(0555));
    grids::FillGrid(grid, reply(1, 10));
    const int fsuid = setfsuid(65534); // as root, file access as nobody: permissions hold again
    QFile probe(tmp.filePath("probe"));
    const bool folderWritable = probe.open(QIODevice::WriteOnly);
    const bool written = !folderWritable && wrote(CsvWriter::save(grid, target), &error);
    probe.remove();
    setfsuid(fsuid);
    std::filesystem::permissions(tmp.path().toStdString(), std::filesystem::perms(0755));
    if (folderWritable)
        GTEST_SKIP() << "this process writes into read-only folders";
    EXPECT_FALSE(written);
    EXPECT_EQ(error, FailureText::reason(ErrorKind::AccessDenied));
    EXPECT_EQ(contents(target), old);
    EXPECT_EQ(files(), QStringList({"A.csv"}));

    EXPECT_FALSE(wrote(CsvWriter::save(grid, tmp.filePath("gone/A.csv")), &error));
    EXPECT_EQ(error, FailureText::reason(ErrorKind::NotFound));
    EXPECT_EQ(files(), QStringList({"A.csv"}));
}

TEST_F(CsvWriterTest, AWriteThatFailsOrIsCancelledHalfWayCommitsNothing)
{
    saveOld();
    // The file size limit stops the one 40 kB piece midway; Qt reports that short
    // write without an error, and it must not pass for a complete file.
    grids::FillGrid(grid, reply(1, 1500));
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, limit{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = {20000, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = wrote(CsvWriter::save(grid, target), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, FailureText::reason(ErrorKind::TooLarge));
    EXPECT_EQ(contents(target), old);

    grids::FillGrid(grid, reply(2, 20000));
    int polls = 0;
    EXPECT_FALSE(wrote(CsvWriter::save(grid, target, [&] { return ++polls == 3; }), &error));
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(error, FailureText::saveCancelled());
    EXPECT_EQ(contents(target), old);
    grids::FillGrid(grid, "F\r\nA001 1 2 D T\r\n"); // too short for a poll on the way: asked at the end
    const SaveResult stopped = CsvWriter::save(grid, tmp.filePath("new.csv"), [] { return true; });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->kind, SaveFailure::Kind::Cancelled);
    EXPECT_EQ(stopped->reason, FailureText::saveCancelled());
    EXPECT_EQ(files(), QStringList({"A.csv"}));

    // A full disk shows only when the file's own buffer is flushed at the end.
    if (QFile full("/dev/full"); full.open(QIODevice::WriteOnly)) {
        EXPECT_FALSE(wrote(CsvWriter::write(grid, full), &error));
        EXPECT_EQ(error, FailureText::reason(ErrorKind::DiskFull));
    }
}

TEST_F(CsvWriterTest, ComponentListAsTheGridShowsIt)
{
    grids::FillYJGrid(grid, QStringLiteral("A001=QRVA000001\r\nA002=东侧,上游\r\n\r\n"));
    ASSERT_TRUE(wrote(CsvWriter::save(grid, target), &error)) << error.toStdString();
    EXPECT_EQ(pythonCsv(target),
              Rows({{"BOM"}, {"序号", "元件名"}, {"1", "A001=QRVA000001"}, {"2", "A002=东侧,上游"}, {"3", ""}}));
}

TEST_F(CsvWriterTest, TextsASpreadsheetWouldComputeStayTextAndNumbersStayNumbers)
{
    // A file name, a code and a time that a spreadsheet would take for formulas; a negative
    // reading and temperature, which must stay numbers.
    grids::FillGrid(grid, QStringLiteral("=1+1\r\n"
                                         "-A1 -52 -3 =2+3 10:00\r\n"
                                         "@A2 +1+1 x +A1 10:00\r\n"
                                         "A3 -1e3 - - -\r\n"));
    ASSERT_TRUE(wrote(CsvWriter::save(grid, target), &error)) << error.toStdString();
    EXPECT_EQ(pythonCsv(target), Rows({{"BOM"},
                                       {"文件名", "编号", "读数", "温度", "时间"},
                                       {"'=1+1", "'-A1", "-5.2", "-0.3", "'=2+3 10:00"},
                                       {"'=1+1", "'@A2", "0.1", "x", "'+A1 10:00"},
                                       {"'=1+1", "A3", "-100", "-", "'- -"}}));

    // The field writer alone: quoting and the apostrophe together; a number with a sign or an
    // exponent is left as it is.
    QByteArray out;
    CsvWriter::appendField(out, "=A1,B1");
    CsvWriter::appendField(out, "\r=1");
    CsvWriter::appendField(out, "+3.5");
    CsvWriter::appendField(out, "-2.5e-3");
    CsvWriter::appendField(out, "-2.5e");
    CsvWriter::appendField(out, "\t=1");
    CsvWriter::appendField(out, "@");
    EXPECT_EQ(out, QByteArray("\"'=A1,B1\"\"'\r=1\"+3.5-2.5e-3'-2.5e'\t=1@"));

    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    QString importError;
    const QJsonArray cells = importCsvWithLibreOffice(target, &importError);
    ASSERT_FALSE(cells.isEmpty()) << importError.toStdString();
    QStringList formulas;
    QMap<QString, QJsonArray> at;
    for (const QJsonValue& v : cells) {
        const QJsonArray cell = v.toArray();
        at[QStringLiteral("%1,%2").arg(cell[0].toInt()).arg(cell[1].toInt())] = cell;
        if (cell[2].toString() == "formula")
            formulas << cell[3].toString();
    }
    EXPECT_TRUE(formulas.isEmpty()) << formulas.join(" | ").toStdString();
    const auto cell = [&](const char* where) { return QJsonDocument(at[where]).toJson(QJsonDocument::Compact).toStdString(); };
    // Row 1 is the header.
    EXPECT_EQ(cell("2,1"), R"([2,1,"text","'=1+1"])");
    EXPECT_EQ(cell("2,5"), R"([2,5,"text","'=2+3 10:00"])");
    EXPECT_EQ(cell("3,5"), R"([3,5,"text","'+A1 10:00"])");
    EXPECT_EQ(cell("2,3"), R"([2,3,"number",-5.2])");
    EXPECT_EQ(cell("2,4"), R"([2,4,"number",-0.3])");
    EXPECT_EQ(cell("4,3"), R"([4,3,"number",-100])");
}

TEST_F(CsvWriterTest, AReadOnlyFileIsRefusedAndWhatAKilledSaveLeftIsRemoved)
{
    saveOld();
    ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    grids::FillGrid(grid, reply(1, 10));
    EXPECT_FALSE(wrote(CsvWriter::save(grid, target), &error));
    EXPECT_EQ(error, FailureText::reason(ErrorKind::AccessDenied));
    EXPECT_EQ(contents(target), old);
    EXPECT_EQ(files(), QStringList({"A.csv"}));
    ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    // A save killed in the middle left its temporary file; the next save to the file removes it.
    const pid_t child = fork();
    if (child == 0) {
        grids::FillGrid(grid, reply(3, 30000));
        CsvWriter::save(grid, target, [] {
            raise(SIGKILL);
            return false;
        });
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(files().size(), 2) << files().join(" ").toStdString();
    EXPECT_TRUE(files()[1].startsWith(QStringLiteral("~A.csv.%1-").arg(child))) << files().join(" ").toStdString();
    EXPECT_EQ(contents(target), old);
    ASSERT_TRUE(wrote(CsvWriter::save(grid, target), &error)) << error.toStdString();
    EXPECT_EQ(files(), QStringList({"A.csv"}));
}
