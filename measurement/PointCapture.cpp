// The capture half of a sweep point: the analyzer and the modulation source
// set up, the test signal's crest factor, the noise floor with the RF off,
// leveling, the dynamic margin, the reference record and the main capture.
//
// A point ends early (General::MeasureRunAbort) for a declined plausibility
// question, Stop, a capture that brought no whole record, or a fault any of
// the three instruments reported meanwhile; the RF output is then switched
// off, so that an amplifier is never left driven.

#include "PointCapture.h"

#include "AnalyzerCapture.h"
#include "CrossMix.h"
#include "CurveDisplay.h"
#include "DSP.h"
#include "General.h"
#include "HOx.h"
#include "IEC.h"
#include "IECMacros.h"
#include "InstrumentFaultWatch.h"
#include "Leveling.h"
#include "NumberText.h"
#include "PlausibilityRules.h"
#include "RecordLevels.h"
#include "ResultSink.h"
#include "RunProgress.h"
#include "Services.h"
#include "StringOp.h"
#include "SweepList.h"

#include <algorithm>
#include <cmath>

namespace PointCapture {
namespace {

using namespace PlausibilityRules;

// The analyzer's analysis filter, held to the sampling rate; a bandwidth of 0
// asks the analyzer for its automatic one, 0.8 of the rate.
double NoiseBandwidthHz() {
    const double rate = HOx::IQSampleRate;
    return HOx::IQBandwidth > 0 ? std::min<double>(HOx::IQBandwidth, rate) : 0.8 * rate;
}

class PointRun {
public:
    PointRun()
        : ana_(IEC::Instance().AnaVIF()), rf_(IEC::Instance().RFSourVIF()),
          mod_(IEC::Instance().ModSourVIF()) {
        watch_.Watch(ana_, "Analyzer");
        watch_.Watch(rf_, "RF generator");
        watch_.Watch(mod_, "Modulation source");
    }

    void Run() {
        if (!ana_ || !rf_ || !mod_) {
            Abort("The instruments are not initialised.");
            return;
        }
        const bool measured = SetUpCapture() && ModulationSource() && TestSignalCrest() &&
                              IQModulation() && NoiseFloor() && Level() && MarginAndReference() &&
                              MainCapture();
        if (measured) RunProgress::ShowState(StepSignalProcessing);
    }

private:
    // Ends the point; `error` (when given) becomes the run's error text.
    bool Abort(const std::string& error = {}) {
        General::MeasureRunAbort = true;
        if (!error.empty()) {
            General::RunErrorText = error;
            CrossMix::AddStatus(error);
        }
        if (rf_ && General::RFConverterType != 0) rf_->WriteString("OUTP:STAT OFF", 0);
        return false;
    }

    // Whether the point may go on: no instrument fault, no Stop.
    bool Healthy() {
        if (watch_.Faulted()) return Abort(watch_.FirstFault());
        if (General::MeasureRunAbort) return Abort();
        return true;
    }

    bool Ask(int row, double value, std::optional<float> extra = std::nullopt) {
        const auto v = float(value);
        return ResultSink::Get().ShowValue(row, v, v, extra) || Abort();
    }

    bool SetUpCapture() {
        ResultSink::Get().Restart();
        RunProgress::PumpEvents();
        // A point that ends early must not leave the last point's curves shown.
        for (CurveGraph g :
             {CurveGraph::AMAM, CurveGraph::AMPM, CurveGraph::Corr1, CurveGraph::Corr2})
            CurveDisplay::Get().Clear(g);
        CrossMix::AddStatus("starting");
        std::int32_t rate = 0;
        if (!NumberText::ToInt32(General::SamplingRate, rate) || rate <= 0)
            return Abort("The sampling rate " + NumberText::Plain(General::SamplingRate) +
                         " Hz cannot be set on the analyzer.");
        HOx::IQSamples = General::SamplingDepth;
        HOx::IQTrigSlopePos = true;
        HOx::IQSampleRate = rate;
        // The DANE family keeps the bandwidth of an earlier set-up.
        if (General::AnalyzerType != 0) HOx::IQBandwidth = General::RBW;
        return true;
    }

