// The sweep-point list and the run's helpers: nesting order, the values a
// sweep reaches, refused sweep settings and the ACP span.

#include "General.h"
#include "SweepList.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

struct SweepTest : ::testing::Test {
    void SetUp() override {
        using namespace General;
        FrequencySweep = LevelSweep = RateSweep = false;
        GenFreqStart = 1000, GenFreqStep = 100, GenFreqStop = 1100;
        AnaFreqStart = 990, AnaFreqStep = 100, AnaFreqStop = 1090;
        GenLevelStart = -10, GenLevelStep = 1, GenLevelStop = 0;
        AnaLevelStart = -12, AnaLevelStep = 1, AnaLevelStop = 0;
        RateStart = 1, RateStep = 1, RateStop = 2;
        NoiseBandwidth = 3.84;
    }
    struct Point {
        double freq, level, rate;
    };
    static std::vector<Point> Points() {
        std::vector<Point> out;
        for (size_t i = 1; i < General::SweepPoints.size(); ++i) {
            const SweepPoint& p = General::SweepPoints[i];
            EXPECT_EQ(p.GenFreq, p.AnaFreq);
            EXPECT_EQ(p.GenLevel, p.AnaLevel);
            out.push_back({p.GenFreq, p.GenLevel, p.Rate});
        }
        return out;
    }
};

bool operator==(const SweepTest::Point& a, const SweepTest::Point& b) {
    return a.freq == b.freq && a.level == b.level && a.rate == b.rate;
}
void PrintTo(const SweepTest::Point& p, std::ostream* os) {
    *os << "(" << p.freq << ", " << p.level << ", " << p.rate << ")";
}

} // namespace

TEST_F(SweepTest, NoSweepIsOnePointWithTheAnalyzerSideSettings) {
    EXPECT_EQ(General::BuildSweepList(), 1);
    ASSERT_EQ(General::SweepPoints.size(), 2u);
    const SweepPoint& p = General::SweepPoints[1];
    EXPECT_EQ(p.GenFreq, 1000);
    EXPECT_EQ(p.AnaFreq, 990);
    EXPECT_EQ(p.GenLevel, -10);
    EXPECT_EQ(p.AnaLevel, -12);
    EXPECT_EQ(p.Rate, 3.84);
}

TEST_F(SweepTest, SweepsNestRateOutermostAndFrequencyInnermost) {
    using namespace General;
    FrequencySweep = RateSweep = true;
    GenFreqStep = 50;
    GenLevelStart = 5, GenLevelStop = 0; // off: its start alone, whatever the stop
    EXPECT_EQ(BuildSweepList(), 6);
    EXPECT_EQ(
        Points(),
        (std::vector<Point>{
            {1000, 5, 1}, {1050, 5, 1}, {1100, 5, 1}, {1000, 5, 2}, {1050, 5, 2}, {1100, 5, 2}}));
    for (size_t i = 1; i < SweepPoints.size(); ++i)
        for (const auto& row : SweepPoints[i].ChannelPower)
            for (double v : row)
                EXPECT_EQ(v, 0);

    LevelSweep = true, FrequencySweep = RateSweep = false;
    GenLevelStart = -2, GenLevelStep = 1, GenLevelStop = 0;
    EXPECT_EQ(BuildSweepList(), 3);
    EXPECT_EQ(Points(), (std::vector<Point>{{1000, -2, 3.84}, {1000, -1, 3.84}, {1000, 0, 3.84}}));
}

TEST_F(SweepTest, ValueListsKeepTheirStopValue) {
    struct Case {
        double start, step, stop;
        size_t count;
        double last;
    };
    const Case cases[] = {
        {1000, 100, 1100, 2, 1100},
        {1100, -50, 1000, 3, 1000},
        {0, 0.1, 1, 11, 1},
        {0.7, 0.1, 1.0, 4, 1.0},
        {5, 1, 5, 1, 5},
        {1000, 30, 1100, 4, 1090},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " step " + std::to_string(c.step));
        const std::vector<double> v = General::SweepValues(c.start, c.step, c.stop);
        ASSERT_EQ(v.size(), c.count);
        EXPECT_DOUBLE_EQ(v.back(), c.last);
        EXPECT_EQ(v.front(), c.start);
    }
}

TEST_F(SweepTest, SweepsThatCannotEndAreRefusedAndBuildNothing) {
    using namespace General;
    struct Case {
        bool* on;
        double *step, *stop;
        double stepValue, stopValue;
        const char* fault;
    };
    const Case cases[] = {
        {&FrequencySweep, &GenFreqStep, &GenFreqStop, 0, 1100,
         "Frequency sweep never reaches its stop value! Please check start, step and stop"},
        {&LevelSweep, &GenLevelStep, &GenLevelStop, -1, 0,
         "Level sweep never reaches its stop value! Please check start, step and stop"},
        {&RateSweep, &RateStep, &RateStop, 0.5, 0.5,
         "Rate sweep never reaches its stop value! Please check start, step and stop"},
        {&FrequencySweep, &GenFreqStep, &GenFreqStop, 1e-9, 1e9,
         "Sweep has too many points! Please use fewer"},
    };
    for (const Case& c : cases) {
        SetUp();
        *c.on = true, *c.step = c.stepValue, *c.stop = c.stopValue;
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(SweepSettingsFault());
        EXPECT_EQ(*SweepSettingsFault(), c.fault);
        EXPECT_EQ(BuildSweepList(), 0);
        EXPECT_TRUE(SweepPoints.empty());
    }
}

TEST_F(SweepTest, ACPSpanAndMixerAttenuation) {
    using namespace General;
    ACP = ACPSettings{};
    ACP.MainBW = 3.84;
    EXPECT_EQ(GetACPSpan(), 3.84);
    ACP.Channels = 2;
    ACP.LowerBW = {1, 3.84, 1};
    ACP.UpperBW = {1, 3.84, 1};
    ACP.LowerSpace = {5, 10, 15};
    ACP.UpperSpace = {5, 10, 15};
    EXPECT_DOUBLE_EQ(GetACPSpan(), 23.84);
    ACP.Channels = 3;
    EXPECT_DOUBLE_EQ(GetACPSpan(), 31);

    MixerOpt = {-20, -20, -15, -15};
    const std::tuple<long, float, short> attenuations[] = {
        {3, -10, 5},
        {0, -17.5f, 2},
        {0, -16.5f, 4},
        // below the optimum mixer level no attenuation (the analyzer refuses
        // "INP:ATT -10dB"), far above it the attenuator's most
        {1, -30, 0},
        {3, -15.5f, 0},
        {2, 60, 75},
        {2, 1e30f, 75},
        {7, -200, 0}};
    for (const auto& [family, level, dB] : attenuations)
        EXPECT_EQ(MixerLevelDelta(family, level), dB) << family << " " << level;
}
