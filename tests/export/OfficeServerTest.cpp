// Excel and WPS spreadsheets as the program drives them: each call of the automation interface
// must become the late-bound call the applications understand, checked against a recording
// stand-in for the application.
#include "export/OfficeServer.h"
#include "export/SheetWriter.h"

#include "grids/GridLayouts.h"
#include "grids/PreviewGrid.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace {

using latebound::Named;
using latebound::ObjectPtr;
using latebound::Value;

std::string show(const Value& v);

std::string show(std::span<const Value> args)
{
    std::string out;
    for (const Value& a : args)
        out += (out.empty() ? "" : ",") + show(a);
    return out;
}

// Records every call as "<object>.<member>(<arguments>)". An object is named after the call
// that returned it, so a log line says which object was called. Answers and failures are
// scripted by the line without its verb.
struct World {
    std::vector<std::string> log;
    std::map<std::string, Value> answers;
    std::map<std::string, latebound::Failure> failures;
    int alive = 0;

    std::optional<Value> respond(const std::string& verb, const std::string& call)
    {
        log.push_back(verb + " " + call);
        if (auto f = failures.find(call); f != failures.end())
            throw f->second;
        if (auto a = answers.find(call); a != answers.end())
            return a->second;
        return std::nullopt;
    }
};

class FakeObject : public latebound::Object {
public:
    FakeObject(World& world, std::string label) : m_world(world), m_label(std::move(label)) { ++m_world.alive; }
    ~FakeObject() override { --m_world.alive; }
    const std::string& label() const { return m_label; }

    Value get(std::u16string_view member, std::span<const Value> args) override
    {
        const std::string call = m_label + "." + latebound::toUtf8(member) + (args.empty() ? "" : "(" + show(args) + ")");
        if (std::optional<Value> v = m_world.respond("get", call))
            return *v;
        return child(latebound::toUtf8(member) + (args.empty() ? "" : "(" + show(args) + ")"));
    }
    void put(std::u16string_view member, const Value& value, std::span<const Value> args) override
    {
        m_world.respond("put", m_label + "." + latebound::toUtf8(member) + (args.empty() ? "" : "(" + show(args) + ")") +
                                   "=" + show(value));
    }
    Value call(std::u16string_view member, std::span<const Value> args, std::span<const Named> named) override
    {
        std::string list = show(args);
        for (const Named& n : named)
            list += (list.empty() ? "" : ",") + latebound::toUtf8(n.name) + ":=" + show(n.value);
        const std::string name = latebound::toUtf8(member) + "(" + list + ")";
        if (std::optional<Value> v = m_world.respond("call", m_label + "." + name))
            return *v;
        return child(name);
    }

private:
    Value child(const std::string& label) { return ObjectPtr(std::make_shared<FakeObject>(m_world, label)); }

    World& m_world;
    std::string m_label;
};

std::string show(const Value& v)
{
    if (std::holds_alternative<std::monostate>(v))
        return "empty";
    if (const bool* b = std::get_if<bool>(&v))
        return *b ? "true" : "false";
    if (const double* d = std::get_if<double>(&v))
        return QString::number(*d, 'g', 17).toStdString();
    if (const std::u16string* s = std::get_if<std::u16string>(&v))
        return "\"" + latebound::toUtf8(*s) + "\"";
    return static_cast<const FakeObject&>(*std::get<ObjectPtr>(v)).label();
}

class FakeFactory : public latebound::Factory {
public:
    explicit FakeFactory(World& world) : m_world(world) {}
    ObjectPtr create(std::u16string_view identifier) override
    {
        const std::string id = latebound::toUtf8(identifier);
        m_world.log.push_back("create " + id);
        if (id == m_failing)
            throw latebound::Failure(-2147024891, u"拒绝访问。");
        if (id != m_installed)
            return nullptr;
        return std::make_shared<FakeObject>(m_world, "app");
    }
    std::string m_installed = "Excel.Application";
    std::string m_failing;

private:
    World& m_world;
};

