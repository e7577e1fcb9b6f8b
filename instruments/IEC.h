#pragma once
// The holder of the program's three instrument sessions and of the handlers
// of their events: every executed command and every SCPI error becomes
// coloured lines of the instrument log (General::InstrumentLogRTF), according
// to each instrument's debug level (0 off, 1 errors, 2 and 3 commands too).
//
// The sessions are shared: the modulation source may be the same session as
// the RF generator (SetModSourVIF(RFSourVIF())). Setting a role releases the
// session held before; a session is closed when no role holds it any more.

#include "RTFGen.h"
#include "VIF.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>

class IEC : public QObject {
    Q_OBJECT

public:
    // The one holder. It lives to the end of the process.
    static IEC& Instance();

    // RF generator / I/Q modulator
    std::shared_ptr<VIF> RFSourVIF() const { return rfSour_.session; }
    void SetRFSourVIF(std::shared_ptr<VIF> session);
    // Signal analyzer
    std::shared_ptr<VIF> AnaVIF() const { return ana_.session; }
    void SetAnaVIF(std::shared_ptr<VIF> session);
    // I/Q modulation source
    std::shared_ptr<VIF> ModSourVIF() const { return modSour_.session; }
    void SetModSourVIF(std::shared_ptr<VIF> session);

    // Where the log is shown. The window library installs its log window's
    // text box (loading the window when it is asked for); without one the
    // lines still go into General::InstrumentLogRTF.
    using LogBoxProvider = std::function<RichTextBox*()>;
    static void SetLogBoxProvider(LogBoxProvider provider);

private:
    IEC() = default;

    struct Role {
        std::shared_ptr<VIF> session;
        QMetaObject::Connection executed;
        QMetaObject::Connection scpiError;
    };
    void Hold(Role& role, std::shared_ptr<VIF> session,
              void (IEC::*executed)(const std::string&, bool),
              void (IEC::*scpiError)(const std::string&, const std::string&));

    void RFSourVIF_VIFCommandExecuted(const std::string& Command, bool Success);
    void RFSourVIF_VIFSCPIError(const std::string& Command, const std::string& Error);
    void AnaVIF_VIFCommandExecuted(const std::string& Command, bool Success);
    void AnaVIF_VIFSCPIError(const std::string& Command, const std::string& Error);
    void ModSourVIF_VIFCommandExecuted(const std::string& Command, bool Success);
    void ModSourVIF_VIFSCPIError(const std::string& Command, const std::string& Error);

    static void LogCommand(std::int32_t level, const std::string& prefix,
                           const std::string& command, bool success);
    static void LogSCPIError(std::int32_t level, const std::string& heading,
                             const std::string& command, const std::string& error);
    static void AddLine(const std::string& text, bool bold, std::int32_t color);

    Role rfSour_, ana_, modSour_;
};
