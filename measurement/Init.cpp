// Instrument initialisation at the start of a run.

#include "Init.h"

#include "CrossMix.h"
#include "EquipmentLists.h"
#include "General.h"
#include "IEC.h"
#include "NumberText.h"
#include "Services.h"
#include "SetHandle.h"
#include "StringOp.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace Init {
namespace {

using Role = EquipmentLists::Role;

void Fail(const std::string& why) {
    General::MeasureRunAbort = true;
    if (!General::RunErrorText.empty()) General::RunErrorText += " ";
    General::RunErrorText += why;
    CrossMix::AddStatus(why);
}

std::string TypeCodeFault() {
    using namespace General;
    if (ModulatorType < 0 || ModulatorType > 2)
        return "Unknown modulation source type " + std::to_string(ModulatorType) + ".";
    if (RFConverterType < 0 || RFConverterType > 2)
        return "Unknown RF converter type " + std::to_string(RFConverterType) + ".";
    if (AnalyzerType < 0 || AnalyzerType > 3)
        return "Unknown analyzer type " + std::to_string(AnalyzerType) + ".";
    return {};
}

std::string Resource(Role role) {
    const EquipmentLists* lists = EquipmentLists::Get();
    return lists ? lists->SelectedResource(role) : std::string();
}

// Opens, resets and identifies the selected instrument of the role; nullptr
// (after Fail) when it cannot be used.
std::shared_ptr<VIF> Connect(Role role, const std::string& name, std::string& id,
                             void (IEC::*hold)(std::shared_ptr<VIF>)) {
    const std::string resource = Resource(role);
    auto vif = std::make_shared<VIF>();
    (IEC::Instance().*hold)(vif);
    if (resource.empty()) {
        Fail("No " + name + " selected.");
        return nullptr;
    }
    if (!vif->OpenDevice(resource, true, true, 1000, true) || !vif->InstOpen()) {
        Fail(name + " at " + resource + " could not be opened.");
        return nullptr;
    }
    vif->ConfigErrorProcessor(true, false);
    vif->WriteString("*RST;*WAI", 0);
    if (!vif->ReadString("*IDN?", id, 1000) || id.empty()) {
        Fail(name + " at " + resource + " does not identify itself.");
        return nullptr;
    }
    return vif;
}

bool ConnectAnalyzer() {
    return Connect(Role::Analyzer, "Analyzer", General::AnalyzerID, &IEC::SetAnaVIF) != nullptr;
}

bool ConnectRFSource() {
    using namespace General;
    if (RFConverterType == 0) {
        IEC::Instance().SetRFSourVIF(std::make_shared<VIF>());
        RFSourceID = "External IQ Modulator";
        return true;
    }
    auto rf = Connect(Role::RFGen, "RF generator", RFSourceID, &IEC::SetRFSourVIF);
    if (!rf) return false;
    rf->WriteString("OUTP:STAT OFF", 0);
    rf->WriteString("SOUR:POW:LIM " + NumberText::Plain(MaximumPeakGeneratorLevel) + "dBm", 0);
    std::string again;
    rf->ReadString("*IDN?", again, 1000);
    return true;
}

bool ConnectModSource() {
    using namespace General;
    IEC& iec = IEC::Instance();
    if (ModSourceIsRFSource) {
        iec.SetModSourVIF(iec.RFSourVIF());
        std::string id;
        if (!iec.ModSourVIF()->ReadString("*IDN?", id, 1000)) {
            Fail("Modulation source does not identify itself.");
            return false;
        }
        ModSourceID = id;
        return true;
    }
    return Connect(Role::ModSource, "Modulation source", ModSourceID, &IEC::SetModSourVIF) !=
           nullptr;
}

void SendIQFilters() {
    using namespace General;
    VIF& mod = *IEC::Instance().ModSourVIF();
    VIF& rf = *IEC::Instance().RFSourVIF();
    const bool boxw = ModulatorType == 0, vrta = RFConverterType == 1;
    auto modFilter = [&](const std::string& f) {
        if (!boxw) return;
        mod.WriteString("OUTP:I:FILT " + f, 0);
        mod.WriteString("OUTP:Q:FILT " + f, 0);
    };
    auto rfFilter = [&](const std::string& f) {
        if (!vrta) return;
        rf.WriteString("SOUR:DM:IQ:FILT:STAT ON", 0);
        rf.WriteString("SOUR:DM:IQ:FILT:FREQ " + f, 0);
    };
    switch (IQFilter) {
    case 0:
        modFilter("OFF");
        if (vrta) rf.WriteString("SOUR:DM:IQ:FILT:STAT OFF", 0);
        break;
    case 1:
        rfFilter("850kHz");
        break;
    case 2:
        rfFilter("2.5MHz");
        modFilter("2.5MHz");
        break;
    case 3:
        rfFilter("5MHz");
        break;
    case 4:
        rfFilter("7.5MHz");
        break;
    case 5:
        rfFilter("10MHz");
        break;
    case 6:
        modFilter("25MHz");
        break;
    case 7:
        modFilter("EXT");
        break;
    default:
        break;
    }
}

void ConfigureDebug() {
    using namespace General;
    const std::string folder = SetHandle::ProgramFolder() + "/";
    auto file = [&](bool on, const char* name) { return on ? folder + name : std::string(); };
    IEC& iec = IEC::Instance();
    iec.ModSourVIF()->ConfigDebugMode(ModSourDebug, true,
                                      file(ModSourDebugFile, "DEBUG_ModSource.txt.txt"), 100);
    iec.RFSourVIF()->ConfigDebugMode(RFSourDebug, true, file(RFSourDebugFile, "DEBUG_RFSource.txt"),
                                     100);
    iec.AnaVIF()->ConfigDebugMode(AnaDebug, true, file(AnaDebugFile, "DEBUG_Analyzer.txt.txt"),
                                  100);
}

void ConfigureReferences() {
    using namespace General;
    IEC& iec = IEC::Instance();
    auto rf = [&](const char* s) {
        iec.RFSourVIF()->WriteString(std::string("SOUR:ROSC:SOUR ") + s, 0);
    };
    auto mod = [&](const char* s) {
        iec.ModSourVIF()->WriteString(std::string("SOUR:ROSC:SOUR ") + s, 0);
    };
    auto ana = [&](const char* s) {
        iec.AnaVIF()->WriteString(std::string("SENS:ROSC:SOUR ") + s, 0);
    };
    switch (RefSource) {
    case 0:
        rf("INT");
        mod("INT");
        ana("INT");
        break;
    case 1:
        if (!ModSourceIsRFSource) mod("EXT");
        rf("INT");
        ana("EXT");
        break;
    case 2:
        mod("INT");
        if (!ModSourceIsRFSource) rf("EXT");
        ana("EXT");
        break;
    case 3:
        rf("EXT");
        mod("EXT");
        ana("INT");
        break;
    case 4:
        rf("EXT");
        mod("EXT");
        ana("EXT");
        break;
    default:
        return;
    }
}

enum class Lock { Locked, Unlocked, Silent, NoNumber };

// What a lock query tells: an instrument that gives no answer (it answered
// its identification moments before) has stopped answering; an answer
// without a number must never pass for "locked".
Lock LockState(VIF& vif, const std::string& query, bool rounded) {
    std::string answer;
    if (!vif.ReadString(query, answer, 1000)) return Lock::Silent;
    const std::string text = StringOp::TrimWhite(answer);
    if (text.empty() || text.find_first_of("+-.0123456789") != 0) return Lock::NoNumber;
    double v = StringOp::LeadingNumber(text).value_or(0.0);
    if (rounded) v = NumberText::RoundHalfEven(v);
    return v == 0 ? Lock::Locked : Lock::Unlocked;
}

void TestReferences() {
    using namespace General;
    IEC& iec = IEC::Instance();
    std::map<Lock, std::string> names; // by state, in the order of the tests
    auto test = [&](VIF& vif, const char* query, bool rounded, const char* name) {
        std::string& list = names[LockState(vif, query, rounded)];
        list += (list.empty() ? "" : ", ") + std::string(name);
    };
    constexpr const char* freqCond = "STAT:QUES:FREQ:COND?";
    constexpr const char* quesCond = "STAT:QUES:COND?";
    if (RefSource != 3) test(*iec.AnaVIF(), freqCond, false, "Analyzer");
    if (RefSource != 1 && RFConverterType == 1)
        test(*iec.RFSourVIF(), freqCond, false, "RF Converter");
    if (RefSource != 1 && RFConverterType == 2)
        test(*iec.RFSourVIF(), quesCond, true, "RF Converter");
    if (RefSource != 2 && ModulatorType == 1)
        test(*iec.ModSourVIF(), freqCond, false, "Modulation source");
    if (RefSource != 2 && ModulatorType == 2)
        test(*iec.ModSourVIF(), quesCond, true, "Modulation source");
    if (const std::string& unlocked = names[Lock::Unlocked]; !unlocked.empty()) {
        Fail("Reference unlocked for " + unlocked + ".");
        Services::BigMessage().ShowMessage("Reference unlocked for " + unlocked + "." +
                                               "\r\nMeasurement aborted.",
                                           1, 5, false, false, true);
    }
    if (const std::string& silent = names[Lock::Silent]; !silent.empty())
        Fail(silent + " stopped answering: no answer to the reference lock query.");
    if (const std::string& garbled = names[Lock::NoNumber]; !garbled.empty())
        Fail("No number in the answer to the reference lock query of " + garbled + ".");
}

} // namespace

void InitInstruments() {
    using namespace General;
    CrossMix::AddStatus("initializing instruments...");
    if (const std::string fault = TypeCodeFault(); !fault.empty()) return Fail(fault);
    CrossMix::AddStatus("init ANALYZER...");
    if (!ConnectAnalyzer()) return;
    ModSourceIsRFSource = (ModulatorType == 1 && RFConverterType == 1) ||
                          (ModulatorType == 2 && RFConverterType == 2);
    CrossMix::AddStatus("init RF SOURCE...");
    if (!ConnectRFSource()) return;
    CrossMix::AddStatus("init IQ MODULATOR...");
    if (!ConnectModSource()) return;
    SendIQFilters();
    ConfigureDebug();
    CrossMix::AddStatus("configuring reference oscillators...");
    ConfigureReferences();
    Services::Sleeper().Sleep(std::chrono::milliseconds(1000));
    CrossMix::AddStatus("testing reference oscillators...");
    TestReferences();
}

} // namespace Init
