// The instrument session: lifecycle, text I/O, error polling and service
// requests.

#include "VIF.h"

#include "General.h"
#include "NumberText.h"
#include "Services.h"
#include "StringOp.h"
#include "visa/visa.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>
#include <exception>
#include <new>

namespace {

std::optional<bool> g_presentOverride;

constexpr std::int32_t kAttrTimeOut = static_cast<std::int32_t>(VI_ATTR_TMO_VALUE);

// The leading number of an instrument's answer rounded to a 32-bit code;
// nullopt when the answer holds no number that fits.
std::optional<std::int32_t> LeadingCode(std::string_view text) {
    std::optional<double> value = StringOp::LeadingNumber(text);
    std::int32_t code = 0;
    if (!value || !NumberText::ToInt32(*value, code)) return std::nullopt;
    return code;
}

} // namespace

namespace VisaLibrary {

bool Present() {
    if (g_presentOverride) return *g_presentOverride;
    ViSession rm = VI_NULL;
    if (viOpenDefaultRM(&rm) < 0) return false;
    viClose(rm);
    return true;
}

void OverridePresent(std::optional<bool> present) {
    g_presentOverride = present;
}

} // namespace VisaLibrary

VIF::VIF(QObject* parent) : QObject(parent) {
    Guarded(
        "Initialize",
        [&] {
            VISAFound_ = VisaLibrary::Present();
            if (!VISAFound_) {
                // Nobody can be connected while the object is being built: the
                // news goes out once the creator has had the chance to listen.
                QMetaObject::invokeMethod(
                    this, [this] { emit VIFVIFError("", "VISA DLL could not be found."); },
                    Qt::QueuedConnection);
            }
        },
        "Class");
}

VIF::~VIF() {
    Guarded(
        "Terminate",
        [&] {
            if (InstrumentHandle > 0) {
                Pause(100);
                VIFviClose(InstrumentHandle);
                InstrumentHandle = -1;
            }
            if (RMHandle > 0) {
                VIFviClose(RMHandle);
                RMHandle = -1;
            }
        },
        "Class");
}

void VIF::ReportRuntimeError(const char* procName, const char* subName) {
    RuntimeError error{5, "VIF", "Unknown error"};
    try {
        throw;
    } catch (const std::bad_alloc&) {
        error = RuntimeError{7, "VIF", "Out of memory"};
    } catch (const std::exception& e) {
        error.Description = e.what();
    } catch (...) {
    }
    General::RootDebugInstance().LogRuntimeError("VIF", subName, procName, "", error);
}

void VIF::Pause(int ms) {
    Services::Sleeper().Sleep(std::chrono::milliseconds(ms));
}

void VIF::DropSession() {
    if (InstrumentHandle > 0) VIFviClose(InstrumentHandle);
    InstrumentHandle = 0;
}

std::int32_t VIF::GetHandle() const {
    auto trace = Trace("GetHandle");
    return InstrumentHandle;
}

bool VIF::VISAFound() const {
    return VISAFound_;
}

bool VIF::InstOpen() const {
    return InstrumentHandle >= 1;
}

void VIF::CloseIfError(bool Value) {
    CloseIfError_ = Value;
}

bool VIF::CloseIfError() const {
    return CloseIfError_;
}

void VIF::ConfigErrorProcessor(bool AlwaysReadError, bool ErrorBreakCommand) {
    return Guarded("ConfigErrorProcessor", [&] {
        AutoPollErrors = AlwaysReadError;
        FailOnSCPIError = ErrorBreakCommand;
    });
}

void VIF::ConfigDebugMode(std::int32_t Mode, bool TimeStamp, const std::string& File,
                          std::int32_t FullLimit) {
    return Guarded("ConfigDebugMode", [&] {
        DebugLevel = Mode;
        UseTimeStamp = TimeStamp;
        DebugMaxBuffer = FullLimit;
        if (!File.empty()) DebugFile = File;
    });
}

