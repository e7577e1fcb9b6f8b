// One sweep point measured on the simulated bench: a noise test signal played
// through the external converter, the amplifier and the analyzer, captured
// over the real socket path, then aligned and fitted. The fitted AM/AM and
// AM/PM must match the bench's truth table over the top 20 dB of input power,
// and the delay found the amplifier's delay as the capture sees it. A dual
// tone whose delay leaves it too few levels gives true points and a refusal.

#include "../instruments/bench_truth.h"
#include "../instruments/patient_session.h"
#include "../instruments/simbench_process.h"
#include "../instruments/waveform_file.h"
#include "../support/fakes.h"
#include "CurveProcessing.h"
#include "DSP.h"
#include "General.h"
#include "HOx.h"
#include "IEC.h"
#include "IECMacros.h"
#include "TestSigGen.h"

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <numbers>

namespace {

constexpr int kSamples = 32768;
constexpr double kLevel = -22;  // converter full scale, peak envelope power dBm
constexpr double kRefLevel = 6; // analyzer reference level dBm

struct PointResult {
    bool measured = false;
    double delay = 0;                            // samples, output behind the reference
    double worstGainDb = 0;                      // largest |fitted - true| gain over the top 20 dB
    double worstPhaseDeg = 0;                    // the same for the phase, constant offset removed
    int rows = 0;                                // truth rows compared
    double compressionDb = 0, phaseSwingDeg = 0; // what the truth spans over them
};

struct CurveBench : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    QTemporaryDir dir;

    void SetUp() override {
        General::MeasureRunAbort = false;
        General::NoiseLength = kSamples;
        General::NoiseClock = 16;
        General::NoiseBandwidth = 1;
        General::NoiseSeed = 5;
        TestSigGen::MakeNoiseSignal();
        General::SamplingRate = 16e6;
        General::SamplingDepth = kSamples;
        General::AMAMGrid = General::AMPMGrid = 50;
        General::AMAMOrder = General::AMPMOrder = 9;
        General::AMAMLowIgn = General::AMAMLowSet = false;
        General::AMPMLowIgn = General::AMPMLowSet = false;
        General::ModulatorType = 0;
        General::AnaRefLevel = kRefLevel;
    }
    void TearDown() override {
        IEC::Instance().SetModSourVIF(nullptr);
        General::ModulatorType = 0;
        General::AnaRefLevel = 0;
    }

    std::string TruthFile() const { return dir.filePath("truth.txt").toStdString(); }

    // Plays the test signal on a bench with the given amplifier options,
    // captures the output on the external trigger and processes the point.
    PointResult Measure(const std::string& amplifier) {
        PointResult r;
        if (!Capture(amplifier)) return r;
        EXPECT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
        if (General::MeasureRunAbort) return r;
        r.measured = true;
        r.delay = -(General::CoarseLag + General::TimingError);
        Compare(ReadTruth(TruthFile()), r);
        return r;
    }

    // The capture and the processing of the point, whatever its ending;
    // false when the bench gave no capture.
    bool Capture(const std::string& amplifier) {
        SimBench bench(Args("--modsource BOXW --rf EXTERNAL --analyzer HOB --converter-level " +
                            std::to_string(kLevel) + " --truth-file " + TruthFile() + " " +
                            amplifier));
        EXPECT_TRUE(bench.ready);
        if (!bench.ready) return false;
        auto source = std::make_shared<VIF>();
        EXPECT_TRUE(source->OpenDevice(bench.Resource("modsource")));
        MakePatient(*source);
        std::vector<std::complex<double>> wave(kSamples);
        for (int k = 0; k < kSamples; ++k)
            wave[static_cast<std::size_t>(k)] = {General::TestSignalI[static_cast<std::size_t>(k)],
                                                 General::TestSignalQ[static_cast<std::size_t>(k)]};
        EXPECT_TRUE(Upload(*source, "NOISE.WV", WaveformFile(wave, false, 16000000)));
        IEC::Instance().SetModSourVIF(source);
        EXPECT_TRUE(IECMacros::LoadARBWaveform("NOISE.WV"));

        VIF analyzer;
        EXPECT_TRUE(analyzer.OpenDevice(bench.Resource("analyzer")));
        MakePatient(analyzer);
        analyzer.WriteString("DISP:TRAC:Y:RLEV " + std::to_string(kRefLevel) + "DBM", 0);
        HOx::IQBandwidth = 10000000;
        HOx::IQSampleRate = 16000000;
        HOx::IQSamples = kSamples;
        HOx::IQTrigSource = 1;
        HOx::IQTrigSlopePos = true;
        EXPECT_TRUE(HOx::StartIQCapture(analyzer, 1));
        std::vector<double> I, Q;
        EXPECT_TRUE(analyzer.ReadIQArray("TRAC:IQ:DATA?", I, Q, 524288, 1024, -1));
        EXPECT_EQ(I.size(), static_cast<std::size_t>(kSamples));
        if (I.size() != static_cast<std::size_t>(kSamples)) return false;
        HOx::ScaleIQToRefLevel(I, Q, 1);

        auto& store = General::SignalStore;
        store[0] = General::TestSignalI;
        store[1] = General::TestSignalQ;
        store[2] = I;
        store[3] = Q;
        CurveProcessing::Process();
        return true;
    }

