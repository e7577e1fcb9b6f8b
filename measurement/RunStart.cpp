// The checks before a run, the run and its endings.

#include "RunStart.h"

#include "CrossMix.h"
#include "CurveFits.h"
#include "EquipmentLists.h"
#include "General.h"
#include "IQFileReader.h"
#include "Init.h"
#include "NumberText.h"
#include "RunDriver.h"
#include "SweepList.h"
#include "TypedEntries.h"

#include <algorithm>
#include <cmath>
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

// The bandwidth of a noise signal, or the spacing of a dual tone, at every
// rate the sweep uses: it must lie above 0 and below the baseband clock, or
// the signal aliases (or is empty) and every curve and ACP value is garbage.
void CheckSignalBandwidth(std::vector<std::string>& out) {
    using namespace General;
    if (SignalType != 0 && SignalType != 1) return; // a file brings its own
    if (!(NoiseClock > 0)) return;                  // refused as a clock already
    const std::vector<double> rates = RateSweep ? SweepValues(RateStart, RateStep, RateStop)
                                                : std::vector<double>{NoiseBandwidth};
    const bool fits =
        std::all_of(rates.begin(), rates.end(), [](double r) { return r > 0 && r < NoiseClock; });
    if (!fits)
        out.push_back(std::string(SignalType == 0 ? "Noise bandwidth" : "Tone spacing") +
                      " must be above 0 and below the baseband clock rate! Please select "
                      "correct value");
}

// The channels the verification integrates over: a bandwidth or spacing
// that is no positive number (a box that read 0) gives ACP values of
// hundreds of dB below anything measured.
void CheckACPChannels(std::vector<std::string>& out) {
    using namespace General;
    if (!Predistore) return; // only the verification reads them
    std::vector<double> values = {ACP.MainBW};
    for (int n = 0; n < std::clamp<int>(ACP.Channels, 0, 3); ++n)
        for (const auto* set : {&ACP.LowerBW, &ACP.UpperBW, &ACP.LowerSpace, &ACP.UpperSpace})
            values.push_back((*set)[size_t(n)]);
    if (!std::all_of(values.begin(), values.end(),
                     [](double v) { return std::isfinite(v) && v > 0; }))
        out.push_back("ACP channel bandwidths and spacings must be numbers above 0! Please "
                      "check the ACP setup");
}

// An RF generator the type codes do not know (a KLI) would be driven as the
// family chosen before it.
void CheckRFGenerator(std::vector<std::string>& out) {
    const EquipmentLists* lists = EquipmentLists::Get();
    const std::string label =
        lists ? lists->SelectedLabel(EquipmentLists::Role::RFGen) : std::string();
    if (!label.empty() && label != "EXTERNAL" && label != "VRTA" && label != "KLD")
        out.push_back("RF generator " + label +
                      " is not supported! Please select EXTERNAL, VRTA or KLD");
}

void CheckTestSignal(std::vector<std::string>& out) {
    using namespace General;
    if (PlenwavePath.empty() && SignalType >= 2)
        out.push_back("Test signal is file, but no file selected!");
    if (std::string why = SignalTypeRefusal(SignalType); !why.empty())
        out.push_back(std::move(why));
    if (SignalType == 2 && !PlenwavePath.empty() && !TestSignalLength())
        out.push_back("Test signal file cannot be read! Please select another file");
    if (const std::optional<long> n = TestSignalLength(); n && SamplingDepth > *n)
        out.push_back("Capture length must be less than test signal length!");
}

// A zero rate from a discrete list that could not show the stored rate:
// the operator is told which rate the analyzer found does not offer.
std::string RateZeroText() {
    std::string text = "Sampling rate is zero! Please select correct value";
    const EquipmentLists* lists = EquipmentLists::Get();
    const double unoffered = lists ? lists->UnofferedRateMHz() : 0;
    if (!(unoffered > 0)) return text;
    const std::string family = lists->SelectedLabel(EquipmentLists::Role::Analyzer);
    return text + "\r\n(the stored rate " + NumberText::Plain(unoffered) +
           " MHz is not offered by the " + (family.empty() ? "chosen" : family) + " analyzer)";
}

// A setting read from a box whose text is no number would be a value the
// operator does not see (the last one the box held a number): those boxes
// are the only reasons given, as every other check reads the stored values.
std::vector<std::string> TypedEntryRefusals() {
    std::vector<std::string> out;
    for (const TypedEntries::Fault& f : TypedEntries::Faults())
        out.push_back(TypedEntries::Refusal(f));
    return out;
}

// Levels no instrument family can set: the generator's limit (sent as
// SOUR:POW:LIM, which every generator family takes from -145 to +30 dBm) and
// the amplifier's output, which the analyzer's reference level has to follow
// (-130 to +30 dBm on every analyzer family). An instrument refusing either
// one would leave the DUT unprotected or end the run with its error.
std::string LevelRefusal(float level, double lo, double hi, const std::string& what,
                         const std::string& range) {
    if (level >= lo && level <= hi) return {};
    return what + " " + NumberText::Plain(level) + " dBm is outside what " + range + " (" +
           NumberText::Plain(lo) + " to +" + NumberText::Plain(hi) +
           " dBm)! Please select correct value";
}

void CheckLevels(std::vector<std::string>& out) {
    for (std::string why : {LevelRefusal(General::MaximumPeakGeneratorLevel, -145, 30,
                                         "Peak level limit", "the RF generators deliver"),
                            TargetLevelRefusal(General::TargetLevel)})
        if (!why.empty()) out.push_back(std::move(why));
}

} // namespace

std::vector<std::string> Refusals(double samplingRateMHz) {
    using namespace General;
    SamplingRate = samplingRateMHz * 1000000.0;
    if (std::vector<std::string> typed = TypedEntryRefusals(); !typed.empty()) return typed;
    std::vector<std::string> out;
    if (SamplingRate == 0) out.push_back(RateZeroText());
    if (NoiseClock == 0) out.push_back("Baseband clock rate is zero! Please select correct value");
    // Two zero clocks are no matching pair either.
    if (NoiseClock * 1000000.0 != SamplingRate || SamplingRate == 0)
        out.push_back("Clock for signal generation and analysis must be equal!");
    CheckTestSignal(out);
    if (RBW > 10000000 && AnalyzerType != 3)
        out.push_back("Analyzer RBW filter not supported, please select lower bandwidth");
    if (const std::optional<std::string> fault = SweepSettingsFault()) out.push_back(*fault);
    CheckSignalBandwidth(out);
    CheckACPChannels(out);
    CheckRFGenerator(out);
    // A grid too small for the chosen fit would only fail after the capture.
    if (const std::string fit = CurveFits::CheckSettings(CurveFits::SettingsFromGeneral());
        !fit.empty())
        out.push_back(fit);
    CheckLevels(out);
    return out;
}

std::string TargetLevelRefusal(float level) {
    return LevelRefusal(level, -130, 30, "Target RMS level", "the analyzers measure");
}

std::string SignalTypeRefusal(int type) {
    if (type == 3)
        return "ASCII test signal files are not supported! Please select another test signal";
    if (type < 0 || type > 3) return "Unknown test signal type! Please select another test signal";
    return {};
}

void Begin() {
    using namespace General;
    // A Stop pressed after the last run had ended (while its end message
    // showed) must not end this one before it starts.
    MeasureRunAbort = false;
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
