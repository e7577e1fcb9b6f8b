// The measurement of one sweep point: the capture half, then the curve half.

#include "ACP.h"

#include "CurveProcessing.h"
#include "General.h"
#include "PointCapture.h"

namespace ACP {
namespace {
std::function<void()>& PresentHook() {
    static std::function<void()> hook;
    return hook;
}
} // namespace

void PresentWindow() {
    if (PresentHook()) PresentHook()();
}

void SetPresentHook(std::function<void()> hook) {
    PresentHook() = std::move(hook);
}

void MeasureCurve() {
    PointCapture::Measure();
    if (General::MeasureRunAbort) return;
    CurveProcessing::Process();
}

} // namespace ACP