bool VIF::OpenDevice(const std::string& ResString, bool ClearErrorQuery, bool Reset,
                     std::int32_t TimeOut, bool UseSTBSeq) {
    return Guarded("OpenDevice", [&] {
        // A session still open from an earlier call is closed, not abandoned.
        DropSession();
        if (!VISAFound_) return false;
        if (RMHandle == -1) {
            std::int32_t rm = -1;
            VIFviOpenDefaultRM(rm);
            RMHandle = rm;
        }
        if (RMHandle <= 0) return false;

        std::int32_t vi = 0;
        std::int32_t status = VIFviOpen(RMHandle, ResString, VI_NO_LOCK, TimeOut, vi);
        if (status < 0) return false;
        InstrumentHandle = vi;
        if (vi <= 0) {
            // A session number beyond the 32-bit range the handle can carry.
            VIFviClose(vi);
            InstrumentHandle = 0;
            return false;
        }
        if (VIFviClear(InstrumentHandle) < 0) {
            DropSession();
            return false;
        }
        if (UseSTBSeq) {
            std::uint16_t stb = 0;
            if (VIFviReadSTB(InstrumentHandle, stb) < 0) {
                DropSession();
                return false;
            }
        }
        if (Reset) WriteString("*RST;*CLS", 0);
        if (ClearErrorQuery) {
            std::string drained;
            PollErrors(drained, "SYST:ERR?", false);
        }
        return true;
    });
}

bool VIF::Finish(bool result) {
    if (AutoPollErrors) {
        std::string errors;
        if (PollErrors(errors, "SYST:ERR?", true) && FailOnSCPIError) result = false;
    }
    emit VIFCommandExecuted(LastCommand, result);
    return result;
}

bool VIF::WriteString(const std::string& Command, std::int32_t SyncMethod) {
    return Guarded("WriteString", [&] {
        // A handle of 0 (closed after a failure) still goes to VISA, which
        // refuses it: the command fails visibly instead of vanishing.
        if (!VISAFound_ || InstrumentHandle < 0) return false;
        LastCommand = Command;
        std::string text = Command;
        std::int32_t count = 0;
        if (SyncMethod == 1) {
            text += ";*WAI";
        } else if (SyncMethod == 2) {
            VIFviWrite(InstrumentHandle, "*CLS", 4, count);
            text += ";*OPC";
        }
        std::int32_t status =
            VIFviWrite(InstrumentHandle, text, static_cast<std::int32_t>(text.size()), count);
        if (SyncMethod == 2) WaitSRQ();
        bool result = status >= 0;
        if (!result && CloseIfError_) DropSession();
        return Finish(result);
    });
}

// A blank query sends nothing: the read then takes what an earlier command
// left in the instrument's output buffer.
std::int32_t VIF::SendQuery(const std::string& Command, std::int32_t& count) {
    if (Command.find_first_not_of(' ') == std::string::npos) return 0;
    return VIFviWrite(InstrumentHandle, Command, static_cast<std::int32_t>(Command.size()), count);
}

bool VIF::ReadString(const std::string& Command, std::string& Buffer, std::int32_t BLength) {
    return Guarded("ReadString", [&] {
        if (!Open() || BLength < 1) return false;
        LastCommand = Command;
        bool result = false;
        std::int32_t count = 0;
        std::int32_t status = SendQuery(Command, count);
        if (status >= 0) {
            Buffer.assign(static_cast<std::size_t>(BLength), ' ');
            status = VIFviRead(InstrumentHandle, Buffer, BLength, count);
            if (status >= 0) {
                Buffer = TrimAll(Buffer.substr(0, static_cast<std::size_t>(count)));
                result = true;
            }
        }
        if (!result && CloseIfError_) DropSession();
        return Finish(result);
    });
}

bool VIF::ReadStringLong(const std::string& Command, std::string& Buffer, std::int32_t BLength) {
    return Guarded("ReadStringLong", [&] {
        // A length below 1 would read nothing for ever.
        if (!Open() || BLength < 1) return false;
        LastCommand = Command;
        bool result = false;
        std::int32_t count = 0;
        std::int32_t status = SendQuery(Command, count);
        if (status >= 0) {
            std::string piece(static_cast<std::size_t>(BLength), ' ');
            status = VIFviRead(InstrumentHandle, piece, BLength, count);
            if (status >= 0) {
                std::string answer = piece.substr(0, static_cast<std::size_t>(count));
                result = true;
                // Read on only while the answer goes on: a read after its end would
                // wait out the time-out and leave the instrument an unterminated
                // query error.
                while (count == BLength && status == VI_SUCCESS_MAX_CNT) {
                    if (static_cast<std::int64_t>(answer.size()) >= MaxLongAnswer) {
                        result = false; // an answer without end is not an answer
                        break;
                    }
                    piece.assign(static_cast<std::size_t>(BLength), ' ');
                    status = VIFviRead(InstrumentHandle, piece, BLength, count);
                    answer.append(piece, 0, static_cast<std::size_t>(std::max(count, 0)));
                }
                Buffer = std::move(answer);
            }
        }
        return Finish(result);
    });
}

