#include "grids/ReadingLayout.h"

#include "grids/PreviewGrid.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

// The characters of a text, whether it is a QString or UTF-8: the readers look only at ASCII,
// and a byte of a multi-byte UTF-8 sequence is no digit or sign.
char16_t charAt(const QString& text, qsizetype i) { return text[i].unicode(); }
char16_t charAt(QByteArrayView text, qsizetype i) { return char16_t(uchar(text[i])); }

int digitValue(char16_t c, int base)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

struct Scanned {
    double value = 0;
    bool whole = false; // nothing but white space follows the number
};

bool isWhiteSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f'; }

// How a number is read: as the workbook reads a cell (Val: the blanks it ignores are skipped
// wherever they stand, "&H" and "&O" integers, a D exponent, the leading number counts), or as a
// cell that must be one number as it stands (white space only around it, an E exponent only).
enum class Rules {
    Workbook,
    Plain,
};

template <typename Text>
class Scanner {
public:
    Scanner(const Text& text, Rules rules) : m_text(text), m_rules(rules)
    {
        if (rules == Rules::Plain)
            while (m_at < m_text.size() && isWhiteSpace(charAt(m_text, m_at)))
                ++m_at;
    }

    // The next character that counts, 0 at the end.
    char16_t peek()
    {
        while (m_at < m_text.size()) {
            const char16_t c = charAt(m_text, m_at);
            if (m_rules == Rules::Plain || (c != u' ' && c != u'\t' && c != u'\n'))
                return c;
            ++m_at;
        }
        return 0;
    }
    void take() { ++m_at; }
    qsizetype position() const { return m_at; }
    void rewind(qsizetype at) { m_at = at; }
    // Whether only white space is left.
    bool atEnd() const
    {
        for (qsizetype i = m_at; i < m_text.size(); ++i)
            if (!isWhiteSpace(charAt(m_text, i)))
                return false;
        return true;
    }

private:
    const Text& m_text;
    Rules m_rules;
    qsizetype m_at = 0;
};

