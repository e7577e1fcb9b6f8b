// Predistorting an external I/Q file onto the simulated bench, the refusals
// that upload nothing, and the debug dump.

#include "../instruments/patient_session.h"
#include "../instruments/simbench_process.h"
#include "../signal/WaveTestSupport.h"
#include "../support/fakes.h"
#include "DSP.h"
#include "General.h"
#include "IEC.h"
#include "PredistortFile.h"
#include "SetHandle.h"
#include "VIF.h"
#include "WVClass.h"

#include <QProcess>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

namespace {

struct PredistortFileTest : ::testing::Test {
    FakeStatus status;
    FakeMessageBox box;
    FakeInputBox input;
    FakeFileDialog files;
    FakeClock clock;
    Services::Scoped<Services::StatusDisplayService> s1{status};
    Services::Scoped<Services::MessageBoxService> s2{box};
    Services::Scoped<Services::InputBoxService> s3{input};
    Services::Scoped<Services::FileDialogService> s4{files};
    Services::Scoped<Services::ClockService> s5{clock};
    TempDir dir;
    std::vector<float> fileI, fileQ;

    void SetUp() override {
        IEC::Instance().SetModSourVIF(nullptr);
        General::DataPresent = true;
        General::AMBeforePM = false;
        General::CurveScale = 1.0;
        // A gentle expansion and a phase rotation growing with amplitude.
        General::AMAMPreCoeff = {0.0, 0.85, 0.0, 0.1};
        General::AMPMPreCoeff = {0.0, 0.0, 0.3};
        General::ModulatorType = 0;
        for (int k = 0; k < 3000; ++k) {
            fileI.push_back(float(0.4 * std::sin(0.013 * k) + 0.2 * std::cos(0.0071 * k)));
            fileQ.push_back(float(0.3 * std::cos(0.011 * k)));
        }
    }
    void TearDown() override { IEC::Instance().SetModSourVIF(nullptr); }
};

// The decoded offset-binary values the bench stored.
std::vector<double> Decoded(const std::string& iqFile) {
    const std::string raw = ReadFile(iqFile);
    std::vector<double> v(raw.size() / 8);
    for (std::size_t k = 0; k < v.size(); ++k)
        std::memcpy(&v[k], raw.data() + 8 * k, 8);
    return v;
}

} // namespace

TEST_F(PredistortFileTest, RefusalsUploadNothingAndSayWhy) {
    const std::string good = WriteIbn(dir, "good.ibn", fileI, fileQ);
    const std::string zero =
        WriteIbn(dir, "zero.ibn", std::vector<float>(100, 0.f), std::vector<float>(100, 0.f));
    WriteFile(dir.File("short.ibn"), IbnBytes(40, 500, 4, 16e6, fileI, {}).substr(0, 400));
    struct Case {
        const char* what;
        bool fit;
        std::vector<std::string> files, answers;
        const char* message; // nullptr: ends quietly
    };
    const std::vector<Case> cases = {
        {"no fit yet", false, {good}, {"2", "X"}, "no predistortion curves yet"},
        {"cancelled file dialog", true, {}, {}, nullptr},
        {"missing file", true, {dir.File("none.ibn")}, {}, nullptr},
        {"truncated file", true, {dir.File("short.ibn")}, {"2", "X"}, "cannot be read"},
        {"all-zero file", true, {zero}, {"2", "X"}, "holds no signal"},
        {"cancelled method", true, {good}, {}, nullptr},
        {"cancelled name", true, {good}, {"2"}, nullptr},
        {"quote in the name", true, {good}, {"2", "A'B"}, "no quotes"},
        {"name too long", true, {good}, {"2", std::string(65, 'N')}, "longer than 64"},
        {"no modulation source", true, {good}, {"2", "FINE"}, "no modulation source"},
    };
    for (const Case& c : cases) {
        box.shown.clear();
        General::DataPresent = c.fit;
        files.answers = c.files;
        input.answers = c.answers;
        PredistortFile::DistExFile_Click();
        if (c.message) {
            ASSERT_EQ(box.shown.size(), 1u) << c.what;
            EXPECT_NE(box.shown[0].find(c.message), std::string::npos)
                << c.what << ": " << box.shown[0];
        } else {
            EXPECT_TRUE(box.shown.empty()) << c.what;
        }
    }
}

