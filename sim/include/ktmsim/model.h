// The simulated KTM-520's memory: ten data partitions "A" to "J", each holding named data files
// (record lines) and a list of at most 200 components (code number -> name).
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ktmsim {

constexpr int kPartitionCount = 10;      // "A" to "J"
constexpr int kMaxComponents = 200;      // per partition, numbers 1..200
constexpr std::size_t kMaxFileName = 20; // file names: 1..20 characters 33..126
constexpr std::size_t kMaxComponentName = 10;

// One measurement file. Records are kept as their line text without CR LF, e.g.
// "A001 28456 235 2026-12-07 10:31:05" (code, reading and temperature in tenths, date, time).
struct DataFile {
    std::string name;
    std::vector<std::string> records;
    bool operator==(const DataFile&) const = default;
};

struct Partition {
    std::vector<DataFile> files;           // in listing order
    std::map<int, std::string> components; // component number 1..200 -> name
    bool operator==(const Partition&) const = default;

    const DataFile* findFile(std::string_view name) const;
    std::size_t recordCount() const;
};

struct ComponentCode {
    char letter; // 'A'..'J'
    int number;  // 1..200
};

// Letter 'A'..'J' -> 0..9; anything else -> nullopt.
std::optional<int> partitionIndex(char letter);
char partitionLetter(int index);

// 1..20 characters, each 33..126 (no blanks, no control characters, ASCII only).
bool isValidFileName(std::string_view name);
// 1..10 characters, each 33..126.
bool isValidComponentName(std::string_view name);
// Exactly a letter A..J and three digits giving 1..200 ("A001".."A200").
std::optional<ComponentCode> parseComponentCode(std::string_view code);
std::string formatComponentCode(char letter, int number);

class Instrument {
public:
    Partition& partition(char letter); // letter must be 'A'..'J'
    const Partition& partition(char letter) const;
    Partition& at(int index) { return partitions_.at(static_cast<std::size_t>(index)); }
    const Partition& at(int index) const { return partitions_.at(static_cast<std::size_t>(index)); }
    bool operator==(const Instrument&) const = default;

private:
    std::array<Partition, kPartitionCount> partitions_;
};

} // namespace ktmsim
