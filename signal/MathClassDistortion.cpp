// The amplifier model, band-limited noise, the PN shift register, and two
// small searches on curves and signals.

#include "AnalysisControls.h"
#include "MathClass.h"
#include "UniformRandom.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

double Phase(double re, double im) {
    const double p = std::atan2(im, re);
    return p == -std::numbers::pi ? std::numbers::pi : p;
}

// Horner, lowest power first, as the analysis layer evaluates polynomials.
double Poly(const std::vector<double>& c, double x) {
    double v = 0.0;
    for (auto it = c.rbegin(); it != c.rend(); ++it)
        v = v * x + *it;
    return v;
}

// Magnitudes whose squares neither underflow nor overflow.
constexpr double kTiny = 1e-150;
constexpr double kHuge = 1e150;

// Working arrays of the amplifier model, one block of samples at a time
// (36 KB: they stay in the core's caches while the block is worked on).
struct Block {
    static constexpr std::size_t size = 512;
    double mag[size];
    double scaled[size];
    double amp[size];
    double pm[size];
    double sin[size];
    double cos[size];
    double outI[size];
    double outQ[size];
};

// y = polynomial(x) for a whole block, coefficient by coefficient, so that
// the samples run side by side.
__attribute__((target_clones("avx2", "default"))) void PolyBlock(const std::vector<double>& c,
                                                                 const double* __restrict x,
                                                                 double* __restrict y,
                                                                 std::size_t m) {
    for (std::size_t i = 0; i < m; ++i)
        y[i] = 0.0;
    for (auto it = c.rbegin(); it != c.rend(); ++it) {
        const double ck = *it;
        for (std::size_t i = 0; i < m; ++i)
            y[i] = y[i] * x[i] + ck;
    }
}

// Magnitudes, then the curves in the order asked for: amp the new
// magnitude, pm the AM/PM value (0 without that curve).
__attribute__((target_clones("avx2", "default"))) void
DistortCurves(const double* __restrict re, const double* __restrict im, std::size_t m, double scale,
              const std::vector<double>* am, const std::vector<double>* pm, bool amFirst,
              Block& b) {
    double* scaled = b.scaled;
    for (std::size_t i = 0; i < m; ++i) {
        b.mag[i] = std::sqrt(re[i] * re[i] + im[i] * im[i]);
        scaled[i] = b.mag[i] * scale;
    }
    if (amFirst) {
        if (am)
            PolyBlock(*am, scaled, b.amp, m);
        else
            std::copy(scaled, scaled + m, b.amp);
        if (pm) PolyBlock(*pm, b.amp, b.pm, m);
    } else {
        if (pm) PolyBlock(*pm, scaled, b.pm, m);
        if (am)
            PolyBlock(*am, scaled, b.amp, m);
        else
            std::copy(scaled, scaled + m, b.amp);
    }
    if (!pm)
        for (std::size_t i = 0; i < m; ++i)
            b.pm[i] = 0.0;
}

// The sample turned by its AM/PM value and brought to its new magnitude.
__attribute__((target_clones("avx2", "default"))) void TurnAndScale(const double* __restrict re,
                                                                    const double* __restrict im,
                                                                    std::size_t m, bool turn,
                                                                    Block& b) {
    if (turn) {
        for (std::size_t i = 0; i < m; ++i) {
            const double f = b.amp[i] / b.mag[i];
            b.outI[i] = f * (re[i] * b.cos[i] - im[i] * b.sin[i]);
            b.outQ[i] = f * (re[i] * b.sin[i] + im[i] * b.cos[i]);
        }
    } else {
        for (std::size_t i = 0; i < m; ++i) {
            const double f = b.amp[i] / b.mag[i];
            b.outI[i] = f * re[i];
            b.outQ[i] = f * im[i];
        }
    }
}

} // namespace

