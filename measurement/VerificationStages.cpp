// The verification stages of a sweep point, in the order the run driver
// takes them.

#include "CrossMix.h"
#include "Verification.h"

namespace Verification {
namespace {

// One stage: capture or simulate, evaluate, show.
void Stage(State& s, View* view, long mode, int variant, int trace) {
    GetIQSignal(mode, variant);
    ProcessACPData(s, mode, variant);
    if (!view) return;
    if (mode <= Mode::Predistorted) view->DisplayACP(mode, variant);
    view->DisplayPlot(trace);
}

// A measured stage's results go to the point and to the report's spectra.
void Keep(const State& s, SweepPoint& point, int row, std::size_t spectrum) {
    point.ChannelPower[std::size_t(row)] = s.ChannelResult[std::size_t(row)];
    if (spectrum < General::ChannelPowers.size())
        General::ChannelPowers[spectrum] = s.DisplaySpectrum;
}

} // namespace

void BeginRun() {
    Run::Instance().Reset();
}

void ShowWindow() {
    Run& run = Run::Instance();
    run.Begin();
    if (View* v = run.CurrentView()) {
        v->Present();
        v->ResetGraph();
    }
}

void Reference(SweepPoint& point) {
    Run& run = Run::Instance();
    State& s = run.Current();
    CrossMix::ShowCurrentPoint();
    Stage(s, run.CurrentView(), Verification::Mode::Reference, 0, 0);
    const auto spectrum = s.DisplaySpectrum;
    Stage(s, run.CurrentView(), Mode::NoiseFloor, 0, 9);
    Keep(s, point, 0, 0);
    General::ChannelPowers[0] = spectrum;
}

void Amplifier(SweepPoint& point) {
    Run& run = Run::Instance();
    State& s = run.Current();
    CrossMix::ShowCurrentPoint();
    Stage(s, run.CurrentView(), Verification::Mode::Amplifier, 0, 1);
    const auto spectrum = s.DisplaySpectrum;
    Stage(s, run.CurrentView(), Mode::SimAmplifier, 0, 2);
    Keep(s, point, 1, 1);
    General::ChannelPowers[1] = spectrum;
}

void Predistorted(SweepPoint& point, int variant) {
    if (variant < 0 || variant > 2) return;
    Run& run = Run::Instance();
    State& s = run.Current();
    Stage(s, run.CurrentView(), Verification::Mode::Predistorted, variant, 3 + 2 * variant);
    if (General::MeasureRunAbort) return;
    const auto spectrum = s.DisplaySpectrum;
    Stage(s, run.CurrentView(), Mode::SimPredistorted, variant, 4 + 2 * variant);
    Keep(s, point, 2, std::size_t(2 + variant));
    General::ChannelPowers[std::size_t(2 + variant)] = spectrum;
}

void SetTraces(const std::array<bool, 3>& verified) {
    if (View* v = Run::Instance().CurrentView()) v->EnableTraces(verified);
}

} // namespace Verification
