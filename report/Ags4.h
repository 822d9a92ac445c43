#pragma once

#include "report/Report.h"

#include <QString>

// The report's readings as an AGS4 file (the exchange format of geotechnical data) for other
// monitoring systems: the PROJ, TRAN, UNIT, TYPE and ABBR groups, then LOCA, MONG (one row per
// gauge: its installation) and MOND (one row per reading and quantity: the frequency, the
// temperature and the engineering value, with units; the readout as instrument; flags and masks
// as remarks). Written as AGS4 requires: every field quoted (a quote inside doubled, a line break
// made a space), CR LF line ends, each group's GROUP, HEADING, UNIT and TYPE rows before its DATA
// rows, a blank line between groups.
//
// How the report's facts are put into AGS4 (the edition written is 4.0.4, in TRAN_AGS):
// - PROJ: PROJ_ID the site's name (the report's title without a site), PROJ_NAME the title,
//   PROJ_MEMO the operator's remarks. TRAN: the date made, the maker (TRAN_PROD), the period and
//   the program (TRAN_DESC, TRAN_REM), "+" as TRAN_DLIM and TRAN_RCON.
// - LOCA: a location per gauge (LOCA_ID the gauge's name, LOCA_REM its location), because MONG
//   rows need a parent LOCA row. MONG: LOCA_ID and MONG_ID the gauge's name; MONG_DIS (a key,
//   the distance along the location) is left empty, as the register does not know it; MONG_DATE
//   the installation date; MONG_TYPE a code of the gauge's type (VWP piezometer, VWSG strain
//   gauge, VWCM crack meter, VWLC load cell, VWDM displacement meter, VWTH thermometer; another
//   type by its own text when that is a code of up to 10 letters and digits, else TYPE1, TYPE2,
//   ...), listed in ABBR with the type's name; MONG_DETL the readouts that read it ("+" between);
//   MONG_REM the register's notes.
// - MOND: MOND_TYPE FREQ (the frequency as read, Hz), TEMP (the temperature, DegC) and VAL (the
//   engineering value by the calibration version of its instant, in the gauge's unit; none for a
//   gauge whose values are readings in Hz); MOND_INST the readout; MOND_REM the status when above
//   normal, the quality flags and the mask (with its note), in the report's language; MOND_REF
//   numbers the readings of one instant (1, 2, ...) when there are several, so keys stay unique.
// - Times are UTC: MOND_DTIM "yyyy-mm-ddThh:mm:ss", MONG_DATE and TRAN_DATE "yyyy-mm-dd", each
//   format in the UNIT row and listed in the UNIT group, as every unit used is (Hz, DegC, m, the
//   gauges' units) and every data type is in TYPE. The degree Celsius is spelt "DegC", as AGS
//   units are spelt, in ASCII; a micro prefix becomes "u" (µε: "ustrain").
// - AGS4 asks for ASCII text. The file's own words (headings, codes, units, types) are ASCII;
//   the operator's texts (names of sites and types, locations, notes, remarks) and a Chinese
//   report's words are written as they are, in UTF-8 without a byte-order mark, which UTF-8
//   readers of AGS take; an English report of ASCII names gives a file of ASCII only.
// - Groups without rows are left out (LOCA, MONG and MOND without gauges or readings; ABBR
//   without codes).
// Progress is told once per gauge; a cancel or a failure leaves no file, and an old one intact.
namespace report {

WriteResult writeAgs4(const QString& path, const Content& content, const Progress& progress = {});

} // namespace report
