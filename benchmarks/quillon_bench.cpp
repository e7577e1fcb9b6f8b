// The operations the measurement runs on long records, each at the size the
// comparison with numpy/scipy uses (compare.py holds the same operations in
// numpy). Every benchmark works in place on records kept between iterations,
// as the measurement does on its signal store.

#include "AnalysisControls.h"
#include "MathClass.h"
#include "SpecialCalc.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using Array = MathClass::Array;

constexpr std::int32_t kAlignLength = 1 << 21;
constexpr std::int32_t kSynthLength = 1 << 24;
// Test-signal settings: 4 MHz of noise at a 16 MHz clock (a quarter of the
// bins occupied).
constexpr double kBandwidth = 4.0;
constexpr double kClock = 16.0;

struct Record {
    Array I, Q;
};

Record Noise(MathClass& m, std::int32_t length, float seed) {
    Record r;
    m.SignalNoise(kBandwidth, kClock, length, seed, false, r.I, r.Q);
    return r;
}

// Order-19 curves on magnitudes 0..1: a gently compressing AM/AM curve and a
// small AM/PM turn in radians.
Array AmCurve() {
    Array c(20, 0.0);
    double f = 1.0;
    for (std::size_t k = 1; k < c.size(); ++k) {
        c[k] = (k % 2 ? 1.0 : -1.0) * f;
        f *= 0.3 / static_cast<double>(k + 1);
    }
    return c;
}

Array PmCurve() {
    Array c(20, 0.0);
    double f = 0.05;
    for (std::size_t k = 1; k < c.size(); ++k) {
        c[k] = f;
        f *= -0.5;
    }
    return c;
}

// ShiftService, GetSampleShiftFDom and ShiftSamples: measure the lag between
// reference and output, then move the reference by it.
void BM_AlignmentChain(benchmark::State& state) {
    MathClass m;
    const auto n = static_cast<std::int32_t>(state.range(0));
    Record ref = Noise(m, n, 1.0f);
    Record out = ref;
    m.ShiftSamples(out.I, out.Q, 0.37);
    Array mag, phase;
    auto run = [&] {
        double shift = 0.0;
        m.ShiftService(ref.I, ref.Q, out.I, out.Q, mag, phase);
        m.GetSampleShiftFDom(mag, phase, shift);
        m.ShiftSamples(ref.I, ref.Q, shift);
        return shift;
    };
    run(); // the spectrum arrays are kept between calls, as the measurement's are
    for (auto _ : state) {
        benchmark::DoNotOptimize(run());
        benchmark::ClobberMemory();
    }
}

// One record's channel powers as the verification computes them: window,
// FFT, centring, magnitude scaled by 1/n, main channel and three pairs of
// adjacent channels, then the display detector.
void BM_VerificationChain(benchmark::State& state) {
    MathClass m;
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Record rec = Noise(m, n, 2.0f);
    constexpr std::int32_t window = 2; // Hanning
    constexpr double rate = kClock;
    const double centres[] = {0.0, 5.0, -5.0, 10.0, -10.0, 15.0, -15.0};
    Array si, sq, mag;
    auto run = [&] {
        m.SignalUseWindow(rec.I, rec.Q, si, sq, window);
        Analysis::FFT(si, sq, si, sq);
        m.FFTFlip(si, sq);
        SpecialCalc::IQMagnitude(si, sq, mag);
        Analysis::Scale(mag, 1.0 / static_cast<double>(n));
        double total = 0.0;
        for (double c : centres) {
            double p = 0.0;
            m.SignalPower(mag, rate, c, 3.84, window, 0.0, p);
            total += p;
        }
        m.SignalDetector(mag, mag, 1, 8);
        return total;
    };
    run(); // the spectrum arrays are kept between calls, as the verification's are
    for (auto _ : state) {
        benchmark::DoNotOptimize(run());
        benchmark::ClobberMemory();
    }
}

void BM_SignalNoise(benchmark::State& state) {
    MathClass m;
    const auto n = static_cast<std::int32_t>(state.range(0));
    // The record arrays are kept between calls, as the test signal's are.
    Array I, Q;
    m.SignalNoise(kBandwidth, kClock, n, 3.0f, false, I, Q);
    for (auto _ : state) {
        m.SignalNoise(kBandwidth, kClock, n, 3.0f, false, I, Q);
        benchmark::ClobberMemory();
    }
}

void BM_SignalDistore(benchmark::State& state) {
    MathClass m;
    const auto n = static_cast<std::int32_t>(state.range(0));
    Record rec = Noise(m, n, 4.0f);
    const Array am = AmCurve();
    const Array pm = PmCurve();
    for (auto _ : state) {
        m.SignalDistore(rec.I, rec.Q, &am, &pm, 1.0, true);
        benchmark::ClobberMemory();
    }
}

void BM_ArrayCrestIQ(benchmark::State& state) {
    MathClass m;
    const Record rec = Noise(m, static_cast<std::int32_t>(state.range(0)), 5.0f);
    for (auto _ : state)
        benchmark::DoNotOptimize(m.ArrayCrestIQ(rec.I, rec.Q));
}

void BM_ArrayNormalizeIQ(benchmark::State& state) {
    MathClass m;
    Record rec = Noise(m, static_cast<std::int32_t>(state.range(0)), 6.0f);
    // Peaks 2 and 1 in turn, so that every call really scales the record.
    double level = 1.0;
    for (auto _ : state) {
        level = level == 1.0 ? 4.0 : 1.0;
        m.ArrayNormalizeIQ(rec.I, rec.Q, rec.I, rec.Q, level);
        benchmark::ClobberMemory();
    }
}

// An order-9 least-squares polynomial through 10^6 points: an AM/AM curve
// fitted to a long record of measured amplitudes.
constexpr std::int32_t kFitPoints = 1000000;

void BM_PolyFit(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Array x(n), y(n);
    std::uint64_t seed = 12345;
    auto uniform = [&seed] {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(seed >> 11) * 0x1.0p-53;
    };
    for (std::size_t k = 0; k < n; ++k) {
        x[k] = uniform();
        y[k] = std::tanh(2.5 * x[k]) / std::tanh(2.5) + 1e-3 * (uniform() - 0.5);
    }
    for (auto _ : state) {
        Array coeff;
        double mse = 0.0;
        benchmark::DoNotOptimize(Analysis::PolyFit(x, y, 9, coeff, mse));
        benchmark::DoNotOptimize(mse);
    }
}

// One forward transform of an alignment record into arrays of its own: the
// unit the alignment chain is counted in.
void BM_FFT(benchmark::State& state) {
    MathClass m;
    const Record rec = Noise(m, static_cast<std::int32_t>(state.range(0)), 7.0f);
    Array re, im;
    Analysis::FFT(rec.I, rec.Q, re, im); // the output arrays are kept between calls
    for (auto _ : state) {
        Analysis::FFT(rec.I, rec.Q, re, im);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_FFT)->Arg(kAlignLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolyFit)->Arg(kFitPoints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlignmentChain)->Arg(kAlignLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerificationChain)->Arg(kAlignLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalNoise)->Arg(kSynthLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalDistore)->Arg(kSynthLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayCrestIQ)->Arg(kSynthLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayNormalizeIQ)->Arg(kSynthLength)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
