#include "AnalysisControls.h"
#include "MathClass.h"
#include "UniformRandom.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

using Array = MathClass::Array;

namespace {

// The amplifier model as its definition reads: polar form, curves, phase
// sum folded once by 360, rectangular form.
void PolarModel(MathClass& m, Array& I, Array& Q, const Array* am, const Array* pm, double scale,
                bool amFirst) {
    for (std::size_t k = 0; k < I.size(); ++k) {
        const double x = std::hypot(I[k], Q[k]) * scale;
        double phase = std::atan2(Q[k], I[k]);
        double amp = x, turn = 0;
        if (amFirst) {
            if (am) amp = m.PolyCalc(*am, x);
            if (pm) turn = m.PolyCalc(*pm, amp);
        } else {
            if (pm) turn = m.PolyCalc(*pm, x);
            if (am) amp = m.PolyCalc(*am, x);
        }
        if (pm) phase = m.PhaseAdd(phase, turn);
        I[k] = amp * std::cos(phase);
        Q[k] = amp * std::sin(phase);
    }
}

void RandomRecord(std::size_t n, Array& I, Array& Q) {
    std::mt19937_64 g(11);
    std::uniform_real_distribution<double> d(-0.7, 0.7);
    I.resize(n);
    Q.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        I[k] = d(g), Q[k] = d(g);
}

void ExpectNear(const Array& a, const Array& b, double tol, const std::string& what) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k)
        EXPECT_NEAR(a[k], b[k], tol) << what << " at " << k;
}

// Magnitudes of the record's spectrum, centred.
Array CentredSpectrum(MathClass& m, const Array& I, const Array& Q) {
    Array re, im, mag, phase;
    Analysis::FFT(I, Q, re, im);
    m.FFTFlip(re, im);
    Analysis::ToPolar(re, im, mag, phase);
    return mag;
}

std::vector<std::size_t> Occupied(const Array& mag) {
    const double peak = *std::max_element(mag.begin(), mag.end());
    std::vector<std::size_t> bins;
    for (std::size_t k = 0; k < mag.size(); ++k) {
        if (mag[k] > 1e-9 * peak) {
            bins.push_back(k);
            EXPECT_NEAR(mag[k], peak, 1e-9 * peak) << "bin " << k; // unit magnitude each
        }
    }
    return bins;
}

} // namespace

TEST(AmplifierModel, MatchesThePolarRoundTripInEveryOrder) {
    MathClass m;
    // Order-19 curves on magnitudes up to 1, as the fits give them.
    Array am(20), pm(20);
    for (std::size_t k = 0; k < am.size(); ++k) {
        am[k] = (k % 2 ? 1.0 : -0.5) / static_cast<double>(k * k + 1);
        pm[k] = 0.05 * std::pow(-0.6, static_cast<double>(k));
    }
    Array I, Q;
    RandomRecord(3001, I, Q);
    I[5] = Q[5] = 0.0; // a silent sample gets the curve's constant term
    const std::pair<const Array*, const Array*> curves[] = {
        {&am, &pm}, {&am, nullptr}, {nullptr, &pm}, {nullptr, nullptr}};
    for (auto [a, p] : curves)
        for (bool amFirst : {true, false}) {
            Array I1 = I, Q1 = Q, I2 = I, Q2 = Q;
            ASSERT_TRUE(m.SignalDistore(I1, Q1, a, p, 1.3, amFirst));
            PolarModel(m, I2, Q2, a, p, 1.3, amFirst);
            ExpectNear(I1, I2, 1e-13, "I");
            ExpectNear(Q1, Q2, 1e-13, "Q");
        }
    // With neither curve only the magnitudes scale; with AM/AM alone the
    // phases stay.
    Array I1 = I, Q1 = Q;
    ASSERT_TRUE(m.SignalDistore(I1, Q1, nullptr, nullptr, 2.0, true));
    for (std::size_t k = 0; k < I.size(); ++k)
        EXPECT_NEAR(I1[k], 2 * I[k], 1e-15);
    I1 = I, Q1 = Q;
    const Array rising{0, 1, 0.2};
    ASSERT_TRUE(m.SignalDistore(I1, Q1, &rising, nullptr, 1.0, true));
    for (std::size_t k = 0; k < I.size(); k += 37) {
        if (I[k] == 0.0 && Q[k] == 0.0) continue;
        const double turn = std::atan2(Q1[k], I1[k]) - std::atan2(Q[k], I[k]);
        EXPECT_NEAR(std::remainder(turn, 2 * std::numbers::pi), 0.0, 1e-14);
    }
}

