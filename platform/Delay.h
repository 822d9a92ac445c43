#pragma once

// Waits for the given seconds while the event loop keeps running: serial input, timers and
// window events are processed meanwhile. It sleeps in a nested event loop until a timer fires
// (no spinning) and measures on a monotonic clock, so a wait across midnight or a clock change
// still lasts exactly as long as asked. Once the application is asked to quit, the wait ends.
void Delay(float seconds);
