// The gauge register as files: written by the program and read back, and read as others make it.
#include "archive/GaugeRegisterTable.h"
#include "archive/TableFile.h"

#include "export/FailureText.h"
#include "tests/support/XlrdReader.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace archive;

namespace {

std::vector<GaugeInfo> twoGauges()
{
    GaugeInfo a;
    a.name = "QRVA000001";
    a.type = "渗压计";
    a.unit = "kPa";
    a.site = "大坝左岸";
    a.location = "坝0+120, 高程 85 m";
    a.installed = QDate(2026, 1, 5);
    a.intervalDays = 7;
    a.notes = "线缆 \"12 m\"\n已校核";
    GaugeInfo b;
    b.name = "CR-07";
    b.type = "裂缝计";
    return {a, b};
}

} // namespace

TEST(GaugeRegisterTable, AWrittenRegisterReadsBackAsItWasInEitherLanguage)
{
    QTemporaryDir dir;
    for (bool english : {false, true}) {
        for (const char* name : {"register.csv", "register.xlsx"}) {
            const QString path = dir.filePath(name);
            ASSERT_EQ(GaugeRegisterTable::writeFile(path, twoGauges(), english), std::nullopt) << name;
            QString error;
            const auto rows = TableFile::read(path, &error);
            ASSERT_TRUE(rows) << error.toStdString();
            ASSERT_FALSE(rows->empty());
            EXPECT_EQ(rows->front(), GaugeRegisterTable::headers(english)) << name;
            QStringList problems;
            EXPECT_EQ(GaugeRegisterTable::fromRows(*rows, &problems), twoGauges()) << name;
            EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        }
    }
    EXPECT_EQ(GaugeRegisterTable::headers(),
              QStringList({"测点", "类型", "单位", "工程", "位置", "安装日期", "测读间隔（天）", "备注"}));
    EXPECT_TRUE(GaugeRegisterTable::toCsv(twoGauges(), true).startsWith("\xEF\xBB\xBFgauge,type,unit,site,location"));
    QString error;
    const QJsonArray sheets = readWithOpenpyxl(dir.filePath("register.xlsx"), &error);
    ASSERT_EQ(sheets.size(), 1) << error.toStdString();
    EXPECT_EQ(sheets[0].toObject()["name"].toString(), "Gauges");
}

TEST(GaugeRegisterTable, ColumnsAreFoundByNameAndDatesReadInTheirUsualForms)
{
    // English and Chinese names mixed, in another order, one column left out, one unknown.
    const std::vector<QStringList> rows = {
        {"Installed", "备注", "GAUGE", "颜色", "Interval"},
        {"2026-01-05", "", "P1", "红", "7"},
        {"2026/1/5", "", "P2", "", ""},
        {"46027", "", "P3", "", "7.0"}, // a workbook's day number: 2026-01-05
        {"2026-1-5 08:30:00", "", "P4", "", "0"},
        {"", "", "", "", ""}, // blank: not a row
        {"", "不详", "P5", "", ""},
    };
    QStringList problems;
    const std::vector<GaugeInfo> read = GaugeRegisterTable::fromRows(rows, &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    ASSERT_EQ(read.size(), 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(read[std::size_t(i)].installed, QDate(2026, 1, 5)) << i;
    EXPECT_EQ(read[0].intervalDays, 7);
    EXPECT_EQ(read[1].intervalDays, 0);
    EXPECT_EQ(read[2].intervalDays, 7);
    EXPECT_FALSE(read[4].installed.isValid());
    EXPECT_EQ(read[4].notes, "不详");

    // A date cell of a workbook another program made, as the reader gives it.
    QTemporaryDir dir;
    const QString path = dir.filePath("made.xlsx");
    QProcess python;
    python.start(SYSTEM_PYTHON3, {"-c",
                                  "import sys, datetime, openpyxl\n"
                                  "wb = openpyxl.Workbook(); ws = wb.active\n"
                                  "ws.append(['测点', '安装日期', '测读间隔（天）'])\n"
                                  "ws.append(['QRVA000009', datetime.date(2025, 11, 30), 14])\n"
                                  "wb.save(sys.argv[1])\n",
                                  path});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QString error;
    const auto made = TableFile::read(path, &error);
    ASSERT_TRUE(made) << error.toStdString();
    const std::vector<GaugeInfo> fromWorkbook = GaugeRegisterTable::fromRows(*made, &problems);
    ASSERT_EQ(fromWorkbook.size(), 1u) << problems.join('\n').toStdString();
    EXPECT_EQ(fromWorkbook[0].installed, QDate(2025, 11, 30));
    EXPECT_EQ(fromWorkbook[0].intervalDays, 14);
}

TEST(GaugeRegisterTable, RowsThatCannotBeReadAreNamedWithEveryFault)
{
    const std::vector<QStringList> rows = {
        {"测点", "安装日期", "测读间隔（天）"},
        {"QRVA000001", "2026-01-05", "7"},
        {"QRVA0000011", "明年", "-1"}, // too long a name, no date, a negative interval
        {"QR VA", "", ""},             // a blank the readout cannot hold
        {"", "2026-02-30", ""},        // no name, no such day
        {"P1", "", "1.5"},
        {"QRVA000001", "", "30"}, // given twice: the last row holds
    };
    QStringList problems;
    const std::vector<GaugeInfo> read = GaugeRegisterTable::fromRows(rows, &problems, 1);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].intervalDays, 30);
    EXPECT_FALSE(read[0].installed.isValid());
    ASSERT_EQ(problems.size(), 4) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].startsWith("第 3 行：测点“QRVA0000011”")) << problems[0].toStdString();
    EXPECT_TRUE(problems[0].contains("安装日期“明年”"));
    EXPECT_TRUE(problems[0].contains("测读间隔“-1”"));
    EXPECT_TRUE(problems[1].startsWith("第 4 行：测点“QR VA”")) << problems[1].toStdString();
    EXPECT_TRUE(problems[2].startsWith("第 5 行：没有测点名；安装日期“2026-02-30”")) << problems[2].toStdString();
    EXPECT_TRUE(problems[3].startsWith("第 6 行：测读间隔“1.5”")) << problems[3].toStdString();

    // In a grid numbered from its header, without the name column.
    problems.clear();
    EXPECT_TRUE(GaugeRegisterTable::fromRows({{"类型", "单位"}, {"渗压计", "kPa"}}, &problems, 0).empty());
    EXPECT_EQ(problems, QStringList({"第 0 行：没有“测点”列"}));
}

TEST(GaugeRegisterTable, AFailedWriteLeavesTheOldFile)
{
    QTemporaryDir dir;
    for (const char* name : {"kept.csv", "kept.xlsx"}) {
        const QString path = dir.filePath(name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("last year's register");
        }
        ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        EXPECT_EQ(GaugeRegisterTable::writeFile(path, twoGauges()), FailureText::reason(workbook::ErrorKind::AccessDenied))
            << name;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "last year's register") << name;
    }
    EXPECT_TRUE(GaugeRegisterTable::writeFile(dir.filePath("no/such/folder/r.csv"), twoGauges()).has_value());
}
