// Channel powers and display spectra of the verification stages, on records
// of known tones.

#include "../support/fakes.h"
#include "General.h"
#include "HOx.h"
#include "IEC.h"
#include "Verification.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr int kN = 4096;
constexpr double kRate = 16.0; // MHz

// Tones (MHz offset, amplitude) on exact bins.
void Tones(int slot, const std::vector<std::pair<double, double>>& tones) {
    auto& I = General::SignalStore[std::size_t(slot)];
    auto& Q = General::SignalStore[std::size_t(slot + 1)];
    I.assign(kN, 0.0);
    Q.assign(kN, 0.0);
    for (const auto& [f, a] : tones)
        for (int k = 0; k < kN; ++k) {
            const double w = 2 * M_PI * f / kRate * k;
            I[std::size_t(k)] += a * std::cos(w);
            Q[std::size_t(k)] += a * std::sin(w);
        }
}

struct VerificationTest : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> s{status};
    Verification::State state;
    void SetUp() override {
        HOx::IQSampleRate = std::int32_t(kRate * 1e6);
        General::AnalyzerType = 0;
        General::Window = 0;
        General::Detector = 0;
        General::DetectorParameter = 1;
        General::AnaRefLevel = 0;
        // The reference record's full scale: a generator level read as the
        // peak envelope power of full scale.
        General::ModulatorType = 0;
        General::RFConverterType = 1;
        General::GenRMSLevel = 0;
        General::TestSignalCrest = 10;
        General::ACP = {};
        General::ACP.Channels = 1;
        General::ACP.MainBW = 1;
        General::ACP.UpperBW = {1, 1, 1};
        General::ACP.LowerBW = {1, 1, 1};
        General::ACP.UpperSpace = {2, 4, 6};
        General::ACP.LowerSpace = {2, 4, 6};
        // Main tone, an upper neighbour 20 dB down, a lower one as strong as
        // the main tone, and tones in the ALT bands that one channel ignores.
        Tones(0, {{0.0, 1.0}, {2.0, 0.1}, {-2.0, 1.0}, {4.0, 0.5}, {-6.0, 0.5}});
    }
};

} // namespace

TEST_F(VerificationTest, AdjacentChannelsAreRelativeToTheMainChannelInUseOnly) {
    state.ChannelResult[0].fill(-99);
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    const auto& r = state.ChannelResult[0];
    EXPECT_NEAR(r[4], 20.0, 1e-6) << "a weaker neighbour gives a positive value";
    EXPECT_NEAR(r[2], 0.0, 1e-6) << "a neighbour as strong as the main channel gives 0";
    for (int c : {0, 1, 5, 6})
        EXPECT_EQ(r[std::size_t(c)], -99) << "column " << c << " not in use";

    General::ACP.Channels = 3;
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    EXPECT_NEAR(r[5], 20 * std::log10(1 / 0.5), 1e-6);
    EXPECT_NEAR(r[0], 20 * std::log10(1 / 0.5), 1e-6);
    EXPECT_GT(r[1], 100) << "an empty band lies far below the main channel";

    // A doubled signal: 6 dB more in the main channel, the same relations.
    Tones(2, {{0.0, 2.0}, {2.0, 0.2}, {-2.0, 2.0}, {4.0, 1.0}, {-6.0, 1.0}});
    Verification::ProcessACPData(state, Verification::Mode::Amplifier, 0);
    EXPECT_NEAR(state.ChannelResult[1][3] - r[3], 20 * std::log10(2.0), 1e-6);
    EXPECT_NEAR(state.ChannelResult[1][4], r[4], 1e-6);

    // Settings beyond the table's three pairs are taken as three.
    General::ACP.Channels = 7;
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    EXPECT_NEAR(r[5], 20 * std::log10(1 / 0.5), 1e-6);
}

TEST_F(VerificationTest, OnlyMeasuredStagesWriteRowsAndTheLastVariantHoldsRowTwo) {
    Tones(40, {{0.0, 1.0}});
    Tones(4, {{1.0, 0.001}});
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    const auto before = state.ChannelResult;
    for (long mode : {Verification::Mode::SimAmplifier, Verification::Mode::NoiseFloor}) {
        state.DisplaySpectrum.clear();
        Verification::ProcessACPData(state, mode, 0);
        EXPECT_EQ(state.DisplaySpectrum.size(), size_t(kN)) << mode;
        EXPECT_EQ(state.ChannelResult, before) << mode;
    }
    Tones(20, {{0.0, 1.0}, {2.0, 0.1}});
    Tones(24, {{0.0, 1.0}, {2.0, 0.01}});
    Verification::ProcessACPData(state, Verification::Mode::Predistorted, 0);
    Verification::ProcessACPData(state, Verification::Mode::Predistorted, 2);
    EXPECT_NEAR(state.ChannelResult[2][4], 40.0, 1e-6);
    EXPECT_EQ(Verification::FirstSlot(Verification::Mode::SimPredistorted, 1), 44);
}

TEST_F(VerificationTest, TheHOxTraceLiesHigherWhileChannelPowersStay) {
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    const auto dane = state.DisplaySpectrum;
    const auto rows = state.ChannelResult;
    General::AnalyzerType = 2;
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    ASSERT_EQ(state.DisplaySpectrum.size(), dane.size());
    EXPECT_NEAR(state.DisplaySpectrum[kN / 2] - dane[kN / 2], 13.0103, 1e-9);
    EXPECT_EQ(state.ChannelResult, rows);

    // A detector over groups of 8 shortens the trace.
    General::Detector = 1;
    General::DetectorParameter = 8;
    Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
    EXPECT_EQ(state.DisplaySpectrum.size(), size_t(kN / 8));
}

