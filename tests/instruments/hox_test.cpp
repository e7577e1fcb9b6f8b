// Analyzer I/Q capture: the set-up command, the capture sequence per analyzer
// family on the simulated bench, the refusal of unknown triggers, and a
// captured record scaled to the reference level.

#include "../support/fakes.h"
#include "General.h"
#include "HOx.h"
#include "IEC.h"
#include "IECMacros.h"
#include "bench.h"
#include "patient_session.h"
#include "simbench_process.h"
#include "waveform_file.h"

#include <gtest/gtest.h>

namespace {

struct Capture : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    void SetUp() override { Defaults(); }
    void TearDown() override {
        Defaults();
        General::AnaRefLevel = 0;
        IEC::Instance().SetModSourVIF(nullptr);
        General::ModulatorType = 0;
    }
    static void Defaults() {
        HOx::IQSamples = HOx::IQPretrigger = HOx::IQSampleRate = HOx::IQBandwidth = 0;
        HOx::IQTrigSource = 0;
        HOx::IQTrigSlopePos = HOx::IQSyncOn = false;
    }
};

} // namespace

TEST_F(Capture, SetUpCommand) {
    HOx::IQBandwidth = 10000000;
    HOx::IQSampleRate = 16000000;
    HOx::IQTrigSlopePos = true;
    HOx::IQSamples = 16384;
    EXPECT_EQ(HOx::IQSetCommand(1), "TRAC:IQ:SET NORM,10000000Hz,16000000Hz,IMM,POS,0,16384");
    HOx::IQTrigSource = 1;
    HOx::IQTrigSlopePos = false;
    EXPECT_EQ(HOx::IQSetCommand(1), "TRAC:IQ:SET NORM,10000000Hz,16000000Hz,EXT,NEG,0,16384");
    const char* keywords[] = {"IMM", "EXT", "VID", "IFP", "RFP"};
    for (int k = 0; k < 5; ++k) {
        HOx::IQTrigSource = k;
        EXPECT_NE(HOx::IQSetCommand(0).find(std::string(",") + keywords[k] + ",NEG,0,"),
                  std::string::npos);
    }
    for (int bad : {-1, 5, 1000}) {
        HOx::IQTrigSource = bad;
        EXPECT_EQ(HOx::IQSetCommand(0), "") << bad;
    }
}

TEST_F(Capture, UnknownTriggerSourceIsRefusedBeforeAnythingIsSent) {
    Bench fake;
    VIF vif;
    ASSERT_TRUE(vif.OpenDevice(fake.Resource()));
    const std::size_t opened = fake.server.Received().size();
    HOx::IQTrigSource = 5;
    EXPECT_FALSE(HOx::StartIQCapture(vif, 1));
    HOx::IQTrigSource = -1;
    EXPECT_FALSE(HOx::StartIQCapture(vif, 2));
    vif.WriteString("*CLS", 0);
    ASSERT_TRUE(fake.server.WaitReceived(opened + 5));
    EXPECT_EQ(fake.server.Received().substr(opened), "*CLS\n");
}

TEST_F(Capture, SequenceOfEachAnalyzerFamilyOnTheBench) {
    struct Case {
        const char* family;
        int type;
        bool sync;
    };
    for (const Case& c : {Case{"DANE", 0, false}, Case{"HOB", 1, false}, Case{"HOC", 2, true},
                          Case{"HOD", 3, false}}) {
        SCOPED_TRACE(c.family);
        SimBench bench({"--analyzer", c.family});
        ASSERT_TRUE(bench.ready);
        VIF vif;
        ASSERT_TRUE(vif.OpenDevice(bench.Resource("analyzer")));
        MakePatient(vif);
        vif.ConfigErrorProcessor(true);
        Events events(vif);
        HOx::IQBandwidth = c.type == 0 ? 0 : 5000000;
        HOx::IQSampleRate = 8000000;
        HOx::IQSamples = 512;
        HOx::IQTrigSlopePos = true;
        EXPECT_TRUE(HOx::StartIQCapture(vif, c.type));

        std::vector<std::string> expected = {
            "TRAC:IQ ON", "SYST:ERR?",
            "TRAC:IQ:SET NORM," + std::to_string(HOx::IQBandwidth) + "Hz,8000000Hz,IMM,POS,0,512",
            "SYST:ERR?"};
        if (c.sync) {
            expected.push_back("TRAC:IQ:SYNC:STAT OFF");
            expected.push_back("SYST:ERR?");
        }
        for (const char* tail : {"FORM REAL,32", "ABOR;INIT:IMM;*WAI"}) {
            expected.push_back(tail);
            expected.push_back("SYST:ERR?");
        }
        std::vector<std::string> log = bench.Log("analyzer");
        const auto first = std::find(log.begin(), log.end(), "TRAC:IQ ON");
        ASSERT_NE(first, log.end());
        EXPECT_EQ(std::vector<std::string>(first, log.end()), expected);
        for (const std::string& e : events.lines)
            EXPECT_NE(e.substr(0, 5), "SCPI|") << e;

        // The capture waits for the data query.
        std::vector<double> I, Q;
        EXPECT_TRUE(vif.ReadIQArray("TRAC:IQ:DATA?", I, Q, 524288, 1024, -1));
        EXPECT_EQ(I.size(), 512u);
        EXPECT_EQ(Q.size(), 512u);
    }
}

