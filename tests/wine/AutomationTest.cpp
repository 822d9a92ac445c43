// Late-bound automation through COM, against the test server of tests/wine/server (an in-process
// DLL registered in the prefix as "Varnok.TestSheets", with the object model of a spreadsheet
// application: Application, Workbooks, Workbook, Worksheets, Worksheet, Range). The calls are
// those the Excel and WPS servers of the program make for a save and for an import. A workbook
// whose name ends in .xls is a real BIFF8 file, as the program's save makes it from its template;
// any other name holds the server's own text format, which shows plainly what a call did.
#include <windows/ComAutomation.h>

#include <gtest/gtest.h>
#include <windows.h>
#include <workbook/workbook.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using latebound::Failure;
using latebound::Named;
using latebound::ObjectPtr;
using latebound::Value;

namespace {

const std::u16string kServer = u"Varnok.TestSheets";

// The server's own counters, read from the DLL that COM loaded (kept loaded by this test).
struct ServerProbe {
    HMODULE module = nullptr;
    long (*liveObjects)() = nullptr;
    unsigned long (*lastLcid)() = nullptr;

    ServerProbe()
    {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        module = LoadLibraryW((fs::path(exe).parent_path() / L"test_sheets_server.dll").c_str());
        if (!module)
            return;
        liveObjects = reinterpret_cast<long (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "TestServerLiveObjects")));
        lastLcid = reinterpret_cast<unsigned long (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "TestServerLastLcid")));
    }
    bool ready() const { return liveObjects && lastLcid; }
};

ServerProbe& probe()
{
    static ServerProbe p;
    return p;
}

ObjectPtr obj(const Value& v)
{
    const ObjectPtr* o = std::get_if<ObjectPtr>(&v);
    if (!o || !*o)
        throw std::runtime_error("the server returned no object");
    return *o;
}

std::u16string text(const Value& v)
{
    const std::u16string* s = std::get_if<std::u16string>(&v);
    return s ? *s : u"<not a text>";
}

// A folder whose name no single ANSI code page holds.
fs::path scratch()
{
    const fs::path dir = fs::temp_directory_path() / fs::path(u8"自动化 Ωμέγα Щ");
    fs::create_directories(dir);
    return dir;
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeAll(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

class Automation : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(probe().ready()) << "the test server's DLL was not found beside the test"; }
    win::ComFactory factory;
};

} // namespace

TEST_F(Automation, ASaveRunsTheWholeSequenceAndLeavesNothingAlive)
{
    const fs::path path = scratch() / fs::path(u8"大坝 分区A.sheets");
    writeAll(path, ""); // a workbook in the text format with one empty worksheet
    {
        ObjectPtr app = factory.create(kServer);
        ASSERT_TRUE(app);
        ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{path.u16string()}));
        app->put(u"Visible", false);
        EXPECT_EQ(app->get(u"Visible"), Value(false));
        ObjectPtr sheets = obj(book->get(u"Worksheets"));
        ObjectPtr first = obj(sheets->get(u"Item", std::vector<Value>{std::u16string(u"Sheet1")}));
        first->put(u"Name", std::u16string(u"分区A"));
        ObjectPtr cells = obj(first->get(u"Cells"));
        obj(cells->get(u"Item", std::vector<Value>{1.0, 1.0}))->put(u"Value", std::u16string(u"编号"));
        obj(cells->get(u"Item", std::vector<Value>{2.0, 2.0}))->put(u"Value", 123.4);
        // The next worksheet goes directly after the first, named by its parameter alone.
        const Named after[] = {{u"After", first}};
        ObjectPtr second = obj(sheets->call(u"Add", {}, after));
        second->put(u"Name", std::u16string(u"分区B"));
        EXPECT_EQ(sheets->get(u"Count"), Value(2.0)) << "a count arrives as a number whatever its type";
        EXPECT_EQ(text(obj(sheets->get(u"Item", std::vector<Value>{2.0}))->get(u"Name")), u"分区B");
        EXPECT_EQ(obj(obj(second->get(u"Cells"))->get(u"Item", std::vector<Value>{1.0, 1.0}))->get(u"Value"),
                  Value(std::monostate{}))
            << "the added worksheet starts empty";
        book->call(u"Save");
        const Named saveChanges[] = {{u"SaveChanges", true}};
        book->call(u"Close", {}, saveChanges);
        app->call(u"Quit");
        EXPECT_EQ(probe().lastLcid(), 1033u) << "members are named and called in the locale Excel expects";
    }
    EXPECT_EQ(probe().liveObjects(), 0) << "every object is released";
    // The server wrote its file where it was told: the wide path reached it whole.
    const std::string saved = readAll(path);
    EXPECT_NE(saved.find("sheet\t分区A\ncell\t1\t1\tt\t编号\ncell\t2\t2\tn\t123.4"), std::string::npos) << saved;
    EXPECT_NE(saved.find("sheet\t分区B"), std::string::npos) << saved;
    EXPECT_LT(saved.find("分区A"), saved.find("分区B")) << "the added worksheet comes after the first";
}

