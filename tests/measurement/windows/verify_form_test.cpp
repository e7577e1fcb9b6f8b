// The verification window driven headless: table, traces, graph controls,
// refresh.

#include "../../support/event_pump.h"
#include "../../support/fakes.h"
#include "../../support/windows/client_area.h"
#include "General.h"
#include "HOx.h"
#include "KTStandardWindows.h"
#include "NumberText.h"
#include "VerifyForm.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace {

void Tone(int slot, double f, double a, int n = 1024) {
    auto& I = General::SignalStore[std::size_t(slot)];
    auto& Q = General::SignalStore[std::size_t(slot + 1)];
    I.resize(std::size_t(n));
    Q.resize(std::size_t(n));
    for (int k = 0; k < n; ++k) {
        I[std::size_t(k)] = a * std::cos(2 * M_PI * f * k / 16.0);
        Q[std::size_t(k)] = a * std::sin(2 * M_PI * f * k / 16.0);
    }
}

struct VerifyFormTest : ::testing::Test {
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> s{status};
    std::shared_ptr<Verification::State> state = std::make_shared<Verification::State>();
    void SetUp() override {
        HOx::IQSampleRate = 16000000;
        General::AnalyzerType = 1;
        General::Window = 0;
        General::Detector = 0;
        General::ACP = {};
        General::ACP.Channels = 1;
        General::ACP.MainBW = 1;
        General::ACP.UpperBW = General::ACP.LowerBW = {1, 1, 1};
        General::ACP.UpperSpace = General::ACP.LowerSpace = {2, 4, 6};
        for (int slot : {0, 2, 4, 20, 22, 24, 40, 42, 44, 46})
            Tone(slot, 0.0, 1.0);
        Tone(2, 2.0, 0.1); // the amplifier's record: a tone in the upper ACP band
        General::VerifyAM = true;
        General::VerifyPM = General::VerifyAMPM = false;
    }
    static std::string Format(double v) {
        return NumberText::FormatNumber(v, "##0.0", NumberText::RegionalDecimal());
    }
    static std::string Cell(const VerifyForm& f, int row, int col) {
        const auto* item = f.Table()->item(row - 1, col - 1);
        return item ? item->text().toStdString() : std::string();
    }
};

} // namespace

TEST_F(VerifyFormTest, TableShowsCaptionsValuesAndGreysUnusedPairs) {
    VerifyForm form(state);
    form.show();
    EXPECT_EQ(Cell(form, 8, 1), "dist AM+PM") << "row captions at once";
    EXPECT_EQ(Cell(form, 1, 5), "");
    EXPECT_TRUE(PumpUntil([&] { return Cell(form, 1, 5) == "Main Chan"; }))
        << "channel captions at the first tick";
    for (int col = 2; col <= 8; ++col)
        EXPECT_EQ(Cell(form, 5, col), "[dB]") << col;
    for (int row : {3, 4, 6, 7, 8})
        for (int col : {2, 3, 7, 8}) {
            EXPECT_EQ(form.Table()->item(row - 1, col - 1)->background().color(),
                      QColor(0xC0, 0xC0, 0xC0));
            EXPECT_EQ(Cell(form, row, col), "");
        }

    state->ChannelResult[0] = {0, 0, 41.25, -3.04, 40.5, 0, 0};
    state->ChannelResult[1] = {0, 0, 30.0, -2.0, 25.0, 0, 0};
    state->ChannelResult[2] = {0, 0, 38.0, -2.5, 36.0, 0, 0};
    form.DisplayACP(Verification::Mode::Reference, 0);
    form.DisplayACP(Verification::Mode::Amplifier, 0);
    form.DisplayACP(Verification::Mode::Predistorted, 2);
    EXPECT_EQ(Cell(form, 3, 4), "41.3");
    EXPECT_EQ(Cell(form, 3, 5), "---");
    EXPECT_EQ(Cell(form, 4, 5), "---");
    EXPECT_EQ(Cell(form, 4, 6), "25.0");
    EXPECT_EQ(Cell(form, 8, 6), "11.0") << "improvement: predistorted minus amplifier";
    EXPECT_EQ(Cell(form, 8, 3), "") << "pairs not in use stay empty";
    EXPECT_EQ(Cell(form, 6, 4), "") << "other variants untouched";
    // A channel that could not be measured.
    state->ChannelResult[1][4] = Verification::NotMeasured;
    form.DisplayACP(Verification::Mode::Amplifier, 0);
    form.DisplayACP(Verification::Mode::Predistorted, 2);
    EXPECT_EQ(Cell(form, 4, 6), "not measured");
    EXPECT_EQ(Cell(form, 8, 6), "not measured");
    EXPECT_EQ(Cell(form, 8, 4), "8.0") << "the columns measured stay";

    const QString shots = QString(QT_TESTCASE_BUILDDIR) + "/screenshots";
    QDir().mkpath(shots);
    form.UpdateDisplay_Click();
    form.grab().save(shots + "/verify_form.png");
}

