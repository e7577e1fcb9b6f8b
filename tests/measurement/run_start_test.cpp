// The checks in front of a run: every message in its order, file signals
// measured by their real length, and what the start of a run resets.

#include "IQFileReader.h"
#include "RunStart.h"
#include "run_support.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace {

struct StartChecks : RunFixture {
    // An "ibn" file of n pairs.
    std::string WaveFile(std::int32_t n) {
        const std::string path = dir.path().toStdString() + "/signal.ibn";
        WaveFileHeader h;
        h.HeaderLength = 40, h.PairCount = n, h.Oversampling = 1, h.ClockHz = 16e6;
        std::uint8_t bytes[40];
        h.ToBytes(bytes);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes), 40);
        const std::vector<float> samples(size_t(2 * n), 0.5f);
        out.write(reinterpret_cast<const char*>(samples.data()),
                  std::streamsize(samples.size() * sizeof(float)));
        return path;
    }
};

const char* kRateZero = "Sampling rate is zero! Please select correct value";
const char* kClockZero = "Baseband clock rate is zero! Please select correct value";
const char* kClocksDiffer = "Clock for signal generation and analysis must be equal!";
const char* kNoFile = "Test signal is file, but no file selected!";
const char* kTooLong = "Capture length must be less than test signal length!";
const char* kRBW = "Analyzer RBW filter not supported, please select lower bandwidth";
const char* kASCII = "ASCII test signal files are not supported! Please select another test signal";
const char* kUnreadable = "Test signal file cannot be read! Please select another file";
const char* kNoiseBW = "Noise bandwidth must be above 0 and below the baseband clock rate! Please "
                       "select correct value";
const char* kChannels =
    "ACP channel bandwidths and spacings must be numbers above 0! Please check the ACP setup";

} // namespace

