#include "ktmsim/storage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace ktmsim {

namespace {

constexpr const char* kMarker = "ktm520-sim-state";
constexpr const char* kMarkerText = "ktm520-sim state folder, format 1\n";
constexpr const char* kIndex = "index.txt";
constexpr const char* kComponents = "components.txt";

[[maybe_unused]] std::string errnoText(const std::string& what, const fs::path& p)
{
    return what + " " + p.string() + ": " + std::strerror(errno);
}

bool isDataFileName(const std::string& n)
{
    // "<6+ digits>.txt"
    if (n.size() < 10 || n.substr(n.size() - 4) != ".txt") return false;
    return std::all_of(n.begin(), n.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

bool isId(std::string_view id)
{
    return id.size() >= 6 && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> readLines(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in) throw StorageError("cannot read " + p.string());
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
    }
    if (in.bad()) throw StorageError("cannot read " + p.string());
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::size_t n = 0;
    for (const auto& l : lines) n += l.size() + 1;
    std::string s;
    s.reserve(n);
    for (const auto& l : lines) {
        s += l;
        s += '\n';
    }
    return s;
}

std::string componentsText(char letter, const std::map<int, std::string>& components)
{
    std::string s;
    for (const auto& [number, name] : components) s += formatComponentCode(letter, number) + "=" + name + "\n";
    return s;
}

fs::path absoluteFolder(const fs::path& dir)
{
    fs::path abs = fs::absolute(dir).lexically_normal();
    if (!abs.has_filename()) abs = abs.parent_path();
    return abs;
}

void syncDir([[maybe_unused]] const fs::path& dir)
{
#ifndef _WIN32
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

} // namespace

#ifdef _WIN32
void writeFileAtomically(const fs::path& path, const std::string& content)
{
    static std::atomic<unsigned> counter{0};
    fs::path tmp = path;
    tmp += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            std::error_code ec;
            fs::remove(tmp, ec);
            throw StorageError("cannot write " + tmp.string());
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec); // replaces an existing file
    if (ec) {
        fs::remove(tmp, ec);
        throw StorageError("cannot rename into " + path.string());
    }
}

FolderLock::FolderLock(const fs::path&) {}
FolderLock::~FolderLock() {}
#else

void writeFileAtomically(const fs::path& path, const std::string& content)
{
    static std::atomic<unsigned> counter{0};
    fs::path tmp = path;
    tmp += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw StorageError(errnoText("cannot create", tmp));
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::string msg = errnoText("cannot write", tmp);
            ::close(fd);
            ::unlink(tmp.c_str());
            throw StorageError(msg);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        std::string msg = errnoText("cannot flush", tmp);
        ::unlink(tmp.c_str());
        throw StorageError(msg);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string msg = errnoText("cannot rename into", path);
        ::unlink(tmp.c_str());
        throw StorageError(msg);
    }
}

FolderLock::FolderLock(const fs::path& dir)
{
    const fs::path abs = absoluteFolder(dir);
    fs::create_directories(abs.parent_path());
    const fs::path lock = abs.parent_path() / ("." + abs.filename().string() + ".lock");
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw StorageError(errnoText("cannot create", lock));
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        throw StorageError("the state folder " + abs.string() + " is in use by another ktm520-sim; give it another --state");
    }
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0) ::close(fd_);
}
#endif

bool Storage::holdsState(const fs::path& dir)
{
    std::error_code ec;
    return fs::is_regular_file(dir / kMarker, ec);
}

fs::path Storage::partDir(char letter) const { return dir_ / std::string(1, letter); }

std::string Storage::newId(char letter)
{
    auto& next = nextId_[static_cast<std::size_t>(*partitionIndex(letter))];
    std::string id = std::to_string(++next);
    if (id.size() < 6) id.insert(0, 6 - id.size(), '0');
    return id;
}

void Storage::writeIndex(char letter, const std::vector<std::string>& ids,
                         const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < ids.size(); ++i) text += ids[i] + " " + names[i] + "\n";
    writeFileAtomically(partDir(letter) / kIndex, text);
}

void Storage::replaceFiles(char letter, const std::vector<DataFile>& files)
{
    const auto p = static_cast<std::size_t>(*partitionIndex(letter));
    fs::create_directories(partDir(letter));
    std::vector<std::string> ids, names;
    for (const auto& f : files) {
        ids.push_back(newId(letter));
        names.push_back(f.name);
        writeFileAtomically(partDir(letter) / (ids.back() + ".txt"), joinLines(f.records));
    }
    writeIndex(letter, ids, names); // the commit point
    syncDir(partDir(letter));
    std::error_code ec;
    for (const auto& old : ids_[p]) fs::remove(partDir(letter) / (old + ".txt"), ec);
    ids_[p] = std::move(ids);
    names_[p] = std::move(names);
}

