#pragma once

#include <QJsonArray>
#include <QString>

// Reads a workbook with python3-xlrd, a reader nobody on this project wrote. Each sheet comes
// back as {"name": ..., "cells": [[row, column, type, value], ...]} with rows and columns from 1,
// type "text" or "number" (xlrd's cell types), in workbook order. An empty array and a
// description in `error` if xlrd refused the file.
QJsonArray readWithXlrd(const QString& path, QString* error = nullptr);

// The same for an .xlsx file, read with python3-openpyxl: types "text" or "number" as openpyxl
// gives the values (str, int or float).
QJsonArray readWithOpenpyxl(const QString& path, QString* error = nullptr);
