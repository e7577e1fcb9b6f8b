// The ACP setup dialog.

#include "ACPSetup.h"

#include "DialogKit.h"
#include "General.h"
#include "NumberText.h"
#include "StringOp.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kWindowTexts[7] = {"None = Rectangle", "Bartlett", "Hanning",      "Hamming",
                                     "Blackman-Harris",  "Tukey",    "Kaiser-Bessel"};
const char* const kDetectorTexts[5] = {"None", "Max", "Min", "Avg", "Rms"};
// Captions of the drawing's seven columns, in frequency order.
const char* const kColumnCaptions[7] = {"ALT2 Low", "ALT1 Low", "ACP Low", "Main Chan",
                                        "ACP Up",   "ALT1 Up",  "ALT2 Up"};

QString NumberText15(double value) {
    return QString::fromLatin1(NumberText::Plain(value, 15));
}

// A carrier spectrum drawn over the channel rectangles: flat across the main
// channel, steep skirts, then shoulders falling step by step outwards.
class SpectrumSketch final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 2));
        const double w = width() / 7.0, h = height();
        // heights (fraction of the rectangle, from the bottom) per column
        const double level[7] = {0.2, 0.35, 0.55, 0.85, 0.55, 0.35, 0.2};
        QPolygonF line;
        for (int c = 0; c < 7; ++c) {
            line << QPointF(c * w, h * (1 - level[c])) << QPointF((c + 1) * w, h * (1 - level[c]));
        }
        p.drawPolyline(line);
    }
};

// Keeps the sketch exactly over the rectangles it is drawn on.
class OverlayHost final : public QWidget {
public:
    explicit OverlayHost(QWidget* overlay) : overlay_(overlay) { overlay_->setParent(this); }

protected:
    void resizeEvent(QResizeEvent*) override {
        overlay_->setGeometry(rect());
        overlay_->raise();
    }

private:
    QWidget* overlay_;
};

// The detector reduces the spectrum in groups of this many points: a group
// of fewer than one point means nothing, so such a text (and one too large
// for the setting) gives no size.
std::optional<std::int32_t> GroupSize(const QLineEdit* box) {
    const std::optional<double> value = StringOp::WholeNumber(box->text().toLatin1().toStdString());
    std::int32_t size = 0;
    if (!value || !NumberText::ToInt32(*value, size) || size < 1) return std::nullopt;
    return size;
}

// A bandwidth or spacing box's number into its field; a text that is no
// number (an emptied box included) leaves the field as it was.
void StoreBandOrSpacing(const QLineEdit* box, double& field) {
    if (const std::optional<double> v = DialogKit::TypedNumber(box)) field = *v;
}

void Fill(QFrame* rectangle, std::uint32_t windowsColour) {
    QPalette palette = rectangle->palette();
    palette.setColor(QPalette::Window, QColor(ACPSetup::ToRgb(windowsColour)));
    rectangle->setPalette(palette);
}

QFrame* Rectangle(std::uint32_t windowsColour) {
    auto* r = new QFrame;
    r->setFrameShape(QFrame::Box);
    r->setAutoFillBackground(true);
    r->setMinimumSize(70, 60);
    Fill(r, windowsColour);
    return r;
}

} // namespace