class OfficeServerTest : public ::testing::Test {
protected:
    OfficeServerTest() { sheets::addOfficeServers(servers, factory); }

    World world;
    FakeFactory factory{world};
    sheets::Servers servers;
};

} // namespace

TEST_F(OfficeServerTest, ASaveBecomesTheApplicationsOwnCallsAndReleasesEverything)
{
    PreviewGrid grid;
    grids::FillGrid(grid, QStringLiteral("A|1 1234 -52 2026-12-07 10:31:05\r\nB/2\r\nA001 15 3 D T\r\n"));
    world.answers["Worksheets.Count"] = 1.0;
    world.answers["Item(1).Name"] = u"Sheet1";
    world.answers["Item(\"Sheet1\").Name"] = u"Sheet1";
    {
        std::unique_ptr<sheets::Application> app = servers.create(QStringLiteral("excel.application"));
        sheets::Workbook* opened = nullptr;
        SheetWriter::write(grid, *app, QStringLiteral("C:\\数据\\w.xls"), opened);
        app->quit();
        EXPECT_EQ(world.alive, 0) << "quit lets go of every object of the application";
    }
    const std::string book = "Open(\"C:\\数据\\w.xls\")";
    const std::vector<std::string> expected{
        "create Excel.Application",
        "get app.Workbooks",
        "call Workbooks.Open(\"C:\\数据\\w.xls\")",
        "put app.Visible=false",
        "get " + book + ".Worksheets",
        "get Worksheets.Item(\"Sheet1\")",
        "get Worksheets.Count",
        "get Worksheets.Item(1)",
        "get Item(1).Name",
        "get Item(\"Sheet1\").Name",
        "get Worksheets.Count",
        "put Item(\"Sheet1\").Name=\"A-1\"",
        "get Item(\"Sheet1\").Cells",
        "get Cells.Item(1,1)",
        "put Item(1,1).Value=\"编号\"",
        "get Cells.Item(1,2)",
        "put Item(1,2).Value=\"读数\"",
        "get Cells.Item(1,3)",
        "put Item(1,3).Value=\"温度\"",
        "get Cells.Item(1,4)",
        "put Item(1,4).Value=\"时间\"",
        "get Cells.Item(2,1)",
        "put Item(2,1).Value=\"A|1\"",
        "get Cells.Item(2,2)",
        "put Item(2,2).Value=\"1234\"",
        "get Cells.Item(2,2)",
        "put Item(2,2).Value=123.40000000000001",
        "get Cells.Item(2,3)",
        "put Item(2,3).Value=\"-52\"",
        "get Cells.Item(2,3)",
        "put Item(2,3).Value=-5.2000000000000002",
        "get Cells.Item(2,4)",
        "put Item(2,4).Value=\"2026-12-07 10:31:05\"",
    };
    ASSERT_GE(world.log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(world.log.begin(), world.log.begin() + std::ptrdiff_t(expected.size())), expected);
    // The second file's worksheet is added directly after the first, by the named argument alone.
    EXPECT_NE(std::find(world.log.begin(), world.log.end(), "call Worksheets.Add(After:=Item(\"Sheet1\"))"), world.log.end());
    EXPECT_NE(std::find(world.log.begin(), world.log.end(), "put Add(After:=Item(\"Sheet1\")).Name=\"B-2\""), world.log.end());
    const std::vector<std::string> ending{"call " + book + ".Save()", "call " + book + ".Close(SaveChanges:=true)",
                                          "call app.Quit()"};
    EXPECT_EQ(std::vector<std::string>(world.log.end() - 3, world.log.end()), ending);
}