    bool ModulationSource() {
        const std::string file = StringOp::StripLineEnds(General::RefFile);
        if (General::ModulatorType == 0) {
            mod_->WriteString("OUTP:I:STAT OFF", 0);
            mod_->WriteString("OUTP:Q:STAT OFF", 0);
        }
        if (!IECMacros::LoadARBWaveform(file))
            return Abort("The waveform " + file + " could not be loaded on the modulation source.");
        if (!IECMacros::SetARBClock(General::NoiseClock))
            return Abort("The ARB clock of the modulation source could not be set.");
        if (General::ModulatorType == 0) {
            if (General::NoiseIAmp == 1.0 && General::NoiseQAmp == 1.0) {
                mod_->WriteString("OUTP:I:STAT FIX", 0);
                mod_->WriteString("OUTP:Q:STAT FIX", 0);
            } else {
                mod_->WriteString("OUTP:I:STAT VAR", 0);
                mod_->WriteString("OUTP:Q:STAT VAR", 0);
                mod_->WriteString("OUTP:I:AMPL " + NumberText::Plain(General::NoiseIAmp) + "V", 0);
                mod_->WriteString("OUTP:Q:AMPL " + NumberText::Plain(General::NoiseQAmp) + "V", 0);
            }
        }
        return Healthy();
    }

    bool TestSignalCrest() {
        const auto levels = RecordLevels::Measure(General::TestSignalI, General::TestSignalQ);
        if (!levels) return Abort("There is no test signal to measure with.");
        General::InputScaleOffset = RecordLevels::CrestFactor(*levels);
        return Ask(RowCrestReference, General::InputScaleOffset);
    }

    bool IQModulation() {
        const std::int32_t r = General::RFConverterType, m = General::ModulatorType;
        if (r == 0)
            Services::BigMessage().ShowMessage("Please switch off the IQ to RF converter", 1, 0,
                                               false, true, true);
        else if ((r == 1 && m == 0) || (r == 2 && m == 1) || (r == 1 && m == 2))
            rf_->WriteString("SOUR:DM:IQ:STAT ON", 0);
        else if (r == 2 && m == 0) {
            rf_->WriteString("SOUR:IQ:SOUR ANAL", 0);
            rf_->WriteString("SOUR:IQ:STAT ON", 1);
        } else if (r == 1 && m == 1) {
            rf_->WriteString("ARB:STAT ON", 1);
            std::string unused;
            rf_->ReadString("SYST:ERR?", unused, 1000);
        } else if (r == 2 && m == 2) {
            rf_->WriteString("SOUR:BB:ARB:STAT ON", 1);
            rf_->WriteString("SOUR:IQ:SOUR BAS", 0);
            rf_->WriteString("SOUR:IQ:STAT ON", 1);
        }
        RunProgress::ShowState(StepAdjustingLevels);
        return Healthy();
    }

    bool NoiseFloor() {
        General::AnaRFAttenuation =
            General::MixerLevelDelta(General::AnalyzerType, General::TargetLevel);
        General::AnaRefLevel = double(General::TargetLevel) + General::InputScaleOffset;
        HOx::IQTrigSource = 0;
        ana_->WriteString("INP:ATT:AUTO ON", 0);
        ana_->WriteString("DISP:TRAC:Y:RLEV " + NumberText::Plain(General::AnaRefLevel) + "dBm", 0);
        ana_->WriteString("INP:ATT:AUTO OFF", 0);
        ana_->WriteString("INP:ATT:AUTO OFF;:INP:ATT " +
                              NumberText::Plain(double(General::AnaRFAttenuation)) + "dB",
                          0);
        rf_->WriteString("OUTP OFF", 0);
        const auto capture = AnalyzerCapture::Capture(*ana_, 4);
        rf_->WriteString("OUTP OFF", 0);
        if (capture.fault != AnalyzerCapture::Fault::None)
            return Abort(AnalyzerCapture::FaultText(capture, "noise floor capture"));
        if (!Healthy()) return false;
        const auto levels = RecordLevels::Measure(General::SignalStore[4], General::SignalStore[5]);
        // The record's power over the bandwidth the noise came through.
        General::NoiseGenOff = DSP::IntMath().ConvertAmpToDB(levels->rms) + General::AnaRefLevel -
                               10 * std::log10(NoiseBandwidthHz());
        return Ask(RowNoiseLevel, General::NoiseGenOff);
    }

