// The options dialog.

#include "Configure.h"

#include "DialogKit.h"
#include "General.h"
#include "INIIO.h"
#include "Services.h"
#include "SettingNumber.h"
#include "TypedEntries.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

Configure* g_configure = nullptr;

std::string TextOf(const QLineEdit* box) {
    return box->text().toLatin1().toStdString();
}

QString Shown(double value) {
    return QString::fromLatin1(INIIO::TrimStr(value));
}
QString Shown(float value) {
    return QString::fromLatin1(INIIO::TrimStr(value));
}
QString Shown(std::int32_t value) {
    return QString::fromLatin1(INIIO::TrimStr(value));
}

void Paint(QWidget* w, QPalette::ColorRole role, std::uint32_t windowsColour) {
    QPalette palette = w->palette();
    palette.setColor(role, QColor(qRgb(static_cast<int>(windowsColour & 0xFF),
                                       static_cast<int>((windowsColour >> 8) & 0xFF),
                                       static_cast<int>((windowsColour >> 16) & 0xFF))));
    w->setPalette(palette);
}

// The log level and file flag of debug instrument 0 (modulation source),
// 1 (RF generator) or 2 (analyzer); nullptr for any other index.
std::int32_t* DebugLevelOf(int instrument) {
    switch (instrument) {
    case 0:
        return &General::ModSourDebug;
    case 1:
        return &General::RFSourDebug;
    case 2:
        return &General::AnaDebug;
    default:
        return nullptr;
    }
}
bool* DebugFileOf(int instrument) {
    switch (instrument) {
    case 0:
        return &General::ModSourDebugFile;
    case 1:
        return &General::RFSourDebugFile;
    case 2:
        return &General::AnaDebugFile;
    default:
        return nullptr;
    }
}

// The port setting is 16-bit, as the settings files hold it, and 0 is no
// TCP port: the caption names the range wherever a text is refused.
constexpr std::int16_t kLowestPort = 1;
const char* const kPortCaption = "TCP/IP port (1 to 32767)";

std::optional<std::int16_t> PortIn(const QLineEdit* box) {
    const std::optional<std::int16_t> port =
        SettingNumber::ReadAs<std::int16_t>(TextOf(box), SettingNumber::Reading::Plain).value;
    if (!port || *port < kLowestPort) return std::nullopt;
    return port;
}

QLineEdit* Box(bool selectAll = false) {
    auto* box = new QLineEdit;
    box->setMinimumWidth(70);
    if (selectAll) DialogKit::SelectAllOnFocus(box);
    return box;
}

// The order list: items "02" .. "19", each carrying its order as code.
void FillOrders(QComboBox* list) {
    std::vector<std::pair<QString, int>> items;
    for (int order = 2; order <= 19; ++order)
        items.emplace_back(QString::asprintf("%02d", order), order);
    DialogKit::FillList(list, items);
}

} // namespace

Configure& Configure::Instance() {
    if (!g_configure) g_configure = new Configure;
    return *g_configure;
}

bool Configure::Exists() {
    return g_configure != nullptr;
}

void Configure::Show() {
    // The start frequency may have changed in the equipment setup meanwhile.
    Instance().ShowSweepValues();
    DialogKit::ShowWindow(&Instance());
}

Configure::~Configure() {
    if (g_configure == this) g_configure = nullptr;
}

Configure::Configure() {
    setWindowTitle("Configuration");
    setAttribute(Qt::WA_DeleteOnClose);
    SetupTab = new QTabWidget;
    SetupTab->addTab(BuildGeneralTab(), "General Setup");
    SetupTab->addTab(BuildSweepTab(), "Sweeping");
    SetupTab->addTab(BuildMeasurementTab(), "Measurement");
    SetupTab->addTab(BuildProcessingTab(), "Signal Processing");
    SetupTab->addTab(BuildDebugTab(), "Debugging");
    OK = new QPushButton("OK");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    auto* top = new QVBoxLayout(this);
    top->addWidget(SetupTab, 1);
    top->addLayout(buttons);
    connect(OK, &QPushButton::clicked, this, &Configure::OK_Click);
    ConnectGeneral();
    ConnectProcessing();
    ConnectDebug();
    Form_Load();
    // The controls that only this update fills would otherwise show their
    // first, empty state instead of the settings.
    UpdateParameters();
}

