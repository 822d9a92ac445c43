#pragma once

#include <QString>
#include <optional>

namespace archive {

// What the gauge's calibration sheet takes as its reading R: the frequency f in Hz itself, or
// "digits" (linear units), f^2 / 1000.
enum class ReadingKind {
    Frequency,
    Digits
};

// Linear: E = G (R1 - R0) + K (T1 - T0), or G (R0 - R1) + K (T1 - T0) when `reversed`.
// Polynomial: E = A R1^2 + B R1 + C + K (T1 - T0); with `fieldZero` C is replaced by
// -(A R0^2 + B R0), so that the zero reading gives 0.
enum class Form {
    Linear,
    Polynomial
};

// The calibration of one component (gauge), keyed by its code ("A001").
struct Calibration {
    QString code;
    QString gauge; // the gauge's type as the engineer names it, e.g. "裂缝计"
    QString unit;  // e.g. "mm", "kPa", "με"
    ReadingKind kind = ReadingKind::Digits;
    Form form = Form::Linear;
    double G = 0;
    bool reversed = false;
    double A = 0, B = 0, C = 0;
    bool fieldZero = false;
    double R0 = 0; // the zero reading, in the units of `kind`
    double T0 = 0; // the temperature of the zero reading, C
    double K = 0;  // the thermal factor, unit per C
    bool operator==(const Calibration&) const = default;
};

// The engineering value of one record. `uncorrected` when there was no usable temperature and
// the thermal term was left out.
struct Converted {
    double value = 0;
    bool uncorrected = false;
};

// The value for a frequency in Hz and a temperature in C (nullopt: missing or invalid).
// nullopt for a frequency that is not a positive finite number.
std::optional<Converted> convert(const Calibration& calibration, double frequencyHz,
                                 std::optional<double> temperatureC);

// Why a calibration cannot be right as entered, in the operator's words, or "" when nothing
// is wrong with it: a polynomial on digits whose coefficients convert values a thousand times
// off (fitted for f^2 * 10^-6, not f^2 / 1000), a factor that is not a finite number.
QString calibrationDoubt(const Calibration& calibration);

// R for a frequency in the calibration's reading kind.
double readingUnits(ReadingKind kind, double frequencyHz);

} // namespace archive
