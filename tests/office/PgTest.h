#pragma once

#include "tests/office/PgServer.h"

#include <gtest/gtest.h>

// Skips the test with one line when the fixture's server could not be started here.
#define KTM_SKIP_WITHOUT_SERVER(server, why)                                                                \
    do {                                                                                                   \
        if (!(server))                                                                                     \
            GTEST_SKIP() << "PostgreSQL cannot be started here: " << (why).toStdString();                 \
    } while (false)
