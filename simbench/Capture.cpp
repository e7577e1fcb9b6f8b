#include "Capture.h"

#include "Scpi.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace simbench {

namespace {

// Half length of a FIR for a cutoff (fraction of the sample rate): the
// transition band of the Kaiser window narrows with the length.
int HalfLength(double cutoff) {
    return static_cast<int>(std::clamp(std::ceil(4.0 / cutoff), 16.0, 1024.0));
}

double Relative(double cutoffHz, double rate) {
    return cutoffHz > 0 ? cutoffHz / rate : 0.5;
}

} // namespace

CaptureData ComputeCapture(const SignalPath& path, const CaptureSettings& settings,
                           const BenchModel& model, Rng& rng) {
    CaptureData out;
    const Amplifier& amp = *model.amplifier;
    const double fs = settings.iq.rateHz;
    const long m = settings.iq.samples;
    const auto& wave = path.baseband.wave;
    const bool signal = path.emitting && wave && wave->Samples() > 0;
    const bool clocksDiffer = signal && std::fabs(path.baseband.clockHz - fs) >
                                            1e-9 * std::max(fs, path.baseband.clockHz);

    long start = 0;
    if (settings.iq.external) {
        if (model.triggerUnplugged || !path.markerRunning) return out;
        const long edge = settings.iq.slopePositive ? path.marker.rising : path.marker.falling;
        if (edge < 0) return out;
        if (clocksDiffer) {
            out.error = scpi::SettingsConflict;
            return out;
        }
        start = edge + model.triggerLatency - settings.iq.pretrigger;
    } else if (signal) {
        if (clocksDiffer) {
            out.error = scpi::SettingsConflict;
            return out;
        }
        start = static_cast<long>(rng.Below(wave->Samples()));
    }

    // Resolution filter of the analyzer; 0 asks for the automatic bandwidth.
    const double bandwidth = settings.iq.bandwidthHz > 0 ? settings.iq.bandwidthHz : 0.8 * fs;
    const double rbwCutoff = bandwidth / 2 / fs;
    const int h2 = rbwCutoff < 0.5 ? HalfLength(rbwCutoff) : 0;
    const std::size_t l2 = static_cast<std::size_t>(m) + 2 * static_cast<std::size_t>(h2);
    std::vector<Complex> y(l2);

    if (signal) {
        const long n = static_cast<long>(wave->Samples());
        const double delay = amp.Params().delaySamples;
        const long delayInt = static_cast<long>(std::floor(delay));
        const double delayFrac = delay - static_cast<double>(delayInt);
        const double cutI = Relative(path.baseband.cutoffIHz, fs);
        const double cutQ = Relative(path.baseband.cutoffQHz, fs);
        const bool interpolate = delayFrac > 1e-12 || cutI < 0.5 || cutQ < 0.5;
        const int h1 =
            interpolate
                ? std::max(32, std::min(cutI, cutQ) < 0.5 ? HalfLength(std::min(cutI, cutQ)) : 0)
                : 0;
        const std::size_t l1 = l2 + 2 * static_cast<std::size_t>(h1);
        // x[k] is the waveform at start - h2 - delayInt - h1 + k, read cyclically.
        long index = (start - h2 - delayInt - h1) % n;
        if (index < 0) index += n;
        std::vector<Complex> x(l1);
        const double gI = path.baseband.gainI, gQ = path.baseband.gainQ;
        for (std::size_t k = 0; k < l1; ++k) {
            const Complex s = wave->Sample(static_cast<std::size_t>(index));
            x[k] = {gI * s.real(), gQ * s.imag()};
            if (++index == n) index = 0;
        }
        std::vector<Complex> a;
        if (!interpolate) {
            a = std::move(x);
        } else if (cutI == cutQ) {
            a = FirFilter(x, LowpassTaps(cutI, delayFrac, h1));
        } else {
            const auto ai = FirFilter(x, LowpassTaps(cutI, delayFrac, h1));
            const auto aq = FirFilter(x, LowpassTaps(cutQ, delayFrac, h1));
            a.resize(ai.size());
            for (std::size_t k = 0; k < a.size(); ++k)
                a[k] = {ai[k].real(), aq[k].imag()};
        }
        const double scale = std::sqrt(std::pow(10.0, path.levelDbm / 10));
        const double offset = path.carrierHz + amp.Params().translationHz - settings.centerHz;
        const double phase0 =
            offset != 0 ? 2 * std::numbers::pi * rng.Uniform() : model.carrierPhase;
        const double step = 2 * std::numbers::pi * offset / fs;
        const Complex turn = std::polar(1.0, step);
        Complex rotation;
        for (std::size_t k = 0; k < l2; ++k) {
            // The rotation advances by one multiplication per sample and is
            // recomputed from the index every 1024 samples, so long records
            // keep the exact frequency.
            if (k % 1024 == 0) rotation = std::polar(1.0, phase0 + step * static_cast<double>(k));
            y[k] = amp.Apply(scale * a[k]) * rotation;
            rotation *= turn;
        }
    }

    const double noisePower = (std::pow(10.0, (model.danlDbmPerHz + settings.attenuationDb) / 10) +
                               amp.NoiseDensityMwPerHz()) *
                              fs;
    for (auto& v : y)
        v += rng.Gaussian(noisePower);

    std::vector<Complex> z = h2 > 0 ? FirFilter(y, LowpassTaps(rbwCutoff, 0, h2)) : std::move(y);

    const double clip = std::sqrt(std::pow(10.0, settings.refLevelDbm / 10)) *
                        std::pow(10.0, model.headroomDb / 20);
    // sqrt(mW) to volts across 50 ohm; the DANE family reports millivolts.
    const double volts = std::sqrt(0.05) * (settings.family == Family::DANE ? 1000.0 : 1.0);
    out.i.resize(static_cast<std::size_t>(m));
    out.q.resize(static_cast<std::size_t>(m));
    for (std::size_t k = 0; k < static_cast<std::size_t>(m); ++k) {
        Complex v = z[k];
        const double magnitude = std::sqrt(std::norm(v));
        if (magnitude > clip) v *= clip / magnitude;
        out.i[k] = static_cast<float>(v.real() * volts);
        out.q[k] = static_cast<float>(v.imag() * volts);
    }
    return out;
}

} // namespace simbench
