// Pieces shared by the workbook writers: the kind of a system failure and how worksheet names
// compare.
#pragma once

#include "workbook/workbook.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace workbook::detail {

// The error kind of an errno value or of a std::error_code from std::filesystem.
ErrorKind kindOfErrno(int err);
ErrorKind kindOf(const std::error_code& ec);

// Whether two worksheet names are the same to a spreadsheet application (case ignored);
// invalid UTF-8 is never the same as anything.
bool sameSheetName(std::string_view a, std::string_view b);

// "text" in double quotes, for descriptions; a path as UTF-8.
std::string inQuotes(std::string_view s);

// The path as UTF-8 text.
std::string utf8(const std::filesystem::path& path);

// std::fopen for a path: on Windows through the wide call, so no character is lost to the
// ANSI code page.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

} // namespace workbook::detail
