#pragma once
// Lets a test program's polls ("IS_READY?", "FINISHED?") be answered while a
// step talks to a slow instrument and keeps window events away: the session
// layer calls Answer between its instrument calls, the remote control
// installs what answers. Nothing else runs from there: no command that acts,
// no window that opens or closes, no other event.

#include <functional>

namespace PollAnswers {

// Answers the polls that have arrived, when something is installed.
void Answer();

// The remote control installs how it answers; an empty function uninstalls it.
void SetHook(std::function<void()> hook);

} // namespace PollAnswers
