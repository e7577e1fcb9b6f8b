// The measurement window: the density drawing with its colour key, the added
// plots, the stored pictures of a processed point, presenting, and the layout
// of the four graphs.

#include "../../support/fakes.h"
#include "../../support/windows/client_area.h"
#include "ACP.h"
#include "ACPForm.h"
#include "ButtonForm.h"
#include "CurveProcessing.h"
#include "DSP.h"
#include "DensityGrid.h"
#include "General.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace {

struct ACPFormTest : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    void SetUp() override { ACPForm::Install(); }
    void TearDown() override {
        ACPForm::Uninstall();
        delete &ACPForm::Instance();
    }
};

} // namespace

TEST_F(ACPFormTest, DensityDrawsEveryLevelItsKeyAndTheReferenceLine) {
    DensityGrid::DrawAMAMDensity({0.5, 0.5, 0.5, 0.2}, {0.5, 0.5, 0.5, 0.1});
    QCustomPlot* plot = ACPForm::Instance().AMAMDia;
    ASSERT_EQ(plot->graphCount(), 21); // 20 levels and the reference line
    // The colour key, above the plot area, where it covers no point, and
    // below the title.
    std::vector<QCPItemRect*> key;
    for (int k = 0; k < plot->itemCount(); ++k)
        if (auto* box = qobject_cast<QCPItemRect*>(plot->item(k))) key.push_back(box);
    ASSERT_EQ(key.size(), 20u);
    plot->replot();
    const QRect area = plot->axisRect()->rect();
    const QRect title = plot->plotLayout()->element(0, 0)->outerRect();
    for (const QCPItemRect* box : key) {
        const QRectF place(box->topLeft->pixelPosition(), box->bottomRight->pixelPosition());
        EXPECT_FALSE(box->clipToAxisRect());
        EXPECT_GE(place.top(), title.bottom());
        EXPECT_LT(place.bottom(), area.top());
        EXPECT_GT(place.left(), area.left());
        EXPECT_LT(place.right(), area.right());
    }
    // 1 of 3 points: 6.67 is drawn in level 7; 3 of 3 in level 20.
    EXPECT_EQ(plot->graph(6)->dataCount(), 1);
    EXPECT_EQ(plot->graph(19)->dataCount(), 1);
    EXPECT_EQ(plot->graph(0)->dataCount(), 0);
    EXPECT_EQ(plot->graph(20)->pen().color(), QColor(255, 255, 0));
    EXPECT_EQ(plot->graph(19)->scatterStyle().pen().color(), QColor(0, 255, 255));
    // A second drawing replaces the first.
    DensityGrid::DrawAMAMDensity({}, {});
    EXPECT_EQ(plot->graphCount(), 21);
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(plot->graph(k)->dataCount(), 0);
}

// Before anything is drawn, as after a run that ended before its curves,
// every graph says what it will show.
TEST_F(ACPFormTest, EveryGraphCarriesItsTitleAndAxisCaptionsFromTheStart) {
    ACPForm& form = ACPForm::Instance();
    const struct {
        QCustomPlot* graph;
        const char *title, *x, *y;
    } graphs[] = {
        {form.AMAMDia, "AM/AM", "Linear INPUT voltage", "Linear OUTPUT voltage"},
        {form.AMPMDia, "AM/PM", "Linear INPUT voltage", "Phase Difference [°]"},
        {form.Corr1, "Correlated Amplitude Spectrum", "Frequency bin", "Magnitude"},
        {form.Corr2, "Correlated Phase Spectrum", "Frequency bin", "Phase [rad]"},
    };
    for (const auto& g : graphs) {
        SCOPED_TRACE(g.title);
        auto* title = qobject_cast<QCPTextElement*>(g.graph->plotLayout()->element(0, 0));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), g.title);
        EXPECT_EQ(g.graph->xAxis->label(), g.x);
        EXPECT_EQ(g.graph->yAxis->label(), g.y);
    }
}

