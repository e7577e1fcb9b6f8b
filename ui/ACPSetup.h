#pragma once
// The ACP setup dialog: the adjacent-channel layout the verification measures
// (channel pairs in use, bandwidths and spacings, with a drawing of the
// channels) and the FFT window, display detector and detector group size.
// Each opening makes a fresh dialog that starts from the current settings;
// every control writes its setting at once.

#include <QRgb>
#include <QWidget>
#include <array>
#include <cstdint>

class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;

class ACPSetup : public QWidget {
    Q_OBJECT

public:
    // Fill colours of channel pair 1..3 (index 0..2), in use and not in use,
    // as Windows colour values (&HBBGGRR).
    static constexpr std::array<std::uint32_t, 3> kInUse{0x0000FF, 0x00FFFF, 0x00FF00};
    static constexpr std::array<std::uint32_t, 3> kNotInUse{0xC0C0FF, 0xC0FFFF, 0xC0FFC0};
    static constexpr std::uint32_t kMainChannel = 0xC0C0C0;
    // A Windows colour value as Qt's RGB.
    static QRgb ToRgb(std::uint32_t windowsColour);

    // A new dialog showing the current settings, shown without waiting.
    static ACPSetup* Open();

    // Drawing, enabling and the window/detector controls from the settings.
    void UpdateStats();

    void AnaWindow_Click();
    void Detector_Click();
    void Channels_Click();
    void AllMainBW_Click();
    void EqualSpace_Click();
    void OK_Click();
    // A box's text into its field; k 0..2 is channel pair 1..3.
    void MainChanText_Change();
    void LowChanText_Change(std::size_t k);
    void UpChanText_Change(std::size_t k);
    void LowSpaceText_Change(std::size_t k);
    void UpSpaceText_Change(std::size_t k);

    QComboBox* AnaWindow = nullptr;
    QComboBox* Detector = nullptr;
    QLineEdit* Parameter = nullptr;
    QComboBox* Channels = nullptr;
    QLineEdit* MainChanText = nullptr;
    // Index 0..2 stands for channel pair 1..3.
    std::array<QLineEdit*, 3> LowChanText{}, UpChanText{};
    std::array<QLineEdit*, 3> LowSpaceText{}, UpSpaceText{};
    QPushButton* AllMainBW = nullptr;
    QPushButton* EqualSpace = nullptr;
    std::array<QFrame*, 3> LC{}, RC{};
    QFrame* Shape = nullptr;
    QPushButton* OK = nullptr;

private:
    ACPSetup();
    QWidget* BuildMeasurementFrame();
    QWidget* BuildChannelFrame();
    void Form_Load();
    void Connect();
    void Parameter_Change();
};