QWidget* Configure::BuildGeneralTab() {
    auto* tab = new QWidget;
    auto* network = new QGroupBox("TCP/IP Control");
    auto* netRow = new QHBoxLayout(network);
    NetworkActive = new QCheckBox("activate, port:");
    NetworkPort = Box();
    netRow->addWidget(NetworkActive);
    netRow->addWidget(NetworkPort);
    netRow->addStretch();
    auto* tags = new QGroupBox("WV File Tags");
    auto* tagForm = new QFormLayout(tags);
    WVTagComment = Box();
    WVTagCopyright = Box();
    tagForm->addRow("comment", WVTagComment);
    tagForm->addRow("copyright", WVTagCopyright);
    auto* column = new QVBoxLayout(tab);
    column->addWidget(network);
    column->addWidget(tags);
    column->addStretch();
    return tab;
}

QWidget* Configure::BuildSweepTab() {
    auto* tab = new QWidget;
    auto* grid = new QGridLayout(tab);
    SweepLevel = new QCheckBox("Level Sweep");
    SweepFreq = new QCheckBox("Frequency Sweep");
    for (QCheckBox* c : {SweepLevel, SweepFreq})
        c->setAutoFillBackground(true);
    StartLevelB = Box(), StopLevelB = Box(), StepLevelB = Box();
    StartFreqB = Box(), StopFreqB = Box(), StepFreqB = Box();
    // The sweep values come from the settings file (the start frequency from
    // the equipment setup); these boxes show them and take no typing that
    // would be ignored.
    for (QLineEdit* box : {StartLevelB, StopLevelB, StepLevelB, StartFreqB, StopFreqB, StepFreqB})
        box->setReadOnly(true);
    grid->addWidget(new QLabel("Start"), 0, 2);
    grid->addWidget(new QLabel("Stop"), 0, 3);
    grid->addWidget(new QLabel("Step"), 0, 4);
    grid->addWidget(SweepLevel, 1, 0);
    grid->addWidget(new QLabel("RMS Level [dBm]"), 1, 1);
    grid->addWidget(StartLevelB, 1, 2), grid->addWidget(StopLevelB, 1, 3);
    grid->addWidget(StepLevelB, 1, 4);
    grid->addWidget(SweepFreq, 2, 0);
    grid->addWidget(new QLabel("Freq [MHz]"), 2, 1);
    grid->addWidget(StartFreqB, 2, 2), grid->addWidget(StopFreqB, 2, 3);
    grid->addWidget(StepFreqB, 2, 4);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(5, 1);
    return tab;
}

QWidget* Configure::BuildMeasurementTab() {
    auto* tab = new QWidget;
    auto* level = new QGroupBox("auto-level setup");
    auto* levelForm = new QFormLayout(level);
    GainLevel[0] = Box(true);
    GainLevel[1] = Box(true);
    levelForm->addRow("raw leveling steps", GainLevel[0]);
    levelForm->addRow("starting level below target RMS", GainLevel[1]);
    auto* mixer = new QGroupBox("optimum analyzer mixer level");
    auto* mixerForm = new QFormLayout(mixer);
    MixInstr = new QComboBox;
    AnaAtt = Box(true);
    mixerForm->addRow("instrument", MixInstr);
    mixerForm->addRow("peak mixer level [dBm]", AnaAtt);
    auto* column = new QVBoxLayout(tab);
    column->addWidget(level);
    column->addWidget(mixer);
    column->addStretch();
    return tab;
}

