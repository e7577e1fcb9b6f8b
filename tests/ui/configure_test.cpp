// The options dialog writes its settings from the control events.

#include "Configure.h"
#include "settings_window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

namespace {

class OptionsDialog : public SettingsWindowTest {
protected:
    void TearDown() override {
        if (Configure::Exists()) delete &Configure::Instance();
        SettingsWindowTest::TearDown();
    }
};

// The colour the widget's background is painted with.
QRgb Colour(QWidget* w) {
    return w->grab().toImage().pixel(1, 1) & 0xFFFFFF;
}

} // namespace

TEST_F(OptionsDialog, TextBoxesWriteTheirSettings) {
    Configure& w = Configure::Instance();
    EXPECT_EQ(w.windowTitle(), "Configuration");
    // what each text box stores; a value its setting's type cannot hold is
    // refused with a status line and the last one stays, as does a text that
    // is more than a number (read plainly, "1,5" is not 1)
    const struct {
        QLineEdit* Configure::*box;
        const char* text;
        std::function<double()> setting;
        double expected;
        bool refused;
    } cases[] = {
        {&Configure::NetworkPort, "1234", [] { return General::TCPIPPort; }, 1234, false},
        {&Configure::NetworkPort, "70000", [] { return General::TCPIPPort; }, 1234, true},
        {&Configure::NetworkPort, "12,5", [] { return General::TCPIPPort; }, 1234, false},
        {&Configure::NetworkPort, "2500.5", [] { return General::TCPIPPort; }, 2500, false},
        {&Configure::AMGridText, "60", [] { return General::AMAMGrid; }, 60, false},
        {&Configure::AMGridText, "40000", [] { return General::AMAMGrid; }, 60, true},
        {&Configure::AMGridText, "2,5", [] { return General::AMAMGrid; }, 2, false},
        {&Configure::PMGridText, "3.5", [] { return General::AMPMGrid; }, 4, false},
        {&Configure::PMGridText, "-40000", [] { return General::AMPMGrid; }, 4, true},
        {&Configure::AMLowText, "1,25", [] { return General::AMAMLowLim; }, 1.25, false},
        {&Configure::AMLowText, "1e400", [] { return General::AMAMLowLim; }, 1.25, true},
        {&Configure::PMLowText, "7", [] { return General::AMPMLowLim; }, 7, false},
        {&Configure::AnaAtt, "1,5", [] { return General::MixerOpt[0]; }, -20, false},
        {&Configure::AnaAtt, "-12.5", [] { return General::MixerOpt[0]; }, -12.5, false},
        {&Configure::AnaAtt, "1e999", [] { return General::MixerOpt[0]; }, -12.5, true},
        {&Configure::AnaAtt, "1e39", [] { return General::MixerOpt[0]; }, -12.5, true},
    };
    FakeStatus status;
    Services::Scoped<Services::StatusDisplayService> useStatus{status};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        status.lines.clear();
        Type(w.*c.box, c.text);
        EXPECT_DOUBLE_EQ(c.setting(), c.expected);
        EXPECT_EQ(status.lines.size(), c.refused ? 1u : 0u);
    }
    // No port beyond the 16-bit setting, nor 0: leaving the box (Return) or
    // pressing OK refuses it with a box that names the setting and its
    // range, and the box shows the stored port again, as does the next
    // opening.
    Configure::Show();
    const struct {
        const char* text;
        std::function<void()> leave;
        const char* refusal;
    } ports[] = {{"40000", [&w] { QTest::keyClick(w.NetworkPort, Qt::Key_Return); },
                  "Configuration|TCP/IP port (1 to 32767): \"40000\" is not a valid number! "
                  "Please enter correct value"},
                 {"0", [&w] { w.OK->click(); },
                  "Configuration|TCP/IP port (1 to 32767): \"0\" is not a valid number! Please "
                  "enter correct value"}};
    for (const auto& c : ports) {
        SCOPED_TRACE(c.text);
        Type(w.NetworkPort, "2000");
        Type(w.NetworkPort, c.text);
        messages_.shown.clear();
        c.leave();
        EXPECT_EQ(messages_.shown, std::vector<std::string>{c.refusal});
        EXPECT_EQ(w.NetworkPort->text(), "2000");
        EXPECT_EQ(General::TCPIPPort, 2000);
        EXPECT_FALSE(w.isHidden()) << "open for the port to be typed again";
    }
    w.OK->click();
    EXPECT_TRUE(w.isHidden());
    EXPECT_EQ(messages_.shown.size(), 1u) << "a port is no refusal";
    Configure::Show();
    EXPECT_EQ(w.NetworkPort->text(), "2000");

    Type(w.GainLevel[0], "1e400");
    EXPECT_DOUBLE_EQ(General::GainMeasLev0, 30);
    Type(w.GainLevel[0], "1,5");
    EXPECT_DOUBLE_EQ(General::GainMeasLev0, 1.5);
    Type(w.GainLevel[1], "7");
    EXPECT_DOUBLE_EQ(General::GainMeasLev1, 7);
    Type(w.WVTagComment, "note");
    Type(w.WVTagCopyright, "(c) us");
    EXPECT_EQ(General::WVTagComment, "note");
    EXPECT_EQ(General::WVTagCopyRight, "(c) us");
}

