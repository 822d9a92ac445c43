#include "report/Ags4.h"
