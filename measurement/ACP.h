#pragma once
// The measurement of one sweep point, as the run driver sees it: the capture
// half (set-up, noise floor, leveling, main capture) and the curve half
// (alignment, curves, fits, graphs) run one after the other.

#include <functional>

namespace ACP {

// Brings the measurement window to the front, in normal size, at the left edge
// of the main window just below the action window. Does nothing while no
// measurement window has installed itself (a headless run).
void PresentWindow();

// The measurement window installs how it presents itself; an empty function
// uninstalls it.
void SetPresentHook(std::function<void()> hook);

// Measures the current sweep point. Returns at once when the run is aborted;
// the caller tests General::MeasureRunAbort afterwards.
void MeasureCurve();

// Tests only: measures every point with `measure` instead of the capture and
// curve halves; an empty function restores them.
void SetMeasureOverride(std::function<void()> measure);

} // namespace ACP
