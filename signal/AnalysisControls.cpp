#include "AnalysisControls.h"

#include <fftw3.h>

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <climits>
#include <map>
#include <numbers>
#include <utility>

namespace Analysis {

namespace {

constexpr double kPi = std::numbers::pi;

// One plan per (length, kind), built on first use and kept for the life of the
// process: the measurement transforms records of the same few lengths over and
// over, and planning costs far more than a transform. Each plan owns its
// buffers; callers copy in and out, which keeps the plans independent of the
// callers' arrays and their alignment.
class PlanCache {
public:
    enum class Kind { Forward, Backward, RealForward };

    struct Entry {
        fftw_plan plan = nullptr;
        fftw_complex* cbuf = nullptr; // complex input (c2c) or output (r2c)
        fftw_complex* cout = nullptr; // c2c output
        double* rbuf = nullptr;       // r2c input
    };

    static PlanCache& Instance() {
        static PlanCache cache;
        return cache;
    }

    Entry& Get(std::size_t n, Kind kind) {
        auto key = std::make_pair(n, kind);
        auto it = entries_.find(key);
        if (it != entries_.end()) return it->second;
        Entry e;
        const int len = static_cast<int>(n);
        if (kind == Kind::RealForward) {
            e.rbuf = fftw_alloc_real(n);
            e.cbuf = fftw_alloc_complex(n / 2 + 1);
            e.plan = fftw_plan_dft_r2c_1d(len, e.rbuf, e.cbuf, FFTW_ESTIMATE);
        } else {
            e.cbuf = fftw_alloc_complex(n);
            e.cout = fftw_alloc_complex(n);
            e.plan = fftw_plan_dft_1d(len, e.cbuf, e.cout,
                                      kind == Kind::Forward ? FFTW_FORWARD : FFTW_BACKWARD,
                                      FFTW_ESTIMATE);
        }
        return entries_.emplace(key, e).first->second;
    }

    PlanCache(const PlanCache&) = delete;
    PlanCache& operator=(const PlanCache&) = delete;

private:
    PlanCache() = default;
    ~PlanCache() {
        for (auto& [key, e] : entries_) {
            fftw_destroy_plan(e.plan);
            fftw_free(e.cbuf);
            fftw_free(e.cout);
            fftw_free(e.rbuf);
        }
        fftw_cleanup();
    }

    std::map<std::pair<std::size_t, Kind>, Entry> entries_;
};

bool ComplexTransform(const Array& re, const Array& im, Array& outRe, Array& outIm,
                      PlanCache::Kind kind) {
    if (re.size() != im.size() || re.size() > INT_MAX) {
        outRe.clear();
        outIm.clear();
        return false;
    }
    const std::size_t n = re.size();
    if (n == 0) {
        outRe.clear();
        outIm.clear();
        return true;
    }
    auto& e = PlanCache::Instance().Get(n, kind);
    for (std::size_t k = 0; k < n; ++k) {
        e.cbuf[k][0] = re[k];
        e.cbuf[k][1] = im[k];
    }
    fftw_execute(e.plan);
    // The input is in the plan's buffer by now, so the outputs may be the
    // very arrays that were passed in.
    const double scale = kind == PlanCache::Kind::Backward ? 1.0 / static_cast<double>(n) : 1.0;
    outRe.resize(n);
    outIm.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        outRe[k] = e.cout[k][0] * scale;
        outIm[k] = e.cout[k][1] * scale;
    }
    return true;
}

// Keeps phases in (-pi, pi]: atan2 answers -pi for a negative real part with
// a negative-zero imaginary part.
double Phase(double re, double im) {
    double p = std::atan2(im, re);
    return p == -kPi ? kPi : p;
}

bool SameLength(const Array& a, const Array& b) { return a.size() == b.size(); }

} // namespace

Array Ramp(std::size_t n, double first, double last) {
    Array r(n);
    if (n == 1) {
        r[0] = first;
    } else if (n > 1) {
        const double step = (last - first) / static_cast<double>(n - 1);
        for (std::size_t k = 0; k < n; ++k) r[k] = first + step * static_cast<double>(k);
        r[n - 1] = last;
    }
    return r;
}

bool FFT(const Array& re, const Array& im, Array& outRe, Array& outIm) {
    return ComplexTransform(re, im, outRe, outIm, PlanCache::Kind::Forward);
}

bool InverseFFT(const Array& re, const Array& im, Array& outRe, Array& outIm) {
    return ComplexTransform(re, im, outRe, outIm, PlanCache::Kind::Backward);
}

