// Coarse timing from the amplitude correlation: one transform carries both
// real envelopes (the input as real part, the output as imaginary part), so
// the correlation costs two complex transforms instead of three real ones.

#include "TimingAlignment.h"

#include "AnalysisControls.h"

#include <cmath>

namespace TimingAlignment {

bool CorrelationPeak(const Array& in, const Array& out, std::size_t& peak) {
    const std::size_t n = in.size();
    if (n == 0 || out.size() != n) return false;
    Analysis::WorkTransform w(n);
    if (!w.Valid()) return false;
    w.Forward(in.data(), out.data());
    double* z = w.Data();
    // With Z = A + jB for the spectra A, B of the two real envelopes,
    // A(k) = (Z(k) + conj Z(-k))/2 and B(k) = (Z(k) - conj Z(-k))/(2j), and the
    // correlation's spectrum is conj(A(k))·B(k), real-signal symmetric; it is
    // written into both bins of each pair at once.
    const auto at = [&](std::size_t bin) { return z + 2 * w.Position(bin); };
    for (std::size_t k = 0; k <= n / 2; ++k) {
        const std::size_t m = (n - k) % n;
        double* zk = at(k);
        double* zm = at(m);
        const double ar = 0.5 * (zk[0] + zm[0]), ai = 0.5 * (zk[1] - zm[1]);
        const double br = 0.5 * (zk[1] + zm[1]), bi = -0.5 * (zk[0] - zm[0]);
        // conj(A)·B
        const double cr = ar * br + ai * bi, ci = ar * bi - ai * br;
        zk[0] = cr;
        zk[1] = ci;
        zm[0] = cr;
        zm[1] = -ci;
    }
    w.Inverse();
    double best = -HUGE_VAL;
    std::size_t bestAt = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double v = z[2 * k];
        if (!std::isfinite(v)) return false;
        if (v > best) {
            best = v;
            bestAt = k;
        }
    }
    peak = bestAt;
    return true;
}

std::int32_t FoldLag(std::size_t peak, std::size_t n) {
    // The two branches differ by exactly n, one whole turn of the circular
    // record, so the folded lag names the same shift as the peak.
    if (peak <= n / 2) return -static_cast<std::int32_t>(peak);
    return static_cast<std::int32_t>(n - peak);
}

bool CoarseLag(const Array& in, const Array& out, std::int32_t& lag) {
    std::size_t peak = 0;
    if (!CorrelationPeak(in, out, peak)) return false;
    lag = FoldLag(peak, in.size());
    return true;
}

} // namespace TimingAlignment
