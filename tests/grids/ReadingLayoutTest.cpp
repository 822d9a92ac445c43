// The reading layout as the writers and the archive read it: its sections, number columns and
// records, and the one number reader with its two sets of rules.
#include "grids/ReadingLayout.h"

#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <QList>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, int>> bounds(const PreviewGrid& grid)
{
    std::vector<std::pair<int, int>> out;
    for (const ReadingLayout::Section& s : ReadingLayout::sections(grid))
        out.emplace_back(s.first, s.end);
    return out;
}

QStringList records(ReadingLayout::Records& from)
{
    QStringList out;
    ReadingLayout::Record r;
    while (from.next(r))
        out << QString::fromUtf8(r.file) + '|' + QString::fromUtf8(r.code) + '|' + QString::fromUtf8(r.reading) + '|' +
                   QString::fromUtf8(r.temperature) + '|' + QString::fromUtf8(r.time);
    return out;
}

} // namespace

TEST(ReadingLayout, FilesStartSectionsAndOnlyReadingsAndTemperaturesAreNumbers)
{
    PreviewGrid grid;
    grids::FillGrid(grid, "F1\r\nA001 1 2 D T\r\nF2\r\nA001 3 4 D T\r\nA002 5 6 D T\r\nF3\r\n");
    EXPECT_EQ(grid.text(0, 0), ReadingLayout::headers().value(ReadingLayout::kCode));
    EXPECT_EQ(bounds(grid), (std::vector<std::pair<int, int>>{{1, 3}, {3, 6}, {6, 7}}));
    EXPECT_FALSE(ReadingLayout::startsSection(grid, 1)); // row 1 begins the first section anyway
    EXPECT_TRUE(ReadingLayout::startsSection(grid, 3));
    EXPECT_FALSE(ReadingLayout::startsSection(grid, 4));
    for (int col = 0; col < ReadingLayout::kColumns; ++col)
        EXPECT_EQ(ReadingLayout::isNumberColumn(grid, col),
                  col == ReadingLayout::kReading || col == ReadingLayout::kTemperature)
            << col;

    // A reply that begins with a record: the first section has no name row.
    grids::FillGrid(grid, "A001 1 2 D T\r\nF2\r\nA002 3 4 D T\r\n");
    EXPECT_EQ(bounds(grid), (std::vector<std::pair<int, int>>{{1, 2}, {2, 4}}));

    // The component list is no reading layout: one section, no numbers, no records.
    grids::FillYJGrid(grid, "A001=QRVA000001\r\n\r\nA003=QRVA000003\r\n");
    EXPECT_FALSE(ReadingLayout::applies(grid));
    EXPECT_EQ(bounds(grid), (std::vector<std::pair<int, int>>{{1, 4}}));
    EXPECT_FALSE(ReadingLayout::startsSection(grid, 2));
    EXPECT_FALSE(ReadingLayout::isNumberColumn(grid, 1));
    ReadingLayout::Records none(grid);
    EXPECT_TRUE(records(none).isEmpty());
}

TEST(ReadingLayout, RecordsNameTheirFileAndACopyOfTheReaderReadsThemAgain)
{
    PreviewGrid grid;
    grids::FillGrid(grid, "F1\r\nA001 28456 235 2026-11-05 10:00:00\r\n\r\n"
                          "F2\r\nA004 28462 2026-11-06 10:02:00\r\nA005 28463 242\r\n");
    const ReadingLayout::Records fresh(grid);
    ReadingLayout::Records reader = fresh;
    const QStringList expected = {
        "F1|A001|28456|235|2026-11-05 10:00:00",
        "F2|A004|28462||2026-11-06 10:02:00", // the time out of the temperature's column
        "F2|A005|28463 242||",                // no time: the last two fields share a column
    };
    EXPECT_EQ(records(reader), expected);
    EXPECT_TRUE(records(reader).isEmpty()); // read to the end
    ReadingLayout::Records again = fresh;
    EXPECT_EQ(records(again), expected);
}

