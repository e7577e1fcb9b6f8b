#pragma once
// The VISA resource cache: the registry key (under HKEY_LOCAL_MACHINE, path
// from the setting DeviceRegEntry) whose values DEVICE1, DEVICE2, ... hold the
// resource patterns and SERVER1, SERVER2, ... the VISA servers that the
// discovery searches. The numbering starts at 1 and has no gaps; the editor
// keeps at most MaxEntries of each.

#include <string>

namespace VISADeviceCache {

inline constexpr int MaxEntries = 100;
inline constexpr const char* DefaultDevice = "GPIB0::?*::INSTR";
inline constexpr const char* DefaultServer = "localhost";

// Writes DEVICE1 = DefaultDevice and SERVER1 = DefaultServer where they are
// missing or blank; anything already there stays.
void InitVISADeviceCache(const std::string& KeyPath);

} // namespace VISADeviceCache
