#pragma once

#include "archive/Judgement.h"

#include <QString>
#include <cmath>
#include <vector>

// What the verdict panel lists after a copy was archived, without widgets: the gauges whose status
// the copy's readings changed, worst first (back to normal last among them), then the gauges with
// flagged readings whose status did not change; and the headline above them.
namespace verdictmodel {

struct Row {
    QString gauge;
    QString site;
    bool changed = false; // the status changed (else: flagged readings only)
    bool flagged = false; // the gauge's new readings include flagged ones
    int from = 0;         // the status before and now (changed only)
    int status = 0;
    QString statusName; // of `status`, in the level set's words ("报警", "正常")
    double value = std::nan("");
    QString unit;
    QString rule;    // the level that set the status ("" when back to normal)
    qint64 time = 0; // the readout's clock of the reading where it changed (0: not known)
    qint64 utc = 0;
};

// Whether there is anything to show: a change of status or a flagged reading.
bool worthShowing(const archive::Verdict& verdict);
std::vector<Row> rows(const archive::Verdict& verdict);
// "3 个测点超过报警值（其中 1 个超过控制值），1 个测点恢复正常，4 条读数有质量标记".
QString headline(const archive::Verdict& verdict);
// A row's cells as the panel shows them.
QString statusText(const Row& row);
QString valueText(const Row& row);
QString timeText(const Row& row);

} // namespace verdictmodel