bool MathClass::SignalSchwellDetect(const Array& signal, double threshold, std::int32_t& first,
                                    std::int32_t& last) const {
    const auto range = Analysis::MaxMin(signal);
    if (!range || signal.size() < 3 || signal.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    const double level = (range->max - range->min) * threshold + range->min;
    const std::size_t n = signal.size();
    std::size_t e = n - 2;
    while (e >= 1 && !(signal[e] > level))
        --e;
    std::size_t s = 1;
    while (s <= n - 2 && !(signal[s] > level))
        ++s;
    if (e < 1 || s > n - 2) return false;
    last = static_cast<std::int32_t>(e) - 1;
    first = static_cast<std::int32_t>(s) + 1;
    return true;
}

bool MathClass::SignalDistore(Array& I, Array& Q, const Array* amCurve, const Array* pmCurve,
                              double scale, bool amFirst) {
    const std::size_t n = I.size();
    if (Q.size() != n) return false;
    Status("distoring, please wait...");
    // Phases are added in the polar form's own unit, radians, with PhaseAdd's
    // fold by 360 beyond ±180. While |AM/PM| stays below 180 - pi no sum can
    // reach ±180, so the sample is simply turned by the AM/PM value and scaled
    // by new / old magnitude: the polar round trip without its arc tangent,
    // equal to it up to rounding. Zero or extreme samples and large AM/PM
    // values take the round trip itself.
    constexpr double noFold = 180.0 - 4.0;
    Block block;
    for (std::size_t base = 0; base < n; base += Block::size) {
        const std::size_t m = std::min(Block::size, n - base);
        double* re = I.data() + base;
        double* im = Q.data() + base;
        DistortCurves(re, im, m, scale, amCurve, pmCurve, amFirst, block);
        if (pmCurve) Analysis::SinCos(block.pm, m, block.sin, block.cos);
        TurnAndScale(re, im, m, pmCurve != nullptr, block);
        for (std::size_t i = 0; i < m; ++i) {
            if (block.mag[i] > kTiny && block.mag[i] <= kHuge && std::abs(block.pm[i]) <= noFold) {
                re[i] = block.outI[i];
                im[i] = block.outQ[i];
                continue;
            }
            const double exact = std::hypot(re[i], im[i]) * scale;
            double amp = exact;
            double pm = 0.0;
            if (amFirst) {
                if (amCurve) amp = Poly(*amCurve, exact);
                if (pmCurve) pm = Poly(*pmCurve, amp);
            } else {
                if (pmCurve) pm = Poly(*pmCurve, exact);
                if (amCurve) amp = Poly(*amCurve, exact);
            }
            double phase = Phase(re[i], im[i]);
            if (pmCurve) phase = PhaseAdd(phase, pm);
            re[i] = amp * std::cos(phase);
            im[i] = amp * std::sin(phase);
        }
    }
    return true;
}

double MathClass::SignalFindFirst(const Array& coeff, double target, bool& found) const {
    // The search has no end of its own while the curve stays between 0 and
    // the target; amplitudes are normalised, so 1000 is far beyond any use.
    constexpr double limit = 1000.0;
    double x = 0.0;
    double y = 0.0;
    double step = 0.01;
    do {
        step /= 10.0;
        do {
            x += step;
            y = PolyCalc(coeff, x);
        } while (!(y < 0.0 || y >= target) && std::isfinite(y) && x <= limit);
        if (!std::isfinite(y) || x > limit) {
            found = false;
            return 0.0;
        }
    } while (step >= 1e-7);
    found = y >= 0.0;
    return found ? x : 0.0;
}

bool MathClass::SignalNoise(double bandwidth, double clock, std::int32_t length, float seed,
                            bool removeMean, Array& I, Array& Q) const {
    if (!(clock > 0.0) || !std::isfinite(clock) || !std::isfinite(bandwidth) || length < 1)
        return false;
    const auto n = static_cast<std::size_t>(length);
    Analysis::WorkTransform w(n);
    if (!w.Valid()) return false;
    UniformRandom::Reset();
    UniformRandom::Seed(seed);
    const double len = static_cast<double>(length);
    const double half = std::nearbyint(len * bandwidth / clock / 2.0);
    const double lo = std::max(std::nearbyint(len / 2.0 - half), 0.0);
    const double hi = std::min(std::nearbyint(len / 2.0 + half), len - 1.0);
    const bool occupied = lo <= hi;
    const std::size_t first = occupied ? static_cast<std::size_t>(lo) : 0;
    const std::size_t last = occupied ? static_cast<std::size_t>(hi) : 0;
    // Unit magnitude and phase (r - 0.5)·360 for the bins of the band, r drawn
    // bin by bin in rising order (taken here out of order, as the generator
    // allows); the phase goes to the polar-to-rectangular step as it is. The
    // centred spectrum is built straight in its place after ifftshift: bin j
    // of the transform holds centred bin (j + n/2) mod n.
    const std::size_t centre = n / 2;
    auto fill = [&](double* row, std::size_t firstBin, std::size_t stride, std::size_t count) {
        constexpr std::size_t chunk = 256;
        double phase[chunk], sine[chunk], cosine[chunk];
        std::size_t at[chunk];
        for (std::size_t i0 = 0; i0 < count; i0 += chunk) {
            const std::size_t m = std::min(chunk, count - i0);
            double* out = row + 2 * i0;
            std::fill(out, out + 2 * m, 0.0);
            if (!occupied) continue;
            std::size_t used = 0;
            for (std::size_t i = 0; i < m; ++i) {
                const std::size_t j = firstBin + stride * (i0 + i);
                const std::size_t k = j < n - centre ? j + centre : j + centre - n;
                if (k < first || k > last) continue;
                phase[used] = (static_cast<double>(UniformRandom::Peek(k - first)) - 0.5) * 360.0;
                at[used++] = i;
            }
            Analysis::SinCos(phase, used, sine, cosine);
            for (std::size_t u = 0; u < used; ++u) {
                out[2 * at[u]] = cosine[u];
                out[2 * at[u] + 1] = sine[u];
            }
        }
    };
    I.resize(n);
    Q.resize(n);
    w.Inverse(fill, I.data(), Q.data(), 1.0 / len);
    if (occupied) UniformRandom::Skip(last - first + 1);
    if (removeMean) {
        const double mi = Analysis::Mean(I).value_or(0.0);
        const double mq = Analysis::Mean(Q).value_or(0.0);
        for (double& v : I)
            v -= mi;
        for (double& v : Q)
            v -= mq;
    }
    return ArrayNormalizeIQ(I, Q, I, Q, 1.0);
}

bool MathClass::SignalNoiseFDom(double bandwidth, double clock, std::int32_t length, float seed,
                                Array& amplitude, Array& phase) const {
    if (!(clock > 0.0) || !std::isfinite(clock) || !std::isfinite(bandwidth) || length < 1)
        return false;
    UniformRandom::Seed(seed);
    const double len = static_cast<double>(length);
    const double half = std::nearbyint(len * bandwidth / clock / 2.0);
    const auto n = static_cast<std::size_t>(length);
    amplitude.assign(n, 0.0);
    phase.assign(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        const double f = static_cast<double>(k);
        if (len / 2.0 - half <= f && f <= len / 2.0 + half) {
            amplitude[k] = 1.0;
            phase[k] = (static_cast<double>(UniformRandom::Next()) - 0.5) * 360.0;
        }
    }
    return true;
}

void MathClass::PNInit(std::int16_t n) {
    if (n < 1 || n > 24) return;
    pnLength_ = n;
    const auto& row = PNTapTable[static_cast<std::size_t>(n)];
    pnTaps_ = 0;
    pnState_ = 0;
    // Position i is bit n - i.
    for (int i = 1; i <= n; ++i)
        if (row[static_cast<std::size_t>(i)]) pnTaps_ |= 1u << (n - i);
    for (int i = 2; i <= n; ++i)
        if (!(UniformRandom::Next() > 0.5f)) pnState_ |= 1u << (n - i);
    pnState_ |= 1u << (n - 1);
}

std::int32_t MathClass::PNGetNext(bool scaled) {
    const int n = pnLength_;
    if (n == 0) return 0;
    const std::uint32_t feedback = std::popcount(pnState_ & pnTaps_) & 1u;
    pnState_ = (pnState_ >> 1) | (feedback << (n - 1));
    const auto value = static_cast<std::int32_t>(pnState_);
    if (!scaled) return value;
    return static_cast<std::int32_t>(std::nearbyint(std::ldexp(static_cast<double>(value), -n)));
}

double MathClass::PNGetNextFloat(double low, double high) {
    const double v = PNGetNext(false);
    return std::ldexp(v, -pnLength_) * (high - low) + low;
}