QWidget* Configure::BuildProcessingTab() {
    auto* tab = new QWidget;
    auto curve = [](const char* caption, const char* setCaption, QComboBox*& order,
                    QLineEdit*& grid, QLineEdit*& low, QCheckBox*& ignore, QCheckBox*& set) {
        auto* frame = new QGroupBox(caption);
        auto* form = new QFormLayout(frame);
        order = new QComboBox;
        grid = Box(true);
        low = Box(true);
        ignore = new QCheckBox("ignore");
        set = new QCheckBox(setCaption);
        form->addRow("polynom order", order);
        form->addRow("grid points", grid);
        form->addRow("lower limit", low);
        auto* flags = new QHBoxLayout;
        flags->addWidget(ignore);
        flags->addWidget(set);
        form->addRow("", flags);
        return frame;
    };
    auto* am = curve("AM/AM curve calc", "set linear", AMAMOrder, AMGridText, AMLowText,
                     AMLowIgnBox, AMLowLinBox);
    auto* pm = curve("AM/PM curve calc", "set zero", AMPMOrder, PMGridText, PMLowText, PMLowIgnBox,
                     PMLowLinBox);
    auto* order = new QGroupBox("Predistortion order");
    auto* orderColumn = new QVBoxLayout(order);
    AMbPM = new QRadioButton("AM, then PM");
    PMbAM = new QRadioButton("PM, then AM");
    AMbPM->setChecked(true);
    orderColumn->addWidget(AMbPM);
    orderColumn->addWidget(PMbAM);
    orderColumn->addStretch();
    auto* grid = new QGridLayout(tab);
    grid->addWidget(am, 0, 0);
    grid->addWidget(pm, 0, 1);
    grid->addWidget(order, 0, 2);
    grid->setRowStretch(1, 1);
    return tab;
}

QWidget* Configure::BuildDebugTab() {
    auto* tab = new QWidget;
    IEEEFrame = new QGroupBox("IEEE logging");
    auto* row = new QHBoxLayout(IEEEFrame);
    DebugInstrument = new QComboBox;
    DebugLevel = new QComboBox;
    DebugToFile = new QCheckBox("-> FILE");
    row->addWidget(new QLabel("instrument"));
    row->addWidget(DebugInstrument);
    row->addSpacing(12);
    row->addWidget(new QLabel("log level"));
    row->addWidget(DebugLevel);
    row->addWidget(DebugToFile);
    row->addStretch();
    auto* column = new QVBoxLayout(tab);
    column->addWidget(IEEEFrame);
    column->addStretch();
    return tab;
}

void Configure::ConnectGeneral() {
    connect(NetworkActive, &QCheckBox::toggled, this, [](bool on) { General::TCPIPActive = on; });
    connect(NetworkPort, &QLineEdit::textChanged, this, &Configure::NetworkPort_Change);
    DialogKit::CheckTyped(NetworkPort, kPortCaption,
                          [](const QLineEdit* box) { return PortIn(box).has_value(); });
    // Typing passes through texts that are no port ("" on the way to "2000");
    // the port typed is judged when the operator leaves the box.
    connect(NetworkPort, &QLineEdit::editingFinished, this, &Configure::NetworkPort_Refuse);
    connect(WVTagComment, &QLineEdit::textChanged, this,
            [this] { General::WVTagComment = TextOf(WVTagComment); });
    connect(WVTagCopyright, &QLineEdit::textChanged, this,
            [this] { General::WVTagCopyRight = TextOf(WVTagCopyright); });
    connect(SweepLevel, &QCheckBox::toggled, this, [this](bool on) {
        General::LevelSweep = on;
        UpdateSweepBoxes();
    });
    connect(SweepFreq, &QCheckBox::toggled, this, [this](bool on) {
        General::FrequencySweep = on;
        UpdateSweepBoxes();
    });
    DialogKit::StoreTyped(GainLevel[0], "raw leveling steps", General::GainMeasLev0);
    DialogKit::StoreTyped(GainLevel[1], "starting level below target RMS", General::GainMeasLev1);
    connect(MixInstr, &QComboBox::currentIndexChanged, this, &Configure::MixInstr_Click);
    DialogKit::StoreTypedWith<float>(
        AnaAtt, "peak mixer level [dBm]", [this](float level) { AnaAtt_Change(level); },
        DialogKit::Reading::Plain);
}