    bool SetGeneratorLevel(double level, std::string& error) {
        rf_->WriteString(Leveling::LevelCommand(level), 0);
        rf_->WriteString("OUTP:STAT ON", 0);
        CrossMix::WaitSeconds(General::ApplyAndMeasurement);
        if (watch_.Faulted()) error = watch_.FirstFault();
        return error.empty();
    }

    std::optional<double> MeasureOutput(std::string& error) {
        const auto capture = AnalyzerCapture::Capture(*ana_, 12);
        error = AnalyzerCapture::FaultText(capture, "leveling capture");
        if (error.empty() && watch_.Faulted()) error = watch_.FirstFault();
        if (!error.empty()) return std::nullopt;
        const auto levels =
            RecordLevels::Measure(General::SignalStore[12], General::SignalStore[13]);
        if (levels->rms == 0) {
            error = "The analyzer saw no signal while leveling.";
            return std::nullopt;
        }
        return DSP::IntMath().ConvertAmpToDB(levels->rms) + General::AnaRefLevel;
    }

    bool Level() {
        const Leveling::MeasureOutput measure = [this](std::string& error) {
            return MeasureOutput(error);
        };
        const Leveling::Outcome outcome = General::RFConverterType != 0
                                              ? Leveling::Automatic(
                                                    [this](double level, std::string& error) {
                                                        return SetGeneratorLevel(level, error);
                                                    },
                                                    measure)
                                              : Leveling::Manual(measure);
        if (!outcome.completed) return Abort(outcome.error);
        return Healthy();
    }

    bool MarginAndReference() {
        const auto leveled =
            RecordLevels::Measure(General::SignalStore[12], General::SignalStore[13]);
        General::DynamicMargin = -DSP::IntMath().ConvertAmpToDB(leveled->peak);
        if (!Ask(RowDynamicMargin, General::DynamicMargin)) return false;
        HOx::IQTrigSource = 1;
        RunProgress::ShowState(StepMakingMeasurement);
        const auto depth = std::size_t(std::max(General::SamplingDepth, 0));
        if (General::TestSignalI.size() < depth || General::TestSignalQ.size() < depth)
            return Abort("The test signal is shorter than the capture length.");
        General::SignalStore[0].assign(General::TestSignalI.begin(),
                                       General::TestSignalI.begin() + std::ptrdiff_t(depth));
        General::SignalStore[1].assign(General::TestSignalQ.begin(),
                                       General::TestSignalQ.begin() + std::ptrdiff_t(depth));
        const auto reference =
            RecordLevels::Measure(General::SignalStore[0], General::SignalStore[1]);
        if (!reference) return Abort("There is no test signal to measure with.");
        General::CrestIn = RecordLevels::CrestFactor(*reference);
        return Healthy() && Ask(RowCrestIn, General::CrestIn);
    }

    bool MainCapture() {
        CrossMix::AddStatus("MAIN MEASUREMENT");
        CrossMix::WaitSeconds(General::ApplyAndMeasurement);
        const auto capture = AnalyzerCapture::Capture(*ana_, 2);
        if (capture.fault == AnalyzerCapture::Fault::NoData)
            return Abort("Please connect trigger cable to HOx");
        if (capture.fault != AnalyzerCapture::Fault::None)
            return Abort(AnalyzerCapture::FaultText(capture, "main capture"));
        if (!Healthy()) return false;
        const auto levels = RecordLevels::Measure(General::SignalStore[2], General::SignalStore[3]);
        General::CrestOut = RecordLevels::CrestFactor(*levels);
        return Ask(RowCrestOut, General::CrestOut) && Healthy();
    }

    std::shared_ptr<VIF> ana_, rf_, mod_;
    InstrumentFaultWatch watch_;
};

} // namespace

void Measure() {
    PointRun().Run();
}

} // namespace PointCapture
