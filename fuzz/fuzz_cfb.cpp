// Fuzzes the compound file reader alone, and writes back what it read.
#include "cfb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto file = workbook::cfb::read(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!file) return 0;
    std::string again = workbook::cfb::write(file.value());
    auto back = workbook::cfb::read(again);
    if (!back || back->entries.size() != file->entries.size()) __builtin_trap();
    for (size_t i = 0; i < file->entries.size(); ++i)
        if (back->entries[i].data != file->entries[i].data) __builtin_trap();
    return 0;
}
