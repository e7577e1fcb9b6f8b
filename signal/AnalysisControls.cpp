// The analysis layer's array operations, statistics and fits (the transforms
// live in AnalysisTransforms.cpp).

#include "AnalysisControls.h"

#include "LeastSquaresTriangle.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <numbers>
#include <utility>

namespace Analysis {

namespace {

constexpr double kPi = std::numbers::pi;

bool SameLength(const Array& a, const Array& b) {
    return a.size() == b.size();
}

} // namespace

Array Ramp(std::size_t n, double first, double last) {
    Array r(n);
    if (n == 1) {
        r[0] = first;
    } else if (n > 1) {
        const double step = (last - first) / static_cast<double>(n - 1);
        for (std::size_t k = 0; k < n; ++k)
            r[k] = first + step * static_cast<double>(k);
        r[n - 1] = last;
    }
    return r;
}

Array WindowWeights(std::size_t n, Window window) {
    Array w(n, 1.0);
    if (n == 0) return w;
    const double len = static_cast<double>(n);
    if (window == Window::Bartlett) {
        for (std::size_t k = 0; k < n; ++k)
            w[k] = 1.0 - std::abs(2.0 * static_cast<double>(k) / len - 1.0);
        return w;
    }
    double a0 = 0.0, a1 = 0.0, a2 = 0.0;
    switch (window) {
    case Window::Hanning:
        a0 = 0.5, a1 = 0.5;
        break;
    case Window::Hamming:
        a0 = 0.54, a1 = 0.46;
        break;
    case Window::BlackmanHarris:
        a0 = 0.42323, a1 = 0.49755, a2 = 0.07922;
        break;
    case Window::Bartlett:
        break;
    }
    // cos(2·pi·k/n) and cos(4·pi·k/n) from the rotation table; a periodic
    // window is symmetric about n/2, so the upper half mirrors the lower.
    const PhaseSteps turn(2.0 * kPi / len, n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        double c, s;
        turn.At(k, c, s);
        const double c2 = c * c - s * s;
        w[k] = a0 - a1 * c + a2 * c2;
    }
    for (std::size_t k = n / 2 + 1; k < n; ++k)
        w[k] = w[n - k];
    return w;
}

void ApplyWindow(Array& x, Window window) {
    const Array w = WindowWeights(x.size(), window);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] *= w[k];
}

// Cody-Waite reduction by pi/2 (pi/2 split into three parts, the first two
// with 33 significant bits, so k times them is exact for |k| < 2^20), then
// Taylor series on [-pi/4, pi/4] carried far enough (x^17 for the sine, x^18
// for the cosine) that the truncation stays below 1e-19. The quadrant is
// picked with selects rather than branches, so the loop vectorises; the AVX2
// clone does four angles at a time with the very same operations.
__attribute__((target_clones("avx2", "default"))) void SinCos(const double* __restrict angle,
                                                              std::size_t n,
                                                              double* __restrict sine,
                                                              double* __restrict cosine) {
    constexpr double invPio2 = 0x1.45f306dc9c883p-1;
    constexpr double p1 = 0x1.921fb54400000p+0;
    constexpr double p2 = 0x1.0b4611a600000p-34;
    constexpr double p3 = 0x1.3198a2e037073p-69;
    constexpr double round = 0x1.8p52; // adding and taking it off rounds to an integer
    constexpr double limit = 0x1p19;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = angle[i];
        const double k = (x * invPio2 + round) - round;
        const double r = ((x - k * p1) - k * p2) - k * p3;
        const double z = r * r;
        const double sp =
            -1.0 / 6.0 +
            z * (1.0 / 120.0 +
                 z * (-1.0 / 5040.0 +
                      z * (1.0 / 362880.0 +
                           z * (-1.0 / 39916800.0 +
                                z * (1.0 / 6227020800.0 + z * (-1.0 / 1307674368000.0 +
                                                               z * (1.0 / 355687428096000.0)))))));
        const double cp =
            1.0 / 24.0 +
            z * (-1.0 / 720.0 +
                 z * (1.0 / 40320.0 +
                      z * (-1.0 / 3628800.0 +
                           z * (1.0 / 479001600.0 + z * (-1.0 / 87178291200.0 +
                                                         z * (1.0 / 20922789888000.0 +
                                                              z * (-1.0 / 6402373705728000.0)))))));
        const double sr = r + r * z * sp;
        const double cr = 1.0 - 0.5 * z + z * z * cp;
        // Quadrant k mod 4, as the fraction of k/4: 0, 0.25, 0.5 or 0.75.
        const double k4 = k * 0.25;
        const double near = (k4 + round) - round;
        const double q = k4 - (near - (near > k4 ? 1.0 : 0.0));
        const bool swap = (q == 0.25) | (q == 0.75);
        const bool negSin = q >= 0.5;
        const bool negCos = (q == 0.25) | (q == 0.5);
        const double a = swap ? cr : sr;
        const double b = swap ? sr : cr;
        sine[i] = negSin ? -a : a;
        cosine[i] = negCos ? -b : b;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!(std::abs(angle[i]) <= limit)) {
            sine[i] = std::sin(angle[i]);
            cosine[i] = std::cos(angle[i]);
        }
}

