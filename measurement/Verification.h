#pragma once
// The verification of a sweep point as the run driver calls it: the reference
// and amplifier stages and the measurement of one predistorted variant once
// its waveform plays, each filling its row of the point's channel powers and
// its slot of General::ChannelPowers.

#include "General.h"

#include <array>

namespace Verification {

// A new run: the next point that verifies opens a fresh verification window.
void BeginRun();
// Opens the run's window when it has none, brings it to the front and
// resets its spectrum graph.
void ShowWindow();
// Stage 1: reference and noise floor; fills ChannelPower row 0.
void Reference(SweepPoint& point);
// Stage 2: amplifier output and simulated amplifier; fills row 1.
void Amplifier(SweepPoint& point);
// Stage 3 for variant 0 AM, 1 PM, 2 AM+PM, with its waveform already playing;
// fills row 2.
void Predistorted(SweepPoint& point, int variant);
// Enables the traces of the verified variants; the others are disabled and
// unticked.
void SetTraces(const std::array<bool, 3>& verified);

} // namespace Verification
