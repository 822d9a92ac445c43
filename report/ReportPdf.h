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

// The page layout, fixed so that the pages can be counted before they are drawn (the footer's
// "page n of N"): A4 portrait, 15 mm margins; every page but the cover has the header (title,
// site, period) and the footer (page n of N). In order:
// - page 1: the cover;
// - the summary, kSummaryRowsPerPage gauges a page with the header row on each page (one page
//   saying "none" without gauges): ceil(gauges / kSummaryRowsPerPage) pages, at least 1;
// - the plots, kPlotsPerPage a page, each with its short table: a plot a gauge (PerGauge), or a
//   plot for each kMaxPerGroupPlot gauges of a type, the type's further gauges on further plots
//   (PerType): ceil(plots / kPlotsPerPage) pages, none without gauges;
// - the lists, from a new page, each a section in this order: events and acknowledgements,
//   quality flags, masks, overdue gauges, calibration versions used. A page holds
//   kListRowsPerPage rows. A section takes a row for its heading, then a row for its column
//   header and a row for each entry, or, without entries, one row saying "none". A section that
//   would find fewer than kListSectionStart rows left on a page begins on the next page; a
//   section continued on a further page repeats its column header there (a row).
constexpr int kSummaryRowsPerPage = 22;
constexpr int kPlotsPerPage = 2;
constexpr int kListRowsPerPage = 32;
constexpr int kListSectionStart = 3;

// The font family the report writes in: the first installed of the CJK fonts it knows
// (Debian's WenQuanYi Micro Hei or Noto Sans CJK SC, Windows' Microsoft YaHei or SimSun);
// the application's default font when none is.
QString pdfFontFamily();

// Writes the PDF to `path` (needs a QApplication: the plots are widgets drawn into the page).
// `progress` is told of each gauge (done of gauges) and may stop the write: cancelled, nothing
// is written. The file is replaced only when complete.
WriteResult writePdf(const QString& path, const Content& content, const Progress& progress = {});

} // namespace report