// Octant reduction to a = min/max in [0, 1]; then atan(a) = atan(c) +
// atan((a - c)/(1 + a·c)) with the pivot c among 0, tan(pi/12), tan(pi/6), 1
// nearest to a, which leaves |t| <= tan(pi/24) = 0.1317, where the Taylor
// series up to t^19 is exact to 1e-18. atan(c), pi/2 and pi are carried as
// two doubles each. Selects instead of branches, so the loop vectorises.
__attribute__((target_clones("avx2", "default"))) void Atan2(const double* __restrict y,
                                                             const double* __restrict x,
                                                             std::size_t n,
                                                             double* __restrict angle) {
    constexpr double b1 = 0x1.0d9fd31c98bf8p-3; // tan(pi/24), tan(3·pi/24), tan(5·pi/24)
    constexpr double b2 = 0x1.a827999fcef32p-2;
    constexpr double b3 = 0x1.88df153d6a676p-1;
    constexpr double c1 = 0x1.126145e9ecd56p-2; // tan(pi/12), tan(pi/6)
    constexpr double c2 = 0x1.279a74590331cp-1;
    constexpr double h1 = 0x1.0c152382d7365p-2, l1 = 0x1.59ec2c5c86603p-56; // atan(c1)
    constexpr double h2 = 0x1.0c152382d7365p-1, l2 = 0x1.2a323e45d5c68p-55; // atan(c2)
    constexpr double h3 = 0x1.921fb54442d18p-1, l3 = 0x1.1a62633145c07p-55; // pi/4
    constexpr double pio2h = 0x1.921fb54442d18p+0, pio2l = 0x1.1a62633145c07p-54;
    constexpr double pih = 0x1.921fb54442d18p+1, pil = 0x1.1a62633145c07p-53;
    for (std::size_t i = 0; i < n; ++i) {
        const double ax = std::abs(x[i]), ay = std::abs(y[i]);
        const bool swap = ay > ax;
        const double a = (swap ? ax : ay) / (swap ? ay : ax);
        const bool k3 = a > b3, k2 = a > b2, k1 = a > b1;
        const double c = k3 ? 1.0 : k2 ? c2 : k1 ? c1 : 0.0;
        const double hi = k3 ? h3 : k2 ? h2 : k1 ? h1 : 0.0;
        const double lo = k3 ? l3 : k2 ? l2 : k1 ? l1 : 0.0;
        const double t = (a - c) / (1.0 + a * c);
        const double z = t * t;
        const double p =
            t + t * z *
                    (-1.0 / 3.0 +
                     z * (1.0 / 5.0 +
                          z * (-1.0 / 7.0 +
                               z * (1.0 / 9.0 +
                                    z * (-1.0 / 11.0 +
                                         z * (1.0 / 13.0 +
                                              z * (-1.0 / 15.0 +
                                                   z * (1.0 / 17.0 + z * (-1.0 / 19.0)))))))));
        double r = hi + (lo + p);
        r = swap ? (pio2h - r) + pio2l : r;
        r = x[i] < 0.0 ? (pih - r) + pil : r;
        angle[i] = y[i] < 0.0 ? -r : r;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double ax = std::abs(x[i]), ay = std::abs(y[i]);
        if (!(ax > 0.0 && ay > 0.0 && ax <= DBL_MAX && ay <= DBL_MAX))
            angle[i] = std::atan2(y[i], x[i]);
    }
}

namespace {

// The whole turns that take a phase jump into [-pi, pi), +pi kept for a
// rising jump of exactly pi; none for a jump smaller than pi.
double TurnsBack(double d) {
    if (!(std::abs(d) >= kPi)) return 0.0;
    double dd = std::fmod(d + kPi, 2.0 * kPi);
    if (dd < 0) dd += 2.0 * kPi;
    dd -= kPi;
    if (dd == -kPi && d > 0) dd = kPi;
    return dd - d;
}

} // namespace

Array Unwrap(const Array& phase) {
    Array out(phase);
    double correction = 0.0;
    for (std::size_t k = 1; k < phase.size(); ++k) {
        correction += TurnsBack(phase[k] - phase[k - 1]);
        out[k] = phase[k] + correction;
    }
    return out;
}

