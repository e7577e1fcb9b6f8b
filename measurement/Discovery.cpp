// Instrument discovery into the equipment setup's role lists.

#include "Discovery.h"

#include "General.h"
#include "INIIO.h"
#include "RunState.h"
#include "Services.h"
#include "VIF.h"
#include "VISAScan.h"

#include <string>
#include <vector>

namespace Discovery {
namespace {

using Role = EquipmentLists::Role;

struct Rule {
    std::int32_t type;
    const char* option; // nullptr: any option list
    Role role;
    const char* label;
};

// Tested in this order; a device may match several.
const Rule kRules[] = {
    {31, nullptr, Role::ModSource, "BOXW"},  {21, "R4Q", Role::ModSource, "VRTA-R4Q"},
    {24, "R2M", Role::ModSource, "KLD-R2M"}, {24, "R2N", Role::ModSource, "KLD-R2N"},
    {24, nullptr, Role::RFGen, "KLD"},       {21, nullptr, Role::RFGen, "VRTA"},
    {32, nullptr, Role::RFGen, "KLI"},       {16, nullptr, Role::Analyzer, "HOC"},
    {17, nullptr, Role::Analyzer, "HOD"},    {12, "R7D", Role::Analyzer, "DANE"},
    {13, nullptr, Role::Analyzer, "HOB"},
};

std::string RegistryKey() {
    const INIIO::Tagged v =
        INIIO::INIRead(General::INIFile, "VISA", "DeviceRegEntry",
                       std::string("SOFTWARE\\Korva&Tellin\\VISADeviceCache"), INIIO::ReadAs::Text);
    const std::string* key = std::get_if<std::string>(&v);
    return key ? *key : std::string();
}

void ShowVisaMissing() {
    Services::Messages().Message("VISA missing",
                                 std::string("You have to install VISA in order to run Quillon.") +
                                     "\r\n\r\nFor further informations, please see the manual or " +
                                     "\r\n" + kContactLine,
                                 Services::MsgIcon::Information, Services::MsgButtons::OK);
}

// Sorts the scanned devices into the lists; which roles were found.
void Sort(const VISAScan& scan, EquipmentLists& lists, bool& modSource, bool& analyzer) {
    for (std::int16_t i = 0; i < scan.DeviceCount(); ++i) {
        const std::string options = scan.OptionList(i);
        for (const Rule& r : kRules) {
            if (scan.DeviceTyp(i) != r.type) continue;
            if (r.option && options.find(r.option) == std::string::npos) continue;
            lists.Add(r.role, r.label, scan.VISAResString(i));
            modSource = modSource || r.role == Role::ModSource;
            analyzer = analyzer || r.role == Role::Analyzer;
        }
    }
}

} // namespace

std::optional<bool> FindInstruments(EquipmentLists& lists) {
    if (RunState::UnderWay() || VISAScan::Scanning()) return std::nullopt;
    for (Role r : {Role::ModSource, Role::RFGen, Role::Analyzer})
        lists.Clear(r);
    if (!VisaLibrary::Present()) {
        ShowVisaMissing();
        return std::nullopt;
    }
    Services::BigMessage().ShowMessage("scanning for instruments...", 3, 0, false, false, false);
    General::InstrumentScan() = std::make_unique<VISAScan>();
    VISAScan& scan = *General::InstrumentScan();
    scan.Scan(RegistryKey(), 1000);
    lists.Add(Role::RFGen, "EXTERNAL", "0");
    Services::BigMessage().HideMessage();

    bool modSource = false, analyzer = false;
    Sort(scan, lists, modSource, analyzer);
    for (Role r : {Role::Analyzer, Role::RFGen, Role::ModSource})
        lists.SetEnabled(r, lists.Count(r) != 1);
    std::string missing;
    if (analyzer) {
        lists.SelectLast(Role::Analyzer);
        lists.UpdateAnalyzer();
    } else {
        missing += "missing IQ analyzer\r\n";
    }
    if (modSource) {
        lists.SelectLast(Role::ModSource);
        lists.UpdateModSource();
    } else {
        missing += "missing IQ generator\r\n";
    }
    lists.SelectLast(Role::RFGen);
    if (missing.empty()) return true;
    missing.pop_back();
    Services::Messages().Message("MISSING INSTRUMENTS", "ERROR:\r\n" + missing,
                                 Services::MsgIcon::Critical, Services::MsgButtons::OK);
    return false;
}

} // namespace Discovery
