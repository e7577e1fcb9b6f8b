// The logged VISA call layer of VIF and its command log.

#include "FileCloser.h"
#include "INIIO.h"
#include "NumberText.h"
#include "PollAnswers.h"
#include "Services.h"
#include "StringOp.h"
#include "VIF.h"
#include "visa/visa.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

std::string Dec(std::int64_t value) {
    return INIIO::TrimStr(value);
}

// Upper-case hex digits without leading zeros.
std::string Hex(std::uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return out;
}

std::string Hex32(std::int32_t value) {
    return Hex(static_cast<std::uint32_t>(value));
}

std::string Address(const void* p) {
    return Hex(reinterpret_cast<std::uintptr_t>(p));
}

ViSession Session(std::int32_t vi) {
    return static_cast<ViSession>(vi);
}

// The VISA calls take 32-bit counts; larger requests are clipped rather than
// wrapped into small ones.
ViUInt32 Count(std::int64_t count) {
    return static_cast<ViUInt32>(std::clamp<std::int64_t>(count, 0, 0xFFFFFFFF));
}

struct VisaText {
    std::uint32_t code;
    const char* text;
};

// Texts of the VISA status codes (the dash of 0xBFFF0078 is the 8-bit code
// page's em dash).
constexpr VisaText kVisaErrors[] = {
    {0xBFFF0000u, "Unknown system error (miscellaneouserror)."},
    {0xBFFF000Eu, "The given session or object reference is invalid."},
    {0xBFFF000Fu, " Specified type of lock cannot be obtained or specified operation cannot be "
                  "performed, because the resource is locked."},
    {0xBFFF0010u, "Invalid expression specified for search."},
    {0xBFFF0011u,
     "Insufficient location information or the device or resource is not present in the system."},
    {0xBFFF0012u, "Invalid resource reference specified. Parsing error."},
    {0xBFFF0013u, "Invalid access mode."},
    {0xBFFF0015u, "Timeout expired before operation completed."},
    {0xBFFF0016u, "Unable to deallocate the previously allocated data structures corresponding to "
                  "this session or object reference."},
    {0xBFFF001Bu, "Specified degree is invalid."},
    {0xBFFF001Cu, "Specified job identifier is invalid."},
    {0xBFFF001Du, "The specified attribute is not defined or supported by the referenced session, "
                  "event, or find list."},
    {0xBFFF001Eu, "The specified state of the attribute is not valid, or is not supported as "
                  "defined by the session, event, or find list."},
    {0xBFFF001Fu, "The specified attribute is Read Only."},
    {0xBFFF0020u, "The specified type of lock is not supported by this resource."},
    {0xBFFF0021u, "The access key to the resource associated with this session is invalid."},
    {0xBFFF0026u, "Specified event type is not supported by the resource."},
    {0xBFFF0027u, "Invalid mechanism specified."},
    {0xBFFF0028u, "A handler is not currently installed for the specified event."},
    {0xBFFF0029u, "The given handler reference is invalid."},
    {0xBFFF002Au, "Specified event context is invalid."},
    {0xBFFF002Fu,
     "The session must be enabled for events of the specified type in order to receive them."},
    {0xBFFF0030u, "The operation was aborted."},
    {0xBFFF0034u, "Violation of raw write protocol occurred during transfer."},
    {0xBFFF0035u, "Violation of raw read protocol occurred during transfer."},
    {0xBFFF0036u, "Device reported an output protocol error during transfer."},
    {0xBFFF0037u, "Device reported an input protocol error during transfer."},
    {0xBFFF0038u, "Bus error occurred during transfer."},
    {0xBFFF003Au, "Unable to start operation because setup is invalid (due to attributes being set "
                  "to an inconsistent state)."},
    {0xBFFF003Bu, "Unable to queue asynchronous operation."},
    {0xBFFF003Cu, "Insufficient system resources to perform necessary memory allocation."},
    {0xBFFF003Du, "Invalid buffer mask specified."},
    {0xBFFF003Eu, "Could not perform operation because of I/O error."},
    {0xBFFF003Fu, "A format specifier in the format string is invalid."},
    {0xBFFF0041u, "A format specifier in the format string is not supported."},
    {0xBFFF0042u, "The specified trigger line is currently in use."},
    {0xBFFF0046u, "The specified mode is not supported by this VISA implementation."},
    {0xBFFF004Au, "Service request has not been received for the session."},
    {0xBFFF004Eu, "Invalid address space specified."},
    {0xBFFF0051u, "Invalid offset specified."},
    {0xBFFF0052u, "Invalid source or destination width specified."},
    {0xBFFF0054u, "Specified offset is not accessible from this hardware."},
    {0xBFFF0055u, "Cannot support source and destination widths that are different."},
    {0xBFFF0057u, "The specified session is not currently mapped."},
    {0xBFFF0059u, "A previous response is still pending, causing a multiple query error."},
    {0xBFFF005Fu, "No Listeners condition is detected (both NRFD and NDAC are deasserted)."},
    {0xBFFF0060u,
     "The interface associated with this session is not currently the controller in charge."},
    {0xBFFF0061u, "The interface associated with this session is not the system controller."},
    {0xBFFF0067u, "The given session or object reference does not support this operation."},
    {0xBFFF0068u, "An interrupt is still pending from a previous call."},
    {0xBFFF006Au, "A parity error occurred during transfer."},
    {0xBFFF006Bu, "A framing error occurred during transfer."},
    {0xBFFF006Cu, "An overrun error occurred during transfer. A character was not read from the "
                  "hardware before the next character arrived."},
    {0xBFFF006Eu, "The path from trigSrc to trigDest is not currently mapped."},
    {0xBFFF0070u,
     "The specified offset is not properly aligned for the access width of the operation."},
    {0xBFFF0071u,
     "A specified user buffer is not valid or cannot be accessed for the required size."},
    {0xBFFF0072u, "The resource is valid, but VISA cannot currently access it."},
    {0xBFFF0076u, "Specified width is not supported by this hardware."},
    {0xBFFF0078u, "The value of some parameter\x97which parameter is not known\x97is invalid."},
    {0xBFFF0079u, "The protocol specified is invalid."},
    {0xBFFF007Bu, "Invalid size of window specified."},
    {0xBFFF0080u, "The specified session currently contains a mapped window."},
    {0xBFFF0081u, "The given operation is not implemented."},
    {0xBFFF0083u, "Invalid length specified."},
    {0xBFFF0091u, "The specified mode is invalid."},
    {0xBFFF009Cu, "The current session did not have any lock on the resource."},
    {0xBFFF009Du, "The device does not export any memory."},
    {0xBFFF009Eu, "A code library required by VISA could not be located or loaded."},
    {0xBFFF009Fu, "The interface cannot generate an interrupt on the requested level or with the "
                  "requested statusID value."},
    {0xBFFF00A0u, "The value specified by the line parameter is invalid."},
    {0xBFFF00A1u, "An error occurred while trying to open the specified file. Possible reasons "
                  "include an invalid path or lack of access rights."},
    {0xBFFF00A2u, "An error occurred while performing I/O on the specified file."},
    {0xBFFF00A3u, "One of the specified lines (trigSrc or trigDest) is not supported by this VISA "
                  "implementation, or the combination of lines is not a valid mapping."},
    {0xBFFF00A4u, "The specified mechanism is not supported by the given event type."},
    {0xBFFF00A5u,
     "The interface type is valid but the specified interface number is not configured."},
    {0xBFFF00A6u, "The connection for the given session has been lost."},
    {0xBFFF00A7u, "The remote machine does not exist or is not accepting any connections."},
    {0xBFFF00A8u, "Access to the remote machine is denied."},
};

} // namespace