TEST(AmplifierModel, OrderFlagPicksWhereAmPmIsRead) {
    MathClass m;
    const Array am{0, 2}, pm{0, 0.1};
    Array I{0.5}, Q{0.0};
    ASSERT_TRUE(m.SignalDistore(I, Q, &am, &pm, 1.0, true)); // AM/PM at the output, 1.0
    EXPECT_NEAR(std::atan2(Q[0], I[0]), 0.1, 1e-15);
    I = {0.5}, Q = {0.0};
    ASSERT_TRUE(m.SignalDistore(I, Q, &am, &pm, 1.0, false)); // at the input, 0.5
    EXPECT_NEAR(std::atan2(Q[0], I[0]), 0.05, 1e-15);
    EXPECT_NEAR(std::hypot(I[0], Q[0]), 1.0, 1e-15);
}

TEST(AmplifierModel, LargeAmPmFoldsOnceAndWarns) {
    MathClass m;
    std::vector<std::string> status;
    m.MathStatus = [&](const std::string& t) { status.push_back(t); };
    const Array am{0, 1};
    for (double turn : {200.0, -200.0, 600.0}) {
        const Array pm{turn};
        Array I{0.3, -0.2}, Q{0.4, 0.1}, I2 = I, Q2 = Q;
        status.clear();
        ASSERT_TRUE(m.SignalDistore(I, Q, &am, &pm, 1.0, true));
        EXPECT_EQ(status.front(), "distoring, please wait...");
        PolarModel(m, I2, Q2, &am, &pm, 1.0, true);
        ExpectNear(I, I2, 1e-13, "I");
        ExpectNear(Q, Q2, 1e-13, "Q");
    }
    EXPECT_EQ(status.back(), "phase > 180 \xB0 after adding phases!!!");
    Array I{1, 2}, Q{1};
    EXPECT_FALSE(m.SignalDistore(I, Q, &am, nullptr, 1.0, true));
    EXPECT_EQ(I, (Array{1, 2}));
}

TEST(NoiseSynthesis, DeterministicWithPeakOne) {
    MathClass m;
    Array I1, Q1, I2, Q2, I3, Q3;
    ASSERT_TRUE(m.SignalNoise(1.0, 16.0, 4096, 2.5f, false, I1, Q1));
    ASSERT_TRUE(m.SignalNoise(1.0, 16.0, 4096, 2.5f, false, I2, Q2));
    ASSERT_TRUE(m.SignalNoise(1.0, 16.0, 4096, 3.5f, false, I3, Q3));
    EXPECT_EQ(I1, I2);
    EXPECT_EQ(Q1, Q2);
    EXPECT_NE(I1, I3);
    double peak = 0;
    for (std::size_t k = 0; k < I1.size(); ++k)
        peak = std::max(peak, std::hypot(I1[k], Q1[k]));
    EXPECT_NEAR(peak, 1.0, 1e-15);
    // Without its mean.
    ASSERT_TRUE(m.SignalNoise(1.0, 16.0, 4096, 2.5f, true, I3, Q3));
    EXPECT_NEAR(*Analysis::Mean(I3), 0.0, 1e-14);
    EXPECT_NEAR(*Analysis::Mean(Q3), 0.0, 1e-14);
}

