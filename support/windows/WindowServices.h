#pragma once
// Puts the program's windows behind the services of Services.h: standard
// message boxes become QMessageBox dialogs, input boxes QInputDialogs, the
// large message box is MsgBig, status lines go to the progress window Current
// (created on first line), and error reports open an ErrorForm. Every box and
// dialog opens in front of the window it belongs to (FrontWindow), and every
// message box, those of Qt's dialogs among them, is as wide as its title.
// Call once at start-up, after the QApplication exists. The clock, sleeping and the
// clipboard need no window; their defaults are already the real ones.

namespace WindowServices {

void Install();

} // namespace WindowServices
