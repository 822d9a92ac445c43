// Streaming zip writer for the .xlsx writer: a part's bytes are deflated as they arrive and go
// straight into the file, so memory stays the same whatever the size of a part. When a part
// ends, its CRC and sizes are written back into its local header (the file is seekable), so
// no data descriptors are needed. No ZIP64: the caller keeps every size and offset below 4 GB
// and the number of parts below 65,535 (see kLimit, kMaxEntries and bound()).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace workbook::detail {

class ZipWriter {
public:
    // The largest size or offset a 32-bit zip field holds (0xFFFFFFFF itself marks ZIP64).
    static constexpr uint64_t kLimit = 0xFFFFFFFEu;
    static constexpr size_t kMaxEntries = 0xFFFF;

    ZipWriter();
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Every call below returns 0, or the errno value of the failure (ENOMEM when zlib has no
    // memory). After a failure the archive is unusable.

    // Writes into `file` (open for writing at offset 0; not owned).
    void attach(std::FILE* file) { m_file = file; }
    // The deflate level (1 fastest to 9 smallest), before the first part.
    void setLevel(int level) { m_level = level; }
    int begin(std::string_view name);
    int write(std::string_view bytes);
    int end();
    // The central directory, after the last part.
    int finish();

    bool inPart() const { return m_inPart; }
    size_t entries() const { return m_entries.size(); }
    // Uncompressed bytes of the open part so far.
    uint64_t partSize() const { return m_partIn; }
    // An upper bound of the file size once the open part has taken `more` further bytes and
    // ended (its compressed size bounded as if deflate found nothing to compress).
    uint64_t bound(uint64_t more) const;
    // Upper bound of what a part of `size` bytes adds to the file, headers and central
    // directory entry included, for a name of `nameLength` bytes.
    static uint64_t partCost(uint64_t size, size_t nameLength);

private:
    static uint64_t deflatedBound(uint64_t size);
    int put(const void* p, size_t n);
    int drain();
    int deflateSome(int flush);

    struct Entry {
        std::string name;
        uint32_t crc, compressed, size;
        uint32_t offset;
    };
    struct Stream;
    std::unique_ptr<Stream> m_z;
    std::FILE* m_file = nullptr;
    std::vector<Entry> m_entries;
    std::unique_ptr<unsigned char[]> m_out; // deflate output waiting for fwrite
    size_t m_outUsed = 0;
    uint64_t m_offset = 0;    // bytes handed to fwrite (m_out not included)
    uint64_t m_directory = 0; // size of the central directory so far
    uint64_t m_partStart = 0;
    uint64_t m_partIn = 0;
    uint32_t m_crc = 0;
    int m_level = 6;
    bool m_inPart = false;
};

} // namespace workbook::detail