    // The fitted curves as absolute gain and phase against input power: the
    // reference amplitude 1 is the converter level, the output amplitude 1
    // (before the gain normalisation g) the reference level.
    static void Compare(const std::vector<TruthRow>& truth, PointResult& r) {
        const auto& store = General::SignalStore;
        double g = 0, peak = 0;
        for (std::size_t k = 0; k < store[0].size(); ++k) {
            peak = std::max(peak, std::hypot(store[0][k], store[1][k]));
            if (g == 0 && General::OutputAmplitude[k] > 0.1)
                g = std::hypot(store[2][k], store[3][k]) / General::OutputAmplitude[k];
        }
        const MathClass& math = DSP::IntMath();
        const double top = kLevel + 20 * std::log10(peak);
        std::vector<double> phaseError;
        double gainLow = 0, phaseLow = 0;
        for (const TruthRow& t : truth) {
            if (t.pin < top - 20 || t.pin > top) continue;
            if (r.rows++ == 0) {
                gainLow = t.gain;
                phaseLow = t.phase;
            }
            r.compressionDb = gainLow - t.gain;
            r.phaseSwingDeg = t.phase - phaseLow;
            const double x = std::pow(10.0, (t.pin - kLevel) / 20);
            const double gain =
                kRefLevel - kLevel + 20 * std::log10(g * math.PolyCalc(General::AMAMCoeff, x) / x);
            r.worstGainDb = std::max(r.worstGainDb, std::abs(gain - t.gain));
            phaseError.push_back(math.PolyCalc(General::AMPMCoeff, x) * 180 / std::numbers::pi -
                                 t.phase);
        }
        double offset = 0;
        for (double e : phaseError)
            offset += e / static_cast<double>(phaseError.size());
        for (double e : phaseError)
            r.worstPhaseDeg = std::max(r.worstPhaseDeg, std::abs(e - offset));
    }
};

} // namespace

TEST_F(CurveBench, RappAndSalehCurvesMatchTheTruth) {
    struct Case {
        const char* amplifier;
    };
    for (const Case& c : {Case{"--amp-model rapp --trigger-latency 0"},
                          Case{"--amp-model saleh --trigger-latency 0"}}) {
        SCOPED_TRACE(c.amplifier);
        const PointResult r = Measure(c.amplifier);
        ASSERT_TRUE(r.measured);
        EXPECT_NEAR(r.delay, 3.37, 0.1);
        // The comparison spans a strongly compressed, phase-turning range.
        EXPECT_GE(r.rows, 79);
        EXPECT_GT(r.compressionDb, 1.0);
        EXPECT_GT(r.phaseSwingDeg, 3.0);
        EXPECT_LT(r.worstGainDb, 0.2);
        EXPECT_LT(r.worstPhaseDeg, 2.0);
        std::printf("%s: delay %.4f samples, AM/AM within %.4f dB, AM/PM within %.4f deg "
                    "(truth: %.2f dB compression, %.2f deg AM/PM)\n",
                    c.amplifier, r.delay, r.worstGainDb, r.worstPhaseDeg, r.compressionDb,
                    r.phaseSwingDeg);
    }
}

