#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Reads the CSV files the program takes in (RFC 4180: comma-separated, a field in double quotes
// may hold commas, doubled quotes and line breaks; CR LF, LF or CR ends a row).
//
// A Chinese spreadsheet saves "CSV (逗号分隔)" in GBK, most other programs in UTF-8, with or
// without a byte-order mark; neither says which. The bytes decide: text that is valid UTF-8 is
// read as UTF-8, anything else as GBK.
namespace CsvReader {

// The text of a file's bytes, decoded as above, without its byte-order mark.
QString decode(const QByteArray& bytes);

// The rows of a CSV text, blank lines kept as empty rows, so that row n of the result is row
// n + 1 as a spreadsheet shows the file. A quote that is never closed would swallow every later
// row: nullopt then, and `error` names the row where the quoted field began.
std::optional<std::vector<QStringList>> parse(const QString& text, QString* error);

// decode() then parse().
std::optional<std::vector<QStringList>> parse(const QByteArray& bytes, QString* error);

} // namespace CsvReader
