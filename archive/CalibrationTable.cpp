#include "archive/CalibrationTable.h"

#include "export/FailureText.h"
#include "platform/FilePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <workbook/workbook.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace archive::CalibrationTable {
namespace {

enum Column {
    Code,
    Gauge,
    Unit,
    Kind,
    FormCol,
    G,
    Reversed,
    A,
    B,
    C,
    FieldZero,
    R0,
    T0,
    K,
    Count
};

// The column names as files write them. The grid shows their translations (shownNames());
// a file may use either, or an alias.
const char* const kNames[Count] = {
    QT_TRANSLATE_NOOP("CalibrationTable", "元件编号"), QT_TRANSLATE_NOOP("CalibrationTable", "仪器类型"),
    QT_TRANSLATE_NOOP("CalibrationTable", "单位"), QT_TRANSLATE_NOOP("CalibrationTable", "读数类型"),
    QT_TRANSLATE_NOOP("CalibrationTable", "公式"), "G", QT_TRANSLATE_NOOP("CalibrationTable", "方向"), "A", "B", "C",
    QT_TRANSLATE_NOOP("CalibrationTable", "现场零点"), "R0", "T0", "K"};

QString translated(const char* source) { return QCoreApplication::translate("CalibrationTable", source); }

const QStringList& names()
{
    static const QStringList n = [] {
        QStringList all;
        for (const char* name : kNames)
            all << QString::fromUtf8(name);
        return all;
    }();
    return n;
}

QStringList shownNames()
{
    QStringList all;
    for (const char* name : kNames)
        all << translated(name);
    return all;
}

// Also accepted in a header, for sheets made elsewhere.
const std::map<QString, int>& aliases()
{
    static const std::map<QString, int> a{
        {QStringLiteral("code"), Code}, {QStringLiteral("编号"), Code}, {QStringLiteral("gauge"), Gauge}, {QStringLiteral("type"), Gauge}, {QStringLiteral("unit"), Unit}, {QStringLiteral("reading"), Kind}, {QStringLiteral("form"), FormCol}, {QStringLiteral("reversed"), Reversed}, {QStringLiteral("direction"), Reversed}, {QStringLiteral("field zero"), FieldZero}, {QStringLiteral("零读数"), R0}, {QStringLiteral("零点温度"), T0}, {QStringLiteral("温度系数"), K}, {QStringLiteral("gauge factor"), G}, {QStringLiteral("thermal factor"), K}};
    return a;
}

// The words of the table's cells as files write them; the grid shows their translations.
const char* const kFrequency = QT_TRANSLATE_NOOP("CalibrationTable", "频率");
const char* const kDigits = QT_TRANSLATE_NOOP("CalibrationTable", "模数");
const char* const kLinear = QT_TRANSLATE_NOOP("CalibrationTable", "线性");
const char* const kPolynomial = QT_TRANSLATE_NOOP("CalibrationTable", "多项式");
const QString kForward = QStringLiteral("R1-R0");
const QString kBackward = QStringLiteral("R0-R1");
const char* const kYes = QT_TRANSLATE_NOOP("CalibrationTable", "是");
const char* const kNo = QT_TRANSLATE_NOOP("CalibrationTable", "否");

// Whether `lowered` (a cell's text in lower case) is the word, as files write it or as the grid
// shows it.
bool isWord(const QString& lowered, const char* word)
{
    return lowered == QString::fromUtf8(word).toLower() || lowered == translated(word).toLower();
}

// The shortest text that reads back as the same double: fifteen digits would round some values
// (and the largest ones up beyond a double, which then no longer read as a number).
QString number(double v) { return v == 0 ? QStringLiteral("0") : QString::number(v, 'g', QLocale::FloatingPointShortest); }

std::optional<ReadingKind> kindOf(const QString& t)
{
    const QString s = t.trimmed().toLower();
    if (s.isEmpty() || isWord(s, kDigits) || s == QStringLiteral("digits") || s == QStringLiteral("线性单位"))
        return ReadingKind::Digits;
    if (isWord(s, kFrequency) || s == QStringLiteral("hz") || s == QStringLiteral("frequency"))
        return ReadingKind::Frequency;
    return std::nullopt;
}

std::optional<Form> formOf(const QString& t)
{
    const QString s = t.trimmed().toLower();
    if (s.isEmpty() || isWord(s, kLinear) || s == QStringLiteral("linear"))
        return Form::Linear;
    if (isWord(s, kPolynomial) || s == QStringLiteral("polynomial"))
        return Form::Polynomial;
    return std::nullopt;
}

std::optional<bool> yesNo(const QString& t, const QString& yes, const QString& no)
{
    const QString s = t.trimmed().toLower();
    if (s.isEmpty() || s == no.toLower() || isWord(s, kNo) || s == QStringLiteral("no") || s == QStringLiteral("0"))
        return false;
    if (s == yes.toLower() || isWord(s, kYes) || s == QStringLiteral("yes") || s == QStringLiteral("1"))
        return true;
    return std::nullopt;
}

// A CSV text as rows (RFC 4180: quoted fields may hold commas, quotes and line breaks).
std::vector<QStringList> parseCsv(QString text)
{
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (ch == u'"') {
                quoted = false;
            } else {
                field += ch;
            }
            continue;
        }
        if (ch == u'"') {
            quoted = true;
            any = true;
        } else if (ch == u',') {
            row << field;
            field.clear();
            any = true;
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            if (any || !field.isEmpty())
                row << field;
            rows.push_back(row);
            row.clear();
            field.clear();
            any = false;
        } else {
            field += ch;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        row << field;
        rows.push_back(row);
    }
    return rows;
}