Array UnwrapOccupied(const Array& phase, const Array& mag, double floor) {
    if (mag.size() != phase.size()) return {};
    double peak = 0.0;
    for (double m : mag)
        if (std::abs(m) > peak) peak = std::abs(m);
    const double least = floor * peak;
    Array out(phase);
    // The correction of the bin before k, and of the last bin with power.
    double correction = 0.0, occupiedCorrection = 0.0;
    std::optional<std::size_t> occupied;
    for (std::size_t k = 0; k < phase.size(); ++k) {
        const bool power = std::abs(mag[k]) >= least;
        if (power && occupied)
            correction = occupiedCorrection + TurnsBack(phase[k] - phase[*occupied]);
        else if (k > 0)
            correction += TurnsBack(phase[k] - phase[k - 1]);
        out[k] = phase[k] + correction;
        if (power) {
            occupied = k;
            occupiedCorrection = correction;
        }
    }
    return out;
}

double NearTurn(double phase, double centre) {
    const double d = phase - centre;
    if (d > kPi) return phase - 2.0 * kPi;
    if (d < -kPi) return phase + 2.0 * kPi;
    return phase;
}

Array NearStrongest(const Array& phase, const Array& mag, double floor) {
    if (mag.size() != phase.size()) return {};
    Array out(phase);
    if (out.empty()) return out;
    std::size_t top = 0;
    for (std::size_t k = 1; k < mag.size(); ++k)
        if (std::abs(mag[k]) > std::abs(mag[top])) top = k;
    const double least = floor * std::abs(mag[top]);
    for (std::size_t k = 0; k < out.size(); ++k)
        if (std::abs(mag[k]) >= least) out[k] = NearTurn(phase[k], phase[top]);
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
    const std::size_t n = re.size();
    Array m(n);
    Array p(n);
    for (std::size_t k = 0; k < n; ++k)
        m[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
    // Squares that overflowed or lost precision to underflow: the exact way.
    for (std::size_t k = 0; k < n; ++k)
        if (!(m[k] > 1e-145 && m[k] <= 1e150)) m[k] = std::hypot(re[k], im[k]);
    // Phases in (-pi, pi]: atan2 answers -pi for a negative real part with a
    // negative-zero imaginary part.
    Atan2(im.data(), re.data(), n, p.data());
    for (double& v : p)
        if (v == -kPi) v = kPi;
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
    const std::size_t n = mag.size();
    Array r(n);
    Array i(n);
    SinCos(phase.data(), n, i.data(), r.data());
    for (std::size_t k = 0; k < n; ++k) {
        r[k] *= mag[k];
        i[k] *= mag[k];
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
    for (std::size_t k = 0; k < a.size(); ++k)
        r[k] = op(a[k], b[k]);
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

Array Negate(const Array& x) {
    return Linear(x, -1.0, 0.0);
}

Array Linear(const Array& x, double a, double b) {
    Array out(x.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        out[k] = a * x[k] + b;
    return out;
}

void Scale(Array& x, double factor) {
    for (double& v : x)
        v *= factor;
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
    for (double v : x)
        s += v;
    return s;
}

Array Clip(const Array& x, double low, double high) {
    Array out(x.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        out[k] = std::min(std::max(x[k], low), high);
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
        for (auto c = coeff.rbegin(); c != coeff.rend(); ++c)
            v = v * x[k] + *c;
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
    for (double v : x)
        s += v * v;
    return std::sqrt(s / static_cast<double>(x.size()));
}

bool Histogram(const Array& x, double low, double high, std::size_t m, Array& counts, Array& axis) {
    counts.clear();
    axis.clear();
    if (m < 1 || m > kMaxHistogramClasses || !std::isfinite(low) || !std::isfinite(high) ||
        high < low)
        return false;
    if (high == low) {
        low -= 0.5;
        high += 0.5;
    }
    // A span beyond the double range has no finite interval width to count in.
    if (!std::isfinite(high - low)) return false;
    // Edges as numpy.linspace makes them, so a value on an edge lands in the
    // same interval as there.
    Array edges(m + 1);
    const double width = (high - low) / static_cast<double>(m);
    for (std::size_t i = 0; i <= m; ++i)
        edges[i] = low + static_cast<double>(i) * width;
    edges[m] = high;

    counts.assign(m, 0.0);
    axis.resize(m);
    for (std::size_t i = 0; i < m; ++i)
        axis[i] = 0.5 * (edges[i] + edges[i + 1]);
    for (double v : x) {
        if (!(v >= low && v <= high)) continue; // outside, or NaN
        // First guess from the position, then settled against the edges.
        // (A width that underflowed to 0 gives no usable guess.)
        const double pos = std::floor((v - low) / width);
        const std::size_t i0 =
            pos >= 0 ? static_cast<std::size_t>(std::min(pos, static_cast<double>(m - 1))) : 0;
        std::size_t i = i0;
        while (i > 0 && v < edges[i])
            --i;
        while (i + 1 < m && v >= edges[i + 1])
            ++i;
        counts[i] += 1.0;
    }
    return true;
}

namespace {

// Whether x holds at least `wanted` distinct values. A fit needs only a few,
// so they are collected until enough differ instead of sorting the record.
bool HasDistinct(const Array& x, std::size_t wanted) {
    constexpr std::size_t kFewValues = 64;
    if (wanted > kFewValues) {
        Array sorted(x);
        std::sort(sorted.begin(), sorted.end());
        return static_cast<std::size_t>(std::unique(sorted.begin(), sorted.end()) -
                                        sorted.begin()) >= wanted;
    }
    Array seen;
    for (double v : x) {
        if (seen.size() >= wanted) break;
        if (std::find(seen.begin(), seen.end(), v) == seen.end()) seen.push_back(v);
    }
    return seen.size() >= wanted;
}

// The power of two at or above the largest |v| (1 for all zeros): scaling by
// it is exact.
double PowerOfTwoAbove(const Array& v) {
    double largest = 0.0;
    for (double e : v)
        largest = std::max(largest, std::abs(e));
    if (largest == 0.0) return 1.0;
    int exponent = 0;
    std::frexp(largest, &exponent);
    return std::ldexp(1.0, exponent);
}

} // namespace

bool PolyFit(const Array& x, const Array& y, int order, Array& coeff, double& mse) {
    coeff.clear();
    mse = 0.0;
    if (order < 0 || x.size() != y.size()) return false;
    auto finite = [](double v) { return std::isfinite(v); };
    if (!std::all_of(x.begin(), x.end(), finite) || !std::all_of(y.begin(), y.end(), finite))
        return false;
    const auto terms = static_cast<std::size_t>(order) + 1;
    if (!HasDistinct(x, terms)) return false;

    // Powers of x / s with s the largest |x|: the plain Vandermonde matrix of
    // a high order spans many decades and would lose the small coefficients.
    // y is scaled by a power of two so that no square overflows. The tall
    // matrix is never stored: its rows go straight into the QR triangle.
    double s = 0.0;
    for (double v : x)
        s = std::max(s, std::abs(v));
    if (s == 0.0) s = 1.0;
    const double yScale = PowerOfTwoAbove(y);
    LeastSquaresTriangle triangle(terms);
    Array row(terms + 1);
    for (std::size_t k = 0; k < x.size(); ++k) {
        const double t = x[k] / s;
        double p = 1.0;
        for (std::size_t c = 0; c < terms; ++c) {
            row[c] = p;
            p *= t;
        }
        row[terms] = y[k] / yScale;
        triangle.AddRow(row.data());
    }
    triangle.Finish();

    // The triangle has the columns' norms and Q'y: each column scaled to unit
    // norm and solved with column pivoting, as the whole matrix would be.
    const auto cols = static_cast<Eigen::Index>(terms);
    Eigen::MatrixXd R = Eigen::MatrixXd::Zero(cols, cols);
    Eigen::VectorXd qty(cols);
    for (Eigen::Index r = 0; r < cols; ++r) {
        for (Eigen::Index c = r; c < cols; ++c)
            R(r, c) = triangle.R(static_cast<std::size_t>(r), static_cast<std::size_t>(c));
        qty(r) = triangle.R(static_cast<std::size_t>(r), terms);
    }
    Eigen::VectorXd norms = R.colwise().norm().transpose();
    for (Eigen::Index c = 0; c < cols; ++c)
        if (norms(c) == 0.0) norms(c) = 1.0;
    const Eigen::MatrixXd A = R * norms.cwiseInverse().asDiagonal();
    const Eigen::VectorXd z = A.colPivHouseholderQr().solve(qty);

    coeff.resize(terms);
    double sk = 1.0;
    for (std::size_t k = 0; k < terms; ++k) {
        coeff[k] =
            z(static_cast<Eigen::Index>(k)) / norms(static_cast<Eigen::Index>(k)) / sk * yScale;
        sk *= s;
    }
    if (!std::all_of(coeff.begin(), coeff.end(), finite)) {
        coeff.clear();
        return false;
    }
    double sq = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        double v = 0.0;
        for (auto c = coeff.rbegin(); c != coeff.rend(); ++c)
            v = v * x[k] + *c;
        sq += (y[k] - v) * (y[k] - v);
    }
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
