// Exports from the archive, read back by openpyxl and Python's csv module.
#include "archive/ArchiveExport.h"

#include "export/FailureText.h"
#include "tests/support/XlrdReader.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace archive;

namespace {

// A01 with a linear calibration on the frequency: 0.5 mm/Hz x (f - 2000) + 0.1 x (T - 20).
// B07 without one.
std::vector<ExportSeries> twoComponents()
{
    Calibration c;
    c.code = "A001";
    c.unit = "mm";
    c.kind = ReadingKind::Frequency;
    c.G = 0.5;
    c.R0 = 2000;
    c.K = 0.1;
    c.T0 = 20;
    // 1796639465 = 2026-12-07 10:31:05 UTC
    return {ExportSeries{"A", "A001", c, {GaugePoint{1796639465, 0, 2010.0, 25.0, true}, GaugePoint{1796639525, 0, 2020.5, 0, false}}},
            ExportSeries{"B", "B007", std::nullopt, {GaugePoint{1796639465, 0, 1815.7, -1.5, true}}}};
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

} // namespace

TEST(ArchiveExport, WorkbookAndCsvCarryRawAndConvertedValues)
{
    QTemporaryDir dir;
    const QString xlsx = dir.filePath("历史.xlsx");
    ASSERT_EQ(exportSeries(xlsx, twoComponents()), std::nullopt);
    QString error;
    const QJsonArray sheets = readWithOpenpyxl(xlsx, &error);
    ASSERT_EQ(sheets.size(), 2) << error.toStdString();
    EXPECT_EQ(sheets[0].toObject()["name"].toString(), "A001");
    EXPECT_EQ(sheets[1].toObject()["name"].toString(), "B007");
    auto cell = [&](int sheet, int row, int col) {
        for (const auto& c : sheets[sheet].toObject()["cells"].toArray())
            if (c.toArray()[0].toInt() == row && c.toArray()[1].toInt() == col)
                return c.toArray();
        return QJsonArray();
    };
    EXPECT_EQ(cell(0, 1, 6)[3].toString(), "工程值");
    EXPECT_EQ(cell(0, 2, 3)[3].toString(), "2026-12-07 10:31:05");
    EXPECT_EQ(cell(0, 2, 4)[2].toString(), "number");
    EXPECT_DOUBLE_EQ(cell(0, 2, 4)[3].toDouble(), 2010.0);
    // 0.5 x 10 + 0.1 x 5 = 5.5 mm
    EXPECT_NEAR(cell(0, 2, 6)[3].toDouble(), 5.5, 1e-12);
    EXPECT_EQ(cell(0, 2, 7)[3].toString(), "mm");
    // no temperature: 0.5 x 20.5 = 10.25 mm, marked
    EXPECT_TRUE(cell(0, 3, 5).isEmpty());
    EXPECT_NEAR(cell(0, 3, 6)[3].toDouble(), 10.25, 1e-12);
    EXPECT_EQ(cell(0, 3, 8)[3].toString(), "未作温度修正");
    // without a calibration: raw values only
    EXPECT_DOUBLE_EQ(cell(1, 2, 5)[3].toDouble(), -1.5);
    EXPECT_TRUE(cell(1, 2, 6).isEmpty());

    const QString csv = dir.filePath("历史.csv");
    ASSERT_EQ(exportSeries(csv, twoComponents()), std::nullopt);
    const QList<QStringList> rows = readWithPythonCsv(csv, &error);
    ASSERT_EQ(rows.size(), 5) << error.toStdString();
    EXPECT_EQ(rows[0], QStringList({"BOM"}));
    EXPECT_EQ(rows[1], QStringList({"分区", "元件编号", "时间", "读数 (Hz)", "温度 (℃)", "工程值", "单位", "备注", "仪器",
                                    "测点", "工程", "时区", "UTC 时间", "标定版本", "状态", "规则", "质量标记", "屏蔽"}));
    // Series of the component table: no readout, gauge or clock known, converted by the table;
    // no gauge, so nothing judged.
    const QStringList unknown = {"", "", "", "", ""};
    const QStringList unjudged = {"", "", "", ""};
    EXPECT_EQ(rows[2], QStringList({"A", "A001", "2026-12-07 10:31:05", "2010", "25", "5.5", "mm", ""}) + unknown +
                           QStringList{"元件标定表"} + unjudged);
    EXPECT_EQ(rows[3], QStringList({"A", "A001", "2026-12-07 10:32:05", "2020.5", "", "10.25", "mm", "未作温度修正"}) +
                           unknown + QStringList{"元件标定表"} + unjudged);
    EXPECT_EQ(rows[4], QStringList({"B", "B007", "2026-12-07 10:31:05", "1815.7", "-1.5", "", "", ""}) + unknown +
                           QStringList{""} + unjudged);
}

TEST(ArchiveExport, ACancelledOrFailedExportLeavesTheOldFile)
{
    QTemporaryDir dir;
    std::vector<ExportSeries> many = twoComponents();
    for (int i = 0; i < 10000; ++i)
        many[1].points.push_back(GaugePoint{1796639465 + i, 0, 1800.0 + i, 20, true});
    for (const char* name : {"old.csv", "old.xlsx"}) {
        const QString path = dir.filePath(name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("last month's export");
        }
        int asked = 0;
        const auto failure = exportSeries(path, many, [&] { return ++asked >= 2; });
        ASSERT_TRUE(failure.has_value()) << name;
        EXPECT_EQ(bytesOf(path), "last month's export") << name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"old.csv", "old.xlsx"}));
    EXPECT_TRUE(exportSeries(dir.filePath("no/such/folder/x.xlsx"), many).has_value());
    EXPECT_TRUE(exportSeries(dir.filePath("no/such/folder/x.csv"), many).has_value());
}