QRgb ACPSetup::ToRgb(std::uint32_t c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

ACPSetup* ACPSetup::Open() {
    auto* dialog = new ACPSetup;
    DialogKit::ShowWindow(dialog);
    return dialog;
}

ACPSetup::ACPSetup() {
    setWindowTitle("ACP setup");
    setAttribute(Qt::WA_DeleteOnClose);
    OK = new QPushButton("OK");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    auto* top = new QVBoxLayout(this);
    top->addWidget(BuildMeasurementFrame());
    top->addWidget(BuildChannelFrame(), 1);
    top->addLayout(buttons);
    Connect();
    Form_Load();
}

QWidget* ACPSetup::BuildMeasurementFrame() {
    auto* frame = new QGroupBox("ACP measurement settings");
    auto* row = new QHBoxLayout(frame);
    AnaWindow = new QComboBox;
    Detector = new QComboBox;
    Parameter = new QLineEdit;
    Parameter->setMaximumWidth(80);
    DialogKit::SelectAllOnFocus(Parameter);
    row->addWidget(new QLabel("Window"));
    row->addWidget(AnaWindow);
    row->addSpacing(12);
    row->addWidget(new QLabel("Detector"));
    row->addWidget(Detector);
    row->addSpacing(12);
    row->addWidget(new QLabel("Points"));
    row->addWidget(Parameter);
    row->addStretch();
    return frame;
}

QWidget* ACPSetup::BuildChannelFrame() {
    auto* frame = new QGroupBox("Settings");
    auto* grid = new QGridLayout(frame);

    auto* chanRow = new QHBoxLayout;
    Channels = new QComboBox;
    chanRow->addWidget(new QLabel("no. of ADJ chan"));
    chanRow->addWidget(Channels);
    chanRow->addStretch();
    AllMainBW = new QPushButton("all BW = main BW");
    EqualSpace = new QPushButton("spacing ALT like ACP");
    chanRow->addWidget(AllMainBW);
    chanRow->addWidget(EqualSpace);
    grid->addLayout(chanRow, 0, 0, 1, 8);

    auto box = [](QLineEdit*& b) {
        b = new QLineEdit;
        b->setMinimumWidth(60);
        DialogKit::SelectAllOnFocus(b);
        return b;
    };
    auto* drawing = new QWidget;
    auto* strip = new QHBoxLayout(drawing);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);
    Shape = Rectangle(kMainChannel);
    for (int i = 0; i < 3; ++i) {
        LC[static_cast<std::size_t>(i)] = Rectangle(kNotInUse[static_cast<std::size_t>(i)]);
        RC[static_cast<std::size_t>(i)] = Rectangle(kNotInUse[static_cast<std::size_t>(i)]);
    }
    for (QFrame* r : {LC[2], LC[1], LC[0], Shape, RC[0], RC[1], RC[2]})
        strip->addWidget(r, 1);
    auto* host = new OverlayHost(new SpectrumSketch);
    auto* hostLayout = new QHBoxLayout(host);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    hostLayout->addWidget(drawing);
    host->setAttribute(Qt::WA_TransparentForMouseEvents);

    for (int c = 0; c < 7; ++c) {
        auto* caption = new QLabel(kColumnCaptions[c]);
        caption->setAlignment(Qt::AlignCenter);
        grid->addWidget(caption, 1, c + 1);
    }
    grid->addWidget(host, 2, 1, 1, 7);
    grid->addWidget(new QLabel("channel bandwidth [MHz]"), 3, 0);
    grid->addWidget(new QLabel("channel spacing [MHz]"), 4, 0);
    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<std::size_t>(i);
        grid->addWidget(box(LowChanText[k]), 3, 3 - i);
        grid->addWidget(box(LowSpaceText[k]), 4, 3 - i);
        grid->addWidget(box(UpChanText[k]), 3, 5 + i);
        grid->addWidget(box(UpSpaceText[k]), 4, 5 + i);
    }
    grid->addWidget(box(MainChanText), 3, 4);
    grid->setRowStretch(2, 1);
    return frame;
}

void ACPSetup::Connect() {
    connect(AnaWindow, &QComboBox::currentIndexChanged, this, &ACPSetup::AnaWindow_Click);
    connect(Detector, &QComboBox::currentIndexChanged, this, &ACPSetup::Detector_Click);
    connect(Channels, &QComboBox::currentIndexChanged, this, &ACPSetup::Channels_Click);
    connect(AllMainBW, &QPushButton::clicked, this, &ACPSetup::AllMainBW_Click);
    connect(EqualSpace, &QPushButton::clicked, this, &ACPSetup::EqualSpace_Click);
    connect(OK, &QPushButton::clicked, this, &ACPSetup::OK_Click);
    connect(Parameter, &QLineEdit::textChanged, this, &ACPSetup::Parameter_Change);
    DialogKit::CheckTyped(Parameter, "detector points",
                          [](const QLineEdit* box) { return GroupSize(box).has_value(); });

    connect(MainChanText, &QLineEdit::textChanged, this, &ACPSetup::MainChanText_Change);
    DialogKit::CheckTypedAs<double>(MainChanText, "Main Chan channel bandwidth [MHz]");
    // Index k is channel pair k + 1, drawn k + 1 columns off the main channel.
    for (std::size_t k = 0; k < 3; ++k) {
        connect(LowChanText[k], &QLineEdit::textChanged, this,
                [this, k] { LowChanText_Change(k); });
        connect(UpChanText[k], &QLineEdit::textChanged, this, [this, k] { UpChanText_Change(k); });
        connect(LowSpaceText[k], &QLineEdit::textChanged, this,
                [this, k] { LowSpaceText_Change(k); });
        connect(UpSpaceText[k], &QLineEdit::textChanged, this,
                [this, k] { UpSpaceText_Change(k); });
        const std::string low = kColumnCaptions[2 - k], up = kColumnCaptions[4 + k];
        DialogKit::CheckTypedAs<double>(LowChanText[k], low + " channel bandwidth [MHz]");
        DialogKit::CheckTypedAs<double>(UpChanText[k], up + " channel bandwidth [MHz]");
        DialogKit::CheckTypedAs<double>(LowSpaceText[k], low + " channel spacing [MHz]");
        DialogKit::CheckTypedAs<double>(UpSpaceText[k], up + " channel spacing [MHz]");
    }
}

