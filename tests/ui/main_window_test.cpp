// The main window headless: caption, debug menus, start-up, closing the
// measurement windows, the data commands' gate and the exit.

#include "../support/event_pump.h"
#include "../support/fakes.h"
#include "../support/registry_fixture.h"
#include "ButtonForm.h"
#include "Configure.h"
#include "Current.h"
#include "ELogForm.h"
#include "General.h"
#include "MainForm.h"
#include "RTFGen.h"
#include "RTFView.h"
#include "RegAccess.h"
#include "ResultForm.h"
#include "RunState.h"
#include "SetHandle.h"
#include "SetupGUI.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <gtest/gtest.h>

namespace {

struct MainWindow : RegistryFixture {
    FakeMessageBox boxes;
    FakeBigMessage big;
    FakeStatus status;
    FakeFileDialog files;
    Services::Scoped<Services::MessageBoxService> s1{boxes};
    Services::Scoped<Services::BigMessageService> s2{big};
    Services::Scoped<Services::StatusDisplayService> s3{status};
    Services::Scoped<Services::FileDialogService> s4{files};
    QTemporaryDir folder;
    std::string ini = folder.filePath("Quillon.INI").toStdString();

    void SetUp() override {
        RegistryFixture::SetUp();
        SetHandle::SetProgramFolder(folder.path().toStdString());
        General::MeasureBusy = General::MeasureRunAbort = false;
    }
    void TearDown() override {
        if (MainForm::Exists()) delete &MainForm::Instance();
        General::MeasureBusy = General::MeasureRunAbort = false;
        SetHandle::SetProgramFolder("");
        RegistryFixture::TearDown();
    }
    static std::vector<QString> Visible(MainForm& main) {
        std::vector<QString> titles;
        for (QMdiSubWindow* sub : main.ClientArea()->subWindowList())
            if (sub->isVisible()) titles.push_back(sub->widget()->windowTitle());
        std::sort(titles.begin(), titles.end());
        return titles;
    }
};

} // namespace

TEST(MainFormCaption, ReleaseBetaAndDebugCaptionsAndTheDebugWord) {
    const QDateTime date(QDate(2005, 10, 25), QTime(14, 3));
    EXPECT_EQ(MainForm::Caption(3, 2, 0, date, false),
              "Korva & Tellin Quillon, V 3.2 from Oct 25, 2005");
    EXPECT_EQ(MainForm::Caption(3, 2, 5, date, false),
              "Korva & Tellin Quillon, V 3.2 BETA 5 from Oct 25, 2005");
    EXPECT_EQ(MainForm::Caption(1, 0, 0, date, true),
              "Korva & Tellin Quillon, V 1.0 from Oct 25, 2005 RUNNING DEBUG MODE!");
    EXPECT_TRUE(MainForm::DebugRequested({"quillon", "-x", "DEBUG", "y"}));
    EXPECT_TRUE(MainForm::DebugRequested({"quillon", "NODEBUGGING"})) << "anywhere in the line";
    EXPECT_FALSE(MainForm::DebugRequested({"quillon", "debug", "Debug"}));
    EXPECT_FALSE(MainForm::DebugRequested({"/opt/DEBUG/quillon", "-x"}))
        << "the program's path is no argument";
}

TEST_F(MainWindow, StartUpReadsTheSettingsShowsTheStandingWindowsAndHidesTheDebugMenus) {
    std::ofstream(ini) << "[Measure]\r\nTargetLevel=-3\r\n";
    MainForm& main = MainForm::Instance();
    main.resize(1300, 900);
    main.MDIForm_Load();
    EXPECT_FLOAT_EQ(General::TargetLevel, -3.0f);
    EXPECT_FALSE(General::DataPresent);
    EXPECT_EQ(status.lines.back(), "ready.");
    EXPECT_FALSE(main.TestMenu()->menuAction()->isVisible());
    EXPECT_FALSE(main.MenuAction("New data display")->isVisible());
    EXPECT_FALSE(main.MenuAction("Load Settings")->isEnabled());
    EXPECT_FALSE(main.MenuAction("Help")->isEnabled());
    EXPECT_TRUE(main.windowTitle().startsWith("Korva & Tellin Quillon, V 1.0 from "));
    // The resource cache has its default entries.
    EXPECT_TRUE(
        RegAccess::RegKeyExists(Registry::HKEY_LOCAL_MACHINE, SetHandle::kDefaultDeviceRegEntry));
    // The action window at the top left, the equipment setup below it.
    QWidget* buttons = ButtonForm::Instance().parentWidget();
    QWidget* setup = SetupGUI::Instance().parentWidget();
    EXPECT_EQ(buttons->pos(), QPoint(0, 0));
    EXPECT_EQ(setup->y(), buttons->height());
    EXPECT_FALSE(ButtonForm::Instance().StartB->isEnabled());

    // The progress window at the top right; the result window below it, down
    // to the bottom of the client area.
    QWidget* progress = Current::Instance().parentWidget();
    QWidget* result = ResultForm::Instance().parentWidget();
    EXPECT_EQ(progress->geometry().topRight(), QPoint(main.ClientArea()->width() - 1, 0));
    EXPECT_EQ(result->y(), progress->y() + progress->height());
    EXPECT_EQ(result->geometry().bottom() + 1, main.ClientArea()->height() - 8)
        << "an edge of 8 pixels below the result window";
    // One frame for each window, however often it was shown.
    EXPECT_EQ(Visible(main), (std::vector<QString>{"Current Status", "Equipment Setup",
                                                   "Main Actions", "Measurement Results"}));
    EXPECT_EQ(main.ClientArea()->subWindowList().size(), 4);
    // A main window too narrow for the result window leaves it where it is.
    const int x = result->x();
    main.resize(200, 900);
    QCoreApplication::processEvents();
    EXPECT_EQ(result->x(), x);
}

