#include "MathClass.h"
#include "ReferenceData.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using Array = MathClass::Array;

namespace {

// A band-limited record: the kind the alignment sees.
void Record(MathClass& m, std::int32_t n, float seed, Array& I, Array& Q) {
    ASSERT_TRUE(m.SignalNoise(4.0, 16.0, n, seed, false, I, Q));
}

Array Rotated(const Array& x, long s) {
    const long n = static_cast<long>(x.size());
    Array out(x.size());
    for (long k = 0; k < n; ++k)
        out[static_cast<std::size_t>(k)] = x[static_cast<std::size_t>(((k + s) % n + n) % n)];
    return out;
}

} // namespace

TEST(TimingAlignment, CrossSpectrumFitAndShiftMatchNumpy) {
    auto ref = LoadReference("alignment.txt");
    MathClass m;
    for (int n : {64, 63}) {
        const std::string s = std::to_string(n);
        Array mag, phase;
        ASSERT_TRUE(m.ShiftService(ref["i1_" + s], ref["q1_" + s], ref["i2_" + s], ref["q2_" + s],
                                   mag, phase));
        ExpectNear(mag, ref["mag" + s], 1e-11, "magnitude " + s);
        ExpectNear(phase, ref["phase" + s], 1e-12, "phase " + s);
        double shift = 0;
        ASSERT_TRUE(m.GetSampleShiftFDom(ref["mag" + s], ref["phase" + s], shift));
        EXPECT_NEAR(shift, ref["shift" + s][0], 1e-12);
        Array I = ref["i1_" + s], Q = ref["q1_" + s];
        ASSERT_TRUE(m.ShiftSamples(I, Q, 0.3));
        ExpectNear(I, ref["moved_i" + s], 1e-13, "moved I " + s);
        ExpectNear(Q, ref["moved_q" + s], 1e-13, "moved Q " + s);
    }
}

TEST(TimingAlignment, ShiftsAreMeasuredBackAndUndone) {
    MathClass m;
    // Short records, odd and even, and a long one that takes the four-step
    // transform.
    for (std::int32_t n : {256, 255, 1 << 17}) {
        Array I, Q;
        Record(m, n, 7.0f, I, Q);
        double shift = 1;
        ASSERT_TRUE(m.GetSampleShift(I, Q, I, Q, shift));
        EXPECT_NEAR(shift, 0.0, 1e-12) << n;
        for (double s : {0.37, -0.8}) {
            Array I2 = I, Q2 = Q;
            ASSERT_TRUE(m.ShiftSamples(I2, Q2, s));
            ASSERT_TRUE(m.GetSampleShift(I, Q, I2, Q2, shift));
            EXPECT_NEAR(shift, s, 1e-9) << n;
            ASSERT_TRUE(m.ShiftSamples(I2, Q2, -s));
            ExpectNear(I2, I, 1e-12, "round trip I");
            ExpectNear(Q2, Q, 1e-12, "round trip Q");
        }
        Array I0 = I, Q0 = Q;
        ASSERT_TRUE(m.ShiftSamples(I0, Q0, 0.0));
        ExpectNear(I0, I, 1e-15, "shift 0");
    }
}

TEST(TimingAlignment, WholeNumberShiftsAreRotations) {
    MathClass m;
    for (std::int32_t n : {64, 63, 1 << 17}) {
        Array I, Q;
        Record(m, n, 3.0f, I, Q);
        for (long s : {3L, -5L, 64L}) {
            Array I2 = I, Q2 = Q;
            ASSERT_TRUE(m.ShiftSamples(I2, Q2, static_cast<double>(s)));
            // out(k) = in(k + s): the record moves s samples towards its start.
            ExpectNear(I2, Rotated(I, s), 1e-12, "I shifted by " + std::to_string(s));
            ExpectNear(Q2, Rotated(Q, s), 1e-12, "Q shifted by " + std::to_string(s));
        }
    }
}

TEST(TimingAlignment, CrossSpectrumIsCentredLikeFftshift) {
    MathClass m;
    // An impulse against itself moved by one sample: magnitude 1 in every
    // bin, phase 2·pi·f with f = (j - n/2)/n, so zero frequency sits at n/2.
    for (std::size_t n : {8u, 7u}) {
        Array I1(n, 0.0), Q1(n, 0.0);
        I1[0] = 1.0;
        Array I2 = Rotated(I1, 1), Q2(n, 0.0);
        Array mag, phase;
        ASSERT_TRUE(m.ShiftService(I1, Q1, I2, Q2, mag, phase));
        for (std::size_t j = 0; j < n; ++j) {
            EXPECT_NEAR(mag[j], 1.0, 1e-15);
            const double f =
                (static_cast<double>(j) - static_cast<double>(n / 2)) / static_cast<double>(n);
            const double turn = phase[j] - 2 * std::acos(-1.0) * f;
            EXPECT_NEAR(std::remainder(turn, 2 * std::acos(-1.0)), 0.0, 1e-14) << n << " bin " << j;
        }
        // The outputs may be record 2 itself.
        ASSERT_TRUE(m.ShiftService(I1, Q1, I2, Q2, I2, Q2));
        EXPECT_EQ(I2, mag);
        EXPECT_EQ(Q2, phase);
    }
}

