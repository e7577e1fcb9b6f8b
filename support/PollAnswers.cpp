// The hook through which polls are answered between instrument calls.

#include "PollAnswers.h"

namespace PollAnswers {
namespace {

std::function<void()>& Hook() {
    static std::function<void()> hook;
    return hook;
}

} // namespace

void Answer() {
    // An answer sends a reply, which must not lead back here.
    static bool answering = false;
    if (!Hook() || answering) return;
    answering = true;
    Hook()();
    answering = false;
}

void SetHook(std::function<void()> hook) {
    Hook() = std::move(hook);
}

} // namespace PollAnswers
