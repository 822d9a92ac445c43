#include "ktmsim/seed.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace ktmsim {

namespace {

// Small fixed generator, so the seed is the same with every compiler and standard library.
class Rng {
public:
    explicit Rng(std::uint64_t s) : state_(s * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint32_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::uint32_t>(state_ >> 16);
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint32_t>(hi - lo + 1)); }

private:
    std::uint64_t state_;
};

// Days since 1970-01-01 -> civil date (proleptic Gregorian).
void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// Civil date -> days since 1970-01-01 (proleptic Gregorian).
long long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = static_cast<unsigned>((153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr long long kStart = 1793836800; // 2026-11-05 00:00:00 UTC

std::string fileName(char letter, long long epochSeconds, int serial)
{
    int y, m, d;
    civilFromDays(epochSeconds / 86400, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%04d%02d%02d-%02d", letter, y, m, d, serial % 100);
    return buf;
}

// A gauge's temperature in tenths at an instant: a gentle daily cycle (20.0 to 22.4 C, warmest
// at noon) and `noise`, so that no two readings of a gauge differ by as much as a quality check
// of temperature jumps would flag (5 C), however far apart they are.
int temperatureAt(long long clock, int noise)
{
    const int hour = static_cast<int>((clock / 3600) % 24);
    return 200 + 2 * (12 - (hour > 12 ? hour - 12 : 12 - hour)) + noise;
}

// A file of `count` records from the partition's components, one reading round per interval.
// Each component reads near its own base frequency, the same in every file of the partition
// (`base`, drawn by the first file that reads it): a gauge does not jump between downloads.
DataFile makeFile(char letter, Rng& rng, std::vector<int>& base, int components, std::size_t count, long long& clock,
                  int serial)
{
    DataFile f;
    f.name = fileName(letter, clock, serial);
    f.records.reserve(count);
    for (int c = 0; c < components; ++c) {
        const int drawn = rng.range(18000, 34000); // drawn always, so the rest of the seed stays as it was
        if (static_cast<std::size_t>(c) >= base.size())
            base.push_back(drawn);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int c = static_cast<int>(i % static_cast<std::size_t>(components));
        const int reading = base[static_cast<std::size_t>(c)] + rng.range(-60, 60);
        const int temperature = temperatureAt(clock, rng.range(-10, 10));
        f.records.push_back(formatRecord(formatComponentCode(letter, c + 1), reading, temperature, clock));
        clock += 61 + rng.range(0, 30);
    }
    clock += 3600 * rng.range(2, 30);
    return f;
}

} // namespace

std::string formatRecord(std::string_view code, int reading, int temperature, long long t)
{
    int y, m, d;
    civilFromDays(t / 86400, y, m, d);
    const long long s = t % 86400;
    char buf[96];
    std::snprintf(buf, sizeof buf, " %d %d %04d-%02d-%02d %02lld:%02lld:%02lld", reading, temperature, y, m, d,
                  s / 3600, s / 60 % 60, s % 60);
    return std::string(code) + buf;
}

Instrument defaultSeed()
{
    Instrument inst;
    Rng rng(520);
    for (int p = 0; p < kPartitionCount; ++p) {
        const char letter = partitionLetter(p);
        auto& part = inst.at(p);
        const int components = rng.range(3, 8);
        for (int c = 1; c <= components; ++c) {
            char name[16];
            std::snprintf(name, sizeof name, "QRV%c%06d", letter, p * 100 + c);
            part.components[c] = name;
        }
        long long clock = kStart + p * 86400LL;
        const int files = rng.range(3, 5);
        std::vector<int> base;
        for (int i = 0; i < files; ++i)
            part.files.push_back(
                makeFile(letter, rng, base, components, static_cast<std::size_t>(rng.range(8, 40)), clock, i + 1));
    }
    return inst;
}

std::vector<DataFile> largePartitionFiles(char letter, std::size_t records, std::size_t perFile)
{
    if (perFile == 0) perFile = 1;
    Rng rng(static_cast<std::uint64_t>(records) + static_cast<unsigned char>(letter));
    std::vector<DataFile> files;
    long long clock = kStart - 400LL * 86400;
    int serial = 1;
    std::vector<int> base;
    do {
        const std::size_t n = std::min(perFile, records);
        files.push_back(makeFile(letter, rng, base, 8, n, clock, serial));
        records -= n;
        ++serial;
    } while (records > 0);
    return files;
}

void takeReadings(Partition& partition, char letter, std::size_t count, const std::map<std::string, int>& drift)
{
    if (count == 0)
        return;
    // Where the newest file left off: each component's last reading, and the last time.
    std::map<std::string, int> last;
    long long clock = -1;
    for (const DataFile& f : partition.files)
        for (const std::string& r : f.records) {
            char code[8] = {};
            int reading = 0, temperature = 0, y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
            if (std::sscanf(r.c_str(), "%7s %d %d %d-%d-%d %d:%d:%d", code, &reading, &temperature, &y, &mo, &d, &h,
                            &mi, &sec) != 9)
                continue;
            last[code] = reading;
            clock = std::max(clock, daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + sec);
        }
    if (clock < 0)
        clock = kStart;
    std::vector<std::string> codes;
    for (const auto& [number, name] : partition.components)
        codes.push_back(formatComponentCode(letter, number));
    if (codes.empty())
        codes.push_back(formatComponentCode(letter, 1));
    if (partition.files.empty())
        partition.files.push_back(DataFile{fileName(letter, clock, 1), {}});
    DataFile& newest = partition.files.back();
    Rng rng(clock + static_cast<long long>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& code = codes[i % codes.size()];
        clock += 75;
        auto it = last.find(code);
        const auto d = drift.find(code);
        const int reading = (it != last.end() ? it->second : rng.range(18000, 34000)) + rng.range(-40, 40) +
                            (d != drift.end() ? d->second : 0);
        last[code] = reading;
        const int temperature = temperatureAt(clock, rng.range(-10, 10));
        newest.records.push_back(formatRecord(code, reading, temperature, clock));
    }
}

} // namespace ktmsim
