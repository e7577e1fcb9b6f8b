// The curve half of a sweep point: alignment, point sets, fits and graphs, in
// the order the operator watches them appear.

#include "CurveProcessing.h"

#include "AnalysisControls.h"
#include "CrossMix.h"
#include "CurveDisplay.h"
#include "CurveFits.h"
#include "CurvePoints.h"
#include "DSP.h"
#include "DensityGrid.h"
#include "General.h"
#include "ResultSink.h"
#include "TimingAlignment.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace CurveProcessing {

namespace {

using Array = std::vector<double>;

// Cross-spectrum bins below this share of the strongest carry none of the
// reference's power: the fine-timing fit weighs them at its floor.
constexpr double kEmptyBin = 1e-7;

void Abort(const std::string& why) {
    General::MeasureRunAbort = true;
    General::RunErrorText = why;
    CrossMix::AddStatus(why);
}

// Non-finite samples become 0, so the transforms can run; the flags say
// which samples they were.
std::vector<bool> Sanitise(Array& I, Array& Q) {
    std::vector<bool> bad(I.size(), false);
    for (std::size_t k = 0; k < I.size(); ++k) {
        if (std::isfinite(I[k]) && std::isfinite(Q[k])) continue;
        bad[k] = true;
        I[k] = Q[k] = 0.0;
    }
    return bad;
}

// The reference's flags after it moved by `shift` samples, or'ed with the
// output's: a flagged reference sample k ends near k - shift.
std::vector<bool> Unusable(const std::vector<bool>& ref, const std::vector<bool>& out,
                           double shift) {
    const auto n = static_cast<long long>(out.size());
    std::vector<bool> bad = out;
    if (n == 0 || std::find(ref.begin(), ref.end(), true) == ref.end()) return bad;
    const auto s = static_cast<long long>(std::llround(std::fmod(shift, static_cast<double>(n))));
    for (long long k = 0; k < n; ++k)
        if (ref[static_cast<std::size_t>(((k + s) % n + n) % n)])
            bad[static_cast<std::size_t>(k)] = true;
    return bad;
}

// Storage for the point sets being made.
CurvePoints::PointSets& Spare() {
    static CurvePoints::PointSets spare;
    return spare;
}

// The point sets trade places with the shared ones: the new values go out,
// the last point's arrays come in as storage for the next extraction.
void Publish(CurvePoints::PointSets& p) {
    General::InputAmplitude.swap(p.inputAmplitude);
    General::InputPhase.swap(p.inputPhase);
    General::OutputAmplitude.swap(p.outputAmplitude);
    General::OutputPhase.swap(p.outputPhase);
    General::PhaseDifferenceRad.swap(p.phaseDifferenceRad);
    General::PhaseDifference.swap(p.phaseDifference);
}

// The amplitudes with unusable samples as 0, for the correlation; the
// amplitudes themselves when all are usable, the usual case.
const Array& Finite(const Array& x, Array& copy) {
    if (std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })) return x;
    copy = x;
    for (double& v : copy)
        if (!std::isfinite(v)) v = 0.0;
    return copy;
}

// The axis captions the graph has before its first drawing.
void Label(CurveGraph graph) {
    const GraphCaptions captions = FirstCaptions(graph);
    CurveDisplay::Get().SetAxisLabels(graph, captions.x, captions.y);
}

void Densities(const char* amamCaption, const char* ampmCaption, int amamSlot, int ampmSlot) {
    CurveDisplay& display = CurveDisplay::Get();
    display.SetCaption(CurveGraph::AMAM, amamCaption);
    display.SetCaption(CurveGraph::AMPM, ampmCaption);
    DensityGrid::DrawAMAMDensity(General::InputAmplitude, General::OutputAmplitude);
    DensityGrid::DrawAMPMDensity(General::InputAmplitude, General::PhaseDifference);
    General::Pictures[static_cast<std::size_t>(amamSlot)] = display.Picture(CurveGraph::AMAM);
    General::Pictures[static_cast<std::size_t>(ampmSlot)] = display.Picture(CurveGraph::AMPM);
}

