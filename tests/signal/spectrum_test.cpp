#include "MathClass.h"
#include "ReferenceData.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using Array = MathClass::Array;

namespace {

Array Iota(std::size_t n) {
    Array x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = static_cast<double>(k);
    return x;
}

} // namespace

TEST(SpectrumCentring, FlipCentresAsFftshiftAndUndoesAsIfftshift) {
    MathClass m;
    Array x = Iota(4);
    m.FFTFlipAmp(x);
    EXPECT_EQ(x, (Array{2, 3, 0, 1}));
    m.FFTFlipAmp(x);
    EXPECT_EQ(x, Iota(4));
    // Odd lengths: zero frequency (index 0) lands at n/2 rounded down, and
    // undo brings every element back.
    Array y = Iota(5);
    m.FFTFlipAmp(y);
    EXPECT_EQ(y, (Array{3, 4, 0, 1, 2}));
    m.FFTFlipAmp(y, true);
    EXPECT_EQ(y, Iota(5));
    Array I = Iota(7), Q = Iota(7);
    m.FFTFlip(I, Q);
    EXPECT_EQ(I[3], 0);
    EXPECT_EQ(Q, I);
}

TEST(SpectrumWindows, NamesCodesAndCorrections) {
    MathClass m;
    std::vector<std::string> shown;
    m.ShowMessage = [&](const std::string& t) { shown.push_back(t); };
    EXPECT_EQ(m.SignalWindowToEnum("blackman-harris"), 7);
    EXPECT_EQ(m.SignalWindowToEnum(" Blackman Harris "), 7);
    EXPECT_EQ(m.SignalWindowToEnum("rectangle"), 0);
    EXPECT_EQ(m.SignalWindowToEnum("Kaiser-Bessel"), 6);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(m.SignalWindowToEnum(""), 0);
    EXPECT_EQ(m.SignalWindowToEnum("gauss-ian"), 0);
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Windows Type  UNKNOWN", "Windows Type GAUSSIAN UNKNOWN"}));

    EXPECT_EQ(m.SignalWindowCoher(0), 0.0f);
    EXPECT_NEAR(m.SignalWindowCoher(1), 6.0206, 1e-4);
    EXPECT_NEAR(m.SignalWindowCoher(11), 13.33, 1e-2);
    // Codes without a gain of their own: finite corrections, no log10(0).
    EXPECT_NEAR(m.SignalWindowCoher(5), -20 * std::log10(0.75), 1e-5);
    EXPECT_EQ(m.SignalWindowCoher(6), 0.0f);
    EXPECT_EQ(m.SignalWindowCoher(-1), 0.0f);
    EXPECT_EQ(m.SignalWindowCoher(14), 0.0f);
    EXPECT_EQ(m.SignalWindowNoiseBW(99), 1.0f);
}

TEST(SpectrumWindows, WindowedRecordsMatchScipy) {
    auto ref = LoadReference("spectrum.txt");
    MathClass m;
    const char* names[] = {"", "bartlett", "hanning", "hamming", "blackmanharris"};
    for (int n : {16, 15}) {
        const std::string s = std::to_string(n);
        for (int type = 1; type <= 4; ++type) {
            Array I, Q;
            ASSERT_TRUE(m.SignalUseWindow(ref["i" + s], ref["q" + s], I, Q, type));
            ExpectNear(I, ref[names[type] + std::string("_i") + s], 1e-15, names[type]);
            ExpectNear(Q, ref[names[type] + std::string("_q") + s], 1e-15, names[type]);
        }
        // In place, and the types without a weighting of their own.
        Array I = ref["i" + s], Q = ref["q" + s];
        ASSERT_TRUE(m.SignalUseWindow(I, Q, I, Q, 2));
        ExpectNear(I, ref["hanning_i" + s], 1e-15, "in place");
        for (int type : {0, 6, 42}) {
            Array Io{9}, Qo;
            ASSERT_TRUE(m.SignalUseWindow(ref["i" + s], ref["q" + s], Io, Qo, type));
            EXPECT_EQ(Io, ref["i" + s]);
            EXPECT_EQ(Qo, ref["q" + s]);
        }
    }
    // The cosine taper weighs each sample's power.
    for (int n : {8, 11, 256}) {
        const Array ones(static_cast<std::size_t>(n), 1.0);
        Array I, Q;
        ASSERT_TRUE(m.SignalUseWindow(ones, ones, I, Q, 5));
        for (double& v : I)
            v *= v;
        ExpectNear(I, ref["taper" + std::to_string(n)], 1e-15, "taper");
    }
    Array I, Q;
    ASSERT_TRUE(m.SignalUseWindow(Array(8, 1.0), Array(8, 1.0), I, Q, 5));
    for (double& v : I)
        v *= v;
    ExpectNear(I, {0, 0.5, 1, 1, 1, 1, 1, 0.5}, 1e-15, "taper of 8");
    EXPECT_FALSE(m.SignalUseWindow({1, 2}, {1}, I, Q, 2));
}

