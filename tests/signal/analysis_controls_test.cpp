#include "AnalysisControls.h"
#include "ReferenceData.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using Analysis::Array;

namespace {} // namespace

TEST(AnalysisTransforms, MatchNumpyForOddEvenAndPrimeLengths) {
    auto ref = LoadReference("fft.txt");
    for (int n : {7, 12, 13}) {
        const std::string s = std::to_string(n);
        Array re, im;
        ASSERT_TRUE(Analysis::FFT(ref["re" + s], ref["im" + s], re, im));
        ExpectNear(re, ref["fre" + s], 1e-12, "forward re");
        ExpectNear(im, ref["fim" + s], 1e-12, "forward im");
        ASSERT_TRUE(Analysis::InverseFFT(ref["re" + s], ref["im" + s], re, im));
        ExpectNear(re, ref["ire" + s], 1e-13, "inverse re");
        ExpectNear(im, ref["iim" + s], 1e-13, "inverse im");
    }
    Array re, im;
    ASSERT_TRUE(Analysis::RealFFT(ref["real9"], re, im));
    ExpectNear(re, ref["rre9"], 1e-12, "real re");
    ExpectNear(im, ref["rim9"], 1e-12, "real im");
    // The inverse of the real spectrum brings the real signal back.
    Array back;
    ASSERT_TRUE(Analysis::InverseRealFFT(re, im, back));
    ExpectNear(back, ref["real9"], 1e-13, "inverse real");
}

TEST(AnalysisTransforms, ForwardUnscaledDcFirstInverseScaled) {
    // A constant gives N at DC and nothing elsewhere; a tone e^{2πjk/N} lands
    // in bin 1.
    const std::size_t n = 10;
    Array re(n, 1.0), im(n, 0.0), fr, fi;
    ASSERT_TRUE(Analysis::FFT(re, im, fr, fi));
    EXPECT_NEAR(fr[0], 10.0, 1e-12);
    for (std::size_t k = 1; k < n; ++k)
        EXPECT_NEAR(std::hypot(fr[k], fi[k]), 0.0, 1e-12);
    for (std::size_t k = 0; k < n; ++k) {
        re[k] = std::cos(2 * std::numbers::pi * double(k) / double(n));
        im[k] = std::sin(2 * std::numbers::pi * double(k) / double(n));
    }
    ASSERT_TRUE(Analysis::FFT(re, im, fr, fi));
    EXPECT_NEAR(fr[1], 10.0, 1e-12);
    EXPECT_NEAR(fr[n - 1], 0.0, 1e-12);
    // Round trip in place, the outputs being the inputs.
    Array r2 = re, i2 = im;
    ASSERT_TRUE(Analysis::FFT(r2, i2, r2, i2));
    ASSERT_TRUE(Analysis::InverseFFT(r2, i2, r2, i2));
    ExpectNear(r2, re, 1e-14, "round trip");
    EXPECT_TRUE(Analysis::FFT({}, {}, fr, fi));
    EXPECT_FALSE(Analysis::FFT({1, 2}, {1}, fr, fi));
    EXPECT_TRUE(fr.empty() && fi.empty());
}

TEST(AnalysisTransforms, RepeatedLengthsReuseTheirPlans) {
    // Interleaved lengths and directions must each keep their own plan.
    Array fr, fi;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(Analysis::FFT({1, 2, 3, 4}, Array(4, 0.0), fr, fi));
        EXPECT_DOUBLE_EQ(fi[1], 2.0);
        ASSERT_TRUE(Analysis::InverseFFT({1, 0, 0, 0, 0}, Array(5, 0.0), fr, fi));
        ExpectNear(fr, Array(5, 0.2), 1e-15, "impulse");
    }
}

