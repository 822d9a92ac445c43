// Workbooks written by the engine, read back by the engine and by an independent reader (xlrd).
#include "helpers.h"

#include "cfb.h"

#include <cstdlib>
#include <map>
#include <tuple>
#include <vector>

using namespace wbtest;
using workbook::Workbook;

namespace {

struct Seen {
    char kind;
    std::string value;
};
using CellKey = std::tuple<std::string, int, int>;
struct Dump {
    std::vector<std::string> sheets;
    std::map<CellKey, Seen> cells;
};

// Parses the xlrd listing of py/xlrd_dump.py.
Dump xlrdDump(const std::string& path)
{
    RunResult r = python("xlrd_dump.py", quote(path));
    EXPECT_EQ(r.status, 0) << r.out;
    Dump d;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        size_t start = 0;
        for (;;) {
            size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f[0] == "sheet") d.sheets.push_back(f[1]);
        else if (f.size() == 4) d.cells[{d.sheets.back(), std::stoi(f[0]), std::stoi(f[1])}] = {f[2][0], f[3]};
    }
    return d;
}

// What the test wrote, to compare with what the readers find.
struct Expect {
    std::map<CellKey, std::string> texts;
    std::map<CellKey, double> numbers;

    void text(workbook::Sheet& s, int r, int c, const std::string& t)
    {
        ASSERT_FALSE(s.setText(r, c, t)) << r << "," << c;
        numbers.erase({s.name(), r, c});
        texts[{s.name(), r, c}] = t;
    }
    void number(workbook::Sheet& s, int r, int c, double v)
    {
        ASSERT_FALSE(s.setNumber(r, c, v)) << r << "," << c;
        texts.erase({s.name(), r, c});
        numbers[{s.name(), r, c}] = v;
    }
    void checkXlrd(const Dump& d) const
    {
        size_t expectedCells = texts.size() + numbers.size();
        EXPECT_EQ(d.cells.size(), expectedCells);
        for (auto& [k, t] : texts) {
            auto it = d.cells.find(k);
            ASSERT_NE(it, d.cells.end()) << std::get<0>(k) << " " << std::get<1>(k) << "," << std::get<2>(k);
            EXPECT_EQ(it->second.kind, 's');
            EXPECT_EQ(it->second.value, escape(t)) << std::get<1>(k) << "," << std::get<2>(k);
        }
        for (auto& [k, v] : numbers) {
            auto it = d.cells.find(k);
            ASSERT_NE(it, d.cells.end()) << std::get<0>(k) << " " << std::get<1>(k) << "," << std::get<2>(k);
            EXPECT_EQ(it->second.kind, 'n');
            EXPECT_EQ(std::strtod(it->second.value.c_str(), nullptr), v) << it->second.value;
        }
    }
    void checkEngine(Workbook& wb) const
    {
        for (auto& [k, t] : texts) {
            auto* s = wb.findSheet(std::get<0>(k));
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->text(std::get<1>(k), std::get<2>(k)), t);
        }
        for (auto& [k, v] : numbers) {
            auto* s = wb.findSheet(std::get<0>(k));
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->number(std::get<1>(k), std::get<2>(k)), v);
        }
    }
};

std::string repeatPattern(const std::string& unit, size_t count)
{
    std::string s;
    for (size_t i = 0; i < count; ++i) s += unit;
    return s;
}

} // namespace

