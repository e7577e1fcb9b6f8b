// The run driver: sweep points, test-signal uploads, measurement,
// verification and the remaining-time estimate.

#include "RunDriver.h"

#include "ACP.h"
#include "CrossMix.h"
#include "DSP.h"
#include "General.h"
#include "IEC.h"
#include "IECMacros.h"
#include "Leveling.h"
#include "MathClass.h"
#include "NumberText.h"
#include "RunProgress.h"
#include "Services.h"
#include "StringOp.h"
#include "TestSigGen.h"
#include "Verification.h"
#include "WVClass.h"

#include <QCoreApplication>
#include <array>
#include <chrono>
#include <memory>

namespace CrossMix {
namespace {

void Fail(const std::string& why) {
    General::MeasureRunAbort = true;
    General::RunErrorText = why;
    AddStatus(why);
}

// Lets a pending Stop click through, then reads the abort flag.
bool Aborted() {
    QCoreApplication::processEvents();
    return General::MeasureRunAbort;
}

void Send(const std::shared_ptr<VIF>& vif, const std::string& command) {
    if (vif) vif->WriteString(command, 0);
}

void SetUpPoint(const SweepPoint& p) {
    using namespace General;
    CurGenFreq = p.GenFreq;
    CurAnaFreq = p.AnaFreq;
    GenRMSLevel = p.GenLevel;
    CurAnaLevel = p.AnaLevel;
    ShowCurrentPoint();
    Send(IEC::Instance().AnaVIF(), "FREQ:CENT " + NumberText::Plain(p.AnaFreq) + " MHz");
    Send(IEC::Instance().RFSourVIF(),
         "SOUR:FREQ " + NumberText::Plain(p.GenFreq + FrequencyTranslation) + "MHz");
}

bool BuildTestSignal() {
    using namespace General;
    switch (SignalType) {
    case 0:
        TestSigGen::MakeNoiseSignal();
        break;
    case 1:
        TestSigGen::MakeDualToneSignal();
        break;
    case 2:
        if (const std::int32_t status = TestSigGen::LoadSimulatedSignal(); status != 0) {
            Fail("Test signal file " + PlenwavePath + " could not be read (status " +
                 std::to_string(status) + ").");
            return false;
        }
        break;
    default:
        Fail("Test signal type " + std::to_string(SignalType) + " cannot be built.");
        return false;
    }
    if (TestSignalI.size() < size_t(std::max(SamplingDepth, 1))) {
        Fail("Capture length must be less than test signal length!");
        return false;
    }
    return true;
}

void Tag(WVClass& wv) {
    using namespace General;
    if (ModulatorType >= 0 && ModulatorType <= 2) wv.SetARBType(ModulatorType);
    wv.SetFileDate(Services::Clock().Now().toString("yyyy-MM-dd;hh:mm:ss").toStdString());
    wv.SetComment(WVTagComment);
    wv.SetCopyRight(WVTagCopyRight);
}

void SetMarker(WVClass& wv, const std::vector<double>& I) {
    const long last = long(I.size()) - 1;
    wv.SetMarker(1, General::ModulatorType == 2 ? "0:1;11:0;" + std::to_string(last) + ":0"
                                                : "0-10:1;11:0");
}

bool Upload(WVClass& wv, const std::vector<double>& I, const std::vector<double>& Q) {
    const std::shared_ptr<VIF> mod = IEC::Instance().ModSourVIF();
    const std::int16_t result =
        mod ? wv.UploadWV(*mod, I, Q, 4096) : std::int16_t(WVClass::UploadWriteFailed);
    if (result != WVClass::UploadOK) {
        Fail("Waveform " + wv.FileName() + " could not be uploaded (error " +
             std::to_string(result) + ").");
        return false;
    }
    // A block write polls no errors: ask whether the source took the file, so
    // that an older waveform of the same name is never played instead.
    if (std::string errors; mod->PollErrors(errors)) {
        // A source that went away answers nothing at all.
        Fail(errors.empty() ? "Modulation source stopped answering after waveform " +
                                  wv.FileName() + " was uploaded."
                            : "Waveform " + wv.FileName() +
                                  " was refused by the modulation source (" + errors + ").");
        return false;
    }
    IECMacros::SetARBClock(General::NoiseClock);
    return true;
}

// Builds and uploads the plain test signal of the point's rate.
bool DownloadTestSignal(const SweepPoint& p) {
    using namespace General;
    NoiseBandwidth = p.Rate;
    if (!BuildTestSignal() || Aborted()) return false;
    AddStatus("download test signal to modulator STARTED");
    WVClass& wv = TestSignal();
    Tag(wv);
    wv.SetCrestFactor(TestSignalCrest);
    wv.SetFileName(TestSigGen::SignalTag());
    SetMarker(wv, TestSignalI);
    if (!Upload(wv, TestSignalI, TestSignalQ)) return false;
    AddStatus("download test signal to modulator FINISHED");
    return true;
}

// Makes the modulation source play the waveform just uploaded.
bool PlayUploaded(const std::string& name) {
    using namespace General;
    const std::shared_ptr<VIF> mod = IEC::Instance().ModSourVIF();
    if (ModulatorType == 0) {
        Send(mod, "OUTP:I:STAT OFF");
        Send(mod, "OUTP:Q:STAT OFF");
    }
    if (!IECMacros::LoadARBWaveform(name)) {
        Fail("Waveform " + name + " not found on the modulation source.");
        return false;
    }
    IECMacros::SetARBClock(NoiseClock);
    if (ModulatorType != 0) return true;
    if (NoiseIAmp == 1.0 && NoiseQAmp == 1.0) {
        Send(mod, "OUTP:I:STAT FIX");
        Send(mod, "OUTP:Q:STAT FIX");
    } else {
        Send(mod, "OUTP:I:STAT VAR");
        Send(mod, "OUTP:Q:STAT VAR");
        Send(mod, "OUTP:I:AMPL " + NumberText::Plain(NoiseIAmp) + "V");
        Send(mod, "OUTP:Q:AMPL " + NumberText::Plain(NoiseQAmp) + "V");
    }
    return true;
}

// A generator that reads its level as the waveform's RMS level would put a
// variant's full scale its added crest factor above the drive its curves were
// measured at. The variant is played its own crest factor below the
// reference's full scale instead, the level set with the output off, so that
// no waveform meets a higher peak meanwhile.
bool PlayAtDriveOfCurves(const std::string& name, double crest) {
    const std::shared_ptr<VIF> rf = IEC::Instance().RFSourVIF();
    const double fullScale = Leveling::FullScaleLevel(General::GenRMSLevel);
    Send(rf, "OUTP:STAT OFF");
    Send(rf, Leveling::LevelCommand(fullScale - crest));
    return PlayUploaded(name); // which switches the output on again
}

bool VerifyVariant(SweepPoint& p, int k) {
    using namespace General;
    TestSigGen::DistortTestSignal(TestSignalI, TestSignalQ, DistTestSignalI, DistTestSignalQ,
                                  std::int16_t(k));
    WVClass& wv = TestSignal();
    Tag(wv);
    wv.SetFileName(TestSigGen::SignalTag());
    wv.SetCrestFactor(DSP::IntMath().ArrayCrestIQ(DistTestSignalI, DistTestSignalQ));
    SetMarker(wv, DistTestSignalI);
    if (!Upload(wv, DistTestSignalI, DistTestSignalQ)) return false;
    ShowCurrentPoint();
    const std::string name = StringOp::TrimWhite(wv.FileName());
    if (!(Leveling::LevelIsRMS() ? PlayAtDriveOfCurves(name, wv.CrestFactor())
                                 : PlayUploaded(name)))
        return false;
    WaitSeconds(ApplyAndMeasurement);
    Verification::Predistorted(p, k);
    return !Aborted();
}

bool Verify(SweepPoint& p) {
    using namespace General;
    RunProgress::ShowState(StepVerification);
    Verification::ShowWindow();
    ShowCurrentPoint();
    Verification::Reference(p);
    if (Aborted()) return false;
    ShowCurrentPoint();
    Verification::Amplifier(p);
    if (Aborted()) return false;
    const std::array<bool, 3> chosen{VerifyAM, VerifyPM, VerifyAMPM};
    for (int k = 0; k < 3; ++k)
        if (chosen[size_t(k)] && !VerifyVariant(p, k)) return false;
    Verification::SetTraces(chosen);
    return true;
}

bool MeasurePoint(size_t i) {
    using namespace General;
    SweepPoint& p = SweepPoints[i];
    SetUpPoint(p);
    if ((i == 1 || p.Rate != SweepPoints[i - 1].Rate) && !DownloadTestSignal(p)) return false;
    ACP::PresentWindow();
    ACP::MeasureCurve();
    if (Aborted()) return false;
    return !Predistore || Verify(SweepPoints[i]);
}

} // namespace

void RunMeasurement() {
    using namespace General;
    using Seconds = std::chrono::duration<double>;
    const auto start = Services::Clock().Monotonic();
    Verification::BeginRun();
    const size_t last = SweepPoints.size() - (SweepPoints.empty() ? 0 : 1);
    if (last < 1) return Fail("The sweep has no points.");
    for (size_t i = 1; i <= last; ++i) {
        if (!MeasurePoint(i)) return;
        const double elapsed = Seconds(Services::Clock().Monotonic() - start).count();
        RemainingTime = elapsed / double(i) * double(SweepPointCount - long(i));
        RemainingTimeText = DSP::IntMath().ZeitString(RemainingTime);
        ShowCurrentPoint();
    }
    SwitchRFOff();
    AddStatus("ready");
    RemainingTimeText = "finished.";
    ShowCurrentPoint();
}

void SwitchRFOff() {
    const std::shared_ptr<VIF> rf = IEC::Instance().RFSourVIF();
    if (rf && rf->InstOpen()) rf->WriteString("OUTP:STAT OFF", 0);
}

} // namespace CrossMix
