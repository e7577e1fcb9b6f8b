#pragma once
// The options dialog: remote control, waveform tags, sweep switches,
// auto-level and mixer levels, curve calculation and predistortion order,
// instrument logging. One dialog, created on first use; each control writes
// its setting at once and OK only hides the dialog.

#include <QRgb>
#include <QWidget>
#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

class Configure : public QWidget {
    Q_OBJECT

public:
    // Sweep switch and value box colours (Windows colour values, &HBBGGRR).
    static constexpr std::uint32_t kSweepOff = 0x0000FF;
    static constexpr std::uint32_t kSweepOn = 0x00FF00;
    static constexpr std::uint32_t kBoxOff = 0xE0E0E0;
    static constexpr std::uint32_t kBoxOn = 0xFFFFFF;

    // The dialog, created on first use (not shown by that).
    static Configure& Instance();
    static bool Exists();
    // Creates the dialog when needed and shows it without waiting.
    static void Show();
    ~Configure() override;

    // Sweep switches, the predistortion order choice and the logging frame
    // from the settings.
    void UpdateParameters();

    void OK_Click();

    QTabWidget* SetupTab = nullptr;
    QCheckBox* NetworkActive = nullptr;
    QLineEdit* NetworkPort = nullptr;
    QLineEdit* WVTagComment = nullptr;
    QLineEdit* WVTagCopyright = nullptr;
    QCheckBox* SweepLevel = nullptr;
    QCheckBox* SweepFreq = nullptr;
    QLineEdit *StartLevelB = nullptr, *StopLevelB = nullptr, *StepLevelB = nullptr;
    QLineEdit *StartFreqB = nullptr, *StopFreqB = nullptr, *StepFreqB = nullptr;
    std::array<QLineEdit*, 2> GainLevel{};
    QComboBox* MixInstr = nullptr;
    QLineEdit* AnaAtt = nullptr;
    QComboBox* AMAMOrder = nullptr;
    QLineEdit* AMGridText = nullptr;
    QLineEdit* AMLowText = nullptr;
    QCheckBox* AMLowIgnBox = nullptr;
    QCheckBox* AMLowLinBox = nullptr;
    QComboBox* AMPMOrder = nullptr;
    QLineEdit* PMGridText = nullptr;
    QLineEdit* PMLowText = nullptr;
    QCheckBox* PMLowIgnBox = nullptr;
    QCheckBox* PMLowLinBox = nullptr;
    QRadioButton* AMbPM = nullptr;
    QRadioButton* PMbAM = nullptr;
    QGroupBox* IEEEFrame = nullptr;
    QComboBox* DebugInstrument = nullptr;
    QComboBox* DebugLevel = nullptr;
    QCheckBox* DebugToFile = nullptr;
    QPushButton* OK = nullptr;

private:
    Configure();
    QWidget* BuildGeneralTab();
    QWidget* BuildSweepTab();
    QWidget* BuildMeasurementTab();
    QWidget* BuildProcessingTab();
    QWidget* BuildDebugTab();
    void ConnectGeneral();
    void ConnectProcessing();
    void ConnectDebug();
    void Form_Load();
    void UpdateSweepBoxes();
    void ShowSweepValues();
    void MixInstr_Click();
    // The typed level is the chosen family's.
    void AnaAtt_Change(float level);
    void NetworkPort_Change();
    bool NetworkPort_Refuse();
    void DebugInstrument_Click();
    void DebugLevel_Click();
    void DebugToFile_Click();
};
