// The equipment setup window: control events, filling the lists and showing
// the settings.

#include "DialogKit.h"
#include "General.h"
#include "IQFileReader.h"
#include "NumberText.h"
#include "Services.h"
#include "SetupGUI.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <cmath>
#include <filesystem>

namespace {

using Items = std::vector<std::pair<QString, int>>;

// Lengths in samples from 2^7 on, as the length and depth lists name them.
const char* const kLengthTexts[18] = {"128",  "256", "512", "1k",  "2k",   "4k",
                                      "8k",   "16k", "32k", "64k", "128k", "256k",
                                      "512k", "1M",  "2M",  "4M",  "8M",   "16M"};
constexpr int kDepthEntries = 15;
const char* const kRateTexts[12] = {"15.625 kHz", "31.25 kHz", "62.5 kHz", "125 kHz",
                                    "250 kHz",    "500 kHz",   "1 MHz",    "2 MHz",
                                    "4 MHz",      "8 MHz",     "16 MHz",   "32 MHz"};
const char* const kFilterTexts[8] = {"OFF",     "850 kHz", "2.5 MHz", "5 MHz",
                                     "7.5 MHz", "10 MHz",  "25 MHz",  "EXT"};
const char* const kRBWTexts[6] = {"300 kHz", "1 MHz", "3 MHz", "10 MHz", "20 MHz", "50 MHz"};
constexpr int kRBWHz[6] = {300000, 1000000, 3000000, 10000000, 20000000, 50000000};
// Each code names the instrument that keeps its own reference while the
// others lock to it, as the initialisation couples them: 1 the RF generator,
// 2 the modulation source.
const char* const kRefTexts[5] = {"not coupled", "RF Converter", "Modulation Source", "Analyzer",
                                  "external"};

std::string TextOf(const QLineEdit* box) {
    return box->text().toLatin1().toStdString();
}
QString Plain(double value) {
    return QString::fromLatin1(NumberText::Plain(value));
}
QString Plain(float value) {
    return QString::fromLatin1(NumberText::Plain(value));
}

// The exponent of a length that is exactly 2^e; nullopt for any other value
// (zero and negative ones included).
std::optional<int> ExactLog2(double value) {
    if (!(value > 0)) return std::nullopt;
    int exponent = 0;
    if (std::frexp(value, &exponent) != 0.5) return std::nullopt;
    return exponent - 1;
}

void Connect(QLineEdit* box, QObject* owner, auto store) {
    QObject::connect(box, &QLineEdit::textChanged, owner, store);
}

} // namespace

void SetupGUI::ConnectLists() {
    connect(BBGenList, &QListWidget::currentRowChanged, this, &SetupGUI::BBGenList_Click);
    connect(RFGenList, &QListWidget::currentRowChanged, this, &SetupGUI::RFGenList_Click);
    connect(AnalyzerList, &QListWidget::currentRowChanged, this, &SetupGUI::AnalyzerList_Click);
    // Choosing an address chooses its instrument.
    for (auto [addresses, names] : {std::pair{BBGenAdr, BBGenList}, std::pair{RFGenAdr, RFGenList},
                                    std::pair{AnalyzerAdr, AnalyzerList}}) {
        connect(addresses, &QListWidget::currentRowChanged, names,
                [names](int row) { names->setCurrentRow(row); });
    }

    auto code = [this](QComboBox* list, auto store) {
        connect(list, &QComboBox::currentIndexChanged, this, [list, store] {
            if (auto c = DialogKit::SelectedCode(list)) store(*c);
        });
    };
    code(RFConvIQFilt, [](int c) { General::IQFilter = static_cast<std::int16_t>(c); });
    code(RefList, [](int c) { General::RefSource = c; });
    code(Laenge, [](int log2) {
        General::NoiseLength = std::int32_t{1} << log2;
        General::NoiseLogLength = static_cast<std::int16_t>(log2);
    });
    code(AnaMemDepth, [](int samples) { General::SamplingDepth = samples; });
    code(AnaSampFreqDisc, [this](int hz) {
        General::SamplingRate = hz;
        unofferedHz_ = 0;
    });
    code(HOBRBW, [](int hz) { General::RBW = hz; });
}

