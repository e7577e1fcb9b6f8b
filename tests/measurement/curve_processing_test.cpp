// The curve half of a sweep point on synthetic records of known delay, gain
// and AM/PM: the lags, curves and coefficients found, the pictures stored,
// the low-level rules, and the records that must stop the point.

#include "../support/fakes.h"
#include "CurveProcessing.h"
#include "NumberText.h"
#include "curve_support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

double Am(double a) {
    return a - 0.2 * a * a * a;
}
double Pm(double a) {
    return 0.3 * a * a;
}

struct CurveProcessingTest : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    FakeResults results;
    Installed<ResultSink> installResults{&results};
    FakeDisplay display;
    Installed<CurveDisplay> installDisplay{&display};
    Record ref = NoiseRecord(8192);

    void SetUp() override {
        General::MeasureRunAbort = false;
        General::RunErrorText.clear();
        General::SamplingRate = 16e6;
        General::AMAMGrid = General::AMPMGrid = 50;
        General::AMAMOrder = 3;
        General::AMPMOrder = 2;
        General::AMAMLowLim = General::AMPMLowLim = 20;
        General::AMAMLowIgn = General::AMAMLowSet = false;
        General::AMPMLowIgn = General::AMPMLowSet = false;
        General::AMAMCoeff = {7};
        General::CurveScale = 0.5;
    }
    void TearDown() override { General::MeasureRunAbort = false; }

    // Σa² / Σa·am(a): the reciprocal of the gain statistic, so the
    // normalised curve is this times am(a).
    double Normalisation() const {
        double saa = 0, sam = 0;
        for (std::size_t k = 0; k < ref.I.size(); ++k) {
            const double a = std::hypot(ref.I[k], ref.Q[k]);
            saa += a * a;
            sam += a * Am(a);
        }
        return saa / sam;
    }
    double MeanPm() const {
        double s = 0;
        for (std::size_t k = 0; k < ref.I.size(); ++k)
            s += Pm(std::hypot(ref.I[k], ref.Q[k]));
        return s / static_cast<double>(ref.I.size());
    }
    bool Ready() const { return !status.lines.empty() && status.lines.back() == "ready."; }
};

} // namespace