TEST(AnalysisWindows, PeriodicWindowsMatchScipyAndTheCoherentGainTable) {
    auto ref = LoadReference("windows.txt");
    using W = Analysis::Window;
    const std::pair<const char*, W> windows[] = {{"bartlett", W::Bartlett},
                                                 {"hanning", W::Hanning},
                                                 {"hamming", W::Hamming},
                                                 {"blackmanharris", W::BlackmanHarris}};
    for (int n : {8, 9, 16})
        for (auto [name, w] : windows)
            ExpectNear(Analysis::WindowWeights(std::size_t(n), w), ref[name + std::to_string(n)],
                       1e-15, name);
    // The mean of a periodic window of even length is its coherent gain.
    const std::pair<W, double> gains[] = {
        {W::Bartlett, 0.5}, {W::Hanning, 0.5}, {W::Hamming, 0.54}, {W::BlackmanHarris, 0.42323}};
    for (auto [w, gain] : gains)
        for (std::size_t n : {16u, 1024u})
            EXPECT_NEAR(*Analysis::Mean(Analysis::WindowWeights(n, w)), gain, 1e-14);
    Array x(8, 2.0);
    Analysis::ApplyWindow(x, W::Hanning);
    EXPECT_DOUBLE_EQ(x[0], 0.0);
    EXPECT_DOUBLE_EQ(x[4], 2.0);
}

TEST(AnalysisComplex, PolarPhaseStaysInHalfOpenRange) {
    Array mag, phase;
    ASSERT_TRUE(
        Analysis::ToPolar({-1.0, -1.0, 1.0, 0.0, 3.0}, {0.0, -0.0, -0.0, 0.0, 4.0}, mag, phase));
    EXPECT_DOUBLE_EQ(phase[0], std::numbers::pi);
    EXPECT_DOUBLE_EQ(phase[1], std::numbers::pi);
    EXPECT_EQ(phase[2], 0.0);
    EXPECT_EQ(phase[3], 0.0);
    EXPECT_DOUBLE_EQ(mag[4], 5.0);
    // Inputs of different lengths leave no earlier result behind.
    EXPECT_FALSE(Analysis::ToPolar({1, 2}, {1}, mag, phase));
    EXPECT_TRUE(mag.empty() && phase.empty());
    // (1 + 2j)(3 - j) = 5 + 5j, computed in place.
    Array ar{1}, ai{2};
    ASSERT_TRUE(Analysis::ComplexMultiply(ar, ai, {3}, {-1}, ar, ai));
    EXPECT_EQ(ar, Array{5});
    EXPECT_EQ(ai, Array{5});
    EXPECT_FALSE(Analysis::ComplexMultiply({1, 2}, {1, 2}, {1}, {1}, ar, ai));
}

TEST(AnalysisPhase, UnwrapMatchesNumpy) {
    auto ref = LoadReference("unwrap.txt");
    ExpectNear(Analysis::Unwrap(ref["phase"]), ref["unwrapped"], 1e-12, "unwrap");
    EXPECT_TRUE(Analysis::Unwrap({}).empty());
}

TEST(AnalysisArrays, ElementWiseOperationsGuardTheirInputs) {
    Array out;
    EXPECT_FALSE(Analysis::Divide({1, 2}, {1, 0}, out));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(Analysis::Divide({1, 2}, {4, 8}, out));
    EXPECT_EQ(out, (Array{0.25, 0.25}));
    EXPECT_FALSE(Analysis::Add({1}, {1, 2}, out));
    Array a{1, 2, 3};
    ASSERT_TRUE(Analysis::Multiply(a, a, a)); // in place
    EXPECT_EQ(a, (Array{1, 4, 9}));
    ASSERT_TRUE(Analysis::Subset(a, 1, 2, out));
    EXPECT_EQ(out, (Array{4, 9}));
    EXPECT_FALSE(Analysis::Subset(a, 2, 2, out));
    EXPECT_EQ(Analysis::Ramp(3, 1, 1), (Array{1, 1, 1}));
    EXPECT_EQ(Analysis::Ramp(5, -0.5, 0.5), (Array{-0.5, -0.25, 0, 0.25, 0.5}));
    EXPECT_EQ(Analysis::SearchBetween({0.1, 0.5, 0.2, 0.9, 0.2}, 0.2, 0.5),
              (std::vector<std::size_t>{1, 2, 4}));
    EXPECT_TRUE(Analysis::SearchBetween({1, 2}, 3, 4).empty());
    EXPECT_EQ(Analysis::NormalizeToMax({0, 0}), (Array{0, 0}));
    EXPECT_EQ(Analysis::ComplementToTotal({1, 3, 6}), (Array{5, 3, 0}));

    auto e = Analysis::MaxMin({3, std::nan(""), 7, -1, 7, -1});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->max, 7);
    EXPECT_EQ(e->maxIndex, 2u);
    EXPECT_EQ(e->min, -1);
    EXPECT_EQ(e->minIndex, 3u);
    EXPECT_FALSE(Analysis::MaxMin({}));
    // Max and Min each give their own extreme, NaN passed over.
    const std::pair<Array, std::pair<double, double>> extremes[] = {
        {{3, std::nan(""), 7, -1}, {7, -1}},
        {{std::nan(""), -2}, {-2, -2}},
        {{-5, -9, -7}, {-5, -9}},
    };
    for (const auto& [x, maxMin] : extremes) {
        EXPECT_EQ(Analysis::Max(x), maxMin.first);
        EXPECT_EQ(Analysis::Min(x), maxMin.second);
    }
    EXPECT_FALSE(Analysis::Min({}));
    EXPECT_FALSE(Analysis::Min({std::nan("")}));
    EXPECT_FALSE(Analysis::Mean({}));
    EXPECT_FALSE(Analysis::Rms({}));
}