template <typename Text>
std::optional<Scanned> scan(const Text& text, Rules rules)
{
    Scanner<Text> in(text, rules);
    if (rules == Rules::Workbook && in.peek() == u'&') {
        const qsizetype at = in.position();
        in.take();
        const char16_t kind = in.peek();
        if (kind == u'H' || kind == u'h' || kind == u'O' || kind == u'o') {
            in.take();
            const int base = (kind == u'H' || kind == u'h') ? 16 : 8;
            double value = 0;
            bool digits = false;
            for (int d; (d = digitValue(in.peek(), base)) >= 0; in.take()) {
                value = value * base + d;
                digits = true;
            }
            if (!digits || !std::isfinite(value))
                return std::nullopt; // no digit after the prefix, or beyond a double
            return Scanned{value, in.atEnd()};
        }
        in.rewind(at);
    }

    // sign, digits [. digits] [(E|D) [sign] digits]
    std::string number;
    const char16_t sign = in.peek();
    if (sign == u'+' || sign == u'-') {
        if (sign == u'-')
            number.push_back('-'); // from_chars takes no plus sign
        in.take();
    }
    bool digits = false;
    for (char16_t c; (c = in.peek()) >= u'0' && c <= u'9'; in.take()) {
        number.push_back(char(c));
        digits = true;
    }
    if (in.peek() == u'.') {
        number.push_back('.');
        in.take();
        for (char16_t c; (c = in.peek()) >= u'0' && c <= u'9'; in.take()) {
            number.push_back(char(c));
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    const char16_t e = in.peek();
    if (e == u'E' || e == u'e' || (rules == Rules::Workbook && (e == u'D' || e == u'd'))) {
        const qsizetype at = in.position();
        const size_t mantissa = number.size();
        number.push_back('e');
        in.take();
        if (const char16_t s = in.peek(); s == u'+' || s == u'-') {
            number.push_back(char(s));
            in.take();
        }
        bool expDigits = false;
        for (char16_t c; (c = in.peek()) >= u'0' && c <= u'9'; in.take()) {
            number.push_back(char(c));
            expDigits = true;
        }
        if (!expDigits) { // an exponent without digits is no part of the number
            number.resize(mantissa);
            in.rewind(at);
        }
    }
    // from_chars reads "." whatever the locale; strtod and std::stod would follow LC_NUMERIC,
    // which a Qt application sets from the environment (a German desktop reads "123.4" as 123).
    double v = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(v))
        return std::nullopt; // out of range
    return Scanned{v, in.atEnd()};
}

template <typename Text>
std::optional<double> leading(const Text& text)
{
    const std::optional<Scanned> s = scan(text, Rules::Workbook);
    return s ? std::optional(s->value) : std::nullopt;
}

template <typename Text>
std::optional<double> whole(const Text& text)
{
    const std::optional<Scanned> s = scan(text, Rules::Plain);
    if (!s || !s->whole)
        return std::nullopt;
    return s->value;
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

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

template <typename Text>
std::optional<qint64> timeIn(const Text& text)
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

double Val(const QString& text) { return leadingNumber(text).value_or(0); }

std::optional<double> leadingNumber(const QString& text) { return leading(text); }

std::optional<double> leadingNumber(QByteArrayView utf8) { return leading(utf8); }

std::optional<double> wholeNumber(const QString& text) { return whole(text); }

std::optional<double> wholeNumber(QByteArrayView utf8) { return whole(utf8); }

namespace ReadingLayout {

QStringList headers()
{
    return {QStringLiteral("编号"), QStringLiteral("读数"), QStringLiteral("温度"), QStringLiteral("时间")};
}

bool applies(const PreviewGrid& grid) { return grid.cols() > 2; }

bool isHeading(const PreviewGrid& grid, int row)
{
    return grid.utf8(row, kReading).isEmpty() && grid.utf8(row, kTemperature).isEmpty();
}

bool startsSection(const PreviewGrid& grid, int row) { return applies(grid) && row > 1 && isHeading(grid, row); }

std::vector<Section> sections(const PreviewGrid& grid)
{
    std::vector<Section> out;
    const int rows = grid.rows();
    out.push_back({1, rows});
    for (int r = 2; r < rows; ++r) {
        if (!startsSection(grid, r))
            continue;
        out.back().end = r;
        out.push_back({r, rows});
    }
    return out;
}

bool isNumberColumn(const PreviewGrid& grid, int col) { return applies(grid) && (col == kReading || col == kTemperature); }

double workbookValue(const QString& text) { return Val(text) / 10.0; }

std::optional<double> leadingTenths(QByteArrayView utf8)
{
    const std::optional<double> v = leadingNumber(utf8);
    return v ? std::optional(*v / 10.0) : std::nullopt;
}

std::optional<double> tenths(const QString& text)
{
    const std::optional<double> v = whole(text);
    return v ? std::optional(*v / 10.0) : std::nullopt;
}

std::optional<double> tenths(QByteArrayView utf8)
{
    const std::optional<double> v = whole(utf8);
    return v ? std::optional(*v / 10.0) : std::nullopt;
}

std::optional<qint64> timeOf(const QString& text) { return timeIn(text); }

std::optional<qint64> timeOf(QByteArrayView utf8) { return timeIn(utf8); }

Records::Records(const PreviewGrid& grid) : m_grid(&grid)
{
    if (grid.cols() >= kColumns && grid.rows() >= 2)
        m_sections = sections(grid);
}

bool Records::next(Record& out)
{
    const PreviewGrid& g = *m_grid;
    while (m_section < m_sections.size()) {
        const Section& section = m_sections[m_section];
        if (!m_entered) {
            // Each later section begins with its file's name row; the first begins at row 1,
            // which holds a name too unless the reply began with a record.
            m_entered = true;
            m_row = section.first;
            m_file = QByteArrayView();
            if (m_row < section.end && isHeading(g, m_row))
                m_file = g.utf8(m_row++, kCode);
        }
        while (m_row < section.end) {
            const int row = m_row++;
            const QByteArrayView code = g.utf8(row, kCode);
            if (code.isEmpty())
                continue;
            out = Record{m_file, code, g.utf8(row, kReading), g.utf8(row, kTemperature), g.utf8(row, kTime)};
            // A record without a temperature: its time stands where the temperature would.
            if (out.time.isEmpty() && timeIn(out.temperature)) {
                out.time = out.temperature;
                out.temperature = QByteArrayView();
            }
            return true;
        }
        ++m_section;
        m_entered = false;
    }
    return false;
}

} // namespace ReadingLayout
