// Every command of ktm520-cli against the simulator, on a paced 9600-baud line and on an
// unpaced one: what the program prints or writes must be what the instrument holds, computed
// here independently from the simulator's seed.
#include "tests/cli/CliFixture.h"
#include "ktmsim/seed.h"
#include "tests/support/XlrdReader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>

namespace {

QJsonDocument json(const CliRun& run)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(run.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                     << run.describe();
    return doc;
}

QStringList strings(const QJsonArray& a)
{
    QStringList out;
    for (const auto& v : a) {
        EXPECT_TRUE(v.isString());
        out << v.toString();
    }
    return out;
}

// The cells of an xlrd sheet as text by (row, column); numbers as xlrd gives them.
QMap<QPair<int, int>, QJsonValue> cellsOf(const QJsonObject& sheet)
{
    QMap<QPair<int, int>, QJsonValue> out;
    for (const auto& c : sheet["cells"].toArray()) {
        const QJsonArray a = c.toArray();
        out[{a[0].toInt(), a[1].toInt()}] = a[3];
    }
    return out;
}

// A worksheet holds the file's name line and records as the window saves them: header row,
// the name, then code, reading / 10, temperature / 10 and the time per record.
void expectSheetHolds(const QJsonObject& sheet, const QString& fileName, const QStringList& records)
{
    EXPECT_EQ(sheet["name"].toString(), fileName);
    const auto cells = cellsOf(sheet);
    EXPECT_EQ(cells.value({1, 1}).toString(), "编号");
    EXPECT_EQ(cells.value({1, 4}).toString(), "时间");
    EXPECT_EQ(cells.value({2, 1}).toString(), fileName);
    int rows = 0;
    for (auto it = cells.begin(); it != cells.end(); ++it)
        rows = std::max(rows, it.key().first);
    ASSERT_EQ(rows, records.size() + 2) << fileName.toStdString();
    for (int i = 0; i < records.size(); ++i) {
        const QStringList f = records[i].split(' ');
        ASSERT_EQ(f.size(), 5);
        EXPECT_EQ(cells.value({i + 3, 1}).toString(), f[0]);
        EXPECT_DOUBLE_EQ(cells.value({i + 3, 2}).toDouble(), f[1].toDouble() / 10.0);
        EXPECT_DOUBLE_EQ(cells.value({i + 3, 3}).toDouble(), f[2].toDouble() / 10.0);
        EXPECT_EQ(cells.value({i + 3, 4}).toString(), f[3] + " " + f[4]);
    }
}

// The records of a "COPY x name" reply (without its name line).
QStringList recordsOf(const QString& reply)
{
    QStringList all = CliTest::lines(reply);
    all.removeFirst();
    return all;
}

} // namespace