TEST_F(Automation, AnImportWalksTheWorksheetsAndReadsCells)
{
    const fs::path path = scratch() / fs::path(u8"元件编号 Щ.sheets");
    writeAll(path, "sheet\t说明\nsheet\t元件\ncell\t1\t1\tt\t编号\ncell\t1\t2\tt\t名称\n"
                   "cell\t2\t2\tt\tA001=QRVA000001\ncell\t3\t2\tn\t42\n");
    {
        ObjectPtr app = factory.create(kServer);
        ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{path.u16string()}));
        app->put(u"Visible", false);
        ObjectPtr sheets = obj(book->get(u"Worksheets"));
        ASSERT_EQ(sheets->get(u"Count"), Value(2.0));
        std::vector<std::u16string> names;
        for (double i = 1; i <= 2; ++i)
            names.push_back(text(obj(sheets->get(u"Item", std::vector<Value>{i}))->get(u"Name")));
        EXPECT_EQ(names, (std::vector<std::u16string>{u"说明", u"元件"}));
        ObjectPtr cells = obj(obj(sheets->get(u"Item", std::vector<Value>{std::u16string(u"元件")}))->get(u"Cells"));
        auto cell = [&](double r, double c) { return obj(cells->get(u"Item", std::vector<Value>{r, c}))->get(u"Value"); };
        EXPECT_EQ(cell(1, 2), Value(std::u16string(u"名称")));
        EXPECT_EQ(cell(2, 2), Value(std::u16string(u"A001=QRVA000001")));
        EXPECT_EQ(cell(3, 2), Value(42.0));
        EXPECT_EQ(cell(4, 2), Value(std::monostate{})) << "an empty cell is no value";
        book->call(u"Close");
        app->call(u"Quit");
    }
    EXPECT_EQ(probe().liveObjects(), 0);
}

TEST_F(Automation, TheServersOwnDescriptionReachesTheCaller)
{
    const fs::path path = scratch() / fs::path(u8"异常.sheets");
    writeAll(path, "");
    ObjectPtr app = factory.create(kServer);
    ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{path.u16string()}));
    ObjectPtr sheets = obj(book->get(u"Worksheets"));
    ObjectPtr first = obj(sheets->get(u"Item", std::vector<Value>{1.0}));
    const Named after[] = {{u"After", first}};
    obj(sheets->call(u"Add", {}, after))->put(u"Name", std::u16string(u"重名"));
    try {
        first->put(u"Name", std::u16string(u"重名"));
        FAIL() << "a duplicate worksheet name must be refused";
    } catch (const Failure& e) {
        EXPECT_EQ(e.description(), u"工作表名称无效或已被使用");
    }
    try {
        app->call(u"FailDeferred");
        FAIL() << "FailDeferred always fails";
    } catch (const Failure& e) {
        EXPECT_EQ(e.description(), u"延迟填写的错误说明") << "a description filled in later is fetched";
    }
    try {
        obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{(scratch() / L"没有.xls").u16string()}));
        FAIL() << "a missing file cannot be opened";
    } catch (const Failure& e) {
        EXPECT_FALSE(e.description().empty());
    }
    try {
        app->get(u"NoSuchMember");
        FAIL() << "an unknown member must fail";
    } catch (const Failure& e) {
        EXPECT_EQ(static_cast<unsigned long>(e.code()), static_cast<unsigned long>(DISP_E_UNKNOWNNAME));
        EXPECT_NE(e.description().find(u"NoSuchMember"), std::u16string::npos) << "the system's text names the member";
        EXPECT_GT(e.description().size(), std::u16string(u" (NoSuchMember)").size()) << "and carries the system's text";
    }
    book->call(u"Close");
    app->call(u"Quit");
}

