#include "zip_write.h"

#include "bytes.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#define KTM_FSEEK _fseeki64
#else
#define KTM_FSEEK fseeko
#endif

namespace workbook::detail {

namespace {

constexpr size_t kOutBuffer = 256 * 1024;
constexpr size_t kLocalHeader = 30;
constexpr size_t kCentralHeader = 46;
constexpr size_t kEndRecord = 22;
// 1980-01-01 00:00, the earliest zip time, as office programs stamp their parts: the same
// content always gives the same file.
constexpr unsigned kDosTime = 0, kDosDate = (0 << 9) | (1 << 5) | 1;

int lastError() { return errno ? errno : EIO; }

} // namespace

struct ZipWriter::Stream {
    z_stream z{};
    bool ready = false;
    ~Stream()
    {
        if (ready) deflateEnd(&z);
    }
};

ZipWriter::ZipWriter() : m_z(std::make_unique<Stream>()), m_out(new unsigned char[kOutBuffer]) {}
ZipWriter::~ZipWriter() = default;

int ZipWriter::put(const void* p, size_t n)
{
    errno = 0;
    if (n > 0 && std::fwrite(p, 1, n, m_file) != n) return lastError();
    m_offset += n;
    return 0;
}

int ZipWriter::drain()
{
    int e = put(m_out.get(), m_outUsed);
    m_outUsed = 0;
    return e;
}

uint64_t ZipWriter::deflatedBound(uint64_t size)
{
    // deflate falls back to stored blocks (at most 64 KB, 5 bytes of header each) where it cannot
    // compress; 1/2048 of the size plus a few bytes covers those headers and the final block.
    return size + (size >> 11) + 64;
}

uint64_t ZipWriter::partCost(uint64_t size, size_t nameLength)
{
    return kLocalHeader + kCentralHeader + 2 * uint64_t(nameLength) + deflatedBound(size);
}

uint64_t ZipWriter::bound(uint64_t more) const
{
    const uint64_t directory = m_directory + kEndRecord;
    if (!m_inPart) return m_offset + m_outUsed + directory;
    return m_partStart + kLocalHeader + m_entries.back().name.size() + deflatedBound(m_partIn + more) + directory;
}

int ZipWriter::begin(std::string_view name)
{
    if (!m_z->ready) {
        // Raw deflate (negative window bits): a zip part carries no zlib header.
        int rc = deflateInit2(&m_z->z, m_level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK) return rc == Z_MEM_ERROR ? ENOMEM : EINVAL;
        m_z->ready = true;
    } else if (deflateReset(&m_z->z) != Z_OK) {
        return EINVAL;
    }
    std::string h;
    put32(h, 0x04034b50);
    put16(h, 20); // version needed: deflate
    put16(h, 0);  // flags: sizes in this header (written back by end()), ASCII name
    put16(h, 8);  // deflate
    put16(h, kDosTime);
    put16(h, kDosDate);
    put32(h, 0); // CRC, compressed and uncompressed size
    put32(h, 0);
    put32(h, 0);
    put16(h, unsigned(name.size()));
    put16(h, 0); // no extra field
    h.append(name);
    if (int e = drain()) return e;
    m_partStart = m_offset;
    if (int e = put(h.data(), h.size())) return e;
    m_entries.push_back({std::string(name), 0, 0, 0, uint32_t(m_partStart)});
    m_directory += kCentralHeader + name.size();
    m_partIn = 0;
    m_crc = uint32_t(crc32(0, nullptr, 0));
    m_inPart = true;
    return 0;
}

// Runs deflate over the pending input, writing the output buffer out whenever it fills.
int ZipWriter::deflateSome(int flush)
{
    z_stream& z = m_z->z;
    for (;;) {
        if (m_outUsed == kOutBuffer)
            if (int e = drain()) return e;
        z.next_out = m_out.get() + m_outUsed;
        z.avail_out = uInt(kOutBuffer - m_outUsed);
        int rc = deflate(&z, flush);
        m_outUsed = kOutBuffer - z.avail_out;
        if (rc == Z_STREAM_END) return 0;
        if (rc != Z_OK && rc != Z_BUF_ERROR) return EINVAL;
        if (flush == Z_NO_FLUSH && z.avail_in == 0) return 0;
    }
}

int ZipWriter::write(std::string_view bytes)
{
    z_stream& z = m_z->z;
    const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
    size_t n = bytes.size();
    m_partIn += n;
    while (n > 0) {
        const uInt chunk = uInt(n > (1u << 30) ? (1u << 30) : n);
        m_crc = uint32_t(crc32(m_crc, p, chunk));
        z.next_in = const_cast<Bytef*>(p);
        z.avail_in = chunk;
        if (int e = deflateSome(Z_NO_FLUSH)) return e;
        p += chunk;
        n -= chunk;
    }
    return 0;
}

int ZipWriter::end()
{
    z_stream& z = m_z->z;
    z.next_in = nullptr;
    z.avail_in = 0;
    if (int e = deflateSome(Z_FINISH)) return e;
    if (int e = drain()) return e;
    Entry& entry = m_entries.back();
    entry.crc = m_crc;
    entry.compressed = uint32_t(z.total_out);
    entry.size = uint32_t(m_partIn);
    std::string sizes;
    put32(sizes, entry.crc);
    put32(sizes, entry.compressed);
    put32(sizes, entry.size);
    const uint64_t end = m_offset;
    errno = 0;
    if (KTM_FSEEK(m_file, static_cast<long long>(m_partStart + 14), SEEK_SET) != 0) return lastError();
    errno = 0;
    if (std::fwrite(sizes.data(), 1, sizes.size(), m_file) != sizes.size()) return lastError();
    errno = 0;
    if (KTM_FSEEK(m_file, static_cast<long long>(end), SEEK_SET) != 0) return lastError();
    m_inPart = false;
    m_partIn = 0;
    return 0;
}

int ZipWriter::finish()
{
    if (int e = drain()) return e;
    std::string d;
    const uint64_t start = m_offset;
    for (const Entry& e : m_entries) {
        put32(d, 0x02014b50);
        put16(d, 20); // made by: MS-DOS attributes, zip 2.0
        put16(d, 20); // version needed
        put16(d, 0);
        put16(d, 8);
        put16(d, kDosTime);
        put16(d, kDosDate);
        put32(d, e.crc);
        put32(d, e.compressed);
        put32(d, e.size);
        put16(d, unsigned(e.name.size()));
        put16(d, 0); // extra
        put16(d, 0); // comment
        put16(d, 0); // disk
        put16(d, 0); // internal attributes
        put32(d, 0); // external attributes
        put32(d, e.offset);
        d.append(e.name);
    }
    put32(d, 0x06054b50);
    put16(d, 0);
    put16(d, 0);
    put16(d, unsigned(m_entries.size()));
    put16(d, unsigned(m_entries.size()));
    put32(d, uint32_t(d.size() - 12)); // size of the directory, without this end record
    put32(d, uint32_t(start));
    put16(d, 0);
    return put(d.data(), d.size());
}

} // namespace workbook::detail
