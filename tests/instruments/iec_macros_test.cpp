// Loading a stored waveform into the modulation source's ARB and setting its
// clock: the exact sequences per generator family on the simulated bench, and
// the catalogue check on a scripted instrument.

#include "../support/fakes.h"
#include "General.h"
#include "IEC.h"
#include "IECMacros.h"
#include "bench.h"
#include "patient_session.h"
#include "simbench_process.h"
#include "waveform_file.h"

#include <gtest/gtest.h>

namespace {

struct Family {
    const char* name;
    int type;
    std::vector<std::string> bench;
    const char* logName;
    const char* uploadAs;
    std::vector<std::string> load;  // the load of "WAVE1", in order
    std::vector<std::string> clock; // the clock of 16 MHz
};

const Family kFamilies[] = {
    {"BOXW",
     0,
     {"--modsource", "BOXW", "--rf", "VRTA"},
     "modsource",
     "WAVE1",
     {"MMEM:CAT?", "MMEM:LOAD RAM,'WAVE1';*WAI", "TRIG:MODE CONT", "ARM;:TRIG;*WAI",
      "OUTP:MARK1:STAT ON", "SYST:ERR?"},
     {"SOUR:CLOCK 16MHZ"}},
    {"VRTA",
     1,
     {"--modsource", "VRTA", "--rf", "VRTA"},
     "modsource+rf",
     "WAVE1",
     {"ARB:WAV:CAT?", "OUTP OFF", "ARB:WAV:SEL 'WAVE1';*WAI", "ARB:SEQ AUTO",
      "ARB:TRIG:OUTP1:MODE 'USER'", "ARB:TRIG:OUTP1:ONT 10", "ARB:TRIG:OUTP1:OFFT 524215",
      "ARB:STAT ON;*WAI", "SYST:ERR?", "OUTP ON"},
     {"ARB:CLOCK 16MHZ", "ARB:CLOCK:SOUR INT"}},
    {"KLD",
     2,
     {"--modsource", "KLD", "--rf", "KLD"},
     "modsource+rf",
     "D:\\WAVE1.WV",
     {"ARB:WAV:CAT?", "OUTP OFF", "ARB:WAV:SEL 'D:\\WAVE1';*WAI", "ARB:SEQ AUTO",
      "SOUR:BB:ARB:STAT ON;*WAI", "SOUR:IQ:STAT ON;*WAI", "OUTP ON"},
     {"ARB:CLOCK 16MHZ", "ARB:CLOCK:SOUR INT"}},
};

struct Macros : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    void TearDown() override {
        IEC::Instance().SetModSourVIF(nullptr);
        General::ModulatorType = 0;
    }
};

// With the error queue polled after every command, each command of the
// sequence is followed by one "SYST:ERR?" exactly when the bench took it.
std::vector<std::string> Polled(const std::vector<std::string>& commands) {
    std::vector<std::string> out;
    for (const std::string& c : commands) {
        out.push_back(c);
        out.push_back("SYST:ERR?");
    }
    return out;
}

} // namespace

TEST_F(Macros, LoadAndClockSequencesOfEachFamilyOnTheBench) {
    for (const Family& f : kFamilies) {
        SCOPED_TRACE(f.name);
        SimBench bench(f.bench);
        ASSERT_TRUE(bench.ready);
        auto vif = std::make_shared<VIF>();
        ASSERT_TRUE(vif->OpenDevice(bench.Resource("modsource")));
        MakePatient(*vif);
        const std::vector<std::complex<double>> wave(64, {0.5, -0.25});
        ASSERT_TRUE(Upload(*vif, f.uploadAs, WaveformFile(wave, f.type == 2, 16000000)));
        vif->ConfigErrorProcessor(true);
        Events events(*vif);
        IEC::Instance().SetModSourVIF(vif);
        General::ModulatorType = f.type;
        status.lines.clear();

        EXPECT_TRUE(IECMacros::LoadARBWaveform(" WAVE1 "));
        EXPECT_TRUE(IECMacros::SetARBClock(16));

        std::vector<std::string> log = bench.Log(f.logName);
        const auto first = std::find(log.begin(), log.end(), f.load.front());
        ASSERT_NE(first, log.end());
        std::vector<std::string> expected = Polled(f.load);
        for (const std::string& line : Polled(f.clock))
            expected.push_back(line);
        // The macro's own error query is polled like every other command.
        EXPECT_EQ(std::vector<std::string>(first, log.end()), expected);
        for (const std::string& e : events.lines)
            EXPECT_NE(e.substr(0, 5), "SCPI|") << e;

        const std::vector<std::string> progress = {
            "checking ARB for existing files...",
            "loading file WAVE1...",
            "file loaded, preparing instrument for startup...",
            "file loaded, initializing trigger...",
            "preparing trigger generator...",
            "WAVE1 loaded and running."};
        EXPECT_EQ(status.lines, progress);
        IEC::Instance().SetModSourVIF(nullptr);
    }
}

