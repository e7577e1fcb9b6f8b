#pragma once
// The step display of the progress window as the engine sees it: the action
// window installs how the steps are shown; a headless run shows nothing.

#include <functional>

namespace RunProgress {

// Marks the step (a MeasureStep; -1 all pending) as current.
void ShowState(int step);

// An empty function uninstalls.
void SetStateHook(std::function<void(int)> hook);

} // namespace RunProgress
