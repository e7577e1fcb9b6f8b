#pragma once
// The action window "Main Actions": instrument discovery, start and stop of a
// measurement run, and the choice between a plain measurement and one with
// predistortion verification (with the variants to verify). The run executes
// inside the Start handler; Stop only raises the abort flag the run polls.
// Created once, it survives "Close All Measurement Windows" (tag "KEEP").

#include <QWidget>
#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

class ButtonForm : public QWidget {
    Q_OBJECT

public:
    // The program's action window, created on first use.
    static ButtonForm& Instance();
    // Whether the window exists now, without creating it.
    static bool Exists();
    explicit ButtonForm(QWidget* parent = nullptr);
    ~ButtonForm() override;

    // Mirrors the settings (Verify flags, Predistore) into the controls; their
    // handlers run as for a click, so the enabled state follows.
    void Update();

    // Start: checks the settings (every failing check shows its message),
    // then runs the measurement and shows how it ended. Returns when the run
    // has wholly ended. The run is under way (RunState) from the moment the
    // checks have passed until its end message is over and Start is enabled
    // again. Start is greyed while the messages of a refused start wait for
    // their OK. A start while a run is under way, or while those messages
    // wait, is refused with a status line that says which.
    void StartB_Click();
    void StopB_Click();
    // Instrument discovery into the equipment setup's lists. Start stays
    // disabled while the discovery and its messages are under way.
    void AutoSet_Click();
    void Mode_Click(int Index);
    void Dist_Click(int Index);

    QPushButton* AutoSet = nullptr;
    QPushButton* StartB = nullptr;
    QPushButton* StopB = nullptr;
    QGroupBox* ConfFrame = nullptr;
    std::array<QRadioButton*, 2> Mode{};
    std::array<QCheckBox*, 3> Dist{};

private:
    void RunAndEnd();
    static void PumpEvents();

    // The checks of a start and their messages are showing.
    bool checking_ = false;
};
