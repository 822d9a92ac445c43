// Workbooks written by other programs (xlwt, openpyxl) read by the engine, and an xlwt template
// carrying its own fonts, widths and sheets modified and saved.
#include "helpers.h"

#include <vector>

using namespace wbtest;
using workbook::CellKind;
using workbook::Workbook;

namespace {

std::string dumpWithWbdump(const std::string& path, int* status = nullptr)
{
    RunResult r = run(quote(WB_WBDUMP) + " " + quote(path) + " 2>&1");
    if (status) *status = r.status;
    return r.out;
}

} // namespace

TEST(ForeignFiles, XlsWrittenByXlwt)
{
    ScratchDir dir;
    std::string path = dir.file("xlwt.xls");
    RunResult made = python("make_xlwt.py", quote(path));
    ASSERT_EQ(made.status, 0) << made.out;

    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    ASSERT_EQ(wb->sheetCount(), 3u);
    EXPECT_EQ(wb->sheet(0).name(), "Sheet1");
    EXPECT_EQ(wb->sheet(1).name(), "Second");
    EXPECT_EQ(wb->sheet(2).name(), "空表");
    workbook::Sheet& s = wb->sheet(0);
    EXPECT_EQ(s.text(1, 1), "编号");
    EXPECT_EQ(s.text(2, 1), "A001=QRVA000001");
    EXPECT_EQ(s.text(2, 2), "123.4");
    EXPECT_EQ(s.text(3, 2), "-5.2");
    EXPECT_EQ(s.text(4, 2), "5");
    EXPECT_EQ(s.kind(4, 2), CellKind::Number);
    EXPECT_EQ(s.kind(6, 3), CellKind::Empty); // formatted blank
    EXPECT_EQ(s.text(7, 4), "TRUE");
    EXPECT_EQ(s.text(8, 1), "rich bold end");
    EXPECT_EQ(s.text(9, 1), "tab\there\nnew line");
    EXPECT_EQ(wb->sheet(1).text(11, 6), "1E+20");
    EXPECT_EQ(wb->sheet(2).lastRow(), 0);

    // The command-line listing, as field diagnostics use it.
    int status = -1;
    std::string out = dumpWithWbdump(path, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out,
              "sheet\tSheet1\n1\t1\t编号\n1\t2\t读数\n2\t1\tA001=QRVA000001\n2\t2\t123.4\n3\t2\t-5.2\n4\t2\t5\n"
              "7\t4\tTRUE\n8\t1\trich bold end\n9\t1\ttab\\there\\nnew line\n"
              "sheet\tSecond\n1\t1\tsecond sheet\n11\t6\t1E+20\nsheet\t空表\n");
}

TEST(ForeignFiles, XlsxThatCompressesFarBeyondAHundredToOneOpens)
{
    // a component list whose remark column repeats one note: ordinary, and about 135:1
    ScratchDir dir;
    std::string path = dir.file("remarks.xlsx");
    RunResult made = python("make_compressible_xlsx.py", quote(path));
    ASSERT_EQ(made.status, 0) << made.out;
    ASSERT_GT(std::stoi(made.out), 100) << "the fixture no longer compresses that well";

    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    workbook::Sheet& s = wb->sheet(0);
    EXPECT_EQ(wb->sheet(0).name(), "元件");
    EXPECT_EQ(s.text(1, 3), "备注");
    EXPECT_EQ(s.text(2, 2), "A001=QRVA000001");
    EXPECT_EQ(s.text(205, 2), "A204=QRVA000204");
    EXPECT_EQ(s.text(205, 3).substr(0, 6), "按设");
    EXPECT_EQ(s.lastRow(), 205);
}

