// The verification window.

#include "VerifyForm.h"

#include "General.h"
#include "HOx.h"
#include "KTStandardWindows.h"
#include "MainFormAccess.h"
#include "NumberText.h"
#include "StringOp.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

std::function<void()> g_acpConfig;

const std::array<QColor, 10> kTraceColors = {
    QColor(0, 0, 255),     QColor(255, 0, 0),   QColor(255, 128, 0),   QColor(0, 160, 0),
    QColor(0, 200, 200),   QColor(160, 0, 160), QColor(200, 120, 200), QColor(0, 0, 0),
    QColor(128, 128, 128), QColor(150, 150, 0)};
const std::array<const char*, 10> kTraceNames = {
    "reference", "amplifier",    "sim. amplifier", "dist AM",         "sim. dist AM",
    "dist PM",   "sim. dist PM", "dist AM+PM",     "sim. dist AM+PM", "noise floor"};
const std::vector<int> kMeasured = {9, 0, 1, 3, 5, 7};
const std::vector<int> kSimulated = {2, 4, 6, 8};
const QColor kUnused(0xC0, 0xC0, 0xC0);

int Channels() {
    return std::clamp<int>(General::ACP.Channels, 0, 3);
}

// The number a text begins with ("." as separator); none for a text that does
// not begin with one, so a typing slip keeps the previous value.
std::optional<double> Val(const QString& text) {
    const std::string t = text.toStdString();
    if (!StringOp::BeginsWithNumber(t, ".")) return std::nullopt;
    return StringOp::LeadingNumber(t);
}

QString Format(double v) {
    if (std::isnan(v)) return "not measured";
    return QString::fromStdString(
        NumberText::FormatNumber(v, "##0.0", NumberText::RegionalDecimal()));
}

// A graph that gives back its paint buffers (a pixmap of its size for each
// group of layers) while it is not shown (hidden, minimised) and paints them
// anew when shown: the windows of earlier runs need no pixels of their own.
class SparingPlot final : public QCustomPlot {
public:
    explicit SparingPlot(QWidget* parent) : QCustomPlot(parent) {
        // Every replot makes the buffers again, also one of a hidden graph.
        connect(this, &QCustomPlot::afterReplot, this, [this] {
            if (!isVisible()) mPaintBuffers.clear();
        });
    }

protected:
    void hideEvent(QHideEvent* event) override {
        QCustomPlot::hideEvent(event);
        mPaintBuffers.clear();
    }
    void showEvent(QShowEvent* event) override {
        QCustomPlot::showEvent(event);
        replot();
    }
};

Verification::View* MakeView(std::shared_ptr<Verification::State> state) {
    auto* form = new VerifyForm(std::move(state));
    form->Form_Load();
    return form;
}

// The size at which spectrum and controls are readable, and never narrower
// than 12645 twips.
constexpr QSize kReadableSize(1000, 720);
constexpr double kLeastWidthTwips = 12645;
// The report's picture of the spectrum, whatever the window's size on screen.
constexpr QSize kPictureSize(1000, 600);

} // namespace