TEST(AnalysisStatistics, HistogramMatchesNumpyWithTheLastIntervalClosed) {
    auto ref = LoadReference("histogram.txt");
    for (int m : {8, 5}) {
        const std::string s = std::to_string(m);
        Array counts, axis;
        ASSERT_TRUE(Analysis::Histogram(ref["data"], ref["range" + s][0], ref["range" + s][1],
                                        std::size_t(m), counts, axis));
        ExpectNear(counts, ref["counts" + s], 0.0, "counts");
        ExpectNear(axis, ref["centres" + s], 1e-15, "centres");
    }
    Array counts, axis;
    ASSERT_TRUE(Analysis::Histogram({0.0, 0.25, 0.5, 1.0, 1.0, -0.1, 1.1}, 0, 1, 4, counts, axis));
    EXPECT_EQ(counts, (Array{1, 1, 1, 2}));
    EXPECT_EQ(axis, (Array{0.125, 0.375, 0.625, 0.875}));
    // All values equal: the range is widened, as numpy does.
    ASSERT_TRUE(Analysis::Histogram({3, 3}, 3, 3, 2, counts, axis));
    EXPECT_EQ(counts, (Array{0, 2}));
    ASSERT_TRUE(Analysis::Histogram({0, 5e-324}, 0, 5e-324, 10, counts, axis)); // width 0
    EXPECT_EQ(counts[0] + counts[9], 2);
    EXPECT_FALSE(Analysis::Histogram({1}, 0, 1, 0, counts, axis));
    EXPECT_FALSE(Analysis::Histogram({1}, 1, 0, 3, counts, axis));
    EXPECT_TRUE(counts.empty() && axis.empty());
    // Refused, not thrown or answered with NaN centres: a class count no
    // memory holds, and a span beyond the double range.
    ASSERT_TRUE(Analysis::Histogram({1}, 0, 1, 4, counts, axis));
    EXPECT_FALSE(Analysis::Histogram({1}, 0, 1, std::size_t{1000000000000}, counts, axis));
    EXPECT_TRUE(counts.empty() && axis.empty());
    EXPECT_FALSE(Analysis::Histogram({0, 1e308}, -1e308, 1e308, 4, counts, axis));
    EXPECT_TRUE(counts.empty() && axis.empty());
    ASSERT_TRUE(Analysis::Histogram({-1e308, 0, 1e308}, -1e308, 1e308 / 2, 3, counts, axis));
    EXPECT_EQ(counts, (Array{1, 0, 1})); // 1e308 lies above the range
}

