#include "VISADeviceCache.h"

#include "INIIO.h"
#include "RegAccess.h"

namespace VISADeviceCache {

void InitVISADeviceCache(const std::string& KeyPath) {
    const auto root = Registry::HKEY_LOCAL_MACHINE;
    if (INIIO::TrimStr(RegAccess::ReadRegValue(root, KeyPath, "DEVICE1")).empty())
        RegAccess::WriteRegValue(root, KeyPath, "DEVICE1", std::string(DefaultDevice));
    if (INIIO::TrimStr(RegAccess::ReadRegValue(root, KeyPath, "SERVER1")).empty())
        RegAccess::WriteRegValue(root, KeyPath, "SERVER1", std::string(DefaultServer));
}

} // namespace VISADeviceCache
