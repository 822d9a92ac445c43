#pragma once

#include "archive/Monitoring.h"

#include <QString>
#include <optional>
#include <vector>

namespace archive {
class Archive;
}

// The operator's answer to "which readout is this?": one the archive knows (renamed on the way
// when a new name is given), or a new one with its clock's time zone.
struct ReadoutAnswer {
    enum class Kind {
        Existing,
        New,
    };
    Kind kind = Kind::Existing;
    qint64 existing = 0; // Existing: its id
    QString name;        // Existing: the new name, "" to keep it; New: its name
    QString timeZone;    // New: an IANA id
};

// The PC's time zone as an id the archive takes: QTimeZone::systemTimeZoneId(), or when Qt
// does not list that one (a system set to "Etc/UTC" where only "UTC" is known) the id of the
// zone it stands for, else "UTC".
QString pcTimeZoneId();

// Why the answer cannot be taken, in the operator's words; "" when it can. Names are compared
// without regard to case and blanks around them, as the archive compares them.
QString readoutAnswerProblem(const std::vector<archive::Readout>& readouts, const ReadoutAnswer& answer);

// Takes the answer into the archive: the new readout added or the known one renamed, and the
// readout remembered for `device`. The readout as it now stands, or nullopt with why not in `why`.
std::optional<archive::Readout> applyReadoutAnswer(archive::Archive& archive, const QString& device,
                                                   const ReadoutAnswer& answer, QString* why);