TEST(TimingAlignment, WrappedPhaseIsReportedNotFitted) {
    MathClass m;
    constexpr std::int32_t n = 4096;
    // Occupied band (MHz of a 16 MHz clock), shift, and whether the phase
    // wraps: |shift| times the highest occupied frequency reaches 0.5.
    struct Case {
        double band, shift;
        bool wraps;
    };
    const Case cases[] = {
        {16, 0.37, false}, {16, 0.9, false}, {16, 1.5, true}, {16, -1.5, true},
        {16, 1.05, true},  {16, 3.7, true},  {4, 1.5, false}, {4, -3.7, false},
    };
    for (const Case& c : cases) {
        Array I, Q;
        ASSERT_TRUE(m.SignalNoise(c.band, 16.0, n, 5.0f, false, I, Q));
        Array I2 = I, Q2 = Q;
        ASSERT_TRUE(m.ShiftSamples(I2, Q2, c.shift));
        double shift = 42;
        EXPECT_EQ(m.GetSampleShift(I, Q, I2, Q2, shift), !c.wraps) << c.band << " " << c.shift;
        EXPECT_NEAR(shift, c.wraps ? 42 : c.shift, 1e-9) << c.band << " " << c.shift;
    }
    // Noise 15 dB down scatters the phase around its line without a wrap:
    // the shift is still found.
    Array I, Q, nI, nQ;
    ASSERT_TRUE(m.SignalNoise(16.0, 16.0, n, 5.0f, false, I, Q));
    ASSERT_TRUE(m.SignalNoise(16.0, 16.0, n, 6.0f, false, nI, nQ));
    Array I2 = I, Q2 = Q;
    ASSERT_TRUE(m.ShiftSamples(I2, Q2, 0.37));
    for (std::size_t k = 0; k < I2.size(); ++k) {
        I2[k] += 0.18 * nI[k];
        Q2[k] += 0.18 * nQ[k];
    }
    double noisy = 0;
    ASSERT_TRUE(m.GetSampleShift(I, Q, I2, Q2, noisy));
    EXPECT_NEAR(noisy, 0.37, 0.02);
    // A phase handed over unwrapped lies on its line, however steep.
    Array mag(64, 1.0), phase(64);
    for (std::size_t k = 0; k < phase.size(); ++k)
        phase[k] = MathClass::TwoPi * 5.0 * (static_cast<double>(k) - 32.0) / 64.0;
    double shift = 0;
    ASSERT_TRUE(m.GetSampleShiftFDom(mag, phase, shift));
    EXPECT_NEAR(shift, 5.0, 1e-12);
}

TEST(TimingAlignment, RefusesWhatItCannotAlign) {
    MathClass m;
    Array I{1, 2, 3}, Q{1, 2}, mag{9}, phase{9};
    EXPECT_FALSE(m.ShiftService(I, Q, I, Q, mag, phase));
    EXPECT_EQ(mag, Array{9});
    EXPECT_FALSE(m.ShiftSamples(I, Q, 0.5));
    EXPECT_EQ(I, (Array{1, 2, 3}));
    Array Q3{0, 0, 0};
    EXPECT_FALSE(m.ShiftSamples(I, Q3, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(m.ShiftSamples(I, Q3, std::numeric_limits<double>::infinity()));
    EXPECT_EQ(I, (Array{1, 2, 3}));
    double shift = 42;
    EXPECT_FALSE(m.GetSampleShiftFDom({1}, {0}, shift));
    EXPECT_FALSE(m.GetSampleShiftFDom({1, 2}, {0}, shift));
    EXPECT_FALSE(m.GetSampleShiftFDom({1, std::nan("")}, {0, 1}, shift));
    EXPECT_EQ(shift, 42);
    // A silent spectrum weighs every bin alike.
    ASSERT_TRUE(m.GetSampleShiftFDom({0, 0, 0, 0}, {-1, -0.5, 0, 0.5}, shift));
    EXPECT_NEAR(shift, 2.0 / MathClass::TwoPi, 1e-12);
    Array empty;
    EXPECT_TRUE(m.ShiftSamples(empty, empty, 1.0));
}

TEST(TimingAlignment, GetSteigungGivesTheInverseSlope) {
    MathClass m;
    double offset = 0, result = 0;
    ASSERT_TRUE(m.GetSteigung({0, 1, 2, 3}, {1, 3, 5, 7}, offset, result));
    EXPECT_DOUBLE_EQ(result, 0.5);
    EXPECT_DOUBLE_EQ(offset, 1.0);
    EXPECT_FALSE(m.GetSteigung({0, 1, 2}, {4, 4, 4}, offset, result)); // no slope to invert
    EXPECT_FALSE(m.GetSteigung({1, 1}, {0, 1}, offset, result));
    EXPECT_DOUBLE_EQ(result, 0.5);
}
