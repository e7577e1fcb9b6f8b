#pragma once
// The status log and current-point display every part of the program writes
// to. The lines reach the progress window through the status display service
// (Services.h), so code without widgets reports status the same way.

#include <string>

namespace CrossMix {

// Appends the text, without leading and trailing blanks, as the newest line.
void AddStatus(const std::string& text);
// Empties the log (at each run start).
void ClearStatus();
// "Measurement Aborted.", then clears General::MeasureBusy and MeasureRunAbort.
void MeasurementAborted();
// Announces "waiting N s" and suspends the thread for that long without
// letting window events run. 0 does nothing; a negative or invalid time is
// announced but not waited.
void WaitSeconds(float seconds);
// Generator and analyzer frequency ("000.00 MHz") and the target level
// ("0.0 dBm") of the current sweep point.
void ShowCurrentPoint();
// Run by the Exit command before the settings are saved. Nothing needs to
// happen there yet.
void ExitHook();

} // namespace CrossMix