TEST(ForeignFiles, XlwtTemplateKeepsItsRecordsThroughModifyAndSave)
{
    ScratchDir dir;
    std::string path = dir.file("template.xls");
    ASSERT_EQ(python("make_xlwt.py", quote(path)).status, 0);
    RunResult before = python("xlrd_dump.py", quote(path) + " formatting");
    ASSERT_EQ(before.status, 0) << before.out;

    {
        auto wb = Workbook::open(path);
        ASSERT_TRUE(wb) << wb.error().description();
        ASSERT_FALSE(wb->rename(0, "Renamed"));
        ASSERT_FALSE(wb->sheet(0).setText(20, 1, "added"));
        ASSERT_FALSE(wb->sheet(0).setNumber(2, 2, 99.5)); // replaces 123.4, keeps the cell's format
        auto added = wb->addSheetAfter(0, "Added");
        ASSERT_TRUE(added);
        ASSERT_FALSE((*added)->setText(1, 1, "new sheet"));
        ASSERT_FALSE(wb->save());
    }
    RunResult after = python("xlrd_dump.py", quote(path) + " formatting");
    ASSERT_EQ(after.status, 0) << after.out;

    // Expected listing: the original with the edits applied.
    std::string expected = before.out;
    auto replace = [&](const std::string& from, const std::string& to) {
        size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace("sheet\tSheet1\n", "sheet\tRenamed\n");
    replace("2\t2\tn\t123.4\n", "2\t2\tn\t99.5\n");
    replace("sheet\tSecond\n", "sheet\tAdded\n1\t1\ts\tnew sheet\nwidths\t\nsheet\tSecond\n");
    size_t widthsOfFirst = expected.find("widths\t");
    expected.insert(widthsOfFirst, "20\t1\ts\tadded\n");
    EXPECT_EQ(after.out, expected);
    EXPECT_NE(after.out.find("Times New Roman/280/1"), std::string::npos) << "the template's extra font is kept";
    EXPECT_NE(after.out.find("widths\t0:5000 3:7000"), std::string::npos) << "column widths are kept";

    // The formatted cell keeps its format index after the number is replaced.
    RunResult xf = run(std::string(WB_PYTHON) + " -c \"import xlrd,sys; b=xlrd.open_workbook(sys.argv[1], formatting_info=True); "
                                                "s=b.sheet_by_index(0); print(b.font_list[b.xf_list[s.cell_xf_index(0,0)].font_index].name)\" " +
                       quote(path));
    EXPECT_EQ(xf.out, "Times New Roman\n");
}

TEST(ForeignFiles, XlsxWrittenByOpenpyxl)
{
    ScratchDir dir;
    std::string path = dir.file("book.xlsx");
    RunResult made = python("make_openpyxl.py", quote(path));
    ASSERT_EQ(made.status, 0) << made.out;

    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    EXPECT_EQ(wb->format(), workbook::Format::Xlsx);
    EXPECT_TRUE(wb->readOnly());
    ASSERT_EQ(wb->sheetCount(), 3u);
    EXPECT_EQ(wb->sheet(0).name(), "Zweite"); // workbook order, not creation order
    EXPECT_EQ(wb->sheet(1).name(), "Parts");
    EXPECT_EQ(wb->sheet(2).name(), "Empty");
    workbook::Sheet* parts = wb->findSheet("PARTS");
    ASSERT_NE(parts, nullptr);
    EXPECT_EQ(parts->text(1, 1), "编号");
    EXPECT_EQ(parts->text(1, 2), "元件名");
    EXPECT_EQ(parts->text(2, 2), "A001=QRVA000001");
    EXPECT_EQ(parts->text(3, 2), ""); // blank between entries
    EXPECT_EQ(parts->text(4, 2), "A003=QRVA000003");
    EXPECT_EQ(parts->text(2, 3), "123.4");
    EXPECT_EQ(parts->text(3, 3), "-5.2");
    EXPECT_EQ(parts->text(4, 3), "5");
    EXPECT_EQ(parts->kind(2, 4), CellKind::Boolean);
    EXPECT_EQ(parts->text(2, 4), "TRUE");
    EXPECT_EQ(parts->text(2, 5), "rich text"); // runs joined, phonetic run left out
    EXPECT_EQ(parts->text(2, 6), "in line");   // inline string with an _x0020_ escape
    EXPECT_EQ(wb->sheet(0).text(100, 27), "7");
    EXPECT_EQ(wb->sheet(2).lastRow(), 0);

    EXPECT_TRUE(parts->setText(1, 1, "x"));
    EXPECT_TRUE(wb->rename(0, "Other"));
    EXPECT_TRUE(wb->addSheetAfter(0, "More").error());
    workbook::Error saved = wb->save();
    ASSERT_TRUE(saved);
    EXPECT_NE(saved.description().find("read-only"), std::string::npos) << saved.description();
    EXPECT_EQ(parts->text(1, 1), "编号");
}

TEST(ForeignFiles, SheetReferencesFollowTheirSheetWhenOneIsInsertedBefore)
{
    ScratchDir dir;
    std::string path = dir.file("refs.xls");
    RunResult made = python("make_xlwt_refs.py", quote(path));
    ASSERT_EQ(made.status, 0) << made.out;
    const std::string show = std::string(WB_PYTHON) +
                             " -c \"import xlrd,sys; b=xlrd.open_workbook(sys.argv[1]); "
                             "print([(b.sheet_names()[f], b.sheet_names()[l]) for (s, f, l) in b._externsheet_info "
                             "if f < b.nsheets])\" " +
                             quote(path);
    RunResult before = run(show);
    ASSERT_EQ(before.out, "[('Target', 'Target')]\n");

    auto wb = Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    ASSERT_TRUE(wb->addSheetAfter(0, "Inserted"));
    ASSERT_FALSE(wb->save());
    RunResult after = run(show);
    EXPECT_EQ(after.out, "[('Target', 'Target')]\n") << "the formula's reference must still name Target";

    auto back = Workbook::open(path);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->sheetCount(), 4u);
    EXPECT_EQ(back->sheet(1).name(), "Inserted");
}
