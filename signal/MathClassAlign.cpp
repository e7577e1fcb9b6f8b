// Timing alignment: the cross spectrum of two I/Q records, the shift fitted
// to its phase, and the fractional circular shift of a record.
//
// These run on records of millions of samples, so they work in the
// transforms' work buffer and fold the centring, the polar form and the phase
// ramp into the transforms' own passes instead of going through whole-array
// steps one after the other.

#include "AnalysisControls.h"
#include "MathClass.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// The share of the fit's weight that may lie a whole turn off the line
// before the shift is refused as wrapped.
constexpr double kWrappedWeightLimit = 1e-3;
} // namespace

bool MathClass::ShiftService(const Array& I1, const Array& Q1, const Array& I2, const Array& Q2,
                             Array& mag, Array& phase) const {
    const std::size_t n = I1.size();
    if (Q1.size() != n || I2.size() != n || Q2.size() != n) return false;
    if (n == 0) {
        mag.clear();
        phase.clear();
        return true;
    }
    Analysis::WorkTransform w(n);
    if (!w.Valid()) return false;
    double* b = w.Data();

    // Spectrum 1 waits in the output arrays, in the transform's layout, while
    // record 2 is transformed; outputs that are record 2 itself get arrays of
    // their own.
    const bool aliased = &mag == &I2 || &mag == &Q2 || &phase == &I2 || &phase == &Q2;
    Array ownMag, ownPhase;
    Array& m = aliased ? ownMag : mag;
    Array& p = aliased ? ownPhase : phase;

    w.Forward(I1.data(), Q1.data());
    m.resize(n);
    p.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        m[k] = b[2 * k];
        p[k] = b[2 * k + 1];
    }
    // Each row of spectrum 2, while in cache: conj(a)·b, then its magnitude
    // and phase in place of it.
    auto cross = [&](double* row, std::size_t, std::size_t, std::size_t count) {
        constexpr std::size_t chunk = 256;
        double re[chunk], im[chunk], angle[chunk];
        const std::size_t at = static_cast<std::size_t>(row - b) / 2;
        for (std::size_t i0 = 0; i0 < count; i0 += chunk) {
            const std::size_t len = std::min(chunk, count - i0);
            double* v = row + 2 * i0;
            const double* ar = m.data() + at + i0;
            const double* ai = p.data() + at + i0;
            for (std::size_t i = 0; i < len; ++i) {
                const double br = v[2 * i], bi = v[2 * i + 1];
                re[i] = ar[i] * br + ai[i] * bi;
                im[i] = ar[i] * bi - ai[i] * br;
            }
            Analysis::Atan2(im, re, len, angle);
            for (std::size_t i = 0; i < len; ++i) {
                v[2 * i] = std::sqrt(re[i] * re[i] + im[i] * im[i]);
                // (-pi, pi], as the polar form gives it.
                v[2 * i + 1] = angle[i] == -std::numbers::pi ? std::numbers::pi : angle[i];
            }
        }
    };
    w.Forward(I2.data(), Q2.data(), cross);
    // Centred as fftshift does: bin k goes to (k + n/2) mod n.
    const std::size_t half = n / 2;
    const std::size_t up = n - half;
    w.ForEachBin([&](std::size_t pos, std::size_t bin) {
        const std::size_t j = bin < up ? bin + half : bin - up;
        m[j] = b[2 * pos];
        p[j] = b[2 * pos + 1];
    });
    if (aliased) {
        mag = std::move(ownMag);
        phase = std::move(ownPhase);
    }
    return true;
}

bool MathClass::GetSampleShiftFDom(const Array& mag, const Array& phase, double& shift) const {
    const std::size_t n = mag.size();
    if (n < 2 || phase.size() != n) return false;
    double peak = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(mag[k]) || !std::isfinite(phase[k])) return false;
        peak = std::max(peak, std::abs(mag[k]));
    }
    // All zero: every bin weighs the same.
    const double inv = peak > 0.0 ? 1.0 / peak : 0.0;
    const double len = static_cast<double>(n);
    const double centre = static_cast<double>(n / 2);
    double s = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double f = (static_cast<double>(k) - centre) / len;
        const double g = std::abs(mag[k]) * inv + 1e-7;
        const double w = g * g;
        s += w;
        sx += w * f;
        sy += w * phase[k];
        sxx += w * f * f;
        sxy += w * f * phase[k];
        syy += w * phase[k] * phase[k];
    }
    const double d = s * sxx - sx * sx;
    if (!(d > 0.0)) return false;
    const double slope = (s * sxy - sy * sx) / d;
    if (!std::isfinite(slope)) return false;
    // A bin more than pi off the fitted line cannot lie on it without a
    // whole turn: the phase wrapped inside the occupied band (|shift| times
    // the highest occupied frequency reached 0.5) and the slope is wrong.
    // Noise alone puts such bins only at the edge of a noisy band.
    const double intercept = (sy - slope * sx) / s;
    // Such bins carry at most the weighted squared residual / pi^2: when
    // that sum is small enough (half the limit, for the sum's rounding) no
    // bin needs looking at.
    const double residual = syy - intercept * sy - slope * sxy;
    if (residual <= 0.5 * kWrappedWeightLimit * std::numbers::pi * std::numbers::pi * s) {
        shift = slope / TwoPi;
        return true;
    }
    double wrapped = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double f = (static_cast<double>(k) - centre) / len;
        const double g = std::abs(mag[k]) * inv + 1e-7;
        if (std::abs(phase[k] - intercept - slope * f) > std::numbers::pi) wrapped += g * g;
    }
    if (wrapped > kWrappedWeightLimit * s) return false;
    shift = slope / TwoPi;
    return true;
}

bool MathClass::GetSampleShift(const Array& I1, const Array& Q1, const Array& I2, const Array& Q2,
                               double& shift) const {
    Array mag, phase;
    return ShiftService(I1, Q1, I2, Q2, mag, phase) && GetSampleShiftFDom(mag, phase, shift);
}

bool MathClass::ShiftSamples(Array& I, Array& Q, double shift) const {
    const std::size_t n = I.size();
    if (Q.size() != n || !std::isfinite(shift)) return false;
    if (n == 0) return true;
    Analysis::WorkTransform w(n);
    if (!w.Valid()) return false;
    // Bin k < n - n/2 has frequency k/n, the others (k - n)/n; each turns by
    // 2·pi·shift·frequency. The negative frequencies turn by the conjugate of
    // the positive ones, so the table covers |k| up to n/2.
    const std::size_t up = n - n / 2;
    const Analysis::PhaseSteps turn(TwoPi * shift / static_cast<double>(n), n / 2 + 1);
    auto rotate = [&](double* row, std::size_t first, std::size_t stride, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t bin = first + stride * i;
            double c, s;
            if (bin < up) {
                turn.At(bin, c, s);
            } else {
                turn.At(n - bin, c, s);
                s = -s;
            }
            const double re = row[2 * i], im = row[2 * i + 1];
            row[2 * i] = re * c - im * s;
            row[2 * i + 1] = re * s + im * c;
        }
    };
    w.Filter(I.data(), Q.data(), rotate, I.data(), Q.data(), 1.0 / static_cast<double>(n));
    return true;
}

bool MathClass::GetSteigung(const Array& x, const Array& y, double& offset, double& result) const {
    double slope = 0.0, intercept = 0.0;
    if (!RegressLinW(x, y, Array(x.size(), 1.0), slope, intercept) || slope == 0.0) return false;
    offset = intercept;
    result = 1.0 / slope;
    return true;
}