void VIF::LogFailure(std::int32_t status) {
    if (status < 0 && DebugLevel > 0)
        StoreDebug("!!>> 0x" + Hex32(status) + ": " + DecodeVISAError(status));
    if (DebugLevel > 1) StoreDebug("");
}

std::int32_t VIF::VIFviOpenDefaultRM(std::int32_t& rm) {
    auto trace = Trace("VIFviOpenDefaultRM");
    if (DebugLevel > 1) StoreDebug("  viOpenDefaultRM(0x" + Address(&rm) + ")");
    ViSession session = VI_NULL;
    std::int32_t status = viOpenDefaultRM(&session);
    rm = static_cast<std::int32_t>(session);
    if (DebugLevel > 1) StoreDebug("  >> rsrcManagerHandle: " + Dec(rm));
    LogFailure(status);
    return status;
}

std::int32_t VIF::VIFviOpen(std::int32_t rm, const std::string& name, std::int32_t mode,
                            std::int32_t timeout, std::int32_t& vi) {
    auto trace = Trace("VIFviOpen");
    if (DebugLevel > 1)
        StoreDebug("  viOpen(" + Dec(rm) + ",\"" + name + "\"," + Dec(mode) + "," + Dec(timeout) +
                   ",0x" + Address(&vi) + ")");
    ViSession session = VI_NULL;
    std::int32_t status = viOpen(Session(rm), name.c_str(), static_cast<ViAccessMode>(mode),
                                 static_cast<ViUInt32>(timeout), &session);
    vi = static_cast<std::int32_t>(session);
    if (DebugLevel > 1) StoreDebug("  >> instrumentHandle: " + Dec(vi));
    LogFailure(status);
    return status;
}

