// Scalar, phase and unit conversions and the array forms built on them.

#include "MathClass.h"
#include "NumberText.h"
#include "SpecialCalc.h"
#include "StringOp.h"

#include <cmath>

namespace {

// Whole hours, minutes and seconds: the value rounded half to even, at least
// `width` digits with leading zeros.
std::string Padded(double v, std::size_t width) {
    return NumberText::FormatNumber(std::nearbyint(v), std::string(width, '0'));
}

std::string Fixed3(double v) {
    std::string s = NumberText::FormatNumber(v, "0.000");
    // A value that shows as zero carries no sign.
    if (s == "-0.000") s.erase(0, 1);
    return s;
}

} // namespace

std::string MathClass::ZeitString(double t) const {
    if (!std::isfinite(t)) return std::string(std::isnan(t) ? "nan" : t < 0 ? "-inf" : "inf") + " s";
    const double a = std::abs(t);
    // Whole hours and minutes: the dividend rounded half to even, then the
    // quotient cut; what remains keeps its fraction.
    auto quotient = [](double x, double divisor) { return std::trunc(std::nearbyint(x) / divisor); };
    if (a >= 3600.0) {
        const double h = quotient(a, 3600.0);
        const double rest = a - h * 3600.0;
        const double m = quotient(rest, 60.0);
        const double s = rest - m * 60.0;
        return Padded(h, 3) + "h " + Padded(m, 2) + "m " + Padded(s, 2) + "s";
    }
    if (a >= 60.0) {
        const double m = quotient(a, 60.0);
        const double s = a - m * 60.0;
        return Padded(m, 2) + "m " + Padded(s, 2) + "s";
    }
    if (a >= 1.0) return Fixed3(t) + " s";
    if (a >= 1e-3) return Fixed3(t * 1e3) + " ms";
    if (a >= 1e-6) return Fixed3(t * 1e6) + " us";
    if (a >= 1e-9) return Fixed3(t * 1e9) + " ns";
    if (a >= 1e-12) return Fixed3(t * 1e12) + " ps";
    if (a >= 1e-15) return Fixed3(t * 1e15) + " fs";
    return Fixed3(t * 1e18) + " as";
}

double MathClass::Value(const std::string& text) const {
    std::string s = text;
    if (auto comma = s.find(','); comma != std::string::npos) s[comma] = '.';
    return StringOp::LeadingNumber(s).value_or(0.0);
}

double MathClass::ConvertGradToRad(double x) const { return x / 180.0 * Pi; }

double MathClass::ConvertRadToGrad(double x) const { return x * 180.0 / Pi; }

double MathClass::ConvertPowerToDB(double x) const {
    return x == 0.0 ? -1000.0 : 10.0 * std::log10(std::abs(x));
}

double MathClass::ConvertAmpToDB(double x) const {
    return x == 0.0 ? -1000.0 : 20.0 * std::log10(std::abs(x));
}

double MathClass::ConvertDBToPower(double x) const { return std::pow(10.0, x / 20.0); }

void MathClass::ConvertAmpPhaIQ(double amp, double phase, double& I, double& Q) const {
    I = amp * std::cos(phase / 180.0 * Pi);
    Q = amp * std::sin(phase / 180.0 * Pi);
}

double MathClass::ConvertIQtoAmp(double I, double Q) const { return std::sqrt(I * I + Q * Q); }

double MathClass::ConvertIQtoPhase(double I, double Q) const {
    if (std::isnan(I) || std::isnan(Q)) return std::nan("");
    if (I == 0.0) return Q > 0.0 ? 90.0 : -90.0;
    const double p = std::atan(std::abs(Q) / std::abs(I)) / Pi * 180.0;
    double r;
    if (I > 0.0)
        r = Q >= 0.0 ? p : -p;
    else
        r = Q >= 0.0 ? 180.0 - p : p - 180.0;
    // A vanishing negative Q beside a negative I rounds onto -180, which is
    // the same direction as +180, the end of the range that belongs to it.
    return r == -180.0 ? 180.0 : r;
}

