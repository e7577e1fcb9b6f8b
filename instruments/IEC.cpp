#include "IEC.h"

#include "General.h"

namespace {

IEC::LogBoxProvider& Provider() {
    static IEC::LogBoxProvider provider;
    return provider;
}

constexpr std::size_t kCommandShown = 100;

} // namespace

IEC& IEC::Instance() {
    // Never destroyed: at exit the sessions would be closed through objects
    // that may already be gone.
    static IEC* holder = new IEC;
    return *holder;
}

void IEC::SetLogBoxProvider(LogBoxProvider provider) {
    Provider() = std::move(provider);
}

void IEC::Hold(Role& role, std::shared_ptr<VIF> session,
               void (IEC::*executed)(const std::string&, bool),
               void (IEC::*scpiError)(const std::string&, const std::string&)) {
    disconnect(role.executed);
    disconnect(role.scpiError);
    role.executed = {};
    role.scpiError = {};
    // Subscribe before the old session goes: when both are the same object
    // it stays alive.
    if (session) {
        role.executed = connect(session.get(), &VIF::VIFCommandExecuted, this, executed);
        role.scpiError = connect(session.get(), &VIF::VIFSCPIError, this, scpiError);
    }
    role.session = std::move(session);
}

void IEC::SetRFSourVIF(std::shared_ptr<VIF> session) {
    Hold(rfSour_, std::move(session), &IEC::RFSourVIF_VIFCommandExecuted,
         &IEC::RFSourVIF_VIFSCPIError);
}

void IEC::SetAnaVIF(std::shared_ptr<VIF> session) {
    Hold(ana_, std::move(session), &IEC::AnaVIF_VIFCommandExecuted, &IEC::AnaVIF_VIFSCPIError);
}

void IEC::SetModSourVIF(std::shared_ptr<VIF> session) {
    Hold(modSour_, std::move(session), &IEC::ModSourVIF_VIFCommandExecuted,
         &IEC::ModSourVIF_VIFSCPIError);
}

void IEC::RFSourVIF_VIFCommandExecuted(const std::string& Command, bool Success) {
    LogCommand(General::RFSourDebug, "RF CONV.: ", Command, Success);
}

void IEC::RFSourVIF_VIFSCPIError(const std::string& Command, const std::string& Error) {
    LogSCPIError(General::RFSourDebug, "   ERROR (RF Generator)", Command, Error);
}

void IEC::AnaVIF_VIFCommandExecuted(const std::string& Command, bool Success) {
    LogCommand(General::AnaDebug, "ANALYZER: ", Command, Success);
}

void IEC::AnaVIF_VIFSCPIError(const std::string& Command, const std::string& Error) {
    LogSCPIError(General::AnaDebug, "   ERROR (RF Analyzer)", Command, Error);
}

void IEC::ModSourVIF_VIFCommandExecuted(const std::string& Command, bool Success) {
    LogCommand(General::ModSourDebug, "MOD SOUR: ", Command, Success);
}

void IEC::ModSourVIF_VIFSCPIError(const std::string& Command, const std::string& Error) {
    LogSCPIError(General::ModSourDebug, "   ERROR (Modulation Source)", Command, Error);
}

void IEC::LogCommand(std::int32_t level, const std::string& prefix, const std::string& command,
                     bool success) {
    if (level <= 1) return;
    AddLine(prefix + command, false, success ? RTFGen::kBlack : RTFGen::kRed);
}

void IEC::LogSCPIError(std::int32_t level, const std::string& heading, const std::string& command,
                       const std::string& error) {
    if (level <= 0) return;
    AddLine(heading, true, RTFGen::kRed);
    AddLine("   Command: " + command.substr(0, kCommandShown), false, RTFGen::kRed);
    // One line per error entry: line ends inside a piece would not show.
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = error.find("\r\n", start);
        AddLine("   " + error.substr(start, end - start), false, RTFGen::kRed);
        if (end == std::string::npos) break;
        start = end + 2;
    }
}

void IEC::AddLine(const std::string& text, bool bold, std::int32_t color) {
    RichTextBox* box = Provider() ? Provider()() : nullptr;
    RTFGen::RTFAddText(box, General::InstrumentLogRTF, text, true, bold, false, false, color,
                       RTFGen::AlignLeft, RTFGen::kNoHighlight);
}
