// Test signals and the simulation of amplifier and predistortion, against
// values numpy computed (tests/data/signal/make_testsig_reference.py).

#include "../support/fakes.h"
#include "DSP.h"
#include "General.h"
#include "IQFileReader.h"
#include "ReferenceData.h"
#include "TestSigGen.h"
#include "WVClass.h"
#include "WaveTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace TestSigGen;

namespace {

const auto& Ref() {
    static const auto ref = LoadReference("testsig.txt");
    return ref;
}
const std::vector<double>& R(const std::string& name) {
    const auto it = Ref().find(name);
    EXPECT_NE(it, Ref().end()) << name;
    static const std::vector<double> none;
    return it == Ref().end() ? none : it->second;
}

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t k = 0; k < got.size(); ++k)
        ASSERT_NEAR(got[k], want[k], 1e-12) << what << " [" << k << "]";
}

struct TestSigGenTest : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};

    void SetUp() override {
        General::AMAMCoeff = R("amam");
        General::AMPMCoeff = R("ampm");
        General::AMAMPreCoeff = R("amampre");
        General::AMPMPreCoeff = R("ampmpre");
        General::CurveScale = R("scale").at(0);
        General::NoiseAMUsed = General::NoisePMUsed = false;
    }
};

TEST_F(TestSigGenTest, DualToneAgainstNumpy) {
    General::NoiseLength = 1000;
    General::NoiseClock = 16;
    General::NoiseBandwidth = 0.9;
    General::NoiseAMUsed = General::NoisePMUsed = true;
    MakeDualToneSignal();
    ExpectNear(General::TestSignalI, R("dualI"), "dual tone");
    EXPECT_EQ(General::TestSignalQ, std::vector<double>(1000, 0.0));
    const double crest = R("dualcrest").at(0);
    EXPECT_EQ(General::TestSignalCrest, static_cast<float>(General::TestSignal().CrestFactor()));
    EXPECT_NEAR(General::TestSignal().CrestFactor(), crest, 1e-12);
    EXPECT_EQ(General::TestSignal().ClockInHz(), 16e6);
    EXPECT_EQ(General::TestSignal().Samples(), 1000);
    EXPECT_EQ(SignalTag(), "QUIL----");
    EXPECT_EQ(status.lines, (std::vector<std::string>{"calculating dual tone signal", "calculating dual-tone...",
                                                      "dual tone signal calculated"}));
}

TEST_F(TestSigGenTest, DualToneOfWholePeriods) {
    // 16384 samples at 16 MHz, tones 1 MHz apart: 512 periods of 32 samples.
    General::NoiseLength = 16384;
    General::NoiseClock = 16;
    General::NoiseBandwidth = 1;
    MakeDualToneSignal();
    const auto& I = General::TestSignalI;
    ASSERT_EQ(I.size(), 16384u);
    EXPECT_EQ(I[0], 0.0);
    double peak = 0;
    for (std::size_t k = 0; k < I.size(); ++k) {
        peak = std::max(peak, std::abs(I[k]));
        if (k + 32 < I.size()) {
            ASSERT_NEAR(I[k + 32], I[k], 1e-9) << k;
        }
    }
    EXPECT_DOUBLE_EQ(peak, 1.0);
    EXPECT_NEAR(I[8], 1.0, 1e-12); // a quarter period in
    EXPECT_EQ(General::TestSignalQ, std::vector<double>(16384, 0.0));
    EXPECT_NEAR(General::TestSignalCrest, 20 * std::log10(std::sqrt(2.0)), 1e-5);
}

