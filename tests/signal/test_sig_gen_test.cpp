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

const std::vector<double>& R(const std::string& name) {
    static const auto ref = LoadReference("testsig.txt");
    return ref.at(name);
}

void ExpectNear(const std::vector<double>& got, const std::string& want) {
    ASSERT_EQ(got.size(), R(want).size()) << want;
    for (std::size_t k = 0; k < got.size(); ++k)
        ASSERT_NEAR(got[k], R(want)[k], 1e-12) << want << " [" << k << "]";
}

struct TestSigGenTest : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    WVClass& wv = General::TestSignal();
    void SetUp() override {
        General::AMAMCoeff = R("amam");
        General::AMPMCoeff = R("ampm");
        General::AMAMPreCoeff = R("amampre");
        General::AMPMPreCoeff = R("ampmpre");
        General::CurveScale = R("scale").at(0);
        General::NoiseClock = 16;
        General::NoiseAMUsed = General::NoisePMUsed = true;
    }
};

TEST_F(TestSigGenTest, DualTone) {
    General::NoiseLength = 1000;
    General::NoiseBandwidth = 0.9; // 28.125 periods
    MakeDualToneSignal();
    ExpectNear(General::TestSignalI, "dualI");
    EXPECT_EQ(General::TestSignalQ, std::vector<double>(1000, 0.0));
    EXPECT_NEAR(wv.CrestFactor(), R("dualcrest").at(0), 1e-12);
    EXPECT_EQ(General::TestSignalCrest, static_cast<float>(wv.CrestFactor()));
    EXPECT_EQ(wv.ClockInHz(), 16e6);
    EXPECT_EQ(wv.Samples(), 1000);
    EXPECT_EQ(SignalTag(), "QUIL----");
    EXPECT_EQ(status.lines,
              (std::vector<std::string>{"calculating dual tone signal", "calculating dual-tone...",
                                        "dual tone signal calculated"}));

    // 16384 samples, tones 1 MHz apart: 512 whole periods of 32 samples.
    General::NoiseLength = 16384;
    General::NoiseBandwidth = 1;
    MakeDualToneSignal();
    const auto& I = General::TestSignalI;
    EXPECT_EQ(I[0], 0.0);
    EXPECT_NEAR(I[8], 1.0, 1e-12);
    EXPECT_NEAR(I[16384 - 8], -1.0, 1e-9);
    EXPECT_EQ(*std::max_element(I.begin(), I.end()), 1.0);
}

TEST_F(TestSigGenTest, NoiseIsRepeatableAndDescribed) {
    General::NoiseLength = 4096;
    General::NoiseBandwidth = 4;
    General::NoiseSeed = 3;
    MakeNoiseSignal();
    const auto I = General::TestSignalI, Q = General::TestSignalQ;
    double peak = 0;
    for (std::size_t k = 0; k < I.size(); ++k)
        peak = std::max(peak, std::hypot(I[k], Q[k]));
    EXPECT_NEAR(peak, 1.0, 1e-12);
    MakeNoiseSignal();
    EXPECT_EQ(General::TestSignalI, I);
    EXPECT_EQ(General::TestSignalQ, Q);
    EXPECT_EQ(wv.Samples(), 4096);
    EXPECT_EQ(wv.ClockInHz(), 16e6);
    EXPECT_EQ(General::TestSignalCrest, static_cast<float>(DSP::IntMath().ArrayCrestIQ(I, Q)));
    EXPECT_EQ(wv.CrestFactor(), static_cast<double>(General::TestSignalCrest));
    EXPECT_EQ(SignalTag(), "QUIL----");
    EXPECT_EQ(status.lines.back(), "noise signal calculated");
}