TEST(ReadingLayout, TheWorkbookReadsTheLeadingNumberAndTheArchiveOnlyAWholeOne)
{
    struct Case {
        const char* text;
        std::optional<double> leading; // Val's rules; Val gives 0 where there is none
        std::optional<double> whole;
    };
    const QList<Case> cases = {
        {"28456", 28456, 28456},
        {"-052", -52, -52},
        {"0028456", 28456, 28456},
        {"+7", 7, 7},
        {" 235 ", 235, 235},
        {"2.5E1", 25, 25},
        {"-.5", -0.5, -0.5},
        {"", std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt},
        {"x12", std::nullopt, std::nullopt},
        // text that only begins like a number
        {"28461 241", 28461241, std::nullopt}, // two fields in one column: no reading of the archive
        {"12 34", 1234, std::nullopt},
        {"2026-11-06 10:02:00", 2026, std::nullopt},
        {"1e5x", 100000, std::nullopt},
        {"1e", 1, std::nullopt},
        {"1D2", 100, std::nullopt},
        {"&H1F", 31, std::nullopt},
        {"1,5", 1, std::nullopt},
        {"1e999", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(leadingNumber(text), c.leading) << c.text;
        EXPECT_EQ(leadingNumber(QByteArrayView(c.text)), c.leading) << c.text; // UTF-8 the same
        EXPECT_DOUBLE_EQ(Val(text), c.leading.value_or(0)) << c.text;
        EXPECT_EQ(wholeNumber(text), c.whole) << c.text;
        EXPECT_EQ(wholeNumber(QByteArrayView(c.text)), c.whole) << c.text;
    }
    // Non-ASCII text ends a number in either form.
    EXPECT_EQ(leadingNumber(QStringLiteral("28456度")), 28456);
    EXPECT_EQ(leadingNumber(QByteArrayView("28456\xE5\xBA\xA6")), 28456);
    EXPECT_EQ(wholeNumber(QStringLiteral("28456度")), std::nullopt);
}

TEST(ReadingLayout, TenthsAsEachWriterAndTheArchiveTakeThem)
{
    // The workbook: Val in tenths, 0 for a cell without a number, as its files have always had.
    EXPECT_DOUBLE_EQ(ReadingLayout::workbookValue("-052"), -5.2);
    EXPECT_DOUBLE_EQ(ReadingLayout::workbookValue(""), 0);
    EXPECT_DOUBLE_EQ(ReadingLayout::workbookValue("x"), 0);
    EXPECT_DOUBLE_EQ(ReadingLayout::workbookValue("2026-11-06 10:02:00"), 202.6);
    // The CSV: the same number, or nothing so that the text stays.
    EXPECT_EQ(ReadingLayout::leadingTenths("-052"), -5.2);
    EXPECT_EQ(ReadingLayout::leadingTenths("12.5"), 1.25);
    EXPECT_EQ(ReadingLayout::leadingTenths(""), std::nullopt);
    EXPECT_EQ(ReadingLayout::leadingTenths("x"), std::nullopt);
    // The archive: a whole number only.
    EXPECT_EQ(ReadingLayout::tenths(QStringLiteral("28456")), 2845.6);
    EXPECT_EQ(ReadingLayout::tenths(QByteArrayView("-012")), -1.2);
    EXPECT_EQ(ReadingLayout::tenths(QByteArrayView("2026-11-06 10:02:00")), std::nullopt);
    EXPECT_EQ(ReadingLayout::tenths(QByteArrayView("")), std::nullopt);
    EXPECT_DOUBLE_EQ(*ReadingLayout::tenths(QByteArrayView("1234567890123456789")), 123456789012345678.9);
}

TEST(ReadingLayoutNumbers, ReadsTheLongestLeadingNumber)
{
    struct Case {
        const char* text;
        double value;
    };
    const QList<Case> cases = {
        {"1234", 1234},
        {"-52", -52},
        {"+7", 7},
        {"12 34", 1234},
        {"1\t2\n3", 123},
        {"-5.2x", -5.2},
        {"-", 0},
        {"", 0},
        {"abc", 0},
        {".5", 0.5},
        {"-.5", -0.5},
        {"5.", 5},
        {"1.2.3", 1.2},
        {"1e3", 1000},
        {"1E+2", 100},
        {"25e-1", 2.5},
        {"1D2", 100},
        {"1d-1", 0.1},
        {"1e", 1},
        {"1e+", 1},
        {"&H1F", 31},
        {"&hff", 255},
        {"&O17", 15},
        {"&o8", 0},
        {"&HG", 0},
        {"&", 0},
        {"0028456", 28456},
        {"1,5", 1},
        {"1\r2", 1},
        {"- 5", -5},
        {"2026-12-07", 2026},
        {"1e999", 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(Val(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12度")), 12);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("温12")), 0);
}

TEST(ReadingLayoutNumbers, LeadingNumberTellsATextWithoutANumberFromZero)
{
    EXPECT_EQ(leadingNumber("-0.0 x"), 0.0);
    EXPECT_EQ(leadingNumber("&H0"), 0.0);
    // "&H" with 300 digits is beyond a double: out of range like "1e999", not infinite
    for (const QString& none : QStringList{"", "-", ".", "abc", "&H", "&HG", "e5", "1e999", "&H" + QString(300, 'F')})
        EXPECT_EQ(leadingNumber(none), std::nullopt) << none.toStdString();
    EXPECT_EQ(Val("&H" + QString(300, 'F')), 0.0);
}
