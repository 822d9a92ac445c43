#include "archive/Calibration.h"

#include <cmath>

namespace archive {

double readingUnits(ReadingKind kind, double frequencyHz)
{
    return kind == ReadingKind::Digits ? frequencyHz * frequencyHz / 1000.0 : frequencyHz;
}

std::optional<Converted> convert(const Calibration& c, double frequencyHz, std::optional<double> temperatureC)
{
    if (!std::isfinite(frequencyHz) || frequencyHz <= 0)
        return std::nullopt;
    const double r1 = readingUnits(c.kind, frequencyHz);
    Converted out;
    if (c.form == Form::Linear) {
        out.value = c.reversed ? c.G * (c.R0 - r1) : c.G * (r1 - c.R0);
    } else {
        const double offset = c.fieldZero ? -(c.A * c.R0 * c.R0 + c.B * c.R0) : c.C;
        out.value = c.A * r1 * r1 + c.B * r1 + offset;
    }
    // Without a usable temperature the thermal term is left out, and the value says so when
    // the gauge has one.
    if (temperatureC && std::isfinite(*temperatureC))
        out.value += c.K * (*temperatureC - c.T0);
    else
        out.uncorrected = c.K != 0;
    if (!std::isfinite(out.value))
        return std::nullopt;
    return out;
}

} // namespace archive
