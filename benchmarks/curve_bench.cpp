// The curve half of one sweep point (alignment, point sets, density grids,
// grid averages, fits of order 9, histograms) on records of 2^16 and 2^18
// samples; compare.py times the same steps written in numpy.

#include "CurveProcessing.h"
#include "General.h"
#include "MathClass.h"
#include "Services.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <complex>

namespace {

struct QuietStatus : Services::StatusDisplayService {
    void AddStatus(const std::string&) override {}
    void ClearStatus() override {}
    void ShowCurrentPoint(const std::string&, const std::string&, const std::string&) override {}
};

// 1 MHz of noise at 16 MHz through a compressing amplifier with a small AM/PM
// turn, 3.37 samples late.
void MakeRecords(std::int32_t n, MathClass::Array (&records)[4]) {
    MathClass m;
    m.SignalNoise(1.0, 16.0, n, 1.0f, false, records[0], records[1]);
    records[2].resize(records[0].size());
    records[3].resize(records[0].size());
    for (std::size_t k = 0; k < records[0].size(); ++k) {
        const std::complex<double> x(records[0][k], records[1][k]);
        const double a = std::abs(x);
        const std::complex<double> y =
            3.0 * x / std::pow(1 + std::pow(a, 4), 0.25) * std::polar(1.0, 0.1 * a * a);
        records[2][k] = y.real();
        records[3][k] = y.imag();
    }
    m.ShiftSamples(records[2], records[3], -3.37);
}

void BM_CurvePoint(benchmark::State& state) {
    QuietStatus quiet;
    Services::Scoped<Services::StatusDisplayService> useQuiet{quiet};
    const auto n = static_cast<std::int32_t>(state.range(0));
    MathClass::Array records[4];
    MakeRecords(n, records);
    General::SamplingRate = 16e6;
    General::SamplingDepth = n;
    General::AMAMGrid = General::AMPMGrid = 50;
    General::AMAMOrder = General::AMPMOrder = 9;
    General::AMAMLowIgn = General::AMAMLowSet = General::AMPMLowIgn = General::AMPMLowSet = false;
    auto load = [&] {
        for (int s = 0; s < 4; ++s)
            General::SignalStore[static_cast<std::size_t>(s)] = records[s];
        General::MeasureRunAbort = false;
    };
    load();
    CurveProcessing::Process(); // warm-up: transform plans and work buffers
    for (auto _ : state) {
        state.PauseTiming();
        load();
        state.ResumeTiming();
        CurveProcessing::Process();
        benchmark::DoNotOptimize(General::AMAMCoeff.data());
        benchmark::ClobberMemory();
    }
    if (General::MeasureRunAbort) state.SkipWithError(General::RunErrorText.c_str());
}

void BM_CurvePoint16(benchmark::State& state) {
    BM_CurvePoint(state);
}
void BM_CurvePoint18(benchmark::State& state) {
    BM_CurvePoint(state);
}

} // namespace

BENCHMARK(BM_CurvePoint16)->Arg(1 << 16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurvePoint18)->Arg(1 << 18)->Unit(benchmark::kMillisecond);