void ACPSetup::MainChanText_Change() {
    StoreBandOrSpacing(MainChanText, General::ACP.MainBW);
}
void ACPSetup::LowChanText_Change(std::size_t k) {
    StoreBandOrSpacing(LowChanText.at(k), General::ACP.LowerBW.at(k));
}
void ACPSetup::UpChanText_Change(std::size_t k) {
    StoreBandOrSpacing(UpChanText.at(k), General::ACP.UpperBW.at(k));
}
void ACPSetup::LowSpaceText_Change(std::size_t k) {
    StoreBandOrSpacing(LowSpaceText.at(k), General::ACP.LowerSpace.at(k));
}
void ACPSetup::UpSpaceText_Change(std::size_t k) {
    StoreBandOrSpacing(UpSpaceText.at(k), General::ACP.UpperSpace.at(k));
}

void ACPSetup::Form_Load() {
    std::vector<std::pair<QString, int>> windows, detectors;
    for (int code = 0; code < 7; ++code)
        windows.emplace_back(kWindowTexts[code], code);
    for (int code = 0; code < 5; ++code)
        detectors.emplace_back(kDetectorTexts[code], code);
    DialogKit::FillList(AnaWindow, windows);
    DialogKit::FillList(Detector, detectors);
    DialogKit::FillList(Channels, {{"1", 1}, {"2", 2}, {"3", 3}});
    // A count the list does not hold (0 included) selects nothing.
    DialogKit::SelectCode(Channels, General::ACP.Channels);

    const ACPSettings& acp = General::ACP;
    MainChanText->setText(NumberText15(acp.MainBW));
    for (std::size_t k = 0; k < 3; ++k) {
        LowChanText[k]->setText(NumberText15(acp.LowerBW[k]));
        UpChanText[k]->setText(NumberText15(acp.UpperBW[k]));
        LowSpaceText[k]->setText(NumberText15(acp.LowerSpace[k]));
        UpSpaceText[k]->setText(NumberText15(acp.UpperSpace[k]));
    }
    UpdateStats();
}

void ACPSetup::UpdateStats() {
    for (std::size_t k = 0; k < 3; ++k) {
        const bool inUse = static_cast<int>(k) + 1 <= General::ACP.Channels;
        const std::uint32_t colour = inUse ? kInUse[k] : kNotInUse[k];
        Fill(LC[k], colour);
        Fill(RC[k], colour);
        for (QLineEdit* b : {LowChanText[k], UpChanText[k], LowSpaceText[k], UpSpaceText[k]})
            b->setEnabled(inUse);
    }
    // Codes outside the lists (an edited settings file) show no selection.
    DialogKit::SelectCode(AnaWindow, General::Window);
    DialogKit::SelectCode(Detector, General::Detector);
    Parameter->setText(QString::number(General::DetectorParameter));
}

void ACPSetup::AnaWindow_Click() {
    if (auto code = DialogKit::SelectedCode(AnaWindow)) General::Window = *code;
}

void ACPSetup::Detector_Click() {
    if (auto code = DialogKit::SelectedCode(Detector)) General::Detector = *code;
}

void ACPSetup::Channels_Click() {
    if (auto code = DialogKit::SelectedCode(Channels)) {
        General::ACP.Channels = static_cast<std::int16_t>(*code);
        UpdateStats();
    }
}

// A text that gives no group size leaves the size as it was.
void ACPSetup::Parameter_Change() {
    if (const std::optional<std::int32_t> size = GroupSize(Parameter))
        General::DetectorParameter = *size;
}

void ACPSetup::AllMainBW_Click() {
    for (std::size_t k = 0; k < 3; ++k) {
        LowChanText[k]->setText(MainChanText->text());
        UpChanText[k]->setText(MainChanText->text());
    }
}

void ACPSetup::EqualSpace_Click() {
    auto s = [](const QLineEdit* box) {
        return StringOp::StrToDbl(box->text().toLatin1().toStdString());
    };
    LowSpaceText[1]->setText(NumberText15(s(LowSpaceText[0]) * 2));
    LowSpaceText[2]->setText(NumberText15(s(LowSpaceText[0]) * 3));
    UpSpaceText[1]->setText(NumberText15(s(UpSpaceText[0]) * 2));
    UpSpaceText[2]->setText(NumberText15(s(UpSpaceText[0]) * 3));
}

// A hidden dialog is never shown again (the next opening makes a new one), so
// OK lets it go entirely; every change is already in the settings.
void ACPSetup::OK_Click() {
    DialogKit::CloseWindow(this);
}
