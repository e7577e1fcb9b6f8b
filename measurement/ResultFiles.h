#pragma once
// The result text files of the last run: the I/Q point table (one row per
// captured sample) and the gridded AM/AM and AM/PM curves. CR LF line ends,
// one byte per character (Latin-1), as the operators' evaluation tools read
// them.

#include <string>

namespace DISC {

// "+" for a value above 0, else nothing (a negative value brings its "-").
std::string SignPrefix(double value);

// Writes the I/Q point table of SignalStore slots 0-3 and the per-sample
// amplitudes and phases, numbers with ".". The caller checks that a run has
// completed. Replaces the file only when the whole table was written; false
// (the file untouched) otherwise.
bool SaveIQPointFile(const std::string& fileName);

// The curve file's text (SignalStore 30/31 and 32/33); its numbers carry the
// regional decimal separator.
std::string AMPMFileText(char decimal);
// Checks for data, asks for the file name and writes the curve file; a
// cancelled dialog writes nothing, a failed write is reported.
void SaveAMPMFile();

// "You have to run a measurement first!" (title "NO DATA").
void ShowNoRunMessage();

} // namespace DISC