void Configure::ConnectProcessing() {
    // A new order takes effect at the next fit: the coefficients of the run
    // shown stay those fitted, which the report and the predistortion of an
    // existing file use.
    auto order = [this](QComboBox* list, std::int16_t& setting) {
        connect(list, &QComboBox::currentIndexChanged, this, [list, &setting] {
            if (auto code = DialogKit::SelectedCode(list)) setting = std::int16_t(*code);
        });
    };
    order(AMAMOrder, General::AMAMOrder);
    order(AMPMOrder, General::AMPMOrder);
    // Grid sizes beyond the 16-bit setting are refused.
    DialogKit::StoreTyped(AMGridText, "AM/AM grid points", General::AMAMGrid);
    DialogKit::StoreTyped(PMGridText, "AM/PM grid points", General::AMPMGrid);
    DialogKit::StoreTyped(AMLowText, "AM/AM lower limit", General::AMAMLowLim);
    DialogKit::StoreTyped(PMLowText, "AM/PM lower limit", General::AMPMLowLim);
    auto flag = [this](QCheckBox* box, bool& setting) {
        connect(box, &QCheckBox::toggled, this, [&setting](bool on) { setting = on; });
    };
    flag(AMLowIgnBox, General::AMAMLowIgn);
    flag(AMLowLinBox, General::AMAMLowSet);
    flag(PMLowIgnBox, General::AMPMLowIgn);
    flag(PMLowLinBox, General::AMPMLowSet);
    connect(AMbPM, &QRadioButton::toggled, this, [](bool on) {
        if (on) General::AMBeforePM = true;
    });
    connect(PMbAM, &QRadioButton::toggled, this, [](bool on) {
        if (on) General::AMBeforePM = false;
    });
}

void Configure::ConnectDebug() {
    connect(DebugInstrument, &QComboBox::currentIndexChanged, this,
            &Configure::DebugInstrument_Click);
    connect(DebugLevel, &QComboBox::currentIndexChanged, this, &Configure::DebugLevel_Click);
    connect(DebugToFile, &QCheckBox::toggled, this, &Configure::DebugToFile_Click);
}

void Configure::Form_Load() {
    DialogKit::FillList(MixInstr, {{"DANE", 0}, {"HOB", 1}, {"HOC", 2}, {"HOD", 3}});
    MixInstr->setCurrentIndex(0);
    DialogKit::FillList(DebugInstrument, {{"IQ gen", 0}, {"RF conv", 1}, {"Analyzer", 2}});
    DialogKit::FillList(DebugLevel, {{"OFF", 0}, {"ERRORS", 1}, {"COMPACT", 2}, {"FULL", 3}});
    FillOrders(AMAMOrder);
    FillOrders(AMPMOrder);
    // An order the lists do not hold selects nothing.
    DialogKit::SelectCode(AMAMOrder, General::AMAMOrder);
    DialogKit::SelectCode(AMPMOrder, General::AMPMOrder);
    AMLowText->setText(Shown(General::AMAMLowLim));
    AMLowIgnBox->setChecked(General::AMAMLowIgn);
    AMLowLinBox->setChecked(General::AMAMLowSet);
    AMGridText->setText(Shown(std::int32_t{General::AMAMGrid}));
    PMLowText->setText(Shown(General::AMPMLowLim));
    PMLowIgnBox->setChecked(General::AMPMLowIgn);
    PMLowLinBox->setChecked(General::AMPMLowSet);
    PMGridText->setText(Shown(std::int32_t{General::AMPMGrid}));
    GainLevel[0]->setText(Shown(General::GainMeasLev0));
    GainLevel[1]->setText(Shown(General::GainMeasLev1));
    WVTagCopyright->setText(QString::fromLatin1(General::WVTagCopyRight));
    WVTagComment->setText(QString::fromLatin1(General::WVTagComment));
    NetworkActive->setChecked(General::TCPIPActive);
    NetworkPort->setText(Shown(std::int32_t{General::TCPIPPort}));
}