bool RealFFT(const Array& x, Array& outRe, Array& outIm) {
    const std::size_t n = x.size();
    if (n == 0 || n > INT_MAX) {
        outRe.clear();
        outIm.clear();
        return n == 0;
    }
    auto& e = PlanCache::Instance().Get(n, PlanCache::Kind::RealForward);
    std::copy(x.begin(), x.end(), e.rbuf);
    fftw_execute(e.plan);
    outRe.assign(n, 0.0);
    outIm.assign(n, 0.0);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        outRe[k] = e.cbuf[k][0];
        outIm[k] = e.cbuf[k][1];
    }
    for (std::size_t k = n / 2 + 1; k < n; ++k) {
        outRe[k] = outRe[n - k];
        outIm[k] = -outIm[n - k];
    }
    return true;
}

bool InverseRealFFT(const Array& re, const Array& im, Array& out) {
    Array outRe;
    Array outIm;
    const bool ok = ComplexTransform(re, im, outRe, outIm, PlanCache::Kind::Backward);
    out = std::move(outRe);
    return ok;
}

Array WindowWeights(std::size_t n, Window window) {
    Array w(n, 1.0);
    const double len = static_cast<double>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double t = 2.0 * kPi * static_cast<double>(k) / len;
        switch (window) {
        case Window::Bartlett:
            w[k] = 1.0 - std::abs(2.0 * static_cast<double>(k) / len - 1.0);
            break;
        case Window::Hanning:
            w[k] = 0.5 - 0.5 * std::cos(t);
            break;
        case Window::Hamming:
            w[k] = 0.54 - 0.46 * std::cos(t);
            break;
        case Window::BlackmanHarris:
            w[k] = 0.42323 - 0.49755 * std::cos(t) + 0.07922 * std::cos(2.0 * t);
            break;
        }
    }
    return w;
}

void ApplyWindow(Array& x, Window window) {
    const Array w = WindowWeights(x.size(), window);
    for (std::size_t k = 0; k < x.size(); ++k) x[k] *= w[k];
}

Array Unwrap(const Array& phase) {
    Array out(phase);
    double correction = 0.0;
    for (std::size_t k = 1; k < phase.size(); ++k) {
        const double d = phase[k] - phase[k - 1];
        if (std::abs(d) >= kPi) {
            // The jump brought into [-pi, pi); +pi kept for a rising jump of exactly pi.
            double dd = std::fmod(d + kPi, 2.0 * kPi);
            if (dd < 0) dd += 2.0 * kPi;
            dd -= kPi;
            if (dd == -kPi && d > 0) dd = kPi;
            correction += dd - d;
        }
        out[k] = phase[k] + correction;
    }
    return out;
}

// The two-output operations build their results aside and move them in at
// the end, so any output may also be one of the inputs.
bool ToPolar(const Array& re, const Array& im, Array& mag, Array& phase) {
    if (!SameLength(re, im)) {
        mag.clear();
        phase.clear();
        return false;
    }
    Array m(re.size());
    Array p(re.size());
    for (std::size_t k = 0; k < re.size(); ++k) {
        m[k] = std::hypot(re[k], im[k]);
        p[k] = Phase(re[k], im[k]);
    }
    mag = std::move(m);
    phase = std::move(p);
    return true;
}

bool ToRect(const Array& mag, const Array& phase, Array& re, Array& im) {
    if (!SameLength(mag, phase)) {
        re.clear();
        im.clear();
        return false;
    }
    Array r(mag.size());
    Array i(mag.size());
    for (std::size_t k = 0; k < mag.size(); ++k) {
        r[k] = mag[k] * std::cos(phase[k]);
        i[k] = mag[k] * std::sin(phase[k]);
    }
    re = std::move(r);
    im = std::move(i);
    return true;
}

bool ComplexMultiply(const Array& aRe, const Array& aIm, const Array& bRe, const Array& bIm,
                     Array& outRe, Array& outIm) {
    const std::size_t n = aRe.size();
    if (aIm.size() != n || bRe.size() != n || bIm.size() != n) {
        outRe.clear();
        outIm.clear();
        return false;
    }
    Array r(n);
    Array i(n);
    for (std::size_t k = 0; k < n; ++k) {
        r[k] = aRe[k] * bRe[k] - aIm[k] * bIm[k];
        i[k] = aRe[k] * bIm[k] + aIm[k] * bRe[k];
    }
    outRe = std::move(r);
    outIm = std::move(i);
    return true;
}

