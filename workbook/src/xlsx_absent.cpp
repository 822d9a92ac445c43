// The engine built without .xlsx support (no libzip, no pugixml): an .xlsx file is recognised
// and refused.
#include "model.h"

namespace workbook::detail {

Result<std::unique_ptr<WorkbookData>> readXlsx(std::string_view)
{
    return Error(ErrorKind::Unsupported, "This build of the workbook engine reads .xls only, not .xlsx.");
}

} // namespace workbook::detail
