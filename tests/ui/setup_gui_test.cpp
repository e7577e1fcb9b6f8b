// The equipment setup window: controls to settings, the instrument lists the
// engine reads through EquipmentLists, and the test-signal file.

#include "IQFileReader.h"
#include "RunStart.h"
#include "SetupGUI.h"
#include "settings_window_fixture.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>
#include <functional>

namespace {

class EquipmentSetup : public SettingsWindowTest {
protected:
    void TearDown() override {
        if (SetupGUI::Exists()) delete &SetupGUI::Instance();
        SettingsWindowTest::TearDown();
    }
    // An "ibn" waveform file of `pairs` I/Q pairs; returns its path.
    std::string WaveFile(const char* name, std::int32_t pairs) {
        WaveFileHeader header;
        header.HeaderLength = WaveFileHeader::Size;
        header.PairCount = pairs;
        header.Oversampling = 4;
        header.ClockHz = 16e6;
        std::vector<std::uint8_t> bytes(WaveFileHeader::Size + 8u * static_cast<unsigned>(pairs));
        header.ToBytes(bytes.data());
        const std::string path = Folder() + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static void Choose(QComboBox* list, const char* text) {
        const int i = list->findText(text);
        ASSERT_GE(i, 0) << text;
        list->setCurrentIndex(i);
    }
};

} // namespace

TEST_F(EquipmentSetup, TextBoxesWriteTheirSettings) {
    SetupGUI& w = SetupGUI::Instance();
    EXPECT_EQ(w.windowTitle(), "Equipment Setup");
    EXPECT_EQ(w.property("Tag").toString(), "KEEP");
    const struct {
        QLineEdit* SetupGUI::*box;
        const char* text;
        std::function<double()> setting;
        double expected;
    } cases[] = {
        {&SetupGUI::GenFreq, "1234,5", [] { return General::GenFreqStart; }, 1234.5},
        {&SetupGUI::AnaFreq, "900", [] { return General::AnaFreqStart; }, 900},
        {&SetupGUI::TargetPower, "-7,5", [] { return General::TargetLevel; }, -7.5},
        {&SetupGUI::RefPowLim, "20", [] { return General::MaximumPeakGeneratorLevel; }, 20},
        {&SetupGUI::Delay, "0.25", [] { return General::ApplyAndMeasurement; }, 0.25},
        {&SetupGUI::BOXWClock, "32", [] { return General::NoiseClock; }, 32},
        {&SetupGUI::Bandwidth, "3,84", [] { return General::NoiseBandwidth; }, 3.84},
        {&SetupGUI::BOXWIQAmp, "0.5", [] { return General::NoiseQAmp; }, 0.5},
        {&SetupGUI::NoiseInit, "123.5", [] { return General::NoiseSeed; }, 124},
        {&SetupGUI::NoiseInit, "40000", [] { return General::NoiseSeed; }, 124},
        {&SetupGUI::NoiseInit, "-32768", [] { return General::NoiseSeed; }, -32768},
        {&SetupGUI::AnaSampFreqCont, "20,5", [] { return General::SamplingRate; }, 20.5e6},
        {&SetupGUI::AnaSampFreqCont, "x", [] { return General::SamplingRate; }, 20.5e6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Type(w.*c.box, c.text);
        EXPECT_DOUBLE_EQ(c.setting(), c.expected);
    }
    // Too large for its setting: refused and logged, the setting kept (a
    // float cast of 1e39 would be undefined).
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    const struct {
        QLineEdit* SetupGUI::*box;
        const char* text;
        std::function<double()> setting;
    } refused[] = {
        {&SetupGUI::TargetPower, "1e39", [] { return General::TargetLevel; }},
        {&SetupGUI::TargetPower, "-1e400", [] { return General::TargetLevel; }},
        {&SetupGUI::RefPowLim, "4e38", [] { return General::MaximumPeakGeneratorLevel; }},
        {&SetupGUI::Delay, "1e39", [] { return General::ApplyAndMeasurement; }},
        {&SetupGUI::BOXWClock, "1e400", [] { return General::NoiseClock; }},
        {&SetupGUI::NoiseInit, "1e400", [] { return General::NoiseSeed; }},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.text);
        const double before = c.setting();
        status.lines.clear();
        Type(w.*c.box, c.text);
        EXPECT_EQ(c.setting(), before);
        ASSERT_EQ(status.lines.size(), 1u);
        EXPECT_NE(status.lines[0].find(c.text), std::string::npos);
    }

    // the generator frequency is also the analyzer's; one amplitude for I and Q
    Type(w.GenFreq, "2000");
    EXPECT_EQ(w.AnaFreq->text(), "2000");
    EXPECT_EQ(General::AnaFreqStart, 2000);
    EXPECT_EQ(General::NoiseIAmp, 0.5);
}

TEST_F(EquipmentSetup, ListsWriteTheValueTheirItemsCarry) {
    SetupGUI& w = SetupGUI::Instance();
    const struct {
        QComboBox* SetupGUI::*list;
        const char* text;
        std::function<double()> setting;
        double expected;
    } cases[] = {
        {&SetupGUI::AnaSampFreqDisc, "15.625 kHz", [] { return General::SamplingRate; }, 15625},
        {&SetupGUI::AnaSampFreqDisc, "32 MHz", [] { return General::SamplingRate; }, 32e6},
        {&SetupGUI::Laenge, "16k", [] { return General::NoiseLength; }, 16384},
        {&SetupGUI::Laenge, "128", [] { return General::NoiseLogLength; }, 7},
        {&SetupGUI::Laenge, "16M", [] { return General::NoiseLength; }, 16777216},
        {&SetupGUI::AnaMemDepth, "128", [] { return General::SamplingDepth; }, 128},
        {&SetupGUI::AnaMemDepth, "2M", [] { return General::SamplingDepth; }, 2097152},
        {&SetupGUI::HOBRBW, "300 kHz", [] { return General::RBW; }, 300000},
        {&SetupGUI::HOBRBW, "50 MHz", [] { return General::RBW; }, 50000000},
        {&SetupGUI::RFConvIQFilt, "7.5 MHz", [] { return General::IQFilter; }, 4},
        {&SetupGUI::RFConvIQFilt, "EXT", [] { return General::IQFilter; }, 7},
        // each label names the instrument the initialisation leaves on its own
        // reference: 1 the RF generator, 2 the modulation source
        {&SetupGUI::RefList, "RF Converter", [] { return General::RefSource; }, 1},
        {&SetupGUI::RefList, "Modulation Source", [] { return General::RefSource; }, 2},
        {&SetupGUI::RefList, "not coupled", [] { return General::RefSource; }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Choose(w.*c.list, c.text);
        EXPECT_DOUBLE_EQ(c.setting(), c.expected);
    }
    EXPECT_EQ(w.Laenge->count(), 18);
    EXPECT_EQ(w.AnaMemDepth->count(), 15);
    EXPECT_EQ(w.AnaSampFreqDisc->count(), 12);
    General::AnalyzerType = 1; // a family with the discrete list
    w.UpdateAnalyzer();
    Choose(w.AnaSampFreqDisc, "2 MHz");
    EXPECT_DOUBLE_EQ(w.SamplingRateMHz(), 2);
    w.AnaSampFreqDisc->setCurrentIndex(-1);
    EXPECT_DOUBLE_EQ(w.SamplingRateMHz(), 0);
}

TEST_F(EquipmentSetup, UpdateShowsEveryListEntryForItsSetting) {
    SetupGUI& w = SetupGUI::Instance();
    const struct {
        double rate;
        std::int32_t depth, length;
        int rateIndex, depthIndex, lengthIndex;
    } cases[] = {
        {15625, 128, 128, 0, 0, 0},
        {32e6, 2097152, 16777216, 11, 14, 17},
        {16e6, 16384, 16384, 10, 7, 7},
        // values no list holds select nothing, and nothing overwrites them
        {20e6, 0, 1000, -1, -1, -1},
        {-1, -5, 0, -1, -1, -1},
    };
    General::AnalyzerType = 1; // discrete rates
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        General::SamplingRate = c.rate;
        General::SamplingDepth = c.depth;
        General::NoiseLength = c.length;
        w.AnaMemDepth->setCurrentIndex(-1);
        w.Update();
        EXPECT_EQ(w.AnaSampFreqDisc->currentIndex(), c.rateIndex);
        EXPECT_EQ(w.AnaMemDepth->currentIndex(), c.depthIndex);
        EXPECT_EQ(w.Laenge->currentIndex(), c.lengthIndex);
        EXPECT_DOUBLE_EQ(General::SamplingRate, c.rate);
        EXPECT_EQ(General::NoiseLength, c.length);
        if (c.depth > 0) {
            EXPECT_EQ(General::SamplingDepth, c.depth);
        }
    }
}

TEST_F(EquipmentSetup, StoredIndexesOutsideTheListsSelectNothing) {
    General::IQFilter = 8;
    General::RefSource = -1;
    General::RBW = 123;
    General::AnalyzerType = 7;
    General::SignalType = 9;
    SetupGUI& w = SetupGUI::Instance();
    EXPECT_EQ(w.RFConvIQFilt->currentIndex(), -1);
    EXPECT_EQ(w.RefList->currentIndex(), -1);
    EXPECT_EQ(w.HOBRBW->currentIndex(), -1);
    for (QRadioButton* b : w.MeasSig)
        EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(General::IQFilter, 8);
    EXPECT_EQ(General::SignalType, 9);
    const std::size_t asked = files_.asked.size();
    w.MeasSig_Click(4); // the remote command's integer
    w.MeasSig_Click(-1);
    EXPECT_EQ(General::SignalType, 9);
    EXPECT_EQ(files_.asked.size(), asked);
    // A known type shown, then an unknown one: the shown choice goes.
    General::SignalType = 1;
    w.Update();
    EXPECT_TRUE(w.MeasSig[1]->isChecked());
    General::SignalType = 9;
    w.Update();
    for (QRadioButton* b : w.MeasSig)
        EXPECT_FALSE(b->isChecked());
}

TEST_F(EquipmentSetup, UpdateMirrorsTheSettingsAndCopiesTheGeneratorFrequency) {
    General::GenFreqStart = 1500;
    General::AnaFreqStart = 1400;
    General::NoiseIAmp = 0.7;
    General::NoiseQAmp = 0.3;
    General::TargetLevel = -12.5f;
    General::NoiseSeed = 17;
    General::IQFilter = 2;
    General::RBW = 20000000;
    SetupGUI& w = SetupGUI::Instance();
    EXPECT_EQ(w.GenFreq->text(), "1500");
    EXPECT_EQ(w.AnaFreq->text(), "1500");
    EXPECT_EQ(General::AnaFreqStart, 1500);
    EXPECT_EQ(General::NoiseQAmp, 0.7);
    EXPECT_EQ(w.TargetPower->text(), "-12.5");
    EXPECT_EQ(w.NoiseInit->text(), "17");
    EXPECT_EQ(w.RFConvIQFilt->currentText(), "2.5 MHz");
    EXPECT_EQ(w.HOBRBW->currentText(), "20 MHz");
    EXPECT_EQ(w.RefList->currentText(), "RF Converter"); // the default 1
    EXPECT_EQ(w.SigParam->text(), "Noise BW:");
    EXPECT_TRUE(w.MeasSig[0]->isChecked());
    EXPECT_FALSE(w.LoadFileButton->isEnabled());
    EXPECT_EQ(w.BlockLabel[3]->text(), "IQ Downconversion &\r\nBaseband Analysis");
}

TEST_F(EquipmentSetup, InstrumentListsNameTypesAndResources) {
    SetupGUI& w = SetupGUI::Instance();
    ASSERT_EQ(EquipmentLists::Get(), &w);
    using Role = EquipmentLists::Role;
    const struct {
        Role role;
        const char* label;
        std::int32_t* type;
        std::int32_t expected;
    } cases[] = {
        {Role::ModSource, "BOXW", &General::ModulatorType, 0},
        {Role::ModSource, "VRTA-R4Q", &General::ModulatorType, 1},
        {Role::ModSource, "KLD-R2N", &General::ModulatorType, 2},
        {Role::ModSource, "KLD", &General::ModulatorType, 2}, // unknown: left
        {Role::RFGen, "EXTERNAL", &General::RFConverterType, 0},
        {Role::RFGen, "VRTA", &General::RFConverterType, 1},
        {Role::RFGen, "KLD-R2M", &General::RFConverterType, 1},
        {Role::Analyzer, "HOC 26", &General::AnalyzerType, 2},
        {Role::Analyzer, "DANE", &General::AnalyzerType, 0},
        {Role::Analyzer, "HOD", &General::AnalyzerType, 3},
        {Role::Analyzer, "XY", &General::AnalyzerType, 3},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string resource = "TCPIP::10.0.0." + std::to_string(++n) + "::INSTR";
        w.Add(c.role, c.label, resource);
        w.SelectLast(c.role);
        EXPECT_EQ(*c.type, c.expected);
        EXPECT_EQ(w.SelectedResource(c.role), resource);
    }
    EXPECT_EQ(w.Count(Role::Analyzer), 4);
    w.AnalyzerList->setCurrentRow(0);
    EXPECT_EQ(General::AnalyzerType, 2);
    EXPECT_EQ(w.AnalyzerAdr->currentRow(), 0);
    w.BBGenAdr->setCurrentRow(1); // an address chooses its instrument
    EXPECT_EQ(General::ModulatorType, 1);
    w.SetEnabled(Role::RFGen, false);
    EXPECT_FALSE(w.RFGenAdr->isEnabled());
    w.Clear(Role::ModSource);
    EXPECT_EQ(w.Count(Role::ModSource), 0);
    EXPECT_EQ(w.SelectedResource(Role::ModSource), "");
    delete &w;
    EXPECT_EQ(EquipmentLists::Get(), nullptr);
}

// The run starts with the rate the operator sees: typed for DANE and HOD,
// chosen from the list for HOB and HOC.
TEST_F(EquipmentSetup, TheRateOfTheVisibleControlIsTheRunsRate) {
    SetupGUI& w = SetupGUI::Instance();
    General::AnalyzerType = 1;
    w.Update();
    Choose(w.AnaSampFreqDisc, "16 MHz");
    const struct {
        const char* label;
        const char* typed;
        double rateMHz;
    } cases[] = {{"HOD", "32", 32},
                 {"DANE", "10,5", 10.5},
                 {"HOB", "20", 16},
                 {"HOC", "20", 16},
                 {"HOD", "abc", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        w.Add(EquipmentLists::Role::Analyzer, c.label, "GPIB0::20::INSTR");
        w.SelectLast(EquipmentLists::Role::Analyzer);
        Type(w.AnaSampFreqCont, c.typed);
        EXPECT_DOUBLE_EQ(w.SamplingRateMHz(), c.rateMHz);
    }
}

// A HOD's rate after a restart that finds a HOB: its list cannot show the
// rate, and the start says so, until a rate is chosen or typed.
TEST_F(EquipmentSetup, AStoredRateTheFoundAnalyzerDoesNotOfferIsNamedAtStart) {
    const std::string zero = "Sampling rate is zero! Please select correct value";
    const std::string unoffered =
        zero + "\r\n(the stored rate 20 MHz is not offered by the HOB analyzer)";
    General::AnalyzerType = 3;
    General::SamplingRate = 20e6;
    SetupGUI& w = SetupGUI::Instance();
    auto first = [&w] {
        const std::vector<std::string> refusals = RunStart::Refusals(w.SamplingRateMHz());
        return refusals.empty() ? std::string() : refusals[0];
    };
    w.Add(EquipmentLists::Role::Analyzer, "HOB", "GPIB0::20::INSTR");
    w.SelectLast(EquipmentLists::Role::Analyzer);
    EXPECT_EQ(first(), unoffered);
    EXPECT_EQ(first(), unoffered) << "a refused start forgets nothing";
    Choose(w.AnaSampFreqDisc, "16 MHz");
    EXPECT_NE(first(), zero);
    w.AnaSampFreqDisc->setCurrentIndex(-1);
    EXPECT_EQ(first(), zero) << "the rate chosen since replaced the stored one";

    General::SamplingRate = 20e6;
    w.Update(); // the stored rate shown again
    EXPECT_EQ(first(), unoffered);
    w.Add(EquipmentLists::Role::Analyzer, "HOD", "GPIB0::21::INSTR");
    w.SelectLast(EquipmentLists::Role::Analyzer);
    Type(w.AnaSampFreqCont, "0");
    w.Add(EquipmentLists::Role::Analyzer, "HOC", "GPIB0::22::INSTR");
    w.SelectLast(EquipmentLists::Role::Analyzer);
    EXPECT_EQ(first(), zero) << "the rate typed since replaced the stored one";
}

TEST_F(EquipmentSetup, AnalyzerFamilyChoosesTheRateControl) {
    SetupGUI& w = SetupGUI::Instance();
    const struct {
        const char* label;
        bool continuous, rbw;
    } cases[] = {
        {"HOB", false, true}, {"DANE", true, false}, {"HOC", false, true}, {"HOD", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        w.Add(EquipmentLists::Role::Analyzer, c.label, "GPIB0::20::INSTR");
        w.SelectLast(EquipmentLists::Role::Analyzer);
        EXPECT_EQ(!w.AnaSampFreqCont->isHidden(), c.continuous);
        EXPECT_EQ(w.AnaSampFreqCont->isEnabled(), c.continuous);
        EXPECT_EQ(!w.AnaSampFreqDisc->isHidden(), !c.continuous);
        EXPECT_EQ(w.AnaSampFreqDisc->isEnabled(), !c.continuous);
        EXPECT_EQ(!w.HOBRBW->isHidden(), c.rbw);
    }
}

TEST_F(EquipmentSetup, WaveformFileIsAskedForAndItsHeaderRead) {
    SetupGUI& w = SetupGUI::Instance();
    const std::string wave = WaveFile("tone.ibn", 1000);
    General::PlenwavePath = "";
    w.FileName->clear();

    // cancelled: nothing changes
    w.MeasSig[2]->click();
    ASSERT_EQ(files_.asked.size(), 1u);
    EXPECT_EQ(files_.asked[0], "open|Path for Plenwave-File||IQ-File (*.ibn);;all files (*.*)");
    EXPECT_EQ(General::SignalType, 2);
    EXPECT_EQ(General::PlenwavePath, "");
    EXPECT_EQ(w.SigParam->text(), "Tone Spacing:");
    EXPECT_TRUE(w.LoadFileButton->isEnabled());

    files_.answers = {wave};
    w.LoadFileButton->click();
    EXPECT_EQ(General::PlenwavePath, wave);
    EXPECT_EQ(w.FileName->text().toStdString(), wave);
    EXPECT_EQ(General::NoiseLength, 1000);
    EXPECT_EQ(General::WaveHeader.PairCount, 1000);
    w.FileInfo->click();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0], "PLENWAVE file info|" + w.FileInfoText());
    EXPECT_NE(w.FileInfoText().find("1000"), std::string::npos);

    // a later cancel keeps the file; Update keeps the file's length
    w.LoadFileButton->click();
    EXPECT_EQ(General::PlenwavePath, wave);
    w.Update();
    EXPECT_EQ(General::NoiseLength, 1000);
    EXPECT_EQ(files_.asked.size(), 3u); // the file exists: no question

    // a file that cannot be read leaves the length and the header alone
    const std::string broken = Folder() + "/broken.ibn";
    std::ofstream(broken) << "short";
    files_.answers = {broken};
    w.LoadFileButton->click();
    EXPECT_EQ(General::PlenwavePath, broken);
    EXPECT_EQ(General::NoiseLength, 1000);
    EXPECT_EQ(General::WaveHeader.PairCount, 1000);
    EXPECT_NE(w.FileInfoText().find("could not be read"), std::string::npos);

    w.MeasSig_Click(1); // the remote command shows its choice
    EXPECT_TRUE(w.MeasSig[1]->isChecked());
    EXPECT_FALSE(w.FileName->isEnabled());
}

TEST_F(EquipmentSetup, CloseBoxOnlyHidesAndTheAdvancedFrameToggles) {
    SetupGUI::Show();
    SetupGUI& w = SetupGUI::Instance();
    EXPECT_TRUE(w.BOXWAdvFrame->isHidden());
    w.BOXWAdvanced->click();
    EXPECT_FALSE(w.BOXWAdvFrame->isHidden());
    const QImage picture = Screenshot(&w, "equipment_setup");
    EXPECT_TRUE(ShowsEveryControl(&w, picture));
    // An arrow drawn between each two neighbouring blocks.
    std::array<bool, 4> arrowBefore{};
    for (const QLabel* label : w.findChildren<QLabel*>()) {
        if (label->text() != QString::fromUtf8("\u2192") || !label->isVisibleTo(&w)) continue;
        const QRect place = PlaceIn(&w, label);
        for (std::size_t b = 1; b < 4; ++b)
            if (place.left() >= PlaceIn(&w, w.BlockLabel[b - 1]).right() &&
                place.right() <= PlaceIn(&w, w.BlockLabel[b]).left() &&
                PixelsNear(picture, place, Qt::black, 100) > 10)
                arrowBefore[b] = true;
    }
    EXPECT_EQ(arrowBefore, (std::array<bool, 4>{false, true, true, true}));
    w.BOXWAdvanced->click();
    EXPECT_TRUE(w.BOXWAdvFrame->isHidden());
    w.close();
    Settle();
    ASSERT_TRUE(SetupGUI::Exists());
    EXPECT_TRUE(w.isHidden());
    EXPECT_EQ(EquipmentLists::Get(), &w);
    SetupGUI::Show();
    EXPECT_FALSE(w.isHidden());
}
