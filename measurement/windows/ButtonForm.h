#pragma once
// The action window "Main Actions": instrument discovery, start and stop of a
// measurement run, and the choice between a plain measurement and one with
// predistortion verification (with the variants to verify). The run executes
// inside the Start handler; Stop only raises the abort flag the run polls.
// Created once, it survives "Close All Measurement Windows" (tag "KEEP").

#include <QWidget>
#include <array>
#include <functional>

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
    // has wholly ended. A start while a run is in progress, unwinding or
    // showing its end message, or while the messages of a refused start
    // still wait for their OK, is refused with a status line that says which.
    void StartB_Click();
    // Whether a run is under way in Start's handler: from its beginning until
    // it has wholly ended (its end message gone, Start enabled again).
    static bool RunUnderWay();
    // Work that must not run inside a run, such as a box that waits for its
    // OK and would halt the run meanwhile: at once when no run is under way,
    // else from the event loop once the run has wholly ended.
    static void AfterRun(std::function<void()> work);
    void StopB_Click();
    // Instrument discovery into the equipment setup's lists.
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
    // Runs the work held back by AfterRun, unless another run is under way.
    static void RunHeldWork();

    enum class Phase { Idle, Checking, Running };
    Phase phase_ = Phase::Idle; // from the checks to the end of the ending
};
