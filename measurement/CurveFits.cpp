// Grid averages, low-level rules, polynomial fits and the curve scale.

#include "CurveFits.h"

#include "AnalysisControls.h"
#include "DSP.h"
#include "General.h"
#include "NumberText.h"

#include <algorithm>
#include <cmath>

namespace CurveFits {

namespace {

// Keeps the points from `first` on.
void DropBefore(Curve& curve, std::size_t first) {
    first = std::min(first, curve.x.size());
    curve.x.erase(curve.x.begin(), curve.x.begin() + static_cast<std::ptrdiff_t>(first));
    curve.y.erase(curve.y.begin(), curve.y.begin() + static_cast<std::ptrdiff_t>(first));
}

constexpr const char* kFewLevels =
    ". The test signal met the amplifier at too few levels (a dual tone does when its delay is a "
    "whole or half number of samples): lower the polynom order (Settings, Options ...) or "
    "measure with band limited noise.";

std::size_t DistinctCount(Array x) {
    std::sort(x.begin(), x.end());
    return static_cast<std::size_t>(std::unique(x.begin(), x.end()) - x.begin());
}

} // namespace

Curve AverageCurveOnGrid(const Array& x, const Array& y, int n) {
    Curve out;
    if (n < 1 || x.size() != y.size()) return out;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k])) continue;
        lo = std::min(lo, x[k]);
        hi = std::max(hi, x[k]);
    }
    if (lo > hi) return out;
    const auto bins = static_cast<std::size_t>(n);
    const double step = (hi - lo) / static_cast<double>(n);
    std::vector<double> sumX(bins, 0.0), sumY(bins, 0.0);
    std::vector<std::size_t> count(bins, 0);
    const double last = static_cast<double>(bins - 1);
    const double perStep = step > 0.0 ? 1.0 / step : 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k])) continue;
        // All x equal (step 0) puts every point into the first bin.
        const double at = std::floor((x[k] - lo) * perStep);
        const auto i = static_cast<std::size_t>(std::clamp(at, 0.0, last));
        sumX[i] += x[k];
        sumY[i] += y[k];
        ++count[i];
    }
    for (std::size_t i = 0; i < bins; ++i) {
        if (count[i] == 0) continue;
        out.x.push_back(sumX[i] / static_cast<double>(count[i]));
        out.y.push_back(sumY[i] / static_cast<double>(count[i]));
    }
    return out;
}

int LowLevelBoundary(double limitPercent, std::size_t points) {
    const double top = static_cast<double>(points) - 1.0;
    const double b = NumberText::RoundHalfEven(limitPercent / 100.0 * static_cast<double>(points));
    if (!(b >= -1.0)) return -1; // below, or NaN
    return static_cast<int>(std::min(b, top));
}

void ApplyAMAMLowLevel(Curve& curve, const LowLevelRule& rule) {
    if (!rule.set && !rule.ignore) return;
    const int b = LowLevelBoundary(rule.limitPercent, curve.y.size());
    if (rule.set)
        for (int i = 0; i <= b; ++i)
            curve.y[static_cast<std::size_t>(i)] = curve.x[static_cast<std::size_t>(i)];
    if (rule.ignore) DropBefore(curve, static_cast<std::size_t>(b + 1));
}

void ApplyAMPMLowLevel(Curve& curve, const LowLevelRule& rule) {
    if (!rule.set && !rule.ignore) {
        DropBefore(curve, 1);
        return;
    }
    const int b = LowLevelBoundary(rule.limitPercent, curve.y.size());
    if (rule.set)
        for (int i = 0; i <= b; ++i)
            curve.y[static_cast<std::size_t>(i)] = 0.0;
    if (rule.ignore) DropBefore(curve, static_cast<std::size_t>(b + 1));
}

std::size_t PointsKept(std::size_t points, const LowLevelRule& rule, bool ampm) {
    if (!rule.set && !rule.ignore) return ampm && points > 0 ? points - 1 : points;
    if (!rule.ignore) return points;
    return points - static_cast<std::size_t>(LowLevelBoundary(rule.limitPercent, points) + 1);
}