std::optional<Extremes> MaxMin(const Array& x) {
    std::optional<Extremes> r;
    for (std::size_t k = 0; k < x.size(); ++k) {
        const double v = x[k];
        if (std::isnan(v)) continue;
        if (!r) {
            r = Extremes{v, k, v, k};
            continue;
        }
        if (v > r->max) {
            r->max = v;
            r->maxIndex = k;
        }
        if (v < r->min) {
            r->min = v;
            r->minIndex = k;
        }
    }
    return r;
}

std::optional<double> Max(const Array& x) {
    auto e = MaxMin(x);
    if (!e) return std::nullopt;
    return e->max;
}

std::optional<double> Min(const Array& x) {
    auto e = MaxMin(x);
    if (!e) return std::nullopt;
    return e->min;
}

namespace {
// out may be a or b.
template <class Op> bool ElementWise(const Array& a, const Array& b, Array& out, Op op) {
    if (!SameLength(a, b)) {
        out.clear();
        return false;
    }
    Array r(a.size());
    for (std::size_t k = 0; k < a.size(); ++k) r[k] = op(a[k], b[k]);
    out = std::move(r);
    return true;
}
} // namespace

bool Add(const Array& a, const Array& b, Array& out) {
    return ElementWise(a, b, out, [](double u, double v) { return u + v; });
}

bool Subtract(const Array& a, const Array& b, Array& out) {
    return ElementWise(a, b, out, [](double u, double v) { return u - v; });
}

bool Multiply(const Array& a, const Array& b, Array& out) {
    return ElementWise(a, b, out, [](double u, double v) { return u * v; });
}

bool Divide(const Array& a, const Array& b, Array& out) {
    if (std::any_of(b.begin(), b.end(), [](double v) { return v == 0.0; })) {
        out.clear();
        return false;
    }
    return ElementWise(a, b, out, [](double u, double v) { return u / v; });
}

Array Negate(const Array& x) { return Linear(x, -1.0, 0.0); }

Array Linear(const Array& x, double a, double b) {
    Array out(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) out[k] = a * x[k] + b;
    return out;
}

void Scale(Array& x, double factor) {
    for (double& v : x) v *= factor;
}

bool Subset(const Array& x, std::size_t start, std::size_t count, Array& out) {
    if (start > x.size() || count > x.size() - start) {
        out.clear();
        return false;
    }
    Array r(x.begin() + static_cast<std::ptrdiff_t>(start),
            x.begin() + static_cast<std::ptrdiff_t>(start + count));
    out = std::move(r);
    return true;
}