TEST_F(Macros, CatalogueIsReadWholeAndMatchedAsSubstring) {
    Bench fake;
    // A full instrument: the file sits far beyond the first 1000 characters.
    std::string listing = "\"";
    for (int k = 0; k < 300; ++k)
        listing += "FILLER" + std::to_string(k) + ".WV,";
    listing += "XLATE.WV\"\n";
    ASSERT_GT(listing.size(), 3000u);
    fake.inst->On("MMEM:CAT?", {listing});
    auto vif = std::make_shared<VIF>();
    ASSERT_TRUE(vif->OpenDevice(fake.Resource()));
    const std::size_t opened = fake.server.Received().size();
    IEC::Instance().SetModSourVIF(vif);
    General::ModulatorType = 0;

    // "LATE" is part of "XLATE.WV": it counts as present.
    EXPECT_TRUE(IECMacros::LoadARBWaveform("LATE"));
    const std::string sent = "MMEM:CAT?\nMMEM:LOAD RAM,'LATE';*WAI\nTRIG:MODE CONT\n"
                             "ARM;:TRIG;*WAI\nOUTP:MARK1:STAT ON\nSYST:ERR?\n";
    ASSERT_TRUE(fake.server.WaitReceived(opened + sent.size()));
    EXPECT_EQ(fake.server.Received().substr(opened), sent);
}

TEST_F(Macros, MissingWaveformIsReportedAndNothingIsSent) {
    Bench fake;
    fake.inst->On("ARB:WAV:CAT?", {"\"OTHER,WAVE2\"\n"});
    auto vif = std::make_shared<VIF>();
    ASSERT_TRUE(vif->OpenDevice(fake.Resource()));
    const std::size_t opened = fake.server.Received().size();
    IEC::Instance().SetModSourVIF(vif);

    for (int type : {1, 2}) {
        General::ModulatorType = type;
        status.lines.clear();
        EXPECT_FALSE(IECMacros::LoadARBWaveform("WAVE1"));
        EXPECT_EQ(status.lines.back(), "FILE WAVE1 NOT FOUND!!!");
        // An empty name is no file, though every catalogue "contains" it.
        EXPECT_FALSE(IECMacros::LoadARBWaveform("  "));
        EXPECT_EQ(status.lines.back(), "FILE  NOT FOUND!!!");
    }
    // Only the catalogue queries went out. A marker command shows that
    // nothing else is on its way.
    vif->WriteString("*CLS", 0);
    const std::string sent = "ARB:WAV:CAT?\nARB:WAV:CAT?\nARB:WAV:CAT?\nARB:WAV:CAT?\n*CLS\n";
    ASSERT_TRUE(fake.server.WaitReceived(opened + sent.size()));
    EXPECT_EQ(fake.server.Received().substr(opened), sent);

    // No modulation source or an unknown family: refused at once.
    General::ModulatorType = 3;
    EXPECT_FALSE(IECMacros::LoadARBWaveform("OTHER"));
    EXPECT_FALSE(IECMacros::SetARBClock(16));
    IEC::Instance().SetModSourVIF(nullptr);
    General::ModulatorType = 1;
    EXPECT_FALSE(IECMacros::LoadARBWaveform("OTHER"));
    EXPECT_FALSE(IECMacros::SetARBClock(16));
}

TEST_F(Macros, ClockNumbersAreWrittenPlain) {
    Bench fake;
    auto vif = std::make_shared<VIF>();
    ASSERT_TRUE(vif->OpenDevice(fake.Resource()));
    const std::size_t opened = fake.server.Received().size();
    IEC::Instance().SetModSourVIF(vif);
    General::ModulatorType = 0;
    EXPECT_TRUE(IECMacros::SetARBClock(0.5));
    General::ModulatorType = 2;
    EXPECT_TRUE(IECMacros::SetARBClock(10.24));
    General::ModulatorType = 1;
    EXPECT_TRUE(IECMacros::SetARBClock(1.0 / 3.0));
    const std::string sent = "SOUR:CLOCK .5MHZ\nARB:CLOCK 10.24MHZ\nARB:CLOCK:SOUR INT\n"
                             "ARB:CLOCK .333333333333333MHZ\nARB:CLOCK:SOUR INT\n";
    ASSERT_TRUE(fake.server.WaitReceived(opened + sent.size()));
    EXPECT_EQ(fake.server.Received().substr(opened), sent);
}
