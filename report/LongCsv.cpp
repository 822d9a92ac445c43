#include "report/LongCsv.h"