TEST_F(OptionsDialog, CheckBoxesAndOptionsWriteTheirFlags) {
    Configure& w = Configure::Instance();
    const struct {
        QCheckBox* Configure::*box;
        bool* setting;
    } cases[] = {{&Configure::NetworkActive, &General::TCPIPActive},
                 {&Configure::AMLowIgnBox, &General::AMAMLowIgn},
                 {&Configure::AMLowLinBox, &General::AMAMLowSet},
                 {&Configure::PMLowIgnBox, &General::AMPMLowIgn},
                 {&Configure::PMLowLinBox, &General::AMPMLowSet},
                 {&Configure::SweepLevel, &General::LevelSweep},
                 {&Configure::SweepFreq, &General::FrequencySweep}};
    for (const auto& c : cases) {
        SCOPED_TRACE((w.*c.box)->text().toStdString());
        const bool before = *c.setting;
        (w.*c.box)->click();
        EXPECT_EQ(*c.setting, !before);
        (w.*c.box)->click();
        EXPECT_EQ(*c.setting, before);
    }
    w.PMbAM->click();
    EXPECT_FALSE(General::AMBeforePM);
    w.AMbPM->click();
    EXPECT_TRUE(General::AMBeforePM);
}

// The coefficients are a finished run's fit, which the report and the
// predistortion of an existing file use: a new order waits for the next fit.
TEST_F(OptionsDialog, OrdersComeFromItemCodesAndLeaveTheFittedCoefficients) {
    const std::vector<double> am = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, pm = {-1, 0.5};
    Configure& w = Configure::Instance();
    General::AMAMCoeff = General::AMAMPreCoeff = am;
    General::AMPMCoeff = General::AMPMPreCoeff = pm;
    EXPECT_EQ(w.AMAMOrder->currentText(), "09");
    w.AMAMOrder->setCurrentIndex(w.AMAMOrder->findText("05"));
    EXPECT_EQ(General::AMAMOrder, 5);
    w.AMPMOrder->setCurrentIndex(w.AMPMOrder->findText("19"));
    EXPECT_EQ(General::AMPMOrder, 19);
    EXPECT_EQ(General::AMAMCoeff, am);
    EXPECT_EQ(General::AMAMPreCoeff, am);
    EXPECT_EQ(General::AMPMCoeff, pm);
    EXPECT_EQ(General::AMPMPreCoeff, pm);
    EXPECT_EQ(w.AMAMOrder->count(), 18);
    EXPECT_EQ(w.AMAMOrder->itemText(0), "02");
}

TEST_F(OptionsDialog, StoredValuesOutsideTheListsSelectNothing) {
    General::AMAMOrder = 25;
    General::AMPMOrder = 1;
    General::ModSourDebug = 7;
    Configure& w = Configure::Instance();
    EXPECT_EQ(w.AMAMOrder->currentIndex(), -1);
    EXPECT_EQ(w.AMPMOrder->currentIndex(), -1);
    w.DebugInstrument->setCurrentIndex(0);
    EXPECT_EQ(w.DebugLevel->currentIndex(), -1);
    EXPECT_EQ(General::ModSourDebug, 7); // nothing chosen, nothing stored
}

TEST_F(OptionsDialog, DebugControlsFollowTheChosenInstrument) {
    General::ModSourDebug = 2;
    General::ModSourDebugFile = false;
    General::AnaDebug = 3;
    General::AnaDebugFile = true;
    General::DebugMode = true; // the logging frame is usable in debug mode only
    Configure& w = Configure::Instance();
    EXPECT_EQ(w.DebugInstrument->currentIndex(), -1);
    w.DebugLevel->setCurrentIndex(1); // no instrument chosen: nothing changes
    w.DebugToFile->click();
    EXPECT_EQ(General::ModSourDebug, 2);
    EXPECT_FALSE(General::ModSourDebugFile);

    w.DebugInstrument->setCurrentIndex(w.DebugInstrument->findText("Analyzer"));
    EXPECT_EQ(w.DebugLevel->currentText(), "FULL");
    EXPECT_TRUE(w.DebugToFile->isChecked());
    w.DebugInstrument->setCurrentIndex(w.DebugInstrument->findText("IQ gen"));
    EXPECT_EQ(w.DebugLevel->currentText(), "COMPACT");
    EXPECT_FALSE(w.DebugToFile->isChecked());
    w.DebugToFile->click();
    EXPECT_TRUE(General::ModSourDebugFile);
    EXPECT_FALSE(General::RFSourDebugFile);
    EXPECT_TRUE(General::AnaDebugFile);
    w.DebugLevel->setCurrentIndex(w.DebugLevel->findText("OFF"));
    EXPECT_EQ(General::ModSourDebug, 0);
    EXPECT_EQ(General::AnaDebug, 3);
    w.DebugLevel->setCurrentIndex(w.DebugLevel->findText("FULL"));
    EXPECT_EQ(General::ModSourDebug, 3);
}