TEST_F(CurveProcessingTest, KnownDelayGainAndAMPMAreFound) {
    struct Case {
        double delay;
        std::int32_t coarse;
    };
    for (const Case& c : {Case{0, 0}, Case{3.37, -3}, Case{5.7, -6}, Case{-7.6, 8}, Case{-0.3, 0},
                          Case{3000.25, -3000}}) {
        SCOPED_TRACE(c.delay);
        status.lines.clear();
        display.captions.clear();
        display.axisLabels.clear(); // a display as new, as at a run's first point
        Store(ref, Amplify(ref, 3.5, Am, Pm, 1.0, c.delay));
        CurveProcessing::Process();
        ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
        EXPECT_TRUE(Ready());

        EXPECT_EQ(General::CoarseLag, c.coarse);
        EXPECT_NEAR(General::CoarseLag + General::TimingError, -c.delay, 0.01);
        EXPECT_NEAR(General::TimingErrorCorrected, 0.0, 0.01);
        EXPECT_NEAR(General::GroupDelay, c.delay / 16e6 * 1e9, 1.0);
        EXPECT_EQ(results.values.at(15), c.coarse);
        EXPECT_EQ(results.extras.at(16), 0.0f); // tested by size
        EXPECT_EQ(results.extras.at(17), 0.0f);
        EXPECT_FLOAT_EQ(*results.extras.at(18), 312.5f);

        const double n = Normalisation();
        const std::vector<double> amam = {0, n, 0, -0.2 * n};
        ASSERT_EQ(General::AMAMCoeff.size(), 4u);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_NEAR(General::AMAMCoeff[k], amam[k], 2e-3) << k;
        const std::vector<double> ampm = {-MeanPm(), 0, 0.3};
        ASSERT_EQ(General::AMPMCoeff.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(General::AMPMCoeff[k], ampm[k], 2e-3) << k;
            EXPECT_EQ(General::AMPMPreCoeff[k], -General::AMPMCoeff[k]);
        }
        EXPECT_EQ(General::SignalStore[30].size(), General::SignalStore[31].size());
        EXPECT_GT(General::SignalStore[30].size(), 40u);
        EXPECT_EQ(General::SignalStore[32].size() + 1, General::SignalStore[30].size());
    }
    // Slots 0..3 the cross spectra (Corr1, Corr2), 4..7 the clouds (AM/AM,
    // AM/PM), before and after correction.
    const int graphOfSlot[] = {3, 4, 3, 4, 1, 2, 1, 2};
    for (int slot = 0; slot < 8; ++slot)
        EXPECT_EQ(General::Pictures[static_cast<std::size_t>(slot)].width(), graphOfSlot[slot]);
    // The cross spectra carry captions of their own, not those the histograms
    // left in the same graphs at the point before; the clouds carry theirs
    // from their first picture on.
    const char* const axes[8][2] = {{"Frequency bin", "Magnitude"},
                                    {"Frequency bin", "Phase [rad]"},
                                    {"Frequency bin", "Magnitude"},
                                    {"Frequency bin", "Phase [rad]"},
                                    {"Linear INPUT voltage", "Linear OUTPUT voltage"},
                                    {"Linear INPUT voltage", "Phase Difference [°]"},
                                    {"Linear INPUT voltage", "Linear OUTPUT voltage"},
                                    {"Linear INPUT voltage", "Phase Difference [°]"}};
    for (std::size_t slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(General::Pictures[slot].text("x").toStdString(), axes[slot][0]) << slot;
        EXPECT_EQ(General::Pictures[slot].text("y").toStdString(), axes[slot][1]) << slot;
    }
    EXPECT_EQ(display.axisLabels[CurveGraph::Corr1],
              (std::pair<std::string, std::string>{"Normalized Amplitude", "Propability [%]"}));
    EXPECT_EQ(display.captions[CurveGraph::AMAM],
              (std::vector<std::string>{"AM/AM, timing NOT corrected", "AM/AM, timing corrected"}));
    EXPECT_EQ(display.captions[CurveGraph::Corr2].back(),
              "Phase Difference Histrogramm - Amplifier Output");
    // The last cloud, the gridded curve and both fits.
    EXPECT_EQ(
        display.plots[CurveGraph::AMAM],
        (std::vector<PlotStyle>{PlotStyle::GridCurve, PlotStyle::ModelFit, PlotStyle::InverseFit}));
}

// The carrier phase between generator and analyzer may be anywhere, and an
// input may lie on one axis (a dual tone lies on I). Near a quarter turn
// either way, and with an input on the Q axis near 0 or 180 degrees, the
// aligned AM/PM points stay together around their mean and give the curve of
// the amplifier, as they do at 0 degrees. The phases step finer than the
// cloud is wide, so one of them puts its middle where a centre taken wrongly
// would cut it apart.
TEST_F(CurveProcessingTest, AMPMPointsStayTogetherWhateverTheCarrierPhase) {
    const Record noise = ref;
    Record onI = noise, onQ = noise;
    onI.Q.assign(noise.Q.size(), 0.0);
    onQ.I.assign(noise.I.size(), 0.0);
    onQ.Q = noise.I;
    struct Case {
        const char* input;
        const Record& record;
        std::vector<double> phasesDegrees;
    };
    const Case cases[] = {
        {"noise", noise, {0, 75, 80, 85, 90, 95, 100, -75, -80, -85, -90, -95, -100}},
        {"on I", onI, {0, 80, 85, 90, -80, -85, -90}},
        {"on Q", onQ, {-10, -5, 0, 5, 170, 175, 180, 185}},
    };
    for (const Case& c : cases)
        for (double phase : c.phasesDegrees) {
            SCOPED_TRACE(std::string(c.input) + " at " + std::to_string(phase) + " degrees");
            General::MeasureRunAbort = false;
            ref = c.record;
            Store(ref, Amplify(ref, 1.0, Am, Pm, phase * M_PI / 180, 2.0));
            CurveProcessing::Process();
            ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
            // A real input's zero crossings have no phase to speak of: the
            // points are held from a tenth of full scale up.
            double widest = 0;
            for (std::size_t k = 0; k < General::PhaseDifferenceRad.size(); ++k)
                if (General::InputAmplitude[k] > 0.1)
                    widest = std::max(widest, std::abs(General::PhaseDifferenceRad[k]));
            EXPECT_LT(widest, 0.3) << "rad from the mean: the amplifier turns by 0.3 at most";
            const std::vector<double> ampm = {-MeanPm(), 0, 0.3};
            ASSERT_EQ(General::AMPMCoeff.size(), 3u);
            for (std::size_t k = 0; k < 3; ++k)
                EXPECT_NEAR(General::AMPMCoeff[k], ampm[k], 2e-3) << k;
        }
}

