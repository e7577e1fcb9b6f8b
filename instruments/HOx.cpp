#include "HOx.h"

#include "General.h"

#include <cmath>

namespace HOx {

namespace {

bool ValidTrigger(std::int32_t source) {
    return source >= 0 && source < static_cast<std::int32_t>(TriggerKeywords.size());
}

} // namespace

std::string IQSetCommand(std::int32_t) {
    if (!ValidTrigger(IQTrigSource)) return {};
    return "TRAC:IQ:SET NORM," + std::to_string(IQBandwidth) + "Hz," +
           std::to_string(IQSampleRate) + "Hz," +
           TriggerKeywords[static_cast<std::size_t>(IQTrigSource)] + "," +
           (IQTrigSlopePos ? "POS," : "NEG,") + std::to_string(IQPretrigger) + "," +
           std::to_string(IQSamples);
}

bool StartIQCapture(VIF& Analyzer, std::int32_t AnalyzerType) {
    const std::string setup = IQSetCommand(AnalyzerType);
    if (setup.empty()) return false;
    bool ok = Analyzer.WriteString("TRAC:IQ ON", 0);
    ok = Analyzer.WriteString(setup, 0) && ok;
    // Only the HOC family has the synchronisation switch.
    if (AnalyzerType == 2)
        ok = Analyzer.WriteString(std::string("TRAC:IQ:SYNC:STAT ") + (IQSyncOn ? "ON" : "OFF"),
                                  0) &&
             ok;
    ok = Analyzer.WriteString("FORM REAL,32", 0) && ok;
    // Sync 1: the capture ends before the analyzer takes the data query.
    ok = Analyzer.WriteString("ABOR;INIT:IMM", 1) && ok;
    return ok;
}

void ScaleIQToRefLevel(std::vector<double>& I, std::vector<double>& Q, std::int32_t AnalyzerType) {
    double d = std::sqrt(std::pow(10.0, (General::AnaRefLevel - 30.0) / 10.0) * 50.0);
    if (AnalyzerType == 0) d *= 1000.0;
    for (double& v : I)
        v /= d;
    for (double& v : Q)
        v /= d;
}

} // namespace HOx
