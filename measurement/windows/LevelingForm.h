#pragma once
// The manual leveling dialog: a meter from target - 1 to target + 1 dB with
// marks at target ± 0.2 dB, the measured level as text and an OK button the
// operator presses once the external converter is set. It is the engine's
// LevelingMeter. Created on first use, shown for each manual leveling.

#include "LevelingMeter.h"

#include <QDialog>

class MeterKnob;
class QLabel;
class QPushButton;

class LevelingForm : public QDialog, public LevelingMeter {
    Q_OBJECT

public:
    static LevelingForm& Instance();
    static bool Exists();
    ~LevelingForm() override;

    // Scale and marks only.
    void SetTarget(double target);
    void LevelOK_Click();

    void Begin(double target) override;
    void ShowValue(double level) override;
    bool CheckOK() override { return ok_; }
    bool Closed() override { return closed_; }
    void End() override;

    MeterKnob* Meter = nullptr;
    QLabel* Display = nullptr;
    QPushButton* LevelOK = nullptr;

protected:
    // Closing the dialog (its close box, Escape) is noted, so the leveling
    // ends instead of waiting for an OK that cannot come.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    LevelingForm();

    bool ok_ = false;
    bool closed_ = false;
};
