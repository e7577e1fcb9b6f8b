// Spectra and channel power: centring, window names and correction factors,
// windowing, channel power, correlations, peak search, cumulative curves and
// FIR filters.

#include "AnalysisControls.h"
#include "MathClass.h"
#include "NoCase.h"
#include "SpecialCalc.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <string_view>

namespace {

// The correction tables, by WindowEnum code: coherent gain (0 where the table
// has none) and equivalent noise bandwidth in bins.
constexpr std::string_view kWindowNames[] = {
    "NONE",        "TRIANGULAR",   "HANNING",        "HAMMING",       "BLACKMAN",
    "TUKEY",       "KAISERBESSEL", "BLACKMANHARRIS", "TAPEREDCOSINE", "BLACKMANEXACT",
    "EXPONENTIAL", "FLATTOP",      "KAISER",         "FORCE"};
constexpr float kCoherentGain[] = {1.0f, 0.5f,        0.5f,     0.54f, 0.42f,
                                   0.0f, 0.0f,        0.42323f, 0.9f,  7938.0f / 18608.0f,
                                   0.4f, 0.21557889f, 0.4f,     0.4f};
constexpr float kNoiseBandwidth[] = {1.0f, 1.33f, 1.5f,  1.36f, 1.73f, 1.93f, 1.0f,
                                     2.0f, 1.0f,  1.69f, 1.0f,  3.77f, 1.93f, 1.0f};
constexpr std::int32_t kTukey = 5;
// Mean of the Tukey taper on a long record: flat over the middle half, a
// raised cosine (mean 1/2) over the outer quarters.
constexpr float kTukeyLongGain = 0.75f;

bool KnownCode(std::int32_t code) {
    return code >= 0 && code < static_cast<std::int32_t>(std::size(kCoherentGain));
}

float CoherentGain(std::int32_t code) {
    if (code == kTukey) return kTukeyLongGain;
    // KAISERBESSEL and unknown codes have no gain of their own: rectangular.
    if (!KnownCode(code) || kCoherentGain[code] == 0.0f) return 1.0f;
    return kCoherentGain[code];
}

float GainToDB(double gain) {
    return static_cast<float>(-20.0 * (std::log(gain) / std::log(10.0)));
}

// The Tukey weights SignalUseWindow applies: flat in the middle half, a
// cosine falling to 0 over each outer quarter.
std::vector<double> TaperWeights(std::size_t n) {
    std::vector<double> w(n, 1.0);
    const float c = static_cast<float>(n) / 2.0f;
    const double e = std::nearbyint(static_cast<double>(c) * 0.5);
    for (std::size_t k = 0; k < n; ++k) {
        const double d = std::nearbyint(std::abs(static_cast<double>(k) - static_cast<double>(c)));
        if (d > e)
            w[k] = 0.5 * std::cos((d - e) * MathClass::Pi / (static_cast<double>(c) - e)) + 0.5;
    }
    return w;
}

// The taper's mean for one length, kept for the next call: the verification
// measures several channels of each spectrum, all of one length.
double TaperMean(std::size_t n) {
    static std::size_t lastN = 0;
    static double lastMean = 1.0;
    if (n != lastN) {
        lastMean = Analysis::Mean(TaperWeights(n)).value_or(1.0);
        lastN = n;
    }
    return lastMean;
}

// The weights SignalUseWindow applies to a record of n samples by WindowType;
// empty for the types without a weighting of their own (Kaiser-Bessel among them).
std::vector<double> UseWindowWeights(std::int32_t type, std::size_t n) {
    switch (type) {
    case 1:
        return Analysis::WindowWeights(n, Analysis::Window::Bartlett);
    case 2:
        return Analysis::WindowWeights(n, Analysis::Window::Hanning);
    case 3:
        return Analysis::WindowWeights(n, Analysis::Window::Hamming);
    case 4:
        return Analysis::WindowWeights(n, Analysis::Window::BlackmanHarris);
    case 5:
        return TaperWeights(n);
    default:
        return {};
    }
}

} // namespace

void MathClass::FFTFlipAmp(Array& x, bool undo) const {
    const std::size_t n = x.size();
    if (n < 2) return;
    // fftshift brings element n - n/2 to the front, ifftshift element n/2.
    const std::size_t front = undo ? n / 2 : n - n / 2;
    std::rotate(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(front), x.end());
}

