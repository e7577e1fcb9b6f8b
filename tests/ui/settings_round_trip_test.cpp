// The settings windows against the settings file: what is typed survives a
// save and reload, values no control can show are kept from the engine, and
// the windows live inside the main window.

#include "ACPSetup.h"
#include "AddInfos.h"
#include "Configure.h"
#include "MainForm.h"
#include "SetupGUI.h"
#include "settings_window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRadioButton>
#include <fstream>

namespace {

class SettingsFile : public SettingsWindowTest {
protected:
    void TearDown() override {
        if (SetupGUI::Exists()) delete &SetupGUI::Instance();
        if (Configure::Exists()) delete &Configure::Instance();
        SettingsWindowTest::TearDown();
    }
    // Saves, then forgets everything (defaults, file deleted) and reads the
    // saved file back.
    static void SaveAndReload() {
        ASSERT_TRUE(SetHandle::ExchangeSettings(ExchangeSave));
        const QString file = QString::fromStdString(General::INIFile);
        const QString kept = file + ".kept";
        QFile::remove(kept);
        ASSERT_TRUE(QFile::copy(file, kept));
        SetHandle::ExchangeSettings(ExchangeDefaults);
        ASSERT_TRUE(QFile::rename(kept, file));
        SetHandle::ExchangeSettings(ExchangeLoad);
    }
};

} // namespace

TEST_F(SettingsFile, TypedValuesShowAgainAfterSaveAndReload) {
    {
        SetupGUI& setup = SetupGUI::Instance();
        Type(setup.GenFreq, "2140,5");
        Type(setup.TargetPower, "-3.5");
        Type(setup.NoiseInit, "99");
        setup.Laenge->setCurrentIndex(setup.Laenge->findText("64k"));
        setup.AnaMemDepth->setCurrentIndex(0); // 128
        setup.RFConvIQFilt->setCurrentIndex(setup.RFConvIQFilt->findText("10 MHz"));
        setup.MeasSig[1]->click();
        Configure& options = Configure::Instance();
        Type(options.AMGridText, "77");
        options.AMPMOrder->setCurrentIndex(options.AMPMOrder->findText("04"));
        Type(options.NetworkPort, "5025");
        options.PMbAM->click();
        QPointer<ACPSetup> acp = ACPSetup::Open();
        acp->Channels->setCurrentIndex(acp->Channels->findText("2"));
        Type(acp->UpSpaceText[0], "5");
        acp->AnaWindow->setCurrentIndex(acp->AnaWindow->findText("Tukey"));
        QPointer<AddInfos> infos = AddInfos::Open();
        Type(infos->Eingabe[2], "PA-7 ");
        delete acp;
        delete infos;
        delete &setup;
        delete &options;
    }
    SaveAndReload();

    SetupGUI& setup = SetupGUI::Instance();
    EXPECT_EQ(setup.GenFreq->text(), "2140.5");
    EXPECT_EQ(setup.AnaFreq->text(), "2140.5");
    EXPECT_EQ(setup.TargetPower->text(), "-3.5");
    EXPECT_EQ(setup.NoiseInit->text(), "99");
    EXPECT_EQ(setup.Laenge->currentText(), "64k");
    EXPECT_EQ(setup.AnaMemDepth->currentText(), "128");
    EXPECT_EQ(setup.RFConvIQFilt->currentText(), "10 MHz");
    EXPECT_TRUE(setup.MeasSig[1]->isChecked());
    Configure& options = Configure::Instance();
    EXPECT_EQ(options.AMGridText->text(), "77");
    EXPECT_EQ(options.AMPMOrder->currentText(), "04");
    EXPECT_EQ(options.NetworkPort->text(), "5025");
    EXPECT_TRUE(options.PMbAM->isChecked());
    QPointer<ACPSetup> acp = ACPSetup::Open();
    EXPECT_EQ(acp->Channels->currentText(), "2");
    EXPECT_EQ(acp->UpSpaceText[0]->text(), "5");
    EXPECT_EQ(acp->AnaWindow->currentText(), "Tukey");
    EXPECT_FALSE(acp->LowChanText[2]->isEnabled());
    QPointer<AddInfos> infos = AddInfos::Open();
    EXPECT_EQ(infos->Eingabe[2]->text(), "PA-7");
    delete acp;
    delete infos;
}

