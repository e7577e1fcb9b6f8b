// Draws the stored records of the last run in the data display window.

#include "DataDisplay.h"

#include "AnalysisControls.h"
#include "DSP.h"
#include "General.h"
#include "HOx.h"
#include "SpecialCalc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

using Array = std::vector<double>;

// The HOx analyzers deliver their records 13.0103 dB (a factor of 20 in
// power) below the DANE's for the same level.
constexpr double kHOxSpectrumOffset = 13.0103;
constexpr short kCCDFBins = 500;
// A logarithmic axis cannot reach 0 %: it ends here.
constexpr double kLogAxisFloor = 1e-4;

// Fixed major ticks, optionally divided into a set number of minor intervals.
class FixedTicker : public QCPAxisTickerFixed {
public:
    explicit FixedTicker(int minorPerMajor) : minorPerMajor_(minorPerMajor) {}

protected:
    int getSubTickCount(double tickStep) override {
        return minorPerMajor_ > 0 ? minorPerMajor_ - 1
                                  : QCPAxisTickerFixed::getSubTickCount(tickStep);
    }

private:
    int minorPerMajor_;
};

Array Magnitude(const Array& I, const Array& Q) {
    Array out;
    SpecialCalc::IQMagnitude(I, Q, out);
    return out;
}

} // namespace

DataDisplay::DataDisplay(QWidget* parent) : QWidget(parent) {
    setWindowTitle("Data Display");
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
    Form_Load();
}

void DataDisplay::Form_Load() {
    const QSignalBlocker quiet(DataToDisplay_);
    for (const auto& [text, code] :
         {std::pair{"Noise floor", NoiseFloor}, std::pair{"DUT Input", DUTInput},
          std::pair{"DUT Output", DUTOutput}, std::pair{"AM/AM curve", AMAMCurve}})
        DataToDisplay_->addItem(text, static_cast<int>(code));
    DataToDisplay_->setCurrentIndex(-1); // nothing is shown until a set is chosen
}

void DataDisplay::BuildControls() {
    Disp_ = new QCustomPlot;
    Disp_->setObjectName("Disp");
    Disp_->setMinimumSize(400, 250);
    Disp_->plotLayout()->insertRow(0);
    caption_ = new QCPTextElement(Disp_, "");
    Disp_->plotLayout()->addElement(0, 0, caption_);
    plot_ = new QCPCurve(Disp_->xAxis, Disp_->yAxis);

    DataToDisplay_ = new QComboBox;
    DataToDisplay_->setObjectName("DataToDisplay");
    DataFormat_ = new QComboBox;
    DataFormat_->setObjectName("DataFormat");
    ShowLine_ = new QCheckBox("LINE");
    ShowLine_->setObjectName("ShowLine");
    ShowPoints_ = new QCheckBox("POINTS");
    ShowPoints_->setObjectName("ShowPoints");

    auto* configFrame = new QGroupBox("Configuration");
    configFrame->setObjectName("ConfigFrame");
    auto* config = new QGridLayout(configFrame);
    config->addWidget(new QLabel("Display"), 0, 0);
    config->addWidget(DataToDisplay_, 0, 1);
    config->addWidget(new QLabel("Format"), 1, 0);
    config->addWidget(DataFormat_, 1, 1);
    auto* show = new QHBoxLayout;
    show->addWidget(new QLabel("Show"));
    show->addWidget(ShowLine_);
    show->addWidget(ShowPoints_);
    config->addLayout(show, 2, 0, 1, 2);
    config->addWidget(BuildZoomFrame(), 0, 2, 3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Disp_, 1);
    layout->addWidget(configFrame);

    connect(DataToDisplay_, &QComboBox::currentIndexChanged, this,
            [this] { DataToDisplay_Click(); });
    connect(DataFormat_, &QComboBox::currentIndexChanged, this, [this] { DataFormat_Click(); });
    connect(ShowLine_, &QCheckBox::clicked, this, &DataDisplay::ShowLine_Click);
    connect(ShowPoints_, &QCheckBox::clicked, this, &DataDisplay::ShowPoints_Click);
}

