// Worksheet names, sheet limits, read-only workbooks and atomic saving.
#include "helpers.h"

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <process.h>
#endif

using namespace wbtest;
using workbook::Workbook;

TEST(SheetNames, RefusedNamesAreErrorsAndLeaveTheWorkbookAsItWas)
{
    ScratchDir dir;
    std::string path = dir.file("names.xls");
    auto wb = Workbook::createXls("Sheet1");
    ASSERT_TRUE(wb);
    ASSERT_TRUE(wb->addSheetAfter(0, "Ärger"));
    ASSERT_TRUE(wb->addSheetAfter(1, "Данные"));
    ASSERT_FALSE(wb->saveAs(path));
    const std::string saved = readFile(path);

    const std::vector<std::string> refused = {
        "", std::string(32, 'a'), "a:b", "a\\b", "a/b", "a?b", "a*b", "a[b", "a]b", "'quoted", "quoted'",
        "sheet1", "SHEET1", "ärger", "ÄRGER", "данные", "ДАННЫЕ", "history", "tab\there", std::string("bad\xff utf8")};
    for (const std::string& name : refused) {
        if (name == "ärger" || name == "ÄRGER") continue; // tried below on another sheet
        workbook::Error e = wb->rename(1, name);
        EXPECT_TRUE(e) << "rename to \"" << name << "\" accepted";
        EXPECT_FALSE(e.description().empty());
        auto added = wb->addSheetAfter(0, name);
        EXPECT_FALSE(added) << "add \"" << name << "\" accepted";
    }
    EXPECT_TRUE(wb->rename(0, "ärger"));
    EXPECT_TRUE(wb->rename(2, "ÄRGER"));
    EXPECT_EQ(wb->sheetCount(), 3u);
    EXPECT_EQ(wb->sheet(0).name(), "Sheet1");
    EXPECT_EQ(wb->sheet(1).name(), "Ärger");
    ASSERT_FALSE(wb->save());
    EXPECT_TRUE(readFile(path) == saved) << "the saved file changed";

    // Accepted: 31 characters (also 31 Chinese characters), a name differing only from itself,
    // apostrophes inside, and the characters the save dialog forbids but sheets allow.
    EXPECT_FALSE(wb->rename(0, std::string(31, 'x')));
    std::string chinese;
    for (int i = 0; i < 31; ++i) chinese += "测";
    EXPECT_FALSE(wb->rename(0, chinese));
    EXPECT_FALSE(wb->rename(0, "SHEET1"));
    EXPECT_FALSE(wb->rename(0, "sheet1"));
    EXPECT_FALSE(wb->rename(1, "it's <ok> \"yes\" |"));
    EXPECT_TRUE(wb->addSheetAfter(2, "A-1 2026.12.07"));
    EXPECT_EQ(wb->indexOf("a-1 2026.12.07"), 3u);
    EXPECT_EQ(wb->findSheet("nope"), nullptr);
    EXPECT_EQ(wb->sheet(3).name(), "A-1 2026.12.07");
}

TEST(SheetLimits, RowsAndColumnsBeyondTheXlsGridAreErrors)
{
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    workbook::Sheet& s = wb->sheet(0);
    workbook::Error e = s.setText(65537, 1, "x");
    ASSERT_TRUE(e);
    EXPECT_NE(e.description().find("65536"), std::string::npos) << e.description();
    e = s.setNumber(1, 257, 1);
    ASSERT_TRUE(e);
    EXPECT_NE(e.description().find("256"), std::string::npos) << e.description();
    EXPECT_TRUE(s.setText(0, 1, "x"));
    EXPECT_TRUE(s.setNumber(1, 0, 1));
    EXPECT_TRUE(s.setText(1, 1, std::string(32768, 'a')));
    EXPECT_TRUE(s.setText(1, 1, std::string("\xc3", 1)));
    EXPECT_FALSE(s.setText(65536, 256, "corner"));
    EXPECT_FALSE(s.setText(1, 1, std::string(32767, 'a')));
    EXPECT_EQ(s.lastRow(), 65536);
    auto back = Workbook::openBytes(wb->toBytes().value());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sheet(0).text(65536, 256), "corner");
    EXPECT_EQ(back->sheet(0).text(1, 1).size(), 32767u);
}

