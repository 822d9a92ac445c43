// The state of an XlsxWriter. The tests and the benchmark reach it through XlsxWriter::impl()
// to try other deflate levels and a lower size limit; nothing else should.
#pragma once

#include "workbook/workbook.h"
#include "zip_write.h"

#include <cstdio>
#include <cstring>
#include <span>
#include <memory>
#include <string>
#include <vector>

namespace workbook {

namespace detail {

// Sheet XML is collected here and handed to deflate in pieces of about kXmlPiece bytes.
class XmlBuffer {
public:
    XmlBuffer() = default;
    XmlBuffer(const XmlBuffer&) = delete;
    XmlBuffer& operator=(const XmlBuffer&) = delete;

    // Room for `n` more bytes; returns where they go.
    char* room(size_t n)
    {
        if (m_size + n > m_capacity) grow(m_size + n);
        return m_data.get() + m_size;
    }
    void commit(char* end) { m_size = size_t(end - m_data.get()); }
    void append(std::string_view s)
    {
        char* p = room(s.size());
        std::memcpy(p, s.data(), s.size());
        m_size += s.size();
    }
    size_t size() const { return m_size; }
    std::string_view view() const { return std::string_view(m_data.get(), m_size); }
    void clear() { m_size = 0; }

private:
    void grow(size_t need);
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0, m_capacity = 0;
};

} // namespace detail

struct XlsxWriter::Impl {
    enum class State {
        Open,
        Committed,
        Cancelled,
        Failed
    };

    // Tuning, set before the first worksheet: the deflate level, and the size no part nor the
    // file may reach (the zip format's 4 GB; a test lowers it to reach it quickly).
    int level;
    uint64_t limit = detail::ZipWriter::kLimit;

    std::filesystem::path target, temp;
    std::string busyKey;
    std::FILE* file = nullptr;
    detail::ZipWriter zip;
    detail::XmlBuffer xml;
    State state = State::Open;
    Error failure; // what ended the writer, once State::Failed

    // What the parts written by commit() list, one entry per worksheet so far.
    std::vector<std::string> names; // as given, for the duplicate check
    std::string bookSheets, bookRels, types;
    uint64_t closing = 0; // closingCost() for the worksheets so far
    bool inSheet = false;
    int rows = 0; // rows of the current worksheet

    Impl();
    ~Impl();
    Error check() const;
    Error fail(int err, const std::string& doing);
    void discard();
    Error flushXml();
    Error endSheet();
    Error writeRow(std::span<const CellValue> cells);
    uint64_t closingCost() const;
};

} // namespace workbook