QByteArray csvField(const QString& s)
{
    QByteArray u = s.toUtf8();
    if (u.contains(',') || u.contains('"') || u.contains('\r') || u.contains('\n'))
        return '"' + u.replace("\"", "\"\"") + '"';
    return u;
}

} // namespace

QStringList headers() { return names(); }

QStringList shownHeaders() { return shownNames(); }

namespace {
// One calibration's texts, each word given by `word`.
QStringList row(const Calibration& c, QString (*word)(const char*))
{
    QStringList row(Count);
    row[Code] = c.code;
    row[Gauge] = c.gauge;
    row[Unit] = c.unit;
    row[Kind] = word(c.kind == ReadingKind::Frequency ? kFrequency : kDigits);
    row[FormCol] = word(c.form == Form::Linear ? kLinear : kPolynomial);
    row[G] = number(c.G);
    row[Reversed] = c.reversed ? kBackward : kForward;
    row[A] = number(c.A);
    row[B] = number(c.B);
    row[C] = number(c.C);
    row[FieldZero] = word(c.fieldZero ? kYes : kNo);
    row[R0] = number(c.R0);
    row[T0] = number(c.T0);
    row[K] = number(c.K);
    return row;
}
QString stored(const char* word) { return QString::fromUtf8(word); }
} // namespace

QStringList toRow(const Calibration& c) { return row(c, stored); }

QStringList shownRow(const Calibration& c) { return row(c, translated); }

