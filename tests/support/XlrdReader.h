#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads a workbook with python3-xlrd, a reader nobody on this project wrote. Each sheet comes
// back as {"name": ..., "cells": [[row, column, type, value], ...]} with rows and columns from 1,
// type "text" or "number" (xlrd's cell types), in workbook order. An empty array and a
// description in `error` if xlrd refused the file.
QJsonArray readWithXlrd(const QString& path, QString* error = nullptr);

// The same for an .xlsx file, read with python3-openpyxl: types "text" or "number" as openpyxl
// gives the values (str, int or float).
QJsonArray readWithOpenpyxl(const QString& path, QString* error = nullptr);

// A CSV file as Python's csv module reads it (strict quoting). A byte-order mark is dropped and
// shows as a first row {"BOM"}; a file the module refuses gives no rows and `error`.
QList<QStringList> readWithPythonCsv(const QString& path, QString* error = nullptr);

// Whether LibreOffice (soffice) is on this machine.
bool haveLibreOffice();

// LibreOffice's headless conversion of a workbook: every worksheet to a CSV file of its own,
// read back as {"name": worksheet, "rows": [[text, ...], ...]} in workbook order. Empty and a
// description in `error` when LibreOffice could not load or convert the file.
QJsonArray convertWithLibreOffice(const QString& path, QString* error = nullptr);

// LibreOffice's headless import of a CSV file (comma, double quote, UTF-8, formulas evaluated as
// a spreadsheet opening it would), saved as .xlsx and read back with python3-openpyxl: the first
// worksheet's cells as [[row, column, type, value], ...], type "text", "number" or "formula"
// (what the import took for a formula). Empty and `error` when the import failed.
QJsonArray importCsvWithLibreOffice(const QString& path, QString* error = nullptr);