// One command of the sequence failing, with those before and after it going
// through, fails the whole capture.
TEST_F(Capture, AnyFailedCommandFailsTheCapture) {
    for (const char* header : {"TRAC:IQ", "TRAC:IQ:SET", "TRAC:IQ:SYNC", "FORM", "INIT"}) {
        SCOPED_TRACE(header);
        SimBench bench({"--analyzer", "HOC", "--fault", std::string("error=analyzer,") + header});
        ASSERT_TRUE(bench.ready);
        VIF vif;
        ASSERT_TRUE(vif.OpenDevice(bench.Resource("analyzer")));
        MakePatient(vif);
        vif.ConfigErrorProcessor(true, true);
        HOx::IQBandwidth = 5000000;
        HOx::IQSampleRate = 8000000;
        HOx::IQSamples = 512;
        EXPECT_FALSE(HOx::StartIQCapture(vif, 2));
    }
}

TEST_F(Capture, ScaleFactorOfTheReferenceLevel) {
    struct Case {
        double ref;
        int type;
        double d;
    };
    for (const Case& c : {Case{30, 1, 7.0710678}, Case{30, 0, 7071.0678}, Case{-10, 3, 0.070710678},
                          Case{-10, 0, 70.710678}, Case{0, 2, 0.2236068}}) {
        General::AnaRefLevel = c.ref;
        std::vector<double> I = {c.d, -2 * c.d}, Q = {0.5 * c.d};
        HOx::ScaleIQToRefLevel(I, Q, c.type);
        EXPECT_NEAR(I[0], 1.0, 1e-7) << c.ref << " " << c.type;
        EXPECT_NEAR(I[1], -2.0, 1e-7);
        EXPECT_NEAR(Q[0], 0.5, 1e-7);
    }
    std::vector<double> none;
    HOx::ScaleIQToRefLevel(none, none, 1);
    EXPECT_TRUE(none.empty());
}

// A constant full-scale envelope through the external converter (PEP
// -10 dBm) and a linear 20 dB amplifier arrives at 10 dBm: with the
// reference level there, the scaled record is the uploaded sample itself.
TEST_F(Capture, RecordScaledToTheReferenceLevelMatchesTheSignal) {
    struct Case {
        const char* family;
        int type;
        int bandwidth;
    };
    for (const Case& c : {Case{"HOB", 1, 10000000}, Case{"DANE", 0, 0}}) {
        SCOPED_TRACE(c.family);
        SimBench bench(Args(std::string("--modsource BOXW --rf EXTERNAL --analyzer ") + c.family +
                            " --converter-level -10 --amp-gain 20 --amp-psat 200 --amp-pm 0"
                            " --amp-nf -500 --amp-delay 3 --analyzer-danl -500 --carrier-phase 0"));
        ASSERT_TRUE(bench.ready);
        auto source = std::make_shared<VIF>();
        ASSERT_TRUE(source->OpenDevice(bench.Resource("modsource")));
        MakePatient(*source);
        const std::vector<std::complex<double>> wave(1024, {0.8, 0.6});
        ASSERT_TRUE(Upload(*source, "DC.WV", WaveformFile(wave, false, 16000000)));
        IEC::Instance().SetModSourVIF(source);
        General::ModulatorType = 0;
        ASSERT_TRUE(IECMacros::LoadARBWaveform("DC.WV"));

        VIF analyzer;
        ASSERT_TRUE(analyzer.OpenDevice(bench.Resource("analyzer")));
        MakePatient(analyzer);
        ASSERT_TRUE(analyzer.WriteString("DISP:TRAC:Y:RLEV 10DBM", 0));
        General::AnaRefLevel = 10;
        HOx::IQBandwidth = c.bandwidth;
        HOx::IQSampleRate = 16000000;
        HOx::IQSamples = 2048;
        HOx::IQTrigSource = 0;
        HOx::IQTrigSlopePos = true;
        ASSERT_TRUE(HOx::StartIQCapture(analyzer, c.type));
        std::vector<double> I, Q;
        ASSERT_TRUE(analyzer.ReadIQArray("TRAC:IQ:DATA?", I, Q, 524288, 1024, -1));
        ASSERT_EQ(I.size(), 2048u);
        ASSERT_EQ(Q.size(), 2048u);
        // Unscaled, the samples are volts (millivolts for the DANE).
        const double volts = std::hypot(I[100], Q[100]);
        EXPECT_NEAR(c.type == 0 ? volts / 1000 : volts, 0.7071, 1e-3);
        HOx::ScaleIQToRefLevel(I, Q, c.type);
        for (std::size_t k = 0; k < I.size(); ++k) {
            ASSERT_NEAR(I[k], 0.8, 2e-3) << k;
            ASSERT_NEAR(Q[k], 0.6, 2e-3) << k;
        }
        std::string errors;
        EXPECT_FALSE(analyzer.PollErrors(errors)) << errors;
        IEC::Instance().SetModSourVIF(nullptr);
    }
}