TEST_F(MainWindow, AFileSignalWithoutItsFileAsksForOneOnceAtStartUp) {
    std::ofstream(ini) << "[Measure]\r\nSignalType=2\r\nPlenwavePath=\r\n";
    MainForm& main = MainForm::Instance();
    main.MDIForm_Load();
    EXPECT_EQ(std::count_if(files.asked.begin(), files.asked.end(),
                            [](const std::string& q) {
                                return q.rfind("open|Path for Plenwave-File|", 0) == 0;
                            }),
              1);
}

TEST_F(MainWindow, CloseAllKeepsTheStandingWindowsAndDataCommandsNeedARun) {
    MainForm& main = MainForm::Instance();
    main.resize(1300, 900);
    main.MDIForm_Load();
    const auto standing = Visible(main);
    main.AdvancedSetup_Click();
    main.MsgBoxBigTest_Click();
    RTFGen::RTFAddText(ELogForm::Instance().ELogBox, General::InstrumentLogRTF, "*IDN?", true,
                       false, false, false, RTFGen::kBlue, RTFGen::AlignLeft, RTFGen::kNoHighlight);
    EXPECT_GT(Visible(main).size(), standing.size());
    main.WindowCloseAll_Click();
    PumpUntil([&] { return Visible(main) == standing; });
    EXPECT_EQ(Visible(main), standing);
    EXPECT_FALSE(Configure::Instance().isVisible());
    // The instrument log is no standing window: opened again, it starts empty.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(ELogForm::IsLoaded());
    EXPECT_TRUE(ELogForm::Instance().ELogBox->toPlainText().isEmpty());
    // Events posted by the closes have run, the deferred deletions with them.
    bool later = false;
    QTimer::singleShot(0, [&later] { later = true; });
    ASSERT_TRUE(PumpUntil([&] { return later; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QMdiSubWindow* sub : main.ClientArea()->subWindowList())
        EXPECT_TRUE(sub->widget() && sub->widget()->parentWidget() == sub) << "no empty frame";

    General::DataPresent = false;
    for (const char* command : {"Save IQ and Amp/Phase Data", "Show Measurement Report",
                                "Save Measurement Report", "Save gridded AM/AM and AM/PM Data"}) {
        boxes.shown.clear();
        main.MenuAction(command)->trigger();
        EXPECT_EQ(boxes.shown,
                  std::vector<std::string>{"NO DATA|You have to run a measurement first!"})
            << command;
    }
    EXPECT_TRUE(files.asked.empty()) << "no dialog without data";

    General::DataPresent = true;
    General::SignalStore[0] = {0.5};
    General::SignalStore[1] = General::SignalStore[2] = General::SignalStore[3] = {0.25};
    boxes.shown.clear();
    main.SaveIQNow_Click(); // cancelled
    EXPECT_TRUE(boxes.shown.empty());
    const std::string target = folder.filePath("points.txt").toStdString();
    files.answers = {target};
    main.SaveIQNow_Click();
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"Save|Data stored to " + target});
    files.answers = {folder.filePath("points.txt/below").toStdString()};
    boxes.shown.clear();
    main.SaveIQNow_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].find("could not be written"), std::string::npos);
}

TEST_F(MainWindow, ExitSavesWhenIdleAndOnlyAbortsDuringARun) {
    MainForm& main = MainForm::Instance();
    main.MDIForm_Load();
    std::remove(ini.c_str());
    {
        const RunState::Scope run;
        // Closing the window is the exit: refused while the run unwinds.
        EXPECT_FALSE(main.close());
        EXPECT_TRUE(General::MeasureRunAbort);
        // Events have run after the exit, and it has waited for the run.
        bool later = false;
        QTimer::singleShot(0, [&later] { later = true; });
        ASSERT_TRUE(PumpUntil([&] { return later; }));
        EXPECT_FALSE(std::ifstream(ini).good()) << "nothing saved while the run unwinds";
    } // the run has ended
    EXPECT_TRUE(PumpUntil([&] { return std::ifstream(ini).good(); }))
        << "the exit completes once the run has unwound";

    std::remove(ini.c_str());
    main.Exit_Click();
    EXPECT_TRUE(std::ifstream(ini).good());
}
