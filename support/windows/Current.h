#pragma once
// The progress window: the program-wide status log, the five steps of a
// measurement run with the current one blinking, and the current sweep
// point. Created on first use; it survives "Close All Measurement Windows"
// (tag "KEEP"). Other code writes to it through CrossMix.

#include <QRgb>
#include <QWidget>
#include <array>
#include <string>

class QLabel;
class QListWidget;
class QTimer;

class Current : public QWidget {
    Q_OBJECT

public:
    static constexpr QRgb kDoneText = 0x00C000;
    static constexpr QRgb kDoneBack = 0xE0E0E0;
    static constexpr QRgb kCurrentText = 0xFF0000;
    static constexpr QRgb kCurrentBack = 0xFFFF00;
    static constexpr QRgb kBlinkBack = 0xFFFFFF;
    static constexpr QRgb kPendingText = 0x808080;
    static constexpr QRgb kPendingBack = 0xE0E0E0;

    // The window, created (and shown) on first use.
    static Current& Instance();
    // Whether the window exists now, without creating it.
    static bool Exists();
    ~Current() override;

    // Steps below `step` done, `step` current, the rest pending (-1: all
    // pending); then lets pending window events run once.
    void ShowState(int step);
    // The log keeps this many of the newest lines; older ones go.
    static constexpr int kKeptLines = 1000;

    // Appends a line. The newest line is selected, scrolled into view and
    // painted once per turn of the event loop, however many lines came in
    // that turn: a flood of lines costs each the same, however long the log.
    void AddStatus(const std::string& line);
    void ClearStatus();
    void ShowCurrentPoint(const std::string& genFreq, const std::string& anaFreq,
                          const std::string& anaLevel);
    // The blink: every 500 ms the current step's background toggles.
    void FlashTime_Timer();

    QListWidget* StatList = nullptr;
    std::array<QLabel*, 5> State{};
    QLabel* AkFreqGen = nullptr;
    QLabel* AkFreqAna = nullptr;
    QLabel* AkLevelGen = nullptr;
    QLabel* AkLevelAna = nullptr;
    QTimer* FlashTime = nullptr;

private:
    Current();
    static void Paint(QLabel* label, QRgb text, QRgb back);
    void ShowNewest();

    bool newestPending_ = false;
};
