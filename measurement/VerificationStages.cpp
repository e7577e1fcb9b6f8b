// The verification stages of a sweep point, in the order the run driver
// takes them, and their re-evaluation by the window's refresh.

#include "CrossMix.h"
#include "Verification.h"

#include <algorithm>
#include <functional>

namespace Verification {
namespace {

// Where the point lies in General::SweepPoints; none for a record elsewhere.
std::optional<std::size_t> IndexOf(const SweepPoint& point) {
    const auto& all = General::SweepPoints;
    const std::less<const SweepPoint*> before;
    if (all.empty() || before(&point, all.data()) || !before(&point, all.data() + all.size()))
        return std::nullopt;
    return std::size_t(&point - all.data());
}

// One stage: capture or simulate (unless the records are only re-evaluated),
// evaluate, show.
void Stage(State& s, View* view, long mode, int variant, int trace, bool acquire) {
    if (acquire) GetIQSignal(mode, variant);
    ProcessACPData(s, mode, variant);
    if (!view) return;
    if (mode <= Mode::Predistorted) view->DisplayACP(mode, variant);
    view->DisplayPlot(trace);
}

struct Stages {
    long mode;
    int variant, trace;
    long companion;
    int companionTrace;
    std::size_t report; // the slot of General::ChannelPowers
};

// A measured stage and its simulated companion. The point keeps the
// measured stage's result row, the report its spectrum (taken before the
// companion overwrites it), so that both always hold one evaluation.
void MeasuredAndSimulated(State& s, View* view, SweepPoint* point, const Stages& st, bool acquire) {
    Stage(s, view, st.mode, st.variant, st.trace, acquire);
    if (acquire && General::MeasureRunAbort) return;
    std::vector<double> spectrum = s.DisplaySpectrum;
    Stage(s, view, st.companion, st.variant, st.companionTrace, acquire);
    const auto row = std::size_t(std::min<long>(st.mode, 2));
    if (point) point->ChannelPower[row] = s.ChannelResult[row];
    if (st.report < General::ChannelPowers.size())
        General::ChannelPowers[st.report] = std::move(spectrum);
}

void Measure(SweepPoint& point, const Stages& st) {
    Run& run = Run::Instance();
    State& s = run.Current();
    s.point = IndexOf(point);
    MeasuredAndSimulated(s, run.CurrentView(), &point, st, true);
}

constexpr Stages kReference{Mode::Reference, 0, 0, Mode::NoiseFloor, 9, 0};
constexpr Stages kAmplifier{Mode::Amplifier, 0, 1, Mode::SimAmplifier, 2, 1};

Stages PredistortedStages(int variant) {
    return {Mode::Predistorted,    variant,         3 + 2 * variant,
            Mode::SimPredistorted, 4 + 2 * variant, std::size_t(2 + variant)};
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
    Measure(point, kReference);
}

void Amplifier(SweepPoint& point) {
    CrossMix::ShowCurrentPoint();
    Measure(point, kAmplifier);
}

void Predistorted(SweepPoint& point, int variant) {
    if (variant < 0 || variant > 2) return;
    Measure(point, PredistortedStages(variant));
}

void Refresh(State& s, View* view) {
    if (view) view->ResetGraph();
    const bool held = s.point && *s.point < General::SweepPoints.size();
    SweepPoint* point = held ? &General::SweepPoints[*s.point] : nullptr;
    MeasuredAndSimulated(s, view, point, kReference, false);
    MeasuredAndSimulated(s, view, point, kAmplifier, false);
    const bool enabled[] = {General::VerifyAM, General::VerifyPM, General::VerifyAMPM};
    for (int k = 0; k < 3; ++k)
        if (enabled[k]) MeasuredAndSimulated(s, view, point, PredistortedStages(k), false);
}

void SetTraces(const std::array<bool, 3>& verified) {
    if (View* v = Run::Instance().CurrentView()) v->EnableTraces(verified);
}

} // namespace Verification
