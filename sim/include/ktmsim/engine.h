// The line side of the simulated instrument: cuts incoming bytes into commands, runs them,
// applies injected faults and paces the reply bytes at the line rate of the baud.
//
// The engine does no I/O and reads no clock: the caller passes the time, feeds the bytes it
// read, and asks which bytes it may write now and when to come back. A poll() loop drives it
// in the program; tests drive it with a made-up clock.
#pragma once

#include "ktmsim/protocol.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ktmsim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

// One injected fault. Written on the command line as KIND[:ARG][@N]:
//   drop        the command is carried out, its reply is never sent
//   late:MS     the reply starts MS milliseconds after the command arrived
//   split:MS    the reply is sent in two halves with a pause of MS milliseconds between them
//   pause:MS    the reply stops for MS milliseconds at the line boundary nearest its middle, as an
//               instrument busy with something else does; a reply of one line is sent whole
//   err         the command is not carried out; the reply is ERR
//   garbage:LEN the command is carried out; LEN noise bytes (default 32, no CR, LF or letters)
//               are sent instead of the reply
//   hangup      no reply; the line is closed (the program ends)
// @N applies the fault to the N-th command line only (counted from 1 since start-up);
// without it the fault applies to every command.
struct FaultRule {
    enum class Kind {
        Drop,
        Late,
        Split,
        Pause,
        Err,
        Garbage,
        HangUp
    };
    Kind kind;
    int arg = 0;           // milliseconds for late, split and pause, byte count for garbage
    std::uint64_t nth = 0; // 0 = every command
    bool operator==(const FaultRule&) const = default;
};

// Parses "KIND[:ARG][@N]"; on failure returns nullopt and sets *error.
std::optional<FaultRule> parseFaultRule(std::string_view text, std::string* error = nullptr);

// The noise bytes a garbage fault sends for the n-th command.
std::string garbageBytes(std::uint64_t n, int length);

struct LineOptions {
    int baud = 9600;
    bool paced = true;
    std::vector<FaultRule> faults;
};

class LineEngine {
public:
    static constexpr Millis kTick{10}; // paced output goes out in chunks of about this length

    LineEngine(Protocol& protocol, LineOptions options);

    // Bytes read from the line at `now`. Complete commands are executed at once and their
    // replies queued behind any reply still going out.
    void receive(std::string_view bytes, TimePoint now);

    // The bytes that may be written at `now` (a prefix of the next reply piece; may be empty).
    // After writing, report how many were taken with consumed().
    std::string_view writable(TimePoint now);
    void consumed(std::size_t n, TimePoint now);

    // When writable() may next return bytes (or the hang-up falls due); nullopt when nothing is
    // queued. A time at or before `now` means "at once".
    std::optional<TimePoint> nextWake(TimePoint now) const;

    // True once a hang-up fault is due (all earlier replies have been sent).
    bool hangUpDue(TimePoint now) const;

    bool idle() const { return queue_.empty(); }
    std::uint64_t commandCount() const { return commands_; }
    double bytesPerSecond() const { return rate_; }
    std::size_t chunkBytes() const { return chunk_; }

private:
    struct Piece {
        std::string bytes;
        std::size_t offset = 0;
        TimePoint notBefore;    // absolute earliest start
        Millis gapAfterPrev{0}; // pause after the previous piece finished
        bool hangUp = false;
    };
    TimePoint readyAt(const Piece& p) const;
    std::size_t allowance(TimePoint now) const;
    void handleCommand(const std::string& line, TimePoint now);

    Protocol& protocol_;
    LineOptions options_;
    LineSplitter splitter_;
    std::deque<Piece> queue_;
    std::uint64_t commands_ = 0;
    double rate_;        // bytes per second = baud / 10
    std::size_t chunk_;  // bytes per tick, at least 1
    bool burst_ = false; // bytes are flowing back to back since burstStart_
    TimePoint burstStart_{};
    std::uint64_t burstSent_ = 0;
    TimePoint lastFinish_{};
};

} // namespace ktmsim
