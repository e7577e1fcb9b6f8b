#pragma once
// The predistortion verification of a run: the captured and simulated
// records of each stage turned into a display spectrum and, for the measured
// stages, into the power of the main channel and of up to three adjacent
// channel pairs. The verification window shows a run's state; a headless run
// keeps it without one.

#include "General.h"

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace Verification {

// Stages: the first argument of GetIQSignal and ProcessACPData.
namespace Mode {
enum : long {
    Reference = 0,       // SignalStore 0/1, result row 0
    Amplifier = 1,       // 2/3, row 1
    Predistorted = 2,    // measured with variant k: 20+2k/21+2k, row 2
    SimAmplifier = 3,    // model applied to the reference: 40/41
    SimPredistorted = 4, // variant k, then the model: 42+2k/43+2k
    NoiseFloor = 5,      // 4/5
};
} // namespace Mode

// Columns in frequency order: ALT2 low, ALT1 low, ACP low, main, ACP up,
// ALT1 up, ALT2 up. Column 3 is the main channel in dBm, every other one the
// main channel minus that channel, in dB. NotMeasured marks a column that
// could not be measured.
using ResultRow = std::array<double, 7>;
inline constexpr double NotMeasured = std::numeric_limits<double>::quiet_NaN();

struct State {
    std::array<ResultRow, 3> ChannelResult{};
    std::vector<double> SpectrumI, SpectrumQ;
    // The magnitude spectrum, then (after ProcessACPData) the detector-reduced
    // level trace in dB that the window plots.
    std::vector<double> DisplaySpectrum;
    // The sweep point (index into General::SweepPoints) whose records the
    // stages evaluated last; the refresh writes its rows there.
    std::optional<std::size_t> point;
};

// The store slots (I at the even one) a stage works on.
int FirstSlot(long mode, int variant);

// Fills the store for the captured and simulated stages (2, 3, 4). A capture
// that brings no data or a record of the wrong length aborts the run
// (General::MeasureRunAbort with General::RunErrorText).
void GetIQSignal(long mode, int variant);

// Spectrum of the stage's records and, for stages 0-2, its result row. The
// channel count is taken within 0..3 whatever the settings hold.
void ProcessACPData(State& state, long mode, int variant);

// What shows a run's verification. A window implements it; the run driver
// calls it after each ProcessACPData.
class View {
public:
    virtual ~View() = default;
    virtual void DisplayACP(long mode, int variant) = 0;
    virtual void DisplayPlot(int trace) = 0;
    // Removes every trace (the start of a point's verification).
    virtual void ResetGraph() = 0;
    // Shows the window and brings it to the front.
    virtual void Present() = 0;
    // The traces of the verified variants are switchable; the others are
    // switched off and cannot be switched on.
    virtual void EnableTraces(const std::array<bool, 3>& verified) = 0;
    // Closes the view for good; it calls Forget when it goes.
    virtual void Close() = 0;
};

// Makes the view of a new run's state; the window library installs one. The
// view may be closed by the operator at any time: it then calls Forget.
using ViewMaker = View* (*)(std::shared_ptr<State> state);
void SetViewMaker(ViewMaker maker);

// The run's verification, made at the first point that verifies. A campaign
// of runs keeps the views of its last KeptViews runs: making one more closes
// the oldest, so that a night of runs does not fill the memory.
inline constexpr std::size_t KeptViews = 10;

class Run {
public:
    State& Current();
    // The view of this run, nullptr when none (headless, or closed).
    View* CurrentView() const { return view_; }
    // Creates the state and its view on first use; when KeptViews are open,
    // the oldest one closes first.
    void Begin();
    // A closed window withdraws itself.
    static void Forget(View* view);
    // Starts a new run: the next Begin makes a new state and view.
    void Reset();

    static Run& Instance();

private:
    std::shared_ptr<State> state_;
    View* view_ = nullptr;
    // The views still open, the oldest first; the last is view_ while the
    // run has one.
    std::deque<View*> kept_;
};

// The stages as the run driver calls them, each filling its row of the
// point's channel powers and its slot of General::ChannelPowers.
// A new run: the next point that verifies gets a fresh state and window.
void BeginRun();
// Makes the run's state and window when it has none, brings the window to
// the front and empties its graph.
void ShowWindow();
// Reference and noise floor; row 0.
void Reference(SweepPoint& point);
// Amplifier output and simulated amplifier; row 1.
void Amplifier(SweepPoint& point);
// Variant 0 AM, 1 PM, 2 AM+PM with its waveform already playing: measured
// and simulated; row 2.
void Predistorted(SweepPoint& point, int variant);
void SetTraces(const std::array<bool, 3>& verified);
// Re-evaluates the stored records of every stage (the variants enabled now)
// with the current settings, without capturing: the table, the traces, the
// point's rows and General::ChannelPowers all from this one evaluation.
void Refresh(State& s, View* view);

} // namespace Verification
