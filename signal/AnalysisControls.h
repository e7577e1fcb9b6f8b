#pragma once
// The analysis layer: whole-array operations (transforms, windows, complex and
// element-wise arithmetic, statistics, fits) that the maths library, the level
// helpers, the measurement and the displays share.
//
// Conventions every caller relies on:
// - Arrays are 0-based std::vector<double>; a result has its input's length
//   unless said otherwise.
// - Forward transforms are unscaled, inverse transforms are scaled by 1/N; any
//   length N works; bin 0 is DC, followed by the positive and then the negative
//   frequencies.
// - Phases are radians in (-pi, pi].
// - Polynomial coefficient k multiplies x^k.
// - Windows are periodic (DFT-even), so their coherent gains (means) are the
//   textbook ones: Bartlett 0.5, Hanning 0.5, Hamming 0.54, Blackman-Harris
//   (three-term) 0.42323.
// - Operations that can fail return false (or an empty optional) and leave
//   their outputs empty; none throws or returns NaN for bad input.
//
// Everything runs on the one UI thread; the FFT plan cache is not guarded.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <vector>

namespace Analysis {

using Array = std::vector<double>;

// --- Transforms and generators ---------------------------------------------

// n values rising evenly from first to last, both reached exactly (spacing
// (last - first) / (n - 1)); n = 1 gives {first}.
Array Ramp(std::size_t n, double first, double last);

// Complex FFT of re + j·im. False when re and im differ in length (or the
// length passes what FFTW can plan).
bool FFT(const Array& re, const Array& im, Array& outRe, Array& outIm);
// Inverse complex FFT, scaled by 1/N.
bool InverseFFT(const Array& re, const Array& im, Array& outRe, Array& outIm);
// FFT of a real array; the whole N-bin spectrum (the negative frequencies are
// the conjugates of the positive ones).
bool RealFFT(const Array& x, Array& outRe, Array& outIm);
// Real part of the inverse FFT of a spectrum (scaled by 1/N): for the spectrum
// of a real signal, or any product of such spectra, that is the signal itself.
bool InverseRealFFT(const Array& re, const Array& im, Array& out);

// The transforms' work area, for the hot paths that must not copy records of
// millions of samples around between whole-array steps.
//
// It holds n complex values interleaved (re, im, re, ...). Time samples stand
// in natural order. A spectrum stands in the transform's own layout: the
// value at position r·Cols() + c is bin r + Rows()·c. Short records (and
// lengths that are not powers of two) use one row, Rows() = 1, which is
// natural order. Long power-of-two records are transformed as a Rows() x
// Cols() matrix of short, cache-sized transforms (the four-step scheme):
// first the columns, then the rows, which leaves the spectrum transposed.
//
// Each transform makes two passes over memory: a column pass (which can read
// the time samples straight from two arrays, or write them straight to two
// arrays, scaled) and a row pass. A row visitor sees each spectrum row while
// it is in cache: after the row is transformed (forward), before (inverse),
// or in between (Filter). A row visitor is called as
// visit(double* row, std::size_t firstBin, std::size_t binStride,
// std::size_t count): row holds `count` interleaved values, bins firstBin,
// firstBin + binStride, ...
//
// The buffer is shared by all transforms, the array ones above included, and
// kept between calls (it grows to the longest length used), so repeated
// transforms of long records touch no fresh memory. One transform is in use
// at a time: Data() stays valid until the next WorkTransform is made or an
// array transform runs.
class WorkTransform {
public:
    using RowFn = void (*)(void* context, double* row, std::size_t firstBin, std::size_t binStride,
                           std::size_t count);

    // Invalid for n = 0 or a length the transform library cannot plan.
    explicit WorkTransform(std::size_t n);
    bool Valid() const { return data_ != nullptr; }
    std::size_t Size() const { return n_; }
    double* Data() const { return data_; }
    std::size_t Rows() const { return rows_; }
    std::size_t Cols() const { return cols_; }
    // Where bin k of a spectrum stands.
    std::size_t Position(std::size_t bin) const { return (bin % rows_) * cols_ + bin / rows_; }

