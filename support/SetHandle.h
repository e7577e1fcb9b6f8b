#pragma once
// The one settings exchange between the shared state and the settings file.

#include <string>

namespace SetHandle {

// Mode 0 sets the defaults (deleting the file first), 1 loads, 2 saves.
// Returns false when the file could not be written (mode 2), could not be
// deleted though it exists (mode 0), or exists but could not be read (mode 1:
// the variables then hold their defaults); the exchange always runs to its end.
bool ExchangeSettings(int mode);

// The folder of the settings file: the program's own folder unless a host
// (a test, say) has chosen another.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

inline constexpr const char* kSettingsFileName = "Quillon.INI";
inline constexpr const char* kDefaultDeviceRegEntry = "SOFTWARE\\Korva&Tellin\\VISADeviceCache";
inline constexpr const char* kDefaultCopyRight = "Korva&Tellin";

} // namespace SetHandle
