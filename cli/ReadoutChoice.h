#pragma once

#include "archive/Monitoring.h"

#include <QString>
#include <optional>

namespace archive {
class Archive;
}

// Which readout (instrument) the records of a copy are archived under: the one --instrument
// names, else the one remembered for the device the port opened (what the window remembers
// too), else the command line's default. Never guessed: with none, the copy is refused.
namespace cli {

struct ReadoutChoice {
    std::optional<archive::Readout> readout;
    QString refusal; // why there is none, for the operator
    int code = 0;    // the exit code of a refusal: NoInstrument, or ArchiveFailed when the archive could not be read
};

// `given` is --instrument ("" none); `device` the port's device identity
// (connection::deviceIdentity); `fallback` the default readout's name ("" none).
ReadoutChoice chooseReadout(const archive::Archive& archive, const QString& given, const QString& device,
                            const QString& fallback);

// The readouts the archive knows and how to add one, for a refusal.
QString knownReadoutsText(const archive::Archive& archive);

} // namespace cli
