// The verification's capture, simulation and channel-power evaluation.

#include "Verification.h"

#include "AnalysisControls.h"
#include "CrossMix.h"
#include "DSP.h"
#include "General.h"
#include "HOx.h"
#include "IEC.h"
#include "Leveling.h"
#include "SpecialCalc.h"
#include "TestSigGen.h"

#include <algorithm>

namespace Verification {
namespace {

ViewMaker g_maker = nullptr;

std::vector<double>& Slot(int k) {
    return General::SignalStore[std::size_t(k)];
}

void Abort(const std::string& text) {
    General::RunErrorText = text;
    General::MeasureRunAbort = true;
    CrossMix::AddStatus(text);
}

void Capture(int variant) {
    CrossMix::WaitSeconds(General::ApplyAndMeasurement);
    auto& I = Slot(20 + 2 * variant);
    auto& Q = Slot(21 + 2 * variant);
    I.clear();
    Q.clear();
    const auto vif = IEC::Instance().AnaVIF();
    if (!vif) return Abort("Verification: there is no analyzer session.");
    if (!HOx::StartIQCapture(*vif, General::AnalyzerType) ||
        !vif->ReadIQArray("TRAC:IQ:DATA?", I, Q, 524288, 1024, -1) || I.empty())
        return Abort("Verification: the analyzer delivered no I/Q data (missing trigger?).");
    if (std::int64_t(I.size()) != General::SamplingDepth || Q.size() != I.size())
        return Abort("Verification: the analyzer delivered " + std::to_string(I.size()) +
                     " samples instead of " + std::to_string(General::SamplingDepth) + ".");
    HOx::ScaleIQToRefLevel(I, Q, General::AnalyzerType);
}

// The level (dBm) of amplitude 1.0 in a stage's records: the reference is the
// test signal in units of the generator's full scale, every capture is scaled
// to the analyzer's reference level (carried in single precision).
double UnitLevel(int row) {
    if (row == Mode::Reference) return Leveling::FullScaleLevel(General::GenRMSLevel);
    return double(float(General::AnaRefLevel));
}

// Main channel, then per pair up and low, as the columns say. A channel that
// cannot be measured (no rate, a bandwidth that is no positive number) is NaN,
// and so is every column measured against it.
void ChannelPowers(State& s, int row) {
    const MathClass& m = DSP::IntMath();
    const auto& acp = General::ACP;
    const double fs = HOx::IQSampleRate / 1e6;
    const double ref = float(General::AnaRefLevel);
    // SignalPower reads the magnitudes as volts into 50 ohm and corrects for
    // an amplitude window; these are in units of the stage's level, and the
    // window weighed each sample's power (its mean weight is the power lost).
    const double offset =
        UnitLevel(row) -
        SpecialCalc::ConvertLevel(1.0, SpecialCalc::UnitV, SpecialCalc::UnitDBm, 50) -
        m.ConvertPowerToDB(m.SignalWindowPowerGain(General::Window, s.DisplaySpectrum.size()));
    auto power = [&](double centre, double bw) {
        double p = 0;
        if (!m.SignalPower(s.DisplaySpectrum, fs, centre, bw, WindowNone, ref, p))
            return NotMeasured;
        return p + offset;
    };
    ResultRow& r = s.ChannelResult[std::size_t(row)];
    r[3] = power(0, acp.MainBW);
    const int channels = std::clamp<int>(acp.Channels, 0, 3);
    for (int n = 1; n <= channels; ++n) {
        r[std::size_t(3 + n)] = r[3] - power(acp.UpperSpace[n - 1], acp.UpperBW[n - 1]);
        r[std::size_t(3 - n)] = r[3] - power(-acp.LowerSpace[n - 1], acp.LowerBW[n - 1]);
    }
}

} // namespace

int FirstSlot(long mode, int variant) {
    switch (mode) {
    case Mode::Amplifier:
        return 2;
    case Mode::Predistorted:
        return 20 + 2 * variant;
    case Mode::SimAmplifier:
        return 40;
    case Mode::SimPredistorted:
        return 42 + 2 * variant;
    case Mode::NoiseFloor:
        return 4;
    default:
        return 0;
    }
}

void GetIQSignal(long mode, int variant) {
    if ((mode == Mode::Predistorted || mode == Mode::SimPredistorted) &&
        (variant < 0 || variant > 2))
        return;
    if (mode == Mode::Predistorted)
        Capture(variant);
    else if (mode == Mode::SimAmplifier)
        TestSigGen::SimulateDUT(Slot(0), Slot(1), Slot(40), Slot(41));
    else if (mode == Mode::SimPredistorted)
        TestSigGen::SimulateDistortion(Slot(0), Slot(1), Slot(42 + 2 * variant),
                                       Slot(43 + 2 * variant), std::int16_t(variant));
}

void ProcessACPData(State& s, long mode, int variant) {
    if ((mode == Mode::Predistorted || mode == Mode::SimPredistorted) &&
        (variant < 0 || variant > 2))
        return;
    const MathClass& m = DSP::IntMath();
    const int slot = FirstSlot(mode, variant);
    m.SignalUseWindow(Slot(slot), Slot(slot + 1), s.SpectrumI, s.SpectrumQ, General::Window);
    std::vector<double> re, im;
    Analysis::FFT(s.SpectrumI, s.SpectrumQ, re, im);
    s.SpectrumI = std::move(re);
    s.SpectrumQ = std::move(im);
    m.FFTFlip(s.SpectrumI, s.SpectrumQ);
    std::vector<double> phase;
    Analysis::ToPolar(s.SpectrumI, s.SpectrumQ, s.DisplaySpectrum, phase);
    const double n = double(s.DisplaySpectrum.size());
    for (double& v : s.DisplaySpectrum)
        v /= n;
    if (mode >= Mode::Reference && mode <= Mode::Predistorted) ChannelPowers(s, int(mode));
    m.SignalDetector(s.DisplaySpectrum, s.DisplaySpectrum, General::Detector,
                     General::DetectorParameter);
    m.ArrayConvertAmptoDB(s.DisplaySpectrum, s.DisplaySpectrum);
    // The display offset of the HOx families; the DANE family's trace gets none.
    if (General::AnalyzerType >= 1 && General::AnalyzerType <= 3)
        for (double& v : s.DisplaySpectrum)
            v += 13.0103;
}

void SetViewMaker(ViewMaker maker) {
    g_maker = maker;
}

Run& Run::Instance() {
    static Run run;
    return run;
}

State& Run::Current() {
    if (!state_) state_ = std::make_shared<State>();
    return *state_;
}

void Run::Begin() {
    if (!state_) state_ = std::make_shared<State>();
    if (view_ || !g_maker) return;
    // Room first: what the oldest view gives back when it closes then serves
    // the new one.
    while (kept_.size() >= KeptViews) {
        // Out of the list first: the view may withdraw itself while it closes.
        View* oldest = kept_.front();
        kept_.pop_front();
        oldest->Close();
    }
    view_ = g_maker(state_);
    if (view_) kept_.push_back(view_);
}

void Run::Forget(View* view) {
    Run& run = Instance();
    if (run.view_ == view) run.view_ = nullptr;
    std::erase(run.kept_, view);
}

void Run::Reset() {
    state_.reset();
    view_ = nullptr;
}

} // namespace Verification