TEST_F(VerificationTest, MainChannelPowersAreAbsoluteWhateverTheWindow) {
    // Amplitude 1.0 is the generator's full scale in the reference record and
    // the analyzer's reference level in a capture; a tone of amplitude a has
    // the power of its level + 20·log10(a) under every window.
    General::ACP.Channels = 0;
    General::ACP.MainBW = 4;
    General::GenRMSLevel = -20;
    General::AnaRefLevel = 5;
    Tones(0, {{0.25, 1.0}});
    Tones(2, {{-0.125, 0.5}});
    struct Case {
        std::int32_t modulator, converter;
        double reference; // dBm
    };
    for (const Case& c : {Case{0, 1, -20}, Case{2, 2, -20}, Case{1, 1, -10}})
        for (int window = 0; window <= 6; ++window) {
            General::Window = window;
            General::ModulatorType = c.modulator;
            General::RFConverterType = c.converter;
            Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
            Verification::ProcessACPData(state, Verification::Mode::Amplifier, 0);
            EXPECT_NEAR(state.ChannelResult[0][3], c.reference, 0.01)
                << "window " << window << ", modulator " << c.modulator;
            EXPECT_NEAR(state.ChannelResult[1][3], 5 + 20 * std::log10(0.5), 0.01)
                << "window " << window;
        }
}

TEST_F(VerificationTest, AChannelThatCannotBeMeasuredIsNoNumber) {
    General::ACP.Channels = 2;
    struct Case {
        const char* what;
        std::int32_t rate;
        double mainBW, acpUpBW;
        std::vector<int> measured; // columns that hold numbers
    };
    const Case cases[] = {
        {"all fine", 16000000, 1, 1, {1, 2, 3, 4, 5}},
        {"no sampling rate", 0, 1, 1, {}},
        {"main bandwidth 0", 16000000, 0, 1, {}},
        {"main bandwidth no number", 16000000, std::nan(""), 1, {}},
        {"upper ACP bandwidth negative", 16000000, 1, -1, {1, 2, 3, 5}},
    };
    for (const Case& c : cases) {
        HOx::IQSampleRate = c.rate;
        General::ACP.MainBW = c.mainBW;
        General::ACP.UpperBW[0] = c.acpUpBW;
        state.ChannelResult[0].fill(-99);
        Verification::ProcessACPData(state, Verification::Mode::Reference, 0);
        for (int col = 1; col <= 5; ++col) {
            const bool number = std::count(c.measured.begin(), c.measured.end(), col) == 1;
            EXPECT_EQ(std::isfinite(state.ChannelResult[0][std::size_t(col)]), number)
                << c.what << ", column " << col;
        }
    }
}

TEST_F(VerificationTest, ACaptureWithoutAnAnalyzerAbortsTheRun) {
    IEC::Instance().SetAnaVIF(nullptr);
    General::MeasureRunAbort = false;
    General::ApplyAndMeasurement = 0;
    General::SignalStore[20] = {1, 2, 3};
    Verification::GetIQSignal(Verification::Mode::Predistorted, 0);
    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_NE(General::RunErrorText.find("no analyzer"), std::string::npos);
    EXPECT_TRUE(General::SignalStore[20].empty()) << "no stale record from an earlier point";
    General::MeasureRunAbort = false;
}

namespace {
struct RecordingView : Verification::View {
    std::vector<std::string> calls;
    void DisplayACP(long mode, int variant) override {
        calls.push_back("acp " + std::to_string(mode) + "/" + std::to_string(variant));
    }
    void DisplayPlot(int trace) override { calls.push_back("plot " + std::to_string(trace)); }
    void ResetGraph() override { calls.push_back("reset"); }
    void Present() override { calls.push_back("present"); }
    void EnableTraces(const std::array<bool, 3>&) override { calls.push_back("traces"); }
    void Close() override { calls.push_back("close"); }
};
RecordingView* g_view = nullptr;
Verification::View* MakeRecordingView(std::shared_ptr<Verification::State>) {
    return g_view = new RecordingView;
}
} // namespace

TEST_F(VerificationTest, StagesFillThePointAndTheReportSpectraInTheDriversOrder) {
    std::unique_ptr<RecordingView> owned;
    Verification::SetViewMaker(&MakeRecordingView);
    Verification::BeginRun();
    Verification::ShowWindow();
    owned.reset(g_view);
    Tones(2, {{0.0, 1.0}, {2.0, 0.3}});
    Tones(4, {{5.0, 0.001}});
    General::SignalStore[40] = General::SignalStore[2];
    General::SignalStore[41] = General::SignalStore[3];
    SweepPoint point;
    Verification::Reference(point);
    Verification::Amplifier(point);
    EXPECT_NEAR(point.ChannelPower[0][4], 20.0, 1e-6);
    EXPECT_NEAR(point.ChannelPower[1][4], 20 * std::log10(1 / 0.3), 1e-6);
    // The report keeps the reference spectrum, not the noise floor's after it.
    ASSERT_EQ(General::ChannelPowers[0].size(), size_t(kN));
    EXPECT_GT(General::ChannelPowers[0][kN / 2], General::ChannelPowers[0][kN / 2 + 1280] + 50);
    EXPECT_EQ(g_view->calls, (std::vector<std::string>{"present", "reset", "acp 0/0", "plot 0",
                                                       "plot 9", "acp 1/0", "plot 1", "plot 2"}));
    Verification::Run::Forget(g_view);
    Verification::SetViewMaker(nullptr);
    Verification::BeginRun();
}