TEST(Saving, AtomicReplaceAndCleanFailures)
{
    ScratchDir dir;
    std::string path = dir.file("book.xls");
    writeFile(path, "old contents");
#ifndef _WIN32 // Windows keeps a read-only flag, not these bits
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    ASSERT_FALSE(wb->sheet(0).setText(1, 1, "new"));
    ASSERT_FALSE(wb->saveAs(path));
    auto back = Workbook::open(path);
    ASSERT_TRUE(back) << back.error().description();
    EXPECT_EQ(back->sheet(0).text(1, 1), "new");
    EXPECT_EQ(back->path(), path);
#ifndef _WIN32
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif

    // A target that cannot be replaced (a folder) fails with a description; nothing is left behind.
    fs::create_directory(dir.file("folder.xls"));
    workbook::Error e = wb->saveAs(dir.file("folder.xls"));
    EXPECT_TRUE(e);
    EXPECT_FALSE(e.description().empty());
    e = wb->saveAs(dir.file("no/such/folder/book.xls"));
    EXPECT_TRUE(e);
    size_t files = 0;
    for (auto& entry : fs::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2u) << "only book.xls and folder.xls";

    // A workbook made in memory has no path until saved under a name.
    auto fresh = Workbook::createXls();
    EXPECT_TRUE(fresh->save());
    auto missing = Workbook::open(dir.file("missing.xls"));
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().description().find("missing.xls"), std::string::npos);
    auto folder = Workbook::open(dir.file("folder.xls"));
    ASSERT_FALSE(folder);
    EXPECT_NE(folder.error().description().find("folder"), std::string::npos) << folder.error().description();
}

#ifndef _WIN32 // the processes of the test are made with fork()
TEST(Saving, WhatAKilledWriteLeftIsRemovedByTheNextWriteAndLiveWritersAreLeftAlone)
{
    ScratchDir dir;
    std::string path = dir.file("book.xls");
    // Left by writers that were killed: the program's own name pattern with a process that has
    // ended, also the engine's file beside the .xls save's work copy. Kept: a writer that still
    // runs (this test's parent), a name of another target, and names that are not of the pattern.
    const std::string dead = std::to_string(endedProcess());
    const std::string alive = std::to_string(getppid());
    const std::vector<std::string> stale = {"~book.xls." + dead + "-1.saving", "~book.xls." + dead + "-7.saving.xls",
                                            "~~book.xls." + dead + "-2.saving.xls." + dead + "-3.saving"};
    const std::vector<std::string> kept = {"~book.xls." + alive + "-1.saving", "~other.xls." + dead + "-1.saving",
                                           "~book.xls.tmp", "book.xls.tmp", "~book.xls." + dead + "-x.saving"};
    for (const std::string& name : stale) writeFile(dir.file(name), "the first half of a workbook whose writer was killed");
    for (const std::string& name : kept) writeFile(dir.file(name), "not ours to remove");
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    ASSERT_FALSE(wb->sheet(0).setText(1, 1, "new"));
    ASSERT_FALSE(wb->saveAs(path));
    ASSERT_FALSE(wb->save());
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = kept;
    expected.push_back("book.xls");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    auto back = Workbook::open(path);
    ASSERT_TRUE(back) << back.error().description();
    EXPECT_EQ(back->sheet(0).text(1, 1), "new");
}

#endif

TEST(Saving, TwoWritersToOneTargetEachWriteAFileOfTheirOwn)
{
    ScratchDir dir;
    const fs::path target = dir.file("book.xls");
    auto first = workbook::createTemporaryFor(target);
    auto second = workbook::createTemporaryFor(target, ".xls");
    ASSERT_TRUE(first) << first.error().description();
    ASSERT_TRUE(second) << second.error().description();
    EXPECT_NE(first->path, second->path);
    EXPECT_EQ(first->path.parent_path(), target.parent_path());
#ifdef _WIN32
    const std::string own = "~book.xls." + std::to_string(_getpid()) + "-";
#else
    const std::string own = "~book.xls." + std::to_string(getpid()) + "-";
#endif
    EXPECT_EQ(first->path.filename().string().rfind(own, 0), 0u) << first->path;
    EXPECT_TRUE(second->path.filename().string().ends_with(".saving.xls")) << second->path;
    // Neither is taken for a stale file while its writer runs.
    EXPECT_EQ(workbook::removeStaleTemporaries(target), 0);
    std::fputs("first", first->file);
    std::fputs("second", second->file);
    std::fclose(first->file);
    std::fclose(second->file);
    ASSERT_FALSE(workbook::replaceFile(second->path, target));
    ASSERT_FALSE(workbook::replaceFile(first->path, target));
    EXPECT_EQ(readFile(target.string()), "first");
    EXPECT_EQ(temporariesOf(target), std::vector<std::string>());
}