std::int32_t VIF::VIFviReadSTB(std::int32_t vi, std::uint16_t& status) {
    auto trace = Trace("VIFviReadSTB");
    if (DebugLevel > 1) StoreDebug("  viReadSTB(" + Dec(vi) + ",0x" + Address(&status) + ")");
    std::int32_t result = viReadSTB(Session(vi), &status);
    PollAnswers::Answer();
    if (DebugLevel > 1) StoreDebug("  >> statusByte: " + Dec(status));
    LogFailure(result);
    return result;
}

std::int32_t VIF::VIFviWrite(std::int32_t vi, const std::string& buffer, std::int32_t count,
                             std::int32_t& retCount) {
    auto trace = Trace("VIFviWrite");
    if (DebugLevel > 1)
        StoreDebug("  viWrite(" + Dec(vi) + ",<BUFFER>," + Dec(count) + ",0x" + Address(&retCount) +
                   ")");
    ViUInt32 sent = 0;
    ViUInt32 n = std::min<ViUInt32>(Count(count), static_cast<ViUInt32>(buffer.size()));
    std::int32_t status =
        viWrite(Session(vi), reinterpret_cast<ViConstBuf>(buffer.data()), n, &sent);
    PollAnswers::Answer();
    retCount = static_cast<std::int32_t>(sent);
    if (DebugLevel > 1) {
        StoreDebug("  >> returnCount: " + Dec(retCount));
        StoreDebug("  >> Buffer Content");
        StoreDebugBuffer(buffer, retCount);
    }
    LogFailure(status);
    return status;
}

std::int32_t VIF::VIFviWriteFromFile(std::int32_t vi, const std::string& fileName,
                                     std::int64_t count, std::int32_t& retCount) {
    return FileCall("VIFviWriteFromFile", viWriteFromFile, vi, fileName, count, retCount);
}

std::int32_t VIF::VIFviReadToFile(std::int32_t vi, const std::string& fileName, std::int64_t count,
                                  std::int32_t& retCount) {
    return FileCall("VIFviReadToFile", viReadToFile, vi, fileName, count, retCount);
}