TEST_F(VerifyFormTest, TracesFollowTheirSwitchesAndTheGraphControls) {
    VerifyForm form(state);
    General::Pictures[2] = QImage();
    Verification::ProcessACPData(*state, Verification::Mode::Reference, 0);
    form.DisplayPlot(0);
    const double top = form.Graph()->yAxis->range().upper;
    EXPECT_DOUBLE_EQ(form.Graph()->xAxis->range().lower, -8.0);
    EXPECT_DOUBLE_EQ(form.Graph()->xAxis->range().upper, 8.0);
    EXPECT_DOUBLE_EQ(form.Graph()->yAxis->range().lower, top - 100);
    EXPECT_EQ(form.Span()->text(), "16");
    EXPECT_FALSE(General::Pictures[8].isNull());
    EXPECT_TRUE(General::Pictures[2].isNull()) << "the timing graph's slot is not overwritten";

    Verification::ProcessACPData(*state, Verification::Mode::Amplifier, 0);
    form.DisplayPlot(1);
    ASSERT_NE(form.Plot(1), nullptr);
    EXPECT_DOUBLE_EQ(form.Graph()->yAxis->range().upper, top)
        << "only the first plot sets the axes";
    EXPECT_EQ(form.Plot(1)->data()->size(), 1024);
    EXPECT_DOUBLE_EQ(form.Plot(1)->data()->begin()->key, -8.0);

    form.MeasureCheck()->click();
    EXPECT_FALSE(form.Plot(0)->visible());
    EXPECT_FALSE(form.Plot(1)->visible());
    EXPECT_FALSE(form.Trace(9)->isChecked());
    EXPECT_TRUE(form.Trace(2)->isChecked()) << "simulated traces keep their switch";
    const int graphs = form.Graph()->graphCount();
    form.Trace(5)->setChecked(true);
    EXPECT_EQ(form.Graph()->graphCount(), graphs) << "a trace not plotted yet changes nothing";

    form.Center()->setText("2"); // the centre alone moves the graph, its span kept
    EXPECT_DOUBLE_EQ(form.Graph()->xAxis->range().lower, -6.0);
    EXPECT_DOUBLE_EQ(form.Graph()->xAxis->range().upper, 10.0);
    form.Span()->setText("4");
    EXPECT_DOUBLE_EQ(form.Graph()->xAxis->range().lower, 0.0);
    form.Span()->setText("abc");
    EXPECT_DOUBLE_EQ(form.Graph()->xAxis->range().upper, 4.0)
        << "a span that is no number keeps the last";
    form.Range()->setText("50");
    EXPECT_DOUBLE_EQ(form.Graph()->yAxis->range().lower, top - 50);

    // The next point starts with an empty graph: no stale plot of an earlier one.
    form.ResetGraph();
    EXPECT_EQ(form.Plot(1), nullptr);
    form.Trace(1)->setChecked(true);
    EXPECT_EQ(form.Graph()->graphCount(), 0);
}

