#pragma once
// Starts a program on the operator's behalf, such as the desktop's launcher
// that opens a viewer: the program is the operator's, not Quillon's. It runs
// in a session of its own, reads nothing, writes nowhere and inherits no
// descriptor of Quillon's, and Quillon never ends it: it runs on when
// Quillon ends. While Quillon runs, the event loop learns how it ended and
// collects it; once the application is leaving (its main event loop has
// returned), nothing more is learnt or answered.

#include <QString>
#include <QStringList>
#include <functional>

namespace LauncherProcess {

// Starts `program` (a path) with `arguments`; false when it could not be
// started, or when there is no application object to watch it from.
// `ended` (may be empty) is called later from the event loop, never from
// this call: with true when the program ended normally with code 0 (and
// when the system cannot tell how it ended), false otherwise.
bool Start(const QString& program, const QStringList& arguments,
           std::function<void(bool succeeded)> ended);

// For tests: while `refuse` holds, programs started are watched as on a
// system that gives no process descriptor (descriptors used up, a sandbox
// that forbids them).
void RefuseProcessDescriptors(bool refuse);

} // namespace LauncherProcess