TEST_F(Automation, AnIdentifierThatIsNotRegisteredIsAbsent)
{
    EXPECT_EQ(factory.create(u"Varnok.NoSuchServer"), nullptr);
    EXPECT_EQ(factory.create(u"Excel.Application"), nullptr) << "no office suite in the test prefix";
}

TEST_F(Automation, EachThreadInitialisesComOnceAndUninitialisesItWhenItEnds)
{
    const int before = win::ComApartment::activeThreads();
    int during = -1;
    HRESULT again = E_FAIL;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(factory.create(kServer));
        during = win::ComApartment::activeThreads();
        // Ours is still in force: initialising again only counts up (S_FALSE).
        again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(again))
            CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(during, before + 1) << "three applications, one initialisation";
    EXPECT_EQ(again, S_FALSE);
    EXPECT_EQ(win::ComApartment::activeThreads(), before) << "uninitialised when the thread ended";
    EXPECT_EQ(probe().liveObjects(), 0);
}

// ---- Saves of the program's .xls through the server registered as Excel.Application ----

namespace {

// What SheetWriter writes for a grid of the reading layout: one worksheet per section, the
// header in row 1, every cell as text and the reading and temperature again as numbers (the
// text divided by 10).
struct Section {
    std::u16string name;
    std::vector<std::array<std::u16string, 4>> rows;
};
const std::array<std::u16string, 4> kHeader{u"编号", u"读数", u"温度", u"时间"};
const std::vector<Section> kSections = {
    {u"大坝-分区A",
     {{u"A001", u"12345", u"-52", u"2026-12-07 10:31:05"},
      {u"A002 Ωμέγα Щ", u"-7", u"251", u"2026-12-07 10:32:00"},
      {u"0012", u"99999", u"3", u"仪器 😀 读数"}}},
    // A section starts with a row whose reading and temperature are empty.
    {u"分区B", {{u"分区B", u"", u"", u""}, {u"B001", u"1", u"-1", u"2026-12-08 08:00:00"}}},
};

bool isNumberColumn(int column) { return column == 2 || column == 3; }

double numberOf(const std::u16string& s)
{
    std::string ascii(s.begin(), s.end());
    double value = 0;
    std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return value / 10.0;
}

// The value the save leaves in (row, column) of a section: a number, a text, or nothing.
Value expectedValue(const Section& section, int row, int column)
{
    if (row == 1)
        return kHeader[column - 1];
    const std::u16string& text = section.rows[row - 2][column - 1];
    if (isNumberColumn(column))
        return numberOf(text);
    if (text.empty())
        return std::monostate{};
    return text;
}

std::string utf8(const std::u16string& s)
{
    if (s.empty())
        return {};
    const auto* w = reinterpret_cast<const wchar_t*>(s.data());
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, int(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

fs::path besideTheTest(const wchar_t* name)
{
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return fs::path(exe).parent_path() / name;
}

// Runs a program and waits for it; its exit code, or -1 when it could not be started.
long runAndWait(std::wstring commandLine)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return long(code);
}

// The template Data.xls, made once by the program's own tool.
const std::string& templateBytes()
{
    static const std::string bytes = [] {
        const fs::path dir = fs::temp_directory_path() / L"ktm-template";
        fs::create_directories(dir);
        const fs::path out = dir / L"Data.xls";
        fs::remove(out);
        const long code = runAndWait(L"\"" + besideTheTest(L"make_data_template.exe").wstring() + L"\" \"" + out.wstring() + L"\"");
        return code == 0 ? readAll(out) : std::string();
    }();
    return bytes;
}

// The work copy of the template beside `target`, made by the engine's call the save makes.
fs::path workCopyFor(const fs::path& target)
{
    auto copy = workbook::createTemporaryFor(target, ".xls");
    if (!copy)
        throw std::runtime_error(copy.error().description());
    const std::string& bytes = templateBytes();
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), copy->file) == bytes.size();
    if ((std::fclose(copy->file) != 0) || !written)
        throw std::runtime_error("the work copy could not be written");
    return copy->path;
}