void Storage::appendFile(char letter, const DataFile& file)
{
    const auto p = static_cast<std::size_t>(*partitionIndex(letter));
    fs::create_directories(partDir(letter));
    std::string id = newId(letter);
    writeFileAtomically(partDir(letter) / (id + ".txt"), joinLines(file.records));
    auto ids = ids_[p];
    auto names = names_[p];
    ids.push_back(id);
    names.push_back(file.name);
    writeIndex(letter, ids, names);
    syncDir(partDir(letter));
    ids_[p] = std::move(ids);
    names_[p] = std::move(names);
}

void Storage::saveComponents(char letter, const std::map<int, std::string>& components)
{
    fs::create_directories(partDir(letter));
    writeFileAtomically(partDir(letter) / kComponents, componentsText(letter, components));
    syncDir(partDir(letter));
}

void Storage::load(Instrument& out)
{
    out = Instrument{};
    for (int p = 0; p < kPartitionCount; ++p) {
        const char letter = partitionLetter(p);
        const fs::path pd = partDir(letter);
        auto& part = out.at(p);
        ids_[static_cast<std::size_t>(p)].clear();
        names_[static_cast<std::size_t>(p)].clear();
        std::error_code ec;
        if (!fs::is_directory(pd, ec)) continue;

        unsigned long maxId = 0;
        if (fs::exists(pd / kIndex)) {
            for (const auto& line : readLines(pd / kIndex)) {
                auto sp = line.find(' ');
                if (sp == std::string::npos) continue;
                std::string id = line.substr(0, sp), name = line.substr(sp + 1);
                if (!isId(id) || !isValidFileName(name)) continue; // a hand-edited line we cannot use
                DataFile f;
                f.name = name;
                if (fs::exists(pd / (id + ".txt"))) f.records = readLines(pd / (id + ".txt"));
                part.files.push_back(std::move(f));
                ids_[static_cast<std::size_t>(p)].push_back(id);
                names_[static_cast<std::size_t>(p)].push_back(name);
            }
        }
        if (fs::exists(pd / kComponents)) {
            for (const auto& line : readLines(pd / kComponents)) {
                auto eq = line.find('=');
                if (eq == std::string::npos) continue;
                auto code = parseComponentCode(line.substr(0, eq));
                std::string name = line.substr(eq + 1);
                if (!code || code->letter != letter || !isValidComponentName(name)) continue;
                part.components[code->number] = name;
            }
        }
        // Remove what an interrupted write left behind: temporaries and unreferenced data files.
        const auto& used = ids_[static_cast<std::size_t>(p)];
        for (const auto& entry : fs::directory_iterator(pd, ec)) {
            const std::string n = entry.path().filename().string();
            if (isDataFileName(n)) {
                unsigned long id = std::stoul(n.substr(0, n.size() - 4));
                maxId = std::max(maxId, id);
                if (std::find(used.begin(), used.end(), n.substr(0, n.size() - 4)) == used.end())
                    fs::remove(entry.path(), ec);
            } else if (n.find(".tmp-") != std::string::npos) {
                fs::remove(entry.path(), ec);
            }
        }
        for (const auto& id : used) maxId = std::max(maxId, std::stoul(id));
        nextId_[static_cast<std::size_t>(p)] = maxId;
    }
}

Storage Storage::open(const fs::path& dir, Instrument& out)
{
    if (!holdsState(dir)) throw StorageError(dir.string() + " is not a ktm520-sim state folder");
    Storage s(dir);
    s.load(out);
    return s;
}

Storage Storage::create(const fs::path& dir, const Instrument& seed)
{
    std::error_code ec;
    if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec)))
        throw StorageError(dir.string() + " exists and is not an empty folder; refusing to seed it");
    const fs::path abs = absoluteFolder(dir);
    fs::create_directories(abs.parent_path());
    // Built up in steps: GCC 12 warns falsely (-Wrestrict) about "." + a temporary string.
    std::string seeding = ".";
    seeding += abs.filename().string();
    seeding += ".seeding-" + std::to_string(::getpid());
    fs::path tmp = abs.parent_path() / seeding;
    fs::remove_all(tmp, ec);
    try {
        Storage s(tmp);
        fs::create_directories(tmp);
        for (int p = 0; p < kPartitionCount; ++p) {
            const char letter = partitionLetter(p);
            s.replaceFiles(letter, seed.at(p).files);
            s.saveComponents(letter, seed.at(p).components);
        }
        writeFileAtomically(tmp / kMarker, kMarkerText);
        syncDir(tmp);
        std::error_code rc;
        fs::rename(tmp, abs, rc); // onto a missing or empty folder
        if (rc) throw StorageError("cannot move the seeded state to " + abs.string() + ": " + rc.message());
        syncDir(abs.parent_path());
        s.dir_ = abs;
        return s;
    } catch (...) {
        fs::remove_all(tmp, ec);
        throw;
    }
}

Storage Storage::openOrCreate(const fs::path& dir, const Instrument& seed, Instrument& out)
{
    if (holdsState(dir)) return open(dir, out);
    Storage s = create(dir, seed);
    out = seed;
    return s;
}

} // namespace ktmsim
