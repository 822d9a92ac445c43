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