TEST_F(CurveProcessingTest, PredistortionUndoesTheModelWithinTheFitError) {
    General::AMAMOrder = 9;
    Store(ref, Amplify(ref, 0.2, Am, Pm, -2.0, 11.4));
    CurveProcessing::Process();
    ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
    const MathClass& math = DSP::IntMath();
    const double top = General::SignalStore[30].back();
    for (double x = 0.02; x <= top; x += 0.02)
        EXPECT_NEAR(math.PolyCalc(General::AMAMPreCoeff, math.PolyCalc(General::AMAMCoeff, x)), x,
                    2e-3)
            << x;
    EXPECT_LT(General::AMAMError, -80);
    EXPECT_GT(General::CurveScale, 0.5);
}

TEST_F(CurveProcessingTest, LowLevelRulesShapeTheGriddedCurves) {
    Store(ref, Amplify(ref, 1.0, Am, Pm, 0.0, 2.0));
    CurveProcessing::Process();
    const std::vector<double> x = General::SignalStore[30], y = General::SignalStore[31];
    const std::vector<double> pmY = General::SignalStore[33];
    ASSERT_GT(x.size(), 40u);
    const auto b = static_cast<std::size_t>(NumberText::RoundHalfEven(0.2 * x.size()));

    General::AMAMLowSet = General::AMPMLowSet = true;
    Store(ref, Amplify(ref, 1.0, Am, Pm, 0.0, 2.0));
    CurveProcessing::Process();
    for (std::size_t i = 0; i < x.size(); ++i) {
        EXPECT_EQ(General::SignalStore[31][i], i <= b ? x[i] : y[i]) << i;
        if (i <= b) {
            EXPECT_EQ(General::SignalStore[33][i], 0.0) << i;
        }
    }
    EXPECT_EQ(General::SignalStore[33].size(), x.size()); // no point dropped
    EXPECT_NE(General::SignalStore[33][b + 1], 0.0);

    General::AMAMLowSet = General::AMPMLowSet = false;
    General::AMAMLowIgn = General::AMPMLowIgn = true;
    Store(ref, Amplify(ref, 1.0, Am, Pm, 0.0, 2.0));
    CurveProcessing::Process();
    EXPECT_EQ(General::SignalStore[30], std::vector<double>(x.begin() + b + 1, x.end()));
    EXPECT_EQ(General::SignalStore[32].size(), x.size() - b - 1);
}