FitSettings SettingsFromGeneral() {
    FitSettings s;
    s.amamGrid = General::AMAMGrid;
    s.ampmGrid = General::AMPMGrid;
    s.amamOrder = General::AMAMOrder;
    s.ampmOrder = General::AMPMOrder;
    s.amamLow = {General::AMAMLowLim, General::AMAMLowIgn, General::AMAMLowSet};
    s.ampmLow = {General::AMPMLowLim, General::AMPMLowIgn, General::AMPMLowSet};
    return s;
}

std::string CheckSettings(const FitSettings& s) {
    struct Side {
        const char* name;
        int grid, order;
        const LowLevelRule& low;
        bool ampm;
    };
    for (const Side& side : {Side{"AM/AM", s.amamGrid, s.amamOrder, s.amamLow, false},
                             Side{"AM/PM", s.ampmGrid, s.ampmOrder, s.ampmLow, true}}) {
        const std::string name = side.name;
        if (side.grid < 1) return "The " + name + " grid needs at least one point.";
        if (side.order < 0) return "The " + name + " polynomial order must not be negative.";
        const std::size_t kept =
            PointsKept(static_cast<std::size_t>(side.grid), side.low, side.ampm);
        const auto needed = static_cast<std::size_t>(side.order) + 1;
        if (kept < needed)
            return "A " + name + " fit of order " + std::to_string(side.order) + " needs " +
                   std::to_string(needed) + " curve points, but " + std::to_string(side.grid) +
                   " grid points leave at most " + std::to_string(kept) + ".";
    }
    return {};
}

std::string Fit(const Array& x, const Array& y, int order, const char* name, Array& coeff,
                double& mse) {
    const auto needed = static_cast<std::size_t>(std::max(order, 0)) + 1;
    const std::size_t have = DistinctCount(x);
    // The grid and the low-level rules were checked at the start: too few
    // points here mean a signal of too few envelope levels (a dual tone meets
    // only as many as it has samples per half beat at such a delay), whose
    // points are still the amplifier's. The text says what helps.
    if (order < 0 || have < needed)
        return std::string("The ") + name + " fit of order " + std::to_string(order) + " needs " +
               std::to_string(needed) + " curve points; the measurement gave " +
               std::to_string(have) + kFewLevels;
    if (!Analysis::PolyFit(x, y, order, coeff, mse))
        return std::string("The ") + name + " fit found no polynomial.";
    return {};
}

std::string FitModel(const Curve& amam, const Curve& ampm, const FitSettings& settings,
                     Model& model) {
    Model m;
    double amamMse = 0, invMse = 0, ampmMse = 0;
    std::string why = Fit(amam.x, amam.y, settings.amamOrder, "AM/AM", m.amamCoeff, amamMse);
    if (why.empty())
        why = Fit(amam.y, amam.x, settings.amamOrder, "inverse AM/AM", m.amamPreCoeff, invMse);
    if (why.empty()) why = Fit(ampm.x, ampm.y, settings.ampmOrder, "AM/PM", m.ampmCoeff, ampmMse);
    if (!why.empty()) return why;
    // The errors are the rms residuals: in dB of an amplitude, and in degrees.
    MathClass& math = DSP::IntMath();
    m.amamError = math.ConvertAmpToDB(std::sqrt(amamMse));
    m.amamInvError = math.ConvertAmpToDB(std::sqrt(invMse));
    m.ampmError = std::sqrt(ampmMse) / math.ConstPi() * 180.0;
    m.ampmInvError = m.ampmError;
    m.ampmPreCoeff = m.ampmCoeff;
    for (double& c : m.ampmPreCoeff)
        c = -c;
    m.curveScale = CurveScale(m.amamPreCoeff);
    model = std::move(m);
    return {};
}

double CurveScale(const Array& preCoeff) {
    const MathClass& math = DSP::IntMath();
    double v = math.PolyCalc(preCoeff, 0.0);
    double p = v;
    double scale = 0.0;
    // Whole steps counted, so that 0.5 and 1.0 are met exactly.
    for (int k = 1;; ++k) {
        scale = k / 1000.0;
        p = v;
        v = math.PolyCalc(preCoeff, scale);
        if (!(scale < 1.0 && v <= 1.0 && (scale <= 0.5 || p <= v))) break;
    }
    if (scale >= 1.0 && v <= 1.0) return 1.0;
    return scale;
}

} // namespace CurveFits
