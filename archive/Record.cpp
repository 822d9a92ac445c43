#include "archive/Record.h"

#include "grids/PreviewGrid.h"

#include <cstdio>
#include <memory>

namespace archive {

namespace {

// The date of a day counted from 1970-01-01 (the inverse of ReadingLayout::timeOf's day count).
void civilFromDays(qint64 z, int& y, int& m, int& d)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(qint64(yoe) + era * 400 + (m <= 2));
}

} // namespace

RecordSource recordSource(const std::vector<Record>& records)
{
    // The texts of the record last given, narrowed into buffers that keep their room.
    struct Reading {
        const std::vector<Record>* records = nullptr;
        size_t next = 0;
        QByteArray texts[6];
    };
    auto state = std::make_shared<Reading>();
    state->records = &records;
    return [state](RecordView& out) {
        if (state->next >= state->records->size())
            return false;
        const Record& r = (*state->records)[state->next++];
        const QString* fields[6] = {&r.partition, &r.file, &r.code, &r.time, &r.reading, &r.temperature};
        QByteArrayView views[6];
        for (int f = 0; f < 6; ++f) {
            QByteArray& to = state->texts[f];
            to.resize(0);
            const qsizetype size = fields[f]->size();
            const char16_t* chars = QStringView(*fields[f]).utf16();
            bool ascii = true;
            for (qsizetype i = 0; i < size && ascii; ++i)
                ascii = chars[i] < 0x80;
            if (ascii) {
                to.resize(size);
                for (qsizetype i = 0; i < size; ++i)
                    to[i] = char(chars[i]);
            } else {
                to = fields[f]->toUtf8();
            }
            views[f] = to;
        }
        out = RecordView{views[0], views[1], views[2], views[3], views[4], views[5]};
        return true;
    };
}

RecordSource recordSource(const ReadingLayout::Records& records, const QString& partition)
{
    struct Reading {
        ReadingLayout::Records records;
        QByteArray partition;
    };
    auto state = std::make_shared<Reading>(Reading{records, partition.toUtf8()});
    return [state](RecordView& out) {
        ReadingLayout::Record r;
        if (!state->records.next(r))
            return false;
        out = RecordView{state->partition, r.file, r.code, r.time, r.reading, r.temperature};
        return true;
    };
}

std::vector<Record> recordsOfGrid(const PreviewGrid& grid, const QString& partition)
{
    std::vector<Record> out;
    if (grid.rows() > 1)
        out.reserve(size_t(grid.rows() - 1));
    const RecordSource next = recordSource(ReadingLayout::Records(grid), partition);
    RecordView r;
    while (next(r))
        out.push_back(Record{partition, QString::fromUtf8(r.file), QString::fromUtf8(r.code), QString::fromUtf8(r.time),
                             QString::fromUtf8(r.reading), QString::fromUtf8(r.temperature)});
    return out;
}

std::optional<double> readingHz(const QString& text) { return ReadingLayout::tenths(text); }

std::optional<double> temperatureC(const QString& text) { return ReadingLayout::tenths(text); }

std::optional<qint64> instrumentTime(const QString& text) { return ReadingLayout::timeOf(text); }

std::optional<double> readingHz(QByteArrayView utf8) { return ReadingLayout::tenths(utf8); }

std::optional<double> temperatureC(QByteArrayView utf8) { return ReadingLayout::tenths(utf8); }

std::optional<qint64> instrumentTime(QByteArrayView utf8) { return ReadingLayout::timeOf(utf8); }

QString instrumentTimeText(qint64 seconds)
{
    const qint64 days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const qint64 second = seconds - days * 86400;
    int y, m, d;
    civilFromDays(days, y, m, d);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, int(second / 3600), int(second / 60 % 60),
                  int(second % 60));
    return QString::fromLatin1(text);
}

} // namespace archive
