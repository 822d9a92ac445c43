// Deterministic contents for a fresh simulated instrument.
#pragma once

#include "ktmsim/model.h"

#include <cstddef>
#include <map>
#include <string>

namespace ktmsim {

// The default state: every partition holds 3 to 5 files of 8 to 40 records and 3 to 8
// components. The same call always gives the same instrument. Its readings are plausible for a
// monitored gauge: each component stays within 6 Hz of its own frequency in every file, and its
// temperature follows a mild daily cycle (20 to 22.4 C, within 1 C), so none of them is flagged by
// the archive's quality checks.
Instrument defaultSeed();

// Files for partition `letter` holding exactly `records` records in total, split into files of
// at most `perFile` records (at least one file, even for 0 records).
std::vector<DataFile> largePartitionFiles(char letter, std::size_t records, std::size_t perFile = 10000);

// One record line: "A001 28456 235 2026-12-07 10:31:05".
std::string formatRecord(std::string_view code, int reading, int temperature, long long epochSeconds);

// The instrument takes `count` more readings into the newest file of the partition (a new file
// if it has none): its components in turn, each near its own last reading, 75 s apart after
// the latest record the partition holds. `drift` (component code -> tenths of Hz) adds its
// amount to every reading of that component on top of the random walk, so a component's
// readings rise or fall steadily over successive calls; codes the partition does not measure
// are ignored.
void takeReadings(Partition& partition, char letter, std::size_t count, const std::map<std::string, int>& drift = {});

} // namespace ktmsim