VerifyForm::VerifyForm(std::shared_ptr<Verification::State> state, QWidget* parent)
    : QWidget(parent), state_(std::move(state)) {
    setWindowTitle("Verify Amplifier Parameters");
    setAttribute(Qt::WA_DeleteOnClose);
    Tabelle_ = new QTableWidget(8, 8, this);
    Tabelle_->setObjectName("Tabelle");
    Tabelle_->horizontalHeader()->hide();
    Tabelle_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Tabelle_->verticalHeader()->hide();
    Tabelle_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabelle_->setFixedHeight(8 * 24 + 4);
    for (int r = 0; r < 8; ++r)
        Tabelle_->setRowHeight(r, 24);
    const char* captions[] = {"channel",   "power",   "reference", "amplifier",
                              "improvem.", "dist AM", "dist PM",   "dist AM+PM"};
    for (int r = 1; r <= 8; ++r)
        SetTableCell(r, 1, captions[r - 1]);

    Disp_ = new SparingPlot(this);
    Disp_->setObjectName("Disp");
    Disp_->setMinimumSize(600, 300);
    Disp_->addLayer("bands", Disp_->layer("grid"), QCustomPlot::limAbove);
    // The bands' captions stay readable over the traces.
    Disp_->addLayer("captions", Disp_->layer("main"), QCustomPlot::limAbove);
    Disp_->xAxis->setLabel("frequency offset [MHz]");
    Disp_->yAxis->setLabel("level [dB]");

    auto* graphics = new QGroupBox("graphics", this);
    auto* g = new QGridLayout(graphics);
    GraCenter_ = new QLineEdit("0", graphics);
    GraSpan_ = new QLineEdit(graphics);
    GraRange_ = new QLineEdit("100", graphics);
    const char* labels[] = {"center", "span", "range"};
    QLineEdit* boxes[] = {GraCenter_, GraSpan_, GraRange_};
    for (int k = 0; k < 3; ++k) {
        g->addWidget(new QLabel(labels[k], graphics), k, 0);
        g->addWidget(boxes[k], k, 1);
    }
    GraCenter_->setObjectName("GraCenter");
    GraSpan_->setObjectName("GraSpan");
    GraRange_->setObjectName("GraRange");
    connect(GraCenter_, &QLineEdit::textChanged, this, &VerifyForm::GraCenter_Change);
    connect(GraSpan_, &QLineEdit::textChanged, this, &VerifyForm::GraSpan_Change);
    connect(GraRange_, &QLineEdit::textChanged, this, &VerifyForm::GraRange_Change);
    auto* setCalcPara = new QPushButton("ACP config ...", graphics);
    auto* updateDisplay = new QPushButton("refresh", graphics);
    setCalcPara->setObjectName("SetCalcPara");
    updateDisplay->setObjectName("UpdateDisplay");
    g->addWidget(setCalcPara, 3, 0, 1, 2);
    g->addWidget(updateDisplay, 4, 0, 1, 2);
    connect(setCalcPara, &QPushButton::clicked, this, &VerifyForm::SetCalcPara_Click);
    connect(updateDisplay, &QPushButton::clicked, this, &VerifyForm::UpdateDisplay_Click);

    auto* legend = new QGroupBox("legende", this);
    auto* l = new QGridLayout(legend);
    MeasureCheck_ = new QCheckBox("Measured", legend);
    SimuCheck_ = new QCheckBox("Simulated", legend);
    MeasureCheck_->setObjectName("MeasureCheck");
    SimuCheck_->setObjectName("SimuCheck");
    MeasureCheck_->setChecked(true);
    SimuCheck_->setChecked(true);
    l->addWidget(MeasureCheck_, 0, 0);
    l->addWidget(SimuCheck_, 0, 1);
    connect(MeasureCheck_, &QCheckBox::clicked, this, &VerifyForm::MeasureCheck_Click);
    connect(SimuCheck_, &QCheckBox::clicked, this, &VerifyForm::SimuCheck_Click);
    for (int t = 0; t < 10; ++t) {
        auto* swatch = LegPlot_[std::size_t(t)] = new QLabel(legend);
        swatch->setObjectName("LegPlot");
        swatch->setFixedSize(24, 4);
        swatch->setStyleSheet("background: " + kTraceColors[std::size_t(t)].name());
        DTrace_[std::size_t(t)] = new QCheckBox(kTraceNames[std::size_t(t)], legend);
        DTrace_[std::size_t(t)]->setObjectName("DTrace");
        DTrace_[std::size_t(t)]->setChecked(true);
        l->addWidget(swatch, 1 + t, 0);
        l->addWidget(DTrace_[std::size_t(t)], 1 + t, 1);
        connect(DTrace_[std::size_t(t)], &QCheckBox::toggled, this, [this, t] { DTrace_Click(t); });
    }

    statusBar_ = new QLabel(this);
    auto* side = new QVBoxLayout;
    side->addWidget(graphics);
    side->addWidget(legend);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(Disp_, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Tabelle_);
    layout->addLayout(middle, 1);
    layout->addWidget(statusBar_);
    resize(sizeHint());

    ChanTimer_ = new QTimer(this);
    ChanTimer_->setObjectName("ChanTimer");
    ChanTimer_->setInterval(100);
    connect(ChanTimer_, &QTimer::timeout, this, &VerifyForm::ChanTimer_Timer);
    ChanTimer_->start();
}

VerifyForm::~VerifyForm() {
    Verification::Run::Forget(this);
}

QSize VerifyForm::sizeHint() const {
    return kReadableSize.expandedTo(QSize(KTStandard::TwipsToPixels(kLeastWidthTwips), 0))
        .expandedTo(minimumSizeHint());
}

