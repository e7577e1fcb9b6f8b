// Instrument initialisation on the simulated bench: the command sequence of
// each bench configuration, the reference lock test and the faults that must
// end the run before the sweep.

#include "Init.h"
#include "run_support.h"

#include <gtest/gtest.h>

namespace {

struct InitTest : RunFixture {};

using Lines = std::vector<std::string>;

// Open (status byte, reset with error poll), reset again, identify.
Lines Connected(Lines then) {
    Lines out = {"*STB?", "*RST;*CLS", "*RST;*WAI", "*IDN?"};
    out.insert(out.end(), then.begin(), then.end());
    return out;
}

struct Configuration {
    const char* name;
    const char* bench;
    int modulator, converter, analyzer, filter, reference;
    std::map<std::string, Lines> logs; // by bench log name
};

} // namespace

TEST_F(InitTest, EachBenchConfigurationReceivesItsSequence) {
    const Configuration configurations[] = {
        {"BOXW, VRTA, HOB; 2.5 MHz filters; references apart",
         "--modsource BOXW --rf VRTA --analyzer HOB",
         0,
         1,
         1,
         2,
         0,
         {{"modsource",
           Connected({"OUTP:I:FILT 2.5MHz", "OUTP:Q:FILT 2.5MHz", "SOUR:ROSC:SOUR INT"})},
          {"rf", Connected({"OUTP:STAT OFF", "SOUR:POW:LIM 25dBm", "*IDN?",
                            "SOUR:DM:IQ:FILT:STAT ON", "SOUR:DM:IQ:FILT:FREQ 2.5MHz",
                            "SOUR:ROSC:SOUR INT", "STAT:QUES:FREQ:COND?"})},
          {"analyzer", Connected({"SENS:ROSC:SOUR INT", "STAT:QUES:FREQ:COND?"})}}},
        {"one VRTA as source and generator, DANE; RF generator is the reference",
         "--modsource VRTA --rf VRTA --analyzer DANE",
         1,
         1,
         0,
         0,
         1,
         {{"modsource+rf",
           Connected({"OUTP:STAT OFF", "SOUR:POW:LIM 25dBm", "*IDN?", "*IDN?",
                      "SOUR:DM:IQ:FILT:STAT OFF", "SOUR:ROSC:SOUR INT", "STAT:QUES:FREQ:COND?"})},
          {"analyzer", Connected({"SENS:ROSC:SOUR EXT", "STAT:QUES:FREQ:COND?"})}}},
        {"one KLD as source and generator, HOD; source is the reference; 25 MHz filter unrealised",
         "--modsource KLD --rf KLD --analyzer HOD",
         2,
         2,
         3,
         6,
         2,
         {{"modsource+rf", Connected({"OUTP:STAT OFF", "SOUR:POW:LIM 25dBm", "*IDN?", "*IDN?",
                                      "SOUR:ROSC:SOUR INT", "STAT:QUES:COND?"})},
          {"analyzer", Connected({"SENS:ROSC:SOUR EXT", "STAT:QUES:FREQ:COND?"})}}},
        {"BOXW, EXTERNAL converter, HOC; external filter; external reference",
         "--modsource BOXW --rf EXTERNAL --analyzer HOC",
         0,
         0,
         2,
         7,
         4,
         {{"modsource", Connected({"OUTP:I:FILT EXT", "OUTP:Q:FILT EXT", "SOUR:ROSC:SOUR EXT"})},
          {"analyzer", Connected({"SENS:ROSC:SOUR EXT", "STAT:QUES:FREQ:COND?"})}}},
    };
    for (const Configuration& c : configurations) {
        SCOPED_TRACE(c.name);
        SimBench bench(Args(c.bench));
        ASSERT_TRUE(bench.ready);
        SelectBench(bench);
        General::ModulatorType = c.modulator, General::RFConverterType = c.converter;
        General::AnalyzerType = c.analyzer, General::IQFilter = std::int16_t(c.filter);
        General::RefSource = c.reference;
        General::MeasureRunAbort = false;

        Init::InitInstruments();

        EXPECT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
        for (const auto& [log, expected] : c.logs)
            EXPECT_EQ(Commands(bench.Log(log)), expected) << log;
        const bool shared = c.modulator != 0 && c.modulator == c.converter;
        EXPECT_EQ(General::ModSourceIsRFSource, shared);
        EXPECT_EQ(IEC::Instance().ModSourVIF() == IEC::Instance().RFSourVIF(), shared);
        EXPECT_EQ(General::AnalyzerID.substr(0, 12), "Korva&Tellin");
        EXPECT_EQ(General::RFSourceID.substr(0, 12),
                  c.converter == 0 ? "External IQ " : "Korva&Tellin");
        // The references settle for a second before they are tested.
        EXPECT_EQ(
            std::count(sleep.sleeps.begin(), sleep.sleeps.end(), std::chrono::milliseconds(1000)),
            1);
        sleep.sleeps.clear();
    }
}

TEST_F(InitTest, UnlockedReferencesAreNamedInOneMessageAndAbort) {
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB --fault unlock=rf "
                        "--fault unlock=analyzer"));
    ASSERT_TRUE(bench.ready);
    SelectBench(bench);

    Init::InitInstruments();

    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_EQ(big.shownWith, Lines{"1|5|Reference unlocked for Analyzer, RF Converter.\r\n"
                                   "Measurement aborted."});
    EXPECT_EQ(General::RunErrorText, "Reference unlocked for Analyzer, RF Converter.");
}

TEST_F(InitTest, AnInstrumentThatFallsSilentIsNamedAsStoppedAnswering) {
    // The analyzer takes its reference command and then falls silent, as a
    // bench whose process was killed.
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB --fault mute=analyzer,9"));
    ASSERT_TRUE(bench.ready);
    SelectBench(bench);

    Init::InitInstruments();

    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_EQ(General::RunErrorText,
              "Analyzer stopped answering: no answer to the reference lock query.");
    EXPECT_TRUE(big.shownWith.empty());
}

TEST_F(InitTest, UnusableSettingsOrInstrumentsAbortWithTheirCause) {
    SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer HOB"));
    ASSERT_TRUE(bench.ready);
    struct Case {
        int modulator, converter, analyzer;
        bool analyzerGone;
        std::string error;
    };
    const std::string dead = "TCPIP0::127.0.0.1::1::SOCKET";
    const Case cases[] = {
        {3, 1, 1, false, "Unknown modulation source type 3."},
        {0, -1, 1, false, "Unknown RF converter type -1."},
        {0, 1, 4, false, "Unknown analyzer type 4."},
        {0, 1, 1, true, "Analyzer at " + dead + " could not be opened."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        SelectBench(bench);
        if (c.analyzerGone) lists.Select(Role::Analyzer, dead);
        General::ModulatorType = c.modulator, General::RFConverterType = c.converter;
        General::AnalyzerType = c.analyzer;
        General::MeasureRunAbort = false, General::RunErrorText.clear();

        Init::InitInstruments();

        EXPECT_TRUE(General::MeasureRunAbort);
        EXPECT_EQ(General::RunErrorText, c.error);
        // Nothing reaches the generators before the analyzer is in order.
        EXPECT_TRUE(bench.Log("modsource").empty());
        EXPECT_TRUE(bench.Log("rf").empty());
    }
}
