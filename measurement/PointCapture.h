#pragma once
// The first half of a sweep point's measurement: result-window restart,
// instrument set-up, crest factor, reference level, noise floor with the RF
// off, leveling, dynamic margin, reference record and main capture.

namespace PointCapture {

// Fills General::SignalStore slots 0-5 and 12/13. Sets General::MeasureRunAbort
// (with General::RunErrorText for a fault), switches the RF output off and
// returns when the point cannot be measured.
void Measure();

} // namespace PointCapture