// The file transfers log alike; `name` is the wrapper's own name, whose VISA
// call is the name without its "VIF" prefix.
std::int32_t VIF::FileCall(const char* name, FileTransfer call, std::int32_t vi,
                           const std::string& fileName, std::int64_t count,
                           std::int32_t& retCount) {
    auto trace = Trace(name);
    if (DebugLevel > 1)
        StoreDebug(std::string("  ") + (name + 3) + "(" + Dec(vi) + "," + fileName + "," +
                   Dec(count) + ",0x" + Address(&retCount) + ")");
    ViUInt32 moved = 0;
    std::int32_t status = call(Session(vi), fileName.c_str(), Count(count), &moved);
    PollAnswers::Answer();
    retCount = static_cast<std::int32_t>(moved);
    if (DebugLevel > 1) StoreDebug("  >> returnCount: " + Dec(retCount));
    LogFailure(status);
    return status;
}

std::int32_t VIF::ReadCommon(const char* name, std::int32_t vi, std::string& buffer,
                             std::int32_t count, std::int32_t& retCount) {
    if (DebugLevel > 1)
        StoreDebug(std::string("  ") + name + "(" + Dec(vi) + ",0x" + Address(buffer.data()) + "," +
                   Dec(count) + ",0x" + Address(&retCount) + ")");
    // Never more than the buffer holds.
    ViUInt32 n = std::min<ViUInt32>(Count(count), static_cast<ViUInt32>(buffer.size()));
    ViUInt32 got = 0;
    ViBuf data = reinterpret_cast<ViBuf>(buffer.data());
    std::int32_t status = std::string_view(name) == "viRead"
                              ? viRead(Session(vi), data, n, &got)
                              : viBufRead(Session(vi), data, n, &got);
    PollAnswers::Answer();
    retCount = static_cast<std::int32_t>(got);
    if (DebugLevel > 1) {
        StoreDebug("  >> returnCount: " + Dec(retCount));
        StoreDebug("  >> Buffer Content");
        StoreDebugBuffer(buffer, retCount);
    }
    LogFailure(status);
    return status;
}

std::int32_t VIF::VIFviRead(std::int32_t vi, std::string& buffer, std::int32_t count,
                            std::int32_t& retCount) {
    auto trace = Trace("VIFviRead");
    return ReadCommon("viRead", vi, buffer, count, retCount);
}

std::int32_t VIF::VIFviBufRead(std::int32_t vi, std::string& buffer, std::int32_t count,
                               std::int32_t& retCount) {
    auto trace = Trace("VIFviBufRead");
    return ReadCommon("VIFviBufRead", vi, buffer, count, retCount);
}

std::int32_t VIF::VIFviGetAttribute(std::int32_t vi, std::int32_t attribute, std::int32_t& value) {
    auto trace = Trace("VIFviGetAttribute");
    if (DebugLevel > 1)
        StoreDebug("  viGetAttribute(" + Dec(vi) + "," + Dec(attribute) + "," + Address(&value) +
                   ")");
    ViInt32 v = 0;
    std::int32_t status = viGetAttribute(Session(vi), static_cast<ViAttr>(attribute), &v);
    if (status >= 0) value = v;
    if (DebugLevel > 1) StoreDebug("  >> attributeValue: " + Dec(value));
    LogFailure(status);
    return status;
}

std::int32_t VIF::VIFviSetAttribute(std::int32_t objectHandle, std::int32_t attributeName,
                                    std::int32_t attributeValue) {
    return Guarded("VIFviSetAttribute", [&] {
        if (DebugLevel > 1)
            StoreDebug("  viSetAttribute(" + Dec(objectHandle) + "," + Dec(attributeName) + "," +
                       Dec(attributeValue) + ")");
        // A 32-bit value as VISA takes it: -1 is the infinite time-out.
        std::int32_t status =
            viSetAttribute(static_cast<ViObject>(objectHandle), static_cast<ViAttr>(attributeName),
                           static_cast<ViAttrState>(static_cast<std::uint32_t>(attributeValue)));
        LogFailure(status);
        return status;
    });
}

std::int32_t VIF::VIFviClear(std::int32_t vi) {
    auto trace = Trace("VIFviClear");
    if (DebugLevel > 1) StoreDebug("  viClear(" + Dec(vi) + ")");
    std::int32_t status = viClear(Session(vi));
    LogFailure(status);
    return status;
}