TEST(ArchiveExport, OddCodesGetValidDistinctWorksheetsAndTheirCsvTextsStayText)
{
    // Codes no worksheet can be named after as they stand: too long, a colon, the same code in
    // two partitions, a code that differs from another only in case, and one that a
    // spreadsheet would compute.
    const std::vector<ExportSeries> odd = {
        ExportSeries{"A", "A001", std::nullopt, {GaugePoint{1796639465, 0, 2010.0, -1.5, true}}},
        ExportSeries{"A", "A:02", std::nullopt, {GaugePoint{1796639465, 0, 2011.0, 0, false}}},
        ExportSeries{"A", QString(40, QLatin1Char('X')), std::nullopt, {GaugePoint{1796639465, 0, 2012.0, 0, false}}},
        ExportSeries{"B", "A001", std::nullopt, {GaugePoint{1796639465, 0, 2013.0, 0, false}}},
        ExportSeries{"B", "a001", std::nullopt, {GaugePoint{1796639465, 0, 2014.0, 0, false}}},
        ExportSeries{"C", "=1+1", std::nullopt, {GaugePoint{1796639465, 0, -5.5, -2, true}}},
    };
    QTemporaryDir dir;
    const QString xlsx = dir.filePath("odd.xlsx");
    ASSERT_EQ(exportSeries(xlsx, odd), std::nullopt);
    QString error;
    const QJsonArray sheets = readWithOpenpyxl(xlsx, &error);
    ASSERT_EQ(sheets.size(), 6) << error.toStdString();
    QStringList names;
    QStringList codes; // cell B2 of each worksheet: the code as stored
    for (const auto& sheet : sheets) {
        names << sheet.toObject()["name"].toString();
        for (const auto& c : sheet.toObject()["cells"].toArray())
            if (c.toArray()[0].toInt() == 2 && c.toArray()[1].toInt() == 2)
                codes << c.toArray()[3].toString();
    }
    EXPECT_EQ(names, QStringList({"A001", "A-02", QString(31, QLatin1Char('X')), "A001-2", "a001-3", "=1+1"}));
    EXPECT_EQ(codes, QStringList({"A001", "A:02", QString(40, QLatin1Char('X')), "A001", "a001", "=1+1"}));

    const QString csv = dir.filePath("odd.csv");
    ASSERT_EQ(exportSeries(csv, odd), std::nullopt);
    const QByteArray bytes = bytesOf(csv);
    EXPECT_TRUE(bytes.contains("\r\nC,'=1+1,2026-12-07 10:31:05,-5.5,-2,,,,,,,,,,,,,\r\n")) << bytes.toStdString();
}

