#pragma once
// The one settings exchange between the shared state and the settings file.

#include <string>

namespace SetHandle {

// Mode 0 sets the defaults (deleting the file first), 1 loads, 2 saves.
// Returns false when the file could not be written (mode 2), could not be
// deleted though it exists (mode 0), or exists but could not be read (mode 1:
// the variables then hold their defaults); the exchange always runs to its end.
bool ExchangeSettings(int mode);

// The folder of the files the program keeps beside itself (settings file,
// logs, the current report): the program's own folder when it can be written,
// else the user's configuration folder, unless a host (a test, say) has
// chosen another or QUILLON_FOLDER names one.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);
// The choice for a program in `exeFolder`: that folder when writable, else
// $XDG_CONFIG_HOME/quillon (an absolute XDG_CONFIG_HOME only), else
// $HOME/.config/quillon, created when missing.
std::string WritableFolder(const std::string& exeFolder);

inline constexpr const char* kSettingsFileName = "Quillon.INI";
inline constexpr const char* kDefaultDeviceRegEntry = "SOFTWARE\\Korva&Tellin\\VISADeviceCache";
inline constexpr const char* kDefaultCopyRight = "Korva&Tellin";

} // namespace SetHandle