// The server registered under Excel.Application, as register-server.sh does when given that
// name, for one test; removed again afterwards, so that the other tests find no office suite.
class RegisteredAsExcel {
public:
    RegisteredAsExcel()
    {
        remove();
        static const wchar_t clsid[] = L"{ACAFD206-4EA1-44AF-85BF-BF84411D975C}"; // kClsid of the server
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            ok_ = RegSetKeyValueW(root, L"Software\\Classes\\Excel.Application\\CLSID", nullptr, REG_SZ, clsid, sizeof clsid) ==
                      ERROR_SUCCESS &&
                  ok_;
    }
    ~RegisteredAsExcel() { remove(); }
    RegisteredAsExcel(const RegisteredAsExcel&) = delete;
    RegisteredAsExcel& operator=(const RegisteredAsExcel&) = delete;
    bool ok() const { return ok_; }

private:
    static void remove()
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            RegDeleteTreeW(root, L"Software\\Classes\\Excel.Application");
    }
    bool ok_ = true;
};

// The calls of a save, in the order SheetWriter::write and SheetWriter::save make them through
// the program's Excel server (export/OfficeServer.cpp).
void saveAsTheProgramDoes(win::ComFactory& factory, const std::u16string& server, const fs::path& work)
{
    ObjectPtr app = factory.create(server);
    if (!app)
        throw std::runtime_error("no server registered");
    ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{work.u16string()}));
    app->put(u"Visible", false);
    ObjectPtr sheets = obj(book->get(u"Worksheets"));
    ObjectPtr sheet = obj(sheets->get(u"Item", std::vector<Value>{std::u16string(u"Sheet1")}));
    const double count = std::get<double>(sheets->get(u"Count"));
    for (double i = 1; i <= count; ++i)
        obj(sheets->get(u"Item", std::vector<Value>{i}))->get(u"Name");
    sheet->get(u"Name");
    bool first = true;
    for (const Section& section : kSections) {
        if (!first) {
            const Named after[] = {{u"After", sheet}};
            sheet = obj(sheets->call(u"Add", {}, after));
        }
        first = false;
        sheet->put(u"Name", section.name);
        ObjectPtr cells = obj(sheet->get(u"Cells"));
        auto cell = [&](int r, int c) { return obj(cells->get(u"Item", std::vector<Value>{double(r), double(c)})); };
        for (int c = 1; c <= 4; ++c)
            cell(1, c)->put(u"Value", kHeader[c - 1]);
        for (size_t r = 0; r < section.rows.size(); ++r)
            for (int c = 1; c <= 4; ++c) {
                const int row = int(r) + 2;
                cell(row, c)->put(u"Value", section.rows[r][c - 1]);
                if (isNumberColumn(c))
                    cell(row, c)->put(u"Value", numberOf(section.rows[r][c - 1]));
            }
    }
    book->call(u"Save");
    const Named saveChanges[] = {{u"SaveChanges", true}};
    book->call(u"Close", {}, saveChanges);
    app->call(u"Quit");
}