TEST(NoiseSynthesis, OccupiesTheBinsAroundTheCentre) {
    MathClass m;
    Array I, Q;
    // 16384 points, 1 MHz of 16: half 512, bins 7680 to 8704 of the centred
    // spectrum.
    ASSERT_TRUE(m.SignalNoise(1.0, 16.0, 16384, 1.0f, false, I, Q));
    auto bins = Occupied(CentredSpectrum(m, I, Q));
    ASSERT_EQ(bins.size(), 1025u);
    EXPECT_EQ(bins.front(), 7680u);
    EXPECT_EQ(bins.back(), 8704u);
    // A long record (four-step transform) and an odd one (63: half 8,
    // 31.5 - 8 and 31.5 + 8 round to 24 and 40).
    ASSERT_TRUE(m.SignalNoise(4.0, 16.0, 1 << 17, 1.0f, false, I, Q));
    bins = Occupied(CentredSpectrum(m, I, Q));
    EXPECT_EQ(bins.size(), 32769u);
    EXPECT_EQ(bins.front(), 65536u - 16384u);
    ASSERT_TRUE(m.SignalNoise(4.0, 16.0, 63, 1.0f, false, I, Q));
    bins = Occupied(CentredSpectrum(m, I, Q));
    EXPECT_EQ(bins.front(), 24u);
    EXPECT_EQ(bins.back(), 40u);
    EXPECT_EQ(bins.size(), 17u);
    // Wider than the clock: every bin. Narrow enough for half = 0: the one
    // bin length/2, a constant magnitude of 1.
    ASSERT_TRUE(m.SignalNoise(20.0, 16.0, 64, 1.0f, false, I, Q));
    EXPECT_EQ(Occupied(CentredSpectrum(m, I, Q)).size(), 64u);
    ASSERT_TRUE(m.SignalNoise(0.1, 16.0, 64, 1.0f, false, I, Q));
    for (std::size_t k = 0; k < I.size(); ++k)
        EXPECT_NEAR(std::hypot(I[k], Q[k]), 1.0, 1e-15);
}

TEST(NoiseSynthesis, PhasesComeFromTheGeneratorInBinOrder) {
    MathClass m;
    Array I, Q, amp, phase;
    ASSERT_TRUE(m.SignalNoise(4.0, 16.0, 256, 9.0f, false, I, Q));
    UniformRandom::Reset();
    ASSERT_TRUE(m.SignalNoiseFDom(4.0, 16.0, 256, 9.0f, amp, phase));
    Array re, im;
    Analysis::FFT(I, Q, re, im);
    m.FFTFlip(re, im);
    std::size_t occupied = 0;
    for (std::size_t k = 0; k < amp.size(); ++k) {
        if (amp[k] == 0.0) {
            EXPECT_EQ(phase[k], 0.0);
            continue;
        }
        ++occupied;
        EXPECT_NEAR(std::remainder(std::atan2(im[k], re[k]) - phase[k], 2 * std::numbers::pi), 0.0,
                    1e-9);
    }
    EXPECT_EQ(occupied, 65u);
}

TEST(NoiseSynthesis, RefusesWhatItCannotSynthesise) {
    MathClass m;
    Array I{1}, Q{2}, amp{3}, phase{4};
    EXPECT_FALSE(m.SignalNoise(1.0, 0.0, 64, 1.0f, false, I, Q));
    EXPECT_FALSE(m.SignalNoise(1.0, 16.0, 0, 1.0f, false, I, Q));
    EXPECT_FALSE(m.SignalNoise(std::nan(""), 16.0, 64, 1.0f, false, I, Q));
    EXPECT_FALSE(m.SignalNoiseFDom(1.0, -1.0, 64, 1.0f, amp, phase));
    EXPECT_EQ(I, Array{1});
    EXPECT_EQ(amp, Array{3});
    // No bin in the band: a silent record, reported.
    EXPECT_FALSE(m.SignalNoise(-8.0, 16.0, 64, 1.0f, false, I, Q));
    EXPECT_EQ(I, Array(64, 0.0));
}