TEST_P(PacedCliTest, PartitionsAndFilesListWhatTheInstrumentHolds)
{
    const QStringList letters{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
    CliRun run = cli({"partitions"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()), letters);

    run = cli({"partitions", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(strings(json(run).array()), letters);

    run = cli({"files", "B"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()), lines(expected("DIR B")));
    EXPECT_GE(lines(run.outText()).size(), 3);

    run = cli({"files", "d", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(strings(json(run).array()), lines(expected("DIR D")));
    // nothing but results on standard output, and no progress when standard error is a pipe
    EXPECT_FALSE(run.err.contains("正在接收数据"));
}

TEST_P(PacedCliTest, CopyAFileToXlsAsTheWindowSavesIt)
{
    const QStringList files = lines(expected("DIR B"));
    ASSERT_GE(files.size(), 2);
    const CliRun run = cli({"copy", "B", files[1], "-o", file("b.xls")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("成功保存文件，请查阅！")) << run.describe();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(workFiles(), QStringList({"b.xls"})); // no work copy left beside it

    QString error;
    const QJsonArray sheets = readWithXlrd(file("b.xls"), &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    expectSheetHolds(sheets[0].toObject(), files[1], recordsOf(expected("COPY B " + files[1].toStdString())));
}

TEST_P(PacedCliTest, CopyAPartitionToXlsGivesOneWorksheetPerFile)
{
    const CliRun run = cli({"copy", "C", "-o", file("C.xls"), "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.err.isEmpty()) << run.describe(); // --quiet: no success message either

    const QStringList files = lines(expected("DIR C"));
    QString error;
    const QJsonArray sheets = readWithXlrd(file("C.xls"), &error);
    ASSERT_EQ(sheets.size(), files.size()) << error.toStdString();
    for (int f = 0; f < files.size(); ++f)
        expectSheetHolds(sheets[f].toObject(), files[f], recordsOf(expected("COPY C " + files[f].toStdString())));
}

TEST_P(PacedCliTest, CopyAPartitionToXlsxGivesTheSameWorksheets)
{
    const CliRun run = cli({"copy", "C", "-o", file("C.xlsx"), "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(workFiles(), QStringList({"C.xlsx"}));

    const QStringList files = lines(expected("DIR C"));
    QString error;
    const QJsonArray sheets = readWithOpenpyxl(file("C.xlsx"), &error);
    ASSERT_EQ(sheets.size(), files.size()) << error.toStdString();
    for (int f = 0; f < files.size(); ++f)
        expectSheetHolds(sheets[f].toObject(), files[f], recordsOf(expected("COPY C " + files[f].toStdString())));
}

TEST_P(PacedCliTest, CopyAPartitionToCsvAndAFileToStandardOutput)
{
    const ktmsim::Instrument held = ktmsim::defaultSeed();
    const std::vector<ktmsim::DataFile>& files = held.partition('I').files;
    size_t records = 0;
    for (const auto& f : files)
        records += f.records.size();
    CliRun run = cli({"copy", "I", "-o", file("I.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(workFiles(), QStringList({"I.csv"}));
    expectCsvHoldsRecords(readAll(file("I.csv")), files, records);

    run = cli({"copy", "I", QString::fromStdString(files.back().name), "-o", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    expectCsvHoldsRecords(run.out, {files.back()}, files.back().records.size());
}

TEST_P(PacedCliTest, ComponentsListedAsTextAsJsonAndSaved)
{
    const QStringList held = lines(expected("DIRPART E"));
    ASSERT_GE(held.size(), 3);
    CliRun run = cli({"components", "E"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()), held);

    run = cli({"components", "E", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QJsonArray a = json(run).array();
    ASSERT_EQ(a.size(), held.size());
    for (int i = 0; i < held.size(); ++i) {
        const QJsonObject o = a[i].toObject();
        EXPECT_EQ(o["number"].toInt(), i + 1);
        EXPECT_EQ(o["code"].toString() + "=" + o["name"].toString(), held[i]);
    }

    run = cli({"components", "E", "-o", file("E-components.xls")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QString error;
    const QJsonArray sheets = readWithXlrd(file("E-components.xls"), &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    const auto cells = cellsOf(sheets[0].toObject());
    EXPECT_EQ(cells.value({1, 1}).toString(), "序号");
    EXPECT_EQ(cells.value({1, 2}).toString(), "元件名");
    for (int i = 0; i < held.size(); ++i) {
        EXPECT_EQ(cells.value({i + 2, 1}).toString(), QString::number(i + 1));
        EXPECT_EQ(cells.value({i + 2, 2}).toString(), held[i]);
    }
}

TEST_P(PacedCliTest, WriteComponentsFromAnXlsxThenComponentsListsThem)
{
    const QString list = file("list.xlsx");
    QProcess python;
    python.start(QStringLiteral(SYSTEM_PYTHON3),
                 {"-c",
                  "import sys, openpyxl\n"
                  "wb = openpyxl.Workbook(); ws = wb.active\n"
                  "ws['A1'] = '序号'; ws['B1'] = '元件名'\n"
                  "ws['B2'] = 'D001=NEW-ONE'; ws['B3'] = ' D002 = NEW-TWO '; ws['B5'] = 'D150=FAR'\n"
                  "wb.save(sys.argv[1])\n",
                  list});
    python.waitForFinished(60000);
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();

    CliRun run = cli({"write-components", "D", list});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(run.outText(), "D001=NEW-ONE\tOK\nD002=NEW-TWO\tOK\nD150=FAR\tOK\n");
    EXPECT_TRUE(run.errText().contains("元件编号写入完成，请查阅，检查！")) << run.describe();

    // what the instrument held, with the written codes replaced or added in code order
    QMap<QString, QString> want;
    for (const QString& entry : lines(expected("DIRPART D")))
        want[entry.left(4)] = entry.mid(5);
    want["D001"] = "NEW-ONE";
    want["D002"] = "NEW-TWO";
    want["D150"] = "FAR";
    run = cli({"components", "D", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    QMap<QString, QString> got;
    for (const auto& v : json(run).array())
        got[v.toObject()["code"].toString()] = v.toObject()["name"].toString();
    EXPECT_EQ(got, want);
}

TEST_P(PacedCliTest, WriteComponentsFromStandardInput)
{
    CliRun run = cli({"write-components", "F", "-"}, "F007=SEVEN\r\nF008=EIGHT\n");
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(run.outText(), "F007=SEVEN\tOK\nF008=EIGHT\tOK\n");
    run = cli({"components", "F"});
    EXPECT_TRUE(lines(run.outText()).contains("F007=SEVEN")) << run.describe();
    EXPECT_TRUE(lines(run.outText()).contains("F008=EIGHT")) << run.describe();
}

TEST_P(PacedCliTest, NewFileIsListedAndTheSameNameIsRefused)
{
    CliRun run = cli({"new-file", "G", "  NIGHT-01  "});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("文件创建成功！")) << run.describe();
    run = cli({"files", "G"});
    EXPECT_EQ(lines(run.outText()), lines(expected("DIR G")) << "NIGHT-01");

    run = cli({"new-file", "G", "NIGHT-01"});
    EXPECT_EQ(run.exitCode, 4) << run.describe();
    EXPECT_TRUE(run.errText().contains("文件创建失败，请稍后重试！")) << run.describe();
}

TEST_P(PacedCliTest, DeleteDataKeepsTheNamesDeleteEmptiesThePartition)
{
    const QStringList names = lines(expected("DIR H"));
    CliRun run = cli({"delete", "H", "--data", "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已成功删除分区数据！")) << run.describe();
    EXPECT_EQ(lines(cli({"files", "H"}).outText()), names);
    run = cli({"copy", "H", names[0], "-o", file("h.xls")});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    const QJsonArray sheets = readWithXlrd(file("h.xls"));
    ASSERT_EQ(sheets.size(), 1);
    expectSheetHolds(sheets[0].toObject(), names[0], {});

    run = cli({"delete", "H", "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(run.errText().contains("已成功删除分区！")) << run.describe();
    run = cli({"files", "H", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_TRUE(json(run).array().isEmpty()) << run.describe();
}

INSTANTIATE_TEST_SUITE_P(Line, PacedCliTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Paced9600") : std::string("Unpaced");
                         });

TEST_F(CliTest, TheCommandGoesOutOnceTheLineHasSettledNotAfterTheWindowsWait)
{
    // The window waits 1 s after opening; the command line only its settle time (0.1 s by
    // default, see the options' test), and the simulator needs none at all. How fast a run is
    // is the benchmarks' matter; here only that the settle time decides the wait.
    CliRun run = cli({"--settle-ms", "0", "partitions"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(lines(run.outText()).size(), 10);
    // A longer settle time is waited for.
    run = cli({"--settle-ms", "1500", "partitions"});
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_GE(run.elapsedMs, 1500 + 200);
}
