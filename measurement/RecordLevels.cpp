// Amplitude statistics and crest factor of an I/Q record.

#include "RecordLevels.h"

#include "AnalysisControls.h"
#include "DSP.h"
#include "SpecialCalc.h"

namespace RecordLevels {

std::optional<Amplitudes> Measure(const std::vector<double>& I, const std::vector<double>& Q) {
    if (I.empty() || I.size() != Q.size()) return std::nullopt;
    std::vector<double> magnitude;
    SpecialCalc::IQMagnitude(I, Q, magnitude);
    const auto peak = Analysis::Max(magnitude);
    const auto mean = Analysis::Mean(magnitude);
    const auto rms = Analysis::Rms(magnitude);
    if (!peak || !mean || !rms) return std::nullopt;
    return Amplitudes{*peak, *mean, *rms};
}

double CrestFactor(const Amplitudes& a) {
    const MathClass& math = DSP::IntMath();
    return math.ConvertPowerToDB(a.peak * a.peak) - math.ConvertPowerToDB(a.mean * a.mean);
}

} // namespace RecordLevels
