#pragma once

#include "grids/ReadingLayout.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class PreviewGrid;

namespace archive {

// One record of a completed copy, as it was received: the component code, the reading and the
// temperature in tenths, and the instrument's time "yyyy-MM-dd HH:mm:ss".
struct Record {
    QString partition; // "A".."J"
    QString file;      // the file the record came in
    QString code;      // "A001"
    QString time;
    QString reading;
    QString temperature;
};

// One record as UTF-8 texts that stay valid only until the next record is asked for: what a
// store reads, one at a time, from wherever the records are (the grid, a kept copy).
struct RecordView {
    QByteArrayView partition;
    QByteArrayView file;
    QByteArrayView code;
    QByteArrayView time;
    QByteArrayView reading;
    QByteArrayView temperature;
};
// Fills `out` with the next record and gives true, or gives false when there is none left.
using RecordSource = std::function<bool(RecordView& out)>;

// The records of a vector, in order.
RecordSource recordSource(const std::vector<Record>& records);
// The records a copy left in the grid, as its layout reads them, of the partition the copy was
// of: read from the grid's own texts without a copy, from where `records` stands; the grid must
// not change while the source is read.
RecordSource recordSource(const ReadingLayout::Records& records, const QString& partition);

// The records a copy left in the preview grid (ReadingLayout::Records: a file-name row heads each
// file's records), for the partition the copy was of, as a vector.
std::vector<Record> recordsOfGrid(const PreviewGrid& grid, const QString& partition);

// The numbers of a record as its layout reads them: the reading in Hz and the temperature in
// degrees C (ReadingLayout::tenths), and the time as seconds since 1970-01-01 00:00:00 read as
// UTC (ReadingLayout::timeOf). nullopt where the text is not a number or a time.
std::optional<double> readingHz(const QString& text);
std::optional<double> temperatureC(const QString& text);
std::optional<qint64> instrumentTime(const QString& text);
// The same readers over UTF-8 text.
std::optional<double> readingHz(QByteArrayView utf8);
std::optional<double> temperatureC(QByteArrayView utf8);
std::optional<qint64> instrumentTime(QByteArrayView utf8);
// A literal is UTF-8 text too (and would otherwise match both of the above).
inline std::optional<double> readingHz(const char* utf8) { return readingHz(QByteArrayView(utf8)); }
inline std::optional<double> temperatureC(const char* utf8) { return temperatureC(QByteArrayView(utf8)); }
inline std::optional<qint64> instrumentTime(const char* utf8) { return instrumentTime(QByteArrayView(utf8)); }
// The instrument's text for a time, for years 1 to 9999: instrumentTime(instrumentTimeText(t)) == t.
QString instrumentTimeText(qint64 seconds);

} // namespace archive
