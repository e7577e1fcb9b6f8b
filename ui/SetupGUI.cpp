// The equipment setup window: its layout, lifetime and the instrument lists.

#include "SetupGUI.h"

#include "DialogKit.h"
#include "StringOp.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

SetupGUI* g_setup = nullptr;

QLineEdit* Box() {
    auto* box = new QLineEdit;
    box->setMinimumWidth(80);
    DialogKit::SelectAllOnFocus(box);
    return box;
}

// An instrument list beside its address list.
QWidget* InstrumentPair(QListWidget*& names, QListWidget*& addresses) {
    auto* pair = new QWidget;
    auto* grid = new QGridLayout(pair);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel("instrument"), 0, 0);
    grid->addWidget(new QLabel("VISA address"), 0, 1);
    names = new QListWidget;
    addresses = new QListWidget;
    // As wide as an instrument's name and a LAN resource need (the lists
    // scroll for longer ones), not a list's default width: the window has to
    // fit beside the progress window.
    const QFontMetrics text(names->font());
    names->setMinimumWidth(text.horizontalAdvance("VRTA-R4Q") + 24);
    addresses->setMinimumWidth(text.horizontalAdvance("TCPIP0::192.168.1.20::inst0::INSTR") + 12);
    for (QListWidget* l : {names, addresses}) {
        l->setMaximumHeight(64);
        l->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    }
    grid->addWidget(names, 1, 0);
    grid->addWidget(addresses, 1, 1);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 3);
    return pair;
}

QLabel* Block(const char* caption) {
    auto* label = new QLabel(caption);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    label->setLineWidth(2);
    label->setMinimumHeight(44);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(0xE8, 0xF0, 0xFF));
    label->setPalette(palette);
    return label;
}

QLabel* Arrow() {
    auto* arrow = new QLabel(QString::fromUtf8("\u2192"));
    arrow->setAlignment(Qt::AlignCenter);
    QFont font = arrow->font();
    font.setPointSize(font.pointSize() * 2);
    arrow->setFont(font);
    return arrow;
}

} // namespace

SetupGUI& SetupGUI::Instance() {
    if (!g_setup) g_setup = new SetupGUI;
    return *g_setup;
}

bool SetupGUI::Exists() {
    return g_setup != nullptr;
}

void SetupGUI::Show() {
    DialogKit::ShowWindow(&Instance());
}

SetupGUI::SetupGUI() {
    setWindowTitle("Equipment Setup");
    setProperty("Tag", "KEEP");
    auto* grid = new QGridLayout(this);
    for (int b = 0; b < 4; ++b) {
        BlockLabel[static_cast<std::size_t>(b)] = Block("");
        grid->addWidget(BlockLabel[static_cast<std::size_t>(b)], 0, 2 * b);
        if (b > 0) grid->addWidget(Arrow(), 0, 2 * b - 1);
    }
    grid->addWidget(BuildGeneratorColumn(), 1, 0, Qt::AlignTop);
    grid->addWidget(BuildConverterColumn(), 1, 2, Qt::AlignTop);
    grid->addWidget(BuildDUTColumn(), 1, 4, Qt::AlignTop);
    grid->addWidget(BuildAnalyzerColumn(), 1, 6, Qt::AlignTop);
    for (int c : {0, 2, 4, 6})
        grid->setColumnStretch(c, c == 4 ? 1 : 2);
    grid->setRowStretch(2, 1);

    ConnectLists();
    ConnectTexts();
    ConnectSignal();
    Form_Load();
    LoadStaticLists();
    Update();
    EquipmentLists::Install(this);
}

SetupGUI::~SetupGUI() {
    if (EquipmentLists::Get() == this) EquipmentLists::Install(nullptr);
    if (g_setup == this) g_setup = nullptr;
}

// The window lives as long as the program: the instrument lists the
// discovery filled must stay with it, so closing only hides it.
void SetupGUI::closeEvent(QCloseEvent* event) {
    event->ignore();
    DialogKit::HideWindow(this);
}

QWidget* SetupGUI::BuildGeneratorColumn() {
    auto* column = new QWidget;
    auto* form = new QFormLayout(column);
    form->addRow(InstrumentPair(BBGenList, BBGenAdr));
    auto* signal = new QGroupBox("test signal");
    auto* signalColumn = new QVBoxLayout(signal);
    const char* const captions[4] = {"band limited noise", "dual tone", "Plenwave file",
                                     "ASCII file"};
    measSigGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto*& button = MeasSig[static_cast<std::size_t>(i)];
        button = new QRadioButton(captions[i]);
        measSigGroup_->addButton(button, i);
        signalColumn->addWidget(button);
    }
    FileName = new QLineEdit;
    // The path is chosen through "load ...", which also reads the file's
    // header; a path typed here would name a file nobody read.
    FileName->setReadOnly(true);
    LoadFileButton = new QPushButton("load ...");
    FileInfo = new QPushButton("? info ?");
    signalColumn->addWidget(FileName);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(LoadFileButton);
    fileRow->addWidget(FileInfo);
    signalColumn->addLayout(fileRow);
    form->addRow(signal);
    SigParam = new QLabel("Noise BW:");
    Bandwidth = Box();
    form->addRow(SigParam, Bandwidth);
    NoiseInit = Box();
    form->addRow("Noise init:", NoiseInit);
    Laenge = new QComboBox;
    form->addRow("Signal length:", Laenge);
    BOXWClock = Box();
    form->addRow("Clock [MHz]:", BOXWClock);
    BOXWAdvanced = new QPushButton("advanced");
    form->addRow(BOXWAdvanced);
    BOXWAdvFrame = new QGroupBox("IQ Amp (BOXW only)");
    auto* advanced = new QFormLayout(BOXWAdvFrame);
    BOXWIQAmp = Box();
    advanced->addRow("I and Q [V]:", BOXWIQAmp);
    // Its room is kept while it is hidden: the window keeps one size, and
    // showing the frame never squeezes the controls above it. A
    // form row ignores kept room; a box layout holds it.
    QSizePolicy keepRoom = BOXWAdvFrame->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    BOXWAdvFrame->setSizePolicy(keepRoom);
    BOXWAdvFrame->hide();
    auto* room = new QVBoxLayout;
    room->addWidget(BOXWAdvFrame);
    form->addRow(room);
    return column;
}