QGroupBox* DataDisplay::BuildZoomFrame() {
    struct Action {
        const char* name;
        const char* text;
        const char* tip;
        int row, column;
        void (DataDisplay::*click)();
    };
    const Action actions[] = {
        {"ZoomAll", "full", "click to show the complete sequence", 0, 0,
         &DataDisplay::ZoomAll_Click},
        {"ZoomInX2", "in", "click to decrease span by a factor of 2", 0, 1,
         &DataDisplay::ZoomInX2_Click},
        {"ZoomOutX2", "out", "click to increase span by a factor of 2", 0, 2,
         &DataDisplay::ZoomOutX2_Click},
        {"ZoomIn", "zoom", "", 0, 3, &DataDisplay::ZoomIn_Click},
        {"MoveLeft2x", "<<", "", 1, 0, &DataDisplay::MoveLeft2x_Click},
        {"MoveLeft1x", "<", "", 1, 1, &DataDisplay::MoveLeft1x_Click},
        {"MoveRight1x", ">", "", 1, 2, &DataDisplay::MoveRight1x_Click},
        {"MoveRight2x", ">>", "", 1, 3, &DataDisplay::MoveRight2x_Click},
        {"AutoScaleX", "X", "", 3, 1, &DataDisplay::AutoScaleX_Click},
        {"AutoScaleY", "Y", "", 3, 2, &DataDisplay::AutoScaleY_Click},
        {"AutoScaleXY", "X and Y", "", 3, 3, &DataDisplay::AutoScaleXY_Click},
    };
    auto* frame = new QGroupBox("ZOOM && POS");
    frame->setObjectName("ZoomFrame");
    auto* grid = new QGridLayout(frame);
    for (const Action& action : actions) {
        auto* button = new QPushButton(action.text);
        button->setObjectName(action.name);
        if (*action.tip) button->setToolTip(action.tip);
        grid->addWidget(button, action.row, action.column);
        connect(button, &QPushButton::clicked, this, action.click);
    }
    auto* scrollFree = new QCheckBox("scroll"); // kept for its place; it has no action
    scrollFree->setObjectName("ScrollFree");
    grid->addWidget(scrollFree, 2, 0, 1, 2);
    grid->addWidget(new QLabel("Auto-Scale"), 3, 0);
    return frame;
}

void DataDisplay::AutoScaleX_Click() {
    AutoScale(true, false);
}
void DataDisplay::AutoScaleY_Click() {
    AutoScale(false, true);
}
void DataDisplay::AutoScaleXY_Click() {
    AutoScale(true, true);
}
// "full": the complete sequence along X; Y keeps its range.
void DataDisplay::ZoomAll_Click() {
    AutoScale(true, false);
}
void DataDisplay::ZoomInX2_Click() {
    ZoomX(0.5);
}
void DataDisplay::ZoomOutX2_Click() {
    ZoomX(2.0);
}
void DataDisplay::MoveLeft2x_Click() {
    ShiftXAxis(-0.5);
}
void DataDisplay::MoveLeft1x_Click() {
    ShiftXAxis(-0.125);
}
void DataDisplay::MoveRight1x_Click() {
    ShiftXAxis(0.125);
}
void DataDisplay::MoveRight2x_Click() {
    ShiftXAxis(0.5);
}
// The operator drags a rectangle to zoom into.
void DataDisplay::ZoomIn_Click() {
    Disp_->setSelectionRectMode(QCP::srmZoom);
}
void DataDisplay::ShowLine_Click() {
    plot_->setLineStyle(ShowLine_->isChecked() ? QCPCurve::lsLine : QCPCurve::lsNone);
    Disp_->replot();
}
void DataDisplay::ShowPoints_Click() {
    plot_->setScatterStyle(ShowPoints_->isChecked() ? QCPScatterStyle(QCPScatterStyle::ssCross, 5)
                                                    : QCPScatterStyle());
    Disp_->replot();
}

void DataDisplay::DataToDisplay_Click() {
    struct Entry {
        const char* text;
        int code;
    };
    static const Entry kSignalFormats[] = {{"Time Domain - I", TimeI},
                                           {"Time Domain - Q", TimeQ},
                                           {"Time Domain - Magnitude", TimeMagnitude},
                                           {"Frequency Domain - Amplitude", Spectrum},
                                           {"CCDF", CCDF}};
    // The refill would redraw at each change of the selection; the list
    // counts as unavailable until it is complete, so a set change draws once.
    formatAvailable_ = false;
    DataFormat_->clear();
    const int set = DataToDisplay_->currentData().toInt();
    if (set == AMAMCurve) {
        DataFormat_->addItem("Linear vs Linear", static_cast<int>(LinearVsLinear));
        DataFormat_->addItem("Gain vs Log", static_cast<int>(GainVsLog));
        DataFormat_->setCurrentIndex(0);
    } else {
        const int count = set == NoiseFloor ? 4 : 5;
        for (int k = 0; k < count; ++k)
            DataFormat_->addItem(kSignalFormats[k].text, kSignalFormats[k].code);
        DataFormat_->setCurrentIndex(3);
    }
    formatAvailable_ = true;
    UpdateGraph();
}

