#include "tests/support/XlrdReader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {
QJsonArray run(const char* script, const QString& path, QString* error)
{
    QProcess python;
    python.start(QStringLiteral(SYSTEM_PYTHON3), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    python.waitForFinished(120000);
    if (python.exitCode() != 0) {
        if (error)
            *error = QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}
} // namespace

QJsonArray readWithOpenpyxl(const QString& path, QString* error)
{
    static const char* script = R"(
import json, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
out = []
for sheet in book.worksheets:
    cells = []
    for r, row in enumerate(sheet.iter_rows(values_only=True), 1):
        for c, value in enumerate(row, 1):
            if isinstance(value, str):
                cells.append([r, c, "text", value])
            elif isinstance(value, (int, float)) and not isinstance(value, bool):
                cells.append([r, c, "number", value])
    out.append({"name": sheet.title, "cells": cells})
print(json.dumps(out))
)";
    return run(script, path, error);
}

QJsonArray readWithXlrd(const QString& path, QString* error)
{
    static const char* script = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
out = []
for sheet in book.sheets():
    cells = []
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_TEXT:
                cells.append([r + 1, c + 1, "text", cell.value])
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                cells.append([r + 1, c + 1, "number", cell.value])
    out.append({"name": sheet.name, "cells": cells})
print(json.dumps(out))
)";
    return run(script, path, error);
}

QList<QStringList> readWithPythonCsv(const QString& path, QString* error)
{
    static const char* script = R"(
import csv, io, json, sys
t = open(sys.argv[1], encoding='utf-8', newline='').read()
bom = t[:1] == '\ufeff'
rows = [['BOM']] if bom else []
rows += csv.reader(io.StringIO(t[1:] if bom else t), strict=True)
print(json.dumps(rows))
)";
    QList<QStringList> rows;
    for (const auto& row : run(script, path, error))
        rows << row.toVariant().toStringList();
    return rows;
}

bool haveLibreOffice() { return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(); }

QJsonArray convertWithLibreOffice(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return QJsonArray();
    };
    QTemporaryDir work;
    const QString out = work.filePath(QStringLiteral("out"));
    // A profile of its own, so that no other LibreOffice and no earlier run is involved. The
    // filter options: comma, double quote, UTF-8, from line 1, ..., and -1 for every worksheet.
    QProcess soffice;
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=file://") + work.filePath(QStringLiteral("profile")),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                   QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"),
                   QStringLiteral("--outdir"), out, path});
    if (!soffice.waitForFinished(180000))
        return fail(QStringLiteral("LibreOffice did not finish"));
    const QString log = QString::fromUtf8(soffice.readAllStandardOutput() + soffice.readAllStandardError());
    if (soffice.exitCode() != 0 || log.contains(QStringLiteral("Error")))
        return fail(log);
    // It writes "<stem>-<worksheet>.csv" and reports each worksheet as "Writing sheet NAME -> FILE",
    // in workbook order.
    QJsonArray sheets;
    for (const QString& line : log.split(QLatin1Char('\n'))) {
        static const QString kWriting = QStringLiteral("Writing sheet ");
        const qsizetype arrow = line.indexOf(QStringLiteral(" -> "));
        if (!line.startsWith(kWriting) || arrow < 0)
            continue;
        const QString file = line.mid(arrow + 4).trimmed();
        QString csvError;
        const QList<QStringList> rows = readWithPythonCsv(file, &csvError);
        if (!csvError.isEmpty())
            return fail(csvError);
        QJsonArray rowArray;
        for (const QStringList& row : rows)
            rowArray.append(QJsonArray::fromStringList(row));
        sheets.append(QJsonObject{{QStringLiteral("name"), line.mid(kWriting.size(), arrow - kWriting.size())},
                                  {QStringLiteral("rows"), rowArray}});
    }
    if (sheets.isEmpty())
        return fail(QStringLiteral("LibreOffice wrote no worksheet: ") + log);
    return sheets;
}

QJsonArray importCsvWithLibreOffice(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return QJsonArray();
    };
    QTemporaryDir work;
    const QString out = work.filePath(QStringLiteral("out"));
    // The import options: comma, double quote, UTF-8, from line 1, standard columns, default
    // language, quoted fields not forced to text, special numbers detected, ..., and the last
    // one: formulas evaluated.
    QProcess soffice;
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=file://") + work.filePath(QStringLiteral("profile")),
                   QStringLiteral("--headless"),
                   QStringLiteral("--infilter=CSV:44,34,76,1,,0,false,true,false,false,false,-1,true"),
                   QStringLiteral("--convert-to"), QStringLiteral("xlsx"), QStringLiteral("--outdir"), out, path});
    if (!soffice.waitForFinished(180000))
        return fail(QStringLiteral("LibreOffice did not finish"));
    const QString log = QString::fromUtf8(soffice.readAllStandardOutput() + soffice.readAllStandardError());
    const QString converted = QDir(out).filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".xlsx"));
    if (soffice.exitCode() != 0 || !QFileInfo::exists(converted))
        return fail(log);
    static const char* script = R"(
import json, sys, openpyxl
sheet = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
cells = []
for row in sheet.iter_rows():
    for cell in row:
        if cell.value is None:
            continue
        kind = {"s": "text", "n": "number", "f": "formula"}.get(cell.data_type, cell.data_type)
        cells.append([cell.row, cell.column, kind, cell.value])
print(json.dumps(cells))
)";
    return run(script, converted, error);
}
