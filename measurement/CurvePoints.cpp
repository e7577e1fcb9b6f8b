// Point sets from the polar forms of the two records.

#include "CurvePoints.h"

#include "AnalysisControls.h"
#include "DSP.h"

#include <cmath>
#include <limits>

namespace CurvePoints {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double FiniteMean(const Array& x) {
    double sum = 0.0;
    std::size_t count = 0;
    for (double v : x) {
        if (!std::isfinite(v)) continue;
        sum += v;
        ++count;
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

bool ExtractWithMean(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
                     const std::vector<bool>& unusable, PointSets& points, double& mean) {
    const std::size_t n = refI.size();
    if (refQ.size() != n || outI.size() != n || outQ.size() != n) return false;
    if (!unusable.empty() && unusable.size() != n) return false;
    Analysis::ToPolar(refI, refQ, points.inputAmplitude, points.inputPhase);
    Analysis::ToPolar(outI, outQ, points.outputAmplitude, points.outputPhase);
    for (std::size_t k = 0; k < unusable.size(); ++k) {
        if (!unusable[k]) continue;
        points.outputAmplitude[k] = kNaN;
        points.outputPhase[k] = kNaN;
    }
    MathClass& math = DSP::IntMath();
    math.ArrayPhaseDiff(points.inputPhase, points.outputPhase, points.phaseDifferenceRad);
    mean = FiniteMean(points.phaseDifferenceRad);
    const double toDegrees = 180.0 / math.ConstPi();
    points.phaseDifference.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        points.phaseDifferenceRad[k] -= mean;
        points.phaseDifference[k] = points.phaseDifferenceRad[k] * toDegrees;
    }
    return true;
}

} // namespace

bool Extract(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
             const std::vector<bool>& unusable, PointSets& points) {
    double mean = 0.0;
    return ExtractWithMean(refI, refQ, outI, outQ, unusable, points, mean);
}

bool ExtractAligned(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
                    const std::vector<bool>& unusable, PointSets& points, double& gain) {
    double mean = 0.0;
    if (!ExtractWithMean(refI, refQ, outI, outQ, unusable, points, mean)) return false;
    // The mean phase difference comes off the output phase too; in radians
    // the phase addition never wraps, so it is the plain difference.
    for (double& v : points.outputPhase)
        v -= mean;

    Array x, y;
    x.reserve(points.inputAmplitude.size());
    y.reserve(points.inputAmplitude.size());
    for (std::size_t k = 0; k < points.inputAmplitude.size(); ++k) {
        const double a = points.inputAmplitude[k], b = points.outputAmplitude[k];
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        x.push_back(a);
        y.push_back(b);
    }
    if (!Analysis::LinearGain(x, y, gain) || !(gain > 0.0) || !std::isfinite(gain)) return false;
    const double inverse = 1.0 / gain;
    for (double& v : points.outputAmplitude)
        v *= inverse;
    return true;
}

std::size_t FiniteCount(const Array& I, const Array& Q) {
    std::size_t count = 0;
    for (std::size_t k = 0; k < I.size() && k < Q.size(); ++k)
        if (std::isfinite(I[k]) && std::isfinite(Q[k])) ++count;
    return count;
}

} // namespace CurvePoints
