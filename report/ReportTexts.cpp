#include "report/ReportTexts.h"
