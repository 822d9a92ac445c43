#pragma once

#include "archive/Judgement.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The archive's facts in the command line's words, for the archive's commands and for copy:
// instants, the gauges' changes of status and what judging a copy's readings found, as lines of
// text and as JSON.
namespace cli {

// A readout's clock time (seconds counted as if it were UTC) as "2026-12-07 10:31:05".
QString readoutTime(qint64 t);
// A UTC instant as the PC's clock shows it, and for programs as ISO 8601 UTC; "" for 0.
QString localTime(qint64 utc);
QString isoTime(qint64 utc);
// A value with its unit, "1850.3 Hz"; "—" for none.
QString valueText(double value, const QString& unit);

// An event as a row of `archive events` (tab-separated: gauge, site, time on the PC's clock,
// readout, value and unit, from -> to, rule, 已确认 when acknowledged), and as JSON.
QString eventRow(const archive::LevelEvent& event);
QJsonObject eventJson(const archive::LevelEvent& event);

// What copy says on standard error of its verdict: a line per event (gauge, time, value and unit,
// from -> to, rule), then how many new readings were flagged; none when there is nothing to say.
QStringList verdictLines(const archive::Verdict& verdict);
// The verdict for programs: its events, the gauges whose status changed (with their status now),
// how many new readings were flagged, and whether it raised (the exit code 10).
QJsonObject verdictJson(const archive::Verdict& verdict);

} // namespace cli