TEST(SpectrumPower, ChannelPowerOfAFlatSpectrumDoublesAndClamps) {
    MathClass m;
    // 1 V in each of 1024 bins at 16 MHz: 1 MHz holds 64 bins of 20 mW.
    const Array flat(1024, 1.0);
    double p = 0;
    ASSERT_TRUE(m.SignalPower(flat, 16.0, 0.0, 1.0, 0, 0.0, p));
    EXPECT_NEAR(p, 31.0721, 1e-4);
    double p2 = 0;
    ASSERT_TRUE(m.SignalPower(flat, 16.0, 0.0, 2.0, 0, 0.0, p2));
    EXPECT_NEAR(p2 - p, 10 * std::log10(2.0), 1e-9);
    // Wider than the spectrum: only the edges are clamped, the power still
    // follows the bandwidth; a band wholly outside is measured on one bin.
    double wide = 0, outside = 0;
    ASSERT_TRUE(m.SignalPower(flat, 16.0, 0.0, 32.0, 0, 0.0, wide));
    EXPECT_NEAR(wide - p, 10 * std::log10(32.0), 1e-9);
    ASSERT_TRUE(m.SignalPower(flat, 16.0, 100.0, 1.0, 0, 0.0, outside));
    EXPECT_NEAR(outside, p, 1e-9);
    // Every window code gives a finite power.
    for (int code : {5, 6, -3, 20}) {
        double q = std::nan("");
        ASSERT_TRUE(m.SignalPower(flat, 16.0, 0.0, 1.0, code, 0.0, q));
        EXPECT_TRUE(std::isfinite(q)) << code;
    }
    double unchanged = 7;
    EXPECT_FALSE(m.SignalPower({}, 16.0, 0.0, 1.0, 0, 0.0, unchanged));
    EXPECT_FALSE(m.SignalPower(flat, 0.0, 0.0, 1.0, 0, 0.0, unchanged));
    EXPECT_FALSE(m.SignalPower(flat, 16.0, 0.0, -1.0, 0, 0.0, unchanged));
    EXPECT_FALSE(m.SignalPower(flat, 16.0, 0.0, 0.0, 0, 0.0, unchanged));
    EXPECT_FALSE(m.SignalPower(flat, 16.0, std::nan(""), 1.0, 0, 0.0, unchanged));
    EXPECT_EQ(unchanged, 7);
}

TEST(SpectrumPower, ChannelPowersMatchNumpy) {
    auto ref = LoadReference("spectrum.txt");
    MathClass m;
    const Array& cases = ref["power_cases"];
    const Array& powers = ref["powers"];
    ASSERT_EQ(cases.size(), 4 * powers.size());
    for (std::size_t c = 0; c < powers.size(); ++c) {
        double p = 0;
        ASSERT_TRUE(m.SignalPower(ref["spectrum"], cases[4 * c], cases[4 * c + 1], cases[4 * c + 2],
                                  static_cast<std::int32_t>(cases[4 * c + 3]), 0.0, p));
        EXPECT_NEAR(p, powers[c], 1e-6) << "case " << c;
    }
}

