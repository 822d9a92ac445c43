#pragma once
// The whole path from the line to a saved file, measured from outside the program: the simulated
// instrument serves an unpaced pseudo-terminal from this process, noting when the last byte of
// its reply went out, and the program under test runs as a child through /usr/bin/time, which
// reports its peak resident memory. (A child spawned from this process directly would carry this
// process's high-water mark over exec, and this process holds the simulator's records.)
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

namespace benchpath {

struct Outcome {
    bool ran = false;                // the child was started and waited for
    std::string error;               // why it was not, or why the line did not carry the reply
    int exitCode = -1;               // the child's exit code (-1: it did not exit normally)
    std::size_t replyBytes = 0;      // the size of the reply to "COPY A"
    double transferSeconds = 0;      // first to last byte on the line
    double afterLastByteSeconds = 0; // last byte written until the child had exited
    double totalSeconds = 0;         // start of the child until it had exited
    double peakRssBytes = 0;         // the child's peak resident memory
    long long lastByteSteadyNs = 0;  // when the last byte went out, on the steady clock
};

// Seconds from the last byte to the steady-clock nanoseconds a child wrote into `markFile`
// (-1 if it wrote none).
double secondsAfterLastByte(const Outcome& outcome, const std::string& markFile);

// Serves partition A holding `records` records, and runs `program` with `arguments`, where
// "{port}" is replaced by the name (COMn) the line is published under. The child sees the
// port folder in VARNOK_PORT_DIR, and `extraEnvironment` ("NAME=value") besides.
Outcome copyPartitionThrough(std::size_t records, const std::string& program, std::vector<std::string> arguments,
                             const std::vector<std::string>& extraEnvironment = {});

// The outcome as the benchmark's counters: reply_MB, transfer_s, after_last_byte_s, total_s,
// peak_rss_MB and peak_rss_per_reply.
void report(benchmark::State& state, const Outcome& outcome);

// The number of line breaks in a file (-1 if it cannot be read).
long long countLines(const std::string& path);

} // namespace benchpath
