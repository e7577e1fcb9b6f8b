// The checked analyzer capture of the sweep-point measurement.

#include "AnalyzerCapture.h"

#include "General.h"
#include "HOx.h"

namespace AnalyzerCapture {

Outcome Capture(VIF& analyzer, std::size_t slotI) {
    auto& I = General::SignalStore.at(slotI);
    auto& Q = General::SignalStore.at(slotI + 1);
    I.clear();
    Q.clear();
    Outcome out;
    if (!HOx::StartIQCapture(analyzer, General::AnalyzerType)) {
        out.fault = Fault::NotStarted;
        return out;
    }
    std::vector<double> i, q;
    const bool read = analyzer.ReadIQArray("TRAC:IQ:DATA?", i, q, 524288, 1024, -1);
    out.samples = i.size();
    if (i.empty())
        out.fault = read ? Fault::NoData : Fault::ReadFailed;
    else if (!read)
        out.fault = Fault::ReadFailed;
    else if (i.size() != q.size() || i.size() != std::size_t(General::SamplingDepth))
        out.fault = Fault::WrongLength;
    if (out.fault != Fault::None) return out;
    HOx::ScaleIQToRefLevel(i, q, General::AnalyzerType);
    I = std::move(i);
    Q = std::move(q);
    return out;
}

std::string FaultText(const Outcome& outcome, const std::string& what) {
    switch (outcome.fault) {
    case Fault::None:
        return {};
    case Fault::NotStarted:
        return "The analyzer could not start the " + what + ".";
    case Fault::ReadFailed:
        return "The analyzer's I/Q data of the " + what + " could not be read.";
    case Fault::NoData:
        return "The analyzer returned no I/Q data for the " + what + ".";
    case Fault::WrongLength:
        return "The analyzer returned " + std::to_string(outcome.samples) +
               " I/Q samples for the " + what + " instead of " +
               std::to_string(General::SamplingDepth) + ".";
    }
    return {};
}

} // namespace AnalyzerCapture
