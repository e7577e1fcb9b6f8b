// Placeholder until the verification arrives: every stage reports that
// nothing was measured, so the run frame can be exercised on its own.

#include "Verification.h"

#include "CrossMix.h"

namespace Verification {

void BeginRun() {}
void ShowWindow() {}

void Reference(SweepPoint&) {
    CrossMix::AddStatus("not measured");
}

void Amplifier(SweepPoint&) {
    CrossMix::AddStatus("not measured");
}

void Predistorted(SweepPoint&, int) {
    CrossMix::AddStatus("not measured");
}

void SetTraces(const std::array<bool, 3>&) {}

} // namespace Verification
