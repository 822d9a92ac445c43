#include "office/OfficeHistory.h"
