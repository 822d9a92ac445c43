#pragma once

#include <QString>
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

// The records a copy left in the preview grid (the reading layout: a file-name row heads each
// file's records), for the partition the copy was of. Rows without a code are skipped.
std::vector<Record> recordsOfGrid(const PreviewGrid& grid, const QString& partition);

// The numbers of a record: the reading in Hz and the temperature in degrees C (the tenths
// divided by 10), and the time as seconds since 1970-01-01 00:00:00 read as UTC (the
// instrument's clock knows no time zone). nullopt where the text is not a number or a time.
std::optional<double> readingHz(const QString& text);
std::optional<double> temperatureC(const QString& text);
std::optional<qint64> instrumentTime(const QString& text);
// The instrument's text for a time, for years 1 to 9999: instrumentTime(instrumentTimeText(t)) == t.
QString instrumentTimeText(qint64 seconds);

} // namespace archive
