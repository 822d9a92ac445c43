// Persistence of the instrument in a state folder of plain text files.
//
// Layout:
//   <dir>/ktm520-sim-state        marker, written last when the folder is seeded
//   <dir>/A/index.txt             one line per data file, in listing order: "<id> <file name>"
//   <dir>/A/<id>.txt              the records of one data file, one line each
//   <dir>/A/components.txt        "A001=QRVA000001", one line per component
//   ... likewise B to J.
//
// File names never become paths (an instrument file may be called "../x"); data files are
// named by a generated id. Every file is written to a temporary file and renamed into place;
// a partition's set of files changes only when its index.txt is renamed, so a crash leaves
// either the old or the new partition, never a mixture.
#pragma once

#include "ktmsim/model.h"

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ktmsim {

class StorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes `content` to `path` via a temporary file in the same folder, fsync and rename.
void writeFileAtomically(const std::filesystem::path& path, const std::string& content);

// Exclusive use of a state folder by one running simulator, held for the object's lifetime.
// Two simulators on one folder would each keep their own copy of the instrument and silently
// undo each other's changes. The lock is the file ".<folder name>.lock" next to the folder
// (inside it, it would make a fresh folder non-empty). Throws StorageError when in use.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& dir);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

class Storage {
public:
    // Opens an existing state folder (the marker must be present) and loads it into `out`.
    static Storage open(const std::filesystem::path& dir, Instrument& out);
    // Creates the state folder from `seed`. The folder must not exist or be empty; the seed is
    // written next to it and renamed into place, so the folder appears complete or not at all.
    static Storage create(const std::filesystem::path& dir, const Instrument& seed);
    // Opens the folder if it holds a state, else creates it from `seed` (then `out` = seed).
    static Storage openOrCreate(const std::filesystem::path& dir, const Instrument& seed,
                                Instrument& out);
    static bool holdsState(const std::filesystem::path& dir);

    // Replaces every data file of a partition (DEL, DELDATA, reseeding).
    void replaceFiles(char letter, const std::vector<DataFile>& files);
    // Adds one data file at the end of a partition's listing (NEWFILE).
    void appendFile(char letter, const DataFile& file);
    void saveComponents(char letter, const std::map<int, std::string>& components);

    const std::filesystem::path& dir() const { return dir_; }

private:
    explicit Storage(std::filesystem::path dir) : dir_(std::move(dir)) {}
    std::filesystem::path partDir(char letter) const;
    std::string newId(char letter);
    void writeIndex(char letter, const std::vector<std::string>& ids,
                    const std::vector<std::string>& names);
    void load(Instrument& out);

    std::filesystem::path dir_;
    // Per partition: the data file id of each file, aligned with the listing, and the names.
    std::array<std::vector<std::string>, kPartitionCount> ids_;
    std::array<std::vector<std::string>, kPartitionCount> names_;
    std::array<unsigned long, kPartitionCount> nextId_{};
};

} // namespace ktmsim
