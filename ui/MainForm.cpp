// The main window.

#include "MainForm.h"

#include "ACPSetup.h"
#include "AboutForm.h"
#include "AddInfos.h"
#include "ButtonForm.h"
#include "Configure.h"
#include "CrossMix.h"
#include "Current.h"
#include "DSP.h"
#include "DataDisplay.h"
#include "DialogKit.h"
#include "EngineWindows.h"
#include "General.h"
#include "HtmlReport.h"
#include "INIIO.h"
#include "InstrumentLogWindow.h"
#include "MainFormAccess.h"
#include "MsgBig.h"
#include "PredistortFile.h"
#include "RemoteServer.h"
#include "ResultFiles.h"
#include "ResultForm.h"
#include "ResultSummary.h"
#include "RunState.h"
#include "Services.h"
#include "SetHandle.h"
#include "SetupGUI.h"
#include "VISADeviceCache.h"
#include "VISARscEditor.h"
#include "VerifyForm.h"
#include "WindowServices.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

namespace {

MainForm* g_mainForm = nullptr;

QWidget* Frame(QWidget* w) {
    return MainFormAccess::FrameOf(w);
}

bool Kept(const QWidget* w) {
    return w->property("Tag").toString() == "KEEP";
}

} // namespace

MainForm& MainForm::Instance() {
    if (!g_mainForm) g_mainForm = new MainForm;
    return *g_mainForm;
}

bool MainForm::Exists() {
    return g_mainForm != nullptr;
}

MainForm& MainForm::StartProgram() {
    WindowServices::Install();
    InstrumentLogWindow::Install();
    EngineWindows::Install();
    VerifyForm::SetACPConfigHook([] { ACPSetup::Open(); });
    DSP::IntMath().ShowMessage = [](const std::string& text) {
        Services::Messages().Message("Quillon", text, Services::MsgIcon::Information,
                                     Services::MsgButtons::OK);
    };
    MainForm& main = Instance();
    // Every window of a run beside the others needs the room of a whole
    // screen; un-maximised, the window keeps a size of its own.
    main.resize(1400, 950);
    main.setWindowState(Qt::WindowMaximized);
    main.MDIForm_Load();
    return main;
}

MainForm::MainForm() : remote_(std::make_unique<RemoteServer>(*this)) {
    setProperty("Tag", "KEEP");
    area_ = new QMdiArea;
    // A window maximised and then closed would otherwise hand its maximised
    // state to the next one activated, stretching a window of fixed size.
    area_->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    setCentralWidget(area_);
    MainFormAccess::Register(this);
    BuildMenus();
}

MainForm::~MainForm() {
    remote_.reset();
    MainFormAccess::Unregister(this);
    if (g_mainForm == this) g_mainForm = nullptr;
}

int MainForm::ClientHeight() const {
    return area_->viewport()->height();
}

std::string MainForm::Caption(int major, int minor, int revision, const QDateTime& fileDate,
                              bool debug) {
    const std::string release =
        revision == 0 ? " from " : " BETA " + std::to_string(revision) + " from ";
    // "mmm dd, yyyy" in English month names whatever the user's language.
    const std::string date = QLocale::c().toString(fileDate, "MMM dd, yyyy").toStdString();
    return "Korva & Tellin Quillon, V " + std::to_string(major) + "." + std::to_string(minor) +
           release + date + (debug ? " RUNNING DEBUG MODE!" : "");
}

bool MainForm::DebugRequested(const QStringList& arguments) {
    // The program's own path is no argument: a folder named DEBUG says nothing.
    return arguments.mid(1).join(' ').contains("DEBUG", Qt::CaseSensitive);
}

void MainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const char* text, void (MainForm::*handler)()) {
        QAction* a = menu->addAction(text);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    QMenu* file = bar->addMenu("&File");
    // Settings live in the settings file beside the program; these three
    // stay unavailable, as they always were.
    for (QAction* a : {item(file, "&Load Settings", &MainForm::LoadSetup_Click),
                       item(file, "&Save Settings", &MainForm::SaveSetup_Click),
                       item(file, "&Restore Default Values", &MainForm::LoadDefault_Click)})
        a->setEnabled(false);
    item(file, "&Predistore Existing File", &MainForm::DistExFile_Click);
    file->addSeparator();
    item(file, "VISA Resource Editor ...", &MainForm::VISAResource_Click);
    file->addSeparator();
    item(file, "&Exit", &MainForm::Exit_Click);

    QMenu* settings = bar->addMenu("&Settings");
    item(settings, "&ACP calculation ...", &MainForm::ACP_Click);
    settings->addSeparator();
    item(settings, "&Options ...", &MainForm::AdvancedSetup_Click);

    QMenu* data = bar->addMenu("&Data");
    newDataDisplay_ = item(data, "New data display", &MainForm::NewDataDisplay_Click);
    dataSeparator_ = data->addSeparator();
    item(data, "Save IQ and Amp/Phase Data", &MainForm::SaveIQNow_Click);
    item(data, "Save gridded AM/AM and AM/PM Data", &MainForm::SaveAMPMCompl_Click);

    QMenu* report = bar->addMenu("&Measurement Report");
    item(report, "Report &Options ...", &MainForm::UserInfo_Click);
    report->addSeparator();
    item(report, "Show Measurement &Report", &MainForm::ShowReport_Click);
    item(report, "&Save Measurement Report", &MainForm::SaveSummary_Click);
    item(report, "&Print Result Summary", &MainForm::PrintResults_Click)->setEnabled(false);

    QMenu* windows = bar->addMenu("&Windows");
    item(windows, "Close All Measurement Windows", &MainForm::WindowCloseAll_Click);
    item(windows, "Signal Flow", &MainForm::SigFlowWindow_Click);
    windows->addSeparator();
    // The open child windows, listed afresh whenever the menu opens.
    connect(windows, &QMenu::aboutToShow, this, [this, windows] {
        const auto actions = windows->actions();
        for (qsizetype k = 3; k < actions.size(); ++k)
            windows->removeAction(actions[k]), delete actions[k];
        for (QMdiSubWindow* sub : area_->subWindowList()) {
            if (!sub->isVisible()) continue;
            QAction* a = windows->addAction(sub->windowTitle());
            connect(a, &QAction::triggered, this, [this, sub] { area_->setActiveSubWindow(sub); });
        }
    });

    QMenu* help = bar->addMenu("&Help");
    item(help, "&Help", &MainForm::HelpHelp_Click)->setEnabled(false);
    help->addSeparator();
    item(help, "About", &MainForm::Info_Click);

    testMenu_ = bar->addMenu("TEST-TEST");
    item(testMenu_, "MsgBox BIG", &MainForm::MsgBoxBigTest_Click);
    item(testMenu_, "Dump Signal", &MainForm::DumpIt_Click);
}

QAction* MainForm::MenuAction(const QString& text) const {
    for (QAction* top : menuBar()->actions())
        if (QMenu* menu = top->menu())
            for (QAction* a : menu->actions())
                if (QString(a->text()).remove('&') == QString(text).remove('&')) return a;
    return nullptr;
}

void MainForm::MDIForm_Load() {
    using namespace General;
    DebugMode = DebugRequested(QCoreApplication::arguments());
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    setWindowTitle(
        QString::fromStdString(Caption(QUILLON_VERSION_MAJOR, QUILLON_VERSION_MINOR,
                                       QUILLON_VERSION_PATCH, exe.lastModified(), DebugMode)));
    testMenu_->menuAction()->setVisible(DebugMode);
    newDataDisplay_->setVisible(DebugMode);
    dataSeparator_->setVisible(DebugMode);

    DataPresent = false;
    show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    MsgBig::Instance();
    if (!SetHandle::ExchangeSettings(1))
        CrossMix::AddStatus("The settings file " + INIFile +
                            " could not be read; defaults are used.");
    VISADeviceCache::InitVISADeviceCache(DeviceRegEntry);

    ButtonForm& buttons = ButtonForm::Instance();
    DialogKit::ShowWindow(&buttons);
    Frame(&buttons)->move(0, 0);
    // A new equipment setup fills its lists and shows the settings itself;
    // only a restart needs that again (once: a file signal without its file
    // asks for one each time).
    const bool restart = SetupGUI::Exists();
    SetupGUI& setup = SetupGUI::Instance();
    DialogKit::ShowWindow(&setup);
    Frame(&setup)->move(0, Frame(&buttons)->y() + Frame(&buttons)->height());
    // The progress window first, in its place at the top right: the result
    // window sits below it.
    Current::Instance();
    LayoutWindows();
    ResultForm::Instance().Form_Load();
    if (restart) {
        setup.LoadStaticLists();
        setup.Update();
    }
    buttons.Update();

    LayoutWindows();
    // Sub-windows shown just now get their frames' sizes with the next event
    // pass; the layout is applied again then.
    QTimer::singleShot(0, this, [this] { LayoutWindows(); });
    QApplication::restoreOverrideCursor();
    CrossMix::AddStatus("ready.");
    // A restart listens anew: the old socket is closed first.
    if (TCPIPActive)
        remote_->Listen(TCPIPPort);
    else
        remote_->Close();
}

void MainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutWindows();
}

// The progress window at the top right, the result window below it filling
// the height down to the bottom of the client area. Sizes that do not fit
// are left alone.
void MainForm::LayoutWindows() {
    const int w = area_->width(), h = area_->height();
    if (Current::Exists()) {
        QWidget* progress = Frame(&Current::Instance());
        progress->move(std::max(0, w - progress->width()), 0);
    }
    if (!ResultForm::Exists()) return;
    QWidget* result = Frame(&ResultForm::Instance());
    if (result->width() <= 0) return;
    if (const int x = w - result->width() - 12; x >= 0) result->move(x, result->y());
    if (const int height = h - result->y() - ResultForm::kEdge;
        height >= result->minimumSizeHint().height())
        result->resize(result->width(), height);
}

bool MainForm::HasData() {
    if (General::DataPresent) return true;
    ShowNoRunMessage();
    return false;
}

void MainForm::ShowNoRunMessage() {
    DISC::ShowNoRunMessage();
}

void MainForm::LoadSetup_Click() {
    CrossMix::AddStatus("Loading settings");
    const std::string file =
        Services::FileDialogs().OpenFile("LOAD SETTINGS FROM DISC", SetHandle::ProgramFolder(),
                                         "Quillon INI Files (*.ini);;all files (*)");
    if (file.empty()) return CrossMix::AddStatus("settings NOT loaded.");
    CrossMix::AddStatus("Settings loaded, preparing...");
    MDIForm_Load();
    CrossMix::AddStatus("updating parameters...");
    if (Configure::Exists()) Configure::Instance().UpdateParameters();
    CrossMix::AddStatus("Setup complete.");
}

void MainForm::SaveSetup_Click() {
    CrossMix::AddStatus("Saving settings...");
    const std::string file =
        Services::FileDialogs().SaveFile("SAVE SETTINGS TO DISC", SetHandle::ProgramFolder(),
                                         "Registry Files (*.reg);;all files (*)");
    CrossMix::AddStatus(file.empty() ? "settings NOT saved." : "settings saved.");
}

void MainForm::LoadDefault_Click() {
    CrossMix::AddStatus("generating default file...");
    SetHandle::ExchangeSettings(0);
    CrossMix::AddStatus("saving default file...");
    SetHandle::ExchangeSettings(2);
    CrossMix::AddStatus("restarting programm...");
    MDIForm_Load();
    CrossMix::AddStatus("updating parameters...");
    if (Configure::Exists()) Configure::Instance().UpdateParameters();
    CrossMix::AddStatus("program restarted sucessfully...");
}

void MainForm::DistExFile_Click() {
    PredistortFile::DistExFile_Click();
}

void MainForm::VISAResource_Click() {
    VISARscEditor& editor = VISARscEditor::Instance();
    DialogKit::ShowWindow(&editor);
    const INIIO::Tagged key =
        INIIO::INIRead(General::INIFile, "VISA", "DeviceRegEntry",
                       std::string(SetHandle::kDefaultDeviceRegEntry), INIIO::ReadAs::Text);
    editor.UpdateList(std::holds_alternative<std::string>(key) ? std::get<std::string>(key)
                                                               : SetHandle::kDefaultDeviceRegEntry);
}

void MainForm::Exit_Click() {
    if (RunState::UnderWay()) {
        // The run unwinds first, its end message included; the window closes
        // when it has. A quit asked while that message waits would close it
        // as declined and be cancelled with it, leaving the program running.
        General::MeasureRunAbort = true;
        if (closeAfterRun_) return; // one is enough
        closeAfterRun_ = true;
        RunState::AfterRun([window = QPointer<MainForm>(this)] {
            if (window) window->Exit_Click();
        });
        return;
    }
    if (!SetHandle::ExchangeSettings(2))
        Services::Messages().Message("Exit",
                                     "The settings could not be saved to " + General::INIFile + ".",
                                     Services::MsgIcon::Warning, Services::MsgButtons::OK);
    closeAfterRun_ = false;
    remote_->Close();
    QCoreApplication::quit();
}

