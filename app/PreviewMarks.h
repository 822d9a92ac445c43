#pragma once

#include "archive/Judgement.h"

#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

class PreviewGrid;

// Which rows of the preview hold the copy's readings that judging found above normal or flagged
// (Verdict::marked), without widgets. A record is found by its file (the name row heading its
// section), its code and its time, so two files with the same code and time are told apart. One
// pass over the grid, each record looked up in a hash of the marked ones: fit for a copy of a
// million records.
class PreviewMarks {
public:
    struct Mark {
        int status = 0;
        std::uint16_t flags = 0;
    };
    // Marks the rows of the records of `partition` among `marked` in the grid (of the reading
    // layout); the marks before are dropped.
    void mark(const PreviewGrid& grid, const QString& partition, const std::vector<archive::MarkedRecord>& marked);
    void clear() { m_rows.clear(); }
    // The mark of a grid row, nullptr when it has none.
    const Mark* at(int row) const;
    std::size_t count() const { return m_rows.size(); }

    // A marked row's tool tip: its status and its flags in words.
    static QString toolTip(const Mark& mark);

private:
    std::unordered_map<int, Mark> m_rows;
};
