// Shared by the fuzz targets: opens the bytes as a workbook and touches everything it holds.
#pragma once

#include "workbook/workbook.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

inline void exerciseWorkbook(const uint8_t* data, size_t size)
{
    auto wb = workbook::Workbook::openBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!wb) {
        if (wb.error().description().empty()) __builtin_trap(); // every failure is described
        return;
    }
    size_t total = 0;
    for (size_t i = 0; i < wb->sheetCount(); ++i) {
        wb->sheet(i).forEachCell([&](int, int, const std::string& text) { total += text.size(); });
        total += wb->sheet(i).name().size();
    }
    if (wb->readOnly()) return;
    // What was read must survive a write and a second read.
    if (wb->sheetCount() > 0) {
        (void)wb->sheet(0).setText(1, 1, "fuzz");
        (void)wb->addSheetAfter(0, "added by fuzz");
    }
    auto bytes = wb->toBytes();
    if (!bytes) return;
    auto again = workbook::Workbook::openBytes(bytes.value());
    if (!again) __builtin_trap();
    if (again->sheetCount() != wb->sheetCount()) __builtin_trap();
    (void)total;
}
