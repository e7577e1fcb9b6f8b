#pragma once
// The run driver: walks the run's sweep points after the instruments have
// been initialised. Per point it tunes analyzer and RF generator, builds and
// uploads the test signal whenever the point's rate differs from the point
// before, measures the point (ACP::MeasureCurve) and, with predistortion on,
// verifies the reference, the amplifier and each chosen predistorted variant;
// then it updates the remaining-time estimate.

#include <string>

namespace General {
// The remaining-time estimate as shown ("finished." after the last point).
inline std::string RemainingTimeText;
} // namespace General

namespace CrossMix {

// Returns at the first abort check that finds General::MeasureRunAbort set;
// a failure of its own (a test signal that cannot be built, a waveform that
// cannot be uploaded or loaded) sets it with General::RunErrorText first.
// Switches the RF output off after the last point.
void RunMeasurement();

// "OUTP:STAT OFF" to the RF generator when its session is open, so that no
// ending of a run leaves the amplifier driven.
void SwitchRFOff();

} // namespace CrossMix
