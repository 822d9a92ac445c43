// A copy's records taken from the preview grid, and the numbers read from their texts.
#include "archive/Record.h"

#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace archive;

namespace {

QStringList fields(const Record& r) { return {r.partition, r.file, r.code, r.time, r.reading, r.temperature}; }

} // namespace

TEST(RecordsOfGrid, TwoFilesOfACopyGiveTheirRecordsUnderTheirNames)
{
    PreviewGrid grid;
    grids::FillGrid(grid, "A20261105-01\r\n"
                          "A001 28456 235 2026-11-05 10:00:00\r\n"
                          "A002 -052 -012 2026-11-05 10:01:05\r\n"
                          "\r\n" // an empty line: no code, no record
                          "A20261106-01\r\n"
                          "A001 28460 240 2026-11-06 10:00:00\r\n"
                          "A003 28461 241\r\n"                 // no time: the temperature takes both
                          "A004 28462 2026-11-06 10:02:00\r\n" // no temperature
                          "A005 28463 242 2026-11-06 10:03:00\r\n");
    const auto records = recordsOfGrid(grid, "A");
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(fields(records[0]), QStringList({"A", "A20261105-01", "A001", "2026-11-05 10:00:00", "28456", "235"}));
    EXPECT_EQ(fields(records[1]), QStringList({"A", "A20261105-01", "A002", "2026-11-05 10:01:05", "-052", "-012"}));
    EXPECT_EQ(fields(records[2]), QStringList({"A", "A20261106-01", "A001", "2026-11-06 10:00:00", "28460", "240"}));
    EXPECT_EQ(fields(records[3]), QStringList({"A", "A20261106-01", "A003", "", "28461 241", ""}));
    // a record without a temperature keeps its time as its time, not as a temperature of 202.6
    EXPECT_EQ(fields(records[4]), QStringList({"A", "A20261106-01", "A004", "2026-11-06 10:02:00", "28462", ""}));
    EXPECT_FALSE(temperatureC(records[4].temperature));
    EXPECT_FALSE(temperatureC("2026-11-06 10:02:00"));
    EXPECT_FALSE(readingHz("28461 241"));
    EXPECT_EQ(fields(records[5]), QStringList({"A", "A20261106-01", "A005", "2026-11-06 10:03:00", "28463", "242"}));
    // What the short rows hold is no time, so they never enter a series.
    EXPECT_FALSE(instrumentTime(records[3].time));
}

TEST(RecordsOfGrid, GridsWithoutACopysRecords)
{
    PreviewGrid grid;
    EXPECT_TRUE(recordsOfGrid(grid, "A").empty()); // never laid out
    grids::Ini_Grid(grid);
    EXPECT_TRUE(recordsOfGrid(grid, "A").empty()); // headers only
    grids::FillGrid(grid, "A20261105-01\r\n");
    EXPECT_TRUE(recordsOfGrid(grid, "A").empty()); // a file without records
    grids::FillYJGrid(grid, "A001=QRVA000001\r\nA002=QRVA000002\r\n");
    EXPECT_TRUE(recordsOfGrid(grid, "A").empty()); // the component layout

    // A reply that starts with a record: it belongs to no named file, and is kept.
    grids::FillGrid(grid, "A001 28456 235 2026-11-05 10:00:00\r\n");
    const auto records = recordsOfGrid(grid, "B");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(fields(records[0]), QStringList({"B", "", "A001", "2026-11-05 10:00:00", "28456", "235"}));
}