// The file as the workbook engine reads it, cell for cell against the sections.
void expectTheSectionsIn(const fs::path& path)
{
    EXPECT_EQ(readAll(path).substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        << "an .xls is a compound file, not the server's text format";
    auto wb = workbook::Workbook::open(path);
    ASSERT_TRUE(wb) << wb.error().description();
    EXPECT_EQ(wb->format(), workbook::Format::Xls);
    ASSERT_EQ(wb->sheetCount(), kSections.size());
    for (size_t i = 0; i < kSections.size(); ++i) {
        const Section& section = kSections[i];
        const workbook::Sheet& ws = wb->sheet(i);
        EXPECT_EQ(ws.name(), utf8(section.name));
        size_t written = 0;
        for (int r = 1; r <= int(section.rows.size()) + 1; ++r)
            for (int c = 1; c <= 4; ++c) {
                const Value want = expectedValue(section, r, c);
                if (const double* d = std::get_if<double>(&want)) {
                    EXPECT_EQ(ws.kind(r, c), workbook::CellKind::Number) << ws.name() << " " << r << "," << c;
                    EXPECT_EQ(ws.number(r, c), *d) << ws.name() << " " << r << "," << c;
                    ++written;
                } else if (const std::u16string* t = std::get_if<std::u16string>(&want)) {
                    EXPECT_EQ(ws.kind(r, c), workbook::CellKind::Text) << ws.name() << " " << r << "," << c;
                    EXPECT_EQ(ws.text(r, c), utf8(*t)) << ws.name() << " " << r << "," << c;
                    ++written;
                } else {
                    EXPECT_EQ(ws.text(r, c), "") << ws.name() << " " << r << "," << c;
                }
            }
        size_t held = 0;
        ws.forEachCell([&](int, int, const std::string&) { ++held; });
        EXPECT_EQ(held, written) << "no cell besides those written, in " << ws.name();
    }
}

} // namespace

TEST_F(Automation, ASaveAsExcelWritesTheTemplateAsAnXlsCellForCell)
{
    ASSERT_FALSE(templateBytes().empty()) << "make_data_template.exe made no template";
    const fs::path work = workCopyFor(scratch() / fs::path(u8"大坝 分区A.xls"));
    {
        RegisteredAsExcel excel;
        ASSERT_TRUE(excel.ok());
        saveAsTheProgramDoes(factory, u"Excel.Application", work);
    }
    EXPECT_EQ(probe().liveObjects(), 0) << "every object is released";
    expectTheSectionsIn(work);

    // Opened again, as an import reads a workbook: the server reads the .xls it wrote.
    ObjectPtr app = factory.create(kServer);
    ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{work.u16string()}));
    ObjectPtr sheets = obj(book->get(u"Worksheets"));
    ASSERT_EQ(sheets->get(u"Count"), Value(double(kSections.size())));
    for (size_t i = 0; i < kSections.size(); ++i) {
        ObjectPtr sheet = obj(sheets->get(u"Item", std::vector<Value>{double(i + 1)}));
        EXPECT_EQ(text(sheet->get(u"Name")), kSections[i].name);
        ObjectPtr cells = obj(sheet->get(u"Cells"));
        for (int r = 1; r <= int(kSections[i].rows.size()) + 2; ++r)
            for (int c = 1; c <= 5; ++c) {
                const Value want = r > int(kSections[i].rows.size()) + 1 || c > 4 ? Value(std::monostate{})
                                                                                  : expectedValue(kSections[i], r, c);
                EXPECT_EQ(obj(cells->get(u"Item", std::vector<Value>{double(r), double(c)}))->get(u"Value"), want)
                    << "sheet " << i + 1 << " cell " << r << "," << c;
            }
    }
    book->call(u"Close");
    app->call(u"Quit");
    app.reset();
    book.reset();
    sheets.reset();
    EXPECT_EQ(probe().liveObjects(), 0);
    fs::remove(work);
}

