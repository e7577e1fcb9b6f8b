// The one state that says a measurement run is under way.

#include "RunState.h"

#include <QCoreApplication>
#include <QTimer>
#include <utility>
#include <vector>

namespace RunState {
namespace {

int g_scopes = 0;
std::vector<std::function<void()>> g_afterRun;

void RunHeldWork() {
    if (UnderWay()) return; // the next run's end runs it
    for (std::function<void()>& work : std::exchange(g_afterRun, {}))
        work();
}

} // namespace

bool UnderWay() {
    return g_scopes > 0;
}

Scope::Scope() {
    ++g_scopes;
}

Scope::~Scope() {
    --g_scopes;
    // From the event loop: a box shown from here would still hold the
    // handler that ran the run, and a remote START that called it.
    if (!UnderWay() && !g_afterRun.empty()) {
        if (QCoreApplication::instance())
            QTimer::singleShot(0, QCoreApplication::instance(), &RunHeldWork);
        else
            RunHeldWork();
    }
}

void AfterRun(std::function<void()> work) {
    if (!work) return;
    if (!UnderWay()) {
        work();
        return;
    }
    g_afterRun.push_back(std::move(work));
}

} // namespace RunState
