#pragma once
// The sweep points of a run and the small helpers the run derives from the
// settings.

#include <optional>
#include <string>
#include <vector>

namespace General {

// level minus the optimum mixer level of the analyzer family (0 DANE, 1 HOB,
// 2 HOC, 3 HOD), rounded half to even: the analyzer's RF attenuation in dB.
// Held within the attenuator's range: a level below the optimum mixer
// level needs no attenuation (0 dB, never a negative one the analyzer would
// refuse), one far above it gets the most there is. Families outside 0..3
// count as the nearest one.
short MixerLevelDelta(long analyzerType, float level);

// Why the sweep settings give no usable list: a sweep that is on with a step
// of 0, a step that leads away from its stop, or more points than a run can
// hold. Nothing when the list can be built.
std::optional<std::string> SweepSettingsFault();

// Rebuilds General::SweepPoints (element 0 unused, points from 1): rate
// outermost, level, frequency innermost; a sweep that is off contributes its
// start (the rate its current NoiseBandwidth). Returns the number of points;
// 0, with the list emptied, when SweepSettingsFault() names a fault.
long BuildSweepList();

// The values from start towards stop in steps, each computed from its index
// (start + k·step), so that no accumulated rounding drops the stop value. A
// value within a millionth of a step beyond the stop still counts as reaching
// it. Empty for a step of 0, a non-finite value or a step away from the stop.
std::vector<double> SweepValues(double start, double step, double stop);

// The ACP integration span in MHz: the main channel's bandwidth without
// adjacent channels, otherwise the distance between the outer edges of the
// outermost lower and upper channels. Channel counts beyond 3 count as 3,
// below 0 as 0.
double GetACPSpan();

} // namespace General