TEST_F(Automation, AnXlsWorkbookHoldsWhatTheFormatHoldsAndATextOneBecomesAnXls)
{
    const fs::path work = workCopyFor(scratch() / fs::path(u8"界限.xls"));
    {
        ObjectPtr app = factory.create(kServer);
        ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{work.u16string()}));
        ObjectPtr cells = obj(obj(obj(book->get(u"Worksheets"))->get(u"Item", std::vector<Value>{1.0}))->get(u"Cells"));
        auto cell = [&](double r, double c) { return obj(cells->get(u"Item", std::vector<Value>{r, c})); };
        cell(65536, 256)->put(u"Value", std::u16string(u"末"));
        EXPECT_THROW(cell(65537, 1)->put(u"Value", 1.0), Failure) << "an .xls worksheet has 65536 rows";
        EXPECT_THROW(cell(1, 257)->put(u"Value", std::u16string(u"x")), Failure) << "and 256 columns";
        EXPECT_EQ(cell(65537, 1)->get(u"Value"), Value(std::monostate{})) << "a refused value is not kept";
        book->call(u"Save");
        book->call(u"Close");
        app->call(u"Quit");
    }
    {
        auto wb = workbook::Workbook::open(work);
        ASSERT_TRUE(wb) << wb.error().description();
        EXPECT_EQ(wb->sheet(0).text(65536, 256), utf8(u"末"));
        EXPECT_EQ(wb->sheet(0).name(), "Sheet1");
    }

    // A workbook of the text format saved under an .xls name is written as an .xls.
    const fs::path textBook = scratch() / fs::path(u8"文本.sheets");
    const fs::path asXls = scratch() / fs::path(u8"文本 另存.XLS");
    fs::remove(asXls);
    writeAll(textBook, "sheet\t说明\ncell\t1\t1\tt\t文字\ncell\t2\t3\tn\t2.5\nsheet\t第二\n");
    {
        ObjectPtr app = factory.create(kServer);
        ObjectPtr book = obj(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{textBook.u16string()}));
        const Named saveAs[] = {{u"SaveChanges", true}, {u"Filename", asXls.u16string()}};
        book->call(u"Close", {}, saveAs);
        // A file that is not an .xls cannot be opened under that name.
        writeAll(scratch() / fs::path(u8"假的.xls"), readAll(textBook));
        EXPECT_THROW(obj(app->get(u"Workbooks"))->call(u"Open", std::vector<Value>{(scratch() / fs::path(u8"假的.xls")).u16string()}),
                     Failure);
        app->call(u"Quit");
    }
    auto wb = workbook::Workbook::open(asXls);
    ASSERT_TRUE(wb) << wb.error().description();
    ASSERT_EQ(wb->sheetCount(), 2u);
    EXPECT_EQ(wb->sheet(0).name(), utf8(u"说明"));
    EXPECT_EQ(wb->sheet(1).name(), utf8(u"第二"));
    EXPECT_EQ(wb->sheet(0).kind(1, 1), workbook::CellKind::Text);
    EXPECT_EQ(wb->sheet(0).text(1, 1), utf8(u"文字"));
    EXPECT_EQ(wb->sheet(0).number(2, 3), 2.5);
    EXPECT_EQ(wb->sheet(1).lastRow(), 0);
    EXPECT_EQ(probe().liveObjects(), 0);
    fs::remove(work);
}