std::vector<Calibration> fromRows(const std::vector<QStringList>& rows, QStringList* problems)
{
    std::vector<Calibration> out;
    if (rows.empty())
        return out;
    // Which column of the file holds which field.
    std::vector<int> field(std::size_t(rows[0].size()), -1);
    for (qsizetype i = 0; i < rows[0].size(); ++i) {
        const QString h = rows[0][i].trimmed();
        const QStringList shown = shownNames();
        qsizetype known = names().indexOf(h, 0);
        if (known < 0)
            known = shown.indexOf(h, 0);
        if (known >= 0) {
            field[std::size_t(i)] = int(known);
        } else if (auto it = aliases().find(h.toLower()); it != aliases().end()) {
            field[std::size_t(i)] = it->second;
        } else {
            for (int k = 0; k < Count; ++k)
                if (names()[k].compare(h, Qt::CaseInsensitive) == 0 || shown[k].compare(h, Qt::CaseInsensitive) == 0)
                    field[std::size_t(i)] = k;
        }
    }
    if (std::find(field.begin(), field.end(), int(Code)) == field.end()) {
        if (problems)
            *problems << QCoreApplication::translate("CalibrationTable", "第 1 行：没有“%1”列").arg(shownNames()[Code]);
        return out;
    }
    std::map<QString, std::size_t> byCode;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        QStringList v(Count);
        for (qsizetype i = 0; i < rows[r].size() && std::size_t(i) < field.size(); ++i)
            if (field[std::size_t(i)] >= 0)
                v[field[std::size_t(i)]] = rows[r][i].trimmed();
        bool blank = true;
        for (const QString& s : rows[r])
            blank = blank && s.trimmed().isEmpty();
        if (blank)
            continue;
        const QString where = QCoreApplication::translate("CalibrationTable", "第 %1 行：").arg(r + 1);
        auto problem = [&](const QString& what) {
            if (problems)
                *problems << where + what;
        };
        Calibration c;
        c.code = v[Code].toUpper();
        if (c.code.isEmpty()) {
            problem(QCoreApplication::translate("CalibrationTable", "没有元件编号"));
            continue;
        }
        c.gauge = v[Gauge];
        c.unit = v[Unit];
        const auto kind = kindOf(v[Kind]);
        const auto form = formOf(v[FormCol]);
        const auto reversed = yesNo(v[Reversed], kBackward, kForward);
        const auto fieldZero = yesNo(v[FieldZero], stored(kYes), stored(kNo));
        if (!kind) {
            // %1 the column, %2 the cell, %3 and %4 the words it may hold.
            problem(QCoreApplication::translate("CalibrationTable", "%1“%2”不是“%3”或“%4”")
                        .arg(shownNames()[Kind], v[Kind], translated(kFrequency), translated(kDigits)));
            continue;
        }
        if (!form) {
            problem(QCoreApplication::translate("CalibrationTable", "%1“%2”不是“%3”或“%4”")
                        .arg(shownNames()[FormCol], v[FormCol], translated(kLinear), translated(kPolynomial)));
            continue;
        }
        if (!reversed || !fieldZero) {
            problem(QCoreApplication::translate("CalibrationTable", "“%1”或“%2”无法识别")
                        .arg(shownNames()[Reversed], shownNames()[FieldZero]));
            continue;
        }
        c.kind = *kind;
        c.form = *form;
        c.reversed = *reversed;
        c.fieldZero = *fieldZero;
        bool good = true;
        for (auto [col, target] : {std::pair{int(G), &c.G}, {int(A), &c.A}, {int(B), &c.B}, {int(C), &c.C}, {int(R0), &c.R0}, {int(T0), &c.T0}, {int(K), &c.K}}) {
            if (v[col].isEmpty())
                continue;
            bool ok = false;
            // A full stop, whatever the machine's locale; a comma as decimal separator is read too.
            double d = QLocale::c().toDouble(v[col], &ok);
            if (!ok)
                d = QLocale::c().toDouble(QString(v[col]).replace(u',', u'.'), &ok);
            if (!ok || !std::isfinite(d)) {
                problem(QCoreApplication::translate("CalibrationTable", "%1“%2”不是数字").arg(shownNames()[col], v[col]));
                good = false;
                break;
            }
            *target = d;
        }
        if (!good)
            continue;
        if (auto it = byCode.find(c.code); it != byCode.end()) {
            out[it->second] = c;
        } else {
            byCode[c.code] = out.size();
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::vector<QStringList>> readFile(const QString& path, QString* error)
{
    if (path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = FailureText::reason(QFileInfo::exists(path) ? workbook::ErrorKind::AccessDenied
                                                                     : workbook::ErrorKind::NotFound,
                                             path);
            return std::nullopt;
        }
        return parseCsv(QString::fromUtf8(f.readAll()));
    }
    auto book = workbook::Workbook::open(toFilePath(path));
    if (!book) {
        if (error)
            *error = FailureText::reason(book.error());
        return std::nullopt;
    }
    std::vector<QStringList> rows;
    if (book->sheetCount() == 0)
        return rows;
    book->sheet(0).forEachCell([&](int row, int col, const std::string& text) {
        if (row < 1 || col < 1)
            return;
        while (rows.size() < std::size_t(row))
            rows.emplace_back();
        QStringList& r = rows[std::size_t(row) - 1];
        while (r.size() < col)
            r << QString();
        r[col - 1] = QString::fromStdString(text);
    });
    return rows;
}

QByteArray toCsv(const std::vector<Calibration>& all)
{
    QByteArray out = "\xEF\xBB\xBF";
    auto line = [&](const QStringList& fields) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i)
                out += ',';
            out += csvField(fields[i]);
        }
        out += "\r\n";
    };
    line(headers());
    for (const Calibration& c : all)
        line(toRow(c));
    return out;
}

} // namespace archive::CalibrationTable