double MathClass::PhaseAdd(double a, double b) {
    double s = a + b;
    if (std::abs(s) > 180.0) {
        s = s > 180.0 ? s - 360.0 : s + 360.0;
        if (std::abs(s) > 180.0) Status("phase > 180 \xB0 after adding phases!!!");
    }
    return s;
}

double MathClass::PhaseDiff(double a, double b) const {
    if (!std::isfinite(a) || !std::isfinite(b)) return std::nan("");
    // Into [-pi, pi] by whole turns of the library's 2·pi. Far-out values are
    // first reduced by fmod, which a turn-by-turn loop could never finish.
    auto wrap = [this](double v) {
        constexpr double turn = 2.0 * Pi;
        if (std::abs(v) > 64.0 * turn) v = std::fmod(v, turn);
        while (std::abs(v) > Pi) v -= MathSignum(v) * turn;
        return v;
    };
    return wrap(wrap(b) - wrap(a));
}

void MathClass::ArrayAdjustIndex(Array& a, Array& b) const {
    if (a.size() >= b.size())
        b.resize(a.size(), 0.0);
    else
        a.resize(b.size(), 0.0);
}

void MathClass::ArraySetDim(const Array& input, Array& output) const {
    output.resize(input.size(), 0.0);
}

void MathClass::ArrayConvertIQtoAmp(const Array& I, const Array& Q, Array& out) const {
    out.resize(I.size());
    for (std::size_t k = 0; k < I.size(); ++k)
        out[k] = ConvertIQtoAmp(I[k], k < Q.size() ? Q[k] : 0.0);
}

void MathClass::ArrayPhase(const Array& I, const Array& Q, Array& out) const {
    Array i = I;
    Array q = Q;
    ArrayAdjustIndex(i, q);
    ArraySetDim(i, out);
    for (std::size_t k = 0; k < i.size(); ++k) out[k] = ConvertIQtoPhase(i[k], q[k]);
}

void MathClass::ArrayPhaseAdd(const Array& a, const Array& b, Array& out) {
    Array x = a;
    Array y = b;
    ArrayAdjustIndex(x, y);
    ArraySetDim(x, out);
    for (std::size_t k = 0; k < x.size(); ++k) out[k] = PhaseAdd(x[k], y[k]);
}

void MathClass::ArrayPhaseAddConst(Array& x, double c) {
    for (double& v : x) v = PhaseAdd(v, c);
}

void MathClass::ArrayPhaseDiff(const Array& a, const Array& b, Array& out) const {
    Array x = a;
    Array y = b;
    ArrayAdjustIndex(x, y);
    ArraySetDim(x, out);
    for (std::size_t k = 0; k < x.size(); ++k) out[k] = PhaseDiff(x[k], y[k]);
}

bool MathClass::ArrayDivide(Array& x, double d) const {
    if (d == 0.0) return false;
    for (double& v : x) v /= d;
    return true;
}

void MathClass::ArrayConvertVolttoDBM(const Array& in, Array& out) const {
    ArraySetDim(in, out);
    for (std::size_t k = 0; k < in.size(); ++k)
        out[k] = SpecialCalc::ConvertLevel(in[k], SpecialCalc::UnitV, SpecialCalc::UnitDBm, 50.0);
}

void MathClass::ArrayConvertAmptoDB(const Array& in, Array& out) const {
    ArraySetDim(in, out);
    for (std::size_t k = 0; k < in.size(); ++k) out[k] = ConvertAmpToDB(in[k]);
}

void MathClass::ArrayConvertDBtoAmp(const Array& in, Array& out) const {
    ArraySetDim(in, out);
    for (std::size_t k = 0; k < in.size(); ++k) out[k] = ConvertDBToPower(in[k]);
}
