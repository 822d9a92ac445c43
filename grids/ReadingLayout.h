#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class PreviewGrid;

// The reading of a number in a text, as the workbook reads the instrument's readings and the
// editor's cells: spaces, tabs and line feeds anywhere are ignored; the longest leading number
// counts (sign, digits, "." as the decimal point whatever the locale, an exponent after E or D
// in either case); "&H" and "&O" introduce a hexadecimal or octal integer; a text that does not
// begin with a number, or whose number is beyond a double, gives 0. "12 34" -> 1234,
// "-5.2x" -> -5.2, "-" -> 0.
double Val(const QString& text);

// The number Val reads, or nothing when the text does not begin with one (no digit where a
// number would start), or the number is out of range: "12度" -> 12, "-" and "" and "&H" -> nothing.
std::optional<double> leadingNumber(const QString& text);
// The same over UTF-8 text (only ASCII takes part in a number).
std::optional<double> leadingNumber(QByteArrayView utf8);
inline std::optional<double> leadingNumber(const char* utf8) { return leadingNumber(QByteArrayView(utf8)); }

// The number of a text that is one number as it stands, by the same reader held to plain
// decimals: white space only around it, no blank inside, an exponent only after E, no "&H" or
// "&O". "-052" -> -52, " 1e3 " -> 1000; "12度", "28461 241", "&H1F", "2026-11-06 10:02:00" and
// "" -> nothing.
std::optional<double> wholeNumber(const QString& text);
std::optional<double> wholeNumber(QByteArrayView utf8);
inline std::optional<double> wholeNumber(const char* utf8) { return wholeNumber(QByteArrayView(utf8)); }

// The reading layout of the preview grid (grids::Ini_Grid, FillGrid) as every writer and the
// archive read it: the columns, the sections a copy's files make, the number columns and their
// tenths, and the records.
namespace ReadingLayout {

// The columns: component code, reading and temperature (both in tenths), time.
constexpr int kCode = 0;
constexpr int kReading = 1;
constexpr int kTemperature = 2;
constexpr int kTime = 3;
constexpr int kColumns = 4;

// The header row's texts, in column order.
QStringList headers();

// Whether the grid has the reading layout (more than two columns; the component list has two).
bool applies(const PreviewGrid& grid);

// A row after row 1 whose reading and temperature are both empty is a file's name: it starts a
// section of its own (a worksheet of a save).
bool startsSection(const PreviewGrid& grid, int row);
// Whether a row has an empty reading and temperature (a file's name row, wherever it stands).
bool isHeading(const PreviewGrid& grid, int row);

// The sections of the grid in order, each its grid rows [first, end) below the header row: the
// first begins at row 1, each later one at a row that startsSection(). One section for a grid of
// the reading layout with no rows below the header too.
struct Section {
    int first = 1;
    int end = 1;
};
std::vector<Section> sections(const PreviewGrid& grid);

// Reading and temperature are numbers, in tenths.
bool isNumberColumn(const PreviewGrid& grid, int col);
// The value a number column's cell has in a workbook: Val of its text divided by 10 (0 for a text
// without a number, as the workbook has always had it).
double workbookValue(const QString& text);
// The leading number of the text divided by 10, nothing when the text does not begin with one
// (a CSV keeps such a text as it is).
std::optional<double> leadingTenths(QByteArrayView utf8);
// The number of a cell that is a number as a whole, divided by 10: a record without a
// temperature carries its time in the temperature's column, and "2026-11-06 10:02:00" is not 202.6.
std::optional<double> tenths(const QString& text);
std::optional<double> tenths(QByteArrayView utf8);

// The time column's text "yyyy-MM-dd HH:mm:ss" as seconds since 1970-01-01 00:00:00 read as UTC
// (the instrument's clock knows no time zone); nothing when the text is not exactly such a time.
std::optional<qint64> timeOf(const QString& text);
std::optional<qint64> timeOf(QByteArrayView utf8);

// One record of the grid as UTF-8 texts that stay valid while the grid does not change: the file
// it came in (the name row heading its section; empty when the section has none), its fields, and
// a record without a temperature with its time in the time field.
struct Record {
    QByteArrayView file;
    QByteArrayView code;
    QByteArrayView reading;
    QByteArrayView temperature;
    QByteArrayView time;
};

// The records of a grid of the reading layout, section by section; rows without a code are not
// records. A copy starts from the beginning again. The grid must not change while it is read.
class Records {
public:
    explicit Records(const PreviewGrid& grid);
    const PreviewGrid& grid() const { return *m_grid; }
    // Fills `out` with the next record and gives true, or gives false when there is none left.
    bool next(Record& out);
    // The grid row of the record next() gave last.
    int row() const { return m_row - 1; }

private:
    const PreviewGrid* m_grid;
    std::vector<Section> m_sections;
    size_t m_section = 0;
    bool m_entered = false;
    int m_row = 0;
    QByteArrayView m_file;
};

} // namespace ReadingLayout
