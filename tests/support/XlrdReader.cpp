#include "tests/support/XlrdReader.h"

#include <QJsonDocument>
#include <QProcess>

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