TEST(XlsRoundTrip, ExportLayoutIsReadByXlrdAndByTheEngine)
{
    ScratchDir dir;
    std::string path = dir.file("export.xls");
    fs::copy_file(WB_TEMPLATE, path);
    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    ASSERT_EQ(wb->sheetCount(), 1u);
    ASSERT_NE(wb->findSheet("sheet1"), nullptr);

    Expect ex;
    ASSERT_FALSE(wb->rename(0, "测点-01 (第一)"));
    workbook::Sheet& first = wb->sheet(0);
    const char* header[] = {"编号", "读数", "温度", "时间"};
    for (int c = 0; c < 4; ++c) ex.text(first, 1, c + 1, header[c]);
    for (int r = 2; r < 50; ++r) {
        ex.text(first, r, 1, std::to_string(r - 1));
        ex.text(first, r, 2, std::to_string(r * 37)); // the text first, then the number, as the export does
        ex.number(first, r, 2, r * 37 / 10.0);
        ex.number(first, r, 3, -5.2 - r);
        ex.text(first, r, 4, "2026-12-07 19:" + std::to_string(r));
    }
    ex.number(first, 50, 2, 0.1 + 0.2);
    ex.number(first, 50, 3, 1e-300);
    ex.number(first, 51, 2, 123456789012345678.0);
    ex.number(first, 51, 3, -0.5);
    ex.text(first, 52, 1, "tab\tand\nnewline and \\ backslash");

    // Sheets added after the first, each directly after the given one.
    auto second = wb->addSheetAfter(0, "Second");
    ASSERT_TRUE(second) << second.error().description();
    auto empty = wb->addSheetAfter(1, "空");
    ASSERT_TRUE(empty);
    auto third = wb->addSheetAfter(0, "Third");
    ASSERT_TRUE(third);
    ex.text(**second, 1, 1, "second sheet");
    ex.number(**third, 65536, 256, 42); // the last cell of a BIFF8 worksheet
    ex.text(**third, 1, 1, "third");

    // Long strings cross the 8224-byte record limit: narrow, wide, and wide starting at an odd spot.
    workbook::Sheet& s2 = **second;
    ex.text(s2, 2, 1, repeatPattern("0123456789", 3000));
    ex.text(s2, 3, 1, repeatPattern("长字符串", 2500));
    ex.text(s2, 4, 1, "x" + repeatPattern("é中", 5000));
    ex.text(s2, 5, 1, repeatPattern("é", 32767));

    ASSERT_FALSE(wb->save());
    Dump d = xlrdDump(path);
    EXPECT_EQ(d.sheets, (std::vector<std::string>{"测点-01 (第一)", "Third", "Second", "空"}));
    ex.checkXlrd(d);

    auto again = Workbook::open(path);
    ASSERT_TRUE(again) << again.error().description();
    ASSERT_EQ(again->sheetCount(), 4u);
    EXPECT_EQ(again->sheet(3).lastRow(), 0);
    ex.checkEngine(again.value());
}

TEST(XlsRoundTrip, TenThousandDistinctStringsAndSharedOnes)
{
    ScratchDir dir;
    std::string path = dir.file("many.xls");
    auto wb = Workbook::createXls("Data");
    ASSERT_TRUE(wb);
    Expect ex;
    workbook::Sheet& s = wb->sheet(0);
    for (int i = 0; i < 10000; ++i) {
        // Mixed widths and lengths move string starts across every CONTINUE boundary.
        std::string t = (i % 3 == 0 ? "串" : "s") + std::to_string(i) + std::string(size_t(i % 17), 'x');
        ex.text(s, i + 1, 1, t);
        ex.text(s, i + 1, 2, i % 2 ? "odd" : "even"); // repeated texts share one table entry
    }
    ASSERT_FALSE(wb->saveAs(path));
    ex.checkXlrd(xlrdDump(path));
    auto back = Workbook::open(path);
    ASSERT_TRUE(back) << back.error().description();
    ex.checkEngine(back.value());

    // Saving an unchanged workbook again gives the same bytes.
    std::string before = readFile(path);
    ASSERT_FALSE(back->save());
    EXPECT_TRUE(readFile(path) == before) << "a second save changed the file";
}

TEST(XlsRoundTrip, CharactersBeyondTheBasicPlaneStayWholeAcrossRecords)
{
    // Strings of CJK Extension B characters (two UTF-16 units each), long enough to cross
    // several record boundaries; the one- to three-unit prefixes shift where each boundary
    // falls, so some land in the middle of a pair unless the writer keeps pairs together.
    ScratchDir dir;
    std::string path = dir.file("astral.xls");
    auto wb = Workbook::createXls("Data");
    ASSERT_TRUE(wb);
    Expect ex;
    for (int i = 0; i < 8; ++i) {
        std::string t = repeatPattern("串", size_t(i % 4));
        for (int k = 0; k < 3000 + i; ++k) {
            const char32_t c = U'\U00020000' + char32_t(k % 1000);
            t += char(0xF0 | (c >> 18));
            t += char(0x80 | ((c >> 12) & 0x3F));
            t += char(0x80 | ((c >> 6) & 0x3F));
            t += char(0x80 | (c & 0x3F));
        }
        ex.text(wb->sheet(0), i + 1, 1, t);
    }
    ASSERT_FALSE(wb->saveAs(path));
    ex.checkXlrd(xlrdDump(path));
    auto back = Workbook::open(path);
    ASSERT_TRUE(back) << back.error().description();
    ex.checkEngine(back.value());
}

