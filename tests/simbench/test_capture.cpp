#include "Capture.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <numbers>

using namespace simbench;
using namespace simbench::test;

namespace {

constexpr double Pi = std::numbers::pi;

std::shared_ptr<Waveform> Wave(const std::vector<std::complex<double>>& s) {
    auto w = std::make_shared<Waveform>();
    w->packing = Waveform::Packing::Signed;
    for (const auto& v : s) {
        w->words.push_back(
            static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v.real() * 32767))));
        w->words.push_back(
            static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v.imag() * 32767))));
    }
    return w;
}

std::vector<std::complex<double>> Tone(std::size_t n, double cyclesPerSample,
                                       double amplitude = 0.5) {
    std::vector<std::complex<double>> s(n);
    for (std::size_t k = 0; k < n; ++k)
        s[k] = std::polar(amplitude, 2 * Pi * cyclesPerSample * static_cast<double>(k));
    return s;
}

struct Chain {
    std::shared_ptr<Waveform> wave;
    Amplifier amp;
    SignalPath path;
    CaptureSettings settings;
    BenchModel model;

    Chain(const std::vector<std::complex<double>>& s, AmplifierParams a = QuietConfig().amplifier)
        : wave(Wave(s)), amp(a) {
        path.baseband.wave = wave;
        path.baseband.clockHz = 16e6;
        path.marker = {0, 11};
        path.markerRunning = true;
        path.emitting = true;
        path.levelDbm = -20;
        path.carrierHz = 1e9;
        settings.centerHz = 1e9;
        settings.refLevelDbm = 0;
        settings.attenuationDb = 10;
        settings.iq.rateHz = 16e6;
        settings.iq.bandwidthHz = 20e6; // wider than the rate: no resolution filter
        settings.iq.external = true;
        settings.iq.samples = 200;
        model.amplifier = &amp;
        model.triggerLatency = 1;
        model.danlDbmPerHz = -500;
        model.carrierPhase = 0;
    }
    CaptureData Run(std::uint64_t seed = 1) {
        Rng rng(seed);
        return ComputeCapture(path, settings, model, rng);
    }
    // What the quiet linear chain delivers for waveform sample k, in volts.
    std::complex<double> Expected(long k) const {
        const long n = static_cast<long>(wave->Samples());
        const double gain =
            std::pow(10.0, amp.Params().gainDb / 20) * std::pow(10.0, path.levelDbm / 20);
        return std::sqrt(0.05) * gain * wave->Sample(static_cast<std::size_t>(((k % n) + n) % n));
    }
};

double Power(const CaptureData& d) {
    double p = 0;
    for (std::size_t k = 0; k < d.i.size(); ++k)
        p += d.i[k] * d.i[k] + d.q[k] * d.q[k];
    return p / static_cast<double>(d.i.size());
}

} // namespace

TEST(Capture, ExternalTriggerTimingAndVoltScaling) {
    Chain s(TestSignal(1000));
    auto d = s.Run();
    ASSERT_EQ(d.error, 0);
    ASSERT_EQ(d.i.size(), 200u);
    // Marker edge 0, latency 1, amplifier delay 3: sample j shows waveform j - 2.
    for (long j = 0; j < 200; ++j) {
        EXPECT_NEAR(d.i[static_cast<std::size_t>(j)], s.Expected(j - 2).real(), 1e-6) << j;
        EXPECT_NEAR(d.q[static_cast<std::size_t>(j)], s.Expected(j - 2).imag(), 1e-6) << j;
    }
    // Divided by the voltage of the reference level, amplitude 1 is that level.
    const double d0 = std::sqrt(std::pow(10.0, (s.settings.refLevelDbm - 30) / 10) * 50);
    const double measured = 20 * std::log10(std::abs(std::complex<double>(d.i[2], d.q[2])) / d0);
    EXPECT_NEAR(measured, -20 + 20 + 20 * std::log10(std::abs(s.wave->Sample(0))), 1e-4);

    s.settings.iq.pretrigger = 5;
    d = s.Run();
    EXPECT_NEAR(d.i[0], s.Expected(-7).real(), 1e-6);
    s.settings.iq.pretrigger = 0;
    s.settings.iq.slopePositive = false; // falling edge at sample 11
    d = s.Run();
    EXPECT_NEAR(d.q[0], s.Expected(9).imag(), 1e-6);

    s.settings.family = Family::DANE; // millivolts
    s.settings.iq.slopePositive = true;
    d = s.Run();
    EXPECT_NEAR(d.i[5], 1000 * s.Expected(3).real(), 1e-3);
}

