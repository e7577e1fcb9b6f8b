// The data display window driven through its controls: each view of a known
// record checked on the graph's data and axes, and the zoom, move and
// auto-scale buttons.

#include "../support/picture_checks.h"
#include "DataDisplay.h"
#include "finished_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <numbers>
#include <qcustomplot.h>

namespace {

constexpr std::size_t kN = 1024;

class DataDisplayTest : public ::testing::Test {
protected:
    FinishedRun::ScopedRunState state;
    DataDisplay window;
    QComboBox* sets = window.findChild<QComboBox*>("DataToDisplay");
    QComboBox* formats = window.findChild<QComboBox*>("DataFormat");

    QCPCurve* Plot() const { return qobject_cast<QCPCurve*>(window.Graph()->plottable(0)); }
    QCPRange X() const { return window.Graph()->xAxis->range(); }
    QCPRange Y() const { return window.Graph()->yAxis->range(); }
    void Choose(const char* set, const char* format = nullptr) {
        sets->setCurrentIndex(sets->findText(set));
        if (format) formats->setCurrentIndex(formats->findText(format));
    }
    void Click(const char* button) { window.findChild<QPushButton*>(button)->click(); }
    std::vector<std::pair<double, double>> Points() const {
        std::vector<std::pair<double, double>> out;
        for (auto it = Plot()->data()->constBegin(); it != Plot()->data()->constEnd(); ++it)
            out.push_back({it->key, it->value});
        return out;
    }
    // A tone `bin` bins above the centre with amplitude a, as the DUT output.
    static void Tone(int bin, double a) {
        auto& I = General::SignalStore[2];
        auto& Q = General::SignalStore[3];
        I.resize(kN);
        Q.resize(kN);
        for (std::size_t k = 0; k < kN; ++k) {
            const double phase = 2 * std::numbers::pi * bin * static_cast<double>(k) / kN;
            I[k] = a * std::cos(phase);
            Q[k] = a * std::sin(phase);
        }
    }
};

} // namespace

TEST_F(DataDisplayTest, OpensEmptyAndListsTheSetsByCode) {
    ASSERT_NE(sets, nullptr);
    EXPECT_EQ(window.windowTitle(), "Data Display");
    EXPECT_EQ(sets->currentIndex(), -1);
    EXPECT_EQ(formats->count(), 0);
    EXPECT_TRUE(Plot()->data()->isEmpty());
    const std::vector<std::pair<QString, int>> expected = {
        {"Noise floor", 1}, {"DUT Input", 4}, {"DUT Output", 3}, {"AM/AM curve", 2}};
    ASSERT_EQ(sets->count(), 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(sets->itemText(k), expected[static_cast<std::size_t>(k)].first);
        EXPECT_EQ(sets->itemData(k).toInt(), expected[static_cast<std::size_t>(k)].second);
    }
    Choose("Noise floor");
    EXPECT_EQ(formats->count(), 4);
    EXPECT_EQ(formats->currentText(), "Frequency Domain - Amplitude");
    Choose("AM/AM curve");
    EXPECT_EQ(formats->count(), 2);
    EXPECT_EQ(formats->currentText(), "Linear vs Linear");
}

