// Point sets from the polar forms of the two records.

#include "CurvePoints.h"

#include "AnalysisControls.h"
#include "MathClass.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace CurvePoints {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The polar form as Analysis::ToPolar gives it, written into the arrays'
// own storage, so that a point's records of millions of samples reuse the
// last point's arrays instead of fresh memory.
void Polar(const Array& re, const Array& im, Array& mag, Array& phase) {
    const std::size_t n = re.size();
    mag.resize(n);
    phase.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        double m = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        if (!(m > 1e-145 && m <= 1e150)) m = std::hypot(re[k], im[k]);
        mag[k] = m;
    }
    Analysis::Atan2(im.data(), re.data(), n, phase.data());
    for (double& v : phase)
        if (v == -std::numbers::pi) v = std::numbers::pi;
}

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

// The phase of the sum of output times conjugate input over the usable
// samples: the phase difference of the strong samples, which the others lie
// around.
double CentrePhase(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
                   const std::vector<bool>& unusable) {
    double re = 0.0, im = 0.0;
    for (std::size_t k = 0; k < refI.size(); ++k) {
        if (!unusable.empty() && unusable[k]) continue;
        re += outI[k] * refI[k] + outQ[k] * refQ[k];
        im += outQ[k] * refI[k] - outI[k] * refQ[k];
    }
    return std::atan2(im, re);
}

// `centred` for aligned records, whose differences are then taken within
// half a turn of CentrePhase. Before the alignment the records' samples do
// not match one another: their differences scatter over the whole turn, and
// stay wrapped into ±pi as the uncorrected pictures show them.
bool ExtractWithMean(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
                     const std::vector<bool>& unusable, bool centred, PointSets& points,
                     double& mean) {
    const std::size_t n = refI.size();
    if (refQ.size() != n || outI.size() != n || outQ.size() != n) return false;
    if (!unusable.empty() && unusable.size() != n) return false;
    Polar(refI, refQ, points.inputAmplitude, points.inputPhase);
    Polar(outI, outQ, points.outputAmplitude, points.outputPhase);
    for (std::size_t k = 0; k < unusable.size(); ++k) {
        if (!unusable[k]) continue;
        points.outputAmplitude[k] = kNaN;
        points.outputPhase[k] = kNaN;
    }
    // Output minus input phase, wrapped into ±pi by one turn: both phases
    // come from the polar form, so each lies within ±pi already. NaN stays.
    constexpr double pi = MathClass::Pi, turn = MathClass::TwoPi;
    points.phaseDifferenceRad.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        double d = points.outputPhase[k] - points.inputPhase[k];
        if (d > pi)
            d -= turn;
        else if (d < -pi)
            d += turn;
        points.phaseDifferenceRad[k] = d;
    }
    // Aligned, the differences lie around the carrier phase between generator
    // and analyzer plus the AM/PM, which may be anywhere: near ±pi they would
    // lie on both ends of the range and average to neither. Taken within half
    // a turn of their centre they lie together, and away from ±pi none moves.
    if (centred) {
        const double centre = CentrePhase(refI, refQ, outI, outQ, unusable);
        for (double& d : points.phaseDifferenceRad)
            d = Analysis::NearTurn(d, centre);
    }
    mean = FiniteMean(points.phaseDifferenceRad);
    const double toDegrees = 180.0 / pi;
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
    return ExtractWithMean(refI, refQ, outI, outQ, unusable, false, points, mean);
}

bool ExtractAligned(const Array& refI, const Array& refQ, const Array& outI, const Array& outQ,
                    const std::vector<bool>& unusable, PointSets& points, double& gain) {
    double mean = 0.0;
    if (!ExtractWithMean(refI, refQ, outI, outQ, unusable, true, points, mean)) return false;
    // The mean phase difference comes off the output phase too; in radians
    // the phase addition never wraps, so it is the plain difference.
    for (double& v : points.outputPhase)
        v -= mean;

    // The least-squares gain through the origin, sum(a·b) / sum(a²), over the
    // usable points.
    double sab = 0.0, saa = 0.0;
    for (std::size_t k = 0; k < points.inputAmplitude.size(); ++k) {
        const double a = points.inputAmplitude[k], b = points.outputAmplitude[k];
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        sab += a * b;
        saa += a * a;
    }
    gain = saa > 0.0 ? sab / saa : 0.0;
    if (!(gain > 0.0) || !std::isfinite(gain)) return false;
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