TEST_F(PredistortFileTest, TheBenchReceivesTheFilePassedThroughTheInverseModel) {
    TempDir waveforms;
    SimBench bench({"--modsource", "BOXW", "--waveform-dir", waveforms.path.string()});
    ASSERT_TRUE(bench.ready);
    auto vif = std::make_shared<VIF>();
    ASSERT_TRUE(vif->OpenDevice(bench.Resource("modsource"), true, false, 5000));
    MakePatient(*vif);
    IEC::Instance().SetModSourVIF(vif);

    files.answers = {WriteIbn(dir, "ext.ibn", fileI, fileQ, 8e6)};
    input.answers = {"2", "  PREDIST  "};
    PredistortFile::DistExFile_Click();
    EXPECT_TRUE(box.shown.empty()) << box.shown[0];

    // The inverse model by hand: the file scaled to a peak magnitude of 1,
    // each sample of magnitude r brought to 0.85·r + 0.1·r³ and turned
    // counter-clockwise by 0.3·r² rad; the peak sample to 0.95, turned 0.3 rad.
    const std::vector<double> got = Decoded(waveforms.File("PREDIST.iq"));
    ASSERT_EQ(got.size(), 2 * fileI.size());
    std::size_t peak = 0;
    for (std::size_t k = 0; k < fileI.size(); ++k)
        if (std::hypot(fileI[k], fileQ[k]) > std::hypot(fileI[peak], fileQ[peak])) peak = k;
    const double full = std::hypot(fileI[peak], fileQ[peak]);
    auto expected = [&](std::size_t k) {
        const double r = std::hypot(fileI[k], fileQ[k]) / full;
        const double phase = std::atan2(fileQ[k], fileI[k]) + 0.3 * r * r;
        const double amplitude = 0.85 * r + 0.1 * r * r * r;
        return std::pair{amplitude * std::cos(phase), amplitude * std::sin(phase)};
    };
    // Offset binary keeps 14 bits of 32000 steps per full scale.
    const double step = 4.0 / 32000;
    EXPECT_NEAR(got[2 * peak], expected(peak).first, step) << "peak sample, I";
    EXPECT_NEAR(got[2 * peak + 1], expected(peak).second, step) << "peak sample, Q";
    double worst = 0;
    for (std::size_t k = 0; k < fileI.size(); ++k) {
        const auto [i, q] = expected(k);
        worst = std::max({worst, std::abs(got[2 * k] - i), std::abs(got[2 * k + 1] - q)});
    }
    EXPECT_LT(worst, step) << "largest deviation";
    const std::string tags = ReadFile(waveforms.File("PREDIST.tags"));
    EXPECT_NE(tags.find("CLOCK: 8000000"), std::string::npos) << tags;
    EXPECT_NE(tags.find("DATE: 2005-10-25-14:03:07"), std::string::npos) << tags;
    const auto log = bench.Log("modsource");
    EXPECT_NE(std::find(log.begin(), log.end(), "MMEM:LOAD RAM,'PREDIST';*WAI"), log.end());
}

TEST_F(PredistortFileTest, TheDumpRewritesItsFileWithTheNoiseSignal) {
    SetHandle::SetProgramFolder(dir.path.string());
    WriteFile(PredistortFile::DumpFileName(), std::string(100000, 'x'));
    General::SignalType = 1; // a dual tone is selected: the dump is noise all the same
    General::NoiseLength = 1024;
    General::NoiseClock = 16;
    General::NoiseBandwidth = 4;
    General::NoiseSeed = 3;
    std::vector<double> I, Q;
    ASSERT_TRUE(DSP::IntMath().SignalNoise(4, 16, 1024, 3, false, I, Q));
    // What a run left as the test signal is not what the dump writes.
    General::TestSignalI.assign(1024, 0.25);
    General::TestSignalQ.assign(1024, -0.25);
    PredistortFile::DumpIt_Click();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0], "Dump Signal|DONE.");
    const std::string bytes = ReadFile(PredistortFile::DumpFileName());
    ASSERT_EQ(bytes.size(), 8u * 1024) << "an older, longer dump leaves no tail";
    // Every I value, then every Q value, as little-endian single precision.
    int wrong = 0;
    for (std::size_t k = 0; k < 2048; ++k) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * k);
        const std::uint32_t word = b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24;
        wrong += std::bit_cast<float>(word) != float(k < 1024 ? I[k] : Q[k - 1024]);
    }
    EXPECT_EQ(wrong, 0);

    // The content read apart from the program (numpy): a peak magnitude of 1,
    // an RMS as far below it as the crest factor the program states and as
    // noise has, and the power within the 4 MHz band around the carrier at
    // the 16 MHz clock.
    const char* const spectrum = R"(
import sys, numpy as np
d = np.fromfile(sys.argv[1], dtype="<f4").astype(float)
x = d[: d.size // 2] + 1j * d[d.size // 2 :]
p = np.fft.fftshift(np.abs(np.fft.fft(x)) ** 2)
f = (np.arange(x.size) - x.size // 2) * float(sys.argv[2]) / x.size
share = np.cumsum(p) / p.sum()
low, high = f[np.searchsorted(share, 0.005)], f[np.searchsorted(share, 0.995)]
outside = p[np.abs(f) > 2.01e6].sum() / p.sum()
print(np.abs(x).max(), np.sqrt(np.mean(np.abs(x) ** 2)), low, high, outside)
)";
    QProcess python;
    python.start(QUILLON_PYTHON,
                 {"-c", spectrum, QString::fromStdString(PredistortFile::DumpFileName()), "16e6"});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    std::istringstream numbers(python.readAllStandardOutput().toStdString());
    double peak = 0, rms = 0, low = 0, high = 0, outside = 1;
    ASSERT_TRUE(numbers >> peak >> rms >> low >> high >> outside);
    EXPECT_NEAR(peak, 1.0, 1e-6);
    const double crest = 20 * std::log10(peak / rms);
    EXPECT_NEAR(crest, General::TestSignalCrest, 0.01);
    EXPECT_GT(crest, 7.0);
    EXPECT_LT(crest, 13.0);
    // 99 % of the power between these edges; 15.6 kHz bins.
    EXPECT_NEAR(low, -2e6, 50e3);
    EXPECT_NEAR(high, 2e6, 50e3);
    EXPECT_LT(outside, 1e-9);
}