    // Time samples -> spectrum, unscaled. The samples come from re and im
    // (n values each), or from Data() when re is nullptr.
    void Forward(const double* re = nullptr, const double* im = nullptr) {
        Run(Mode::Forward, re, im, nullptr, nullptr, 1.0, nullptr, nullptr);
    }
    template <class V> void Forward(const double* re, const double* im, V&& visit) {
        Run(Mode::Forward, re, im, nullptr, nullptr, 1.0, &Call<V>, Context(visit));
    }
    // Spectrum -> time samples, times scale (1/n for the true inverse). The
    // samples go to re and im, or stay in Data() when re is nullptr.
    void Inverse(double* re = nullptr, double* im = nullptr, double scale = 1.0) {
        Run(Mode::Inverse, nullptr, nullptr, re, im, scale, nullptr, nullptr);
    }
    template <class V> void Inverse(V&& visit, double* re, double* im, double scale) {
        Run(Mode::Inverse, nullptr, nullptr, re, im, scale, &Call<V>, Context(visit));
    }
    // Forward, the visitor on every spectrum row, inverse: a frequency-domain
    // filter. Output and input arrays may be the same.
    template <class V>
    void Filter(const double* re, const double* im, V&& visit, double* outRe, double* outIm,
                double scale) {
        Run(Mode::Filter, re, im, outRe, outIm, scale, &Call<V>, Context(visit));
    }

    // f(position, bin) for every bin, tile by tile, so that both the buffer
    // and an array indexed by bin are walked with good locality.
    template <class F> void ForEachBin(F&& f) const {
        // A tile spans 64 rows by 16 columns: 16 KB of the buffer, and runs
        // of 64 consecutive bins.
        constexpr std::size_t tileRows = 64;
        constexpr std::size_t tileCols = 16;
        for (std::size_t r0 = 0; r0 < rows_; r0 += tileRows) {
            const std::size_t r1 = std::min(rows_, r0 + tileRows);
            for (std::size_t c0 = 0; c0 < cols_; c0 += tileCols) {
                const std::size_t c1 = std::min(cols_, c0 + tileCols);
                for (std::size_t c = c0; c < c1; ++c)
                    for (std::size_t r = r0; r < r1; ++r)
                        f(r * cols_ + c, r + rows_ * c);
            }
        }
    }

private:
    enum class Mode { Forward, Inverse, Filter };
    template <class V> static void* Context(V& visit) {
        return const_cast<void*>(static_cast<const void*>(&visit));
    }
    template <class V>
    static void Call(void* v, double* row, std::size_t first, std::size_t stride,
                     std::size_t count) {
        (*static_cast<std::remove_reference_t<V>*>(v))(row, first, stride, count);
    }
    void Run(Mode mode, const double* inRe, const double* inIm, double* outRe, double* outIm,
             double scale, RowFn visit, void* context);

