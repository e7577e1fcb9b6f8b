#pragma once
// The sweep points of a run and the small helpers the run derives from the
// settings.
namespace General {
// level minus the optimum mixer level of the analyzer family (0 DANE, 1 HOB,
// 2 HOC, 3 HOD), rounded half to even: the analyzer's RF attenuation in dB.
// Families outside 0..3 and results outside 16 bits are clamped.
short MixerLevelDelta(long analyzerType, float level);
} // namespace General