void MathClass::FFTFlip(Array& I, Array& Q, bool undo) const {
    FFTFlipAmp(I, undo);
    FFTFlipAmp(Q, undo);
}

bool MathClass::SignalPeakDetect(const Array& signal, std::int16_t count,
                                 std::vector<std::int32_t>& peaks, std::int16_t halfWidth,
                                 std::optional<std::int32_t> first,
                                 std::optional<std::int32_t> last) const {
    const auto range = Analysis::MaxMin(signal);
    if (count < 1 || !range || signal.size() > static_cast<std::size_t>(INT32_MAX)) {
        peaks.assign(1, 0);
        return false;
    }
    const auto upper = static_cast<std::int32_t>(signal.size()) - 1;
    auto inside = [upper](std::optional<std::int32_t> v) { return v && *v >= 0 && *v <= upper; };
    const std::int32_t from = inside(first) ? *first : 0;
    const std::int32_t to = inside(last) ? *last : upper;
    Array work(signal);
    const double floor = range->min;
    for (std::int32_t k = 0; k <= from; ++k)
        work[static_cast<std::size_t>(k)] = floor;
    for (std::int32_t k = to; k <= upper; ++k)
        work[static_cast<std::size_t>(k)] = floor;
    // A negative half width would let a peak be found again and again.
    const std::int32_t hw = std::max<std::int32_t>(halfWidth, 0);
    peaks.assign(static_cast<std::size_t>(count), 0);
    for (auto& peak : peaks) {
        const auto found = Analysis::MaxMin(work);
        const auto i = static_cast<std::int32_t>(found->maxIndex);
        peak = i;
        for (std::int32_t k = std::max(i - hw, 0); k <= std::min(i + hw, upper); ++k)
            work[static_cast<std::size_t>(k)] = found->min;
    }
    return true;
}

void MathClass::HistoToCCDF(const Array& histogram, Array& result) const {
    Array sum(histogram.size());
    double running = 0.0;
    for (std::size_t k = 0; k < histogram.size(); ++k) {
        running += histogram[k];
        sum[k] = running;
    }
    result = Analysis::ComplementToTotal(sum);
}

std::int32_t MathClass::SignalWindowToEnum(const std::string& name) const {
    std::string clean;
    for (char ch : name) {
        if (ch == '-' || ch == ' ') continue;
        clean.push_back(UpperLatin1(ch));
    }
    if (clean == "RECTANGLE") return 0;
    for (std::size_t code = 0; code < std::size(kWindowNames); ++code)
        if (clean == kWindowNames[code]) return static_cast<std::int32_t>(code);
    Notice("Windows Type " + clean + " UNKNOWN");
    return 0;
}

float MathClass::SignalWindowCoher(std::int32_t code, std::int32_t) const {
    return GainToDB(CoherentGain(code));
}

float MathClass::SignalWindowNoiseBW(std::int32_t code, std::int32_t) const {
    return KnownCode(code) ? kNoiseBandwidth[code] : 1.0f;
}

bool MathClass::SignalUseWindow(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                                std::int32_t type) const {
    const std::size_t n = Iin.size();
    if (Qin.size() != n) return false;
    const Array w = UseWindowWeights(type, n);
    if (w.empty()) {
        if (&Iout != &Iin) Iout = Iin;
        if (&Qout != &Qin) Qout = Qin;
        return true;
    }
    Iout.resize(n);
    Qout.resize(n);
    // Each sample is read before either output is written, so any output may
    // be any input.
    for (std::size_t k = 0; k < n; ++k) {
        const double r = std::sqrt(w[k]);
        const double i = Iin[k] * r;
        const double q = Qin[k] * r;
        Iout[k] = i;
        Qout[k] = q;
    }
    return true;
}

double MathClass::SignalWindowPowerGain(std::int32_t type, std::size_t n) const {
    const Array w = UseWindowWeights(type, n);
    return w.empty() ? 1.0 : Analysis::Mean(w).value_or(1.0);
}