TEST(XlsRoundTrip, OverwritingCellsKeepsTheLatestValueAndDropsUnusedStrings)
{
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    workbook::Sheet& s = wb->sheet(0);
    ASSERT_FALSE(s.setText(3, 2, "1234"));
    ASSERT_FALSE(s.setNumber(3, 2, 123.4));
    ASSERT_FALSE(s.setNumber(3, 3, 7));
    ASSERT_FALSE(s.setText(3, 3, "seven"));
    ASSERT_FALSE(s.setText(1, 1, "first"));
    ASSERT_FALSE(s.setText(1, 1, "replaced"));
    auto bytes = wb->toBytes();
    ASSERT_TRUE(bytes);
    std::string raw = bytes.value();
    EXPECT_EQ(raw.find("first"), std::string::npos);
    EXPECT_EQ(raw.find("1234"), std::string::npos);
    auto back = Workbook::openBytes(raw);
    ASSERT_TRUE(back) << back.error().description();
    workbook::Sheet& b = back->sheet(0);
    EXPECT_EQ(b.kind(3, 2), workbook::CellKind::Number);
    EXPECT_EQ(b.text(3, 2), "123.4");
    EXPECT_EQ(b.text(3, 3), "seven");
    EXPECT_EQ(b.text(1, 1), "replaced");
    EXPECT_EQ(b.text(2, 2), "");
    EXPECT_EQ(b.kind(9, 9), workbook::CellKind::Empty);
}

TEST(XlsRoundTrip, NumbersReadAsTextInTheirUsualForm)
{
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    workbook::Sheet& s = wb->sheet(0);
    const std::vector<std::pair<double, std::string>> cases = {
        {123.4, "123.4"}, {5, "5"}, {-5.2, "-5.2"}, {0.1 + 0.2, "0.3"}, {1e20, "1E+20"}, {1234567890123.0, "1234567890123"}, {-0.0, "0"}, {0.000015, "1.5E-05"}, {2.5e9, "2500000000"}, {1.0 / 3, "0.333333333333333"}};
    int row = 1;
    for (auto& [v, text] : cases) ASSERT_FALSE(s.setNumber(row++, 1, v));
    auto back = Workbook::openBytes(wb->toBytes().value());
    ASSERT_TRUE(back);
    row = 1;
    for (auto& [v, text] : cases) {
        EXPECT_EQ(back->sheet(0).text(row, 1), text) << v;
        EXPECT_EQ(back->sheet(0).number(row, 1), v == 0 ? 0.0 : v);
        ++row;
    }
}

TEST(XlsRoundTrip, DataTemplateHasSheet1AndColumnWidths)
{
    RunResult r = python("xlrd_dump.py", quote(WB_TEMPLATE) + " formatting");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("sheet\tSheet1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("widths\t0:3584 1:2560 2:2048 3:5120"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\n1\t"), std::string::npos) << "the template holds no cells";
}

TEST(XlsRoundTrip, SmallStreamsOfTheContainerSurviveASave)
{
    // A template carrying document properties in the mini stream, as office programs write it.
    auto made = Workbook::createXls();
    ASSERT_TRUE(made);
    auto file = workbook::cfb::read(made->toBytes().value());
    ASSERT_TRUE(file) << file.error().description();
    workbook::cfb::Entry props;
    props.name = u"\x05SummaryInformation";
    props.type = workbook::cfb::Stream;
    for (int i = 0; i < 300; ++i) props.data.push_back(char(i * 7));
    file->entries.push_back(props);
    file->entries[0].children.push_back(file->entries.size() - 1);
    ScratchDir dir;
    std::string path = dir.file("props.xls");
    writeFile(path, workbook::cfb::write(file.value()));

    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    ASSERT_FALSE(wb->sheet(0).setText(1, 1, "kept"));
    ASSERT_FALSE(wb->save());
    auto after = workbook::cfb::read(readFile(path));
    ASSERT_TRUE(after) << after.error().description();
    auto idx = after->findStream(u"\x05SummaryInformation");
    ASSERT_TRUE(idx);
    EXPECT_EQ(after->entries[*idx].data, props.data);
    Dump d = xlrdDump(path);
    EXPECT_EQ(d.cells.at({"Sheet1", 1, 1}).value, "kept");
}
