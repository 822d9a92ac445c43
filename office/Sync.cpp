#include "office/Sync.h"