TEST(Capture, FractionalDelayInterpolatesTheWaveform) {
    AmplifierParams a = QuietConfig().amplifier;
    a.delaySamples = 3.25;
    Chain s(Tone(1000, 0.01), a);
    const auto d = s.Run();
    for (long j = 0; j < 200; ++j) {
        const double t = static_cast<double>(j) + 1 - 3.25;
        const std::complex<double> x = std::polar(0.5, 2 * Pi * 0.01 * t);
        const double scale = std::abs(s.Expected(0)) / std::abs(s.wave->Sample(0));
        EXPECT_NEAR(std::abs(std::complex<double>(d.i[static_cast<std::size_t>(j)],
                                                  d.q[static_cast<std::size_t>(j)]) -
                             scale * x),
                    0, 2e-4 * scale)
            << j;
    }
}

TEST(Capture, AmplifierCurvesAreApplied) {
    for (auto model : {AmplifierParams::Model::Rapp, AmplifierParams::Model::Saleh}) {
        AmplifierParams a;
        a.model = model;
        a.gainDb = 20;
        a.psatDbm = 0;
        a.pmDeg = 25;
        a.delaySamples = 0;
        a.noiseFigureDb = -500;
        Chain s(TestSignal(500), a);
        s.path.levelDbm = -10; // drives the amplifier into compression
        s.model.triggerLatency = 0;
        const auto d = s.Run();
        double compressed = 0;
        for (std::size_t j = 0; j < 200; ++j) {
            const auto in = std::sqrt(std::pow(10.0, -1.0)) * s.wave->Sample(j);
            const auto out = std::sqrt(0.05) * s.amp.Apply(in);
            EXPECT_NEAR(d.i[j], out.real(), 1e-6);
            EXPECT_NEAR(d.q[j], out.imag(), 1e-6);
            // Apply agrees with the curves the truth table prints.
            EXPECT_NEAR(std::abs(s.amp.Apply(in)), s.amp.OutputAmplitude(std::abs(in)), 1e-12);
            EXPECT_NEAR(std::arg(s.amp.Apply(in) / in), s.amp.PhaseShift(std::abs(in)), 1e-12);
            compressed = std::max(compressed, 20 * std::log10(10 * std::abs(in) /
                                                              s.amp.OutputAmplitude(std::abs(in))));
        }
        EXPECT_GT(compressed, 1.0);
    }
    Amplifier saleh({AmplifierParams::Model::Saleh, 30, 5, 2, 10, 0, 6, 0});
    const double inSat = 2 * std::pow(10.0, 5.0 / 20) / std::pow(10.0, 30.0 / 20);
    EXPECT_NEAR(20 * std::log10(saleh.OutputAmplitude(inSat)), 5, 1e-9);
    EXPECT_NEAR(saleh.PhaseShift(inSat), 5 * Pi / 180, 1e-12);
    Amplifier rapp;
    EXPECT_NEAR(20 * std::log10(rapp.OutputAmplitude(1e-4) / 1e-4), 30, 1e-6);
    const std::string truth = rapp.TruthTable();
    EXPECT_NE(truth.find("-75.00 -45.0000 30.0000 0.0001\n"), std::string::npos);
    EXPECT_NE(truth.find("# model=rapp gain_db=30 psat_dbm=5"), std::string::npos);
}

