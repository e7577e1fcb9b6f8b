// The leveling loops against a model amplifier: the levels the generator is
// set to, where the loop stops, and how bad settings, silent captures, the
// power limit, Stop and the meter end it.

#include "../support/fakes.h"
#include "General.h"
#include "Leveling.h"
#include "measurement_fakes.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct LevelingTest : ::testing::Test {
    FakeStatus status;
    FakeBigMessage big;
    RecordingSink sink;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    Services::Scoped<Services::BigMessageService> useBig{big};
    ScopedSink useSink{sink};
    std::vector<double> set; // levels sent to the generator
    double gain = 40;
    double offset = 0; // added to every measured level
    bool silent = false;

    void SetUp() override {
        General::TargetLevel = -10;
        General::GainMeasLev0 = 30;
        General::GainMeasLev1 = 5;
        General::MaximumPeakGeneratorLevel = 25;
        General::ModulatorType = 0;
        General::RFConverterType = 1;
        General::TestSignalCrest = 9;
        General::MeasureRunAbort = false;
    }
    void TearDown() override { General::MeasureRunAbort = false; }

    Leveling::Outcome RunAutomatic() {
        return Leveling::Automatic(
            [this](double level, std::string&) {
                set.push_back(level);
                return true;
            },
            [this](std::string& error) -> std::optional<double> {
                if (silent) {
                    error = "silent";
                    return std::nullopt;
                }
                return set.back() + gain + offset;
            });
    }
};

} // namespace

TEST_F(LevelingTest, StepsTowardsTheTargetByAtMostTheStepSize) {
    struct Case {
        double gain, offset;
        std::vector<double> levels;
    };
    const std::vector<Case> cases = {
        {40, 0, {-45, -50}},           // error 5 is not above the step
        {20, 0, {-45, -40, -35, -30}}, // moves by the step, then the rest
        {35, 0, {-45}},                // on target at once
        {40, 0.0999, {-45, -50}},      // then just inside the tolerance
    };
    for (const Case& c : cases) {
        set.clear();
        gain = c.gain;
        offset = c.offset;
        const auto outcome = RunAutomatic();
        EXPECT_TRUE(outcome.completed) << c.gain;
        ASSERT_EQ(set.size(), c.levels.size()) << c.gain << " " << c.offset;
        for (std::size_t k = 0; k < set.size(); ++k)
            EXPECT_NEAR(set[k], c.levels[k], 1e-9) << c.gain << " step " << k;
    }
}

TEST_F(LevelingTest, AnErrorOfExactlyTheToleranceRunsEveryStepAndMissesTheTarget) {
    General::TargetLevel = 0;
    for (double stuck : {0.1, -0.1, 0.0999}) {
        set.clear();
        sink.lines.clear();
        const auto outcome = Leveling::Automatic(
            [&](double level, std::string&) {
                set.push_back(level);
                return true;
            },
            [&](std::string&) -> std::optional<double> { return stuck; });
        EXPECT_EQ(outcome.completed, stuck == 0.0999) << stuck;
        EXPECT_EQ(set.size(), stuck == 0.0999 ? 1u : 10u) << stuck; // n + 4 steps at most
        EXPECT_EQ(sink.lines.empty(), stuck != 0.0999) << "no result lines for a missed target";
    }
}

TEST_F(LevelingTest, ATargetBeyondTheAmplifierEndsTheLevelingWithItsReason) {
    // An amplifier whose output cannot pass 0 dBm, asked for +10 dBm.
    General::TargetLevel = 10;
    gain = 30;
    const auto outcome = Leveling::Automatic(
        [this](double level, std::string&) {
            set.push_back(level);
            return true;
        },
        [this](std::string&) -> std::optional<double> { return std::min(set.back() + gain, 0.0); });
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(set.size(), 10u);
    EXPECT_EQ(outcome.error, "Leveling did not reach the target of 10.00 dBm within 10 steps: the "
                             "amplifier gave 0.00 dBm at a generator level of 20.00 dBm.");
    EXPECT_TRUE(sink.lines.empty()) << "no gain of a point that was never leveled";
}

TEST_F(LevelingTest, RecordsEachStepAndReportsTheLastOne) {
    ASSERT_TRUE(RunAutomatic().completed);
    ASSERT_EQ(General::LevelOutput.size(), 2u);
    EXPECT_DOUBLE_EQ(General::LevelOutput[0], -5);
    EXPECT_DOUBLE_EQ(General::LevelOutput[1], -10);
    EXPECT_DOUBLE_EQ(General::GenRMSLevel, -50);
    EXPECT_EQ(status.lines, (std::vector<std::string>{"leveling amplifier - 1. step",
                                                      "leveling amplifier - 2. step"}));
    // The model's 40 dB between generator level and output are the gain of
    // the peak envelope power; the input's RMS level lies the crest factor lower.
    EXPECT_EQ(sink.lines,
              (std::vector<std::string>{"DUT Output level=-10.000000", "DUT Gain=49.000000",
                                        "Leveling error (2 steps)=0.000000"}));
}