// The capture starts trigger-latency samples after the waveform's start, so
// the delay seen is the amplifier's minus the latency, taken modulo the
// cyclic record: whole, fractional, leading (negative, through the wrap) and
// beyond half the record (folded to a lead).
TEST_F(CurveBench, DelayFoundIsTheBenchDelay) {
    struct Case {
        const char* options;
        double seen;
    };
    for (const Case& c : {Case{"--amp-delay 12 --trigger-latency 0", 12},
                          Case{"--amp-delay 3.37 --trigger-latency 1", 2.37},
                          Case{"--amp-delay 3.37 --trigger-latency 5", -1.63},
                          Case{"--amp-delay 0.5 --trigger-latency 3", -2.5},
                          Case{"--amp-delay 20000.25 --trigger-latency 0", 20000.25 - kSamples}}) {
        SCOPED_TRACE(c.options);
        const PointResult r = Measure(c.options);
        ASSERT_TRUE(r.measured);
        EXPECT_NEAR(r.delay, c.seen, 0.1);
        EXPECT_NEAR(General::GroupDelay, c.seen / 16e6 * 1e9, 0.1 / 16e6 * 1e9);
    }
}

// A dual tone of 32 samples per beat whose delay is a whole or half number
// of samples meets the amplifier at only eight levels, the same at every
// beat. Its points are the amplifier's: each gridded AM/AM point has the
// truth's gain and the AM/PM points its shape. The fit of order 9 is refused
// with a text that says what helps.
TEST_F(CurveBench, ADualToneAtAWholeOrHalfSampleDelayGivesTrueButTooFewPoints) {
    for (const char* options :
         {"--amp-delay 3 --trigger-latency 1", "--amp-delay 3.5 --trigger-latency 1"}) {
        SCOPED_TRACE(options);
        General::MeasureRunAbort = false;
        TestSigGen::MakeDualToneSignal();
        ASSERT_TRUE(Capture(options));
        EXPECT_TRUE(General::MeasureRunAbort);
        EXPECT_EQ(General::RunErrorText,
                  "The AM/AM fit of order 9 needs 10 curve points; the measurement gave 8. The "
                  "test signal met the amplifier at too few levels (a dual tone does when its "
                  "delay is a whole or half number of samples): lower the polynom order "
                  "(Settings, Options ...) or measure with band limited noise.");
        const auto& store = General::SignalStore;
        // The normalised output amplitude 1 in volts of the capture.
        double g = 0;
        for (std::size_t k = 0; k < store[0].size() && g == 0; ++k)
            if (General::OutputAmplitude[k] > 0.1)
                g = std::hypot(store[2][k], store[3][k]) / General::OutputAmplitude[k];
        const std::vector<TruthRow> truth = ReadTruth(TruthFile());
        ASSERT_GT(truth.size(), 2u);
        // The truth between its rows of 0.25 dB.
        const auto at = [&truth](double pin, double TruthRow::*field) {
            for (std::size_t k = 1; k < truth.size(); ++k)
                if (truth[k].pin >= pin) {
                    const double w = (pin - truth[k - 1].pin) / (truth[k].pin - truth[k - 1].pin);
                    return truth[k - 1].*field * (1 - w) + truth[k].*field * w;
                }
            return std::nan("");
        };
        ASSERT_EQ(store[30].size(), 8u);
        int compared = 0;
        for (std::size_t i = 0; i < store[30].size(); ++i) {
            const double x = store[30][i], y = store[31][i];
            if (x < 0.05) continue; // the zero crossings: noise alone
            const double pin = kLevel + 20 * std::log10(x);
            const double gain = kRefLevel - kLevel + 20 * std::log10(g * y / x);
            EXPECT_NEAR(gain, at(pin, &TruthRow::gain), 0.05) << "dB at " << pin << " dBm";
            ++compared;
        }
        EXPECT_GE(compared, 7);
        // The AM/PM points carry the mean phase difference off: their shape is
        // the truth's.
        ASSERT_GE(store[32].size(), 7u);
        std::vector<double> error;
        for (std::size_t i = 0; i < store[32].size(); ++i)
            error.push_back(store[33][i] * 180 / std::numbers::pi -
                            at(kLevel + 20 * std::log10(store[32][i]), &TruthRow::phase));
        const auto [low, high] = std::minmax_element(error.begin(), error.end());
        EXPECT_LT(*high - *low, 0.2) << "degrees";
    }
}
