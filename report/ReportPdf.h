#pragma once

#include "report/Report.h"

#include <QString>

// The report as a PDF: A4 pages with a header (title, site, period) and page numbers; a cover
// (site, period, readouts used, when made and by whom, the program's version, the remarks); a
// summary table of every gauge; per gauge (or per group of gauges of one type) its trend in
// engineering units over the period, drawn as vectors by the window's own trend plot (trigger
// bands, baseline, status changes), with a short table; the period's events and
// acknowledgements, the quality flags, the masks, the overdue gauges and the calibration
// versions used. The text is in a CJK font embedded in the file.
namespace report {

// The font family the report writes in: the first installed of the CJK fonts it knows
// (Debian's WenQuanYi Micro Hei or Noto Sans CJK SC, Windows' Microsoft YaHei or SimSun);
// the application's default font when none is.
QString pdfFontFamily();

// Writes the PDF to `path` (needs a QApplication: the plots are widgets drawn into the page).
// `progress` is told of each gauge (done of gauges) and may stop the write: cancelled, nothing
// is written. The file is replaced only when complete.
WriteResult writePdf(const QString& path, const Content& content, const Progress& progress = {});

} // namespace report
