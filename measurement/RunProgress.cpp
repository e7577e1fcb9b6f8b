// The installed step display of the progress window, and the headless one.

#include "RunProgress.h"

#include <QCoreApplication>

namespace RunProgress {
namespace {
std::function<void(int)>& Hook() {
    static std::function<void(int)> hook;
    return hook;
}
} // namespace

void ShowState(int step) {
    if (Hook())
        Hook()(step); // the window lets events run itself
    else
        PumpEvents();
}

void SetShowStateHook(std::function<void(int)> hook) {
    Hook() = std::move(hook);
}

void PumpEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

} // namespace RunProgress
