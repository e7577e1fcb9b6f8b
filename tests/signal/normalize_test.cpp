#include "MathClass.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using Array = MathClass::Array;

TEST(Normalisation, PeakBecomesTheRootOfTheLevel) {
    MathClass m;
    Array I{0.25, 0.0, -0.1}, Q{0.0, 0.2, 0.1};
    ASSERT_TRUE(m.ArrayNormalizeIQ(I, Q, I, Q, 1.0));
    EXPECT_EQ(I, (Array{1.0, 0.0, -0.4}));
    EXPECT_EQ(Q, (Array{0.0, 0.8, 0.4}));
    Array Io{7}, Qo;
    ASSERT_TRUE(m.ArrayNormalizeIQ(I, Q, Io, Qo, 4.0));
    EXPECT_EQ(Io, (Array{2.0, 0.0, -0.8}));
    EXPECT_EQ(Qo, (Array{0.0, 1.6, 0.8}));
    // Samples whose squares would overflow or underflow.
    Array big{3e200, 0}, bigQ{4e200, 0};
    ASSERT_TRUE(m.ArrayNormalizeIQ(big, bigQ, big, bigQ, 1.0));
    EXPECT_NEAR(big[0], 0.6, 1e-15);
    Array tiny{3e-200}, tinyQ{4e-200};
    ASSERT_TRUE(m.ArrayNormalizeIQ(tiny, tinyQ, tiny, tinyQ, 1.0));
    EXPECT_NEAR(tinyQ[0], 0.8, 1e-15);

    Array x{-0.5, 0.25};
    Array r{9};
    ASSERT_TRUE(m.ArrayNormalize(x, r, 2.0));
    EXPECT_EQ(r, (Array{-2.0, 1.0}));
}

TEST(Normalisation, NothingToScaleLeavesTheRecordAlone) {
    MathClass m;
    // Different lengths, empty, silent or infinite records, negative levels.
    Array I{1, 2}, Q{1}, Io{5}, Qo{6};
    EXPECT_FALSE(m.ArrayNormalizeIQ(I, Q, Io, Qo, 1.0));
    Array zeros(4, 0.0), empty;
    EXPECT_FALSE(m.ArrayNormalizeIQ(zeros, zeros, Io, Qo, 1.0));
    EXPECT_FALSE(m.ArrayNormalizeIQ(empty, empty, Io, Qo, 1.0));
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(m.ArrayNormalizeIQ({1, inf}, {0, 0}, Io, Qo, 1.0));
    EXPECT_FALSE(m.ArrayNormalizeIQ({1}, {1}, Io, Qo, -1.0));
    EXPECT_EQ(Io, Array{5});
    EXPECT_EQ(Qo, Array{6});
    Array r{3};
    EXPECT_FALSE(m.ArrayNormalize(zeros, r, 1.0));
    EXPECT_FALSE(m.ArrayNormalize(empty, r, 1.0));
    EXPECT_FALSE(m.ArrayNormalize({inf}, r, 1.0));
    EXPECT_EQ(r, Array{3});
}

TEST(Normalisation, ScalesBeyondTheDoubleRangeStayExactOrFail) {
    MathClass m;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Record, power level and the peak magnitude expected (0: refused). The
    // factor level / peak alone would overflow or underflow in each.
    struct Case {
        Array I, Q;
        double level, peak;
    };
    const Case cases[] = {
        {{1e-320, 0}, {0, 0}, 1.0, 1.0},       // factor 1e320
        {{1e-200}, {0}, 1e250, 1e125},         // factor 1e325
        {{-5e-324, 0}, {0, 2.5e-324}, 4.0, 2}, // the smallest subnormal
        {{1e300}, {0}, 1e-300, 1e-150},        // factor 1e-450
        {{1e-300}, {0}, 1e300, 1e150},
        {{1, nan}, {0, 0}, 1.0, 0},
        {{1, 0}, {0, nan}, 1.0, 0},
        {{1, -nan}, {0, 0}, 1.0, 0},                                // a NaN with its sign bit set
        {{1, 2, 3, 4, 5, 6, 7, 8, nan, 1}, Array(10, 0.0), 1.0, 0}, // in the vectorised lanes
    };
    for (const Case& c : cases) {
        Array Io{5}, Qo{6}, I = c.I, Q = c.Q;
        const bool ok = m.ArrayNormalizeIQ(c.I, c.Q, Io, Qo, c.level);
        const bool inPlace = m.ArrayNormalizeIQ(I, Q, I, Q, c.level);
        if (c.peak == 0) {
            EXPECT_FALSE(ok || inPlace) << c.I[0];
            EXPECT_EQ(Io, Array{5});
            continue;
        }
        ASSERT_TRUE(ok && inPlace) << c.I[0] << " to " << c.level;
        double peak = 0;
        for (std::size_t k = 0; k < Io.size(); ++k)
            peak = std::max(peak, std::hypot(Io[k], Qo[k]));
        EXPECT_NEAR(peak / c.peak, 1.0, 1e-15) << c.I[0] << " to " << c.level;
        EXPECT_EQ(I, Io);
        EXPECT_EQ(Q, Qo);
    }

    Array r{3};
    ASSERT_TRUE(m.ArrayNormalize({1e-320, -5e-321}, r, 1.0));
    EXPECT_NEAR(r[0], 1.0, 1e-15);
    EXPECT_NEAR(r[1], -0.5, 1e-3); // the subnormal input carries few bits
    ASSERT_TRUE(m.ArrayNormalize({1e-10}, r, 1e300));
    EXPECT_NEAR(r[0] / 1e300, 1.0, 1e-15);
    ASSERT_TRUE(m.ArrayNormalize({1e300, 3e299}, r, 1e-300));
    EXPECT_NEAR(r[1] / 3e-301, 1.0, 1e-15);
    r = {3};
    EXPECT_FALSE(m.ArrayNormalize({1, nan}, r, 1.0));
    EXPECT_FALSE(m.ArrayNormalize({nan}, r, 1.0));
    EXPECT_FALSE(m.ArrayNormalize({1}, r, inf));
    EXPECT_EQ(r, Array{3});
}