Array Concat(const Array& a, const Array& b) {
    Array out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

double Sum(const Array& x) {
    double s = 0.0;
    for (double v : x) s += v;
    return s;
}

Array Clip(const Array& x, double low, double high) {
    Array out(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) out[k] = std::min(std::max(x[k], low), high);
    return out;
}

std::vector<std::size_t> SearchBetween(const Array& x, double low, double high) {
    std::vector<std::size_t> found;
    for (std::size_t k = 0; k < x.size(); ++k)
        if (x[k] >= low && x[k] <= high) found.push_back(k);
    return found;
}

Array NormalizeToMax(const Array& x) {
    double peak = 0.0;
    for (double v : x)
        if (std::abs(v) > peak) peak = std::abs(v);
    Array out(x);
    if (peak > 0.0 && std::isfinite(peak)) Scale(out, 1.0 / peak);
    return out;
}

Array ComplementToTotal(const Array& runningSum) {
    if (runningSum.empty()) return {};
    return Linear(runningSum, -1.0, runningSum.back());
}

Array PolyEval(const Array& x, const Array& coeff) {
    Array out(x.size(), 0.0);
    for (std::size_t k = 0; k < x.size(); ++k) {
        double v = 0.0;
        for (auto c = coeff.rbegin(); c != coeff.rend(); ++c) v = v * x[k] + *c;
        out[k] = v;
    }
    return out;
}

std::optional<double> Mean(const Array& x) {
    if (x.empty()) return std::nullopt;
    return Sum(x) / static_cast<double>(x.size());
}

std::optional<double> Rms(const Array& x) {
    if (x.empty()) return std::nullopt;
    double s = 0.0;
    for (double v : x) s += v * v;
    return std::sqrt(s / static_cast<double>(x.size()));
}

bool Histogram(const Array& x, double low, double high, std::size_t m, Array& counts,
               Array& axis) {
    counts.clear();
    axis.clear();
    if (m < 1 || !std::isfinite(low) || !std::isfinite(high) || high < low) return false;
    if (high == low) {
        low -= 0.5;
        high += 0.5;
    }
    // Edges as numpy.linspace makes them, so a value on an edge lands in the
    // same interval as there.
    Array edges(m + 1);
    const double width = (high - low) / static_cast<double>(m);
    for (std::size_t i = 0; i <= m; ++i) edges[i] = low + static_cast<double>(i) * width;
    edges[m] = high;

    counts.assign(m, 0.0);
    axis.resize(m);
    for (std::size_t i = 0; i < m; ++i) axis[i] = 0.5 * (edges[i] + edges[i + 1]);
    for (double v : x) {
        if (!(v >= low && v <= high)) continue; // outside, or NaN
        // First guess from the position, then settled against the edges.
        // (A width that underflowed to 0 gives no usable guess.)
        const double pos = std::floor((v - low) / width);
        const std::size_t i0 =
            pos >= 0 ? static_cast<std::size_t>(std::min(pos, static_cast<double>(m - 1))) : 0;
        std::size_t i = i0;
        while (i > 0 && v < edges[i]) --i;
        while (i + 1 < m && v >= edges[i + 1]) ++i;
        counts[i] += 1.0;
    }
    return true;
}

bool PolyFit(const Array& x, const Array& y, int order, Array& coeff, double& mse) {
    coeff.clear();
    mse = 0.0;
    if (order < 0 || x.size() != y.size()) return false;
    auto finite = [](double v) { return std::isfinite(v); };
    if (!std::all_of(x.begin(), x.end(), finite) || !std::all_of(y.begin(), y.end(), finite))
        return false;
    Array distinct(x);
    std::sort(distinct.begin(), distinct.end());
    const auto nDistinct =
        static_cast<std::size_t>(std::unique(distinct.begin(), distinct.end()) - distinct.begin());
    const auto terms = static_cast<std::size_t>(order) + 1;
    if (nDistinct < terms) return false;

    // Powers of x / s with s the largest |x|, each column scaled to unit norm:
    // the plain Vandermonde matrix of a high order spans many decades and
    // would lose the small coefficients.
    const Eigen::Index rows = static_cast<Eigen::Index>(x.size());
    const Eigen::Index cols = static_cast<Eigen::Index>(terms);
    double s = 0.0;
    for (double v : x) s = std::max(s, std::abs(v));
    if (s == 0.0) s = 1.0;
    Eigen::MatrixXd V(rows, cols);
    for (Eigen::Index r = 0; r < rows; ++r) {
        const double t = x[static_cast<std::size_t>(r)] / s;
        double p = 1.0;
        for (Eigen::Index c = 0; c < cols; ++c) {
            V(r, c) = p;
            p *= t;
        }
    }
    Eigen::VectorXd norms = V.colwise().norm().transpose();
    for (Eigen::Index c = 0; c < cols; ++c)
        if (norms(c) == 0.0) norms(c) = 1.0;
    const Eigen::MatrixXd A = V * norms.cwiseInverse().asDiagonal();
    const Eigen::VectorXd b = Eigen::Map<const Eigen::VectorXd>(y.data(), rows);
    const Eigen::VectorXd z = A.colPivHouseholderQr().solve(b);

    coeff.resize(terms);
    double sk = 1.0;
    for (std::size_t k = 0; k < terms; ++k) {
        coeff[k] = z(static_cast<Eigen::Index>(k)) / norms(static_cast<Eigen::Index>(k)) / sk;
        sk *= s;
    }
    if (!std::all_of(coeff.begin(), coeff.end(), finite)) {
        coeff.clear();
        return false;
    }
    const Array fitted = PolyEval(x, coeff);
    double sq = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) sq += (y[k] - fitted[k]) * (y[k] - fitted[k]);
    mse = sq / static_cast<double>(x.size());
    return true;
}

bool LinearGain(const Array& x, const Array& y, double& gain) {
    gain = 0.0;
    if (!SameLength(x, y)) return false;
    double sxy = 0.0;
    double sxx = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        sxy += x[k] * y[k];
        sxx += x[k] * x[k];
    }
    if (sxx == 0.0 || !std::isfinite(sxx) || !std::isfinite(sxy)) return false;
    gain = sxy / sxx;
    return true;
}

} // namespace Analysis