void DataDisplay::DataFormat_Click() {
    if (formatAvailable_) UpdateGraph();
}

void DataDisplay::UpdateGraph() {
    plot_->data()->clear();
    caption_->setText(DataToDisplay_->currentText());
    SetLogY(false);
    const auto& store = General::SignalStore;
    const int format = DataFormat_->currentData().toInt();
    switch (DataToDisplay_->currentData().toInt()) {
    case NoiseFloor:
        DrawTime(format, store[4], store[5]);
        break;
    case DUTInput:
        DrawTime(format, store[0], store[1]);
        break;
    case DUTOutput:
        DrawTime(format, store[2], store[3]);
        break;
    case AMAMCurve:
        DrawAMAM(format);
        break;
    default:
        break;
    }
    Disp_->replot();
}

// The record views: time signal, spectrum or CCDF by format code.
void DataDisplay::DrawTime(int format, const Array& I, const Array& Q) {
    if (format == Spectrum) return DrawSpectrum(I, Q);
    if (format == CCDF) return DrawCCDF(I, Q);
    if (format < TimeI || format > TimeMagnitude) return;
    // A view without data still says what it would show.
    SetCaptions("Time [\u00B5s]", format == TimeMagnitude ? "Level [dBm]"
                                  : format == TimeI       ? "I"
                                                          : "Q");
    // Without a sample rate the samples have no place on the time axis.
    if (HOx::IQSampleRate <= 0) return;
    const double step = 1e6 / HOx::IQSampleRate;
    if (format == TimeMagnitude) {
        Array db;
        DSP::IntMath().ArrayConvertAmptoDB(Magnitude(I, Q), db);
        PlotY(db, 0, step);
    } else {
        PlotY(format == TimeI ? I : Q, 0, step);
    }
    SetTicks(false, 10);
    // views that set no range follow their data, as the graph's axes do by default
    AutoScale(true, true);
}

void DataDisplay::DrawSpectrum(const Array& I, const Array& Q) {
    SetCaptions("Frequency [MHz]", "Level [dBm]");
    const Array spectrum = CalcSpectrum(I, Q);
    if (HOx::IQSampleRate <= 0 || spectrum.empty()) return;
    const double F = HOx::IQSampleRate / 1e6;
    PlotY(spectrum, -F / 2, F / static_cast<double>(spectrum.size()));
    AutoScale(true, true);
    SetTicks(true, SpecialCalc::AxisStep(static_cast<float>(F)), 5);
    SetTicks(false, 10);
}

void DataDisplay::DrawCCDF(const Array& I, const Array& Q) {
    Array percent, levels;
    CalcCCDF(I, Q, percent, levels);
    // The level axis is logarithmic: classes no sample lies above have no place on it.
    Array x, y;
    for (std::size_t k = 0; k < std::min(percent.size(), levels.size()); ++k)
        if (percent[k] > 0) {
            x.push_back(levels[k]);
            y.push_back(percent[k]);
        }
    SetCaptions("Level above mean [dB]", "Density [%]");
    Plot(x, y);
    Disp_->xAxis->setRange(-50, 10);
    SetLogY(true);
    Disp_->yAxis->setRange(kLogAxisFloor, 100);
}

void DataDisplay::DrawAMAM(int format) {
    const auto& store = General::SignalStore;
    Array x = Magnitude(store[0], store[1]);
    Array y = Magnitude(store[2], store[3]);
    if (format == LinearVsLinear) {
        SetCaptions("Input amplitude [linear]", "Output amplitude [linear]");
        Plot(x, y);
        Disp_->xAxis->setRange(0, 1);
        Disp_->yAxis->setRange(0, 1);
        SetTicks(true, 0.1);
        SetTicks(false, 0.1);
    } else if (format == GainVsLog) {
        // Amplitudes in dB are 20·log10: 10·log10 would show every level and
        // every gain at half its value.
        SpecialCalc::ArrayVoltToDB(x);
        SpecialCalc::ArrayVoltToDB(y);
        y.resize(std::min(x.size(), y.size()));
        x.resize(y.size());
        Array gain;
        Analysis::Subtract(y, x, gain);
        SetCaptions("Input amplitude [dB]", "Gain [dB]");
        Plot(x, gain);
        AutoScale(true, false);
        Disp_->yAxis->setRange(-10, 10);
        SetTicks(true, 1);
        SetTicks(false, 1);
    }
}

