// Fuzzes the CSV save of the preview grid: any copy or component reply, filled into the grid as
// the window fills it, written as CSV and parsed back field by field.
//
// Input: [layout] then the reply. layout % 3: 0 the reading layout from the reply as it came off
// the line, 1 the reading layout from the decoded text, 2 the component layout.
//
// Checked: the file is UTF-8 with a byte-order mark, every row ends in CR LF and quoting is
// well formed; each row holds exactly the fields the grid gives (a header row "文件名" and the
// grid's headers, then per record its file's name and its cells; a file's name alone is no
// record), reading and temperature as the number their text begins with divided by 10 (the text
// itself when it begins with none), every other field as the cell's text. A text field may carry
// one leading apostrophe that keeps a spreadsheet from taking it as a formula, but only where
// the text begins with = + - @ tab or CR; it is removed before the comparison.
#include "export/CsvWriter.h"
#include "grids/ReadingLayout.h"
#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"
#include "platform/WireText.h"

#include <QBuffer>
#include <QCoreApplication>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

#define CHECK(cond)                                                                          \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "fuzz_csv: check failed: %s (line %d)\n", #cond, __LINE__); \
            __builtin_trap();                                                                \
        }                                                                                    \
    } while (0)

// One field as it was written: its bytes after unquoting, and whether it was quoted.
struct Field {
    QByteArray text;
    bool quoted = false;
};
using Row = std::vector<Field>;

// Parses the file strictly: fields separated by commas, rows ended by CR LF, a quoted field
// closed by a quote that is followed by a comma or the row's end, quotes inside doubled.
std::vector<Row> parse(QByteArrayView csv)
{
    std::vector<Row> rows;
    qsizetype i = 0;
    const qsizetype n = csv.size();
    while (i < n) {
        Row row;
        while (true) {
            Field f;
            if (i < n && csv[i] == '"') {
                f.quoted = true;
                ++i;
                while (true) {
                    CHECK(i < n); // a quoted field is closed
                    if (csv[i] == '"') {
                        if (i + 1 < n && csv[i + 1] == '"') {
                            f.text += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    f.text += csv[i++];
                }
            } else {
                while (i < n && csv[i] != ',' && csv[i] != '\r' && csv[i] != '\n') {
                    CHECK(csv[i] != '"'); // a quote only in a quoted field
                    f.text += csv[i++];
                }
            }
            row.push_back(f);
            CHECK(i < n); // the last row is ended too
            if (csv[i] == ',') {
                ++i;
                continue;
            }
            CHECK(csv[i] == '\r' && i + 1 < n && csv[i + 1] == '\n'); // CR LF, never a bare one
            i += 2;
            break;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool formulaStart(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    const char c = text[0];
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// A text field holds the cell's text, or the cell's text behind the formula guard.
void checkText(const Field& field, QByteArrayView want)
{
    if (field.text == want)
        return;
    CHECK(formulaStart(want));
    CHECK(field.text.size() == want.size() + 1 && field.text.startsWith('\'') && field.text.mid(1) == want);
}

// A reading or a temperature: the number the cell's text begins with, divided by 10, and written
// so that it reads back as that same number; the text itself when it begins with no number.
void checkReading(const Field& field, QByteArrayView cell)
{
    const std::optional<double> value = leadingNumber(QString::fromUtf8(cell));
    if (!value) {
        checkText(field, cell);
        return;
    }
    const double want = *value / 10.0;
    CHECK(!field.quoted);
    double got = 0;
    const char* begin = field.text.constData();
    const char* end = begin + field.text.size();
    const auto [stop, ec] = std::from_chars(begin, end, got);
    CHECK(ec == std::errc() && stop == end);
    CHECK(got == want);
}

void checkFile(const PreviewGrid& grid, const QByteArray& csv)
{
    CHECK(csv.startsWith("\xEF\xBB\xBF"));
    const std::vector<Row> rows = parse(QByteArrayView(csv).sliced(3));
    const int cols = grid.cols();
    std::size_t at = 0;
    if (cols > 2) {
        CHECK(rows.size() >= 1);
        CHECK(rows[0].size() == std::size_t(cols) + 1);
        checkText(rows[0][0], QByteArrayView("文件名"));
        for (int j = 0; j < cols; ++j)
            checkText(rows[0][std::size_t(j) + 1], grid.utf8(0, j));
        at = 1;
        QByteArray section;
        for (int r = 1; r < grid.rows(); ++r) {
            const bool starts = r == 1 || (grid.utf8(r, 1).isEmpty() && grid.utf8(r, 2).isEmpty());
            if (starts) {
                section = grid.utf8(r, 0).toByteArray();
                bool more = false;
                for (int j = 1; j < cols; ++j)
                    more = more || !grid.utf8(r, j).isEmpty();
                if (!more)
                    continue;
            }
            CHECK(at < rows.size());
            const Row& row = rows[at++];
            CHECK(row.size() == std::size_t(cols) + 1);
            checkText(row[0], section);
            for (int j = 0; j < cols; ++j) {
                if (j == 1 || j == 2)
                    checkReading(row[std::size_t(j) + 1], grid.utf8(r, j));
                else
                    checkText(row[std::size_t(j) + 1], grid.utf8(r, j));
            }
        }
    } else if (cols > 0) {
        for (int r = 0; r < grid.rows(); ++r) {
            CHECK(at < rows.size());
            const Row& row = rows[at++];
            CHECK(row.size() == std::size_t(cols));
            for (int j = 0; j < cols; ++j)
                checkText(row[std::size_t(j)], grid.utf8(r, j));
        }
    }
    CHECK(at == rows.size()); // nothing more than the grid
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz_csv";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray reply(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    PreviewGrid grid;
    switch (data[0] % 3) {
    case 0: grids::FillGridFromWire(grid, reply); break;
    case 1: grids::FillGrid(grid, WireText::decode(reply)); break;
    default: grids::FillYJGrid(grid, WireText::decode(reply)); break;
    }
    QByteArray csv;
    QBuffer out(&csv);
    CHECK(out.open(QIODevice::WriteOnly));
    CHECK(!CsvWriter::write(grid, out));
    checkFile(grid, csv);
    return 0;
}