TEST(ArchiveExport, AGaugesSeriesSaysWhichReadoutClockAndCalibrationVersionMadeEachValue)
{
    // A gauge read by readout "KTM-1" on Beijing time, moved from slot A001 to A002, re-zeroed
    // at 2026-12-07 00:00 UTC (version 12) after version 4 (since 2026-12-01). Values by hand:
    // version 4: 0.5 x (f - 2000); version 12: 0.5 x (f - 2100).
    const qint64 firstDay = 1796083200; // 2026-12-01 00:00:00 UTC
    const qint64 rezeroed = 1796601600; // 2026-12-07 00:00:00 UTC
    Calibration before;
    before.unit = "mm";
    before.kind = ReadingKind::Frequency;
    before.G = 0.5;
    before.R0 = 2000;
    Calibration after = before;
    after.R0 = 2100;
    ExportSeries s;
    s.partition = "A";
    s.code = "A001";
    s.readout = "KTM-1";
    s.gauge = "QRVA000001";
    s.site = "大坝左岸";
    s.timeZone = "Asia/Shanghai";
    s.versions = {CalibrationVersion{4, s.gauge, {}, {}, firstDay, before, {}, {}},
                  CalibrationVersion{12, s.gauge, {}, {}, rezeroed, after, {}, {}}};
    const qint64 beijing = 8 * 3600;
    s.points = {GaugePoint{firstDay - 3600 + beijing, firstDay - 3600, 2000, 0, false, 1, "A001"}, // before version 4
                GaugePoint{rezeroed - 1 + beijing, rezeroed - 1, 2010, 20, true, 1, "A001"},
                GaugePoint{rezeroed + beijing, rezeroed, 2120, 20, true, 1, "A002"}};

    QTemporaryDir dir;
    const QString csv = dir.filePath("测点.csv");
    ASSERT_EQ(exportSeries(csv, {s}), std::nullopt);
    QString error;
    const QList<QStringList> rows = readWithPythonCsv(csv, &error);
    ASSERT_EQ(rows.size(), 5) << error.toStdString();
    const QStringList who = {"KTM-1", "QRVA000001", "大坝左岸", "Asia/Shanghai"};
    // A gauge without levels: its judged readings are normal; one without a value is not judged.
    EXPECT_EQ(rows[2], QStringList({"A", "A001", "2026-12-01 07:00:00", "2000", "", "", "", "没有适用的标定版本"}) + who +
                           QStringList({"2026-11-30 23:00:00", "", "", "", "", ""}));
    EXPECT_EQ(rows[3], QStringList({"A", "A001", "2026-12-07 07:59:59", "2010", "20", "5", "mm", ""}) + who +
                           QStringList({"2026-12-06 23:59:59", "4（自 2026-12-01 00:00:00 UTC）", "正常", "", "", ""}));
    EXPECT_EQ(rows[4], QStringList({"A", "A002", "2026-12-07 08:00:00", "2120", "20", "10", "mm", ""}) + who +
                           QStringList({"2026-12-07 00:00:00", "12（自 2026-12-07 00:00:00 UTC）", "正常", "", "", ""}));

    // A zone change applies from its instant on; the workbook is named after the gauge.
    s.zoneChanges = {ZoneChange{"Asia/Tokyo", rezeroed}};
    const QString xlsx = dir.filePath("测点.xlsx");
    ASSERT_EQ(exportSeries(xlsx, {s}), std::nullopt);
    const QJsonArray sheets = readWithOpenpyxl(xlsx, &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    EXPECT_EQ(sheets[0].toObject()["name"].toString(), "QRVA000001");
    QStringList zones;
    for (const auto& c : sheets[0].toObject()["cells"].toArray())
        if (c.toArray()[1].toInt() == 12 && c.toArray()[0].toInt() > 1)
            zones << c.toArray()[3].toString();
    EXPECT_EQ(zones, QStringList({"Asia/Shanghai", "Asia/Shanghai", "Asia/Tokyo"}));
}

TEST(ArchiveExport, EachReadingCarriesItsStatusTheLevelThatSetItItsFlagsAndItsMask)
{
    // A gauge with levels in mm (set 7, its own name for rank 3) and readings judged as stored:
    // normal, rank 1 by level 0, rank 3 by level 1 and flagged, masked (so not judged), and
    // flagged while normal.
    const qint64 t0 = 1796083200; // 2026-12-01 00:00:00 UTC
    Calibration mm;
    mm.unit = "mm";
    mm.kind = ReadingKind::Frequency;
    mm.G = 1;
    mm.R0 = 2000;
    LevelSet set;
    set.id = 7;
    set.gauge = "QRVA000001";
    set.rankNames = QStringList{"预警", "报警", "停工"};
    TriggerLevel amber;
    amber.threshold = 10;
    amber.quantity = LevelQuantity::Change;
    TriggerLevel red = amber;
    red.rank = 3;
    red.threshold = 30;
    red.confirm = 2;
    set.levels = {amber, red};
    ExportSeries s;
    s.partition = "A";
    s.code = "A001";
    s.gauge = set.gauge;
    s.versions = {CalibrationVersion{1, s.gauge, {}, {}, kSinceEver, mm, {}, {}}};
    s.levelSets = {set};
    auto point = [&](int i, double hz, int status, int level, std::uint16_t flags, bool masked) {
        GaugePoint p{t0 + i * 60, t0 + i * 60, hz, 20, true, 1, "A001"};
        p.status = std::uint8_t(status);
        p.level = std::int16_t(level);
        p.levelSet = set.id;
        p.flags = flags;
        p.masked = masked;
        return p;
    };
    s.points = {point(0, 2000, 0, -1, 0, false), point(1, 2012, 1, 0, 0, false),
                point(2, 2040, 3, 1, OutOfBand | TemperatureJump, false), point(3, 2041, 0, -1, Step, true),
                point(4, 2001, 0, -1, DuplicateTime, false)};

    QTemporaryDir dir;
    const QString csv = dir.filePath("状态.csv");
    ASSERT_EQ(exportSeries(csv, {s}), std::nullopt);
    QString error;
    const QList<QStringList> rows = readWithPythonCsv(csv, &error);
    ASSERT_EQ(rows.size(), 7) << error.toStdString();
    auto judged = [&](int row) { return rows[row].mid(14); };
    EXPECT_EQ(judged(2), QStringList({"正常", "", "", ""}));
    EXPECT_EQ(judged(3), QStringList({"预警", levelText(set, 0, "mm"), "", ""}));
    EXPECT_EQ(judged(4), QStringList({"停工", levelText(set, 1, "mm"), flagsText(OutOfBand | TemperatureJump), ""}));
    EXPECT_EQ(judged(5), QStringList({"", "", flagsText(Step), "是"}));
    EXPECT_EQ(judged(6), QStringList({"正常", "", flagsText(DuplicateTime), ""}));
    EXPECT_FALSE(levelText(set, 1, "mm").isEmpty());
    EXPECT_NE(flagsText(OutOfBand | TemperatureJump), flagsText(Step));

    // The workbook carries the same texts; a gauge without any calibration version words its
    // levels in Hz, and a set the series does not hold leaves the level unworded.
    s.versions.clear();
    s.points[2].levelSet = 99;
    const QString xlsx = dir.filePath("状态.xlsx");
    ASSERT_EQ(exportSeries(xlsx, {s}), std::nullopt);
    const QJsonArray sheets = readWithOpenpyxl(xlsx, &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    auto cell = [&](int row, int col) {
        for (const auto& c : sheets[0].toObject()["cells"].toArray())
            if (c.toArray()[0].toInt() == row && c.toArray()[1].toInt() == col)
                return c.toArray()[3].toString();
        return QString();
    };
    EXPECT_EQ(cell(1, 15), "状态");
    EXPECT_EQ(cell(1, 18), "屏蔽");
    EXPECT_EQ(cell(3, 15), "预警");
    EXPECT_EQ(cell(3, 16), levelText(set, 0, "Hz"));
    EXPECT_EQ(cell(4, 15), statusName(nullptr, 3));
    EXPECT_EQ(cell(4, 16), "");
    EXPECT_EQ(cell(4, 17), flagsText(OutOfBand | TemperatureJump));
    EXPECT_EQ(cell(5, 18), "是");
}

TEST(ArchiveExport, CodesAreChosenAsStoredAndOtherwiseRegardlessOfCase)
{
    std::vector<SeriesSummary> all;
    for (const auto& [partition, code] : {std::pair{"A", "A001"}, {"A", "a001"}, {"A", "A002"}, {"B", "A002"}, {"B", "b9"}})
        all.push_back(SeriesSummary{.partition = partition, .code = code});
    auto chosen = [&](const QString& partition, const QStringList& codes, QStringList* unknown = nullptr) {
        QStringList out;
        for (const SeriesSummary& s : chooseSeries(all, partition, codes, unknown))
            out << s.partition + "/" + s.code;
        return out;
    };
    EXPECT_EQ(chosen("", {}), QStringList({"A/A001", "A/a001", "A/A002", "B/A002", "B/b9"}));
    EXPECT_EQ(chosen("B", {}), QStringList({"B/A002", "B/b9"}));
    EXPECT_EQ(chosen("", {"a001"}), QStringList({"A/a001"})) << "a lower-case code is its own";
    EXPECT_EQ(chosen("", {"A001"}), QStringList({"A/A001"}));
    EXPECT_EQ(chosen("", {"a002", "B9"}), QStringList({"A/A002", "B/A002", "B/b9"})) << "no such code as typed";
    QStringList unknown;
    EXPECT_EQ(chosen("A", {"A002", "b9", "Z1", "Z1"}, &unknown), QStringList({"A/A002"}));
    EXPECT_EQ(unknown, QStringList({"b9", "Z1"}));
}

TEST(ArchiveExport, AReadOnlyFileIsRefusedForBothTypesAndKept)
{
    QTemporaryDir dir;
    for (const char* name : {"kept.csv", "kept.xlsx"}) {
        const QString path = dir.filePath(name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("last month's export");
        }
        ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        EXPECT_EQ(exportSeries(path, twoComponents()), FailureText::reason(workbook::ErrorKind::AccessDenied)) << name;
        EXPECT_EQ(bytesOf(path), "last month's export") << name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"kept.csv", "kept.xlsx"}));
}