std::vector<double> DataDisplay::CalcSpectrum(const Array& I, const Array& Q) {
    const MathClass& math = DSP::IntMath();
    Array i = I, q = Q, re, im;
    math.SignalUseWindow(i, q, i, q, General::Window);
    if (i.empty() || !Analysis::FFT(i, q, re, im)) return {};
    math.FFTFlip(re, im);
    Array magnitude = Analysis::Linear(Magnitude(re, im), 1.0 / static_cast<double>(re.size()), 0);
    math.SignalDetector(magnitude, magnitude, General::Detector, General::DetectorParameter);
    Array db;
    math.ArrayConvertAmptoDB(magnitude, db);
    if (General::AnalyzerType >= 1 && General::AnalyzerType <= 3)
        db = Analysis::Linear(db, 1, kHOxSpectrumOffset);
    return db;
}

bool DataDisplay::CalcCCDF(const Array& I, const Array& Q, Array& ccdf, Array& levels) {
    if (!SpecialCalc::CalcSpectrumDB(I, Q, ccdf, levels, false, kCCDFBins)) return false;
    // The class levels are dB of full scale; the axis counts from the mean
    // power, which a record that has a CCDF always has.
    double power = 0;
    for (std::size_t k = 0; k < I.size(); ++k)
        power += I[k] * I[k] + Q[k] * Q[k];
    const double mean = SpecialCalc::VoltToDB(std::sqrt(power / static_cast<double>(I.size())));
    for (double& level : levels)
        level -= mean;
    return true;
}

void DataDisplay::ShiftXAxis(double fraction) {
    const QCPRange r = Disp_->xAxis->range();
    const double span = r.upper - r.lower;
    Disp_->xAxis->setRange(r.lower + span * fraction, r.upper + span * fraction);
    Disp_->replot();
}

// factor 0.5 halves the span about its centre, 2 doubles it.
void DataDisplay::ZoomX(double factor) {
    const QCPRange r = Disp_->xAxis->range();
    const double span = r.upper - r.lower;
    const double change = factor < 1 ? -span / 4 : span / 2;
    Disp_->xAxis->setRange(r.lower - change, r.upper + change);
    Disp_->replot();
}

void DataDisplay::AutoScale(bool x, bool y) {
    if (plot_->data()->isEmpty()) return;
    if (x) plot_->rescaleKeyAxis();
    if (y) plot_->rescaleValueAxis();
    Disp_->replot();
}

void DataDisplay::SetLogY(bool on) {
    Disp_->yAxis->setScaleType(on ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (on)
        Disp_->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else if (qSharedPointerDynamicCast<QCPAxisTickerLog>(Disp_->yAxis->ticker()))
        Disp_->yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
}

void DataDisplay::Plot(const Array& x, const Array& y) {
    const std::size_t n = std::min(x.size(), y.size());
    plot_->setData(QVector<double>(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n)),
                   QVector<double>(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n)));
}

void DataDisplay::PlotY(const Array& y, double firstX, double incrementX) {
    Array x(y.size());
    for (std::size_t k = 0; k < y.size(); ++k)
        x[k] = firstX + incrementX * static_cast<double>(k);
    Plot(x, y);
}

void DataDisplay::SetCaptions(const QString& x, const QString& y) {
    Disp_->xAxis->setLabel(x);
    Disp_->yAxis->setLabel(y);
}

// A fixed major tick interval; minorPerMajor > 0 also divides it into that
// many minor intervals.
void DataDisplay::SetTicks(bool xAxis, double major, int minorPerMajor) {
    QCPAxis* axis = xAxis ? Disp_->xAxis : Disp_->yAxis;
    if (axis->scaleType() == QCPAxis::stLogarithmic) return;
    auto ticker = QSharedPointer<FixedTicker>::create(minorPerMajor);
    ticker->setTickStep(major);
    // multiples of the step where the span would need too many ticks
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    axis->setTicker(ticker);
}