TEST_F(DataDisplayTest, SpectrumOfAToneAcrossTheSampleRate) {
    Tone(64, 0.5);
    Choose("DUT Output"); // the spectrum is the default format and is drawn at once
    EXPECT_EQ(formats->count(), 5);
    EXPECT_EQ(formats->currentText(), "Frequency Domain - Amplitude");
    auto points = Points();
    ASSERT_EQ(points.size(), kN);
    EXPECT_DOUBLE_EQ(X().lower, -8.0);
    EXPECT_DOUBLE_EQ(X().upper, 8.0 - 16.0 / kN);
    const auto peak = std::max_element(points.begin(), points.end(),
                                       [](auto a, auto b) { return a.second < b.second; });
    EXPECT_DOUBLE_EQ(peak->first, 64 * 16.0 / kN); // 1 MHz above the centre
    EXPECT_NEAR(peak->second, 20 * std::log10(0.5), 1e-9);
    EXPECT_EQ(window.Graph()->xAxis->label(), "Frequency [MHz]");
    EXPECT_EQ(window.Graph()->yAxis->label(), "Level [dBm]");
    window.resize(900, 650);
    const QImage picture = Picture(&window, "data_display_spectrum");
    EXPECT_TRUE(ShowsEveryControl(&window, picture));
    // The spectrum is drawn: its plot area differs from the same graph without it.
    Plot()->setVisible(false);
    window.Graph()->replot();
    const QImage bare = window.grab().toImage();
    Plot()->setVisible(true);
    window.Graph()->replot();
    const QRect area =
        window.Graph()->axisRect()->rect().translated(PlaceIn(&window, window.Graph()).topLeft());
    int drawn = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            drawn += picture.pixel(x, y) != bare.pixel(x, y);
    EXPECT_GT(drawn, 200);

    // the HOx analyzers read 13.0103 dB higher; a detector of 8 keeps the span
    General::AnalyzerType = 3;
    General::Detector = DetectorMax;
    formats->setCurrentIndex(0);
    formats->setCurrentIndex(3);
    points = Points();
    ASSERT_EQ(points.size(), kN / 8);
    EXPECT_DOUBLE_EQ(points[1].first - points[0].first, 8 * 16.0 / kN);
    EXPECT_DOUBLE_EQ(X().lower, -8.0);
    EXPECT_NEAR(std::max_element(points.begin(), points.end(),
                                 [](auto a, auto b) { return a.second < b.second; })
                    ->second,
                20 * std::log10(0.5) + 13.0103, 1e-9);
}

TEST_F(DataDisplayTest, TimeViewsStepByTheSampleRate) {
    Choose("DUT Input", "Time Domain - Q");
    auto points = Points();
    ASSERT_EQ(points.size(), kN);
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{777}}) {
        EXPECT_DOUBLE_EQ(points[k].first, 0.0625 * static_cast<double>(k));
        EXPECT_DOUBLE_EQ(points[k].second, General::SignalStore[1][k]);
    }
    EXPECT_EQ(window.Graph()->yAxis->label(), "Q");
    EXPECT_EQ(window.Graph()->xAxis->label(), QString::fromUtf8("Time [\u00B5s]"));

    General::SignalStore[0][5] = 0;
    General::SignalStore[1][5] = 0;
    Choose("DUT Input", "Time Domain - Magnitude");
    points = Points();
    EXPECT_NEAR(points[3].second, 20 * std::log10(0.5 * 4 / 16.0), 1e-12);
    EXPECT_EQ(points[5].second, -1000); // a zero sample
    EXPECT_EQ(window.Graph()->yAxis->label(), "Level [dBm]");

    // The slowest rate there is still has a time axis: a second per sample.
    HOx::IQSampleRate = 1;
    Choose("DUT Input", "Time Domain - I");
    points = Points();
    ASSERT_EQ(points.size(), kN);
    EXPECT_DOUBLE_EQ(points[3].first, 3e6);
    EXPECT_DOUBLE_EQ(points[3].second, General::SignalStore[0][3]);
}

