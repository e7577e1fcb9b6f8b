#pragma once
// Boxes and dialogs that stand as windows of their own open in front of the
// window they belong to: the window manager keeps them above it (they are
// transient for it) and they come up raised and active, never hidden behind
// the main window while the program waits for their answer.

class QWidget;

namespace FrontWindow {

// The window a box opened now belongs to: the modal dialog in front, else the
// main window, else the active window; nullptr when there is none. `asking`
// (the box itself) is never its own owner.
QWidget* Owner(const QWidget* asking = nullptr);

// From now on, whenever `window` (a top-level window) is shown, it becomes
// transient for its owner, unless a parent widget already is, and opens
// raised and active.
void Keep(QWidget* window);

// Raises and activates a window that is already shown (a box given a new
// text).
void Front(QWidget* window);

} // namespace FrontWindow