void VerifyForm::Form_Load() {
    QWidget* frame = MainFormAccess::ShowChild(this);
    const QWidget* area = frame->parentWidget();
    if (frame == this || !area) return;
    // Centred on the client area, never beyond its top left corner.
    frame->move(std::max(0, (area->width() - frame->width()) / 2),
                std::max(0, (area->height() - frame->height()) / 2));
}

void VerifyForm::InstallViewMaker() {
    Verification::SetViewMaker(&MakeView);
}

void VerifyForm::SetACPConfigHook(std::function<void()> hook) {
    g_acpConfig = std::move(hook);
}

void VerifyForm::SetTableCell(int row, int col, const QString& text, const QColor* back) {
    auto* item = Tabelle_->item(row - 1, col - 1);
    if (!item) {
        item = new QTableWidgetItem;
        Tabelle_->setItem(row - 1, col - 1, item);
    }
    item->setText(text);
    item->setTextAlignment(Qt::AlignCenter);
    if (row <= 2 || col == 1) item->setBackground(QColor(0xE0, 0xE0, 0xE0));
    if (back) item->setBackground(*back);
}

void VerifyForm::UpdateChannelRows() {
    const int c = Channels();
    if (ShownChannels_ == c && General::ACP.Channels == c) return;
    const char* names[] = {"ALT2 Low", "ALT1 Low", "ACP Low", "Main Chan",
                           "ACP Up",   "ALT1 Up",  "ALT2 Up"};
    for (int col = 2; col <= 8; ++col) {
        SetTableCell(1, col, names[col - 2]);
        SetTableCell(2, col, col == 5 ? "[dBm]" : "[dB]");
        SetTableCell(5, col, "[dB]");
        const int pair = std::abs(col - 5);
        for (int row : {3, 4, 6, 7, 8}) {
            if (pair > c)
                SetTableCell(row, col, "", &kUnused);
            else if (auto* item = Tabelle_->item(row - 1, col - 1))
                item->setBackground(Qt::white);
        }
    }
    ShownChannels_ = c;
}

void VerifyForm::DisplayACP(long mode, int variant) {
    const int c = Channels();
    const auto& r = state_->ChannelResult;
    for (int j = 3 - c; j <= 3 + c; ++j) {
        const auto col = std::size_t(j);
        if (mode == Verification::Mode::Reference)
            SetTableCell(3, j + 2, Format(r[0][col]));
        else if (mode == Verification::Mode::Amplifier)
            SetTableCell(4, j + 2, Format(r[1][col]));
        else if (mode == Verification::Mode::Predistorted && variant >= 0 && variant <= 2)
            SetTableCell(6 + variant, j + 2, Format(r[2][col] - r[1][col]));
    }
    if (mode == Verification::Mode::Reference) SetTableCell(3, 5, "---");
    if (mode == Verification::Mode::Amplifier) SetTableCell(4, 5, "---");
}

void VerifyForm::DisplayPlot(int trace) {
    if (trace < 0 || trace > 9) return;
    const auto& spectrum = state_->DisplaySpectrum;
    const double fs = HOx::IQSampleRate / 1e6;
    const double n = double(spectrum.size());
    if (!AxesReady_) {
        Disp_->clearGraphs();
        PlotIndex_.fill(nullptr);
        const QSignalBlocker b1(GraCenter_), b2(GraSpan_), b3(GraRange_);
        GraCenter_->setText("0");
        GraSpan_->setText(QString::fromStdString(NumberText::Plain(fs)));
        GraRange_->setText("100");
        lastSpan_ = fs;
        Disp_->xAxis->setRange(-fs / 2, fs / 2);
        const double top =
            spectrum.empty() ? 0 : *std::max_element(spectrum.begin(), spectrum.end()) + 5;
        Disp_->yAxis->setRange(top - 100, top);
        AxesReady_ = true;
    }
    QCPGraph* graph = Disp_->addGraph();
    PlotIndex_[std::size_t(trace)] = graph;
    QVector<double> x(qsizetype(spectrum.size())), y(qsizetype(spectrum.size()));
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        x[qsizetype(k)] = -fs / 2 + double(k) * fs / n;
        y[qsizetype(k)] = spectrum[k];
    }
    graph->setData(x, y, true);
    graph->setPen(QPen(kTraceColors[std::size_t(trace)]));
    graph->setVisible(DTrace_[std::size_t(trace)]->isChecked());
    DisplayLines();
    StorePicture();
}

