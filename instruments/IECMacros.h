#pragma once
// The SCPI sequences that make the modulation source (IEC::ModSourVIF) play a
// waveform file already stored on it, and that set its ARB sample clock. The
// command set follows General::ModulatorType: 0 BOXW, 1 VRTA, 2 KLD.
//
// Progress texts go to the status log. Failed commands are reported by the
// session itself (its events and command log); the sequence goes on.

#include <string>

namespace IECMacros {

// Looks the file up in the source's catalogue, then selects (VRTA, KLD) or
// loads (BOXW) it, sets up the trigger, switches the ARB and the output on.
// False, with the status line "FILE <name> NOT FOUND!!!" and nothing further
// sent, when the catalogue does not list the file; false as well when there
// is no modulation-source session or the family is unknown.
bool LoadARBWaveform(const std::string& FileName);

// The ARB clock in MHz; false when there is no session, the family is unknown
// or a command failed.
bool SetARBClock(double ClockMHz);

// Where the progress texts of the sequences go: the status log.
void ShowMacroStatus(const std::string& Text);

} // namespace IECMacros
