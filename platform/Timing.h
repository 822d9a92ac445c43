#pragma once

// Every duration the program waits for, in one place. Production uses the defaults;
// tests build a scaled copy so nothing waits for whole seconds.
struct Timing {
    float commandWait = 1.0f;        // after a command has been sent, and after opening the port
    float receiveQuiet = 0.2f;       // a reply ends when the line has been quiet this long
    float replyGrace = 1.0f;         // input this soon after a reply ended proves the reply was cut
    int replyTimeoutMs = 2000;       // no answer at all to "DIR"
    int watchdogMs = 5000;           // releases a stale busy flag
    float componentReplyWait = 5.0f; // editor: wait for the answer to one component write
    float componentPause = 1.0f;     // editor: pause between two component writes

    // A copy with every duration multiplied by factor (factor < 1 speeds things up).
    Timing scaled(double factor) const
    {
        Timing t = *this;
        t.commandWait = float(commandWait * factor);
        t.receiveQuiet = float(receiveQuiet * factor);
        t.replyGrace = float(replyGrace * factor);
        t.replyTimeoutMs = int(replyTimeoutMs * factor);
        t.watchdogMs = int(watchdogMs * factor);
        t.componentReplyWait = float(componentReplyWait * factor);
        t.componentPause = float(componentPause * factor);
        return t;
    }
};