TEST(AnalysisStatistics, PolynomialFitMatchesNumpyUpToOrder19) {
    auto ref = LoadReference("polyfit.txt");
    const Array& x = ref["x"];
    const Array& y = ref["y"];
    // The monomial coefficients of an order-19 fit on 0..1 run into 1e9 and
    // more, so the fitted values cannot be better than about 1e-6; normal
    // equations miss them by more than 1e-4.
    const std::pair<int, double> cases[] = {{3, 1e-12}, {9, 1e-9},  {15, 2e-5}, {16, 2e-5},
                                            {17, 2e-5}, {18, 2e-5}, {19, 2e-5}};
    for (auto [order, tol] : cases) {
        const std::string s = std::to_string(order);
        Array coeff;
        double mse = -1;
        ASSERT_TRUE(Analysis::PolyFit(x, y, order, coeff, mse));
        ASSERT_EQ(coeff.size(), std::size_t(order) + 1);
        ExpectNear(Analysis::PolyEval(x, coeff), ref["fitted" + s], tol, "fitted values");
        EXPECT_NEAR(mse, ref["mse" + s][0], ref["mse" + s][0] * 1e-3);
    }
    Array coeff;
    double mse = 0;
    ASSERT_TRUE(Analysis::PolyFit(x, y, 3, coeff, mse));
    ExpectNear(coeff, ref["coeff3"], 1e-10, "coefficients");
}

TEST(AnalysisStatistics, PolynomialFitOfLongRecordsStaysAccurateAtHighOrders) {
    // The reference points each taken 500 times, in turn, so the rows run
    // through hundreds of blocks: every point keeps its weight, so the fit
    // and its residual are numpy's for the 200 points.
    auto ref = LoadReference("polyfit.txt");
    constexpr std::size_t copies = 500;
    Array x, y;
    for (std::size_t c = 0; c < copies; ++c) {
        x.insert(x.end(), ref["x"].begin(), ref["x"].end());
        y.insert(y.end(), ref["y"].begin(), ref["y"].end());
    }
    for (int order = 15; order <= 19; ++order) {
        const std::string s = std::to_string(order);
        Array coeff;
        double mse = -1;
        ASSERT_TRUE(Analysis::PolyFit(x, y, order, coeff, mse)) << order;
        Array fitted = Analysis::PolyEval(ref["x"], coeff);
        ExpectNear(fitted, ref["fitted" + s], 2e-5, "order " + s);
        EXPECT_NEAR(mse, ref["mse" + s][0], ref["mse" + s][0] * 1e-3) << order;
    }
}

TEST(AnalysisStatistics, PolynomialFitReportsWhatItCannotFit) {
    Array coeff;
    double mse = 0;
    // Exact data: the polynomial itself, lowest power first, no residual.
    ASSERT_TRUE(Analysis::PolyFit({0, 1, 2, 3}, {1, 3, 9, 19}, 2, coeff, mse));
    ExpectNear(coeff, {1, 0, 2}, 1e-12, "exact");
    EXPECT_NEAR(mse, 0, 1e-24);
    // Negative x and x beyond 1 are fine too.
    ASSERT_TRUE(Analysis::PolyFit({-20, -10, 0, 10}, {-7999, -999, 1, 1001}, 3, coeff, mse));
    ExpectNear(coeff, {1, 0, 0, 1}, 1e-9, "cubic");
    EXPECT_FALSE(Analysis::PolyFit({1, 1, 2}, {1, 2, 3}, 2, coeff, mse)); // two distinct x
    EXPECT_TRUE(coeff.empty());
    EXPECT_FALSE(Analysis::PolyFit({1, 2}, {1}, 1, coeff, mse));
    EXPECT_FALSE(Analysis::PolyFit({1, 2, std::nan("")}, {1, 2, 3}, 1, coeff, mse));
    EXPECT_FALSE(Analysis::PolyFit({1, 2}, {1, 2}, -1, coeff, mse));
    ASSERT_TRUE(Analysis::PolyFit({0, 0}, {2, 4}, 0, coeff, mse)); // order 0: the mean
    ExpectNear(coeff, {3}, 1e-15, "mean");
    EXPECT_NEAR(mse, 1.0, 1e-15);
}

TEST(AnalysisStatistics, LinearGainThroughTheOrigin) {
    double g = 0;
    ASSERT_TRUE(Analysis::LinearGain({1, 2, 3}, {2, 4, 6}, g));
    EXPECT_DOUBLE_EQ(g, 2.0);
    ASSERT_TRUE(Analysis::LinearGain({1, 2}, {1, 1}, g));
    EXPECT_DOUBLE_EQ(g, 0.6); // (1 + 2) / (1 + 4)
    EXPECT_FALSE(Analysis::LinearGain({0, 0}, {1, 1}, g));
    EXPECT_FALSE(Analysis::LinearGain({1}, {1, 1}, g));
}