void ShowCrossSpectrum(const Array& mag, const Array& phase, const char* magCaption,
                       const char* phaseCaption, int magSlot, int phaseSlot) {
    CurveDisplay& display = CurveDisplay::Get();
    display.Clear(CurveGraph::Corr1);
    display.AddTrace(CurveGraph::Corr1, mag);
    display.Clear(CurveGraph::Corr2);
    display.AddTrace(CurveGraph::Corr2, phase);
    display.SetCaption(CurveGraph::Corr1, magCaption);
    display.SetCaption(CurveGraph::Corr2, phaseCaption);
    // The same graphs show the histograms later, with captions of their own.
    Label(CurveGraph::Corr1);
    Label(CurveGraph::Corr2);
    General::Pictures[static_cast<std::size_t>(magSlot)] = display.Picture(CurveGraph::Corr1);
    General::Pictures[static_cast<std::size_t>(phaseSlot)] = display.Picture(CurveGraph::Corr2);
}

void Rotate(Array& x, std::int32_t lag) {
    const auto n = static_cast<long long>(x.size());
    if (n == 0) return;
    const long long s = ((lag % n) + n) % n;
    std::rotate(x.begin(), x.begin() + s, x.end());
}

// Reference and output of one length, and not empty.
bool CheckRecords() {
    auto& store = General::SignalStore;
    const std::size_t n = store[0].size();
    if (n == 0 || store[1].size() != n || store[2].size() != n || store[3].size() != n) {
        Abort("The reference and amplifier records are empty or differ in length.");
        return false;
    }
    return true;
}

void CutToDepth() {
    auto& store = General::SignalStore;
    const auto depth = static_cast<std::size_t>(std::max(General::SamplingDepth, 0));
    if (depth == 0 || depth >= store[0].size()) return;
    // The output is cut with the reference, so both stay one length.
    for (int slot = 0; slot < 4; ++slot)
        store[static_cast<std::size_t>(slot)].resize(depth);
}

// Steps after the alignment: rows 16 to 18 and the aligned point sets.
bool Align(std::vector<bool>& refBad, std::vector<bool>& outBad, double& gain);
bool FitAndShow();
void Histograms();

} // namespace

void Process() {
    if (!CheckRecords()) return;
    auto& store = General::SignalStore;
    std::vector<bool> refBad = Sanitise(store[0], store[1]);
    std::vector<bool> outBad = Sanitise(store[2], store[3]);
    std::size_t usable = 0;
    for (std::size_t k = 0; k < outBad.size(); ++k)
        if (!refBad[k] && !outBad[k]) ++usable;
    if (usable == 0) {
        Abort("The reference and amplifier records hold no usable sample.");
        return;
    }

    CurvePoints::PointSets& points = Spare();
    std::vector<bool> bad = outBad;
    for (std::size_t k = 0; k < bad.size(); ++k)
        if (refBad[k]) bad[k] = true;
    CurvePoints::Extract(store[0], store[1], store[2], store[3], bad, points);
    Publish(points);
    // The first pictures of the clouds carry their axis captions too.
    Label(CurveGraph::AMAM);
    Label(CurveGraph::AMPM);
    Densities("AM/AM, timing NOT corrected", "AM/PM, timing NOT corrected", 4, 5);

    double gain = 0.0;
    if (!Align(refBad, outBad, gain)) return;
    General::CurveGain = gain;
    Densities("AM/AM, timing corrected", "AM/PM, timing corrected", 6, 7);
    if (!FitAndShow()) return;

    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    CrossMix::AddStatus("ready.");
}