TEST(Saving, AReadOnlyFileIsRefusedAndKept)
{
    ScratchDir dir;
    const std::string path = dir.file("book.xls");
    writeFile(path, "the engineer's own workbook");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    workbook::Error e = wb->saveAs(path);
    EXPECT_EQ(e.kind(), workbook::ErrorKind::AccessDenied) << e.description();
    EXPECT_NE(e.description().find("read-only"), std::string::npos) << e.description();
    EXPECT_EQ(workbook::checkReplaceable(path).kind(), workbook::ErrorKind::AccessDenied);
    // Also when the file turns read-only while it is being written: the rename is refused.
    const std::string other = dir.file("other.xls");
    writeFile(other, "old");
    auto temporary = workbook::createTemporaryFor(other);
    ASSERT_TRUE(temporary);
    std::fclose(temporary->file);
    fs::permissions(other, fs::perms::owner_read);
    EXPECT_EQ(workbook::replaceFile(temporary->path, other).kind(), workbook::ErrorKind::AccessDenied);
    EXPECT_EQ(readFile(other), "old");
    fs::remove(temporary->path);
    EXPECT_EQ(readFile(path), "the engineer's own workbook");
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, std::vector<std::string>({"book.xls", "other.xls"}));
}

TEST(Saving, FailuresReportTheirKind)
{
    using workbook::ErrorKind;
    ScratchDir dir;
    std::string path = dir.file("book.xls");
    auto wb = Workbook::createXls();
    ASSERT_TRUE(wb);
    ASSERT_FALSE(wb->addSheetAfter(0, "Two").error());
    EXPECT_EQ(Workbook::createXls()->save().kind(), ErrorKind::NoPath);
    EXPECT_EQ(wb->saveAs(dir.file("no/such/folder/book.xls")).kind(), ErrorKind::NotFound);
    fs::create_directory(dir.file("folder.xls"));
    EXPECT_EQ(wb->saveAs(dir.file("folder.xls")).kind(), ErrorKind::NotAFile);
    EXPECT_EQ(Workbook::open(dir.file("folder.xls")).error().kind(), ErrorKind::NotAFile);
    EXPECT_EQ(Workbook::open(dir.file("missing.xls")).error().kind(), ErrorKind::NotFound);
    writeFile(dir.file("text.xls"), "plain text");
    EXPECT_EQ(Workbook::open(dir.file("text.xls")).error().kind(), ErrorKind::NotAWorkbook);
    EXPECT_EQ(wb->rename(0, "a:b").kind(), ErrorKind::BadSheetName);
    EXPECT_EQ(wb->rename(0, "two").kind(), ErrorKind::DuplicateSheetName);
    EXPECT_EQ(wb->sheet(0).setText(65537, 1, "x").kind(), ErrorKind::OutOfRange);
    EXPECT_EQ(wb->sheet(0).setText(1, 1, std::string(32768, 'a')).kind(), ErrorKind::BadText);

#ifndef _WIN32
    // the disk stops the write of the temporary file beside the target; the target stays
    writeFile(path, "old contents");
    workbook::Error e;
    withFileSizeLimit(1000, [&] { e = wb->saveAs(path); });
    EXPECT_EQ(e.kind(), ErrorKind::TooLarge) << e.description();
    EXPECT_EQ(readFile(path), "old contents");
    EXPECT_EQ(temporariesOf(path), std::vector<std::string>());
#endif
}

TEST(SheetNames, CleanedNamesPassTheRules)
{
    EXPECT_EQ(Workbook::cleanSheetName("A:1[x]"), "A-1-x-");
    EXPECT_EQ(Workbook::cleanSheetName("a\\b/c?d*e"), "a-b-c-d-e");
    EXPECT_EQ(Workbook::cleanSheetName("'quoted'"), "-quoted-");
    EXPECT_EQ(Workbook::cleanSheetName("it's"), "it's");
    EXPECT_EQ(Workbook::cleanSheetName("tab\there"), "tab-here");
    EXPECT_EQ(Workbook::cleanSheetName(""), "");
    EXPECT_EQ(Workbook::cleanSheetName(std::string(40, 'x')), std::string(31, 'x'));
    std::string chinese;
    for (int i = 0; i < 40; ++i) chinese += "测";
    EXPECT_EQ(Workbook::cleanSheetName(chinese), chinese.substr(0, 31 * 3));
    // a character of two UTF-16 units is not cut in half, an apostrophe brought to the end by the cut goes
    EXPECT_EQ(Workbook::cleanSheetName(std::string(30, 'x') + "\xF0\xA0\x80\x80"), std::string(30, 'x'));
    EXPECT_EQ(Workbook::cleanSheetName(std::string(30, 'x') + "'b"), std::string(30, 'x') + "-");
    EXPECT_EQ(Workbook::cleanSheetName("bad\xff"), "bad-");
    for (const std::string& name : {std::string("A:1[x]"), std::string("'q'"), std::string(40, 'y'), std::string("a\x01")})
        EXPECT_FALSE(Workbook::checkSheetName(Workbook::cleanSheetName(name))) << name;
}
