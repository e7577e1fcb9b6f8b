#pragma once
// The numeric library: unit and phase conversions, regression and polynomial
// fits, array utilities. The program holds one instance, DSP::IntMath();
// every user calls it.
//
// Arrays are 0-based std::vector<double>; an I/Q record is two of them of equal
// length, never a complex type. An output array is sized like the operation's
// first input. Operations that could only divide by zero or meet a non-finite
// value where an integer is needed report false instead of handing back NaN,
// Inf or garbage; their outputs are then left as they were unless said.
//
// The implementation is split by topic over the MathClass*.cpp files.

#include <Eigen/Core>

#include <functional>
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
    bool RegressErrorRMS(const Array& x, const Array& y, const Array& coeff,
                         double& result) const;
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

    // The error flag: set once LoadInterpolation met arrays of different length.
    bool ErrorStatus() const;

private:
    void Status(const std::string& text) const;
    void Notice(const std::string& text) const;

    bool errorFlag_ = false;
    std::size_t interpCountX_ = 0;
    std::size_t interpCountY_ = 0;
    Array interpX_;
    Array interpY_;
};
