#pragma once

#include "export/Automation.h"

// The built-in server: the automation interface over the program's own workbook engine, for
// PCs without an office suite. It opens .xls and .xlsx files (.xlsx read-only) and saves .xls.
namespace sheets {

std::unique_ptr<Application> createBuiltinApplication();

} // namespace sheets