TEST(SpectrumSearch, PeaksInDecreasingHeightOutsideTheHalfWidth) {
    MathClass m;
    std::vector<std::int32_t> peaks{7, 7};
    EXPECT_FALSE(m.SignalPeakDetect({1, 5, 2}, 0, peaks));
    EXPECT_EQ(peaks, std::vector<std::int32_t>{0});
    const Array s{0, 1, 9, 8, 0, 0, 0, 9, 0, 0, 3, 0};
    ASSERT_TRUE(m.SignalPeakDetect(s, 3, peaks));
    EXPECT_EQ(peaks, (std::vector<std::int32_t>{2, 7, 10}));
    // A wider half width hides the shoulder; the end samples never count.
    ASSERT_TRUE(m.SignalPeakDetect({9, 1, 5, 1, 9}, 1, peaks, 0));
    EXPECT_EQ(peaks, std::vector<std::int32_t>{2});
    // first and last narrow the search; out-of-range values are ignored.
    ASSERT_TRUE(m.SignalPeakDetect(s, 1, peaks, 2, 3, 9));
    EXPECT_EQ(peaks, std::vector<std::int32_t>{7});
    ASSERT_TRUE(m.SignalPeakDetect(s, 1, peaks, 2, -4, 99));
    EXPECT_EQ(peaks, std::vector<std::int32_t>{2});
    EXPECT_FALSE(m.SignalPeakDetect({}, 2, peaks));
}

TEST(SpectrumCorrelation, FftCorrelationMatchesNumpyAndCrossCorrelationChecksLengths) {
    auto ref = LoadReference("spectrum.txt");
    MathClass m;
    Array r;
    ASSERT_TRUE(m.SignalFFTCorr(ref["corr_x"], ref["corr_y"], r));
    ExpectNear(r, ref["fftcorr"], 1e-14, "fft correlation");
    EXPECT_FALSE(m.SignalFFTCorr({}, {1}, r));

    std::vector<std::string> status;
    m.MathStatus = [&](const std::string& t) { status.push_back(t); };
    Array keep{4};
    EXPECT_FALSE(m.SignalCrossCorr({1, 2}, {1}, keep));
    EXPECT_EQ(keep, Array{4});
    EXPECT_EQ(status, std::vector<std::string>{"not equal field length!!!"});
    ASSERT_TRUE(m.SignalCrossCorr({1, 0, 0}, {1, 2, 3}, keep));
    EXPECT_EQ(keep, (Array{1.0 / 3, 2.0 / 3, 1.0}));
}

TEST(SpectrumFilters, CoefficientIndexIsTheDelay) {
    MathClass m;
    Array y;
    m.SignalFilterReal({1, 2, 3}, {1}, y);
    EXPECT_EQ(y, (Array{1, 2, 3}));
    m.SignalFilterReal({1, 2, 3}, {0, 1}, y);
    EXPECT_EQ(y, (Array{0, 1, 2}));
    Array x{1, 2, 3};
    m.SignalFilterReal(x, {0.5, 0.5}, x); // in place
    EXPECT_EQ(x, (Array{0.5, 1.5, 2.5}));
    Array I, Q;
    // Multiplying by j delays nothing and turns I into Q.
    ASSERT_TRUE(m.SignalFilterComplex({1, 2}, {0, 0}, {0}, {1}, I, Q));
    EXPECT_EQ(I, (Array{0, 0}));
    EXPECT_EQ(Q, (Array{1, 2}));
    EXPECT_FALSE(m.SignalFilterComplex({1, 2}, {0}, {0}, {1}, I, Q));
}

TEST(SpectrumLevels, CumulativeCurveAndMeanLevel) {
    MathClass m;
    Array c;
    m.HistoToCCDF({1, 2, 3}, c);
    EXPECT_EQ(c, (Array{5, 3, 0}));
    EXPECT_NEAR(m.IQPower({3, 0}, {4, 1}, 1.0f), 20 * std::log10(3.0) + 1.0, 1e-12);
    EXPECT_EQ(m.IQPower({1}, {1, 2}, 0.0f), -1000);
}