QWidget* SetupGUI::BuildConverterColumn() {
    auto* column = new QWidget;
    auto* form = new QFormLayout(column);
    form->addRow(InstrumentPair(RFGenList, RFGenAdr));
    GenFreq = Box();
    form->addRow("Frequency [MHz]:", GenFreq);
    RefPowLim = Box();
    form->addRow("Peak level limit [dBm]:", RefPowLim);
    RFConvIQFilt = new QComboBox;
    form->addRow("IQ filter:", RFConvIQFilt);
    RefList = new QComboBox;
    form->addRow("10 MHz reference:", RefList);
    return column;
}

QWidget* SetupGUI::BuildDUTColumn() {
    auto* column = new QWidget;
    auto* form = new QFormLayout(column);
    TargetPower = Box();
    form->addRow("Target RMS level [dBm]:", TargetPower);
    Delay = Box();
    form->addRow("Delay [s]:", Delay);
    return column;
}

QWidget* SetupGUI::BuildAnalyzerColumn() {
    auto* column = new QWidget;
    auto* form = new QFormLayout(column);
    form->addRow(InstrumentPair(AnalyzerList, AnalyzerAdr));
    AnaFreq = Box();
    form->addRow("Frequency [MHz]:", AnaFreq);
    // The continuous and the discrete rate share one place: exactly one of
    // them is seen, by analyzer family.
    auto* rate = new QWidget;
    auto* rateCell = new QGridLayout(rate);
    rateCell->setContentsMargins(0, 0, 0, 0);
    AnaSampFreqCont = Box();
    AnaSampFreqDisc = new QComboBox;
    rateCell->addWidget(AnaSampFreqCont, 0, 0);
    rateCell->addWidget(AnaSampFreqDisc, 0, 0);
    form->addRow("Sampling rate [MHz]:", rate);
    AnaMemDepth = new QComboBox;
    form->addRow("Capture depth:", AnaMemDepth);
    HOBRBW = new QComboBox;
    HOBRBWLabel = new QLabel("Filter bandwidth:");
    form->addRow(HOBRBWLabel, HOBRBW);
    return column;
}

QListWidget* SetupGUI::ListOf(Role role) const {
    switch (role) {
    case Role::ModSource:
        return BBGenList;
    case Role::RFGen:
        return RFGenList;
    case Role::Analyzer:
        return AnalyzerList;
    }
    return nullptr;
}

QListWidget* SetupGUI::AddressesOf(Role role) const {
    switch (role) {
    case Role::ModSource:
        return BBGenAdr;
    case Role::RFGen:
        return RFGenAdr;
    case Role::Analyzer:
        return AnalyzerAdr;
    }
    return nullptr;
}

void SetupGUI::Clear(Role role) {
    ListOf(role)->clear();
    AddressesOf(role)->clear();
}

void SetupGUI::Add(Role role, const std::string& label, const std::string& resource) {
    ListOf(role)->addItem(QString::fromLatin1(label));
    AddressesOf(role)->addItem(QString::fromLatin1(resource));
}

int SetupGUI::Count(Role role) const {
    return ListOf(role)->count();
}

void SetupGUI::SetEnabled(Role role, bool enabled) {
    ListOf(role)->setEnabled(enabled);
    AddressesOf(role)->setEnabled(enabled);
}

void SetupGUI::SelectLast(Role role) {
    QListWidget* list = ListOf(role);
    const int last = list->count() - 1;
    if (last < 0) return;
    if (list->currentRow() != last) {
        list->setCurrentRow(last); // raises the list's handler
        return;
    }
    switch (role) {
    case Role::ModSource:
        BBGenList_Click();
        break;
    case Role::RFGen:
        RFGenList_Click();
        break;
    case Role::Analyzer:
        AnalyzerList_Click();
        break;
    }
}

std::string SetupGUI::SelectedResource(Role role) const {
    const QListWidgetItem* item = AddressesOf(role)->item(ListOf(role)->currentRow());
    return item ? item->text().toLatin1().toStdString() : std::string();
}

std::string SetupGUI::SelectedLabel(Role role) const {
    const QListWidgetItem* item = ListOf(role)->currentItem();
    return item ? item->text().toLatin1().toStdString() : std::string();
}

// The analyzer families with a continuous rate have their typed rate read;
// the discrete list behind it holds whatever was chosen for another family.
double SetupGUI::SamplingRateMHz() const {
    if (AnaSampFreqCont->isEnabled())
        return StringOp::StrToDbl(AnaSampFreqCont->text().toLatin1().toStdString());
    const std::optional<int> hz = DialogKit::SelectedCode(AnaSampFreqDisc);
    return hz ? *hz / 1e6 : 0.0;
}

double SetupGUI::UnofferedRateMHz() const {
    if (!AnaSampFreqDisc->isEnabled() || AnaSampFreqDisc->currentIndex() >= 0) return 0;
    return unofferedHz_ / 1e6;
}
