// Writes the template workbook Data.xls that every export starts from: one worksheet "Sheet1"
// whose first four columns are sized for the number, reading, temperature and time.
#include "workbook/workbook.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-data-template OUTPUT.xls\n");
        return 2;
    }
    auto wb = workbook::Workbook::createXls("Sheet1");
    if (!wb) {
        std::fprintf(stderr, "%s\n", wb.error().description().c_str());
        return 1;
    }
    // Widths in 1/256 of a character: number 14, reading 10, temperature 8, time 20 characters
    // (a time such as 2026-12-07 19:57:26 fits).
    const int widths[] = {14, 10, 8, 20};
    for (int c = 0; c < 4; ++c) {
        if (auto e = wb->sheet(0).setColumnWidth(c + 1, widths[c] * 256)) {
            std::fprintf(stderr, "%s\n", e.description().c_str());
            return 1;
        }
    }
    if (auto e = wb->saveAs(argv[1])) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    return 0;
}
