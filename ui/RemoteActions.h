#pragma once
// What the remote control asks of the main window: the equipment setup's
// level box and signal choice, the action window's buttons and the window
// command. The main window implements it; tests put a stand-in in its place.

#include <cstdint>
#include <string>

class RemoteActions {
public:
    virtual ~RemoteActions() = default;
    // The equipment setup's target level box gets the text, and its change
    // handler stores the level. False, with box and level as they were, when
    // the box would not hold the text as it is (longer than it takes).
    virtual bool SetTargetLevelText(const std::string& text) = 0;
    // The equipment setup's signal choice. Must not open a dialog: nobody is
    // at the screen to answer it while a test program waits on the socket.
    virtual void SetSignalType(std::int16_t type) = 0;
    // The action window's setup (discovery) and Start buttons; Start returns
    // when the run has ended.
    virtual void Setup() = 0;
    virtual void Start() = 0;
    // "Close All Measurement Windows".
    virtual void CloseAll() = 0;
    // Whether the action window's Start button is enabled (the protocol also
    // asks RunState whether a run is under way).
    virtual bool StartEnabled() const = 0;
};
