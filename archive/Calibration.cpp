#include "archive/Calibration.h"

#include <QCoreApplication>
#include <cmath>
#include <limits>
#include <initializer_list>
#include <utility>

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

namespace {

// The band a vibrating-wire gauge's readings fall in, 400 to 6000 Hz: in digits (f^2 / 1000)
// 160 to 36000, in f^2 * 10^-6 0.16 to 36. The two bands lie a thousand times apart and are
// each far narrower than that (a factor 225), so a reading cannot sit in both.
constexpr double kLowHz = 400;
constexpr double kHighHz = 6000;
constexpr double kDigitsLow = kLowHz * kLowHz / 1000;
constexpr double kDigitsHigh = kHighHz * kHighHz / 1000;
constexpr double kMicro = 1e-3; // f^2 * 10^-6 = digits * kMicro

bool within(double x, double low, double high) { return x >= low && x <= high; }

// Whether A x^2 + B x + C has a zero in [low, high].
bool zeroWithin(double a, double b, double c, double low, double high)
{
    if (a == 0)
        return b != 0 && within(-c / b, low, high);
    const double disc = b * b - 4 * a * c;
    if (!(disc >= 0))
        return false;
    // The root of the larger magnitude first, then the other from the product of the roots,
    // so that neither loses its digits to a cancellation.
    const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    const double first = q / a;
    return within(first, low, high) || (q != 0 && within(c / q, low, high));
}

// How many powers of ten `slope` is from `factor` (both taken by their size).
double decadesOff(double slope, double factor)
{
    if (slope == 0)
        return std::numeric_limits<double>::infinity();
    return std::abs(std::log10(std::abs(slope) / std::abs(factor)));
}

// Whether a polynomial on digits, E = A R^2 + B R + C, was fitted for X = f^2 * 10^-6 = R / 1000
// instead. The same curve in digits has A / 10^6 and B / 10^3, so coefficients of an X fit
// entered as they stand make the variable terms a thousand (and a million) times too large,
// and the sheet's own figures show it in two ways:
// - The sheet's linear factor G (unit per digit), when given, is the slope of the same gauge:
//   the polynomial's slope 2 A R + B at a reading of the band (the zero reading when it lies in
//   the band, else the band's middle, 2400 digits) is near G for a fit on digits (within a few
//   per cent; curvature changes it by tens of per cent at most), and a thousand times G for a fit
//   on X, whose slope per digit is (2 A R / 1000 + B) / 1000. Doubted when the digits slope is more
//   than a hundred times off G and the X reading of the same coefficients within ten times of it;
//   a digits slope within ten times of G settles it the other way.
// - Without G, the sheet's offset C (not a field zero, which is made to vanish at R0 whatever
//   the coefficients): C makes E vanish at the calibration's zero reading, a reading of the
//   band. Doubted when the polynomial's zero lies in the band as X and nowhere in it as digits.
// With neither, nothing tells the two apart, and the calibration is taken as entered.
bool fittedForMicro(const Calibration& c)
{
    if (c.G != 0) {
        const double r = within(c.R0, kDigitsLow, kDigitsHigh) ? c.R0 : std::sqrt(kDigitsLow * kDigitsHigh);
        const double digits = decadesOff(2 * c.A * r + c.B, c.G);
        const double micro = decadesOff((2 * c.A * r * kMicro + c.B) * kMicro, c.G);
        if (digits > 2 && micro < 1)
            return true;
        if (digits < 1)
            return false;
    }
    if (!c.fieldZero && c.C != 0)
        return zeroWithin(c.A, c.B, c.C, kDigitsLow * kMicro, kDigitsHigh * kMicro) &&
               !zeroWithin(c.A, c.B, c.C, kDigitsLow, kDigitsHigh);
    return false;
}

} // namespace

QString calibrationDoubt(const Calibration& c)
{
    for (const auto& [name, value] : {std::pair{"G", c.G}, {"A", c.A}, {"B", c.B}, {"C", c.C}, {"R0", c.R0}, {"T0", c.T0}, {"K", c.K}})
        if (!std::isfinite(value))
            //: %1 the factor's letter (G, A, B, C, R0, T0, K).
            return QCoreApplication::translate("Calibration", "%1 不是有限的数字").arg(QLatin1String(name));
    if (c.form == Form::Polynomial && c.kind == ReadingKind::Digits && fittedForMicro(c))
        return QCoreApplication::translate(
            "Calibration", "多项式的系数是按 f²×10⁻⁶ 拟合的，不是按模数 f²/1000：这样换算的值会差约一千倍。"
                           "请把 A 乘以 10⁻⁶、B 乘以 10⁻³ 后再输入。");
    return {};
}

} // namespace archive
