#include "report/Report.h"
