#include "archive/Record.h"

#include <QLocale>
#include <cmath>

#include "export/NumberText.h"
#include "export/SheetWriter.h"
#include "grids/PreviewGrid.h"

#include <cstdio>

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

// A plain integer ("28456", "-052"): the instrument's usual form, read without building the
// text a number is parsed from.
std::optional<qint64> plainInteger(const QString& text)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < size && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == size || size - i > 15) // beyond 15 digits a double may not hold it exactly
        return std::nullopt;
    qint64 value = 0;
    for (; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

std::optional<double> tenths(const QString& text)
{
    // Only a cell that is a number as a whole: a record without a temperature carries its time
    // in the temperature's column, and the archive must not take "2026-11-06 10:02:00" for 202.6.
    if (const auto integer = plainInteger(text))
        return double(*integer) / 10.0;
    bool ok = false;
    const double number = QLocale::c().toDouble(text.trimmed(), &ok);
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

} // namespace

std::vector<Record> recordsOfGrid(const PreviewGrid& grid, const QString& partition)
{
    std::vector<Record> out;
    if (grid.cols() < 4 || grid.rows() < 2)
        return out;
    out.reserve(size_t(grid.rows() - 1));
    // The sections are the worksheets a save makes: each later one begins with its file's name
    // row. The first begins at row 1, which holds a name too unless the reply began with a record.
    for (const SheetWriter::Section& section : SheetWriter::sections(grid)) {
        int row = section.first;
        QString file;
        if (row < section.end && isHeading(grid, row)) {
            file = grid.text(row, kCode);
            ++row;
        }
        for (; row < section.end; ++row) {
            if (grid.utf8(row, kCode).isEmpty())
                continue;
            Record r{partition, file, grid.text(row, kCode), grid.text(row, kTime), grid.text(row, kReading),
                     grid.text(row, kTemperature)};
            // A record without a temperature: its time stands where the temperature would.
            if (r.time.isEmpty() && instrumentTime(r.temperature)) {
                r.time = r.temperature;
                r.temperature.clear();
            }
            out.push_back(std::move(r));
        }
    }
    return out;
}

std::optional<double> readingHz(const QString& text) { return tenths(text); }

std::optional<double> temperatureC(const QString& text) { return tenths(text); }

std::optional<qint64> instrumentTime(const QString& text)
{
    // yyyy-MM-dd HH:mm:ss, exactly
    static constexpr char16_t kPattern[] = u"0000-00-00 00:00:00";
    constexpr qsizetype kLength = 19;
    if (text.size() != kLength)
        return std::nullopt;
    int digits[kLength] = {};
    for (qsizetype i = 0; i < kLength; ++i) {
        const char16_t c = text[i].unicode();
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
