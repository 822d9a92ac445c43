// In-memory model shared by the .xls and .xlsx readers, the .xls writer and the public classes.
#pragma once

#include "cfb.h"
#include "workbook/workbook.h"

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace workbook {

namespace detail {

// Formatting runs (4 bytes each) and phonetic block of a shared string read from a workbook,
// kept byte for byte.
struct RichTail {
    std::string runs;
    std::string ext;
};

// The texts of all cells of a workbook, stored one after another in one buffer. Plain texts are
// deduplicated through an open-addressing table; texts with formatting are kept apart.
class StringPool {
public:
    uint32_t intern(std::string_view s);
    uint32_t addRich(std::string_view s, RichTail tail);
    std::string_view view(uint32_t i) const { return std::string_view(m_arena).substr(m_spans[i].off, m_spans[i].len); }
    const RichTail* rich(uint32_t i) const;
    size_t size() const { return m_spans.size(); }

private:
    struct Span {
        uint64_t off;
        uint32_t len;
        uint32_t hash;
    };
    uint32_t append(std::string_view s, uint32_t hash);
    void grow();

    std::string m_arena;
    std::vector<Span> m_spans;
    std::vector<uint32_t> m_table; // index + 1, 0 = empty
    size_t m_used = 0;
    std::unordered_map<uint32_t, RichTail> m_rich;
};

enum class Kind : uint8_t {
    Blank,
    Text,
    Number,
    Boolean,
    ErrorCode
};

// 16 bytes: a sheet of 65,536 x 4 cells is 4 MB.
struct Cell {
    uint16_t col = 0; // 0-based
    uint16_t xf = 15;
    Kind kind = Kind::Blank;
    uint8_t small = 0;    // boolean value or error code
    bool formula = false; // `raw` holds the FORMULA record and the records that belong to it
    union {
        double num = 0; // Number
        uint32_t idx;   // Text: pooled string
        uint32_t raw;   // formula: raw record block (its cached value is in formulaCache)
    };
};

struct FormulaCache {
    double num = 0;
    uint32_t idx = 0;
};

struct RowData {
    std::vector<Cell> cells; // sorted by column
    int32_t rowRecord = -1;  // raw ROW record data, kept for its height and format
};

// One record of a BIFF stream, header included.
using RawRecord = std::string;

enum class GlobalItemKind : uint8_t {
    Raw,
    BoundSheets,
    SharedStrings,
    TabIds
};
struct GlobalItem {
    GlobalItemKind kind = GlobalItemKind::Raw;
    RawRecord bytes;
};

std::string errorText(uint8_t code);

} // namespace detail

struct Sheet::Impl {
    WorkbookData* book = nullptr;
    std::string name;
    // Worksheet records before the cell table (BOF first), after it (EOF excluded).
    std::vector<detail::RawRecord> prefix;
    std::vector<detail::RawRecord> suffix;
    std::vector<detail::RawRecord> raws;            // formula blocks and ROW records, by index
    std::vector<detail::FormulaCache> formulaCache; // by raw index, for formula blocks
    std::vector<detail::RowData> rows;              // by 0-based row
    uint8_t hsState = 0;                            // visibility from the sheet list
    int maxRows = kXlsMaxRows;
    int maxColumns = kXlsMaxColumns;

    const detail::Cell* find(int row0, int col0) const;
    double numberOf(const detail::Cell& c) const { return c.formula ? formulaCache[c.raw].num : c.num; }
    uint32_t textOf(const detail::Cell& c) const { return c.formula ? formulaCache[c.raw].idx : c.idx; }
    Error checkPosition(int row, int column) const;
    detail::Cell& cellAt(int row0, int col0);
};

// A sheet that is not a worksheet (chart, macro, module): kept whole.
struct OtherSheet {
    std::string name; // UTF-8
    uint8_t hsState = 0;
    uint8_t type = 0;
    std::string stream; // its substream, BOF to EOF
};

struct SheetSlot {
    std::unique_ptr<Sheet> sheet;      // worksheets
    std::unique_ptr<OtherSheet> other; // everything else
};

struct WorkbookData {
    Format format = Format::Xls;
    bool readOnly = false;
    std::filesystem::path path;
    std::string readOnlyReason;

    cfb::File container; // the compound file the workbook came in (other streams are kept)
    size_t workbookEntry = 0;

    std::vector<detail::GlobalItem> globals;
    std::vector<SheetSlot> slots; // every sheet in workbook order
    std::vector<Sheet*> sheets;   // worksheets in workbook order
    std::vector<uint16_t> tabIds; // one per slot

    detail::StringPool pool;
    uint16_t defaultXf = 15;
    uint16_t xfCount = 0;

    void rebuildSheetList();
    uint32_t intern(std::string_view utf8) { return pool.intern(utf8); }
    Error checkName(std::string_view name, const void* except) const;
};

namespace detail {
Result<std::unique_ptr<WorkbookData>> readXls(std::string_view bytes);
Result<std::unique_ptr<WorkbookData>> readXlsx(std::string_view bytes);
Result<std::string> writeXls(const WorkbookData& wb);
std::unique_ptr<WorkbookData> newXls(std::string_view firstSheetName);
std::unique_ptr<Sheet> newWorksheet(WorkbookData& wb, std::string_view name, bool selected);
std::unique_ptr<Sheet> makeSheet(WorkbookData& wb, std::string name);
} // namespace detail

} // namespace workbook
