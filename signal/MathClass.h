#pragma once
// The numeric library: unit and phase conversions, timing alignment,
// regression and polynomial fits, array utilities, the amplifier model, noise
// and PN sequences, spectra and channel power, normalisation and detectors.
// The program holds one instance, DSP::IntMath(); every user calls it.
//
// Arrays are 0-based std::vector<double>; an I/Q record is two of them of equal
// length, never a complex type. An output array is sized like the operation's
// first input. Operations that could only divide by zero or meet a non-finite
// value where an integer is needed report false instead of handing back NaN,
// Inf or garbage; their outputs are then left as they were unless said.
//
// The implementation is split by topic over the MathClass*.cpp files.

#include <Eigen/Core>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class MathClass {
public:
    using Array = std::vector<double>;
    using Matrix = Eigen::MatrixXd;

    // The library's own values of pi and 2·pi (a few digits short of double
    // precision); every phase operation of the library uses these, so results
    // stay consistent with each other.
    static constexpr double Pi = 3.14159265358979;
    static constexpr double TwoPi = 6.28318530717958;

    MathClass();

    // Short status and warning texts ("solving equation system", ...). Nothing
    // has to listen.
    std::function<void(const std::string&)> MathStatus;
    // A notice for the operator, shown in a message box by the application.
    std::function<void(const std::string&)> ShowMessage;

    // Feedback taps of maximal-length shift registers: row n (1 to 24) holds
    // n + 1 flags, flag p (1 to n) true at tap position p; index 0 of each row,
    // and row 0, are unused so that positions read 1-based.
    const std::vector<std::vector<bool>> PNTapTable;

    // --- Scalar conversions -------------------------------------------------
    // A time in seconds as text: "001h 02m 03s", "02m 03s", "1.500 s",
    // "-2.000 ms", "0.000 as", ...
    std::string ZeitString(double t) const;
    // The leading number of the text, the first "," read as "."; 0 when there
    // is none.
    double Value(const std::string& text) const;
    double ConvertGradToRad(double x) const;
    double ConvertRadToGrad(double x) const;
    // 10·log10|x|; -1000 for 0.
    double ConvertPowerToDB(double x) const;
    // 20·log10|x|; -1000 for 0.
    double ConvertAmpToDB(double x) const;
    // 10^(x/20): the amplitude ratio, inverse of ConvertAmpToDB.
    double ConvertDBToPower(double x) const;

    // --- Quantisation and interpolation table ---------------------------------
    // Rounds every value to the step full scale / 2^(bits - 1), full scale the
    // largest magnitude; false (values unchanged) when that step is not finite.
    bool SetResolution(Array& values, int bits) const;
    // Stores the table unless keep is set; x and y of different length set
    // the error flag (see ErrorStatus) and store nothing.
    void LoadInterpolation(const Array& x, const Array& y, bool keep);

    // --- Timing alignment (phases in radians, shifts in samples) ----------------
    // The cross spectrum conj(FFT(I1 + jQ1))·FFT(I2 + jQ2), centred as
    // FFTFlip centres it, as magnitude and phase. False (outputs unchanged)
    // unless all four arrays have one length.
    bool ShiftService(const Array& I1, const Array& Q1, const Array& I2, const Array& Q2,
                      Array& mag, Array& phase) const;
    // The shift, in samples, fitted to a centred cross spectrum: the slope of
    // the phase against the bin frequency (cycles per sample, exact bin
    // frequencies (k - n/2)/n), divided by 2·pi. Each bin weighs
    // (mag/largest mag + 1e-7)², so strong bins dominate and empty ones count
    // nearly nothing; the phase is taken as it is, unwrapped or not. False
    // (shift unchanged) for fewer than two bins, arrays of different length,
    // a value that is not finite, or a phase that wrapped inside the occupied
    // band (|shift| times its highest frequency reached 0.5): bins more than
    // pi off the fitted line carrying over 0.1% of the weight.
    bool GetSampleShiftFDom(const Array& mag, const Array& phase, double& shift) const;
    // ShiftService, then GetSampleShiftFDom: the shift of record 2 against
    // record 1.
    bool GetSampleShift(const Array& I1, const Array& Q1, const Array& I2, const Array& Q2,
                        double& shift) const;
    // Moves the record circularly by shift samples (any fraction) in the
    // frequency domain, the way GetSampleShift measures: GetSampleShift of r
    // and of r moved by s gives s. The bins turn at their exact frequencies,
    // so a whole-number shift s is the rotation out(k) = in((k + s) mod n).
    // False (record unchanged) when I and Q differ in length or the shift is
    // not finite.
    bool ShiftSamples(Array& I, Array& Q, double shift) const;
    // Unweighted straight line through (x, y): result = 1 / slope, offset the
    // intercept. False (outputs unchanged) when there is no slope to invert.
    bool GetSteigung(const Array& x, const Array& y, double& offset, double& result) const;

    // --- Regression and polynomial fits ---------------------------------------
    // Straight line y = slope·x + offset, each point weighted by 1/w²
    // (w its standard deviation). False when the x values do not determine a
    // slope (all equal, or no points) or a weight is 0.
    bool RegressLinW(const Array& x, const Array& y, const Array& w, double& slope,
                     double& offset) const;
    // Least-squares polynomial of the given order from the normal equations;
    // coeff gets order + 1 values (k multiplies x^k). False when the system is
    // singular.
    bool RegressPoly(const Array& x, const Array& y, int order, Array& coeff);
    // Signed mean of y - poly(x) (in dB of both amplitudes with inDB); false
    // for no points.
    bool RegressError(const Array& x, const Array& y, const Array& coeff, bool inDB,
                      double& result) const;
    bool RegressError(const Array& x, const Array& y, const Array& coeff, double& result) const;
    // Root mean square of the same differences.
    bool RegressErrorRMS(const Array& x, const Array& y, const Array& coeff, bool inDB,
                         double& result) const;
    bool RegressErrorRMS(const Array& x, const Array& y, const Array& coeff, double& result) const;
    // Solves A·x = b by Gaussian elimination; a zero pivot is exchanged with a
    // row below that can serve. False (x unchanged) for a singular system or
    // when A is not square with b's size.
    bool MatrixSolve(const Matrix& A, const Array& b, Array& x) const;
    // Sum of coeff(k)·x^k.
    double PolyCalc(const Array& coeff, double x) const;

    // --- Array utilities -----------------------------------------------------------
    // Complex product of two scalars; an old entry point that also tells the
    // operator it was called.
    void ElementComplexMult(double aRe, double aIm, double bRe, double bIm, double& outRe,
                            double& outIm);
    // The complex ratio b / a element by element, computed in polar form with
    // the phase difference unwrapped; false when the four arrays differ in
    // length or a magnitude of a is 0.
    bool SParameter(const Array& aRe, const Array& aIm, const Array& bRe, const Array& bIm,
                    Array& outRe, Array& outIm) const;
    // out1 = -2·b, out2 = a² + b² - 1; false when a and b differ in length.
    bool ReflImp(const Array& a, const Array& b, Array& out1, Array& out2) const;
    // Every factor-th element from the first; out holds n / factor (rounded)
    // of them. False for factor < 1.
    bool SampleDown(const Array& values, Array& out, long factor) const;
    // Pads the shorter of a and b with zeros to the longer one's length.
    void ArrayAdjustIndex(Array& a, Array& b) const;
    // Gives output the input's length, keeping its values where they overlap.
    void ArraySetDim(const Array& input, Array& output) const;
    // Circular shifts: out(k) = values(k + n), respectively values(k - n).
    void ArrayShiftLeft(const Array& values, Array& out, long n) const;
    void ArrayShiftRight(const Array& values, Array& out, long n) const;
    // Index of position x on a span centred on 0 spread over the array; false
    // for a zero span or a position that gives no index.
    bool ArrayGetDisc(const Array& values, double span, double x, long& index) const;
    // ((index / (n - 1)) - 0.5)·span/2; false for fewer than two elements.
    bool ArrayGetCont(const Array& values, double span, long index, double& result) const;
    // Continuous phase (radians): each step the wrapped difference to the
    // previous sample.
    void ArrayKontPhase(const Array& phase, Array& out) const;
    // count elements from start; false (part unchanged) when they do not lie
    // inside values.
    bool ArrayGetPart(const Array& values, Array& part, long start, long count) const;
    // Sum of x^k.
    double ArrayMoment(const Array& values, double k) const;
    // Weighted mean sum(w·x^k) / sum(w); false when the weights sum to 0 or
    // differ in length from values.
    bool ArrayMoment(const Array& values, double k, const Array& weights, double& result) const;
    // S(j) = sum of x^j for j = 0 to m.
    void ArrayMoments(const Array& x, Array& S, int m) const;
    // Sum of a^j·b^k, the shorter array taken as padded with zeros.
    double ArrayMixMoment(const Array& a, const Array& b, int j, int k) const;
    // out(k) = values(k) - values(k - 1) for k >= 1; out(0) keeps what it held.
    void NumDDT(const Array& values, Array& out) const;

    // --- Amplitude, phase and level conversions --------------------------------------
    // Phase in degrees.
    void ConvertAmpPhaIQ(double amp, double phase, double& I, double& Q) const;
    void ArrayConvertIQtoAmp(const Array& I, const Array& Q, Array& out) const;
    double ConvertIQtoAmp(double I, double Q) const;
    // Phases in degrees.
    void ArrayPhase(const Array& I, const Array& Q, Array& out) const;
    void ArrayPhaseAdd(const Array& a, const Array& b, Array& out);
    void ArrayPhaseAddConst(Array& x, double c);
    // a + b in degrees, brought back once by 360 beyond ±180; a sum still
    // beyond is returned as it is, with a status warning.
    double PhaseAdd(double a, double b);
    // Degrees in (-180, 180]; 90 for I = 0 and Q > 0, -90 for I = 0 otherwise.
    double ConvertIQtoPhase(double I, double Q) const;
    // out(k) = PhaseDiff(a(k), b(k)) (radians).
    void ArrayPhaseDiff(const Array& a, const Array& b, Array& out) const;
    // x / d in place; false (x unchanged) for d = 0.
    bool ArrayDivide(Array& x, double d) const;
    // b - a in radians, both operands and the difference wrapped into
    // [-pi, pi]; NaN when either is not finite.
    double PhaseDiff(double a, double b) const;
    // Volts to dBm at 50 ohm.
    void ArrayConvertVolttoDBM(const Array& in, Array& out) const;
    void ArrayConvertAmptoDB(const Array& in, Array& out) const;
    void ArrayConvertDBtoAmp(const Array& in, Array& out) const;

    // --- Distortion model, noise and PN sequences -------------------------------------
    // Span of the signal above min + (max - min)·threshold: the scans start one
    // sample inside each end and move inwards to the first sample above the
    // level; last = that index - 1 from above, first = that index + 1 from
    // below. False (first and last unchanged) when a scan finds no such sample.
    bool SignalSchwellDetect(const Array& signal, double threshold, std::int32_t& first,
                             std::int32_t& last) const;
    // The amplifier model, in place: every magnitude times scale, then the
    // AM/AM curve applied to it and the AM/PM curve's value (radians) added to
    // the phase with PhaseAdd. amFirst: AM/PM evaluated at the AM/AM output,
    // else at the scaled input magnitude. A curve that is nullptr is skipped.
    // False (record unchanged) when I and Q differ in length.
    bool SignalDistore(Array& I, Array& Q, const Array* amCurve, const Array* pmCurve, double scale,
                       bool amFirst);
    // First x > 0, searched in steps of 1e-3 refined down to 1e-8, where the
    // polynomial reaches target or drops below 0. found is false (result 0)
    // when it ends below 0, turns non-finite, or x passes 1000.
    double SignalFindFirst(const Array& coeff, double target, bool& found) const;
    // Band-limited noise: 2·half + 1 bins of unit magnitude and random phase
    // around bin length/2 (half = length·bandwidth/clock/2, rounded), moved to
    // DC and transformed back (removeMean: the means of I and Q taken off),
    // normalised to peak magnitude 1. The generator is reset and seeded
    // first, so a seed always gives the same record. False
    // (I and Q left all zero, or unchanged for bad arguments) when clock is not
    // positive, length < 1 or no bin is occupied.
    bool SignalNoise(double bandwidth, double clock, std::int32_t length, float seed,
                     bool removeMean, Array& I, Array& Q) const;
    // The spectrum SignalNoise starts from, centred, not transformed; seeds
    // the generator without a reset. False (outputs unchanged) when clock is
    // not positive or length < 1.
    bool SignalNoiseFDom(double bandwidth, double clock, std::int32_t length, float seed,
                         Array& amplitude, Array& phase) const;
    // Maximal-length shift register of length n (1 to 24; others are ignored),
    // started from random bits with the newest bit set.
    void PNInit(std::int16_t n);
    // One step; the register read as a number, newest bit most significant
    // (0 or 1 when scaled: 1 above half the range). 0 before any PNInit.
    std::int32_t PNGetNext(bool scaled = false);
    // PNGetNext()/2^n spread onto [low, high).
    double PNGetNextFloat(double low, double high);

    // --- Spectra, windows and channel power ----------------------------------------------
    // Centres an FFT result as numpy's fftshift does (zero frequency to index
    // n/2, rounded down), both arrays; undo puts it back as ifftshift does.
    // For even n the two are the same swap of the halves.
    void FFTFlip(Array& I, Array& Q, bool undo = false) const;
    void FFTFlipAmp(Array& x, bool undo = false) const;
    // Indices of the count highest peaks, highest first; the samples within
    // halfWidth of a reported peak, and those from the start to first and
    // from last to the end (both inclusive), are not reported. first and last
    // default to the ends, as does a value outside the signal. peaks = {0}
    // and false for count < 1 or an empty signal.
    bool SignalPeakDetect(const Array& signal, std::int16_t count, std::vector<std::int32_t>& peaks,
                          std::int16_t halfWidth = 2, std::optional<std::int32_t> first = {},
                          std::optional<std::int32_t> last = {}) const;
    // Counts above each class of a histogram (running sum taken from the total).
    void HistoToCCDF(const Array& histogram, Array& result) const;
    // The correction-table code of a window name (case, blanks and "-"
    // ignored); an unknown name is shown to the operator and gives 0.
    std::int32_t SignalWindowToEnum(const std::string& name) const;
    // -20·log10 of the window's coherent gain, in dB. TUKEY (5) counts with the
    // mean of its taper on a long record (0.75), KAISERBESSEL (6) and unknown
    // codes as rectangular.
    float SignalWindowCoher(std::int32_t code, std::int32_t unused = 0) const;
    // Equivalent noise bandwidth in bins; 1 for unknown codes.
    float SignalWindowNoiseBW(std::int32_t code, std::int32_t unused = 0) const;
    // Windowed copy: every sample times the square root of the weight, so the
    // window weighs each sample's power. Types 1 to 4 Bartlett, Hanning,
    // Hamming, Blackman-Harris; 5 a cosine taper over the outer quarters;
    // every other type leaves the record as it is. Outputs may be the inputs.
    // False (outputs unchanged) when I and Q differ in length.
    bool SignalUseWindow(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                         std::int32_t type) const;
    // The mean of the weights SignalUseWindow applies to a record of n samples
    // (1 for types without a weighting): the factor by which the window lowers
    // the record's power, and so its spectrum's.
    double SignalWindowPowerGain(std::int32_t type, std::size_t n) const;
    // Magnitudes of the forward transform of X·conj(Y), X and Y the spectra
    // of x (zero-padded in front) and y (zero-padded behind) at the next power
    // of two above N(x) + N(y) - 1, divided by that length. False for an empty
    // array.
    bool SignalFFTCorr(const Array& x, const Array& y, Array& result) const;
    // Circular cross-correlation result(k) = sum of x(j)·y((j + k) mod N), over
    // N. Arrays of different length: status "not equal field length!!!",
    // false, result unchanged.
    bool SignalCrossCorr(const Array& x, const Array& y, Array& result) const;
    // ConvertAmpToDB of the mean magnitude, plus offset; a record without
    // samples (or I and Q of different length) counts as 0 (-1000 dB).
    double IQPower(const Array& I, const Array& Q, float offset) const;
    // Channel power in dBm of a centred magnitude spectrum in volts (50 ohm):
    // rate, channel centre (from the spectrum's middle) and bandwidth in MHz,
    // window a correction-table code; band edges rounded and clamped to the
    // spectrum, both included. Code 5 corrects with the mean of the taper
    // SignalUseWindow applies to this length. refLevel is not used. False
    // (result unchanged) for an empty spectrum, a rate or a bandwidth that is
    // not a positive number, or a band whose upper edge lies below its lower one.
    bool SignalPower(const Array& spectrum, double rate, double centre, double bandwidth,
                     std::int32_t window, double refLevel, double& result) const;
    // FIR filters: y(k) = sum over m of h(m)·x(k - m), x taken as 0 before
    // its start; the complex one with coefficients hr + j·hi. False (outputs
    // unchanged) when I and Q, or hr and hi, differ in length.
    void SignalFilterReal(const Array& x, const Array& h, Array& y) const;
    bool SignalFilterComplex(const Array& I, const Array& Q, const Array& hr, const Array& hi,
                             Array& Iout, Array& Qout) const;

    // --- Normalisation, crest factor, detectors and small helpers ------------------------
    // -1 for x < 0, else 1.
    std::int16_t MathSignum(double x) const;
    // sin(x)/x, 1 at 0.
    double MathSi(double x) const;
    // n!, 1 for n < 2 (infinite beyond 170).
    double MathFak(std::int32_t n) const;
    // result = x scaled so that its largest magnitude is level. False (result
    // unchanged) when x is empty, all zero or holds an infinite or NaN value,
    // or level is not finite. Scales beyond the double range (a peak of
    // 1e-320 brought to 1) are exact.
    bool ArrayNormalize(const Array& x, Array& result, double level) const;
    // The record scaled so that its largest magnitude is sqrt(level) (level
    // is a power); outputs may be the inputs. False (outputs unchanged) when I
    // and Q differ in length, the record is empty, all zero or holds an
    // infinite or NaN value, or level is negative or not finite. Scales
    // beyond the double range are exact, as in ArrayNormalize.
    bool ArrayNormalizeIQ(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                          double level) const;
    // 20·log10(peak magnitude / RMS magnitude); -2000 for a record with no
    // power (all zero, empty) or I and Q of different length.
    double ArrayCrestIQ(const Array& I, const Array& Q) const;
    // Scales any sample whose I, then Q, exceeds limit back onto it (both
    // components by one factor, keeping the phase). False when I and Q differ
    // in length.
    bool ArrayLimitIQ(Array& I, Array& Q, double unused, double limit) const;
    // Distances between consecutive samples in the I/Q plane (n - 1 values).
    // False when I and Q differ in length.
    bool SignalAnalogIQ(const Array& I, const Array& Q, Array& result) const;
    // One value per group of n points (n < 1 counts as 1), a last shorter
    // group included: mode 1 max, 2 min, 3 mean, 4 RMS; any other mode
    // ("None") gives the trace unchanged. result may be the trace.
    void SignalDetector(const Array& trace, Array& result, std::int32_t mode, std::int32_t n) const;
    double ConstPi() const;
    // Sum of the elements; nothing for an empty array.
    std::optional<double> ArrayFunctionSum(const Array& x) const;
    // Element-wise complex product; false when the four differ in length.
    bool ArrayComplexMult(const Array& I1, const Array& Q1, const Array& I2, const Array& Q2,
                          Array& Iout, Array& Qout) const;
    void ArrayNegative(Array& x) const;
    // Reserved flag; nothing sets it.
    bool FFTUnchanged() const;

    // The error flag: set once LoadInterpolation met arrays of different length.
    bool ErrorStatus() const;

private:
    void Status(const std::string& text) const;
    void Notice(const std::string& text) const;

    bool errorFlag_ = false;
    bool fftUnchanged_ = false;
    // PN register: positions 1 to n are bits n-1 down to 0, so the state read
    // as a number is the register's value.
    std::int16_t pnLength_ = 0;
    std::uint32_t pnState_ = 0;
    std::uint32_t pnTaps_ = 0;
    std::size_t interpCountX_ = 0;
    std::size_t interpCountY_ = 0;
    Array interpX_;
    Array interpY_;
};
