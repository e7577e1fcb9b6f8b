// Placeholder until the curve half of the measurement arrives: reports that
// nothing was processed, so the run frame can be exercised on its own.

#include "CurveProcessing.h"

#include "CrossMix.h"

namespace CurveProcessing {

void Process() {
    CrossMix::AddStatus("not measured");
}

} // namespace CurveProcessing
