// A whole run on the simulated bench, measured by a cheap stand-in for the
// point measurement: tuning per point, test-signal uploads only when the rate
// changes, the remaining-time estimate, Stop at the abort checks, the faults
// that end a run, and the RF output off at every ending.

#include "DSP.h"
#include "HOx.h"
#include "NumberText.h"
#include "RunDriver.h"
#include "RunProgress.h"
#include "RunStart.h"
#include "SweepList.h"
#include "run_support.h"

#include <gtest/gtest.h>

namespace {

struct DriverTest : RunFixture {
    using Lines = std::vector<std::string>;
    std::vector<std::string> measured; // "<gen MHz>/<level dBm>/<rate MHz>" per point
    Lines remaining;                   // the estimate each point finds
    int stopAt = 0;                    // the point whose measurement presses Stop

    void SetUp() override {
        RunFixture::SetUp();
        ACP::SetMeasureOverride([this] {
            measured.push_back(NumberText::Plain(General::CurGenFreq) + "/" +
                               NumberText::Plain(General::GenRMSLevel) + "/" +
                               NumberText::Plain(General::NoiseBandwidth));
            remaining.push_back(General::RemainingTimeText);
            clock.monotonic += std::chrono::seconds(10);
            if (int(measured.size()) == stopAt) General::MeasureRunAbort = true;
            // What a real point's set-up leaves for the verification's captures.
            HOx::IQSamples = General::SamplingDepth;
            HOx::IQSampleRate = std::int32_t(General::SamplingRate);
            HOx::IQTrigSource = 0;
        });
    }
    // Start to ending as the action window runs it; true when it finished.
    bool Run(const SimBench& bench) {
        SelectBench(bench);
        RunStart::Begin();
        const bool finished = RunStart::Execute();
        if (finished)
            RunStart::EndFinished();
        else
            RunStart::EndAborted();
        return finished;
    }
    static std::string Last(const Lines& log) {
        const Lines c = Commands(log);
        return c.empty() ? std::string() : c.back();
    }
};

} // namespace

TEST_F(DriverTest, ASweepTunesEachPointAndUploadsOnlyWhenTheRateChanges) {
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    General::FrequencySweep = General::LevelSweep = General::RateSweep = true;
    General::GenLevelStart = -10, General::GenLevelStep = 2.5, General::GenLevelStop = -7.5;
    General::FrequencyTranslation = 0.5;

    EXPECT_TRUE(Run(bench)) << General::RunErrorText;

    EXPECT_EQ(measured, (Lines{"1000/-10/1", "1100/-10/1", "1000/-7.5/1", "1100/-7.5/1",
                               "1000/-10/2", "1100/-10/2", "1000/-7.5/2", "1100/-7.5/2"}));
    const Lines analyzer = Commands(bench.Log("analyzer"));
    const Lines tuned(analyzer.end() - 8, analyzer.end());
    for (size_t i = 0; i < tuned.size(); ++i)
        EXPECT_EQ(tuned[i], i % 2 ? "FREQ:CENT 1100 MHz" : "FREQ:CENT 1000 MHz");
    const Lines rf = bench.Log("rf");
    EXPECT_EQ(CountOf(rf, "SOUR:FREQ 1000.5MHz"), 4);
    EXPECT_EQ(CountOf(rf, "SOUR:FREQ 1100.5MHz"), 4);
    EXPECT_EQ(Last(rf), "OUTP:STAT OFF");
    // One upload for each rate, at the first point of its block.
    EXPECT_EQ(CountOf(bench.Log("modsource"), "MMEM:DATA 'QUIL----'"), 2);
    EXPECT_EQ(CountOf(bench.Log("modsource"), "SOUR:CLOCK 16MHZ"), 2);

    // Ten seconds a point: the estimate each later point finds.
    const MathClass& m = DSP::IntMath();
    Lines expected;
    for (int left = 70; left > 0; left -= 10)
        expected.push_back(m.ZeitString(left));
    EXPECT_EQ(Lines(remaining.begin() + 1, remaining.end()), expected);
    EXPECT_EQ(General::RemainingTimeText, "finished.");
    EXPECT_EQ(status.lines.back(), "ready");
    EXPECT_TRUE(General::DataPresent);
    EXPECT_FALSE(General::MeasureBusy);
}

TEST_F(DriverTest, StopEndsTheRunAtTheNextAbortCheckWithTheRFOff) {
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    General::FrequencySweep = true;
    General::GenFreqStep = 50;
    General::DataPresent = true;
    stopAt = 2;

    EXPECT_FALSE(Run(bench));

    EXPECT_EQ(measured.size(), 2u);
    EXPECT_EQ(CountOf(bench.Log("analyzer"), "FREQ:CENT"), 2);
    EXPECT_EQ(Last(bench.Log("rf")), "OUTP:STAT OFF");
    EXPECT_EQ(status.lines.back(), "Measurement Aborted.");
    EXPECT_EQ(RunStart::AbortedText(), "Measurement aborted.\r\n()");
    EXPECT_FALSE(General::DataPresent); // the stores hold half a run
    EXPECT_FALSE(General::MeasureBusy);
    EXPECT_FALSE(General::MeasureRunAbort);
}

