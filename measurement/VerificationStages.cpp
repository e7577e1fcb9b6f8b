// The verification stages of a sweep point, in the order the run driver
// takes them.

#include "CrossMix.h"
#include "Verification.h"

#include <algorithm>

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

// A measured stage and its simulated companion. The point keeps the
// measured stage's result row, the report its spectrum (taken before the
// companion overwrites it).
void MeasuredAndSimulated(SweepPoint& point, long mode, int variant, int trace, long companion,
                          int companionTrace, std::size_t report) {
    Run& run = Run::Instance();
    State& s = run.Current();
    Stage(s, run.CurrentView(), mode, variant, trace);
    if (General::MeasureRunAbort) return;
    std::vector<double> spectrum = s.DisplaySpectrum;
    Stage(s, run.CurrentView(), companion, variant, companionTrace);
    const auto row = std::size_t(std::min<long>(mode, 2));
    point.ChannelPower[row] = s.ChannelResult[row];
    if (report < General::ChannelPowers.size())
        General::ChannelPowers[report] = std::move(spectrum);
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
    CrossMix::ShowCurrentPoint();
    MeasuredAndSimulated(point, Mode::Reference, 0, 0, Mode::NoiseFloor, 9, 0);
}

void Amplifier(SweepPoint& point) {
    CrossMix::ShowCurrentPoint();
    MeasuredAndSimulated(point, Mode::Amplifier, 0, 1, Mode::SimAmplifier, 2, 1);
}

void Predistorted(SweepPoint& point, int variant) {
    if (variant < 0 || variant > 2) return;
    MeasuredAndSimulated(point, Mode::Predistorted, variant, 3 + 2 * variant, Mode::SimPredistorted,
                         4 + 2 * variant, std::size_t(2 + variant));
}

void SetTraces(const std::array<bool, 3>& verified) {
    if (View* v = Run::Instance().CurrentView()) v->EnableTraces(verified);
}

} // namespace Verification
