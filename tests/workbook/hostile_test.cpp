// Damaged and hostile files: each gives an error with a description, never a crash or a hang.
#include "helpers.h"

#include <cstring>
#include <vector>

using namespace wbtest;
using workbook::Workbook;

namespace {

uint32_t get32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}
void put32(std::string& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); }

// A valid .xls of several sectors with a two-sheet workbook stream.
std::string sampleXls()
{
    auto wb = Workbook::createXls("One");
    EXPECT_TRUE(wb);
    for (int r = 1; r <= 400; ++r) {
        EXPECT_FALSE(wb->sheet(0).setText(r, 1, "text " + std::to_string(r)));
        EXPECT_FALSE(wb->sheet(0).setNumber(r, 2, r * 1.5));
    }
    EXPECT_TRUE(wb->addSheetAfter(0, "Two"));
    return wb->toBytes().value();
}

size_t sectorOffset(uint32_t sector) { return 512 + size_t(sector) * 512; }

// Offset of the directory entry named `name` (ASCII) in the first directory sector.
size_t dirEntry(const std::string& f, const std::string& name)
{
    size_t dir = sectorOffset(get32(f, 0x30));
    for (size_t e = dir; e + 128 <= dir + 512; e += 128) {
        std::string n;
        for (size_t k = 0; k < 32 && f[e + 2 * k]; ++k) n += f[e + 2 * k];
        if (n == name) return e;
    }
    ADD_FAILURE() << "no entry " << name;
    return dir;
}

void expectError(const std::string& bytes, const std::string& what)
{
    auto wb = Workbook::openBytes(bytes);
    ASSERT_FALSE(wb) << what << " was accepted";
    EXPECT_FALSE(wb.error().description().empty()) << what;
}

} // namespace

TEST(HostileXls, SampleIsValidToStartWith)
{
    auto wb = Workbook::openBytes(sampleXls());
    ASSERT_TRUE(wb) << wb.error().description();
    EXPECT_EQ(wb->sheet(0).text(400, 1), "text 400");
}

TEST(HostileXls, WrongSignatureEmptyAndShortFiles)
{
    std::string f = sampleXls();
    std::string bad = f;
    bad[3] = 'X';
    auto wb = Workbook::openBytes(bad);
    ASSERT_FALSE(wb);
    EXPECT_NE(wb.error().description().find("not an Excel workbook"), std::string::npos) << wb.error().description();
    expectError("", "an empty file");
    expectError("plain text, not a workbook at all", "a text file");
    expectError(f.substr(0, 8), "the signature alone");
}

TEST(HostileXls, TruncatedFiles)
{
    std::string f = sampleXls();
    ASSERT_GT(f.size(), 8192u);
    for (size_t len : {size_t(100), size_t(511), size_t(512), size_t(1024), size_t(1500), f.size() / 2,
                       f.size() * 3 / 4, f.size() - 1024})
        expectError(f.substr(0, len), "a file cut at " + std::to_string(len));
}

TEST(HostileXls, FatCycleAndOutOfRangeSectors)
{
    const std::string f = sampleXls();
    size_t wbEntry = dirEntry(f, "Workbook");
    uint32_t start = get32(f, wbEntry + 116);
    size_t fat = sectorOffset(get32(f, 0x4C));

    std::string loop = f; // the stream's second sector leads back to its first
    put32(loop, fat + 4 * (start + 1), start);
    expectError(loop, "a FAT cycle");

    std::string self = f;
    put32(self, fat + 4 * start, start);
    expectError(self, "a sector chained to itself");

    std::string far = f;
    put32(far, wbEntry + 116, 0x00FFFFF0);
    expectError(far, "a stream starting outside the file");

    std::string farNext = f;
    put32(farNext, fat + 4 * (start + 2), 0x7FFFFFFF);
    expectError(farNext, "a chain leaving the file");

    std::string fatOut = f;
    put32(fatOut, 0x4C, 0x00FFFFFF);
    expectError(fatOut, "a FAT sector outside the file");

    std::string tooManyFat = f;
    put32(tooManyFat, 0x2C, 0xFFFFFFF0);
    expectError(tooManyFat, "a huge FAT sector count");

    std::string difatLoop = f; // more FAT sectors than the header lists, the DIFAT in the wrong place
    put32(difatLoop, 0x2C, 120);
    put32(difatLoop, 0x44, 1);
    put32(difatLoop, 0x48, 1000);
    expectError(difatLoop, "a bad DIFAT");

    std::string dirLoop = f; // the root's child lists itself as its left sibling
    size_t root = sectorOffset(get32(f, 0x30));
    uint32_t child = get32(f, root + 76);
    put32(dirLoop, root + 128 * child + 68, child);
    expectError(dirLoop, "a directory loop");

    std::string huge = f; // a stream claiming 2 GB
    put32(huge, wbEntry + 120, 0x7FFFFFFF);
    expectError(huge, "an oversized stream");
}