void SetupGUI::ConnectTexts() {
    using DialogKit::StoreTyped, DialogKit::StoreTypedWith;
    StoreTyped(GenFreq, "Generator frequency [MHz]", General::GenFreqStart);
    Connect(GenFreq, this, [this] { AnaFreq->setText(GenFreq->text()); });
    StoreTyped(AnaFreq, "Analyzer frequency [MHz]", General::AnaFreqStart);
    StoreTyped(TargetPower, "Target RMS level [dBm]", General::TargetLevel);
    StoreTyped(RefPowLim, "Peak level limit [dBm]", General::MaximumPeakGeneratorLevel);
    StoreTyped(Delay, "Delay [s]", General::ApplyAndMeasurement);
    StoreTyped(BOXWClock, "Clock [MHz]", General::NoiseClock);
    // One amplitude for I and Q. Only a BOXW plays it: with another source
    // the box (hidden under "advanced" anyway) refuses no start.
    StoreTypedWith<double>(
        BOXWIQAmp, "I and Q [V]", [](double v) { General::NoiseIAmp = General::NoiseQAmp = v; },
        DialogKit::Reading::Regional, [] { return General::ModulatorType == 0; });
    StoreTyped(Bandwidth, "Noise BW / Tone Spacing", General::NoiseBandwidth);
    // The seed is a 16-bit value: a number beyond that range is refused.
    StoreTypedWith<std::int16_t>(NoiseInit, "Noise init",
                                 [](std::int16_t seed) { General::NoiseSeed = seed; });
    // A rate typed replaces the stored one that the rate list could not show.
    StoreTypedWith<double>(AnaSampFreqCont, "Sampling rate [MHz]", [this](double v) {
        General::SamplingRate = v * 1e6;
        unofferedHz_ = 0;
    });
}

void SetupGUI::ConnectSignal() {
    connect(measSigGroup_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) MeasSig_Click(id);
    });
    connect(LoadFileButton, &QPushButton::clicked, this, &SetupGUI::LoadSignalFile);
    connect(FileInfo, &QPushButton::clicked, this, &SetupGUI::FileInfo_Click);
    connect(BOXWAdvanced, &QPushButton::clicked, this,
            [this] { BOXWAdvFrame->setVisible(BOXWAdvFrame->isHidden()); });
}

void SetupGUI::Form_Load() {
    Items refs;
    for (int code = 0; code < 5; ++code)
        refs.emplace_back(kRefTexts[code], code);
    DialogKit::FillList(RefList, refs);
    BlockLabel[0]->setText("Baseband\r\nGenerator (IQ)");
    BlockLabel[1]->setText("IQ modulation\r\n(RF conversion)");
    BlockLabel[2]->setText("DUT");
    BlockLabel[3]->setText("IQ Downconversion &\r\nBaseband Analysis");
}

void SetupGUI::UpdateModSource() {}

void SetupGUI::UpdateGenerator() {}

void SetupGUI::LoadStaticLists() {
    Items filters, lengths, rates, rbws;
    for (int code = 0; code < 8; ++code)
        filters.emplace_back(kFilterTexts[code], code);
    for (int i = 0; i < 18; ++i)
        lengths.emplace_back(kLengthTexts[i], i + 7);
    for (int i = 0; i < 12; ++i)
        rates.emplace_back(kRateTexts[i], 15625 << i);
    for (int i = 0; i < 6; ++i)
        rbws.emplace_back(kRBWTexts[i], kRBWHz[i]);
    DialogKit::FillList(RFConvIQFilt, filters);
    DialogKit::FillList(Laenge, lengths);
    DialogKit::FillList(AnaSampFreqDisc, rates);
    DialogKit::FillList(HOBRBW, rbws);
}

