#include "archive/Record.h"

#include <QLocale>
#include <cmath>

#include "export/NumberText.h"
#include "export/SheetWriter.h"
#include "grids/PreviewGrid.h"

#include <cstdio>
#include <memory>

namespace archive {

namespace {

// The reading layout's columns.
constexpr int kCode = 0;
constexpr int kReading = 1;
constexpr int kTemperature = 2;
constexpr int kTime = 3;

bool isHeading(const PreviewGrid& grid, int row)
{
    return grid.utf8(row, kReading).isEmpty() && grid.utf8(row, kTemperature).isEmpty();
}

// The characters of a text, whether it is a QString or UTF-8: the readers below look only at
// ASCII, and a byte of a multi-byte UTF-8 sequence is no digit or sign.
char16_t charAt(const QString& text, qsizetype i) { return text[i].unicode(); }
char16_t charAt(QByteArrayView text, qsizetype i) { return char16_t(uchar(text[i])); }
QString asString(const QString& text) { return text; }
QString asString(QByteArrayView text) { return QString::fromUtf8(text); }

// A plain integer ("28456", "-052"): the instrument's usual form, read without building the
// text a number is parsed from.
template <typename Text>
std::optional<qint64> plainInteger(const Text& text)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < size && (charAt(text, i) == u'-' || charAt(text, i) == u'+')) {
        negative = charAt(text, i) == u'-';
        ++i;
    }
    if (i == size || size - i > 15) // beyond 15 digits a double may not hold it exactly
        return std::nullopt;
    qint64 value = 0;
    for (; i < size; ++i) {
        const char16_t c = charAt(text, i);
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

template <typename Text>
std::optional<double> tenths(const Text& text)
{
    // Only a cell that is a number as a whole: a record without a temperature carries its time
    // in the temperature's column, and the archive must not take "2026-11-06 10:02:00" for 202.6.
    if (const auto integer = plainInteger(text))
        return double(*integer) / 10.0;
    bool ok = false;
    const double number = QLocale::c().toDouble(asString(text).trimmed(), &ok);
    if (ok && std::isfinite(number))
        return number / 10.0;
    return std::nullopt;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

// The inverse: the date of a day counted from 1970-01-01.
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

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

template <typename Text>
std::optional<qint64> timeOf(const Text& text)
{
    // yyyy-MM-dd HH:mm:ss, exactly
    static constexpr char16_t kPattern[] = u"0000-00-00 00:00:00";
    constexpr qsizetype kLength = 19;
    if (text.size() != kLength)
        return std::nullopt;
    int digits[kLength] = {};
    for (qsizetype i = 0; i < kLength; ++i) {
        const char16_t c = charAt(text, i);
        if (kPattern[i] == u'0') {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            digits[i] = c - u'0';
        } else if (c != kPattern[i]) {
            return std::nullopt;
        }
    }
    auto number = [&](int at, int count) {
        int v = 0;
        for (int i = at; i < at + count; ++i)
            v = v * 10 + digits[i];
        return v;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return std::nullopt;
    const int monthDays = kDaysInMonth[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
    if (day > monthDays || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return daysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
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

RecordSource recordSource(const PreviewGrid& grid, const QString& partition)
{
    // The sections are the worksheets a save makes: each later one begins with its file's name
    // row. The first begins at row 1, which holds a name too unless the reply began with a record.
    struct Reading {
        const PreviewGrid* grid = nullptr;
        QByteArray partition;
        std::vector<SheetWriter::Section> sections;
        size_t section = 0;
        bool entered = false;
        int row = 0;
        QByteArrayView file;
    };
    auto state = std::make_shared<Reading>();
    state->grid = &grid;
    state->partition = partition.toUtf8();
    if (grid.cols() >= 4 && grid.rows() >= 2)
        state->sections = SheetWriter::sections(grid);
    return [state](RecordView& out) {
        const PreviewGrid& g = *state->grid;
        while (state->section < state->sections.size()) {
            const SheetWriter::Section& section = state->sections[state->section];
            if (!state->entered) {
                state->entered = true;
                state->row = section.first;
                state->file = QByteArrayView();
                if (state->row < section.end && isHeading(g, state->row))
                    state->file = g.utf8(state->row++, kCode);
            }
            while (state->row < section.end) {
                const int row = state->row++;
                const QByteArrayView code = g.utf8(row, kCode);
                if (code.isEmpty())
                    continue;
                out = RecordView{state->partition, state->file, code, g.utf8(row, kTime), g.utf8(row, kReading),
                                 g.utf8(row, kTemperature)};
                // A record without a temperature: its time stands where the temperature would.
                if (out.time.isEmpty() && timeOf(out.temperature)) {
                    out.time = out.temperature;
                    out.temperature = QByteArrayView();
                }
                return true;
            }
            ++state->section;
            state->entered = false;
        }
        return false;
    };
}

std::vector<Record> recordsOfGrid(const PreviewGrid& grid, const QString& partition)
{
    std::vector<Record> out;
    if (grid.rows() > 1)
        out.reserve(size_t(grid.rows() - 1));
    const RecordSource next = recordSource(grid, partition);
    RecordView r;
    while (next(r))
        out.push_back(Record{partition, QString::fromUtf8(r.file), QString::fromUtf8(r.code), QString::fromUtf8(r.time),
                             QString::fromUtf8(r.reading), QString::fromUtf8(r.temperature)});
    return out;
}

std::optional<double> readingHz(const QString& text) { return tenths(text); }

std::optional<double> temperatureC(const QString& text) { return tenths(text); }

std::optional<qint64> instrumentTime(const QString& text) { return timeOf(text); }

std::optional<double> readingHz(QByteArrayView utf8) { return tenths(utf8); }

std::optional<double> temperatureC(QByteArrayView utf8) { return tenths(utf8); }

std::optional<qint64> instrumentTime(QByteArrayView utf8) { return timeOf(utf8); }

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
