#pragma once

#include <QString>
#include <QStringList>

// A written PDF read back by poppler's tools (poppler-utils), a reader this program did not write.
namespace report::test {

// The standard output of `tool` (pdftotext, pdfinfo, pdffonts) run on `arguments`; empty, and a
// gtest failure naming the tool and its complaint, when it cannot run or fails.
QString poppler(const QString& tool, const QStringList& arguments);
// The pages pdfinfo counts; 0 when it cannot read the file.
int pdfPages(const QString& pdf);
// The text of every page, or of page `page` (from 1), as pdftotext lays it out (-layout keeps a
// table's row on one line).
QString pdfText(const QString& pdf, int page = 0);
// pdffonts' table of the fonts the file uses.
QString pdfFonts(const QString& pdf);

} // namespace report::test