TEST(UniformRandomGenerator, SeededSequencesInTheUnitInterval) {
    UniformRandom::Reset();
    UniformRandom::Seed(1.5f);
    std::vector<float> first;
    for (int i = 0; i < 10; ++i)
        first.push_back(UniformRandom::Next());
    UniformRandom::Reset();
    UniformRandom::Seed(1.5f);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(UniformRandom::Peek(static_cast<std::uint64_t>(i)),
                  first[static_cast<std::size_t>(i)]);
    UniformRandom::Skip(4);
    EXPECT_EQ(UniformRandom::Next(), first[4]);
    double sum = 0;
    for (int i = 0; i < 100000; ++i) {
        const float r = UniformRandom::Next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        EXPECT_EQ(r * 16777216.0f, std::floor(r * 16777216.0f));
        sum += r;
    }
    EXPECT_NEAR(sum / 100000, 0.5, 0.01);
}

TEST(PnSequence, EveryRegisterLengthIsMaximal) {
    MathClass m;
    EXPECT_EQ(m.PNGetNext(), 0); // never set up
    EXPECT_EQ(m.PNGetNextFloat(-1.0, 1.0), -1.0);
    for (std::int16_t n = 1; n <= 24; ++n) {
        m.PNInit(n);
        const std::int32_t start = m.PNGetNext();
        ASSERT_GT(start, 0);
        std::int64_t period = 1;
        while (m.PNGetNext() != start && period <= (std::int64_t{1} << n))
            ++period;
        EXPECT_EQ(period, (std::int64_t{1} << n) - 1) << "length " << n;
    }
    m.PNInit(3);
    std::set<std::int32_t> values;
    for (int i = 0; i < 7; ++i)
        values.insert(m.PNGetNext());
    EXPECT_EQ(values, (std::set<std::int32_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(PnSequence, IgnoredLengthsScaledAndFloatOutputs) {
    MathClass m;
    m.PNInit(5);
    MathClass copy = m;
    m.PNInit(25);
    m.PNInit(0);
    for (int i = 0; i < 40; ++i) {
        const std::int32_t v = copy.PNGetNext();
        EXPECT_EQ(m.PNGetNext(true), v > 16 ? 1 : 0) << v;
        const std::int32_t w = copy.PNGetNext();
        EXPECT_DOUBLE_EQ(m.PNGetNextFloat(2.0, 4.0), w / 32.0 * 2.0 + 2.0);
    }
}

TEST(CurveSearches, FindFirstAndThresholdSpan) {
    MathClass m;
    bool found = false;
    EXPECT_NEAR(m.SignalFindFirst({0, 1}, 0.5, found), 0.50011111, 1e-8);
    EXPECT_TRUE(found);
    EXPECT_EQ(m.SignalFindFirst({-1, -1}, 0.5, found), 0.0);
    EXPECT_FALSE(found);
    // Stays between 0 and the target: the search gives up instead of running on.
    EXPECT_EQ(m.SignalFindFirst({0.1}, 1.0, found), 0.0);
    EXPECT_FALSE(found);
    EXPECT_EQ(m.SignalFindFirst({std::nan("")}, 1.0, found), 0.0);
    EXPECT_FALSE(found);

    std::int32_t first = -7, last = -7;
    ASSERT_TRUE(m.SignalSchwellDetect({0, 0, 5, 6, 5, 5, 0, 0}, 0.5, first, last));
    EXPECT_EQ(first, 3); // first index above the level, plus one
    EXPECT_EQ(last, 4);  // last index above the level, minus one
    EXPECT_FALSE(m.SignalSchwellDetect({9, 0, 0, 0, 9}, 0.5, first, last)); // only the ends
    EXPECT_FALSE(m.SignalSchwellDetect({1, 2}, 0.5, first, last));
    EXPECT_EQ(first, 3);
}
