#pragma once

#include <QFile>
#include <QString>
#include <cstdio>
#include <filesystem>

// A file written through a temporary file of its own beside the target (workbook's
// createTemporaryFor: a name no other writer uses, the read-only check, the clean-up after
// writers that were killed), renamed over the target only by commit(). Destroyed or cancelled
// without commit(), it removes the temporary file; the target stays as it was.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file and opens device() on it for writing; false and the operator's
    // reason (FailureText) when the target cannot be replaced or nothing can be written beside it.
    bool open(QString* reason);
    QFile& device() { return m_device; }
    // Flushes the written text to the disk and renames the file over the target; false and the
    // reason when that fails (the temporary file is removed).
    bool commit(QString* reason);
    void cancel();

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::FILE* m_file = nullptr;
    QFile m_device;
};
