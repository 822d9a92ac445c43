// The streaming .xlsx writer: what it writes is read back by an independent reader (openpyxl)
// and by the engine's own reader; refused calls write nothing; failures leave the target as it
// was and no temporary file behind.
#include "helpers.h"

#include "xlsx_write.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include <unistd.h>

using namespace wbtest;
using workbook::CellKind;
using workbook::CellValue;
using workbook::ErrorKind;
using workbook::Workbook;
using workbook::XlsxWriter;

namespace {

// The escaping of py/openpyxl_dump.py.
std::string dumpEscape(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else out += char(c);
    }
    return out;
}

// The shortest text that reads back as the same double, as the writer puts it.
std::string shortest(double v)
{
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v == 0 ? 0.0 : v).ptr);
}

using Key = std::tuple<std::string, int, int>;
struct Seen {
    char kind;
    std::string value;
};
struct Dump {
    std::vector<std::string> sheets;
    std::map<Key, Seen> cells;
};

Dump openpyxlDump(const std::string& path)
{
    RunResult r = python("openpyxl_dump.py", quote(path));
    EXPECT_EQ(r.status, 0) << r.out;
    Dump d;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        for (size_t start = 0;;) {
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

// Rows written, remembered to compare with what the readers find.
struct Book {
    struct Cell {
        CellKind kind;
        double number = 0;
        std::string text;
    };
    std::vector<std::string> sheets;
    std::map<Key, Cell> cells;

    void sheet(XlsxWriter& w, const std::string& name)
    {
        ASSERT_FALSE(w.addSheet(name)) << name;
        sheets.push_back(name);
    }
    void row(XlsxWriter& w, std::initializer_list<CellValue> values)
    {
        ASSERT_FALSE(w.writeRow(values));
        int col = 0;
        for (const CellValue& v : values) {
            ++col;
            if (v.kind() == CellKind::Empty) continue;
            cells[{sheets.back(), w.rowCount(), col}] = {v.kind(), v.number(), std::string(v.text())};
        }
    }

    // Every cell as openpyxl gives it: numbers as int or float of the same value, texts as str.
    void checkOpenpyxl(const std::string& path) const
    {
        Dump d = openpyxlDump(path);
        EXPECT_EQ(d.sheets, sheets);
        EXPECT_EQ(d.cells.size(), cells.size());
        for (const auto& [k, c] : cells) {
            auto it = d.cells.find(k);
            ASSERT_NE(it, d.cells.end()) << std::get<0>(k) << " " << std::get<1>(k) << "," << std::get<2>(k);
            const Seen& s = it->second;
            if (c.kind == CellKind::Text) {
                EXPECT_EQ(s.kind, 's');
                EXPECT_EQ(s.value, dumpEscape(c.text)) << std::get<1>(k) << "," << std::get<2>(k);
            } else if (!std::isfinite(c.number)) {
                EXPECT_EQ(s.kind, 'e');
                EXPECT_EQ(s.value, "#NUM!");
            } else {
                // openpyxl makes an int of a value written without point or exponent.
                const std::string written = shortest(c.number);
                const bool integer = written.find_first_of(".e") == std::string::npos;
                EXPECT_EQ(s.kind, integer ? 'i' : 'f') << written;
                double back = 0;
                std::from_chars(s.value.data(), s.value.data() + s.value.size(), back);
                EXPECT_EQ(back, c.number) << s.value;
            }
        }
    }

    // The same through the engine's own reader: exact texts, the same doubles.
    void checkEngine(const std::string& path) const
    {
        auto wb = Workbook::open(path);
        ASSERT_TRUE(wb) << wb.error().description();
        ASSERT_EQ(wb->sheetCount(), sheets.size());
        for (size_t i = 0; i < sheets.size(); ++i) EXPECT_EQ(wb->sheet(i).name(), sheets[i]);
        size_t seen = 0;
        for (size_t i = 0; i < sheets.size(); ++i)
            wb->sheet(i).forEachCell([&](int, int, const std::string&) { ++seen; });
        EXPECT_EQ(seen, cells.size());
        for (const auto& [k, c] : cells) {
            const workbook::Sheet* s = wb->findSheet(std::get<0>(k));
            ASSERT_NE(s, nullptr);
            const int r = std::get<1>(k), col = std::get<2>(k);
            if (c.kind == CellKind::Text) {
                EXPECT_EQ(s->kind(r, col), CellKind::Text) << r << "," << col;
                EXPECT_EQ(s->text(r, col), c.text) << r << "," << col;
            } else if (!std::isfinite(c.number)) {
                EXPECT_EQ(s->kind(r, col), CellKind::ErrorCode);
            } else {
                EXPECT_EQ(s->number(r, col), c.number) << r << "," << col;
            }
        }
    }
};

std::string valueAt(const Dump& d, const std::string& sheet, int row, int col)
{
    auto it = d.cells.find({sheet, row, col});
    return it == d.cells.end() ? "(none)" : it->second.value;
}

std::string packageCheck(const std::string& path) { return python("check_package.py", quote(path)).out; }

std::vector<std::string> filesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(XlsxWriterOutput, PreviewAndComponentListsReadByOpenpyxlAndTheEngine)
{
    ScratchDir dir;
    const std::string path = dir.file("export.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w) << w.error().description();
    Book book;
    // The preview: number, reading and temperature (numbers, or texts where the instrument sent
    // no number), time stamp.
    book.sheet(*w, "测点-01 (第一)");
    book.row(*w, {"编号", "读数", "温度", "时间"});
    for (int i = 1; i <= 300; ++i) {
        const std::string number = std::to_string(i), stamp = "2026-12-07 10:" + std::to_string(10 + i % 50) + ":05";
        if (i % 50 == 0) book.row(*w, {number, "----", "ERR", stamp});
        else book.row(*w, {number, 1234.5 + i / 8.0, -5.2 + i, stamp});
    }
    // The component list: code and name.
    book.sheet(*w, "元件");
    book.row(*w, {"编号", "元件名"});
    for (int i = 1; i <= 40; ++i) {
        char code[8], name[16];
        std::snprintf(code, sizeof code, "A%03d", i);
        std::snprintf(name, sizeof name, "QRVA%06d", i);
        book.row(*w, {std::string(code), std::string(code) + "=" + name});
    }
    book.sheet(*w, "空");
    book.sheet(*w, "Last");
    book.row(*w, {42, 2.5, "x"});
    EXPECT_EQ(w->sheetCount(), 4u);
    ASSERT_FALSE(w->commit());

    EXPECT_EQ(packageCheck(path), "ok\n");
    book.checkOpenpyxl(path);
    book.checkEngine(path);
}

TEST(XlsxWriterOutput, SpecialCharactersComeBackAsWritten)
{
    static const char kControls[] = "control \x01 \x08 \x0B \x0C \x1F and NUL \0 end";
    ScratchDir dir;
    const std::string path = dir.file("texts.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    Book book;
    book.sheet(*w, "it's <&> \"q\" 测_x0041_"); // a sheet name needing escapes of both kinds
    const std::vector<std::string> texts = {
        "<b>&amp;</b> \"quoted\" 'single' a>b",
        "tab\there\nline\r\nCR LF and\rCR alone",
        "  two spaces around  ",
        "\n",
        "超出基本平面: \xF0\xA0\x80\x80\xF0\xAA\x9A\xB2 \xF0\x9F\x98\x80", // U+20000 U+2A6B2 U+1F600
        std::string(kControls, sizeof kControls - 1),
        "\xEF\xBF\xBE and \xEF\xBF\xBF, non-characters",
        "]]> and ]]&gt;",
    };
    for (const std::string& t : texts) book.row(*w, {t});
    ASSERT_FALSE(w->commit());
    ASSERT_EQ(packageCheck(path), "ok\n");
    book.checkEngine(path); // the engine decodes every escape: exactly the texts written

    // openpyxl does not decode the _xHHHH_ escapes, so it shows the characters XML cannot carry
    // (and underscores that would start an escape) in their escaped form; everything else comes
    // back as written.
    Dump d = openpyxlDump(path);
    ASSERT_EQ(d.sheets.size(), 1u);
    EXPECT_EQ(d.sheets[0], "it's <&> \"q\" 测_x005F_x0041_");
    const std::string sheet = d.sheets[0];
    for (int i : {0, 1, 2, 3, 4, 7}) EXPECT_EQ(valueAt(d, sheet, i + 1, 1), dumpEscape(texts[size_t(i)])) << i;
    EXPECT_EQ(valueAt(d, sheet, 6, 1), "control _x0001_ _x0008_ _x000B_ _x000C_ _x001F_ and NUL _x0000_ end");
    EXPECT_EQ(valueAt(d, sheet, 7, 1), "_xFFFE_ and _xFFFF_, non-characters");
}

TEST(XlsxWriterOutput, UnderscoresThatLookLikeEscapesStayLiteral)
{
    ScratchDir dir;
    const std::string path = dir.file("underscores.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    Book book;
    book.sheet(*w, "S");
    for (const std::string& t : {std::string("_x0041_"), std::string("_x0041_x0042_"), std::string("a_x00e9_b"),
                                 std::string("_x0041\x01", 7), std::string("__x0041__"), std::string("_x004_ _xZZZZ_ _x0041"),
                                 std::string("snake_case_name_x")})
        book.row(*w, {t});
    ASSERT_FALSE(w->commit());
    book.checkEngine(path);
    Dump d = openpyxlDump(path);
    EXPECT_EQ(valueAt(d, "S", 1, 1), "_x005F_x0041_");
    EXPECT_EQ(valueAt(d, "S", 2, 1), "_x005F_x0041_x005F_x0042_");
    EXPECT_EQ(valueAt(d, "S", 4, 1), "_x005F_x0041_x0001_");
    EXPECT_EQ(valueAt(d, "S", 6, 1), "_x004_ _xZZZZ_ _x0041"); // nothing that reads as an escape
    EXPECT_EQ(valueAt(d, "S", 7, 1), "snake_case_name_x");
}

TEST(XlsxWriterOutput, NumbersKeepTheirExactValue)
{
    ScratchDir dir;
    const std::string path = dir.file("numbers.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    Book book;
    book.sheet(*w, "Numbers");
    const double values[] = {0, 5, -5, 1234567, 9007199254740992.0, 123.4, -5.2, 0.1 + 0.2, 1.0 / 3, 1e-300,
                             5e-324, 1.7976931348623157e308, 2.5e-7, 1e21, 123456789012345678.0, -0.0};
    for (double v : values) book.row(*w, {v, "as written"});
    book.row(*w, {7, 7u, 7L, 7.0f, static_cast<short>(-7)}); // any arithmetic type is a number
    book.row(*w, {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
    ASSERT_FALSE(w->commit());
    book.checkOpenpyxl(path);
    book.checkEngine(path);
}

TEST(XlsxWriterOutput, EmptyCellsRowsAndTheWidestRow)
{
    ScratchDir dir;
    const std::string path = dir.file("sparse.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    Book book;
    book.sheet(*w, "Sparse");
    book.row(*w, {CellValue(), "B1", CellValue(), 4, ""});
    book.row(*w, {});
    book.row(*w, {CellValue(), CellValue()});
    book.row(*w, {"", "", "", "D4"});
    EXPECT_EQ(w->rowCount(), 4);
    // 16,384 cells: the last is XFD.
    std::vector<CellValue> wide(workbook::kXlsxMaxColumns);
    wide.front() = "A5";
    wide[26] = "AA5";
    wide.back() = "XFD5";
    ASSERT_FALSE(w->writeRow(wide));
    book.cells[{"Sparse", 5, 1}] = {CellKind::Text, 0, "A5"};
    book.cells[{"Sparse", 5, 27}] = {CellKind::Text, 0, "AA5"};
    book.cells[{"Sparse", 5, workbook::kXlsxMaxColumns}] = {CellKind::Text, 0, "XFD5"};
    wide.push_back(1);
    workbook::Error e = w->writeRow(wide);
    EXPECT_EQ(e.kind(), ErrorKind::TooLarge) << e.description();
    book.row(*w, {"after the refused row"});
    EXPECT_EQ(w->rowCount(), 6);
    ASSERT_FALSE(w->commit());
    book.checkOpenpyxl(path);
    book.checkEngine(path);
}

TEST(XlsxWriterRules, RefusedCallsWriteNothingAndTheWriterGoesOn)
{
    ScratchDir dir;
    const std::string path = dir.file("rules.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->writeRow({"no sheet yet"}).kind(), ErrorKind::OutOfRange);
    Book book;
    book.sheet(*w, "Ärger");
    book.sheet(*w, "数据");
    for (const std::string& name : {std::string(), std::string(32, 'a'), std::string("a:b"), std::string("a\\b"),
                                    std::string("a/b"), std::string("a?b"), std::string("a*b"), std::string("a[b"),
                                    std::string("a]b"), std::string("'quoted"), std::string("tab\there"),
                                    std::string("bad\xff utf8"), std::string("History")})
        EXPECT_EQ(w->addSheet(name).kind(), ErrorKind::BadSheetName) << name;
    for (const char* name : {"ärger", "ÄRGER", "数据"})
        EXPECT_EQ(w->addSheet(name).kind(), ErrorKind::DuplicateSheetName) << name;
    std::string chinese;
    for (int i = 0; i < 31; ++i) chinese += "测";
    book.sheet(*w, chinese); // 31 characters are allowed
    book.row(*w, {"first"});
    EXPECT_EQ(w->writeRow({"ok", std::string("\xc3\x28", 2)}).kind(), ErrorKind::BadText);
    EXPECT_EQ(w->writeRow({std::string(32768, 'a')}).kind(), ErrorKind::BadText);
    std::string astral; // 16,384 characters of two UTF-16 units each: 32,768 units
    for (int i = 0; i < 16384; ++i) astral += "\xF0\xA0\x80\x80";
    EXPECT_EQ(w->writeRow({astral}).kind(), ErrorKind::BadText);
    astral.resize(astral.size() - 4);
    book.row(*w, {std::string(32767, 'z'), astral});
    EXPECT_EQ(w->rowCount(), 2) << "refused rows take no row number";
    EXPECT_EQ(w->sheetCount(), 3u);
    ASSERT_FALSE(w->commit());
    book.checkOpenpyxl(path);
    book.checkEngine(path);

    // A committed writer refuses everything; a writer without worksheets writes one empty sheet.
    EXPECT_TRUE(w->writeRow({"late"}));
    EXPECT_TRUE(w->addSheet("late"));
    EXPECT_TRUE(w->commit());
    const std::string empty = dir.file("empty.xlsx");
    auto e = XlsxWriter::create(empty);
    ASSERT_TRUE(e);
    ASSERT_FALSE(e->commit());
    EXPECT_EQ(packageCheck(empty), "ok\n");
    Dump d = openpyxlDump(empty);
    EXPECT_EQ(d.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_TRUE(d.cells.empty());
}

TEST(XlsxWriterRules, TheSameRowsGiveTheSameBytes)
{
    ScratchDir dir;
    std::string files[2];
    for (int k = 0; k < 2; ++k) {
        files[k] = dir.file("same" + std::to_string(k) + ".xlsx");
        auto w = XlsxWriter::create(files[k]);
        ASSERT_TRUE(w);
        ASSERT_FALSE(w->addSheet("S"));
        for (int i = 0; i < 5000; ++i) ASSERT_FALSE(w->writeRow({std::to_string(i), i * 0.5}));
        ASSERT_FALSE(w->commit());
    }
    EXPECT_TRUE(readFile(files[0]) == readFile(files[1]));
}

TEST(XlsxWriterLimits, TheLastRowOfASheetIsAcceptedAndTheNextRefused)
{
    ScratchDir dir;
    const std::string path = dir.file("full.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    ASSERT_FALSE(w->addSheet("Full"));
    for (int r = 1; r < workbook::kXlsxMaxRows; ++r) ASSERT_FALSE(w->writeRow({r})) << r;
    ASSERT_FALSE(w->writeRow({"last row"}));
    EXPECT_EQ(w->rowCount(), 1048576);
    workbook::Error e = w->writeRow({"one too many"});
    EXPECT_EQ(e.kind(), ErrorKind::TooLarge);
    EXPECT_NE(e.description().find("1,048,576"), std::string::npos) << e.description();
    ASSERT_FALSE(w->addSheet("Next")); // a new worksheet starts from row 1 again
    ASSERT_FALSE(w->writeRow({"next sheet"}));
    ASSERT_FALSE(w->commit());

    // openpyxl takes too long over a million rows; expat streams them.
    RunResult r = python("count_rows.py", quote(path));
    EXPECT_EQ(r.out, "sheet\tFull\t1048576\t1048576\tlast row\nsheet\tNext\t1\t1\tnext sheet\n");
    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    EXPECT_EQ(wb->sheet(0).lastRow(), 1048576);
    EXPECT_EQ(wb->sheet(0).text(1048576, 1), "last row");
    EXPECT_EQ(wb->sheet(0).number(1048575, 1), 1048575.0);
    EXPECT_EQ(wb->sheet(1).text(1, 1), "next sheet");
}

TEST(XlsxWriterLimits, ARowThatWouldPassTheSizeLimitIsRefusedAndTheFileStaysValid)
{
    // The zip format's 4 GB, lowered to 200 KB to reach it in a test; the parts stored rather
    // than deflated (level 0), so that the file really grows to the limit.
    ScratchDir dir;
    const std::string path = dir.file("limit.xlsx");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    w->impl().limit = 200 * 1024;
    w->impl().level = 0;
    ASSERT_FALSE(w->addSheet("S"));
    int written = 0;
    workbook::Error e;
    while (!(e = w->writeRow({written + 1, "text of row " + std::to_string(written + 1)}))) ++written;
    EXPECT_EQ(e.kind(), ErrorKind::TooLarge) << e.description();
    EXPECT_GT(written, 1000);
    EXPECT_EQ(w->rowCount(), written);
    EXPECT_EQ(w->addSheet("More").kind(), ErrorKind::TooLarge);
    ASSERT_FALSE(w->commit());
    EXPECT_LE(fs::file_size(path), 200u * 1024);
    EXPECT_GT(fs::file_size(path), 190u * 1024);
    EXPECT_EQ(packageCheck(path), "ok\n");
    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    EXPECT_EQ(wb->sheet(0).lastRow(), written);
    EXPECT_EQ(wb->sheet(0).text(written, 2), "text of row " + std::to_string(written));
}

TEST(XlsxWriterFailures, CancelAndDestroyLeaveTheTargetAndNoTemporaryFile)
{
    ScratchDir dir;
    const std::string path = dir.file("book.xlsx");
    writeFile(path, "the old workbook");
    {
        auto w = XlsxWriter::create(path);
        ASSERT_TRUE(w);
        ASSERT_FALSE(w->addSheet("S"));
        for (int i = 0; i < 20000; ++i) ASSERT_FALSE(w->writeRow({i, "row"}));
        EXPECT_EQ(temporariesOf(path).size(), 1u);
        w->cancel();
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"book.xlsx"});
        EXPECT_EQ(w->writeRow({1}).kind(), ErrorKind::Io);
        EXPECT_TRUE(w->commit());
    }
    {
        auto w = XlsxWriter::create(path);
        ASSERT_TRUE(w);
        ASSERT_FALSE(w->addSheet("S"));
        ASSERT_FALSE(w->writeRow({"never committed"}));
        XlsxWriter moved = std::move(w.value()); // the file goes with the move
        EXPECT_TRUE(w->writeRow({1}));
    }
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"book.xlsx"});
    EXPECT_EQ(readFile(path), "the old workbook");

    // A temporary file left by a write that was killed is removed by the next write.
    writeFile(dir.file("~book.xlsx." + std::to_string(endedProcess()) + "-1.saving"), "half a workbook");
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w);
    ASSERT_FALSE(w->addSheet("S"));
    ASSERT_FALSE(w->writeRow({"new"}));
    ASSERT_FALSE(w->commit());
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"book.xlsx"});
    EXPECT_EQ(Workbook::open(path)->sheet(0).text(1, 1), "new");
}

TEST(XlsxWriterFailures, AFullDiskFailsTheWriteAndKeepsTheTarget)
{
    // The disk stops the temporary file's growth (a file size limit: EFBIG where a full disk
    // gives ENOSPC; both end the writer the same way).
    ScratchDir dir;
    const std::string path = dir.file("book.xlsx");
    writeFile(path, "the old workbook");
    workbook::Error e;
    withFileSizeLimit(100000, [&] {
        auto w = XlsxWriter::create(path);
        ASSERT_TRUE(w) << w.error().description();
        ASSERT_FALSE(w->addSheet("S"));
        for (int i = 0; i < 200000 && !e; ++i) e = w->writeRow({i, "a row that will not fit " + std::to_string(i)});
        if (!e) e = w->commit();
        EXPECT_EQ(w->commit().kind(), ErrorKind::TooLarge) << "the failure is reported again";
    });
    EXPECT_EQ(e.kind(), ErrorKind::TooLarge) << e.description();
    EXPECT_NE(e.description().find("book.xlsx"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("File too large"), std::string::npos) << e.description();
    EXPECT_EQ(readFile(path), "the old workbook");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"book.xlsx"});
}

TEST(XlsxWriterFailures, AReadOnlyTargetIsRefusedBeforeAnythingIsWritten)
{
    ScratchDir dir;
    const std::string path = dir.file("book.xlsx");
    writeFile(path, "the old workbook");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto w = XlsxWriter::create(path);
    ASSERT_FALSE(w);
    EXPECT_EQ(w.error().kind(), ErrorKind::AccessDenied) << w.error().description();
    EXPECT_NE(w.error().description().find("read-only"), std::string::npos) << w.error().description();
    EXPECT_EQ(readFile(path), "the old workbook");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"book.xlsx"});
}

TEST(XlsxWriterFailures, MissingFolderNoPermissionAFolderAsTargetAndTwoWriters)
{
    ScratchDir dir;
    auto missing = XlsxWriter::create(dir.file("no/such/folder/book.xlsx"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind(), ErrorKind::NotFound);
    EXPECT_NE(missing.error().description().find("No such file"), std::string::npos) << missing.error().description();

    fs::create_directory(dir.file("folder.xlsx"));
    EXPECT_EQ(XlsxWriter::create(dir.file("folder.xlsx")).error().kind(), ErrorKind::NotAFile);
    EXPECT_EQ(XlsxWriter::create("").error().kind(), ErrorKind::NoPath);

    // No permission: a read-only folder, or for root, who may write anywhere, sysfs.
    std::string denied = "/sys/book.xlsx";
    if (geteuid() != 0) {
        fs::create_directory(dir.file("locked"));
        fs::permissions(dir.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        denied = dir.file("locked/book.xlsx");
    }
    auto refused = XlsxWriter::create(denied);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind(), ErrorKind::AccessDenied) << refused.error().description();
    if (geteuid() != 0) fs::permissions(dir.file("locked"), fs::perms::owner_all);

    // The target turns into a folder before the commit: the rename fails, nothing is left.
    const std::string late = dir.file("late.xlsx");
    auto w = XlsxWriter::create(late);
    ASSERT_TRUE(w);
    ASSERT_FALSE(w->addSheet("S"));
    fs::create_directory(late);
    fs::create_directory(late + "/inside");
    EXPECT_EQ(w->commit().kind(), ErrorKind::NotAFile);
    EXPECT_TRUE(fs::is_directory(late + "/inside"));
    EXPECT_EQ(temporariesOf(late), std::vector<std::string>());

    // A second writer to the same target is refused while the first writes; the first is unharmed.
    const std::string path = dir.file("book.xlsx");
    auto first = XlsxWriter::create(path);
    ASSERT_TRUE(first);
    ASSERT_FALSE(first->addSheet("First"));
    ASSERT_FALSE(first->writeRow({"first writer"}));
    auto second = XlsxWriter::create(path);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind(), ErrorKind::InUse);
    ASSERT_FALSE(first->commit());
    EXPECT_EQ(Workbook::open(path)->sheet(0).text(1, 1), "first writer");
    EXPECT_TRUE(XlsxWriter::create(path)) << "free again after the commit";
}

TEST(XlsxWriterFailures, TwoProgramsWritingOneTargetBothSucceedAndAKilledOneLeavesNothingForLong)
{
    ScratchDir dir;
    const std::string path = dir.file("book.xlsx");
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    // Another program starts first and commits last.
    const pid_t other = fork();
    if (other == 0) {
        auto w = XlsxWriter::create(path);
        if (!w || w->addSheet("Other") || w->writeRow({"the other program"})) _exit(1);
        char c = 0;
        if (read(go[0], &c, 1) != 1) _exit(2);
        _exit(w->commit() ? 3 : 0);
    }
    usleep(100000); // the other writer's temporary file is there
    auto w = XlsxWriter::create(path);
    ASSERT_TRUE(w) << w.error().description();
    ASSERT_FALSE(w->addSheet("This"));
    ASSERT_FALSE(w->writeRow({"this program"}));
    EXPECT_EQ(temporariesOf(path).size(), 2u);
    ASSERT_FALSE(w->commit());
    EXPECT_EQ(Workbook::open(path)->sheet(0).text(1, 1), "this program");
    ASSERT_EQ(write(go[1], "x", 1), 1);
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Workbook::open(path)->sheet(0).text(1, 1), "the other program");

    // A program killed in the middle leaves its temporary file until the target is written again.
    const pid_t killed = fork();
    if (killed == 0) {
        auto k = XlsxWriter::create(path);
        if (!k || k->addSheet("K")) _exit(1);
        for (int i = 0; i < 20000; ++i) k->writeRow({i, "row"});
        raise(SIGKILL);
    }
    waitpid(killed, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(temporariesOf(path).size(), 1u);
    auto next = XlsxWriter::create(path);
    ASSERT_TRUE(next);
    EXPECT_EQ(temporariesOf(path).size(), 1u) << "only the new writer's own";
    ASSERT_FALSE(next->commit());
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"book.xlsx"});
    close(go[0]);
    close(go[1]);
}
