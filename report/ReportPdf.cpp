#include "report/ReportPdf.h"