TEST_F(TestSigGenTest, NoiseIsRepeatableAndDescribed) {
    General::NoiseLength = 4096;
    General::NoiseClock = 16;
    General::NoiseBandwidth = 4;
    General::NoiseSeed = 3;
    General::NoiseAMUsed = true;
    MakeNoiseSignal();
    const auto I = General::TestSignalI, Q = General::TestSignalQ;
    ASSERT_EQ(I.size(), 4096u);
    double peak = 0;
    for (std::size_t k = 0; k < I.size(); ++k)
        peak = std::max(peak, std::hypot(I[k], Q[k]));
    EXPECT_NEAR(peak, 1.0, 1e-12);
    MakeNoiseSignal();
    EXPECT_EQ(General::TestSignalI, I);
    EXPECT_EQ(General::TestSignalQ, Q);
    General::NoiseSeed = 4;
    MakeNoiseSignal();
    EXPECT_NE(General::TestSignalI, I);

    const WVClass& wv = General::TestSignal();
    EXPECT_EQ(wv.Samples(), 4096);
    EXPECT_EQ(wv.ClockInHz(), 16e6);
    EXPECT_EQ(General::TestSignalCrest,
              static_cast<float>(DSP::IntMath().ArrayCrestIQ(General::TestSignalI, General::TestSignalQ)));
    EXPECT_EQ(wv.CrestFactor(), static_cast<double>(General::TestSignalCrest));
    EXPECT_GT(General::TestSignalCrest, 5.0f); // noise, not a tone
    EXPECT_EQ(SignalTag(), "QUIL----");
    EXPECT_EQ(status.lines.front(), "calculating noise signal");
    EXPECT_EQ(status.lines.back(), "noise signal calculated");
}

TEST_F(TestSigGenTest, SimulationsAgainstNumpy) {
    const auto& I = R("I");
    const auto& Q = R("Q");
    for (int flag = 0; flag < 2; ++flag) {
        General::AMBeforePM = flag == 1;
        const std::string f = std::to_string(flag);
        std::vector<double> Iout, Qout;
        SimulateDUT(I, Q, Iout, Qout);
        ExpectNear(Iout, R("dut" + f + "I"), "DUT I " + f);
        ExpectNear(Qout, R("dut" + f + "Q"), "DUT Q " + f);
        EXPECT_NEAR(General::DistortedSignalCrest, R("dut" + f + "crest").at(0), 1e-5);
        EXPECT_EQ(SignalTag(), "QUILAM--");

        for (std::int16_t mode = 0; mode < 3; ++mode) {
            const std::string m = f + "m" + std::to_string(mode);
            General::NoiseAMUsed = General::NoisePMUsed = false;
            SimulateDistortion(I, Q, Iout, Qout, mode);
            ExpectNear(Iout, R("sim" + m + "I"), "simulated I " + m);
            ExpectNear(Qout, R("sim" + m + "Q"), "simulated Q " + m);
            EXPECT_NEAR(General::DistortedSignalCrest, R("sim" + m + "crest").at(0), 1e-5);
            EXPECT_EQ(SignalTag(), "QUIL----"); // the marks are not touched

            DistortTestSignal(I, Q, Iout, Qout, mode);
            ExpectNear(Iout, R("pre" + m + "I"), "predistorted I " + m);
            ExpectNear(Qout, R("pre" + m + "Q"), "predistorted Q " + m);
            EXPECT_NEAR(General::DistortedSignalCrest, R("pre" + m + "crest").at(0), 1e-5);
            const char* tags[] = {"QUILAM--", "QUIL--PM", "QUILAMPM"};
            EXPECT_EQ(SignalTag(), tags[mode]);
        }
    }
    // The inputs are reference data: compare them with a fresh load.
    EXPECT_EQ(I, LoadReference("testsig.txt").at("I"));
}

TEST_F(TestSigGenTest, ModesBeyondTwoCopyOnly) {
    const auto& I = R("I");
    const auto& Q = R("Q");
    std::vector<double> Iout{1, 2}, Qout;
    General::DistortedSignalCrest = -1;
    General::NoisePMUsed = true;
    SimulateDistortion(I, Q, Iout, Qout, 3);
    EXPECT_EQ(Iout, I);
    EXPECT_EQ(Qout, Q);
    EXPECT_NEAR(General::DistortedSignalCrest, R("inputcrest").at(0), 1e-5);
    DistortTestSignal(I, Q, Iout, Qout, -1);
    EXPECT_EQ(Iout, I);
    EXPECT_EQ(SignalTag(), "QUIL--PM"); // the previous tag stays
    // In place: output and input are the same arrays.
    std::vector<double> i = I, q = Q;
    General::AMBeforePM = false;
    SimulateDUT(i, q, i, q);
    ExpectNear(i, R("dut0I"), "DUT in place");
    EXPECT_EQ(status.lines,
              (std::vector<std::string>{"starting distoring simulation...", "distored simulation finished.",
                                        "starting distoring...", "test signal distorted.",
                                        "starting DUT simulation...", "DUT simulation finished."}));
}