TEST_F(DriverTest, BenchFaultsAbortBeforeTheSweepWithTheRFOff) {
    struct Case {
        const char* fault;
        std::string error;
    };
    const Case cases[] = {
        {"--fault unlock=rf", "Reference unlocked for RF Converter."},
        // The analyzer falls silent after its reference command.
        {"--fault mute=analyzer,9",
         "Analyzer stopped answering: no answer to the reference lock query."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SimBench bench(Args(std::string("--modsource BOXW --rf VRTA --analyzer HOB ") + c.fault));
        ASSERT_TRUE(bench.ready);
        measured.clear();

        EXPECT_FALSE(Run(bench));

        EXPECT_EQ(General::RunErrorText, c.error);
        EXPECT_TRUE(measured.empty());
        EXPECT_EQ(CountOf(bench.Log("rf"), "OUTP:STAT OFF"), 2); // at reset and at the end
        EXPECT_EQ(Last(bench.Log("rf")), "OUTP:STAT OFF");
        EXPECT_EQ(CountOf(bench.Log("modsource"), "MMEM:DATA"), 0);
    }
}

TEST_F(DriverTest, AFailedOrRefusedUploadAbortsInsteadOfPlayingAnOlderWaveform) {
    struct Case {
        const char* fault;
        std::string error;
    };
    const Case cases[] = {
        // Whether the cut shows during the transfer or only at the question
        // that follows depends on the socket buffers: either aborts.
        {"drop=modsource",
         "Waveform QUIL---- could not be uploaded (error 1).|"
         "Modulation source stopped answering after waveform QUIL---- was uploaded."},
        {"error=modsource,MMEM:DATA",
         "Waveform QUIL---- was refused by the modulation source (-200,\"Execution error\")."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SimBench bench(
            Args(std::string("--modsource BOXW --rf VRTA --analyzer HOB --fault ") + c.fault));
        ASSERT_TRUE(bench.ready);

        EXPECT_FALSE(Run(bench));

        EXPECT_NE(("|" + c.error + "|").find("|" + General::RunErrorText + "|"), std::string::npos)
            << General::RunErrorText;
        EXPECT_TRUE(measured.empty());
        EXPECT_EQ(CountOf(bench.Log("modsource"), "MMEM:LOAD"), 0);
        EXPECT_EQ(Last(bench.Log("rf")), "OUTP:STAT OFF");
    }
}

TEST_F(DriverTest, PredistortedVariantsAreUploadedAndPlayedInTurn) {
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    using namespace General;
    Predistore = true, VerifyAM = true, VerifyPM = false, VerifyAMPM = true;
    NoiseIAmp = 0.5, NoiseQAmp = 1;
    AMAMOrder = 1, AMPMOrder = 1;
    AMAMPreCoeff = {0, 1}, AMPMPreCoeff = {0, 0.1};
    CurveScale = 1;
    Lines progress;
    RunProgress::SetShowStateHook([&](int step) { progress.push_back(std::to_string(step)); });

    EXPECT_TRUE(Run(bench)) << RunErrorText;
    RunProgress::SetShowStateHook(nullptr);

    const Lines mod = Commands(bench.Log("modsource"));
    EXPECT_EQ(CountOf(mod, "MMEM:DATA"), 3);
    EXPECT_EQ(CountOf(mod, "MMEM:DATA 'QUILAM--'"), 1);
    EXPECT_EQ(CountOf(mod, "MMEM:DATA 'QUILAMPM'"), 1);
    EXPECT_EQ(CountOf(mod, "MMEM:LOAD RAM,'QUILAMPM'"), 1);
    const auto tail = std::find(mod.begin(), mod.end(), "MMEM:LOAD RAM,'QUILAMPM';*WAI");
    ASSERT_NE(tail, mod.end());
    EXPECT_EQ(*(tail - 2), "OUTP:Q:STAT OFF");
    EXPECT_EQ(Lines(mod.end() - 4, mod.end()),
              (Lines{"OUTP:I:STAT VAR", "OUTP:Q:STAT VAR", "OUTP:I:AMPL .5V", "OUTP:Q:AMPL 1V"}));
    EXPECT_EQ(progress, (Lines{"4"}));
    EXPECT_EQ(Last(bench.Log("rf")), "OUTP:STAT OFF");
}

TEST_F(DriverTest, SignalsThatCannotBeBuiltAbortWithoutInstruments) {
    using namespace General;
    struct Case {
        int type;
        std::string path, error;
    };
    const Case cases[] = {
        {2, "/nonexistent/a.ibn",
         "Test signal file /nonexistent/a.ibn could not be read (status 1)."},
        {3, "a.txt", "Test signal type 3 cannot be built."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        SetUp();
        SignalType = std::int16_t(c.type), PlenwavePath = c.path;
        TestSignalI = {1, 2, 3};
        SweepPointCount = BuildSweepList();

        CrossMix::RunMeasurement();

        EXPECT_TRUE(MeasureRunAbort);
        EXPECT_EQ(RunErrorText, c.error);
        EXPECT_TRUE(measured.empty());
    }
    SetUp();
    SweepPoints.clear();
    CrossMix::RunMeasurement();
    EXPECT_TRUE(MeasureRunAbort);
    EXPECT_EQ(RunErrorText, "The sweep has no points.");
}

TEST_F(DriverTest, AVariantTheSourceCannotFindAbortsTheVerification) {
    // The catalogue query fails: no uploaded file can be found to play.
    SimBench bench(
        Args("--modsource BOXW --rf VRTA --analyzer HOB --fault error=modsource,MMEM:CAT?"));
    ASSERT_TRUE(bench.ready);
    using namespace General;
    Predistore = true, VerifyAM = false, VerifyPM = false, VerifyAMPM = true;
    AMAMOrder = 1, AMPMOrder = 1;
    AMAMPreCoeff = {0, 1}, AMPMPreCoeff = {0, 0.1};
    CurveScale = 1;

    EXPECT_FALSE(Run(bench));

    EXPECT_EQ(RunErrorText, "Waveform QUILAMPM not found on the modulation source.");
    EXPECT_EQ(CountOf(bench.Log("modsource"), "MMEM:LOAD"), 0);
    EXPECT_EQ(Last(bench.Log("rf")), "OUTP:STAT OFF");
}