bool MathClass::SignalFFTCorr(const Array& x, const Array& y, Array& result) const {
    if (x.empty() || y.empty()) return false;
    const std::size_t total = x.size() + y.size() - 1;
    std::size_t len = 1;
    while (len <= total)
        len <<= 1;
    Array xp(len - x.size(), 0.0);
    xp.insert(xp.end(), x.begin(), x.end());
    Array yp(y);
    yp.resize(len, 0.0);
    Array xr, xi, yr, yi, zr, zi;
    if (!Analysis::RealFFT(xp, xr, xi) || !Analysis::RealFFT(yp, yr, yi)) return false;
    Analysis::ComplexMultiply(xr, xi, yr, Analysis::Negate(yi), zr, zi);
    Array mag, phase;
    if (!Analysis::FFT(zr, zi, zr, zi) || !Analysis::ToPolar(zr, zi, mag, phase)) return false;
    Analysis::Scale(mag, 1.0 / static_cast<double>(len));
    result = std::move(mag);
    return true;
}

bool MathClass::SignalCrossCorr(const Array& x, const Array& y, Array& result) const {
    if (x.size() != y.size()) {
        Status("not equal field length!!!");
        return false;
    }
    const std::size_t n = x.size();
    Array r(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j)
            sum += x[j] * y[(j + k) % n];
        r[k] = sum / static_cast<double>(n);
    }
    result = std::move(r);
    return true;
}

double MathClass::IQPower(const Array& I, const Array& Q, float offset) const {
    double mean = 0.0;
    Array mag, phase;
    if (Analysis::ToPolar(I, Q, mag, phase)) mean = Analysis::Mean(mag).value_or(0.0);
    return ConvertAmpToDB(mean) + static_cast<double>(offset);
}

bool MathClass::SignalPower(const Array& spectrum, double rate, double centre, double bandwidth,
                            std::int32_t window, double, double& result) const {
    const std::size_t n = spectrum.size();
    if (n == 0 || !(rate > 0.0) || !std::isfinite(rate) || !std::isfinite(centre) ||
        !(bandwidth > 0.0) || !std::isfinite(bandwidth))
        return false;
    const double points = static_cast<double>(n);
    const double noiseBin = rate * 1e6 / points * SignalWindowNoiseBW(window);
    const double last = points - 1.0;
    // Edges rounded, then clamped: lo to the lower bound first, hi to the upper.
    double lo = std::nearbyint((rate / 2.0 + centre - bandwidth / 2.0) / rate * points);
    double hi = std::nearbyint((rate / 2.0 + centre + bandwidth / 2.0) / rate * points);
    lo = std::min(std::max(lo, 0.0), last);
    hi = std::max(std::min(hi, last), 0.0);
    if (hi < lo) return false;
    const auto from = static_cast<std::size_t>(lo);
    const auto to = static_cast<std::size_t>(hi);
    // Volts into 50 ohm as the level conversion does it (the sign of a
    // negative value kept), summed and averaged over the band.
    double sum = 0.0;
    for (std::size_t k = from; k <= to; ++k)
        sum += spectrum[k] * std::abs(spectrum[k]) / 50.0;
    const double mean = sum / static_cast<double>(to - from + 1);
    const double watts = bandwidth * 1e6 / noiseBin * mean;
    const float coherent = window == kTukey ? GainToDB(TaperMean(n)) : SignalWindowCoher(window);
    result = SpecialCalc::ConvertLevel(watts, SpecialCalc::UnitW, SpecialCalc::UnitDBm, 50.0) +
             static_cast<double>(coherent);
    return true;
}

void MathClass::SignalFilterReal(const Array& x, const Array& h, Array& y) const {
    Array out(x.size(), 0.0);
    for (std::size_t k = 0; k < x.size(); ++k)
        for (std::size_t m = std::min(h.size(), k + 1); m-- > 0;)
            out[k] += h[m] * x[k - m];
    y = std::move(out);
}

bool MathClass::SignalFilterComplex(const Array& I, const Array& Q, const Array& hr,
                                    const Array& hi, Array& Iout, Array& Qout) const {
    if (Q.size() != I.size() || hi.size() != hr.size()) return false;
    Array outI(I.size(), 0.0);
    Array outQ(Q.size(), 0.0);
    for (std::size_t k = 0; k < I.size(); ++k)
        for (std::size_t m = std::min(hr.size(), k + 1); m-- > 0;) {
            const std::size_t i = k - m;
            outI[k] += hr[m] * I[i] - hi[m] * Q[i];
            outQ[k] += hi[m] * I[i] + hr[m] * Q[i];
        }
    Iout = std::move(outI);
    Qout = std::move(outQ);
    return true;
}
