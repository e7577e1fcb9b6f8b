#include "CrossMix.h"

#include "General.h"
#include "NumberText.h"
#include "Services.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace CrossMix {

namespace {

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

void AddStatus(const std::string& text) {
    Services::StatusDisplay().AddStatus(TrimBlanks(text));
}

void ClearStatus() {
    Services::StatusDisplay().ClearStatus();
}

void MeasurementAborted() {
    AddStatus("Measurement Aborted.");
    General::MeasureBusy = false;
    General::MeasureRunAbort = false;
}

void WaitSeconds(float seconds) {
    if (seconds == 0) return;
    AddStatus("waiting " + NumberText::FormatNumber(seconds, "#####") + " s");
    const double ms = NumberText::RoundHalfEven(static_cast<double>(seconds) * 1000.0);
    // Negative and NaN never wait; an absurd length is cut to what the clock type holds.
    if (!(ms > 0)) return;
    using Ms = std::chrono::milliseconds;
    const double longest = static_cast<double>(Ms::max().count() / 2);
    Services::Sleeper().Sleep(Ms(static_cast<Ms::rep>(std::min(ms, longest))));
}

void ShowCurrentPoint() {
    Services::StatusDisplay().ShowCurrentPoint(
        NumberText::FormatNumber(General::CurGenFreq, "000.00") + " MHz",
        NumberText::FormatNumber(General::CurAnaFreq, "000.00") + " MHz",
        NumberText::FormatNumber(General::TargetLevel, "0.0") + " dBm");
}

void ExitHook() {}

} // namespace CrossMix