TEST_F(CurveProcessingTest, RecordsThatCannotBeProcessedStopThePoint) {
    struct Case {
        const char* what;
        std::function<void(Record&)> spoil;
        const char* message;
    };
    for (const Case& c : {
             Case{"a dead amplifier",
                  [](Record& out) {
                      out.I.assign(out.I.size(), 0.0);
                      out.Q.assign(out.Q.size(), 0.0);
                  },
                  "The aligned records hold no usable point: the amplifier gain is zero."},
             Case{"no finite sample", [](Record& out) { out.I.assign(out.I.size(), NAN); },
                  "The reference and amplifier records hold no usable sample."},
             Case{"records of different length", [](Record& out) { out.Q.pop_back(); },
                  "The reference and amplifier records are empty or differ in length."},
             Case{"no samples",
                  [](Record& out) {
                      out.I.clear();
                      out.Q.clear();
                  },
                  "The reference and amplifier records are empty or differ in length."},
         }) {
        SCOPED_TRACE(c.what);
        General::MeasureRunAbort = false;
        status.lines.clear();
        Record out = Amplify(ref, 1.0, Am, Pm, 0.0, 2.0);
        c.spoil(out);
        Store(ref, out);
        CurveProcessing::Process();
        EXPECT_TRUE(General::MeasureRunAbort);
        EXPECT_EQ(General::RunErrorText, c.message);
        EXPECT_FALSE(Ready());
        EXPECT_EQ(General::AMAMCoeff, std::vector<double>{7}); // the last fit stays
        for (const auto& column : General::DensityGrid[0])
            for (double cell : column)
                ASSERT_TRUE(std::isfinite(cell));
    }
}

TEST_F(CurveProcessingTest, NonFiniteSamplesAreNoPoints) {
    const double n = Normalisation();
    Record out = Amplify(ref, 1.0, Am, Pm, 0.0, 4.0);
    for (std::size_t k = 100; k < 8192; k += 97)
        out.I[k] = k % 2 ? NAN : INFINITY;
    Record spoilt = ref;
    spoilt.Q[50] = NAN;
    Store(spoilt, out);
    CurveProcessing::Process();
    ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
    EXPECT_NEAR(General::CoarseLag + General::TimingError, -4.0, 0.05);
    EXPECT_TRUE(std::isnan(General::OutputAmplitude[100]));
    // The reference moved 4 samples later: its sample 50 stands at 54.
    EXPECT_TRUE(std::isnan(General::OutputAmplitude[54]));
    EXPECT_FALSE(std::isnan(General::OutputAmplitude[50]));
    for (int slot = 30; slot < 34; ++slot)
        for (double v : General::SignalStore[static_cast<std::size_t>(slot)])
            ASSERT_TRUE(std::isfinite(v)) << slot;
    ASSERT_EQ(General::AMAMCoeff.size(), 4u);
    EXPECT_NEAR(General::AMAMCoeff[3], -0.2 * n, 5e-3);
}

TEST_F(CurveProcessingTest, TooFewCurvePointsStopTheFit) {
    General::AMAMGrid = 3;
    Store(ref, Amplify(ref, 1.0, Am, Pm, 0.0, 2.0));
    CurveProcessing::Process();
    EXPECT_TRUE(General::MeasureRunAbort);
    EXPECT_EQ(
        General::RunErrorText,
        "The AM/AM fit of order 3 needs 4 curve points; the measurement gave 3."
        " The test signal met the amplifier at too few levels (a dual tone does when its delay is "
        "a "
        "whole or half number of samples): lower the polynom order (Settings, Options ...) or "
        "measure with band limited noise.");
    EXPECT_EQ(General::AMAMCoeff, std::vector<double>{7});
    EXPECT_EQ(General::CurveScale, 0.5);
}

TEST_F(CurveProcessingTest, ADeclinedTimingValueEndsThePointAtOnce) {
    for (int row : {16, 17, 18}) {
        SCOPED_TRACE(row);
        General::MeasureRunAbort = false;
        status.lines.clear();
        results.decline = row;
        Store(ref, Amplify(ref, 1.0, Am, Pm, 0.0, 2.0));
        CurveProcessing::Process();
        EXPECT_TRUE(General::MeasureRunAbort);
        EXPECT_EQ(General::RunErrorText, "");
        EXPECT_FALSE(Ready());
        EXPECT_EQ(General::AMAMCoeff, std::vector<double>{7});
        EXPECT_EQ(results.values.count(row + 1), 0u);
        results.values.clear();
    }
}
