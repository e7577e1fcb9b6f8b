#include "DSP.h"
#include "MathClass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using Array = MathClass::Array;

namespace {

struct StatusLog {
    std::vector<std::string> lines;
    void Attach(MathClass& m) {
        m.MathStatus = [this](const std::string& text) { lines.push_back(text); };
    }
};

} // namespace

TEST(MathFrame, OneSharedInstanceWithTheLibraryConstants) {
    EXPECT_EQ(&DSP::IntMath(), &DSP::IntMath());
    EXPECT_EQ(MathClass::Pi, 3.14159265358979);
    EXPECT_EQ(MathClass::TwoPi, 6.28318530717958);
    EXPECT_NE(MathClass::Pi, 3.141592653589793); // deliberately short
    MathClass m;
    EXPECT_DOUBLE_EQ(m.ConvertGradToRad(180), 3.14159265358979);
    EXPECT_DOUBLE_EQ(m.ConvertRadToGrad(MathClass::Pi), 180.0);
    // No listener: warnings go nowhere instead of failing.
    EXPECT_EQ(m.PhaseAdd(300, 300), 240);
}

TEST(MathFrame, TapTableGivesMaximalLengthRegisters) {
    MathClass m;
    ASSERT_EQ(m.PNTapTable.size(), 25u);
    // Stepping each register (feedback = XOR of the tapped bits, shifted in
    // at position 1) from a non-zero state must visit all 2^n - 1 non-zero
    // states before it repeats.
    for (std::size_t n = 1; n <= 20; ++n) {
        const auto& row = m.PNTapTable[n];
        ASSERT_EQ(row.size(), n + 1);
        std::uint32_t mask = 0;
        for (std::size_t p = 1; p <= n; ++p)
            if (row[p]) mask |= 1u << (p - 1);
        const std::uint32_t start = 1;
        std::uint32_t state = start;
        std::uint64_t period = 0;
        do {
            const std::uint32_t feedback = __builtin_parity(state & mask);
            state = ((state << 1) | feedback) & ((1u << n) - 1);
            ++period;
        } while (state != start && period <= (1ull << n));
        EXPECT_EQ(period, (1ull << n) - 1) << "register length " << n;
    }
}

TEST(MathConversions, ZeitStringPicksTheUnitByMagnitude) {
    MathClass m;
    EXPECT_EQ(m.ZeitString(3723), "001h 02m 03s");
    EXPECT_EQ(m.ZeitString(-3723), "001h 02m 03s");
    EXPECT_EQ(m.ZeitString(123.4), "02m 03s");
    EXPECT_EQ(m.ZeitString(59.9996), "60.000 s");
    EXPECT_EQ(m.ZeitString(-0.002), "-2.000 ms");
    EXPECT_EQ(m.ZeitString(2.5e-5), "25.000 us");
    EXPECT_EQ(m.ZeitString(5e-15), "5.000 fs");
    EXPECT_EQ(m.ZeitString(0), "0.000 as");
    EXPECT_EQ(m.ZeitString(-0.0), "0.000 as");
    // Minutes and hours come from the rounded value; the remainder keeps its
    // fraction and is shown rounded half to even, never negative.
    EXPECT_EQ(m.ZeitString(119.6), "02m 00s");
    EXPECT_EQ(m.ZeitString(62.5), "01m 02s");
    EXPECT_EQ(m.ZeitString(7261.5), "002h 01m 02s");
    EXPECT_EQ(m.ZeitString(1e7), "2777h 46m 40s");
    const std::string huge = m.ZeitString(1e300); // hours far past any integer type
    EXPECT_EQ(huge.substr(0, 6), "277777");
    EXPECT_EQ(huge.back(), 's');
    // Non-finite times are shown, not converted to integers.
    EXPECT_EQ(m.ZeitString(std::numeric_limits<double>::infinity()), "inf s");
    EXPECT_EQ(m.ZeitString(-std::numeric_limits<double>::infinity()), "-inf s");
    EXPECT_EQ(m.ZeitString(std::nan("")), "nan s");
}

TEST(MathConversions, ValueReadsTheFirstCommaAsPoint) {
    MathClass m;
    EXPECT_EQ(m.Value("1,5"), 1.5);
    EXPECT_EQ(m.Value("1,5,5"), 1.5);
    EXPECT_EQ(m.Value("  -2.25e1 dBm"), -22.5);
    EXPECT_EQ(m.Value("abc"), 0.0);
    EXPECT_EQ(m.Value("1e999"), 0.0);
}

TEST(MathConversions, DecibelsWithMinus1000ForZero) {
    MathClass m;
    EXPECT_EQ(m.ConvertPowerToDB(0), -1000);
    EXPECT_EQ(m.ConvertAmpToDB(0), -1000);
    EXPECT_DOUBLE_EQ(m.ConvertPowerToDB(-100), 20);
    EXPECT_DOUBLE_EQ(m.ConvertAmpToDB(-10), 20);
    EXPECT_DOUBLE_EQ(m.ConvertDBToPower(20), 10); // an amplitude ratio
    Array out{99};
    m.ArrayConvertAmptoDB({0, 1, 0.1}, out);
    EXPECT_EQ(out, (Array{-1000, 0, -20}));
    m.ArrayConvertVolttoDBM({1, 0}, out);
    EXPECT_NEAR(out[0], 13.0103, 1e-4);
    EXPECT_NEAR(out[1], -970, 1e-9);
}