namespace {

// Wine starts a Unix program as it starts a Windows one, but does not wait for it: the program's
// end is seen from a file it writes last.
using UnixFileName = char*(CDECL*)(LPCWSTR);

std::string unixPath(UnixFileName convert, const fs::path& path)
{
    char* name = convert(path.c_str());
    if (!name)
        return {};
    std::string out(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    return fields;
}

} // namespace

TEST_F(Automation, AnXlsSavedAsExcelIsReadByXlrd)
{
    const auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        GTEST_SKIP() << "not under Wine: the host's Python cannot be started";
    if (!fs::exists(L"Z:\\usr\\bin\\python3"))
        GTEST_SKIP() << "the host has no /usr/bin/python3 (scripts/bootstrap installs it with python3-xlrd)";

    const fs::path work = workCopyFor(scratch() / fs::path(u8"大坝 xlrd.xls"));
    {
        RegisteredAsExcel excel;
        ASSERT_TRUE(excel.ok());
        saveAsTheProgramDoes(factory, u"Excel.Application", work);
    }
    // Handed to the Unix program under a plain name, whatever the code page of the command line.
    const fs::path dir = fs::temp_directory_path() / L"ktm-xlrd";
    fs::create_directories(dir);
    const fs::path xls = dir / L"saved.xls", out = dir / L"dump.txt", part = dir / L"rc.part", rc = dir / L"rc";
    for (const fs::path& p : {xls, out, part, rc})
        fs::remove(p);
    fs::copy_file(work, xls);
    fs::remove(work);
    const std::string command = "/bin/sh -c \"/usr/bin/python3 '" KTM_XLRD_DUMP "' '" + unixPath(convert, xls) + "' formatting > '" +
                                unixPath(convert, out) + "' 2>&1; echo $? > '" + unixPath(convert, part) + "'; mv '" +
                                unixPath(convert, part) + "' '" + unixPath(convert, rc) + "'\"";
    ASSERT_NE(runAndWait(std::wstring(command.begin(), command.end())), -1) << command;
    for (int waited = 0; !fs::exists(rc) && waited < 1200; ++waited)
        Sleep(100);
    ASSERT_TRUE(fs::exists(rc)) << "xlrd did not finish within 2 minutes: " << command;
    const std::string dump = readAll(out);
    ASSERT_EQ(readAll(rc), "0\n") << dump;

    // xlrd's cells by sheet, row and column; numbers compared as numbers. An empty text is an
    // empty cell, as the engine counts it.
    std::vector<std::string> names;
    std::vector<std::map<std::pair<int, int>, Value>> cells;
    std::vector<std::string> widths;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        const auto f = splitTabs(line);
        if (f.size() == 2 && f[0] == "sheet") {
            names.push_back(f[1]);
            cells.emplace_back();
        } else if (f.size() >= 1 && f[0] == "widths" && !names.empty()) {
            widths.push_back(f.size() > 1 ? f[1] : "");
        } else if (f.size() == 4 && !cells.empty()) {
            const std::pair<int, int> at{std::stoi(f[0]), std::stoi(f[1])};
            if (f[2] == "n")
                cells.back()[at] = std::stod(f[3]);
            else if (f[2] == "s" && !f[3].empty())
                cells.back()[at] = std::u16string(u"utf8:") + std::u16string(f[3].begin(), f[3].end());
            else if (f[2] != "s")
                cells.back()[at] = std::u16string(u"kind ") + std::u16string(f[2].begin(), f[2].end());
        }
    }
    ASSERT_EQ(names.size(), kSections.size()) << dump;
    for (size_t i = 0; i < kSections.size(); ++i) {
        EXPECT_EQ(names[i], utf8(kSections[i].name));
        std::map<std::pair<int, int>, Value> want;
        for (int r = 1; r <= int(kSections[i].rows.size()) + 1; ++r)
            for (int c = 1; c <= 4; ++c) {
                const Value v = expectedValue(kSections[i], r, c);
                if (const std::u16string* t = std::get_if<std::u16string>(&v)) {
                    const std::string bytes = utf8(*t);
                    want[{r, c}] = std::u16string(u"utf8:") + std::u16string(bytes.begin(), bytes.end());
                } else if (!std::holds_alternative<std::monostate>(v)) {
                    want[{r, c}] = v;
                }
            }
        EXPECT_EQ(cells[i], want) << "sheet " << i + 1 << ":\n"
                                  << dump;
    }
    ASSERT_FALSE(widths.empty()) << dump;
    EXPECT_EQ(widths[0], "0:3584 1:2560 2:2048 3:5120") << "the template's column widths are kept";
}
