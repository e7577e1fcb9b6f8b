#pragma once
// Whether a measurement run is under way: from the moment Start accepts a run
// until the run and its end message are over. Everything that must not act
// inside a run (discovery, Start itself, the remote's actions and setters,
// the exit, boxes that would wait for an OK) asks this one state, and the
// remote's "IS_READY?" and "FINISHED?" answer 0 while it holds.

#include <functional>

namespace RunState {

bool UnderWay();

// A run is under way for as long as this object lives (the run executes
// inside the handler that holds it). When it ends, the work held back by
// AfterRun runs from the event loop, once that handler has returned.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// Work that must not run inside a run, such as a box that waits for its OK
// and would halt the run meanwhile: at once when no run is under way, else
// from the event loop once the run has wholly ended (after the next run's end
// when another has begun meanwhile).
void AfterRun(std::function<void()> work);

} // namespace RunState
