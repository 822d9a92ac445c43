#include "ktmsim/protocol.h"

#include "ktmsim/storage.h"

#include <exception>
#include <iostream>

namespace ktmsim {

namespace {

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        auto sp = line.find(' ', start);
        out.push_back(line.substr(start, sp == std::string_view::npos ? std::string_view::npos : sp - start));
        if (sp == std::string_view::npos) break;
        start = sp + 1;
    }
    return out;
}

// A single upper-case partition letter.
std::optional<char> partitionArg(std::string_view field)
{
    if (field.size() != 1 || !partitionIndex(field[0])) return std::nullopt;
    return field[0];
}

std::string orEmpty(std::string s) { return s.empty() ? std::string(Protocol::kEmpty) : s; }

void appendLine(std::string& out, std::string_view line)
{
    out += line;
    out += "\r\n";
}

void appendFile(std::string& out, const DataFile& f)
{
    appendLine(out, f.name);
    for (const auto& r : f.records) appendLine(out, r);
}

} // namespace

std::vector<std::string> LineSplitter::feed(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (c == '\n') {
            if (!discarding_ && !buffer_.empty() && buffer_.back() == '\r') buffer_.pop_back();
            lines.push_back(std::move(buffer_));
            buffer_.clear();
            discarding_ = false;
        } else if (!discarding_) {
            buffer_ += c;
            if (buffer_.size() > kMaxLine) discarding_ = true; // keep the cut line; it gets ERR
        }
    }
    return lines;
}

std::string Protocol::execute(std::string_view line)
{
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) return {};
    const auto f = splitFields(line);
    const std::string_view verb = f[0];
    try {
        if (verb == "DIR" && f.size() == 1) return "A-J\r\n";
        if (verb == "DIR" && f.size() == 2) {
            if (auto x = partitionArg(f[1])) return listFiles(inst_.partition(*x));
        } else if (verb == "COPY" && f.size() == 2) {
            if (auto x = partitionArg(f[1])) return copyPartition(inst_.partition(*x));
        } else if (verb == "COPY" && f.size() == 3) {
            if (auto x = partitionArg(f[1])) {
                if (const DataFile* file = inst_.partition(*x).findFile(f[2])) {
                    std::string out;
                    appendFile(out, *file);
                    return out;
                }
            }
        } else if ((verb == "DEL" || verb == "DELDATA") && f.size() == 2) {
            if (auto x = partitionArg(f[1])) return deletePartition(*x, verb == "DELDATA");
        } else if (verb == "NEWFILE" && f.size() == 3) {
            if (auto x = partitionArg(f[1])) return newFile(*x, f[2]);
        } else if (verb == "DIRPART" && f.size() == 2) {
            if (auto x = partitionArg(f[1])) {
                std::string out;
                for (const auto& [number, name] : inst_.partition(*x).components)
                    appendLine(out, formatComponentCode(*x, number) + "=" + name);
                return orEmpty(std::move(out));
            }
        } else if (verb == "WR" && f.size() == 3) {
            return writeComponent(f[1], f[2]);
        }
    } catch (const std::exception& e) {
        // A failed write to the state folder: the model was left unchanged, the client hears ERR.
        std::cerr << "ktm520-sim: " << e.what() << "\n";
    }
    return std::string(kErr);
}

std::string Protocol::listFiles(const Partition& p) const
{
    std::string out;
    for (const auto& f : p.files) appendLine(out, f.name);
    return orEmpty(std::move(out));
}

std::string Protocol::copyPartition(const Partition& p) const
{
    std::size_t size = 0;
    for (const auto& f : p.files) {
        size += f.name.size() + 2;
        for (const auto& r : f.records) size += r.size() + 2;
    }
    std::string out;
    out.reserve(size);
    for (const auto& f : p.files) appendFile(out, f);
    return orEmpty(std::move(out));
}

// Each change is written to the state folder first and applied to the model only when that
// succeeded, so the instrument never reports OK for a change that would be lost.
std::string Protocol::deletePartition(char x, bool keepNames)
{
    std::vector<DataFile> files;
    if (keepNames)
        for (const auto& f : inst_.partition(x).files) files.push_back(DataFile{f.name, {}});
    if (storage_) storage_->replaceFiles(x, files);
    inst_.partition(x).files = std::move(files);
    return std::string(kOk);
}

std::string Protocol::newFile(char x, std::string_view name)
{
    Partition& p = inst_.partition(x);
    if (!isValidFileName(name) || p.findFile(name)) return std::string(kErr);
    DataFile f{std::string(name), {}};
    if (storage_) storage_->appendFile(x, f);
    p.files.push_back(std::move(f));
    return std::string(kOk);
}

std::string Protocol::writeComponent(std::string_view code, std::string_view name)
{
    auto c = parseComponentCode(code);
    if (!c || !isValidComponentName(name)) return std::string(kErr);
    Partition& p = inst_.partition(c->letter);
    auto components = p.components;
    components[c->number] = std::string(name);
    if (components.size() > static_cast<std::size_t>(kMaxComponents)) return std::string(kErr);
    if (storage_) storage_->saveComponents(c->letter, components);
    p.components = std::move(components);
    return std::string(kOk);
}

} // namespace ktmsim
