// General array utilities: quantisation, the interpolation table, moments,
// shifts, sub-arrays, differences and phase continuation.

#include "AnalysisControls.h"
#include "MathClass.h"

#include <climits>
#include <cmath>

bool MathClass::SetResolution(Array& values, int bits) const {
    const auto range = Analysis::MaxMin(values);
    if (!range) return true;
    double fullScale = range->max;
    if (std::abs(range->min) > std::abs(range->max)) fullScale = std::abs(range->min);
    if (fullScale == 0.0) return true; // nothing but zeros: already on every grid
    const double step = fullScale / std::pow(2.0, static_cast<double>(bits) - 1.0);
    if (!std::isfinite(step) || step == 0.0) return false;
    for (double& v : values) v = std::nearbyint(v / step) * step;
    return true;
}

void MathClass::LoadInterpolation(const Array& x, const Array& y, bool keep) {
    interpCountX_ = x.size();
    interpCountY_ = y.size();
    if (x.size() != y.size()) {
        errorFlag_ = true;
        return;
    }
    if (!keep) {
        interpX_ = x;
        interpY_ = y;
    }
}

void MathClass::ElementComplexMult(double aRe, double aIm, double bRe, double bIm, double& outRe,
                                   double& outIm) {
    outRe = aRe * bRe - aIm * bIm;
    outIm = aRe * bIm + aIm * bRe;
    Notice("Old Function ElementComplexMult called");
}

bool MathClass::SParameter(const Array& aRe, const Array& aIm, const Array& bRe,
                           const Array& bIm, Array& outRe, Array& outIm) const {
    Array magA, phaseA, magB, phaseB;
    if (bRe.size() != aRe.size() || !Analysis::ToPolar(aRe, aIm, magA, phaseA) ||
        !Analysis::ToPolar(bRe, bIm, magB, phaseB))
        return false;
    Array mag, phase;
    if (!Analysis::Divide(magB, magA, mag)) return false;
    Analysis::Subtract(phaseB, phaseA, phase);
    return Analysis::ToRect(mag, Analysis::Unwrap(phase), outRe, outIm);
}

bool MathClass::ReflImp(const Array& a, const Array& b, Array& out1, Array& out2) const {
    if (a.size() != b.size()) return false;
    ArraySetDim(a, out1);
    ArraySetDim(b, out2);
    for (std::size_t k = 0; k < a.size(); ++k) {
        out1[k] = -2.0 * b[k];
        out2[k] = a[k] * a[k] + b[k] * b[k] - 1.0;
    }
    return true;
}

bool MathClass::SampleDown(const Array& values, Array& out, long factor) const {
    if (factor < 1) return false;
    const auto step = static_cast<std::size_t>(factor);
    // The rounded length can fall one short of the elements the stepping
    // reaches; the one left over is dropped.
    const auto length = static_cast<std::size_t>(
        std::nearbyint(static_cast<double>(values.size()) / static_cast<double>(factor)));
    out.assign(length, 0.0);
    for (std::size_t i = 0; i < length; ++i) out[i] = values[i * step];
    return true;
}

namespace {

void ShiftCircular(const std::vector<double>& values, std::vector<double>& out, long n) {
    const auto count = static_cast<long>(values.size());
    out.assign(values.size(), 0.0);
    if (count == 0) return;
    const long m = ((n % count) + count) % count;
    for (long k = 0; k < count; ++k)
        out[static_cast<std::size_t>(k)] = values[static_cast<std::size_t>((k + m) % count)];
}

} // namespace

void MathClass::ArrayShiftLeft(const Array& values, Array& out, long n) const {
    ShiftCircular(values, out, n);
}

void MathClass::ArrayShiftRight(const Array& values, Array& out, long n) const {
    // Reduced first, so that negating can never overflow.
    const auto count = static_cast<long>(values.size());
    ShiftCircular(values, out, count == 0 ? 0 : -(n % count));
}

bool MathClass::ArrayGetDisc(const Array& values, double span, double x, long& index) const {
    if (span == 0.0) return false;
    const double pos =
        std::nearbyint(static_cast<double>(values.size()) * (x + span / 2.0) / span);
    // Only a finite position inside the integer range becomes an index.
    if (!std::isfinite(pos) || pos < static_cast<double>(LONG_MIN) ||
        pos >= -static_cast<double>(LONG_MIN))
        return false;
    index = static_cast<long>(pos);
    return true;
}

bool MathClass::ArrayGetCont(const Array& values, double span, long index, double& result) const {
    if (values.size() < 2) return false;
    result = (static_cast<double>(index) / static_cast<double>(values.size() - 1) - 0.5) * span / 2.0;
    return true;
}

void MathClass::ArrayKontPhase(const Array& phase, Array& out) const {
    out.assign(phase.size(), 0.0);
    if (phase.empty()) return;
    out[0] = phase[0];
    for (std::size_t k = 1; k < phase.size(); ++k)
        out[k] = out[k - 1] + PhaseDiff(phase[k - 1], phase[k]);
}

bool MathClass::ArrayGetPart(const Array& values, Array& part, long start, long count) const {
    if (start < 0 || count < 0) return false;
    Array result;
    if (!Analysis::Subset(values, static_cast<std::size_t>(start), static_cast<std::size_t>(count),
                          result))
        return false;
    part = std::move(result);
    return true;
}

double MathClass::ArrayMoment(const Array& values, double k) const {
    double sum = 0.0;
    for (double v : values) sum += std::pow(v, k);
    return sum;
}

bool MathClass::ArrayMoment(const Array& values, double k, const Array& weights,
                            double& result) const {
    if (weights.size() != values.size()) return false;
    double sum = 0.0;
    double weightSum = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        sum += weights[i] * std::pow(values[i], k);
        weightSum += weights[i];
    }
    if (weightSum == 0.0) return false;
    result = sum / weightSum;
    return true;
}

void MathClass::ArrayMoments(const Array& x, Array& S, int m) const {
    S.assign(m < 0 ? 0 : static_cast<std::size_t>(m) + 1, 0.0);
    Array power(x.size(), 1.0);
    for (std::size_t j = 0; j < S.size(); ++j) {
        S[j] = Analysis::Sum(power);
        Analysis::Multiply(power, x, power);
    }
}

double MathClass::ArrayMixMoment(const Array& a, const Array& b, int j, int k) const {
    Array x = a;
    Array y = b;
    ArrayAdjustIndex(x, y);
    Array pa(x.size(), 1.0);
    for (int i = 0; i < j; ++i) Analysis::Multiply(pa, x, pa);
    Array pb(y.size(), 1.0);
    for (int i = 0; i < k; ++i) Analysis::Multiply(pb, y, pb);
    Array product;
    Analysis::Multiply(pa, pb, product);
    return Analysis::Sum(product);
}

void MathClass::NumDDT(const Array& values, Array& out) const {
    out.resize(values.size(), 0.0);
    for (std::size_t k = 1; k < values.size(); ++k) out[k] = values[k] - values[k - 1];
}