void VerifyForm::DisplayLines() {
    Disp_->clearItems();
    const auto& a = General::ACP;
    struct Band {
        const char* name;
        double centre, width;
    };
    std::vector<Band> bands = {{"MAIN", 0, a.MainBW}};
    const char* up[] = {"ACP UP", "ALT1 UP", "ALT2 UP"};
    const char* low[] = {"ACP LOW", "ALT1 LOW", "ALT2 LOW"};
    for (int n = 0; n < Channels(); ++n) {
        bands.push_back({up[n], a.UpperSpace[std::size_t(n)], a.UpperBW[std::size_t(n)]});
        bands.push_back({low[n], -a.LowerSpace[std::size_t(n)], a.LowerBW[std::size_t(n)]});
    }
    const QCPRange y = Disp_->yAxis->range();
    for (const Band& b : bands) {
        auto* rect = new QCPItemRect(Disp_);
        rect->setLayer("bands");
        rect->topLeft->setCoords(b.centre - b.width / 2, y.upper);
        rect->bottomRight->setCoords(b.centre + b.width / 2, y.lower);
        rect->setPen(Qt::NoPen);
        rect->setBrush(QColor(0xCC, 0xCC, 0xCC));
        // Upright, reading upwards from the bottom of its band: side by side,
        // the captions of narrow, close bands would run into one another.
        auto* caption = new QCPItemText(Disp_);
        caption->setLayer("captions");
        caption->setBrush(QColor(0xCC, 0xCC, 0xCC, 0xC0));
        caption->position->setCoords(b.centre, y.lower);
        caption->setRotation(-90);
        caption->setPositionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        caption->setPadding(QMargins(4, 0, 0, 0));
        caption->setText(b.name);
    }
    Disp_->replot();
}

void VerifyForm::ResetGraph() {
    Disp_->clearGraphs();
    PlotIndex_.fill(nullptr);
    Disp_->replot();
}

void VerifyForm::Present() {
    if (QWidget* frame = parentWidget() ? parentWidget() : this) {
        frame->show();
        frame->raise();
    }
    show();
}

void VerifyForm::EnableTraces(const std::array<bool, 3>& verified) {
    for (int k = 0; k < 3; ++k)
        for (int t : {3 + 2 * k, 4 + 2 * k}) {
            QCheckBox* box = DTrace_[std::size_t(t)];
            box->setEnabled(verified[std::size_t(k)]);
            if (!verified[std::size_t(k)]) box->setChecked(false);
        }
}

void VerifyForm::Close() {
    close();
}

void VerifyForm::DTrace_Click(int trace) {
    if (QCPGraph* g = PlotIndex_[std::size_t(trace)])
        g->setVisible(DTrace_[std::size_t(trace)]->isChecked());
    Disp_->replot();
    StorePicture();
}

void VerifyForm::CheckAll(const std::vector<int>& traces, bool on) {
    for (int t : traces)
        if (DTrace_[std::size_t(t)]->isChecked() != on) DTrace_[std::size_t(t)]->setChecked(on);
}

void VerifyForm::MeasureCheck_Click() {
    CheckAll(kMeasured, MeasureCheck_->isChecked());
}

void VerifyForm::SimuCheck_Click() {
    CheckAll(kSimulated, SimuCheck_->isChecked());
}

void VerifyForm::ChanTimer_Timer() {
    UpdateChannelRows();
}

// The centre and the span set the X range alike.
void VerifyForm::GraSpan_Change() {
    GraCenter_Change();
}

void VerifyForm::GraCenter_Change() {
    const double centre = Val(GraCenter_->text()).value_or(0);
    if (const auto span = Val(GraSpan_->text())) lastSpan_ = *span;
    Disp_->xAxis->setRange(centre - lastSpan_ / 2, centre + lastSpan_ / 2);
    Disp_->replot();
    StorePicture();
}

void VerifyForm::GraRange_Change() {
    const auto range = Val(GraRange_->text());
    if (!range) return;
    const double top = Disp_->yAxis->range().upper;
    Disp_->yAxis->setRange(top - *range, top);
    DisplayLines();
    StorePicture();
}

void VerifyForm::SetCalcPara_Click() {
    if (g_acpConfig) g_acpConfig();
}

// Re-evaluates the run's stored records with the current ACP settings.
void VerifyForm::UpdateDisplay_Click() {
    Verification::Refresh(*state_, this);
    StorePicture();
}

void VerifyForm::StorePicture() {
    General::Pictures[8] = Disp_->toPixmap(kPictureSize.width(), kPictureSize.height()).toImage();
}