TEST_F(OptionsDialog, MixerLevelEditsTheChosenFamily) {
    General::MixerOpt = {-20, -21, -15.5f, -16};
    Configure& w = Configure::Instance();
    EXPECT_EQ(w.MixInstr->currentText(), "DANE");
    EXPECT_EQ(w.AnaAtt->text(), "-20");
    w.MixInstr->setCurrentIndex(2);
    EXPECT_EQ(w.AnaAtt->text(), "-15.5");
    Type(w.AnaAtt, "-10");
    EXPECT_EQ(General::MixerOpt, (std::array<float, 4>{-20, -21, -10, -16}));
}

TEST_F(OptionsDialog, OpeningShowsTheSettingsTheUpdateOwns) {
    General::LevelSweep = true;
    General::FrequencySweep = false;
    General::AMBeforePM = false;
    General::DebugMode = true;
    Configure& w = Configure::Instance();
    EXPECT_TRUE(w.SweepLevel->isChecked());
    EXPECT_TRUE(w.PMbAM->isChecked());
    EXPECT_TRUE(w.IEEEFrame->isEnabled());
    EXPECT_EQ(Colour(w.SweepLevel), 0x00FF00u);
    EXPECT_TRUE(w.StartLevelB->isEnabled());

    // unchecking the frequency sweep greys its boxes and turns its switch red
    EXPECT_FALSE(w.SweepFreq->isChecked());
    EXPECT_EQ(Colour(w.SweepFreq), 0xFF0000u);
    for (QLineEdit* box : {w.StartFreqB, w.StopFreqB, w.StepFreqB}) {
        EXPECT_FALSE(box->isEnabled());
        EXPECT_EQ(box->palette().color(QPalette::Base).rgb() & 0xFFFFFF, 0xE0E0E0u);
    }
    // the boxes show the sweep the settings file holds, not texts of their own
    const auto texts = [&w] {
        std::vector<QString> t;
        for (QLineEdit* box :
             {w.StartLevelB, w.StopLevelB, w.StepLevelB, w.StartFreqB, w.StopFreqB, w.StepFreqB})
            t.push_back(box->text());
        return t;
    };
    EXPECT_EQ(texts(), (std::vector<QString>{"-10", "0", "1", "1000", "1100", "100"}));
    EXPECT_TRUE(w.StartLevelB->isReadOnly());
    General::GenFreqStart = 1234.5; // typed in the equipment setup meanwhile
    General::GenLevelStep = 0.5;
    Configure::Show();
    EXPECT_EQ(texts(), (std::vector<QString>{"-10", "0", ".5", "1234.5", "1100", "100"}));
    General::DebugMode = false;
    w.UpdateParameters();
    EXPECT_FALSE(w.IEEEFrame->isEnabled());
    EXPECT_EQ(w.SetupTab->count(), 5);
    EXPECT_EQ(w.SetupTab->tabText(3), "Signal Processing");
}

TEST_F(OptionsDialog, OKHidesTheOneDialogAndReopeningAfterCloseWorks) {
    Configure::Show();
    Configure* first = &Configure::Instance();
    Type(first->AMLowText, "4");
    first->OK->click();
    EXPECT_TRUE(first->isHidden());
    Configure::Show();
    EXPECT_EQ(&Configure::Instance(), first);
    EXPECT_FALSE(first->isHidden());
    EXPECT_EQ(first->AMLowText->text(), "4");
    for (int tab = 0; tab < first->SetupTab->count(); ++tab) {
        first->SetupTab->setCurrentIndex(tab);
        const std::string name = "options_" + std::to_string(tab);
        EXPECT_TRUE(ShowsEveryControl(first, Screenshot(first, name.c_str()))) << name;
    }
    first->close();
    Settle();
    EXPECT_FALSE(Configure::Exists());
    Configure::Show();
    EXPECT_TRUE(Configure::Exists());
}
