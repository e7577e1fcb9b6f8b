// Placeholder until the capture half of the measurement arrives: reports that
// nothing was measured, so the run frame can be exercised on its own.

#include "PointCapture.h"

#include "CrossMix.h"

namespace PointCapture {

void Measure() {
    CrossMix::AddStatus("not measured");
}

} // namespace PointCapture