TEST(CrestFactor, PeakOverRmsInDecibels) {
    MathClass m;
    EXPECT_NEAR(m.ArrayCrestIQ({1, 0, -1, 0}, {0, 1, 0, -1}), 0.0, 1e-12);
    EXPECT_NEAR(m.ArrayCrestIQ({1, 0, 0, 0}, {0, 0, 0, 0}), 6.0206, 1e-4);
    EXPECT_EQ(m.ArrayCrestIQ({0, 0}, {0, 0}), -2000);
    EXPECT_EQ(m.ArrayCrestIQ({}, {}), -2000);
    EXPECT_EQ(m.ArrayCrestIQ({1, 2}, {1}), -2000);
    // Long records (the vectorised lanes and their tail) and extreme scales.
    Array I(1001, 0.5), Q(1001, 0.0);
    I[1000] = 1.0;
    const double rms = std::sqrt((1000 * 0.25 + 1.0) / 1001);
    EXPECT_NEAR(m.ArrayCrestIQ(I, Q), 20 * std::log10(1.0 / rms), 1e-12);
    for (double& v : I)
        v *= 1e-200;
    EXPECT_NEAR(m.ArrayCrestIQ(I, Q), 20 * std::log10(1.0 / rms), 1e-12);
}

TEST(Detector, GroupsIncludingAShortLastOne) {
    MathClass m;
    Array trace(16);
    for (std::size_t k = 0; k < trace.size(); ++k)
        trace[k] = static_cast<double>(k);
    Array r;
    m.SignalDetector(trace, r, 1, 4);
    EXPECT_EQ(r, (Array{3, 7, 11, 15}));
    trace.push_back(16);
    m.SignalDetector(trace, r, 1, 4);
    EXPECT_EQ(r, (Array{3, 7, 11, 15, 16}));
    m.SignalDetector(trace, r, 2, 4);
    EXPECT_EQ(r, (Array{0, 4, 8, 12, 16}));
    m.SignalDetector({1, 3, 5, 7, 2}, r, 3, 2);
    EXPECT_EQ(r, (Array{2, 6, 2}));
    m.SignalDetector({3, 4}, r, 4, 2);
    EXPECT_NEAR(r[0], std::sqrt(12.5), 1e-15);
    // Group sizes below 1 count as 1; the "None" detector (and any unknown
    // mode) gives the trace unchanged; in place works.
    m.SignalDetector({1, 2, 3}, r, 1, 0);
    EXPECT_EQ(r, (Array{1, 2, 3}));
    m.SignalDetector({1, 2, 3}, r, 1, -5);
    EXPECT_EQ(r, (Array{1, 2, 3}));
    for (int mode : {0, 5, -1}) {
        m.SignalDetector(trace, r, mode, 4);
        EXPECT_EQ(r, trace);
    }
    Array inPlace{5, 1, 2, 8};
    m.SignalDetector(inPlace, inPlace, 1, 2);
    EXPECT_EQ(inPlace, (Array{5, 8}));
    m.SignalDetector({}, r, 1, 4);
    EXPECT_TRUE(r.empty());
    m.SignalDetector({std::nan(""), 2, 1}, r, 1, 3);
    EXPECT_EQ(r, Array{2});
}

TEST(SmallHelpers, ScalarsAndClipping) {
    MathClass m;
    EXPECT_EQ(m.MathSignum(0.0), 1);
    EXPECT_EQ(m.MathSi(0.0), 1.0);
    EXPECT_EQ(m.MathFak(1), 1.0);
    EXPECT_EQ(m.MathFak(5), 120.0);
    EXPECT_TRUE(std::isinf(m.MathFak(2000000000))); // stops once infinite
    // Only positive excursions are limited, both components by one factor.
    Array I{2, -3, 0.5}, Q{1, 0, 4};
    ASSERT_TRUE(m.ArrayLimitIQ(I, Q, 0.0, 1.0));
    EXPECT_EQ(I, (Array{1, -3, 0.125}));
    EXPECT_EQ(Q, (Array{0.5, 0, 1}));
    Array shortQ{1}, d;
    EXPECT_FALSE(m.ArrayLimitIQ(I, shortQ, 0.0, 1.0));
    ASSERT_TRUE(m.SignalAnalogIQ({0, 3, 3}, {0, 4, 4}, d));
    EXPECT_EQ(d, (Array{5, 0}));
    EXPECT_FALSE(m.SignalAnalogIQ({1}, {}, d));
    EXPECT_FALSE(m.ArrayFunctionSum({}));
}