TEST_F(StartChecks, EveryFailingCheckGivesItsMessageInOrder) {
    using namespace General;
    using Lines = std::vector<std::string>;
    struct Case {
        const char* name;
        std::function<void()> set;
        double rateMHz;
        Lines messages;
    };
    const Case cases[] = {
        {"defaults start", [] {}, 16, {}},
        {"rate and clock zero", [] { NoiseClock = 0; }, 0, {kRateZero, kClockZero, kClocksDiffer}},
        {"four in a row",
         [] { NoiseClock = 0, SamplingDepth = NoiseLength + 1; },
         0,
         {kRateZero, kClockZero, kClocksDiffer, kTooLong}},
        {"rate zero", [] {}, 0, {kRateZero, kClocksDiffer}},
        {"clock zero", [] { NoiseClock = 0; }, 16, {kClockZero, kClocksDiffer}},
        {"clocks differ", [] {}, 32, {kClocksDiffer}},
        {"capture as long as the signal", [] { SamplingDepth = NoiseLength; }, 16, {}},
        {"capture one sample longer", [] { SamplingDepth = NoiseLength + 1; }, 16, {kTooLong}},
        {"RBW 10 MHz on HOB", [] { RBW = 10000000; }, 16, {}},
        {"RBW 20 MHz on HOB", [] { RBW = 20000000; }, 16, {kRBW}},
        {"RBW 20 MHz on HOD", [] { RBW = 20000000, AnalyzerType = 3; }, 16, {}},
        {"file without a name", [] { SignalType = 2; }, 16, {kNoFile}},
        {"ASCII file without a name", [] { SignalType = 3; }, 16, {kNoFile, kASCII}},
        {"ASCII file", [] { SignalType = 3, PlenwavePath = "x.txt"; }, 16, {kASCII}},
        {"missing file",
         [] { SignalType = 2, PlenwavePath = "/nonexistent/a.ibn"; },
         16,
         {kUnreadable}},
        {"grid too small for the fit",
         [] { AMPMGrid = 8; },
         16,
         {"A AM/PM fit of order 9 needs 10 curve points, but 8 grid points leave at most 7."}},
        {"frequency step 0",
         [] { FrequencySweep = true, GenFreqStep = 0; },
         16,
         {"Frequency sweep never reaches its stop value! Please check start, step and stop"}},
        // signals that alias or are empty, channels that integrate nothing
        {"noise bandwidth above the clock", [] { NoiseBandwidth = 100; }, 16, {kNoiseBW}},
        {"noise bandwidth at the clock", [] { NoiseBandwidth = 16; }, 16, {kNoiseBW}},
        {"noise bandwidth 0 (typed abc)", [] { NoiseBandwidth = 0; }, 16, {kNoiseBW}},
        {"noise bandwidth just below the clock", [] { NoiseBandwidth = 15.9; }, 16, {}},
        {"tone spacing above the clock",
         [] { SignalType = 1, NoiseBandwidth = 20; },
         16,
         {"Tone spacing must be above 0 and below the baseband clock rate! Please select "
          "correct value"}},
        {"a swept rate reaches the clock",
         [] { RateSweep = true, RateStart = 8, RateStep = 8, RateStop = 16; },
         16,
         {kNoiseBW}},
        {"main channel 0 without predistortion", [] { General::ACP.MainBW = 0; }, 16, {}},
        {"main channel 0 (typed abc)",
         [] { Predistore = true, General::ACP.MainBW = 0; },
         16,
         {kChannels}},
        {"a negative spacing of a used channel",
         [] {
             Predistore = true, General::ACP.Channels = 2, General::ACP.LowerBW = {1, 1, 1},
             General::ACP.UpperBW = {1, 1, 1}, General::ACP.LowerSpace = {5, -10, 0},
             General::ACP.UpperSpace = {5, 10, 0};
         },
         16,
         {kChannels}},
        {"channels beyond the count are not read",
         [] {
             Predistore = true, General::ACP.Channels = 1, General::ACP.LowerBW = {1, 0, 0},
             General::ACP.UpperBW = {1, 0, 0}, General::ACP.LowerSpace = {5, 0, 0},
             General::ACP.UpperSpace = {5, std::nan(""), 0};
         },
         16,
         {}},
        {"an RF generator without a type code",
         [this] { lists.Select(Role::RFGen, "TCPIP0::kli::INSTR", "KLI"); },
         16,
         {"RF generator KLI is not supported! Please select EXTERNAL, VRTA or KLD"}},
        {"a known RF generator", [this] { lists.Select(Role::RFGen, "x", "KLD"); }, 16, {}},
        // levels within what every generator and analyzer family can set
        {"peak limit and target at their highest",
         [] { MaximumPeakGeneratorLevel = 30, TargetLevel = 30; },
         16,
         {}},
        {"peak limit and target at their lowest",
         [] { MaximumPeakGeneratorLevel = -145, TargetLevel = -130; },
         16,
         {}},
        {"peak limit and target beyond",
         [] { MaximumPeakGeneratorLevel = 30.5f, TargetLevel = -130.5f; },
         16,
         {"Peak level limit 30.5 dBm is outside what the RF generators deliver (-145 to +30 "
          "dBm)! Please select correct value",
          "Target RMS level -130.5 dBm is outside what the analyzers measure (-130 to +30 "
          "dBm)! Please select correct value"}},
        {"peak limit below, target above",
         [] { MaximumPeakGeneratorLevel = -146, TargetLevel = 10000; },
         16,
         {"Peak level limit -146 dBm is outside what the RF generators deliver (-145 to +30 "
          "dBm)! Please select correct value",
          "Target RMS level 10000 dBm is outside what the analyzers measure (-130 to +30 "
          "dBm)! Please select correct value"}},
        {"a level that is no number",
         [] { TargetLevel = std::nanf(""); },
         16,
         {"Target RMS level NaN dBm is outside what the analyzers measure (-130 to +30 dBm)! "
          "Please select correct value"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.set();
        EXPECT_EQ(RunStart::Refusals(c.rateMHz), c.messages);
        EXPECT_EQ(SamplingRate, c.rateMHz * 1e6);
    }
}

TEST_F(StartChecks, AFileSignalIsMeasuredByItsOwnLength) {
    using namespace General;
    SignalType = 2;
    PlenwavePath = WaveFile(1000);
    NoiseLength = 1 << 20; // the noise setting says nothing about a file
    SamplingDepth = 1000;
    EXPECT_TRUE(RunStart::Refusals(16).empty());
    SamplingDepth = 1001;
    EXPECT_EQ(RunStart::Refusals(16), std::vector<std::string>{kTooLong});
}

TEST_F(StartChecks, BeginClearsTheRunStateAndRebuildsItsLists) {
    using namespace General;
    MeasureRunAbort = true; // Stop pressed while the last run's end message showed
    RunErrorText = "old";
    DataPresent = true;
    FrequencySweep = true;
    General::ACP.Channels = 0, General::ACP.MainBW = 5;
    status.lines = {"old line"};

    RunStart::Begin();

    EXPECT_FALSE(MeasureRunAbort);
    EXPECT_TRUE(RunErrorText.empty());
    EXPECT_TRUE(MeasureBusy);
    EXPECT_FALSE(DataPresent);
    EXPECT_EQ(SweepPointCount, 2);
    EXPECT_EQ(IntSpan, 5);
    EXPECT_TRUE(status.lines.empty());

    RunStart::EndFinished();
    EXPECT_TRUE(DataPresent);
    EXPECT_FALSE(MeasureBusy);
    RunErrorText = "why";
    EXPECT_EQ(RunStart::AbortedText(), "Measurement aborted.\r\n(why)");
}