bool VIF::ReadFloat(const std::string& Command, double& Buffer) {
    return Guarded("ReadFloat", [&] {
        std::string answer;
        if (!ReadString(Command, answer, 100)) return false;
        std::optional<double> value = StringOp::LeadingNumber(answer);
        if (!value) return false; // a number beyond the range of a double
        Buffer = *value;
        return true;
    });
}

bool VIF::PollErrors(std::string& ErrorText, const std::string& ECommand, bool RaiseE) {
    return Guarded("PollErrors", [&] {
        ErrorText.clear();
        bool result = false;
        if (!Open()) return false;
        // Bounded, so that an instrument that never answers "no error" cannot
        // hold the program.
        for (int answers = 0; answers < MaxErrorAnswers; ++answers) {
            std::int32_t count = 0;
            if (VIFviWrite(InstrumentHandle, ECommand, static_cast<std::int32_t>(ECommand.size()),
                           count) != 0) {
                result = true;
                break;
            }
            std::string buffer(1000, ' ');
            if (VIFviRead(InstrumentHandle, buffer, 1000, count) < 0) {
                result = true;
                break;
            }
            std::string answer = TrimAll(buffer.substr(0, static_cast<std::size_t>(count)));
            std::size_t comma = answer.find(',');
            // An answer without a code is no entry of the error queue.
            if (comma == std::string::npos) break;
            std::optional<std::int32_t> code = LeadingCode(answer.substr(0, comma));
            if (code && *code == 0) break;
            ErrorText += answer + "\r\n";
            result = true;
        }
        if (!ErrorText.empty()) {
            ErrorText.erase(ErrorText.size() - 2);
            LastErrors = ErrorText;
            ErrorCommand = LastCommand;
            if (RaiseE) emit VIFSCPIError(ErrorCommand, LastErrors);
        }
        return result;
    });
}

void VIF::SetRENState(std::int32_t State) {
    return Guarded("RENState", [&] {
        if (InstrumentHandle >= 1)
            VIFviGpibControlREN(InstrumentHandle, static_cast<std::uint16_t>(State));
    });
}

void VIF::PrepareSRQ() {
    return Guarded("PrepareSRQ", [&] {
        if (InstrumentHandle < 1) return;
        std::int32_t count = 0;
        VIFviWrite(InstrumentHandle, "*CLS\n", 5, count);
        VIFviWrite(InstrumentHandle, "*ESE 1\n", 7, count);
        VIFviWrite(InstrumentHandle, "*SRE 32\n", 8, count);
    });
}

void VIF::WaitSRQ() {
    return Guarded("WaitSRQ", [&] {
        if (InstrumentHandle < 1) return;
        // Bounded by the session's time-out, by a status read that fails and by
        // the run's abort flag.
        std::int32_t timeout = 2000;
        VIFviGetAttribute(InstrumentHandle, kAttrTimeOut, timeout);
        const bool endless = static_cast<std::uint32_t>(timeout) == VI_TMO_INFINITE;
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<std::uint32_t>(timeout));
        std::uint16_t stb = 0;
        if (VIFviReadSTB(InstrumentHandle, stb) < 0) return;
        std::uint16_t reads = 0;
        for (;;) {
            if (General::MeasureRunAbort) return;
            if (VIFviReadSTB(InstrumentHandle, stb) < 0 || stb != 0) return;
            if (!endless && std::chrono::steady_clock::now() >= until) return;
            if (++reads == 100) {
                QCoreApplication::processEvents();
                reads = 0;
            }
        }
    });
}

void VIF::ClearDevice() {
    return Guarded("ClearDevice", [&] {
        if (!Open()) return;
        VIFviClear(InstrumentHandle);
        Pause(100);
        WriteString("*CLS", 0);
    });
}