void SetupGUI::LoadAnaDepth() {
    Items depths;
    for (int i = 0; i < kDepthEntries; ++i)
        depths.emplace_back(kLengthTexts[i], 1 << (i + 7));
    DialogKit::FillList(AnaMemDepth, depths);
}

void SetupGUI::BBGenList_Click() {
    const int row = BBGenList->currentRow();
    const QString text = row >= 0 ? BBGenList->item(row)->text() : QString();
    if (text == "BOXW")
        General::ModulatorType = 0;
    else if (text == "VRTA-R4Q")
        General::ModulatorType = 1;
    else if (text == "KLD-R2M" || text == "KLD-R2N")
        General::ModulatorType = 2;
    BBGenAdr->setCurrentRow(row);
}

void SetupGUI::RFGenList_Click() {
    const int row = RFGenList->currentRow();
    const QString text = row >= 0 ? RFGenList->item(row)->text() : QString();
    if (text == "EXTERNAL")
        General::RFConverterType = 0;
    else if (text == "VRTA")
        General::RFConverterType = 1;
    else if (text == "KLD")
        General::RFConverterType = 2;
    RFGenAdr->setCurrentRow(row);
}

void SetupGUI::AnalyzerList_Click() {
    const int row = AnalyzerList->currentRow();
    const QString text = row >= 0 ? AnalyzerList->item(row)->text() : QString();
    if (text.startsWith("DANE")) General::AnalyzerType = 0;
    if (text.startsWith("HOB")) General::AnalyzerType = 1;
    if (text.startsWith("HOC")) General::AnalyzerType = 2;
    if (text.startsWith("HOD")) General::AnalyzerType = 3;
    AnalyzerAdr->setCurrentRow(row);
    UpdateAnalyzer();
}

void SetupGUI::UpdateAnalyzer() {
    GenFreq->setText(Plain(General::GenFreqStart));
    AnaFreq->setText(Plain(General::AnaFreqStart));
    LoadAnaDepth();
    AnaMemDepth->show();
    const int type = General::AnalyzerType;
    if (type == 0 || type == 3) {
        AnaSampFreqCont->show();
        AnaSampFreqDisc->hide();
    } else if (type == 1 || type == 2) {
        AnaSampFreqCont->hide();
        AnaSampFreqDisc->show();
    }
    AnaSampFreqCont->setEnabled(!AnaSampFreqCont->isHidden());
    AnaSampFreqDisc->setEnabled(!AnaSampFreqDisc->isHidden());
    // Every depth of the list is selected, the first (128) included; a depth
    // of zero or below has no logarithm and selects nothing.
    if (General::SamplingDepth > 0) {
        const double i = NumberText::RoundHalfEven(std::log2(General::SamplingDepth)) - 7;
        if (i >= 0 && i < AnaMemDepth->count()) AnaMemDepth->setCurrentIndex(static_cast<int>(i));
    }
    HOBRBW->setVisible(type != 0);
    HOBRBWLabel->setVisible(type != 0);
}

void SetupGUI::UpdateSignalSource(bool mayAsk) {
    SigParam->setText(General::SignalType == 0 ? "Noise BW:" : "Tone Spacing:");
    const bool file = General::SignalType >= 2;
    FileName->setEnabled(file);
    LoadFileButton->setEnabled(file);
    FileInfo->setEnabled(file);
    if (!file) return;
    std::error_code ec;
    const std::string path = TextOf(FileName);
    if (mayAsk && (path.empty() || !std::filesystem::is_regular_file(path, ec))) LoadSignalFile();
}

void SetupGUI::Update() {
    DialogKit::SelectCode(RefList, General::RefSource);
    DialogKit::SelectCode(RFConvIQFilt, General::IQFilter);
    ShowSamplingRate();
    FileName->setText(QString::fromLocal8Bit(General::PlenwavePath));
    if (General::SignalType >= 0 && General::SignalType <= 3) {
        MeasSig_Click(General::SignalType);
    } else {
        // A type the window does not know: no option is shown as chosen.
        measSigGroup_->setExclusive(false);
        for (QRadioButton* b : MeasSig)
            b->setChecked(false);
        measSigGroup_->setExclusive(true);
        UpdateSignalSource();
    }
    ShowTestSignalLength();
    ShowTexts();
    const int rbw = HOBRBW->findData(General::RBW);
    if (rbw >= 0) HOBRBW->setCurrentIndex(rbw);
    UpdateAnalyzer();
    UpdateGenerator();
}