// After a verification of AM and AM+PM, the switches of the PM curves are
// greyed and unticked; every other switch stays as it was.
TEST_F(VerifyFormTest, SwitchesOfCurvesNotVerifiedAreGreyedAndUnticked) {
    VerifyForm form(state);
    for (int t = 0; t < 10; ++t) {
        EXPECT_TRUE(form.Trace(t)->isEnabled()) << t;
        EXPECT_TRUE(form.Trace(t)->isChecked()) << t;
    }
    const std::array<bool, 3> verified{true, false, true};
    form.EnableTraces(verified);
    for (int t = 0; t < 10; ++t) {
        SCOPED_TRACE(form.Trace(t)->text().toStdString());
        const bool pm = t == 5 || t == 6;
        EXPECT_EQ(form.Trace(t)->isEnabled(), !pm);
        EXPECT_EQ(form.Trace(t)->isChecked(), !pm);
    }
    EXPECT_EQ(form.Trace(5)->text(), "dist PM");
    EXPECT_EQ(form.Trace(6)->text(), "sim. dist PM");
}

TEST_F(VerifyFormTest, RefreshReevaluatesThePointItsRecordsCameFrom) {
    General::SweepPoints.assign(3, SweepPoint{});
    General::SweepPoints[2].ChannelPower[0][3] = 12.5;
    General::ChannelPowers = {};
    state->point = 1;
    VerifyForm form(state);
    General::ACP.UpperSpace[0] = 3; // the ACP setup changed since the run
    form.UpdateDisplay_Click();
    // The printed summary reads the rows and the spectra of one evaluation.
    EXPECT_EQ(General::SweepPoints[1].ChannelPower, state->ChannelResult);
    EXPECT_EQ(General::SweepPoints[2].ChannelPower[0][3], 12.5) << "other points untouched";
    Verification::ProcessACPData(*state, Verification::Mode::Amplifier, 0);
    EXPECT_EQ(General::ChannelPowers[1], state->DisplaySpectrum);
    EXPECT_EQ(Cell(form, 6, 6), Format(state->ChannelResult[2][4] - state->ChannelResult[1][4]))
        << "the variant's row of the table from the same evaluation";
    EXPECT_FALSE(General::ChannelPowers[2].empty()) << "the enabled AM variant";
    EXPECT_TRUE(General::ChannelPowers[3].empty()) << "PM was not verified";
    EXPECT_NE(form.Plot(3), nullptr);
    EXPECT_EQ(form.Plot(5), nullptr);
    EXPECT_EQ(Cell(form, 4, 5), "---");
}

TEST_F(VerifyFormTest, ThePictureHasItsOwnSizeAndTheBandCaptionsStandApart) {
    // Bands 1 MHz wide, 1.1 MHz apart, in a 16 MHz span.
    General::ACP.Channels = 3;
    General::ACP.UpperSpace = General::ACP.LowerSpace = {1.1, 2.2, 3.3};
    VerifyForm form(state);
    form.Graph()->resize(600, 300);
    Verification::ProcessACPData(*state, Verification::Mode::Reference, 0);
    form.DisplayPlot(0);
    EXPECT_EQ(General::Pictures[8].size(), QSize(1000, 600)) << "whatever the window's size";

    std::vector<std::pair<double, double>> extents; // of each caption across the graph
    for (int k = 0; k < form.Graph()->itemCount(); ++k)
        if (auto* caption = qobject_cast<QCPItemText*>(form.Graph()->item(k))) {
            double left = 1e9, right = -1e9;
            for (QCPItemAnchor* corner :
                 {caption->topLeft, caption->topRight, caption->bottomLeft, caption->bottomRight}) {
                left = std::min(left, corner->pixelPosition().x());
                right = std::max(right, corner->pixelPosition().x());
            }
            extents.emplace_back(left, right);
        }
    ASSERT_EQ(extents.size(), 7u);
    std::sort(extents.begin(), extents.end());
    for (std::size_t k = 1; k < extents.size(); ++k)
        EXPECT_LE(extents[k - 1].second, extents[k].first) << "caption " << k << " overlaps";
}

