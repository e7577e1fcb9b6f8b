#pragma once
// The gate in front of a measurement run and its endings, without the
// window: the checks of the settings, the run itself (initialisation and
// driver) and what each ending leaves behind. The action window shows the
// messages and the progress around these.

#include <string>
#include <vector>

namespace RunStart {

// The reasons not to start, in the order they are shown; empty when the run
// may start. `samplingRateMHz` is the analyzer rate chosen in the equipment
// setup; it is stored in General::SamplingRate (Hz) first. While a number
// box of the settings windows shows a text that is no number for its
// setting (TypedEntries), those boxes are the only reasons.
std::vector<std::string> Refusals(double samplingRateMHz);

// What the checks say of one setting on its own, whatever the others hold,
// so that a remote value is refused when it arrives as the start would refuse
// it: the refusal, empty when the value passes.
std::string TargetLevelRefusal(float level);
std::string SignalTypeRefusal(int type);

// The run begins: abort flag and error text cleared, status log emptied,
// busy, the stores no longer hold a finished run, the sweep list and the ACP
// span rebuilt.
void Begin();

// Initialises the instruments and, unless that aborted, drives the sweep.
// True when the run finished; false when it ended aborted.
bool Execute();

// Finished ending: the stores hold a whole run; no longer busy.
void EndFinished();
// Aborted ending: the RF output off, then "Measurement Aborted." with busy
// and abort cleared. The stores keep their state.
void EndAborted();

// "Measurement aborted." CR LF "(" error text ")".
std::string AbortedText();

} // namespace RunStart
