// The installed step display.

#include "RunProgress.h"

namespace RunProgress {
namespace {
std::function<void(int)>& Hook() {
    static std::function<void(int)> hook;
    return hook;
}
} // namespace

void ShowState(int step) {
    if (Hook()) Hook()(step);
}

void SetStateHook(std::function<void(int)> hook) {
    Hook() = std::move(hook);
}

} // namespace RunProgress