void MainForm::closeEvent(QCloseEvent* event) {
    if (RunState::UnderWay()) {
        event->ignore();
        Exit_Click();
        return;
    }
    Exit_Click();
    event->accept();
}

void MainForm::ACP_Click() {
    ACPSetup::Open();
}

void MainForm::AdvancedSetup_Click() {
    Configure::Show();
}

void MainForm::NewDataDisplay_Click() {
    if (!HasData()) return;
    auto* display = new DataDisplay;
    display->setAttribute(Qt::WA_DeleteOnClose);
    DialogKit::ShowWindow(display);
}

void MainForm::SaveIQNow_Click() {
    if (!HasData()) return;
    const std::string file = Services::FileDialogs().SaveFile(
        "select file name", SetHandle::ProgramFolder(), "all files (*)");
    if (file.empty()) return;
    if (DISC::SaveIQPointFile(file))
        Services::Messages().Message("Save", "Data stored to " + file, Services::MsgIcon::None,
                                     Services::MsgButtons::OK);
    else
        Services::Messages().Message("Save", "The file " + file + " could not be written.",
                                     Services::MsgIcon::Critical, Services::MsgButtons::OK);
}

void MainForm::SaveAMPMCompl_Click() {
    DISC::SaveAMPMFile();
}

void MainForm::UserInfo_Click() {
    AddInfos::Open();
}

namespace {
ReportSetupTexts SetupTexts() {
    ReportSetupTexts t;
    if (!SetupGUI::Exists()) return t;
    const SetupGUI& s = SetupGUI::Instance();
    if (const auto* item = s.AnalyzerList ? s.AnalyzerList->currentItem() : nullptr)
        t.AnalyzerList = item->text().toStdString();
    if (s.RefList) t.RefList = s.RefList->currentText().toStdString();
    return t;
}
} // namespace

void MainForm::ShowReport_Click() {
    if (!HasData()) return;
    HtmlReport::ShowMeasurementReport(SetHandle::ProgramFolder(), SetupTexts());
}

void MainForm::SaveSummary_Click() {
    if (!HasData()) return;
    HtmlReport::SaveMeasurementReport(SetHandle::ProgramFolder(), SetupTexts());
}

void MainForm::PrintResults_Click() {
    if (!HasData()) return;
    ResultSummary::PrintResultSummary(SetHandle::ProgramFolder());
}

void MainForm::WindowCloseAll_Click() {
    for (QMdiSubWindow* sub : area_->subWindowList())
        if (QWidget* w = sub->widget(); w && !Kept(w)) sub->close();
    // Windows of their own (the large message box, dialogs shown outside the
    // client area) close too.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible() && !Kept(w) && !qobject_cast<QMenu*>(w)) w->close();
}

void MainForm::SigFlowWindow_Click() {
    SetupGUI::Show();
    SetupGUI::Instance().setFocus();
}

void MainForm::HelpHelp_Click() {
    Services::Messages().Message("Help", "No help viewer is available on this system.",
                                 Services::MsgIcon::Information, Services::MsgButtons::OK);
}

void MainForm::Info_Click() {
    auto* about = new AboutForm(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

void MainForm::MsgBoxBigTest_Click() {
    auto* verify = new VerifyForm(std::make_shared<Verification::State>());
    verify->Form_Load();
}

void MainForm::DumpIt_Click() {
    PredistortFile::DumpIt_Click();
}

bool MainForm::SetTargetLevelText(const std::string& text) {
    SetupGUI& setup = SetupGUI::Instance();
    QLineEdit* box = setup.TargetPower;
    const QString typed = QString::fromStdString(text);
    // A box cuts a longer text to what it holds, which would store a number
    // the client never sent.
    if (typed.size() > box->maxLength()) return false;
    const QString before = box->text();
    box->setText(typed);
    if (box->text() != typed) {
        box->setText(before);
        setup.TargetPower_Change();
        return false;
    }
    setup.TargetPower_Change();
    return true;
}

void MainForm::SetSignalType(std::int16_t type) {
    SetupGUI::Instance().MeasSig_Click(type, false);
}

void MainForm::Setup() {
    ButtonForm::Instance().AutoSet_Click();
}

void MainForm::Start() {
    ButtonForm::Instance().StartB_Click();
}

void MainForm::CloseAll() {
    WindowCloseAll_Click();
}

bool MainForm::StartEnabled() const {
    return ButtonForm::Instance().StartB->isEnabled();
}
