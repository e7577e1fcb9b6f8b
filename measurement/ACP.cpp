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
std::function<void()>& MeasureOverride() {
    static std::function<void()> measure;
    return measure;
}
} // namespace

void PresentWindow() {
    if (PresentHook()) PresentHook()();
}

void SetPresentHook(std::function<void()> hook) {
    PresentHook() = std::move(hook);
}

void SetMeasureOverride(std::function<void()> measure) {
    MeasureOverride() = std::move(measure);
}

void MeasureCurve() {
    if (MeasureOverride()) return MeasureOverride()();
    PointCapture::Measure();
    if (General::MeasureRunAbort) return;
    CurveProcessing::Process();
}

} // namespace ACP
