// Fuzzes the .xls reader (compound file + BIFF8) and the writer on what it read.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Keep the inputs on the .xls path; the signature is fixed, everything after it is fuzzed.
    if (size < 8 || std::string_view(reinterpret_cast<const char*>(data), 8) != std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return 0;
    exerciseWorkbook(data, size);
    return 0;
}
