#include "IECMacros.h"

#include "CrossMix.h"
#include "General.h"
#include "IEC.h"
#include "NumberText.h"

namespace IECMacros {

namespace {

constexpr std::int32_t kBOXW = 0;
constexpr std::int32_t kVRTA = 1;
constexpr std::int32_t kKLD = 2;

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool KnownFamily(std::int32_t family) {
    return family == kBOXW || family == kVRTA || family == kKLD;
}

} // namespace

void ShowMacroStatus(const std::string& Text) {
    CrossMix::AddStatus(Text);
}

bool LoadARBWaveform(const std::string& FileName) {
    const std::shared_ptr<VIF> vif = IEC::Instance().ModSourVIF();
    const std::int32_t family = General::ModulatorType;
    if (!vif || !KnownFamily(family)) return false;
    const std::string name = TrimBlanks(FileName);

    ShowMacroStatus("checking ARB for existing files...");
    const std::string prefix = family == kKLD ? "D:\\" : "";
    const std::string catalogQuery = family == kBOXW ? "MMEM:CAT?" : "ARB:WAV:CAT?";
    // A full instrument lists far more than a thousand characters; the whole
    // answer is read so that a file late in the list is still found.
    std::string catalog;
    vif->ReadStringLong(catalogQuery, catalog);
    // An empty name would be "found" in any catalogue.
    if (name.empty() || catalog.find(name) == std::string::npos) {
        ShowMacroStatus("FILE " + name + " NOT FOUND!!!");
        return false;
    }

    ShowMacroStatus("loading file " + name + "...");
    std::string dropped;
    if (family == kVRTA || family == kKLD) {
        vif->WriteString("OUTP OFF", 0);
        vif->WriteString("ARB:WAV:SEL '" + prefix + name + "';*WAI", 0);
        ShowMacroStatus("file loaded, preparing instrument for startup...");
        vif->WriteString("ARB:SEQ AUTO", 0);
        ShowMacroStatus("file loaded, initializing trigger...");
        ShowMacroStatus("preparing trigger generator...");
        if (family == kVRTA) {
            vif->WriteString("ARB:TRIG:OUTP1:MODE 'USER'", 0);
            vif->WriteString("ARB:TRIG:OUTP1:ONT 10", 0);
            vif->WriteString("ARB:TRIG:OUTP1:OFFT 524215", 0);
            vif->WriteString("ARB:STAT ON", 1);
            vif->ReadString("SYST:ERR?", dropped);
        } else {
            vif->WriteString("SOUR:BB:ARB:STAT ON", 1);
            vif->WriteString("SOUR:IQ:STAT ON", 1);
        }
        vif->WriteString("OUTP ON", 0);
    } else {
        vif->WriteString("MMEM:LOAD RAM,'" + name + "'", 1);
        ShowMacroStatus("file loaded, preparing instrument for startup...");
        vif->WriteString("TRIG:MODE CONT", 0);
        ShowMacroStatus("file loaded, initializing trigger...");
        ShowMacroStatus("preparing trigger generator...");
        vif->WriteString("ARM;:TRIG", 1);
        vif->WriteString("OUTP:MARK1:STAT ON", 0);
        vif->ReadString("SYST:ERR?", dropped);
    }
    ShowMacroStatus(name + " loaded and running.");
    return true;
}

bool SetARBClock(double ClockMHz) {
    const std::shared_ptr<VIF> vif = IEC::Instance().ModSourVIF();
    const std::int32_t family = General::ModulatorType;
    if (!vif || !KnownFamily(family)) return false;
    const std::string number = NumberText::Plain(ClockMHz, 15);
    if (family == kBOXW) return vif->WriteString("SOUR:CLOCK " + number + "MHZ", 0);
    const bool clock = vif->WriteString("ARB:CLOCK " + number + "MHZ", 0);
    const bool source = vif->WriteString("ARB:CLOCK:SOUR INT", 0);
    return clock && source;
}

} // namespace IECMacros
