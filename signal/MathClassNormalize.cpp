// Normalisation, crest factor, clipping, detectors and the small scalar
// helpers.

#include "AnalysisControls.h"
#include "MathClass.h"
#include "SpecialCalc.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using Array = std::vector<double>;

struct Power {
    double peak = 0.0; // largest magnitude
    double rms = 0.0;  // root mean square of the magnitudes
};

// Largest and summed squared magnitude, in eight independent lanes so that
// the loops run vectorised instead of waiting on one running value. Squares
// are never negative, so their bit patterns order like their values: the
// largest is found with integer compares, which vectorise where a double
// maximum that must pass NaN over does not. A NaN square counts as 0 there
// (and makes the sum NaN).
struct Squares {
    double peak = 0.0;
    double sum = 0.0;
};

constexpr std::size_t kLanes = 8;
// Below this a square has lost precision to underflow.
constexpr double kTinySquare = 1e-290;

inline std::int64_t Bits(double v) {
    std::int64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

inline double Value(std::int64_t b) {
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// The largest squared magnitude, or NaN when any sample is NaN (a NaN square
// only arises from a NaN component: infinite ones give an infinite square).
// With the sign bit cleared, every NaN's pattern lies above infinity's, so a
// NaN wins the plain integer maximum, which vectorises as it stands.
__attribute__((target_clones("avx2", "default"))) double
PeakSquare(const double* __restrict I, const double* __restrict Q, std::size_t n) {
    constexpr std::int64_t magnitude = std::numeric_limits<std::int64_t>::max();
    std::int64_t peak = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t b = Bits(I[k] * I[k] + Q[k] * Q[k]) & magnitude;
        peak = peak < b ? b : peak;
    }
    return Value(peak);
}

__attribute__((target_clones("avx2", "default"))) Squares
SumSquares(const double* __restrict I, const double* __restrict Q, std::size_t n) {
    std::int64_t peak[kLanes] = {};
    double sum[kLanes] = {};
    std::size_t k = 0;
    for (; k + kLanes <= n; k += kLanes)
        for (std::size_t l = 0; l < kLanes; ++l) {
            const double m = I[k + l] * I[k + l] + Q[k + l] * Q[k + l];
            const std::int64_t b = Bits(m == m ? m : 0.0);
            peak[l] = peak[l] < b ? b : peak[l];
            sum[l] += m;
        }
    std::int64_t r = 0;
    double total = 0.0;
    for (; k < n; ++k) {
        const double m = I[k] * I[k] + Q[k] * Q[k];
        r = std::max(r, Bits(m == m ? m : 0.0));
        total += m;
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
        r = std::max(r, peak[l]);
        total += sum[l];
    }
    return {Value(r), total};
}

// Peak and RMS magnitude from the squares; the exact magnitudes only when a
// square overflows or underflows (samples beyond about 1e150 or below 1e-150).
Power RecordPower(const Array& I, const Array& Q) {
    const std::size_t n = I.size();
    Power p;
    if (n == 0) return p;
    const Squares sq = SumSquares(I.data(), Q.data(), n);
    if (std::isfinite(sq.sum) && sq.peak > kTinySquare) {
        p.peak = std::sqrt(sq.peak);
        p.rms = std::sqrt(sq.sum / static_cast<double>(n));
        return p;
    }
    // Squares that underflowed to 0 are not a silent record.
    if (sq.peak == 0.0 && std::all_of(I.begin(), I.end(), [](double v) { return v == 0.0; }) &&
        std::all_of(Q.begin(), Q.end(), [](double v) { return v == 0.0; }))
        return p;
    // Scaled to the largest component, which keeps every square in range.
    double big = 0.0;
    for (std::size_t k = 0; k < n; ++k)
        big = std::max({big, std::abs(I[k]), std::abs(Q[k])});
    if (!std::isfinite(big) || big == 0.0) {
        p.peak = p.rms = big;
        return p;
    }
    double peak = 0.0;
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double i = I[k] / big, q = Q[k] / big;
        const double m = i * i + q * q;
        peak = std::max(peak, m);
        sum += m;
    }
    p.peak = std::sqrt(peak) * big;
    p.rms = std::sqrt(sum / static_cast<double>(n)) * big;
    return p;
}

// The peak alone, in the one pass the normalisation can afford; NaN when a
// sample is NaN.
double RecordPeak(const Array& I, const Array& Q) {
    const double sq = PeakSquare(I.data(), Q.data(), I.size());
    if (std::isnan(sq)) return sq;
    if (sq > kTinySquare && sq <= DBL_MAX) return std::sqrt(sq);
    return RecordPower(I, Q).peak;
}

// Scales by target / peak. Where that factor itself overflows, underflows or
// is subnormal (a record near the ends of the double range, e.g. a peak of
// 1e-320 brought to 1), the samples go through the binary exponents instead,
// which is exact and keeps every step in range; the ordinary case stays one
// multiplication per sample. Every step is monotonic, so the scaled peak is
// the largest output magnitude.
class PeakScale {
public:
    PeakScale(double target, double peak) : factor_(target / peak) {
        exact_ = target != 0.0 && !std::isnormal(factor_);
        if (!exact_) return;
        mantissa_ = std::frexp(target, &targetExp_) / std::frexp(peak, &peakExp_);
    }
    double operator()(double x) const {
        if (!exact_) return x * factor_;
        return std::ldexp(std::ldexp(x, -peakExp_) * mantissa_, targetExp_);
    }
    bool Exact() const { return exact_; }

private:
    double factor_;
    bool exact_ = false;
    double mantissa_ = 1.0;
    int targetExp_ = 0;
    int peakExp_ = 0;
};