// The discrete list shows a rate only when it holds exactly that rate: the
// nearest entry would store its own rate back and so replace the rate typed
// for an analyzer with a continuous rate.
void SetupGUI::ShowSamplingRate() {
    AnaSampFreqCont->setText(Plain(General::SamplingRate / 1e6));
    AnaSampFreqDisc->setCurrentIndex(-1);
    const double rate = General::SamplingRate;
    if (rate >= 1 && rate <= INT32_MAX && rate == std::floor(rate))
        DialogKit::SelectCode(AnaSampFreqDisc, static_cast<int>(rate));
    unofferedHz_ = AnaSampFreqDisc->currentIndex() < 0 && rate > 0 ? rate : 0;
}

// Only a length the list holds is selected: selecting the nearest entry
// would store its length over the one a waveform file gave.
void SetupGUI::ShowTestSignalLength() {
    const std::optional<int> log2 = ExactLog2(General::NoiseLength);
    DialogKit::SelectCode(Laenge, log2 ? *log2 : -1);
}

void SetupGUI::ShowTexts() {
    BOXWClock->setText(Plain(General::NoiseClock));
    NoiseInit->setText(Plain(General::NoiseSeed));
    Bandwidth->setText(Plain(General::NoiseBandwidth));
    BOXWIQAmp->setText(Plain(General::NoiseIAmp));
    Delay->setText(Plain(General::ApplyAndMeasurement));
    TargetPower->setText(Plain(General::TargetLevel));
    RefPowLim->setText(Plain(General::MaximumPeakGeneratorLevel));
}

void SetupGUI::MeasSig_Click(int index, bool mayAsk) {
    if (index < 0 || index > 3) return;
    General::SignalType = static_cast<std::int16_t>(index);
    {
        // the remote command reaches here without a click: show its choice
        const QSignalBlocker quiet(measSigGroup_);
        MeasSig[static_cast<std::size_t>(index)]->setChecked(true);
    }
    UpdateSignalSource(mayAsk);
    if (index >= 2) SignalFileInfo();
}

void SetupGUI::TargetPower_Change() {
    if (const auto v = DialogKit::TypedSingle(TargetPower)) General::TargetLevel = *v;
}

// A cancelled dialog keeps the file chosen before.
void SetupGUI::LoadSignalFile() {
    const std::string path = Services::FileDialogs().OpenFile(
        "Path for Plenwave-File", General::PlenwavePath, "IQ-File (*.ibn);;all files (*.*)");
    if (path.empty()) return;
    General::PlenwavePath = path;
    FileName->setText(QString::fromLocal8Bit(path));
    SignalFileInfo();
}

// A file whose header cannot be read changes neither the stored header nor
// the test-signal length: the reader's header would be an earlier file's.
void SetupGUI::SignalFileInfo() {
    const std::string path = FileName->text().toLocal8Bit().toStdString();
    if (path.empty()) return;
    WaveFileHeader header;
    std::int32_t status = IQFileReader::StatusOK;
    IQFileReader::OpenWaveFile(header, path, status);
    IQFileReader::CloseWaveFile();
    if (status != IQFileReader::StatusOK) {
        fileInfo_ = "file " + path + " could not be read (status " + std::to_string(status) + ")";
        return;
    }
    General::WaveHeader = header;
    fileInfo_ = IQFileReader::WaveFileInfoText(header);
    General::NoiseLength = header.PairCount;
}

void SetupGUI::FileInfo_Click() {
    Services::Messages().Message("PLENWAVE file info", fileInfo_, Services::MsgIcon::Information,
                                 Services::MsgButtons::OK);
}
