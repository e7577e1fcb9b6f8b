#pragma once
// Two main-window commands on waveforms outside a run: predistorting an
// external I/Q file with the last fit and loading it into the modulation
// source's ARB, and dumping the noise test signal to a binary file.

#include <string>

namespace PredistortFile {

// "&Predistore Existing File". Asks for the file, the method and the
// instrument name through the dialog services; stops with a message (and
// uploads nothing) when there is no fit yet, the file cannot be read or holds
// no signal, the name is unusable or there is no modulation source.
void DistExFile_Click();

// A name the instrument's quoted SCPI argument can carry unchanged: 1 to 64
// printable characters without quotes. Empty when acceptable, else why not.
std::string NameProblem(const std::string& name);

// "Dump Signal": the noise test signal as single-precision I then Q values,
// little-endian, into DumpFileName(); "DONE." or the failure in a message box.
void DumpIt_Click();
// "QuillonTest.BIN" in the program's folder.
std::string DumpFileName();

} // namespace PredistortFile
