// Pieces shared by the workbook writers: the kind of a system failure and how worksheet names
// compare.
#pragma once

#include "workbook/workbook.h"

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

// "text" in double quotes, for descriptions.
std::string inQuotes(std::string_view s);

} // namespace workbook::detail