struct LoadTest : TestSigGenTest {
    TempDir dir;
    void SetUp() override {
        TestSigGenTest::SetUp();
        General::NoiseClock = 16;
        General::TestSignalI = {0.5};
        General::TestSignalQ = {-0.5};
        General::TestSignalCrest = 1.5f;
        General::WaveHeader = WaveFileHeader{};
        General::WaveHeader.PairCount = 1;
        WVClass& wv = General::TestSignal();
        wv.SetSamples(1);
        wv.SetClockInHz(5e6);
        wv.SetCrestFactor(1.5);
    }
    // Everything a failed load must leave as it was.
    void ExpectUntouched() {
        EXPECT_EQ(General::TestSignalI, std::vector<double>{0.5});
        EXPECT_EQ(General::TestSignalQ, std::vector<double>{-0.5});
        EXPECT_EQ(General::TestSignalCrest, 1.5f);
        EXPECT_EQ(General::WaveHeader.PairCount, 1);
        EXPECT_EQ(General::TestSignal().Samples(), 1);
        EXPECT_EQ(General::TestSignal().ClockInHz(), 5e6);
        EXPECT_EQ(General::TestSignal().CrestFactor(), 1.5);
        EXPECT_FALSE(IQFileReader::IsOpen());
    }
};

TEST_F(LoadTest, WholeFileNormalisedAtTheConfiguredClock) {
    General::PlenwavePath = WriteIbn(dir, "sig.ibn", {0.5f, -2.0f, 0.25f}, {0.0f, 0.0f, 1.0f}, 10e6, 2);
    General::NoiseAMUsed = true;
    ASSERT_EQ(LoadSimulatedSignal(), 0);
    EXPECT_EQ(General::TestSignalI, (std::vector<double>{0.25, -1.0, 0.125}));
    EXPECT_EQ(General::TestSignalQ, (std::vector<double>{0.0, 0.0, 0.5}));
    EXPECT_EQ(General::WaveHeader.ClockHz, 10e6);
    EXPECT_EQ(General::WaveHeader.Oversampling, 2);
    const WVClass& wv = General::TestSignal();
    EXPECT_EQ(wv.ClockInHz(), 16e6); // the configured clock, not the file's
    EXPECT_EQ(wv.Samples(), 3);
    EXPECT_EQ(wv.CrestFactor(), DSP::IntMath().ArrayCrestIQ(General::TestSignalI, General::TestSignalQ));
    EXPECT_EQ(General::TestSignalCrest, static_cast<float>(wv.CrestFactor()));
    EXPECT_EQ(SignalTag(), "QUIL----");
    EXPECT_FALSE(IQFileReader::IsOpen());
    EXPECT_EQ(status.lines, (std::vector<std::string>{"loading PlenWAVE signal", "PlenWAVE signal loaded"}));
}

TEST_F(LoadTest, UnreadableOrSilentFilesChangeNothing) {
    General::PlenwavePath = dir.File("missing.ibn");
    EXPECT_EQ(LoadSimulatedSignal(), IQFileReader::StatusNotFound);
    ExpectUntouched();
    General::PlenwavePath = WriteIbn(dir, "zero.ibn", {0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(LoadSimulatedSignal(), NoSignal);
    ExpectUntouched();
    General::PlenwavePath = WriteIbn(dir, "empty.ibn", {}, {});
    EXPECT_EQ(LoadSimulatedSignal(), NoSignal);
    ExpectUntouched();
    General::PlenwavePath = dir.File("cut.ibn");
    WriteFile(General::PlenwavePath, IbnBytes(40, 4, 1, 1e6, {1, 2, 3, 4}, {1}));
    EXPECT_EQ(LoadSimulatedSignal(), IQFileReader::StatusTruncated);
    ExpectUntouched();
    EXPECT_EQ(status.lines.back(), "loading PlenWAVE signal");
}

} // namespace