std::int32_t VIF::VIFviGpibControlREN(std::int32_t vi, std::uint16_t mode) {
    auto trace = Trace("VIFviGpibControlREN");
    // The remote-enable line is never logged.
    return viGpibControlREN(Session(vi), mode);
}

std::int32_t VIF::VIFviClose(std::int32_t vi) {
    auto trace = Trace("VIFviClose");
    if (DebugLevel > 1) StoreDebug("  viClose(" + Dec(vi) + ")");
    std::int32_t status = viClose(Session(vi));
    LogFailure(status);
    return status;
}

void VIF::StoreDebug(const std::string& text) {
    auto trace = Trace("StoreDebug");
    if (DebugFile.empty()) return;
    // Opened and closed per line, so the log survives a crash of the program.
    FileHandle file(std::fopen(DebugFile.c_str(), "ab"));
    if (!file) return;
    std::string line;
    if (UseTimeStamp) {
        const QDateTime now = Services::Clock().Now();
        std::tm local{};
        local.tm_year = now.date().year() - 1900;
        local.tm_mon = now.date().month() - 1;
        local.tm_mday = now.date().day();
        local.tm_hour = now.time().hour();
        local.tm_min = now.time().minute();
        local.tm_sec = now.time().second();
        line = NumberText::FormatDateTime(local, "yyyy-mm-dd;hh:nn:ss") + ":";
    }
    line += text;
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), file.get());
}

void VIF::StoreDebugBuffer(const std::string& buffer, std::int32_t length) {
    auto trace = Trace("StoreDebugBuffer");
    std::int64_t n = length == -1 ? static_cast<std::int64_t>(buffer.size()) : length;
    if (DebugLevel != 3) n = std::min<std::int64_t>(n, DebugMaxBuffer);
    std::string hexPart, charPart;
    for (std::int64_t i = 0; i < n; ++i) {
        char c = i < static_cast<std::int64_t>(buffer.size()) ? buffer[static_cast<std::size_t>(i)]
                                                              : ' ';
        if (i % 16 == 0) {
            hexPart = StringOp::PadString(Hex(static_cast<std::uint64_t>(i)), 8, 1, "0") + ":  ";
            charPart.clear();
        }
        hexPart += StringOp::PadString(Hex(static_cast<unsigned char>(c)), 2, 1, "0") + " ";
        charPart += DebugBufferPrintable(c, ".");
        if (i % 16 == 15) {
            StoreDebug("  >>" + hexPart + " " + charPart);
            charPart.clear();
        }
    }
    if (!charPart.empty())
        StoreDebug("  >>" + StringOp::PadString(hexPart, 59, 0, " ") + " " + charPart);
}

std::string VIF::DebugBufferPrintable(char character, const std::string& replacement) {
    auto trace = Trace("DebugBufferPrintable");
    auto code = static_cast<unsigned char>(character);
    if (code < 32 || code == 127) return replacement;
    return std::string(1, character);
}

std::string VIF::DecodeVISAError(std::int32_t status) {
    auto trace = Trace("DecodeVISAError");
    auto code = static_cast<std::uint32_t>(status);
    for (const VisaText& entry : kVisaErrors)
        if (entry.code == code) return entry.text;
    return "Unknown VISA error (0x" + Hex32(status) + ")";
}

bool VIF::IsEmptyChar(const std::string& text) {
    auto trace = Trace("IsEmptyChar");
    return text == "\r" || text == "\n" || text == "\r\n" || text == "\t";
}

std::string VIF::TrimAll(const std::string& text) {
    auto trace = Trace("TrimAll");
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    std::string out = text.substr(first, text.find_last_not_of(' ') - first + 1);
    while (!out.empty() && IsEmptyChar(out.substr(out.size() - 1)))
        out.pop_back();
    while (!out.empty() && IsEmptyChar(out.substr(0, 1)))
        out.erase(0, 1);
    return out;
}
