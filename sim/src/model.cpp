#include "ktmsim/model.h"

#include <stdexcept>

namespace ktmsim {

namespace {
bool allPrintable(std::string_view text)
{
    for (unsigned char c : text)
        if (c < 33 || c > 126) return false;
    return true;
}
} // namespace

const DataFile* Partition::findFile(std::string_view name) const
{
    for (const auto& f : files)
        if (f.name == name) return &f;
    return nullptr;
}

std::size_t Partition::recordCount() const
{
    std::size_t n = 0;
    for (const auto& f : files) n += f.records.size();
    return n;
}

std::optional<int> partitionIndex(char letter)
{
    if (letter < 'A' || letter > 'J') return std::nullopt;
    return letter - 'A';
}

char partitionLetter(int index)
{
    if (index < 0 || index >= kPartitionCount) throw std::out_of_range("partition index");
    return static_cast<char>('A' + index);
}

bool isValidFileName(std::string_view name)
{
    return !name.empty() && name.size() <= kMaxFileName && allPrintable(name);
}

bool isValidComponentName(std::string_view name)
{
    return !name.empty() && name.size() <= kMaxComponentName && allPrintable(name);
}

std::optional<ComponentCode> parseComponentCode(std::string_view code)
{
    if (code.size() != 4 || !partitionIndex(code[0])) return std::nullopt;
    int number = 0;
    for (char c : code.substr(1)) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > kMaxComponents) return std::nullopt;
    return ComponentCode{code[0], number};
}

std::string formatComponentCode(char letter, int number)
{
    std::string s(1, letter);
    s += static_cast<char>('0' + number / 100 % 10);
    s += static_cast<char>('0' + number / 10 % 10);
    s += static_cast<char>('0' + number % 10);
    return s;
}

Partition& Instrument::partition(char letter)
{
    auto i = partitionIndex(letter);
    if (!i) throw std::out_of_range("partition letter");
    return partitions_[static_cast<std::size_t>(*i)];
}

const Partition& Instrument::partition(char letter) const
{
    auto i = partitionIndex(letter);
    if (!i) throw std::out_of_range("partition letter");
    return partitions_[static_cast<std::size_t>(*i)];
}

} // namespace ktmsim
