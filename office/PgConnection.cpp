#include "office/PgConnection.h"