void Configure::UpdateParameters() {
    UpdateSweepBoxes();
    (General::AMBeforePM ? AMbPM : PMbAM)->setChecked(true);
    IEEEFrame->setEnabled(General::DebugMode);
}

void Configure::UpdateSweepBoxes() {
    auto show = [](bool on, QCheckBox* sweep, std::initializer_list<QLineEdit*> boxes) {
        sweep->setChecked(on);
        Paint(sweep, sweep->backgroundRole(), on ? kSweepOn : kSweepOff);
        for (QLineEdit* box : boxes) {
            Paint(box, QPalette::Base, on ? kBoxOn : kBoxOff);
            box->setEnabled(on);
        }
    };
    show(General::LevelSweep, SweepLevel, {StartLevelB, StopLevelB, StepLevelB});
    show(General::FrequencySweep, SweepFreq, {StartFreqB, StopFreqB, StepFreqB});
    ShowSweepValues();
}

// The values a sweep runs with: the generator side drives the sweep list.
void Configure::ShowSweepValues() {
    StartLevelB->setText(Shown(General::GenLevelStart));
    StopLevelB->setText(Shown(General::GenLevelStop));
    StepLevelB->setText(Shown(General::GenLevelStep));
    StartFreqB->setText(Shown(General::GenFreqStart));
    StopFreqB->setText(Shown(General::GenFreqStop));
    StepFreqB->setText(Shown(General::GenFreqStep));
}

void Configure::MixInstr_Click() {
    const int family = MixInstr->currentIndex();
    if (family < 0 || family > 3) return;
    AnaAtt->setText(Shown(General::MixerOpt[static_cast<std::size_t>(family)]));
}

void Configure::AnaAtt_Change(float level) {
    const int family = MixInstr->currentIndex();
    if (family < 0 || family > 3) return;
    General::MixerOpt[static_cast<std::size_t>(family)] = level;
}

// A stored level outside the list shows no level rather than a wrong one.
void Configure::DebugInstrument_Click() {
    const int instrument = DebugInstrument->currentIndex();
    std::int32_t* level = DebugLevelOf(instrument);
    if (!level) return;
    DialogKit::SelectCode(DebugLevel, *level);
    DebugToFile->setChecked(*DebugFileOf(instrument));
}

void Configure::DebugLevel_Click() {
    std::int32_t* level = DebugLevelOf(DebugInstrument->currentIndex());
    const std::optional<int> code = DialogKit::SelectedCode(DebugLevel);
    if (level && code && *code >= 0 && *code <= 3) *level = *code;
}

void Configure::DebugToFile_Click() {
    if (bool* file = DebugFileOf(DebugInstrument->currentIndex())) *file = DebugToFile->isChecked();
}

// A number too large for the setting is also named in a status line, as in
// every number box.
void Configure::NetworkPort_Change() {
    const std::optional<std::int16_t> port =
        DialogKit::TypedInt16(NetworkPort, DialogKit::Reading::Plain);
    if (port && *port >= kLowestPort) General::TCPIPPort = *port;
}

// The box never goes on showing a port it did not store: a text that is no
// port is refused with a box naming the setting and its range, and the stored
// port is shown again. False when it refused.
bool Configure::NetworkPort_Refuse() {
    if (PortIn(NetworkPort)) return true;
    const std::string text = TextOf(NetworkPort);
    // Put back first: the message box takes the focus, which ends the editing
    // once more.
    NetworkPort->setText(Shown(std::int32_t{General::TCPIPPort}));
    Services::Messages().Message("Configuration", TypedEntries::Refusal({kPortCaption, text}),
                                 Services::MsgIcon::Warning, Services::MsgButtons::OK);
    return false;
}

// After a refusal the dialog stays open for the port to be typed again.
void Configure::OK_Click() {
    if (NetworkPort_Refuse()) DialogKit::HideWindow(this);
}
