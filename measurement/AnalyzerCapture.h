#pragma once
// One analyzer I/Q capture into a pair of General::SignalStore slots, scaled
// so that amplitude 1.0 is General::AnaRefLevel, and checked: a capture that
// could not be started or read, that brought no data or a record of another
// length than General::SamplingDepth is a fault, never a record to measure.

#include "VIF.h"

#include <cstddef>
#include <string>

namespace AnalyzerCapture {

enum class Fault { None, NotStarted, ReadFailed, NoData, WrongLength };

struct Outcome {
    Fault fault = Fault::None;
    std::size_t samples = 0; // pairs received
};

// Captures with the HOx set-up into slots slotI (I) and slotI + 1 (Q). The
// slots are emptied first, so a failed capture never leaves an older record
// behind; they stay empty unless the record is whole.
Outcome Capture(VIF& analyzer, std::size_t slotI);

// The message for a fault of the capture named `what` ("noise floor
// capture", ...); empty for none.
std::string FaultText(const Outcome& outcome, const std::string& what);

} // namespace AnalyzerCapture
