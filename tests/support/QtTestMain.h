#pragma once

#include "platform/Timing.h"

#include <functional>

// Test helpers for code that runs on the Qt event loop.
namespace testing_qt {

// Durations of the program scaled down so tests wait milliseconds, not seconds.
Timing fastTiming();

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// Runs the event loop for ms milliseconds.
void pump(int ms);

} // namespace testing_qt