    std::size_t n_ = 0;
    std::size_t rows_ = 1;
    std::size_t cols_ = 0;
    double* data_ = nullptr;
};

// cos(step·m) and sin(step·m) for m = 0 to count - 1, each from the product of
// two table entries (a few ulp), at the cost of about 2·sqrt(count) sines and
// cosines instead of one per m.
class PhaseSteps {
public:
    PhaseSteps(double step, std::size_t count);
    void At(std::size_t m, double& c, double& s) const {
        const double* a = &coarse_[2 * (m >> shift_)];
        const double* b = &fine_[2 * (m & mask_)];
        c = a[0] * b[0] - a[1] * b[1];
        s = a[0] * b[1] + a[1] * b[0];
    }

private:
    std::size_t shift_ = 0;
    std::size_t mask_ = 0;
    std::vector<double> fine_;
    std::vector<double> coarse_;
};

enum class Window { Bartlett, Hanning, Hamming, BlackmanHarris };
// x multiplied by the periodic window of x's length.
void ApplyWindow(Array& x, Window window);
// The window's weights for n points.
Array WindowWeights(std::size_t n, Window window);

// sin and cos of n angles (radians) in one vectorised pass, each within 2 ulp
// of the correctly rounded value (absolute error at most 2.3e-16); angles
// beyond 2^19 in magnitude, and non-finite ones, go through std::sin and
// std::cos. Several times faster than the scalar library calls, and the same
// on every machine and library version.
void SinCos(const double* angle, std::size_t n, double* sine, double* cosine);

// atan2(y, x) of n pairs in one vectorised pass, within 2 ulp of the
// correctly rounded value (absolute error at most 4.5e-16); zeros, infinities
// and NaN go through std::atan2, so signed zeros give its answers.
void Atan2(const double* y, const double* x, std::size_t n, double* angle);

// Continuous phase: every jump between neighbours larger than pi is taken back
// by whole turns (2·pi), as numpy.unwrap does.
Array Unwrap(const Array& phase);
// Continuous phase along the bins that carry power, those of magnitude at
// least `floor` times the largest: each of them steps from the last one
// before it, any other bin from its neighbour. Where all the bins of a band
// carry power this is Unwrap; across the empty bins between the lines of a
// sparse spectrum, whose phase is noise, it adds no stray turns. Empty when
// mag and phase differ in length.
Array UnwrapOccupied(const Array& phase, const Array& mag, double floor);
// `phase` moved by one whole turn towards `centre` when it lies more than half
// a turn from it, else `phase` itself, to the bit; both within ±pi. NaN stays.
double NearTurn(double phase, double centre);
// The phase with every bin that carries power, of magnitude at least `floor`
// times the largest, within half a turn of the strongest bin's phase
// (NearTurn); any other bin as it is. A flat phase near ±pi lies on both ends
// of the range; so taken, its bins with power lie together. Empty when mag
// and phase differ in length.
Array NearStrongest(const Array& phase, const Array& mag, double floor);

// --- Complex arrays -----------------------------------------------------------

// Magnitude and phase (radians, (-pi, pi]) of re + j·im, and back; the
// angles go through Atan2 and SinCos below.
bool ToPolar(const Array& re, const Array& im, Array& mag, Array& phase);
bool ToRect(const Array& mag, const Array& phase, Array& re, Array& im);
// (aRe + j·aIm)·(bRe + j·bIm) element by element; all four of equal length.
bool ComplexMultiply(const Array& aRe, const Array& aIm, const Array& bRe, const Array& bIm,
                     Array& outRe, Array& outIm);

// --- Element-wise arithmetic ----------------------------------------------------

struct Extremes {
    double max;
    std::size_t maxIndex; // first index holding max
    double min;
    std::size_t minIndex; // first index holding min
};
// Empty for an empty array. NaN elements are passed over.
std::optional<Extremes> MaxMin(const Array& x);
std::optional<double> Max(const Array& x);
std::optional<double> Min(const Array& x);

bool Add(const Array& a, const Array& b, Array& out);
bool Subtract(const Array& a, const Array& b, Array& out); // a - b
bool Multiply(const Array& a, const Array& b, Array& out);
// a / b; false (out empty) when any b is 0.
bool Divide(const Array& a, const Array& b, Array& out);
Array Negate(const Array& x);
// a·x + b.
Array Linear(const Array& x, double a, double b);
void Scale(Array& x, double factor);
// count elements from start; false when they do not all lie inside x.
bool Subset(const Array& x, std::size_t start, std::size_t count, Array& out);
Array Concat(const Array& a, const Array& b);
double Sum(const Array& x);
// Every value outside [low, high] set to the nearer limit.
Array Clip(const Array& x, double low, double high);
// Indices k with low <= x(k) <= high, ascending; empty when there are none.
std::vector<std::size_t> SearchBetween(const Array& x, double low, double high);
// x divided by its largest magnitude (all zeros stay zeros): a non-negative
// weight for non-negative input that grows with the value.
Array NormalizeToMax(const Array& x);
// For a running sum (last element = total): total - x(k), the count of what
// lies above each class.
Array ComplementToTotal(const Array& runningSum);

// Value of the polynomial at each x (Horner).
Array PolyEval(const Array& x, const Array& coeff);

// --- Statistics -----------------------------------------------------------------

std::optional<double> Mean(const Array& x);
std::optional<double> Rms(const Array& x);

// m equal intervals over [low, high], the last one closed (a value equal to
// high counts in it), values outside ignored. counts(i) is the number of values
// in interval i, axis(i) its centre. low == high widens the range to
// [low - 0.5, high + 0.5]. False for m < 1 or above kMaxHistogramClasses,
// high < low, non-finite limits or a span high - low beyond the double range.
constexpr std::size_t kMaxHistogramClasses = std::size_t{1} << 20;
bool Histogram(const Array& x, double low, double high, std::size_t m, Array& counts, Array& axis);

// Least-squares polynomial of y against x of the given order, solved by QR on
// scaled powers (stays accurate up to order 19 on data in 0..1); coeff gets
// order + 1 values, mse the mean of the squared residuals. False when x and y
// differ in length, hold a non-finite value, or have fewer distinct x values
// than order + 1.
bool PolyFit(const Array& x, const Array& y, int order, Array& coeff, double& mse);

// Least-squares gain of y against x through the origin, sum(x·y) / sum(x²);
// the factor that maps input amplitudes onto output amplitudes. False when x
// and y differ in length or x is all zeros.
bool LinearGain(const Array& x, const Array& y, double& gain);

} // namespace Analysis
