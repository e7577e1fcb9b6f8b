#pragma once
// Waiting in tests that need the event loop to run (sockets, timers,
// windows).

#include "patience.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

// Lets events run until `done` holds or `ms` have passed; whether it holds.
inline bool PumpUntil(const std::function<bool()>& done, int ms = kPatientMs) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Lets events run for `ms`.
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}