TEST_F(SettingsFile, ValuesNoReaderCanUseAreKeptFromTheEngine) {
    const struct {
        const char* file;
        std::int16_t channels;
        std::int32_t detector;
        std::int16_t amam, ampm;
    } cases[] = {
        {"[ACP]\r\nChannels=7\r\n[Measure\\FFT]\r\nDetectorParameter=0\r\n"
         "[Measure]\r\nAMAMOrder=25\r\nAMPMOrder=1\r\n",
         3, 8, 19, 2},
        {"[ACP]\r\nChannels=-1\r\n[Measure\\FFT]\r\nDetectorParameter=-4\r\n"
         "[Measure]\r\nAMAMOrder=0\r\nAMPMOrder=-5\r\n",
         0, 8, 2, 9},
        {"[ACP]\r\nChannels=2\r\n[Measure\\FFT]\r\nDetectorParameter=1\r\n"
         "[Measure]\r\nAMAMOrder=2\r\nAMPMOrder=19\r\n",
         2, 1, 2, 19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        SetHandle::ExchangeSettings(ExchangeDefaults);
        std::ofstream(General::INIFile, std::ios::binary) << c.file;
        SetHandle::ExchangeSettings(ExchangeLoad);
        EXPECT_EQ(General::ACP.Channels, c.channels);
        EXPECT_EQ(General::DetectorParameter, c.detector);
        EXPECT_EQ(General::AMAMOrder, c.amam);
        EXPECT_EQ(General::AMPMOrder, c.ampm);
        EXPECT_EQ(General::AMAMCoeff.size(), static_cast<std::size_t>(c.amam) + 1);
    }
    General::Window = 9;
    QPointer<ACPSetup> acp = ACPSetup::Open(); // a window code it cannot show
    EXPECT_EQ(acp->AnaWindow->currentIndex(), -1);
    EXPECT_EQ(acp->Channels->currentText(), "2");
    delete acp;
}

TEST_F(SettingsFile, WindowsLiveInTheMainWindowAndReopenAfterClosing) {
    MainForm& main = MainForm::Instance();
    main.resize(1200, 800);
    main.show();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Configure::Show();
        auto* frame = qobject_cast<QMdiSubWindow*>(Configure::Instance().parentWidget());
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(main.ClientArea()->subWindowList().contains(frame));
        Configure::Instance().OK_Click();
        EXPECT_TRUE(frame->isHidden());
        Configure::Show();
        EXPECT_FALSE(frame->isHidden());
        frame->close();
        Settle();
        EXPECT_FALSE(Configure::Exists());

        QPointer<ACPSetup> acp = ACPSetup::Open();
        QPointer<QWidget> acpFrame = acp->parentWidget();
        acp->OK_Click();
        Settle();
        EXPECT_TRUE(acp.isNull());
        EXPECT_TRUE(acpFrame.isNull());

        SetupGUI::Show();
        QPointer<QWidget> setupFrame = SetupGUI::Instance().parentWidget();
        ASSERT_NE(qobject_cast<QMdiSubWindow*>(setupFrame.data()), nullptr);
        setupFrame->close(); // kept: only hidden
        Settle();
        ASSERT_TRUE(SetupGUI::Exists());
        EXPECT_TRUE(setupFrame->isHidden());
        SetupGUI::Show();
        EXPECT_FALSE(setupFrame->isHidden());
    }
    delete &main;
    EXPECT_FALSE(SetupGUI::Exists());
    EXPECT_EQ(EquipmentLists::Get(), nullptr);
}
