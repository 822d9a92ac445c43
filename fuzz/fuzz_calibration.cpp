// Fuzzes the calibration table reader: any bytes as a .csv, .xls or .xlsx file (a workbook's
// signature decides, anything else is CSV), read into calibrations, written back and read again.
//
// Checked: reading never fails without saying why; every calibration read has a code, in upper
// case, given once, and finite numbers; the table written back as CSV (toCsv), as the grid shows
// it (shownHeaders and shownRow) and as an .xls workbook of toRow's texts reads back as the same
// table, without a single problem.
#include "archive/CalibrationTable.h"
#include "archive/TableFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <workbook/workbook.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

using archive::Calibration;
namespace CalibrationTable = archive::CalibrationTable;

namespace {

#define CHECK(cond)                                                                                  \
    do {                                                                                             \
        if (!(cond)) {                                                                               \
            std::fprintf(stderr, "fuzz_calibration: check failed: %s (line %d)\n", #cond, __LINE__); \
            __builtin_trap();                                                                        \
        }                                                                                            \
    } while (0)

QTemporaryDir& folder()
{
    static QTemporaryDir* dir = new QTemporaryDir;
    return *dir;
}

QString writeFile(const QString& name, QByteArrayView bytes)
{
    const QString path = QDir(folder().path()).filePath(name);
    QFile f(path);
    CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    CHECK(f.write(bytes.data(), bytes.size()) == bytes.size());
    f.close();
    return path;
}

// Reads a file that this program wrote: it must read whole, without a problem.
std::vector<Calibration> readBack(const QString& path)
{
    QString error;
    const auto rows = archive::TableFile::read(path, &error);
    if (!rows)
        std::fprintf(stderr, "fuzz_calibration: %s\n", qPrintable(error));
    CHECK(rows);
    QStringList problems;
    std::vector<Calibration> table = CalibrationTable::fromRows(*rows, &problems);
    for (const QString& p : problems)
        std::fprintf(stderr, "fuzz_calibration: %s\n", qPrintable(p));
    CHECK(problems.isEmpty());
    return table;
}

void checkSame(const std::vector<Calibration>& want, const std::vector<Calibration>& got)
{
    CHECK(got.size() == want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (!(got[i] == want[i])) {
            const QStringList a = CalibrationTable::toRow(want[i]);
            const QStringList b = CalibrationTable::toRow(got[i]);
            for (qsizetype k = 0; k < a.size(); ++k)
                if (a[k] != b[k] || k == 0)
                    std::fprintf(stderr, "fuzz_calibration: row %zu, %s: \"%s\" became \"%s\"\n", i,
                                 qPrintable(CalibrationTable::headers()[k]), qPrintable(a[k]), qPrintable(b[k]));
        }
        CHECK(got[i] == want[i]);
    }
}

QString xlsOf(const std::vector<QStringList>& rows)
{
    auto book = workbook::Workbook::createXls();
    CHECK(book);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < rows[r].size(); ++c)
            CHECK(!book->sheet(0).setText(int(r) + 1, int(c) + 1, rows[r][c].toStdString()));
    auto bytes = book->toBytes();
    CHECK(bytes);
    return writeFile(QStringLiteral("back.xls"), QByteArrayView(bytes->data(), qsizetype(bytes->size())));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz_calibration";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    CHECK(folder().isValid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString name = QStringLiteral("in.csv");
    if (bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        name = QStringLiteral("in.xls");
    else if (bytes.startsWith(QByteArrayView("PK\x03\x04", 4)))
        name = QStringLiteral("in.xlsx");
    const QString path = writeFile(name, bytes);

    QString error;
    const auto rows = archive::TableFile::read(path, &error);
    if (!rows) {
        CHECK(!error.isEmpty()); // a failure always says why
        return 0;
    }
    QStringList problems;
    const std::vector<Calibration> table = CalibrationTable::fromRows(*rows, &problems);
    for (const QString& p : problems)
        CHECK(!p.isEmpty());
    QSet<QString> codes;
    for (const Calibration& c : table) {
        CHECK(!c.code.isEmpty());
        CHECK(c.code == c.code.toUpper());
        CHECK(!codes.contains(c.code));
        codes.insert(c.code);
        for (double v : {c.G, c.A, c.B, c.C, c.R0, c.T0, c.K})
            CHECK(std::isfinite(v));
    }

    // As a CSV file of this program.
    checkSame(table, readBack(writeFile(QStringLiteral("back.csv"), CalibrationTable::toCsv(table))));

    // As the calibration dialog's grid shows it and reads it back.
    std::vector<QStringList> shown{CalibrationTable::shownHeaders()};
    std::vector<QStringList> stored{CalibrationTable::headers()};
    for (const Calibration& c : table) {
        shown.push_back(CalibrationTable::shownRow(c));
        stored.push_back(CalibrationTable::toRow(c));
    }
    QStringList shownProblems;
    checkSame(table, CalibrationTable::fromRows(shown, &shownProblems));
    CHECK(shownProblems.isEmpty());

    // As a workbook holding the texts a file writes, where the table fits in an .xls worksheet.
    // A text that begins with U+FEFF is left out: Qt's UTF-8 decoding drops it from the start of
    // a workbook cell (a byte-order mark), which spares a header cell written with one.
    bool fits = stored.size() < std::size_t(workbook::kXlsMaxRows);
    for (const QStringList& r : stored)
        for (const QString& t : r)
            fits = fits && t.size() <= 32767 && !t.startsWith(QChar(0xFEFF));
    if (fits)
        checkSame(table, readBack(xlsOf(stored)));
    return 0;
}