TEST_F(DataDisplayTest, CCDFCountsFromTheMeanPowerAndLeavesOutWhatALogAxisCannotShow) {
    // The output's magnitudes are 0.8·m/16 for m = 1..16 alike, so its mean
    // power is 0.64·93.5/256: the peak lies 20·log10(16/sqrt(93.5)) = 4.37 dB
    // above it, the smallest magnitude 20·log10(1/sqrt(93.5)) = -19.71 dB.
    Choose("DUT Output", "CCDF");
    auto points = Points();
    ASSERT_FALSE(points.empty());
    const auto highest = std::max_element(points.begin(), points.end())->first;
    EXPECT_NEAR(highest, 20 * std::log10(16 / std::sqrt(93.5)), 0.1);
    EXPECT_NEAR(points.front().first, 20 * std::log10(1 / std::sqrt(93.5)), 0.1);

    General::SignalStore[2][0] = 0; // an exact zero sample
    General::SignalStore[3][0] = 0;
    Choose("DUT Output", "Time Domain - I");
    Choose("DUT Output", "CCDF");
    points = Points();
    ASSERT_FALSE(points.empty());
    EXPECT_LE(points.size(), 500u);
    EXPECT_DOUBLE_EQ(X().lower, -50);
    EXPECT_DOUBLE_EQ(X().upper, 10);
    EXPECT_EQ(window.Graph()->yAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_GT(Y().lower, 0);
    EXPECT_DOUBLE_EQ(Y().upper, 100);
    for (const auto& [level, percent] : points)
        EXPECT_GT(percent, 0);
    EXPECT_NEAR(points.front().first, -2000,
                10); // the zero sample's level: most of the curve lies left
    EXPECT_EQ(window.Graph()->xAxis->label(), "Level above mean [dB]");

    Choose("DUT Output", "Time Domain - I"); // every redraw switches the log scale off again
    EXPECT_EQ(window.Graph()->yAxis->scaleType(), QCPAxis::stLinear);
}

TEST_F(DataDisplayTest, AMAMViewsRelateInputAndOutputMagnitudes) {
    Choose("AM/AM curve");
    auto points = Points();
    ASSERT_EQ(points.size(), kN);
    EXPECT_NEAR(points[3].first, 0.5 * 4 / 16, 1e-12);
    EXPECT_NEAR(points[3].second, 0.8 * 4 / 16, 1e-12);
    EXPECT_EQ(X(), QCPRange(0, 1));
    EXPECT_EQ(Y(), QCPRange(0, 1));

    General::SignalStore[0][7] = 0;
    General::SignalStore[1][7] = 0;
    Choose("AM/AM curve", "Gain vs Log");
    points = Points();
    // Amplitudes in dB: the input 0.5·4/16 at -18.06 dB, 4.08 dB below the output.
    EXPECT_NEAR(points[3].first, 20 * std::log10(0.5 * 4 / 16), 1e-9);
    EXPECT_NEAR(points[3].second, 20 * std::log10(0.8 / 0.5), 1e-9);
    EXPECT_EQ(points[7].first, -2000); // a zero input sample
    EXPECT_EQ(Y(), QCPRange(-10, 10));
    EXPECT_EQ(window.Graph()->xAxis->label(), "Input amplitude [dB]");
    EXPECT_EQ(window.Graph()->yAxis->label(), "Gain [dB]");
}

TEST_F(DataDisplayTest, ZoomMoveAndAutoScaleButtons) {
    Choose("DUT Input", "Time Domain - I");
    const QCPRange start = X();
    const QCPRange startY = Y();
    const double span = start.size();
    Click("ZoomInX2");
    EXPECT_DOUBLE_EQ(X().size(), span / 2);
    EXPECT_DOUBLE_EQ(X().center(), start.center());
    Click("ZoomInX2");
    Click("ZoomOutX2");
    Click("ZoomOutX2");
    EXPECT_DOUBLE_EQ(X().lower, start.lower);
    EXPECT_DOUBLE_EQ(X().upper, start.upper);
    Click("MoveLeft2x");
    EXPECT_DOUBLE_EQ(X().lower, start.lower - span / 2);
    Click("MoveRight2x");
    Click("MoveRight1x");
    EXPECT_DOUBLE_EQ(X().lower, start.lower + span / 8);
    Click("MoveLeft1x");
    EXPECT_DOUBLE_EQ(X().lower, start.lower);

    window.Graph()->xAxis->setRange(1, 2);
    window.Graph()->yAxis->setRange(5, 6);
    Click("ZoomAll"); // "full": X only
    EXPECT_EQ(X(), start);
    EXPECT_EQ(Y(), QCPRange(5, 6));
    window.Graph()->xAxis->setRange(1, 2);
    Click("AutoScaleY");
    EXPECT_EQ(X(), QCPRange(1, 2));
    EXPECT_EQ(Y(), startY);
    window.Graph()->yAxis->setRange(5, 6);
    Click("AutoScaleXY");
    EXPECT_EQ(X(), start);
    EXPECT_EQ(Y(), startY);

    Click("ZoomIn");
    EXPECT_EQ(window.Graph()->selectionRectMode(), QCP::srmZoom);
    window.findChild<QCheckBox*>("ShowLine")->click();
    EXPECT_EQ(Plot()->lineStyle(), QCPCurve::lsLine);
    window.findChild<QCheckBox*>("ShowLine")->click();
    EXPECT_EQ(Plot()->lineStyle(), QCPCurve::lsNone);
    window.findChild<QCheckBox*>("ShowPoints")->click();
    EXPECT_NE(Plot()->scatterStyle().shape(), QCPScatterStyle::ssNone);
}

TEST_F(DataDisplayTest, EveryRedrawReadsTheStoreAfresh) {
    Choose("Noise floor", "Time Domain - I");
    EXPECT_DOUBLE_EQ(Points()[2].second, General::SignalStore[4][2]);
    General::SignalStore[4].assign(16, 0.25);
    General::SignalStore[5].assign(16, 0.0);
    formats->setCurrentIndex(1);
    formats->setCurrentIndex(0);
    ASSERT_EQ(Points().size(), 16u);
    EXPECT_EQ(Points()[2].second, 0.25);
}

// Every view, drawn or not, carries its title and axis captions.
TEST_F(DataDisplayTest, MissingOrUnequalRecordsDrawNothingInEveryView) {
    for (auto& record : General::SignalStore)
        record.clear();
    General::SignalStore[2].assign(8, 0.5); // an output whose Q record is missing
    const std::map<QString, std::pair<QString, QString>> captions = {
        {"Time Domain - I", {"Time [\u00B5s]", "I"}},
        {"Time Domain - Q", {"Time [\u00B5s]", "Q"}},
        {"Time Domain - Magnitude", {"Time [\u00B5s]", "Level [dBm]"}},
        {"Frequency Domain - Amplitude", {"Frequency [MHz]", "Level [dBm]"}},
        {"CCDF", {"Level above mean [dB]", "Density [%]"}},
        {"Linear vs Linear", {"Input amplitude [linear]", "Output amplitude [linear]"}},
        {"Gain vs Log", {"Input amplitude [dB]", "Gain [dB]"}}};
    for (double rate : {16e6, 0.0}) {
        HOx::IQSampleRate = rate;
        for (int set = 0; set < sets->count(); ++set) {
            sets->setCurrentIndex(set);
            for (int format = 0; format < formats->count(); ++format) {
                formats->setCurrentIndex(format);
                SCOPED_TRACE(sets->currentText().toStdString() + " / " +
                             formats->currentText().toStdString() + " at " + std::to_string(rate));
                const bool outputI = sets->currentData() == DataDisplay::DUTOutput &&
                                     formats->currentData() == DataDisplay::TimeI;
                EXPECT_EQ(Plot()->data()->size(), outputI && rate > 0 ? 8 : 0);
                const auto* title =
                    qobject_cast<QCPTextElement*>(window.Graph()->plotLayout()->element(0, 0));
                ASSERT_NE(title, nullptr);
                EXPECT_EQ(title->text(), sets->currentText());
                EXPECT_EQ(window.Graph()->xAxis->label(),
                          captions.at(formats->currentText()).first);
                EXPECT_EQ(window.Graph()->yAxis->label(),
                          captions.at(formats->currentText()).second);
            }
        }
    }
}
