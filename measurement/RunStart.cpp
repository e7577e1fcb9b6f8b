// The checks before a run, the run and its endings.

#include "RunStart.h"

#include "CrossMix.h"
#include "CurveFits.h"
#include "General.h"
#include "IQFileReader.h"
#include "Init.h"
#include "RunDriver.h"
#include "SweepList.h"

#include <optional>

namespace RunStart {
namespace {

// The number of I/Q pairs the test signal will have; nothing when the file
// of a file signal cannot be read.
std::optional<long> TestSignalLength() {
    using namespace General;
    if (SignalType != 2) return NoiseLength;
    WaveFileHeader header;
    std::int32_t status = 0;
    IQFileReader::OpenWaveFile(header, PlenwavePath, status);
    IQFileReader::CloseWaveFile();
    if (status != IQFileReader::StatusOK) return std::nullopt;
    return header.PairCount;
}

void CheckTestSignal(std::vector<std::string>& out) {
    using namespace General;
    if (PlenwavePath.empty() && SignalType >= 2)
        out.push_back("Test signal is file, but no file selected!");
    if (SignalType == 3)
        out.push_back(
            "ASCII test signal files are not supported! Please select another test signal");
    if (SignalType < 0 || SignalType > 3)
        out.push_back("Unknown test signal type! Please select another test signal");
    if (SignalType == 2 && !PlenwavePath.empty() && !TestSignalLength())
        out.push_back("Test signal file cannot be read! Please select another file");
    if (const std::optional<long> n = TestSignalLength(); n && SamplingDepth > *n)
        out.push_back("Capture length must be less than test signal length!");
}

} // namespace

std::vector<std::string> Refusals(double samplingRateMHz) {
    using namespace General;
    SamplingRate = samplingRateMHz * 1000000.0;
    std::vector<std::string> out;
    if (SamplingRate == 0) out.push_back("Sampling rate is zero! Please select correct value");
    if (NoiseClock == 0) out.push_back("Baseband clock rate is zero! Please select correct value");
    // Two zero clocks are no matching pair either.
    if (NoiseClock * 1000000.0 != SamplingRate || SamplingRate == 0)
        out.push_back("Clock for signal generation and analysis must be equal!");
    CheckTestSignal(out);
    if (RBW > 10000000 && AnalyzerType != 3)
        out.push_back("Analyzer RBW filter not supported, please select lower bandwidth");
    if (const std::optional<std::string> fault = SweepSettingsFault()) out.push_back(*fault);
    // A grid too small for the chosen fit would only fail after the capture.
    if (const std::string fit = CurveFits::CheckSettings(CurveFits::SettingsFromGeneral());
        !fit.empty())
        out.push_back(fit);
    return out;
}

void Begin() {
    using namespace General;
    RunErrorText.clear();
    CrossMix::ClearStatus();
    MeasureBusy = true;
    // From here on the stores are overwritten point by point.
    DataPresent = false;
    SweepPointCount = BuildSweepList();
    IntSpan = GetACPSpan();
}

bool Execute() {
    Init::InitInstruments();
    if (!General::MeasureRunAbort) CrossMix::RunMeasurement();
    return !General::MeasureRunAbort;
}

void EndFinished() {
    General::DataPresent = true;
    General::MeasureBusy = false;
}

void EndAborted() {
    CrossMix::SwitchRFOff();
    CrossMix::MeasurementAborted();
}

std::string AbortedText() {
    return "Measurement aborted.\r\n(" + General::RunErrorText + ")";
}

} // namespace RunStart
    // A Stop pressed after the last run had ended (while its end message
    // showed) must not end this one before it starts.
    MeasureRunAbort = false;