TEST(RecordNumbers, ReadingsAndTemperaturesAreTenthsOfWholeNumbers)
{
    EXPECT_EQ(readingHz("28456"), 2845.6);
    EXPECT_EQ(readingHz("-052"), -5.2);
    EXPECT_EQ(readingHz("+7"), 0.7);
    EXPECT_EQ(readingHz("0"), 0.0);
    EXPECT_EQ(readingHz("2.5E1"), 2.5);
    // only a cell that is a number as a whole: the archive keeps no guessed values
    EXPECT_FALSE(readingHz(" 2 8456"));
    EXPECT_FALSE(readingHz("28456度"));
    EXPECT_FALSE(readingHz("&H1F"));
    EXPECT_DOUBLE_EQ(*readingHz("1234567890123456789"), 123456789012345678.9); // beyond the plain integers
    EXPECT_EQ(temperatureC("235"), 23.5);
    EXPECT_EQ(temperatureC("-012"), -1.2);
    for (const char* bad : {"", "-", "+", "x12", "度", "&H", ".", "1e999"}) {
        EXPECT_FALSE(readingHz(bad)) << bad;
        EXPECT_FALSE(temperatureC(bad)) << bad;
    }
}

TEST(RecordNumbers, TimesAreTheInstrumentsClockReadAsUtc)
{
    EXPECT_EQ(instrumentTime("1970-01-01 00:00:00"), 0);
    EXPECT_EQ(instrumentTime("2026-11-05 10:00:00"), 1793872800);
    EXPECT_EQ(instrumentTime("1969-12-31 23:59:59"), -1);
    // Exactly the instrument's form, a real date and time of day, or nothing.
    for (const char* bad : {"", "2026-11-05", "2026-11-05 10:00", "2026-11-05T10:00:00", "2026-11-05 10:00:00 ",
                            " 2026-11-05 10:00:00", "2026/11/05 10:00:00", "2026-1-05 10:00:00", "2026-11-05 10:00:0x",
                            "２026-11-05 10:00:00", "0000-01-01 00:00:00"})
        EXPECT_FALSE(instrumentTime(bad)) << bad;

    // Agrees with Qt's reading of the same form, across month ends, leap years and the hours.
    int checked = 0;
    for (int year : {1900, 1999, 2000, 2024, 2026, 2100, 2400}) {
        for (int month = 0; month <= 13; ++month) {
            for (int day : {0, 1, 28, 29, 30, 31, 32}) {
                for (const char* clock : {"00:00:00", "23:59:59", "24:00:00", "12:60:00", "12:00:60"}) {
                    const QString text = QStringLiteral("%1-%2-%3 %4")
                                             .arg(year, 4, 10, QLatin1Char('0'))
                                             .arg(month, 2, 10, QLatin1Char('0'))
                                             .arg(day, 2, 10, QLatin1Char('0'))
                                             .arg(QLatin1String(clock));
                    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
                    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
                    const auto ours = instrumentTime(text);
                    ASSERT_EQ(ours.has_value(), date.isValid() && time.isValid()) << text.toStdString();
                    if (ours) {
                        EXPECT_EQ(*ours, QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch()) << text.toStdString();
                    }
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, 7 * 14 * 7 * 5);
}

TEST(RecordNumbers, TimeTextsReadBackAsTheirTimes)
{
    EXPECT_EQ(instrumentTimeText(0), "1970-01-01 00:00:00");
    EXPECT_EQ(instrumentTimeText(1793872800), "2026-11-05 10:00:00");
    EXPECT_EQ(instrumentTimeText(-1), "1969-12-31 23:59:59");
    const qint64 first = *instrumentTime("0001-01-01 00:00:00");
    const qint64 last = *instrumentTime("9999-12-31 23:59:59");
    EXPECT_EQ(instrumentTimeText(first), "0001-01-01 00:00:00");
    EXPECT_EQ(instrumentTimeText(last), "9999-12-31 23:59:59");
    // Across the years, at odd seconds; and texts in time order are in text order.
    QString previous;
    for (qint64 t = first; t <= last; t += 86400 * 97 + 3607) {
        const QString text = instrumentTimeText(t);
        ASSERT_EQ(instrumentTime(text), t) << text.toStdString();
        EXPECT_LT(previous, text);
        previous = text;
    }
}
