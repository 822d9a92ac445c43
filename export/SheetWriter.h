#pragma once

#include <QString>

class PreviewGrid;
namespace sheets {
class Application;
class Workbook;
}

// Writes the preview grid into the workbook at a path through an automation server: one
// worksheet per section of the grid (a row after row 1 whose reading and temperature are both
// empty starts one), each headed by the grid's header row; reading and temperature also as
// numbers divided by 10. The first worksheet is the template's "Sheet1", renamed after grid
// cell (1, 0) with the characters a file name cannot hold replaced by "-".
namespace SheetWriter {

// Replaces each of < > / \ | ? * and the double quote by "-"; the length stays.
QString sanitizeName(const QString& name);

// Opens the workbook, writes everything, saves and closes it; throws sheets::Error when the
// server refuses a step. `opened` is set as soon as the workbook is open, for a failure path
// that must still reach it. The application is left to the caller.
void write(const PreviewGrid& grid, sheets::Application& app, const QString& path, sheets::Workbook*& opened);

} // namespace SheetWriter