TEST_F(LevelingTest, TheGainIsFromTheInputRMSLevelAsEachGeneratorReadsItsLevel) {
    struct Case {
        std::int32_t modulator, converter;
        double gain, fullScale; // dB; dBm at a generator level of -50 dBm
    };
    // A VRTA playing its own ARB sets the RMS level; every other pairing the
    // peak envelope power of full scale.
    for (const Case& c : {Case{0, 1, 49, -50}, Case{1, 1, 40, -41}, Case{1, 2, 49, -50},
                          Case{2, 2, 49, -50}, Case{2, 1, 49, -50}}) {
        General::ModulatorType = c.modulator;
        General::RFConverterType = c.converter;
        set.clear();
        ASSERT_TRUE(RunAutomatic().completed);
        EXPECT_DOUBLE_EQ(General::LevelGain.back(), c.gain) << c.modulator << c.converter;
        EXPECT_DOUBLE_EQ(Leveling::FullScaleLevel(-50), c.fullScale) << c.modulator << c.converter;
        EXPECT_DOUBLE_EQ(Leveling::FullScaleLevel(-50) - Leveling::InputRMSLevel(-50), 9);
    }
}

TEST_F(LevelingTest, BadSettingsSilentCapturesAndThePowerLimitEndIt) {
    General::GainMeasLev1 = 0;
    auto outcome = RunAutomatic();
    EXPECT_FALSE(outcome.completed);
    EXPECT_NE(outcome.error.find("step other than 0 dB"), std::string::npos) << outcome.error;
    EXPECT_TRUE(set.empty());
    General::GainMeasLev1 = std::nan("");
    EXPECT_FALSE(RunAutomatic().completed);
    EXPECT_TRUE(set.empty());

    General::GainMeasLev1 = 5;
    silent = true;
    outcome = RunAutomatic();
    EXPECT_EQ(outcome.error, "silent");
    EXPECT_EQ(set.size(), 1u);

    // A dead amplifier: the loop climbs by the step, but never past the limit.
    silent = false;
    set.clear();
    gain = -100;
    General::MaximumPeakGeneratorLevel = -30;
    outcome = RunAutomatic();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(set, (std::vector<double>{-45, -40, -35, -30}));
    EXPECT_EQ(outcome.error, "Leveling would need a generator level of -25.00 dBm, above the "
                             "power limit of -30.00 dBm.");
    // A generator that sets the RMS level: the limit holds its peak.
    set.clear();
    General::ModulatorType = General::RFConverterType = 1;
    outcome = RunAutomatic();
    EXPECT_EQ(set, (std::vector<double>{-45, -40}));
    EXPECT_EQ(outcome.error, "Leveling would need a generator level of -35.00 dBm (a peak envelope "
                             "power of -26.00 dBm), above the power limit of -30.00 dBm.");
    General::ModulatorType = 0;
    // A measured level that is no number is no level.
    set.clear();
    General::MaximumPeakGeneratorLevel = 25;
    gain = std::nan("");
    outcome = RunAutomatic();
    EXPECT_FALSE(outcome.completed);
    EXPECT_FALSE(outcome.error.empty());
    EXPECT_EQ(set.size(), 1u);
}

TEST_F(LevelingTest, StopEndsTheAutomaticLoopWithoutError) {
    gain = 20;
    std::size_t calls = 0;
    const auto outcome = Leveling::Automatic(
        [&](double level, std::string&) {
            set.push_back(level);
            return true;
        },
        [&](std::string&) -> std::optional<double> {
            if (++calls == 2) General::MeasureRunAbort = true;
            return set.back() + gain;
        });
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.error.empty());
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(LevelingTest, ManualLevelingWaitsForOKAndHonoursStopCloseAndDecline) {
    FakeMeter meter;
    ScopedMeter useMeter{meter};
    std::vector<double> levels = {-12, -10.5, -10.05};
    std::size_t next = 0;
    const Leveling::MeasureOutput measure = [&](std::string&) -> std::optional<double> {
        return levels[std::min(next++, levels.size() - 1)];
    };

    meter.okAfter = 3;
    auto outcome = Leveling::Manual(measure);
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(big.shown, (std::vector<std::string>{"Please switch on the IQ to RF converter"}));
    EXPECT_EQ(meter.values, levels);
    EXPECT_EQ(meter.target, -10);
    EXPECT_NEAR(General::LevelGain[0], -0.05, 1e-12);
    EXPECT_EQ(sink.rows, (std::vector<int>{8, 9}));
    EXPECT_EQ(sink.lines[0], "8:-10.050000|-10.000000");
    EXPECT_EQ(meter.begins, 1);
    EXPECT_EQ(meter.ends, 1);

    // Each leveling waits for its own OK.
    next = 0;
    meter.values.clear();
    meter.okAfter = 2;
    EXPECT_TRUE(Leveling::Manual(measure).completed);
    EXPECT_EQ(meter.values.size(), 2u);

    meter.okAfter = 0;
    meter.onValue = [](FakeMeter& m) {
        if (m.values.size() == 4) m.closed = true;
    };
    meter.values.clear();
    outcome = Leveling::Manual(measure);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.error, "Manual leveling was closed before OK.");
    EXPECT_EQ(meter.values.size(), 4u);

    meter.onValue = [](FakeMeter& m) {
        if (m.values.size() == 2) General::MeasureRunAbort = true;
    };
    meter.values.clear();
    outcome = Leveling::Manual(measure);
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.error.empty());
    EXPECT_EQ(meter.values.size(), 2u);
    General::MeasureRunAbort = false;

    meter.onValue = {};
    meter.okAfter = 1;
    sink.decline = {8};
    sink.rows.clear();
    outcome = Leveling::Manual(measure);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(sink.rows, (std::vector<int>{8}));
    EXPECT_EQ(meter.ends, meter.begins);
}
