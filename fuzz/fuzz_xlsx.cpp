// Fuzzes the .xlsx reader (zip archive + XML parts).
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4 || std::string_view(reinterpret_cast<const char*>(data), 4) != std::string_view("PK\x03\x04", 4))
        return 0;
    exerciseWorkbook(data, size);
    return 0;
}
