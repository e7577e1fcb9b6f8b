#pragma once
// The MDI main window: the start-up of the whole program, the layout of its
// standing windows, the menus, the remote-control server and the exit.

#include "MainFormAccess.h"
#include "RemoteActions.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QMdiArea;
class QMenu;
class RemoteServer;

class MainForm : public QMainWindow, public MainFormAccess, public RemoteActions {
    Q_OBJECT

public:
    // The window, created on first use.
    static MainForm& Instance();
    static bool Exists();
    // The program's start: puts the windows behind every service and seam
    // of the layers below (once, after the QApplication exists), then opens
    // the main window at the size at which nothing is cut and runs its
    // start-up.
    static MainForm& StartProgram();
    ~MainForm() override;

    int ClientHeight() const override;
    QMdiArea* ClientArea() const override { return area_; }

    // The start-up, in its set order; runs again as the restart of the
    // settings commands.
    void MDIForm_Load();
    // The caption of the current build: revision 0 is a release, any other a
    // BETA.
    static std::string Caption(int major, int minor, int revision, const QDateTime& fileDate,
                               bool debug);
    // The word DEBUG (in capitals) anywhere in the command line.
    static bool DebugRequested(const QStringList& arguments);
    void LayoutWindows();

    // Menu commands.
    void LoadSetup_Click();
    void SaveSetup_Click();
    void LoadDefault_Click();
    void DistExFile_Click();
    void VISAResource_Click();
    void Exit_Click();
    void ACP_Click();
    void AdvancedSetup_Click();
    void NewDataDisplay_Click();
    void SaveIQNow_Click();
    void SaveAMPMCompl_Click();
    void UserInfo_Click();
    void ShowReport_Click();
    void SaveSummary_Click();
    void PrintResults_Click();
    void WindowCloseAll_Click();
    void SigFlowWindow_Click();
    void HelpHelp_Click();
    void Info_Click();
    void MsgBoxBigTest_Click();
    void DumpIt_Click();
    void ShowNoRunMessage();

    // Remote control.
    bool SetTargetLevelText(const std::string& text) override;
    void SetSignalType(std::int16_t type) override;
    void Setup() override;
    void Start() override;
    void CloseAll() override;
    bool StartEnabled() const override;
    RemoteServer& Remote() const { return *remote_; }

    // The menu entry with this text (without "&"), for tests.
    QAction* MenuAction(const QString& text) const;
    QMenu* TestMenu() const { return testMenu_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    MainForm();
    void BuildMenus();
    bool HasData();

    QMdiArea* area_ = nullptr;
    QMenu* testMenu_ = nullptr;
    QAction* newDataDisplay_ = nullptr;
    QAction* dataSeparator_ = nullptr;
    std::unique_ptr<RemoteServer> remote_;
    bool closeAfterRun_ = false;
};