TEST_F(TestSigGenTest, SimulationsAgainstNumpy) {
    const auto& I = R("I");
    const auto& Q = R("Q");
    const char* tags[] = {"QUILAM--", "QUIL--PM", "QUILAMPM"};
    for (int flag = 0; flag < 2; ++flag) {
        General::AMBeforePM = flag == 1;
        const std::string f = std::to_string(flag);
        std::vector<double> Iout, Qout;
        SimulateDUT(I, Q, Iout, Qout);
        ExpectNear(Iout, "dut" + f + "I");
        ExpectNear(Qout, "dut" + f + "Q");
        EXPECT_NEAR(General::DistortedSignalCrest, R("dut" + f + "crest").at(0), 1e-5);
        EXPECT_EQ(SignalTag(), "QUILAM--");
        for (std::int16_t mode = 0; mode < 3; ++mode) {
            const std::string m = f + "m" + std::to_string(mode);
            General::NoiseAMUsed = General::NoisePMUsed = false;
            SimulateDistortion(I, Q, Iout, Qout, mode);
            ExpectNear(Iout, "sim" + m + "I");
            ExpectNear(Qout, "sim" + m + "Q");
            EXPECT_NEAR(General::DistortedSignalCrest, R("sim" + m + "crest").at(0), 1e-5);
            EXPECT_EQ(SignalTag(), "QUIL----"); // the marks are not touched
            DistortTestSignal(I, Q, Iout, Qout, mode);
            ExpectNear(Iout, "pre" + m + "I");
            ExpectNear(Qout, "pre" + m + "Q");
            EXPECT_NEAR(General::DistortedSignalCrest, R("pre" + m + "crest").at(0), 1e-5);
            EXPECT_EQ(SignalTag(), tags[mode]);
        }
    }
    EXPECT_EQ(I, LoadReference("testsig.txt").at("I")); // inputs untouched
}

TEST_F(TestSigGenTest, OtherModesOnlyCopy) {
    std::vector<double> Iout{1, 2}, Qout;
    General::NoiseAMUsed = false;
    SimulateDistortion(R("I"), R("Q"), Iout, Qout, 3);
    EXPECT_EQ(Iout, R("I"));
    EXPECT_EQ(Qout, R("Q"));
    EXPECT_NEAR(General::DistortedSignalCrest, R("inputcrest").at(0), 1e-5);
    DistortTestSignal(R("I"), R("Q"), Iout, Qout, -1);
    EXPECT_EQ(Iout, R("I"));
    EXPECT_EQ(SignalTag(), "QUIL--PM"); // the previous tag stays
    // In place: output and input are the same arrays.
    std::vector<double> i = R("I"), q = R("Q");
    General::AMBeforePM = false;
    SimulateDUT(i, q, i, q);
    ExpectNear(i, "dut0I");
    EXPECT_EQ(status.lines, (std::vector<std::string>{
                                "starting distoring simulation...", "distored simulation finished.",
                                "starting distoring...", "test signal distorted.",
                                "starting DUT simulation...", "DUT simulation finished."}));
}

TEST_F(TestSigGenTest, ExternalFile) {
    TempDir dir;
    General::PlenwavePath = WriteIbn(dir, "sig.ibn", {0.5f, -2.0f, 0.25f}, {0, 0, 1}, 10e6, 2);
    ASSERT_EQ(LoadSimulatedSignal(), 0);
    EXPECT_EQ(General::TestSignalI, (std::vector<double>{0.25, -1.0, 0.125}));
    EXPECT_EQ(General::TestSignalQ, (std::vector<double>{0.0, 0.0, 0.5}));
    EXPECT_EQ(General::WaveHeader.ClockHz, 10e6);
    EXPECT_EQ(wv.ClockInHz(), 16e6); // the configured clock, not the file's
    EXPECT_EQ(wv.Samples(), 3);
    EXPECT_EQ(General::TestSignalCrest, static_cast<float>(wv.CrestFactor()));
    EXPECT_EQ(SignalTag(), "QUIL----");
    EXPECT_FALSE(IQFileReader::IsOpen());
    EXPECT_EQ(status.lines,
              (std::vector<std::string>{"loading PlenWAVE signal", "PlenWAVE signal loaded"}));

    // Files that cannot be read or hold no signal change nothing.
    const auto keepI = General::TestSignalI;
    const float keepCrest = General::TestSignalCrest;
    wv.SetSamples(77);
    const struct {
        std::string path;
        std::int32_t status;
    } bad[] = {{dir.File("missing.ibn"), IQFileReader::StatusNotFound},
               {WriteIbn(dir, "zero.ibn", {0, 0}, {0, 0}, 1e6), NoSignal},
               {WriteIbn(dir, "empty.ibn", {}, {}, 1e6), NoSignal}};
    for (const auto& b : bad) {
        General::PlenwavePath = b.path;
        EXPECT_EQ(LoadSimulatedSignal(), b.status) << b.path;
        EXPECT_EQ(General::TestSignalI, keepI);
        EXPECT_EQ(General::TestSignalCrest, keepCrest);
        EXPECT_EQ(General::WaveHeader.ClockHz, 10e6);
        EXPECT_EQ(wv.Samples(), 77);
        EXPECT_FALSE(IQFileReader::IsOpen());
    }
}

} // namespace
