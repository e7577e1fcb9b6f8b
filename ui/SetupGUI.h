#pragma once
// The equipment setup window: the three instruments with their VISA
// addresses, the test signal, frequencies and levels, and the analyzer's
// sampling set-up, laid out along the bench's signal flow. Every control
// writes its setting at once; the run start checks them. While the window
// exists it is the engine's view of the instrument lists (EquipmentLists).
// One window, created on first use and kept for the program's life: its
// close box only hides it.

#include "EquipmentLists.h"

#include <QWidget>
#include <array>
#include <string>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class SetupGUI : public QWidget, public EquipmentLists {
    Q_OBJECT

public:
    // The window, created on first use (with its lists filled and the
    // settings shown; not shown by that).
    static SetupGUI& Instance();
    static bool Exists();
    // Creates the window when needed, shows it and brings it to the front.
    static void Show();
    ~SetupGUI() override;

    void UpdateModSource() override;
    void UpdateGenerator();
    void UpdateAnalyzer() override;
    void LoadStaticLists();
    void LoadAnaDepth();
    // A file signal without a readable file asks for one, unless the choice
    // came from the remote control, where nobody can answer a dialog.
    void UpdateSignalSource(bool mayAsk = true);
    // Every control from the settings.
    void Update();
    // Test signal `index` (0 noise, 1 dual tone, 2 waveform file, 3 ASCII
    // file); any other value is refused and changes nothing.
    void MeasSig_Click(int index, bool mayAsk = true);
    void TargetPower_Change();
    // What "? info ?" shows: the information of the last file read.
    const std::string& FileInfoText() const { return fileInfo_; }

    // EquipmentLists
    void Clear(Role role) override;
    void Add(Role role, const std::string& label, const std::string& resource) override;
    int Count(Role role) const override;
    void SetEnabled(Role role, bool enabled) override;
    void SelectLast(Role role) override;
    std::string SelectedResource(Role role) const override;
    std::string SelectedLabel(Role role) const override;
    // The continuous field's rate while it is enabled, else the discrete
    // list's; 0 while that list has no rate selected.
    double SamplingRateMHz() const override;
    double UnofferedRateMHz() const override;

    QListWidget *BBGenList = nullptr, *BBGenAdr = nullptr;
    QListWidget *RFGenList = nullptr, *RFGenAdr = nullptr;
    QListWidget *AnalyzerList = nullptr, *AnalyzerAdr = nullptr;
    QLineEdit* GenFreq = nullptr;
    QLineEdit* AnaFreq = nullptr;
    QLineEdit* TargetPower = nullptr;
    QLineEdit* RefPowLim = nullptr;
    QLineEdit* Delay = nullptr;
    QLineEdit* BOXWClock = nullptr;
    QLineEdit* BOXWIQAmp = nullptr;
    QLineEdit* Bandwidth = nullptr;
    QLineEdit* NoiseInit = nullptr;
    QComboBox* RFConvIQFilt = nullptr;
    QComboBox* RefList = nullptr;
    QComboBox* Laenge = nullptr;
    QComboBox* AnaMemDepth = nullptr;
    QLineEdit* AnaSampFreqCont = nullptr;
    QComboBox* AnaSampFreqDisc = nullptr;
    QComboBox* HOBRBW = nullptr;
    QLabel* HOBRBWLabel = nullptr;
    std::array<QRadioButton*, 4> MeasSig{};
    QLineEdit* FileName = nullptr;
    QPushButton* LoadFileButton = nullptr;
    QPushButton* FileInfo = nullptr;
    QPushButton* BOXWAdvanced = nullptr;
    QGroupBox* BOXWAdvFrame = nullptr;
    QLabel* SigParam = nullptr;
    std::array<QLabel*, 4> BlockLabel{};

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SetupGUI();
    QWidget* BuildGeneratorColumn();
    QWidget* BuildConverterColumn();
    QWidget* BuildDUTColumn();
    QWidget* BuildAnalyzerColumn();
    void ConnectLists();
    void ConnectTexts();
    void ConnectSignal();
    void Form_Load();
    QListWidget* ListOf(Role role) const;
    QListWidget* AddressesOf(Role role) const;
    void BBGenList_Click();
    void RFGenList_Click();
    void AnalyzerList_Click();
    void ShowSamplingRate();
    void ShowTestSignalLength();
    void ShowTexts();
    void LoadSignalFile();
    void SignalFileInfo();
    void FileInfo_Click();

    QButtonGroup* measSigGroup_ = nullptr;
    std::string fileInfo_;
    // The stored rate (Hz) the discrete list could not show when the settings
    // were last shown; 0 once a rate is chosen or typed.
    double unofferedHz_ = 0;
};
