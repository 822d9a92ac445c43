// Paths with characters of several scripts, which no single ANSI code page holds: on Windows they
// must reach the file system as UTF-16, on Linux as UTF-8 bytes. Run under Wine as well.
#include "helpers.h"

using namespace wbtest;
using workbook::ErrorKind;
using workbook::Workbook;

namespace {

// Chinese, Greek, Cyrillic and a character beyond the basic plane.
const fs::path kFolder = fs::path(u8"测点数据 Ωμέγα Щука \U0001F600");
const fs::path kName = fs::path(u8"大坝 分区A.xls");

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(WidePaths, AWorkbookIsSavedOpenedChangedAndSavedAgainUnderAnyName)
{
    ScratchDir dir;
    const fs::path folder = dir.path() / kFolder;
    ASSERT_TRUE(fs::create_directory(folder));
    const fs::path path = folder / kName;

    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    ASSERT_FALSE(wb->rename(0, "分区A"));
    ASSERT_FALSE(wb->sheet(0).setText(1, 1, "编号"));
    ASSERT_FALSE(wb->sheet(0).setNumber(2, 2, 123.4));
    ASSERT_FALSE(wb->saveAs(path)) << "saving under a name no code page holds";
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(wb->path(), path);

    auto back = Workbook::open(path);
    ASSERT_TRUE(back) << back.error().description();
    EXPECT_EQ(back->path(), path);
    EXPECT_EQ(back->sheet(0).name(), "分区A");
    EXPECT_EQ(back->sheet(0).text(1, 1), "编号");
    EXPECT_EQ(back->sheet(0).number(2, 2), 123.4);

    // Changed and saved back to where it came from, through the temporary file beside it.
    ASSERT_FALSE(back->sheet(0).setText(3, 1, "Ωμέγα"));
    ASSERT_FALSE(back->save());
    auto again = Workbook::open(path);
    ASSERT_TRUE(again) << again.error().description();
    EXPECT_EQ(again->sheet(0).text(3, 1), "Ωμέγα");

    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<fs::path>({kName})) << "no temporary file is left";
}

TEST(WidePaths, AtomicWritesAndReplacementsKeepTheNames)
{
    ScratchDir dir;
    const fs::path folder = dir.path() / kFolder;
    ASSERT_TRUE(fs::create_directory(folder));
    const fs::path target = folder / fs::path(u8"目标 Щ.bin");
    const fs::path other = folder / fs::path(u8"另一个 Ω.bin");

    ASSERT_FALSE(workbook::writeFileAtomically(target, std::string_view("first")));
    EXPECT_EQ(bytesOf(target), "first");
    ASSERT_FALSE(workbook::writeFileAtomically(other, std::string_view("second")));
    ASSERT_FALSE(workbook::replaceFile(other, target));
    EXPECT_EQ(bytesOf(target), "second");
    EXPECT_FALSE(fs::exists(other));
}

TEST(WidePaths, FailuresNameThePathInUtf8)
{
    ScratchDir dir;
    const fs::path missing = dir.path() / kFolder / kName;
    auto opened = Workbook::open(missing);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind(), ErrorKind::NotFound);
    EXPECT_NE(opened.error().description().find("大坝 分区A.xls"), std::string::npos) << opened.error().description();
    EXPECT_NE(opened.error().description().find("Щука"), std::string::npos) << opened.error().description();

    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    const workbook::Error e = wb->saveAs(missing);
    EXPECT_EQ(e.kind(), ErrorKind::NotFound);
    EXPECT_NE(e.description().find("测点数据"), std::string::npos) << e.description();
}
