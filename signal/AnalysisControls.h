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

#include <cstddef>
#include <optional>
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

enum class Window { Bartlett, Hanning, Hamming, BlackmanHarris };
// x multiplied by the periodic window of x's length.
void ApplyWindow(Array& x, Window window);
// The window's weights for n points.
Array WindowWeights(std::size_t n, Window window);

// Continuous phase: every jump between neighbours larger than pi is taken back
// by whole turns (2·pi), as numpy.unwrap does.
Array Unwrap(const Array& phase);

// --- Complex arrays -----------------------------------------------------------

// Magnitude and phase (radians, (-pi, pi]) of re + j·im.
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
// [low - 0.5, high + 0.5]. False for m < 1, high < low or non-finite limits.
bool Histogram(const Array& x, double low, double high, std::size_t m, Array& counts,
               Array& axis);

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