TEST(HostileXls, DamagedWorkbookStream)
{
    const std::string f = sampleXls();
    size_t wbEntry = dirEntry(f, "Workbook");
    size_t stream = sectorOffset(get32(f, wbEntry + 116)); // the writer stores it contiguously
    // Find a record in the stream by type.
    auto findRecord = [&](const std::string& s, uint16_t type) {
        size_t pos = stream;
        while (pos + 4 <= s.size()) {
            uint16_t t = uint16_t(uint8_t(s[pos]) | (uint8_t(s[pos + 1]) << 8));
            uint16_t len = uint16_t(uint8_t(s[pos + 2]) | (uint8_t(s[pos + 3]) << 8));
            if (t == type) return pos;
            pos += 4 + len;
        }
        ADD_FAILURE() << "record " << type << " not found";
        return stream;
    };

    std::string notBof = f;
    notBof[stream] = 0x01;
    expectError(notBof, "a stream not starting with BOF");

    std::string offset = f; // the first sheet list entry points into the middle of a record
    size_t bs = findRecord(f, 0x0085);
    put32(offset, bs + 4, get32(f, bs + 4) + 3);
    expectError(offset, "a sheet offset off a BOF record");

    std::string outside = f;
    put32(outside, bs + 4, 0x7FFFFFF0);
    expectError(outside, "a sheet offset outside the stream");

    std::string sstIndex = f; // a text cell naming a string the table does not hold
    size_t label = findRecord(f, 0x00FD);
    put32(sstIndex, label + 10, 1000000);
    expectError(sstIndex, "a text cell with a bad string index");

    std::string sstCount = f; // a string whose length runs past the table
    size_t sst = findRecord(f, 0x00FC);
    sstCount[sst + 12] = char(0xFF);
    sstCount[sst + 13] = char(0x7F);
    expectError(sstCount, "a string longer than the table");

    std::string version = f; // Excel 5 globals
    version[stream + 5] = 0x05;
    auto wb = Workbook::openBytes(version);
    ASSERT_FALSE(wb);
    EXPECT_NE(wb.error().description().find("Excel 5.0/95"), std::string::npos) << wb.error().description();

    std::string protectedBook = f; // FILEPASS: encrypted
    size_t codepage = findRecord(f, 0x0042);
    protectedBook[codepage] = 0x2F;
    protectedBook[codepage + 1] = 0x00;
    wb = Workbook::openBytes(protectedBook);
    ASSERT_FALSE(wb);
    EXPECT_NE(wb.error().description().find("password"), std::string::npos) << wb.error().description();
}

TEST(HostileXlsx, ZipBombBrokenPartsAndBadReferences)
{
    ScratchDir dir;
    RunResult made = python("make_hostile_xlsx.py", quote(dir.path().string()));
    ASSERT_EQ(made.status, 0) << made.out;

    auto good = Workbook::open(dir.file("good.xlsx"));
    ASSERT_TRUE(good) << good.error().description();
    EXPECT_EQ(good->sheet(0).text(1, 1), "ok");
    EXPECT_EQ(good->sheet(0).text(1, 2), "2.5");

    // refused from its declared size, before anything is inflated
    auto bomb = Workbook::open(dir.file("bomb.xlsx"));
    ASSERT_FALSE(bomb);
    EXPECT_EQ(bomb.error().kind(), workbook::ErrorKind::TooLarge);
    EXPECT_NE(bomb.error().description().find("zip bomb"), std::string::npos) << bomb.error().description();
    EXPECT_EQ(Workbook::open(dir.file("not-a-zip.xlsx")).error().kind(), workbook::ErrorKind::Damaged);

    for (const char* name : {"missing-sheet.xlsx", "bad-xml.xlsx", "bad-sst-index.xlsx", "bad-ref.xlsx",
                             "bad-row.xlsx", "many-entries.xlsx", "duplicate.xlsx", "not-a-zip.xlsx", "deep.xlsx"}) {
        auto wb = Workbook::open(dir.file(name));
        EXPECT_FALSE(wb) << name << " was accepted";
        if (!wb) {
            EXPECT_FALSE(wb.error().description().empty()) << name;
        }
    }
}

TEST(HostileXls, WbdumpReportsTheErrorAndExitsNonZero)
{
    ScratchDir dir;
    std::string path = dir.file("cut.xls");
    writeFile(path, sampleXls().substr(0, 3000));
    RunResult r = run(quote(WB_WBDUMP) + " " + quote(path) + " 2>&1 >/dev/null");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("damaged"), std::string::npos) << r.out;
    r = run(quote(WB_WBDUMP) + " " + quote(dir.file("missing.xls")) + " 2>&1");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Cannot open"), std::string::npos) << r.out;
}