template <class Scale> void ScaleInto(const Array& x, Array& out, const Scale& scale) {
    out.resize(x.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        out[k] = scale(x[k]);
}

} // namespace

std::int16_t MathClass::MathSignum(double x) const {
    return x < 0.0 ? -1 : 1;
}

double MathClass::MathSi(double x) const {
    return x == 0.0 ? 1.0 : std::sin(x) / x;
}

double MathClass::MathFak(std::int32_t n) const {
    double f = 1.0;
    for (std::int32_t k = 2; k <= n && std::isfinite(f); ++k)
        f *= static_cast<double>(k);
    return f;
}

bool MathClass::ArrayNormalize(const Array& x, Array& result, double level) const {
    double peak = 0.0;
    bool nan = false;
    for (double v : x) {
        peak = std::max(peak, std::abs(v));
        nan |= std::isnan(v);
    }
    if (nan || !(peak > 0.0) || !std::isfinite(peak) || !std::isfinite(level)) return false;
    const PeakScale scale(level, peak);
    if (!std::isfinite(scale(peak))) return false;
    ScaleInto(x, result, scale);
    return true;
}

bool MathClass::ArrayNormalizeIQ(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                                 double level) const {
    const std::size_t n = Iin.size();
    if (Qin.size() != n || !(level >= 0.0) || !std::isfinite(level)) return false;
    const double peak = RecordPeak(Iin, Qin);
    if (!(peak > 0.0) || !std::isfinite(peak)) return false;
    const PeakScale scale(std::sqrt(level), peak);
    if (!std::isfinite(scale(peak))) return false;
    if (scale.Exact() || &Iout != &Iin || &Qout != &Qin) {
        // Both components read before either is written: an output may be
        // the other input.
        Array i(n), q(n);
        for (std::size_t k = 0; k < n; ++k) {
            i[k] = scale(Iin[k]);
            q[k] = scale(Qin[k]);
        }
        Iout = std::move(i);
        Qout = std::move(q);
        return true;
    }
    // In place, as the test signals are normalised: two plain streams.
    const double f = scale(1.0);
    for (double& v : Iout)
        v *= f;
    for (double& v : Qout)
        v *= f;
    return true;
}

double MathClass::ArrayCrestIQ(const Array& I, const Array& Q) const {
    constexpr double none = -1000.0; // VoltToDB floors it: -2000 dB
    if (I.size() != Q.size()) return SpecialCalc::VoltToDB(none);
    const Power p = RecordPower(I, Q);
    if (p.rms == 0.0) return SpecialCalc::VoltToDB(none);
    return SpecialCalc::VoltToDB(p.peak / p.rms);
}

bool MathClass::ArrayLimitIQ(Array& I, Array& Q, double, double limit) const {
    if (I.size() != Q.size()) return false;
    for (std::size_t k = 0; k < I.size(); ++k) {
        if (I[k] > limit) {
            const double f = limit / I[k];
            I[k] *= f;
            Q[k] *= f;
        }
        if (Q[k] > limit) {
            const double f = limit / Q[k];
            I[k] *= f;
            Q[k] *= f;
        }
    }
    return true;
}

bool MathClass::SignalAnalogIQ(const Array& I, const Array& Q, Array& result) const {
    if (I.size() != Q.size()) return false;
    Array out(I.empty() ? 0 : I.size() - 1);
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = std::sqrt((I[k + 1] - I[k]) * (I[k + 1] - I[k]) +
                           (Q[k + 1] - Q[k]) * (Q[k + 1] - Q[k]));
    result = std::move(out);
    return true;
}

void MathClass::SignalDetector(const Array& trace, Array& result, std::int32_t mode,
                               std::int32_t n) const {
    if (mode < 1 || mode > 4) {
        if (&result != &trace) result = trace;
        return;
    }
    const std::size_t size = trace.size();
    const std::size_t group = static_cast<std::size_t>(std::max<std::int32_t>(n, 1));
    Array out((size + group - 1) / group);
    for (std::size_t g = 0; g < out.size(); ++g) {
        const std::size_t from = g * group;
        const std::size_t to = std::min(size, from + group);
        double v = 0.0;
        if (mode == 1 || mode == 2) {
            // NaN passed over, as the analysis layer's extremes do.
            v = std::numeric_limits<double>::quiet_NaN();
            for (std::size_t k = from; k < to; ++k) {
                const double x = trace[k];
                if (std::isnan(v) || (mode == 1 ? x > v : x < v)) v = x;
            }
        } else {
            for (std::size_t k = from; k < to; ++k)
                v += mode == 3 ? trace[k] : trace[k] * trace[k];
            v /= static_cast<double>(to - from);
            if (mode == 4) v = std::sqrt(v);
        }
        out[g] = v;
    }
    result = std::move(out);
}

double MathClass::ConstPi() const {
    return Pi;
}

std::optional<double> MathClass::ArrayFunctionSum(const Array& x) const {
    if (x.empty()) return std::nullopt;
    return Analysis::Sum(x);
}

bool MathClass::ArrayComplexMult(const Array& I1, const Array& Q1, const Array& I2, const Array& Q2,
                                 Array& Iout, Array& Qout) const {
    const std::size_t n = I1.size();
    if (Q1.size() != n || I2.size() != n || Q2.size() != n) return false;
    return Analysis::ComplexMultiply(I1, Q1, I2, Q2, Iout, Qout);
}

void MathClass::ArrayNegative(Array& x) const {
    for (double& v : x)
        v = -v;
}

bool MathClass::FFTUnchanged() const {
    return fftUnchanged_;
}