TEST_F(ACPFormTest, AProcessedPointLeavesItsEightPictures) {
    std::vector<double> I, Q;
    DSP::IntMath().SignalNoise(1.0, 16.0, 4096, 2, false, I, Q);
    General::SignalStore[0] = I;
    General::SignalStore[1] = Q;
    std::vector<double> oI = I, oQ = Q;
    DSP::IntMath().ShiftSamples(oI, oQ, -2.5);
    // An amplifier that turns its output by up to 0.4 rad at full scale.
    for (std::size_t k = 0; k < oI.size(); ++k) {
        const double a = std::hypot(I[k], Q[k]), turn = 0.4 * a * a;
        const double i = oI[k], q = oQ[k];
        oI[k] = i * std::cos(turn) - q * std::sin(turn);
        oQ[k] = i * std::sin(turn) + q * std::cos(turn);
    }
    General::SignalStore[2] = oI;
    General::SignalStore[3] = oQ;
    General::SamplingDepth = 4096;
    General::SamplingRate = 16e6;
    General::AMAMGrid = General::AMPMGrid = 50;
    General::AMAMOrder = General::AMPMOrder = 5;
    General::MeasureRunAbort = false;
    for (QImage& p : General::Pictures)
        p = QImage();
    CurveProcessing::Process();
    ASSERT_FALSE(General::MeasureRunAbort) << General::RunErrorText;
    // The report's pictures have a size of their own, whatever the window's.
    for (int slot = 0; slot < 8; ++slot)
        EXPECT_EQ(General::Pictures[static_cast<std::size_t>(slot)].size(), QSize(800, 600))
            << slot;
    EXPECT_TRUE(General::Pictures[8].isNull());
    ACPForm& form = ACPForm::Instance();
    // The last cloud and the reference line, then the gridded curve and both fits.
    EXPECT_EQ(form.AMAMDia->graphCount(), 21 + 3);
    EXPECT_EQ(form.AMPMDia->graphCount(), 21 + 2);
    EXPECT_EQ(form.Corr1->graphCount(), 1); // the amplitude histogram
    EXPECT_EQ(form.Corr1->graph(0)->dataCount(), 100);
    EXPECT_EQ(form.Corr2->graph(0)->dataCount(), 360);

    // The curve graphs keep their ranges; the histograms fit their data.
    auto range = [](const QCPAxis* axis) {
        return std::pair{axis->range().lower, axis->range().upper};
    };
    EXPECT_EQ(range(form.AMAMDia->xAxis), (std::pair{0.0, 1.0}));
    EXPECT_EQ(range(form.AMAMDia->yAxis), (std::pair{0.0, 1.0}));
    EXPECT_EQ(range(form.AMPMDia->xAxis), (std::pair{0.0, 1.0}));
    EXPECT_EQ(range(form.AMPMDia->yAxis), (std::pair{-22.5, 22.5}));
    for (QCustomPlot* histogram : {form.Corr1, form.Corr2}) {
        bool found = false;
        const QCPRange keys = histogram->graph(0)->getKeyRange(found);
        ASSERT_TRUE(found);
        const QCPRange values = histogram->graph(0)->getValueRange(found);
        EXPECT_EQ(range(histogram->xAxis), (std::pair{keys.lower, keys.upper}));
        EXPECT_EQ(range(histogram->yAxis), (std::pair{values.lower, values.upper}));
    }

    // The AM/PM graph holds the gridded curve (radians) in degrees.
    std::vector<std::pair<double, double>> shown, curve;
    for (const QCPGraphData& p : *form.AMPMDia->graph(21)->data())
        shown.emplace_back(p.key, p.value);
    const auto& x = General::SignalStore[32];
    const auto& y = General::SignalStore[33];
    for (std::size_t k = 0; k < x.size() && k < y.size(); ++k)
        curve.emplace_back(x[k], y[k] * 180 / M_PI);
    std::sort(curve.begin(), curve.end());
    ASSERT_EQ(shown.size(), curve.size());
    double largest = 0;
    for (std::size_t k = 0; k < shown.size(); ++k) {
        EXPECT_DOUBLE_EQ(shown[k].first, curve[k].first) << k;
        EXPECT_NEAR(shown[k].second, curve[k].second, 1e-9) << k;
        largest = std::max(largest, std::abs(shown[k].second));
    }
    EXPECT_GT(largest, 5.0) << "a turn of up to 0.4 rad (23 degrees) shows";
}

TEST_F(ACPFormTest, PresentingShowsTheWindowAtItsSizeBelowTheActionWindow) {
    ACP::PresentWindow();
    EXPECT_TRUE(ACPForm::Instance().isVisible());
    EXPECT_EQ(ACPForm::Instance().windowTitle(), "Measure AM/AM, AM/PM");

    // In a client area: the first showing gives the readable size, a restore
    // from maximised gives it back, and it always comes below the actions.
    TestClientArea main(1400, 900);
    ButtonForm& actions = ButtonForm::Instance();
    MainFormAccess::ShowChild(&actions)->move(0, 0);
    ACPForm& form = ACPForm::Instance();
    ACP::PresentWindow();
    QWidget* frame = MainFormAccess::FrameOf(&form);
    ASSERT_NE(frame, &form);
    EXPECT_EQ(form.size(), QSize(900, 650));
    EXPECT_EQ(frame->pos(), QPoint(0, MainFormAccess::FrameOf(&actions)->geometry().bottom() + 1));
    frame->showMaximized();
    ACP::PresentWindow();
    EXPECT_EQ(form.size(), QSize(900, 650));
    EXPECT_EQ(main.area.subWindowList().size(), 2) << "one frame for each window";
    delete &actions;
    delete &form;
}

TEST_F(ACPFormTest, GraphsShareTheClientArea) {
    ACPForm& form = ACPForm::Instance();
    form.resize(1000, 740);
    form.Form_Resize();
    EXPECT_EQ(form.AMAMDia->geometry(), QRect(4, 4, 488, 400));
    EXPECT_EQ(form.AMPMDia->geometry(), QRect(496, 4, 488, 400));
    EXPECT_EQ(form.Corr1->geometry(), QRect(4, 408, 488, 320));
    EXPECT_EQ(form.Corr2->geometry(), QRect(496, 408, 488, 320));
    // Too low for graphs: heights stay, the lower graphs follow the upper.
    form.resize(600, 10);
    form.Form_Resize();
    EXPECT_EQ(form.AMAMDia->geometry(), QRect(4, 4, 288, 400));
    EXPECT_EQ(form.Corr2->geometry(), QRect(296, 408, 288, 320));
    // Too narrow for two columns: widths stay.
    form.resize(10, 740);
    form.Form_Resize();
    EXPECT_EQ(form.AMAMDia->width(), 288);
    EXPECT_EQ(form.AMPMDia->x(), 296);
}