TEST(Capture, FiltersRotationAndClipping) {
    // Baseband filter: a tone at 0.3 of the clock is gone, one at 0.01 passes.
    for (double f : {0.01, 0.3}) {
        Chain s(Tone(1000, f));
        s.path.baseband.cutoffIHz = s.path.baseband.cutoffQHz = 1.6e6;
        const double ratio = Power(s.Run()) / std::norm(s.Expected(0));
        EXPECT_NEAR(ratio, f < 0.1 ? 1.0 : 0.0, f < 0.1 ? 0.01 : 1e-4) << f;
    }
    // A variable I amplitude halves I only.
    Chain g(Tone(1000, 0.01));
    g.path.baseband.gainI = 0.5;
    const auto gd = g.Run();
    EXPECT_NEAR(gd.i[10], 0.5 * g.Expected(8).real(), 1e-6);
    EXPECT_NEAR(gd.q[10], g.Expected(8).imag(), 1e-6);
    // The analyzer's resolution filter (2 MHz wide at 16 MHz) keeps 0.02, drops 0.3.
    for (double f : {0.02, 0.3}) {
        Chain s(Tone(1000, f));
        s.settings.iq.bandwidthHz = 2e6;
        const double ratio = Power(s.Run()) / std::norm(s.Expected(0));
        EXPECT_NEAR(ratio, f < 0.1 ? 1.0 : 0.0, f < 0.1 ? 0.02 : 1e-4) << f;
    }
    // 100 kHz between generator and analyzer turns the record.
    Chain r(TestSignal(1000));
    r.settings.centerHz = 1e9 - 1e5;
    const auto rd = r.Run();
    for (long j : {0L, 57L, 199L}) {
        const std::complex<double> got(rd.i[static_cast<std::size_t>(j)],
                                       rd.q[static_cast<std::size_t>(j)]);
        const double turn = std::arg(got / r.Expected(j - 2));
        const double turn0 = std::arg(std::complex<double>(rd.i[0], rd.q[0]) / r.Expected(-2));
        EXPECT_NEAR(
            std::remainder(turn - turn0 - 2 * Pi * 1e5 / 16e6 * static_cast<double>(j), 2 * Pi), 0,
            1e-5);
    }
    // Driven 10 dB above the reference level the envelope is clipped at the headroom.
    Chain c(TestSignal(1000));
    c.settings.refLevelDbm = -20;
    c.model.headroomDb = 3;
    const auto cd = c.Run();
    const double clip = std::sqrt(0.05 * std::pow(10.0, (-20 + 3) / 10.0));
    double peak = 0;
    for (std::size_t k = 0; k < cd.i.size(); ++k)
        peak = std::max<double>(peak, std::hypot(cd.i[k], cd.q[k]));
    EXPECT_NEAR(peak, clip, 1e-6);
}

TEST(Capture, NoiseFloorFollowsTheAttenuation) {
    Chain s(TestSignal(1000));
    s.path.emitting = false;
    s.settings.iq.external = false;
    s.settings.iq.samples = 1 << 15;
    s.model.danlDbmPerHz = -150;
    double last = 0;
    for (double att : {10.0, 20.0}) {
        s.settings.attenuationDb = att;
        const double expected = 0.05 * std::pow(10.0, (-150 + att) / 10) * 16e6;
        const double p = Power(s.Run());
        EXPECT_NEAR(p / expected, 1.0, 0.05) << att;
        if (last > 0) {
            EXPECT_NEAR(p / last, 10.0, 1.0);
        }
        last = p;
    }
}

TEST(Capture, NoDataWithoutTriggerOrWithMismatchedClocks) {
    Chain s(TestSignal(1000));
    s.path.baseband.clockHz = 8e6;
    auto d = s.Run();
    EXPECT_EQ(d.error, -221);
    EXPECT_TRUE(d.i.empty());
    s.settings.iq.external = false; // an immediate capture of the same bench
    EXPECT_EQ(s.Run().error, -221);
    s.path.baseband.clockHz = 16e6;
    s.settings.iq.external = true;
    s.model.triggerUnplugged = true;
    d = s.Run();
    EXPECT_EQ(d.error, 0);
    EXPECT_TRUE(d.i.empty());
    s.model.triggerUnplugged = false;
    s.path.markerRunning = false;
    EXPECT_TRUE(s.Run().i.empty());
    s.path.markerRunning = true;
    s.path.marker = {-1, -1}; // a constant marker has no edge
    EXPECT_TRUE(s.Run().i.empty());
    // With the RF off the clocks do not matter: noise only.
    s.path.emitting = false;
    s.path.baseband.clockHz = 8e6;
    s.settings.iq.external = false;
    EXPECT_EQ(s.Run().i.size(), 200u);
}

TEST(Capture, DeterministicForASeed) {
    AmplifierParams a;
    Chain s(TestSignal(4096), a);
    s.model.danlDbmPerHz = -150;
    s.settings.iq.external = false;
    s.settings.iq.bandwidthHz = 10e6;
    const auto first = s.Run(7);
    const auto again = s.Run(7);
    const auto other = s.Run(8);
    EXPECT_EQ(first.i, again.i);
    EXPECT_EQ(first.q, again.q);
    EXPECT_NE(first.i, other.i);
    // Immediate captures start anywhere: one generator gives different starts.
    Rng rng(3);
    s.model.danlDbmPerHz = -500;
    s.amp = Amplifier(QuietConfig().amplifier);
    const auto one = ComputeCapture(s.path, s.settings, s.model, rng);
    const auto two = ComputeCapture(s.path, s.settings, s.model, rng);
    EXPECT_NE(one.i, two.i);
}