TEST_F(OfficeServerTest, AnImportReadsNamesInOrderAndCellsAsText)
{
    const std::string book = "Open(\"/导入/码.xlsx\")";
    world.answers["Worksheets.Count"] = 2.0;
    world.answers["Item(1).Name"] = u"元件";
    world.answers["Item(2).Name"] = u"Sheet2";
    world.answers["Item(1,1).Value"] = u"编号";
    world.answers["Item(1,2).Value"] = 12.0;
    world.answers["Item(2,1).Value"] = 0.1;
    world.answers["Item(2,2).Value"] = true;
    world.answers["Item(3,1).Value"] = 1234567890123456789.0;
    std::unique_ptr<sheets::Application> app = servers.create(sheets::kExcel);
    sheets::Workbook& wb = app->open(QStringLiteral("/导入/码.xlsx"));
    app->setVisible(false);
    ASSERT_EQ(wb.worksheetCount(), 2);
    EXPECT_EQ(wb.worksheet(0).name(), QStringLiteral("元件"));
    EXPECT_EQ(wb.worksheet(1).name(), QStringLiteral("Sheet2"));
    sheets::Worksheet& sheet = wb.worksheet(QStringLiteral("元件"));
    EXPECT_EQ(sheet.cellText(1, 1), QStringLiteral("编号"));
    EXPECT_EQ(sheet.cellText(1, 2), QStringLiteral("12"));
    EXPECT_EQ(sheet.cellText(2, 1), QStringLiteral("0.1"));
    EXPECT_EQ(sheet.cellText(2, 2), QStringLiteral("TRUE"));
    EXPECT_EQ(sheet.cellText(3, 1), QStringLiteral("1.23456789012346e+18"));
    EXPECT_EQ(sheet.cellText(3, 2), QString()) << "an empty cell reads as no text";
    wb.close(false);
    EXPECT_EQ(world.log.back(), "call " + book + ".Close()") << "closing without saving passes no argument";
    EXPECT_NE(std::find(world.log.begin(), world.log.end(), "get Worksheets.Item(\"元件\")"), world.log.end());
    app.reset();
    EXPECT_EQ(world.alive, 0) << "releasing the application without quitting lets go too";
}

TEST_F(OfficeServerTest, FailuresCarryTheServersDescription)
{
    factory.m_installed = "ET.Application";
    world.failures.emplace("Item(\"Sheet1\").Name=\"重名\"", latebound::Failure(-2146827284, u"工作表名称无效或已被使用"));
    std::unique_ptr<sheets::Application> app = servers.create(sheets::kWps);
    sheets::Workbook& wb = app->open(QStringLiteral("/w.xls"));
    try {
        wb.worksheet(QStringLiteral("Sheet1")).setName(QStringLiteral("重名"));
        FAIL() << "the refused name must fail";
    } catch (const sheets::Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("工作表名称无效或已被使用"));
    }
    world.failures.emplace("Workbooks.Open(\"/missing.xls\")", latebound::Failure(-2147352567, u"找不到文件 /missing.xls"));
    try {
        app->open(QStringLiteral("/missing.xls"));
        FAIL() << "opening a missing file must fail";
    } catch (const sheets::Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("找不到文件 /missing.xls"));
    }
    // An object that the application does not return is a failure, not a crash, and its
    // description names the object readably.
    world.answers["Workbooks.Open(\"/odd.xls\")"] = std::monostate{};
    try {
        app->open(QStringLiteral("/odd.xls"));
        FAIL() << "a workbook that is not returned must fail";
    } catch (const sheets::Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("表格程序没有返回工作簿"));
    }
}

TEST_F(OfficeServerTest, AnApplicationThatIsNotRegisteredIsAbsentAndOneThatCannotStartIsAFailure)
{
    factory.m_installed = "ET.Application";
    EXPECT_FALSE(servers.exists(QStringLiteral("EXCEL.Application")));
    EXPECT_TRUE(servers.exists(sheets::kWps));
    EXPECT_EQ(world.alive, 0) << "the presence test releases what it created";
    factory.m_failing = "ET.Application";
    try {
        servers.create(sheets::kWps);
        FAIL() << "an application that cannot start must fail";
    } catch (const sheets::Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("拒绝访问。"));
    }
    EXPECT_FALSE(servers.exists(sheets::kWps));
}
