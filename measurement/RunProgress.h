#pragma once
// The step display of the progress window as the engine reaches it: the
// window library installs the display, a headless run only lets pending
// events run (so a Stop still reaches the abort flag).

#include <functional>

namespace RunProgress {

// Marks `step` (a MeasureStep; -1 all pending) as the current step of the run,
// then lets pending events run once.
void ShowState(int step);

// The progress window installs how it shows a step; an empty function
// uninstalls it.
void SetShowStateHook(std::function<void(int)> hook);

// Lets pending events run once, when an application object exists.
void PumpEvents();

} // namespace RunProgress
