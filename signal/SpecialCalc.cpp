// The level and spectrum helpers: level units, decibels, magnitudes and the
// level distribution of an I/Q record.

#include "SpecialCalc.h"

#include "AnalysisControls.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace SpecialCalc {

namespace {

constexpr double kFloor = 1e-100;

double Floored(double v) {
    return v > 0.0 ? v : kFloor;
}

} // namespace

double ConvertLevel(double value, std::int32_t from, std::int32_t to, double r) {
    // Units referred to a resistance mean nothing across a resistance that is
    // not positive; 0 is the answer for every conversion that cannot be made.
    auto needsR = [](std::int32_t u) { return u == UnitDBV || u == UnitDBuV || u == UnitV; };
    if ((needsR(from) || needsR(to)) && !(r > 0.0)) return 0.0;
    double p = 0.0;
    switch (from) {
    case UnitDBm:
        p = std::pow(10.0, (value - 30.0) / 10.0);
        break;
    case UnitDBW:
        p = std::pow(10.0, value / 10.0);
        break;
    case UnitW:
        p = std::abs(value);
        break;
    case UnitMW:
        p = std::abs(value) / 1000.0;
        break;
    case UnitDBV:
        p = std::pow(10.0, value / 10.0) / r;
        break;
    case UnitDBuV:
        p = std::pow(10.0, (value - 120.0) / 10.0) / r;
        break;
    case UnitV:
        p = value * value / r;
        break;
    default:
        p = 0.0;
        break;
    }
    const bool linear = from == UnitW || from == UnitMW || from == UnitV;
    const double sign = linear && value < 0.0 ? -1.0 : 1.0;
    const double d = 10.0 * std::log10(Floored(p));
    switch (to) {
    case UnitDBm:
        return d + 30.0;
    case UnitDBW:
        return d;
    case UnitW:
        return sign * p;
    case UnitMW:
        return sign * p * 1000.0;
    case UnitDBV:
        return d + 10.0 * std::log10(r);
    case UnitDBuV:
        return d + 10.0 * std::log10(r) + 120.0;
    case UnitV:
        return sign * std::sqrt(p * r);
    default:
        return 0.0;
    }
}

double VoltToDB(double value) {
    return 20.0 * std::log10(Floored(value));
}

double PowerToDB(double value) {
    return 10.0 * std::log10(Floored(value));
}

void ArrayVoltToDB(Array& values) {
    for (double& v : values)
        v = VoltToDB(v);
}

void ArrayPowerToDB(Array& values) {
    for (double& v : values)
        v = PowerToDB(v);
}

void IQMagnitude(const Array& I, const Array& Q, Array& out) {
    if (Q.size() < I.size()) return;
    out.resize(I.size());
    for (std::size_t k = 0; k < I.size(); ++k)
        out[k] = std::sqrt(I[k] * I[k] + Q[k] * Q[k]);
}

bool CalcSpectrumDB(const Array& I, const Array& Q, Array& curve, Array& axis, bool flag,
                    std::int16_t classes) {
    curve.clear();
    axis.clear();
    Array mag;
    Array phase;
    if (classes < 1 || !Analysis::ToPolar(I, Q, mag, phase) || mag.empty()) return false;
    // A NaN sample has no level, like an infinite one: neither is counted as
    // the floor.
    for (double v : mag)
        if (!std::isfinite(v)) return false;
    const double n = static_cast<double>(mag.size());
    ArrayVoltToDB(mag);
    const auto range = Analysis::MaxMin(mag);
    if (!range || !Analysis::Histogram(mag, range->min, range->max,
                                       static_cast<std::size_t>(classes), curve, axis))
        return false;
    for (std::size_t k = 1; k < curve.size(); ++k)
        curve[k] += curve[k - 1];
    curve = Analysis::Linear(Analysis::ComplementToTotal(curve), 100.0 / n, 0.0);
    return true;
}

void SubArray(const Array& source, std::int32_t start, std::int32_t count, Array& out) {
    out.clear();
    const auto size = static_cast<std::int64_t>(source.size());
    if (start < 0 || start >= size || count < 1) return;
    const std::int64_t end = std::min<std::int64_t>(size, std::int64_t{start} + count);
    out.assign(source.begin() + start, source.begin() + static_cast<std::ptrdiff_t>(end));
}

float AxisStep(float span) {
    static constexpr float limits[] = {0.05f, 0.1f, 0.5f, 1.0f, 5.0f, 10.0f, 50.0f, 100.0f, 500.0f};
    static constexpr float steps[] = {0.005f, 0.01f, 0.05f, 0.1f, 0.5f, 1.0f, 5.0f, 10.0f, 50.0f};
    for (std::size_t i = 0; i < std::size(limits); ++i)
        if (span <= limits[i]) return steps[i];
    return 100.0f;
}

} // namespace SpecialCalc
