// wbdump FILE: prints every worksheet of a workbook and its non-empty cells.
//   sheet<TAB>name
//   row<TAB>column<TAB>text        (from 1; \n, \r, \t and \ inside texts escaped)
#include "workbook/workbook.h"

#include <cstdio>
#include <string>

namespace {

std::string escape(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wbdump FILE\n");
        return 2;
    }
    auto wb = workbook::Workbook::open(argv[1]);
    if (!wb) {
        std::fprintf(stderr, "%s\n", wb.error().description().c_str());
        return 1;
    }
    std::string out;
    for (std::size_t i = 0; i < wb->sheetCount(); ++i) {
        const workbook::Sheet& sheet = wb->sheet(i);
        out += "sheet\t" + escape(sheet.name()) + "\n";
        sheet.forEachCell([&](int row, int col, const std::string& text) {
            out += std::to_string(row) + "\t" + std::to_string(col) + "\t" + escape(text) + "\n";
        });
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
