#include "archive/CalibrationTable.h"

#include "archive/TableFile.h"

#include <QCoreApplication>
#include <QLocale>

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

QStringList shownChoices(int column)
{
    switch (column) {
    case Kind:
        return {translated(kDigits), translated(kFrequency)};
    case FormCol:
        return {translated(kLinear), translated(kPolynomial)};
    case Reversed:
        return {kForward, kBackward};
    case FieldZero:
        return {translated(kNo), translated(kYes)};
    default:
        return {};
    }
}

QStringList shownRow(const Calibration& c) { return row(c, translated); }

std::vector<Calibration> fromRows(const std::vector<QStringList>& rows, QStringList* problems, int headerRow,
                                  const std::function<bool(qint64)>& cancel)
{
    std::vector<Calibration> out;
    if (rows.empty())
        return out;
    const QStringList shown = shownNames();
    // Which column of the file holds which field.
    std::vector<int> field(std::size_t(rows[0].size()), -1);
    for (qsizetype i = 0; i < rows[0].size(); ++i) {
        const QString h = rows[0][i].trimmed();
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
            *problems << QCoreApplication::translate("CalibrationTable", "第 %1 行：没有“%2”列").arg(headerRow).arg(shown[Code]);
        return out;
    }
    //: %1 the column, %2 the cell, %3 and %4 the words it may hold.
    const auto neither = [&](int col, const QString& cell, const QString& one, const QString& other) {
        return QCoreApplication::translate("CalibrationTable", "%1“%2”不是“%3”或“%4”").arg(shown[col], cell, one, other);
    };
    std::map<QString, std::size_t> byCode;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (cancel && r % 4096 == 0 && cancel(qint64(r)))
            return {};
        QStringList v(Count);
        for (qsizetype i = 0; i < rows[r].size() && std::size_t(i) < field.size(); ++i)
            if (field[std::size_t(i)] >= 0)
                v[field[std::size_t(i)]] = rows[r][i].trimmed();
        bool blank = true;
        for (const QString& s : rows[r])
            blank = blank && s.trimmed().isEmpty();
        if (blank)
            continue;
        // Every field of the row that cannot be read is named, not only the first, in the
        // order of the columns.
        std::map<int, QString> bad;
        Calibration c;
        c.code = v[Code].toUpper();
        if (c.code.isEmpty())
            bad[Code] = QCoreApplication::translate("CalibrationTable", "没有元件编号");
        c.gauge = v[Gauge];
        c.unit = v[Unit];
        const auto kind = kindOf(v[Kind]);
        const auto form = formOf(v[FormCol]);
        const auto reversed = yesNo(v[Reversed], kBackward, kForward);
        const auto fieldZero = yesNo(v[FieldZero], stored(kYes), stored(kNo));
        if (!kind)
            bad[Kind] = neither(Kind, v[Kind], translated(kFrequency), translated(kDigits));
        if (!form)
            bad[FormCol] = neither(FormCol, v[FormCol], translated(kLinear), translated(kPolynomial));
        if (!reversed)
            bad[Reversed] = neither(Reversed, v[Reversed], kForward, kBackward);
        if (!fieldZero)
            bad[FieldZero] = neither(FieldZero, v[FieldZero], translated(kYes), translated(kNo));
        for (auto [col, target] : {std::pair{int(G), &c.G}, {int(A), &c.A}, {int(B), &c.B}, {int(C), &c.C}, {int(R0), &c.R0}, {int(T0), &c.T0}, {int(K), &c.K}}) {
            if (v[col].isEmpty())
                continue;
            bool ok = false;
            // A full stop, whatever the machine's locale; a comma as decimal separator is read too.
            double d = QLocale::c().toDouble(v[col], &ok);
            if (!ok)
                d = QLocale::c().toDouble(QString(v[col]).replace(u',', u'.'), &ok);
            if (!ok || !std::isfinite(d))
                bad[col] = QCoreApplication::translate("CalibrationTable", "%1“%2”不是数字").arg(shown[col], v[col]);
            else
                *target = d;
        }
        if (!bad.empty()) {
            if (problems) {
                QStringList all;
                for (const auto& [col, what] : bad)
                    all << what;
                *problems << QCoreApplication::translate("CalibrationTable", "第 %1 行：").arg(qint64(r) + headerRow) +
                                 all.join(QCoreApplication::translate("CalibrationTable", "；"));
            }
            continue;
        }
        c.kind = *kind;
        c.form = *form;
        c.reversed = *reversed;
        c.fieldZero = *fieldZero;
        if (auto it = byCode.find(c.code); it != byCode.end()) {
            out[it->second] = c;
        } else {
            byCode[c.code] = out.size();
            out.push_back(c);
        }
    }
    return out;
}

QStringList merge(std::vector<QStringList>& shownRows, const std::vector<Calibration>& imported)
{
    std::map<QString, std::size_t> rowOf;
    for (std::size_t i = 0; i < shownRows.size(); ++i) {
        const QString code = shownRows[i].value(Code).trimmed().toUpper();
        if (!code.isEmpty())
            rowOf.emplace(code, i); // a code typed twice: its first row is the one replaced
    }
    QStringList replaced;
    for (const Calibration& c : imported) {
        if (auto it = rowOf.find(c.code); it != rowOf.end()) {
            shownRows[it->second] = shownRow(c);
            replaced << c.code;
        } else {
            rowOf.emplace(c.code, shownRows.size());
            shownRows.push_back(shownRow(c));
        }
    }
    return replaced;
}

QByteArray toCsv(const std::vector<Calibration>& all)
{
    std::vector<QStringList> rows{headers()};
    for (const Calibration& c : all)
        rows.push_back(toRow(c));
    return TableFile::csvText(rows);
}

} // namespace archive::CalibrationTable
