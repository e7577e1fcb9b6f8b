#pragma once
// The second half of a sweep point's measurement: timing alignment of the
// reference (SignalStore 0/1) and amplifier output (2/3), AM/AM and AM/PM point
// sets, grid averages, polynomial fits of the amplifier and its inverse, and
// the graphs of the measurement window.

namespace CurveProcessing {

// Sets General::MeasureRunAbort (with General::RunErrorText) and returns when
// the records cannot be processed; a value the operator declines in the
// result window sets the abort flag alone.
void Process();

} // namespace CurveProcessing
