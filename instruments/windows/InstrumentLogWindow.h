#pragma once
// Shows the instrument holder's log in the instrument log window. The holder
// lives in the widget-free instrument library; this joins it to the window,
// which is loaded (with a new, empty log) by the first line it gets.

namespace InstrumentLogWindow {

// Call once at start-up, after the application object exists.
void Install();

} // namespace InstrumentLogWindow