namespace {

bool Align(std::vector<bool>& refBad, std::vector<bool>& outBad, double& gain) {
    auto& store = General::SignalStore;
    MathClass& math = DSP::IntMath();
    ResultSink& results = ResultSink::Get();

    std::int32_t lag = 0;
    Array inCopy, outCopy;
    if (!TimingAlignment::CoarseLag(Finite(General::InputAmplitude, inCopy),
                                    Finite(General::OutputAmplitude, outCopy), lag)) {
        Abort("The amplitude correlation of the records failed.");
        return false;
    }
    General::CoarseLag = lag;
    results.ShowValue(15, static_cast<float>(lag), static_cast<float>(lag));
    // A whole-sample shift is the rotation out(k) = in((k + lag) mod n), which
    // needs no transform.
    Rotate(store[0], lag);
    Rotate(store[1], lag);
    CutToDepth();
    refBad.resize(store[0].size());
    outBad.resize(store[0].size());

    // Kept between points, like the point sets.
    static Array mag, phase;
    math.ShiftService(store[0], store[1], store[2], store[3], mag, phase);
    CrossMix::AddStatus("preparing display for timing, please wait...");
    ShowCrossSpectrum(mag, phase, "Correlated Amplitude Spectrum - Without Fine Timing Correction",
                      "Correlated Phase Spectrum - Without Fine Timing Correction", 0, 1);

    // A dual tone's cross spectrum has power in its two tone bins only; the
    // phase between them is noise, and unwrapped through it would add a
    // random number of turns between the tones. The fit weighs the empty bins
    // at its floor, so they are also the bins the phase steps over.
    double fine = 0.0;
    if (!math.GetSampleShiftFDom(mag, Analysis::UnwrapOccupied(phase, mag, kEmptyBin), fine)) {
        Abort("The fine timing of the records could not be measured.");
        return false;
    }
    General::TimingError = fine;
    // The tests take the size of the lag: a large lag either way is critical.
    if (!results.ShowValue(16, static_cast<float>(fine), static_cast<float>(fine), 0.0f)) {
        General::MeasureRunAbort = true;
        return false;
    }
    math.ShiftSamples(store[0], store[1], fine);

    // The residual is measured on the cross spectrum of the aligned records,
    // the same one the graphs show afterwards, so it is computed once. Its
    // phase is flat, at the carrier phase between generator and analyzer plus
    // the AM/PM: near ±pi the bins would lie on both ends of the range and
    // the fit would find them wrapped, so they are taken near the strongest.
    math.ShiftService(store[0], store[1], store[2], store[3], mag, phase);
    double residual = 0.0;
    if (!math.GetSampleShiftFDom(mag, Analysis::NearStrongest(phase, mag, kEmptyBin), residual)) {
        Abort("The remaining timing difference could not be measured.");
        return false;
    }
    General::TimingErrorCorrected = residual;
    if (!results.ShowValue(17, static_cast<float>(residual), static_cast<float>(residual), 0.0f)) {
        General::MeasureRunAbort = true;
        return false;
    }

    // The reference moved by lag + fine onto the output: the output lags the
    // reference by minus that.
    const double fs = General::SamplingRate;
    General::GroupDelay = fs > 0 ? -(lag + fine) * 1e9 / fs : 0.0;
    const double uncertainty = fs > 0 ? 1.0 / fs * 5 * 1e9 : 0.0;
    if (!results.ShowValue(18, static_cast<float>(General::GroupDelay),
                           static_cast<float>(General::GroupDelay),
                           static_cast<float>(uncertainty))) {
        General::MeasureRunAbort = true;
        return false;
    }

    ShowCrossSpectrum(mag, phase, "Correlated Amplitude Spectrum - WITH Timing Correction",
                      "Correlated Phase Spectrum - WITH Timing Correction", 2, 3);

    CurvePoints::PointSets& points = Spare();
    if (!CurvePoints::ExtractAligned(store[0], store[1], store[2], store[3],
                                     Unusable(refBad, outBad, lag + fine), points, gain)) {
        Publish(points);
        Abort("The aligned records hold no usable point: the amplifier gain is zero.");
        return false;
    }
    Publish(points);
    return true;
}

bool FitAndShow() {
    auto& store = General::SignalStore;
    const CurveFits::FitSettings settings = CurveFits::SettingsFromGeneral();
    CurveFits::Curve amam = CurveFits::AverageCurveOnGrid(
        General::InputAmplitude, General::OutputAmplitude, settings.amamGrid);
    CurveFits::Curve ampm = CurveFits::AverageCurveOnGrid(
        General::InputAmplitude, General::PhaseDifferenceRad, settings.ampmGrid);
    CurveFits::ApplyAMAMLowLevel(amam, settings.amamLow);
    CurveFits::ApplyAMPMLowLevel(ampm, settings.ampmLow);
    store[30] = amam.x;
    store[31] = amam.y;
    store[32] = ampm.x;
    store[33] = ampm.y;

    CurveFits::Model model;
    const std::string why = CurveFits::FitModel(amam, ampm, settings, model);
    if (!why.empty()) {
        Abort(why);
        return false;
    }
    General::AMAMCoeff = model.amamCoeff;
    General::AMAMPreCoeff = model.amamPreCoeff;
    General::AMPMCoeff = model.ampmCoeff;
    General::AMPMPreCoeff = model.ampmPreCoeff;
    General::AMAMError = model.amamError;
    General::AMAMInvError = model.amamInvError;
    General::AMPMError = model.ampmError;
    General::AMPMInvError = model.ampmInvError;
    General::CurveScale = model.curveScale;

    CurveDisplay& display = CurveDisplay::Get();
    display.AddPlot(CurveGraph::AMAM, amam.x, amam.y, PlotStyle::GridCurve);
    Array ampmDegrees = ampm.y;
    for (double& v : ampmDegrees)
        v *= 180.0 / DSP::IntMath().ConstPi();
    display.AddPlot(CurveGraph::AMPM, ampm.x, ampmDegrees, PlotStyle::GridCurve);
    Histograms();

    const Array ramp = Analysis::Ramp(101, 0.0, 1.0);
    display.AddPlot(CurveGraph::AMAM, ramp, Analysis::PolyEval(ramp, model.amamCoeff),
                    PlotStyle::ModelFit);
    display.AddPlot(CurveGraph::AMAM, ramp, Analysis::PolyEval(ramp, model.amamPreCoeff),
                    PlotStyle::InverseFit);
    Array pm = Analysis::PolyEval(ramp, model.ampmCoeff);
    for (double& v : pm)
        v *= 180.0 / DSP::IntMath().ConstPi();
    display.AddPlot(CurveGraph::AMPM, ramp, pm, PlotStyle::ModelFit);
    return true;
}

// Percent of the samples per bin.
void Histogram(CurveGraph graph, const Array& values, double low, double high, std::size_t bins,
               double axisScale, const char* caption, const char* xLabel) {
    Array counts, axis;
    Analysis::Histogram(values, low, high, bins, counts, axis);
    const double percent = values.empty() ? 0.0 : 100.0 / static_cast<double>(values.size());
    for (double& c : counts)
        c *= percent;
    for (double& a : axis)
        a *= axisScale;
    CurveDisplay& display = CurveDisplay::Get();
    display.Clear(graph);
    display.SetCaption(graph, caption);
    display.SetAxisLabels(graph, xLabel, "Propability [%]");
    display.AddPlot(graph, axis, counts, PlotStyle::Trace);
}

void Histograms() {
    const double pi = DSP::IntMath().ConstPi();
    Histogram(CurveGraph::Corr1, General::OutputAmplitude, 0.0, 1.0, 100, 1.0,
              "Amplitude Histrogramm - Amplifier Output", "Normalized Amplitude");
    Histogram(CurveGraph::Corr2, General::PhaseDifferenceRad, -pi / 8, pi / 8, 360, 180.0 / pi,
              "Phase Difference Histrogramm - Amplifier Output", "Phase Difference [°]");
}

} // namespace

} // namespace CurveProcessing
