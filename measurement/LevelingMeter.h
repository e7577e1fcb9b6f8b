#pragma once
// The manual leveling dialog as the engine sees it: a meter around the target
// level that shows each measured level until the operator confirms with OK.
// The window library installs the dialog; without one (a headless run) the
// first level shown is accepted.

class LevelingMeter {
public:
    virtual ~LevelingMeter() = default;

    // Shows the dialog with its scale from target - 1 to target + 1 dB and
    // marks at target ± 0.2 dB; clears the OK and closed flags, so every
    // leveling waits for its own OK.
    virtual void Begin(double target) = 0;
    // Shows a measured level (dBm) and lets pending events run, so that OK,
    // closing the dialog and Stop act.
    virtual void ShowValue(double level) = 0;
    // Whether OK was pressed since Begin.
    virtual bool CheckOK() = 0;
    // Whether the operator closed the dialog since Begin without OK.
    virtual bool Closed() = 0;
    // Hides the dialog.
    virtual void End() = 0;

    // The installed meter, or the headless one that accepts at once.
    static LevelingMeter& Get();
    // nullptr uninstalls.
    static void Install(LevelingMeter* meter);
};