TEST(MathPhases, IQToPhaseAndBack) {
    MathClass m;
    EXPECT_EQ(m.ConvertIQtoPhase(0, 0), -90);
    EXPECT_EQ(m.ConvertIQtoPhase(0, 2), 90);
    EXPECT_EQ(m.ConvertIQtoPhase(-1, 0), 180);
    EXPECT_EQ(m.ConvertIQtoPhase(-1, -1e-300), 180); // never -180
    EXPECT_NEAR(m.ConvertIQtoPhase(-1, 1), 135, 1e-12);
    EXPECT_NEAR(m.ConvertIQtoPhase(-1, -1), -135, 1e-12);
    EXPECT_NEAR(m.ConvertIQtoPhase(1, -1), -45, 1e-12);
    EXPECT_TRUE(std::isnan(m.ConvertIQtoPhase(std::nan(""), 1)));
    double I = 0, Q = 0;
    m.ConvertAmpPhaIQ(2, 120, I, Q);
    EXPECT_NEAR(I, -1, 1e-12);
    EXPECT_NEAR(Q, std::sqrt(3.0), 1e-12);
    EXPECT_NEAR(m.ConvertIQtoPhase(I, Q), 120, 1e-10);
    Array amp{7, 7, 7};
    m.ArrayConvertIQtoAmp({3, 1}, {4}, amp); // Q runs short: taken as 0
    EXPECT_EQ(amp, (Array{5, 1}));
    Array ph;
    m.ArrayPhase({1, -1}, {0, 0}, ph);
    EXPECT_EQ(ph, (Array{0, 180}));
}

TEST(MathPhases, PhaseAddWrapsOnceAndWarns) {
    MathClass m;
    StatusLog log;
    log.Attach(m);
    EXPECT_EQ(m.PhaseAdd(170, 20), -170);
    EXPECT_EQ(m.PhaseAdd(90, 90), 180);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(m.PhaseAdd(300, 300), 240);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "phase > 180 \xB0 after adding phases!!!");
    Array x{10, 170};
    m.ArrayPhaseAddConst(x, 20);
    EXPECT_EQ(x, (Array{30, -170}));
    Array out;
    m.ArrayPhaseAdd({10, 20, 30}, {1, 2}, out); // the shorter padded with 0
    EXPECT_EQ(out, (Array{11, 22, 30}));
    // Radian values stay below the wrap limit: the plain sum.
    Array r{0.5, -3.0};
    m.ArrayPhaseAddConst(r, -0.25);
    EXPECT_EQ(r, (Array{0.25, -3.25}));
}

TEST(MathPhases, PhaseDiffWrapsIntoOneTurn) {
    MathClass m;
    EXPECT_NEAR(m.PhaseDiff(3, -3), -6 + 2 * 3.14159265358979, 1e-14);
    EXPECT_NEAR(m.PhaseDiff(3, -3), 0.283, 1e-3);
    EXPECT_NEAR(m.PhaseDiff(-7, 0), 7 - 2 * 3.14159265358979, 1e-14);
    // Far-out and non-finite operands end instead of looping for ever.
    const double far = m.PhaseDiff(0, 1e300);
    EXPECT_LE(std::abs(far), MathClass::Pi);
    EXPECT_TRUE(std::isnan(m.PhaseDiff(0, std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(m.PhaseDiff(std::nan(""), 0)));
    Array out;
    m.ArrayPhaseDiff({3, 0}, {-3, 1}, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NEAR(out[0], 0.2831853, 1e-6);
    EXPECT_EQ(out[1], 1);
}

TEST(MathArrays, AdjustIndexSetDimAndDivide) {
    MathClass m;
    Array a{1, 2, 3, 4, 5}, b{1, 2, 3, 4, 5, 6, 7, 8};
    m.ArrayAdjustIndex(a, b);
    EXPECT_EQ(a, (Array{1, 2, 3, 4, 5, 0, 0, 0}));
    EXPECT_EQ(b.size(), 8u);
    Array out{9, 9, 9};
    m.ArraySetDim(Array(2), out);
    EXPECT_EQ(out, (Array{9, 9}));
    m.ArraySetDim(Array(4), out);
    EXPECT_EQ(out, (Array{9, 9, 0, 0}));
    Array x{2, 4};
    EXPECT_TRUE(m.ArrayDivide(x, 2));
    EXPECT_EQ(x, (Array{1, 2}));
    EXPECT_FALSE(m.ArrayDivide(x, 0));
    EXPECT_EQ(x, (Array{1, 2}));
}
