#include "office/OfficeSettings.h"