TEST_F(VerifyFormTest, OpensCentredOnTheMainWindowAtLeast12645TwipsWide) {
    TestClientArea main(1600, 1000);
    auto* form = new VerifyForm(state);
    form->Form_Load();
    const QRect frame = MainFormAccess::FrameOf(form)->geometry();
    EXPECT_LE(std::abs(frame.center().x() - 800), 1) << frame.x();
    EXPECT_LE(std::abs(frame.center().y() - 500), 1) << frame.y();
    EXPECT_GE(form->width(), KTStandard::TwipsToPixels(12645));
    EXPECT_GE(form->height(), form->sizeHint().height());
    delete form;
}

TEST_F(VerifyFormTest, ACampaignKeepsTheWindowsOfItsLastTenRuns) {
    TestClientArea main(1600, 1000);
    VerifyForm::InstallViewMaker();
    auto runWindow = [] {
        Verification::BeginRun();
        Verification::ShowWindow();
        return QPointer(dynamic_cast<VerifyForm*>(Verification::Run::Instance().CurrentView()));
    };
    // Closed windows go with their frames at the next deferred deletions.
    auto settle = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    std::vector<QPointer<VerifyForm>> runs;
    for (int run = 0; run < 12; ++run) {
        runs.push_back(runWindow());
        ASSERT_FALSE(runs.back().isNull()) << run;
    }
    settle();
    EXPECT_TRUE(runs[0].isNull()) << "the oldest went";
    EXPECT_TRUE(runs[1].isNull());
    for (std::size_t run = 2; run < 12; ++run)
        EXPECT_FALSE(runs[run].isNull()) << run;
    EXPECT_EQ(main.area.subWindowList().size(), 10) << "nor does the Windows menu list more";

    // A window the operator closed leaves its place to the next run's.
    runs[5]->close();
    settle();
    runs.push_back(runWindow());
    settle();
    EXPECT_FALSE(runs[2].isNull());
    EXPECT_EQ(main.area.subWindowList().size(), 10);

    for (const auto& form : runs)
        delete form.data();
    Verification::SetViewMaker(nullptr);
    Verification::BeginRun();
}

namespace {
// A plot keeps its paint buffers to itself; a member pointer taken in a
// derived class reads them on any plot.
struct PaintBuffers : QCustomPlot {
    static qsizetype Of(const QCustomPlot& plot) {
        return (plot.*&PaintBuffers::mPaintBuffers).size();
    }
};
} // namespace

TEST_F(VerifyFormTest, AGraphNotShownHoldsNoPaintBuffers) {
    TestClientArea main(1600, 1000);
    auto* form = new VerifyForm(state);
    const QCustomPlot& graph = *form->Graph();
    Verification::ProcessACPData(*state, Verification::Mode::Reference, 0);
    form->DisplayPlot(0);
    EXPECT_EQ(PaintBuffers::Of(graph), 0) << "never shown";
    form->Form_Load();
    EXPECT_GT(PaintBuffers::Of(graph), 0) << "shown: painted from its buffers";

    QWidget* frame = MainFormAccess::FrameOf(form);
    frame->showMinimized();
    EXPECT_EQ(PaintBuffers::Of(graph), 0) << "minimised";
    form->DisplayPlot(1);
    EXPECT_EQ(PaintBuffers::Of(graph), 0) << "plotted while minimised";
    frame->showNormal();
    EXPECT_GT(PaintBuffers::Of(graph), 0) << "restored";
    form->hide();
    EXPECT_EQ(PaintBuffers::Of(graph), 0) << "hidden";
    form->Present();
    EXPECT_GT(PaintBuffers::Of(graph), 0) << "shown again";
    delete form;
}
