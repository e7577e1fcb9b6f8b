#pragma once
// One instrument session: SCPI text writes and reads, error-queue polling,
// service requests, binary block and file transfers, and the per-instrument
// command log. Every VISA call goes through a logged wrapper.
//
// No operation throws: results are Booleans (or nothing), failures are also
// reported through the signals and the command log. The object lives on the
// UI thread; WaitSRQ (and so WriteString with sync mode 2) lets pending
// events run while it waits, and every VISA transfer lets the remote
// control's polls be answered (PollAnswers), so that a slow instrument does
// not keep a test program waiting.
//
// Created where the library is missing, the object does nothing and tells
// its listeners with VIFVIFError("", "VISA DLL could not be found.") once the
// event loop runs (nobody can listen while it is being built).

#include "RootDebug.h"
#include "visa/visa.h"

#include <QObject>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

struct VIFTestPeer;

// Whether the instrument I/O library can be used at all. The library is linked
// in, so this is whether it hands out a resource manager; tests force an
// answer to play a machine without it.
namespace VisaLibrary {
bool Present();
// nullopt goes back to asking the library.
void OverridePresent(std::optional<bool> present);
} // namespace VisaLibrary

class VIF : public QObject {
    Q_OBJECT

public:
    explicit VIF(QObject* parent = nullptr);
    ~VIF() override;
    VIF(const VIF&) = delete;
    VIF& operator=(const VIF&) = delete;

    // The instrument session: -1 never opened, 0 closed after a failure, 1 or
    // more open.
    std::int32_t GetHandle() const;
    bool OpenDevice(const std::string& ResString, bool ClearErrorQuery = true, bool Reset = false,
                    std::int32_t TimeOut = 1000, bool UseSTBSeq = false);

    bool WriteByteArrayHeader(const std::string& Prefix);
    bool WriteByteArrayEnd(const std::string& Postfix);
    bool WriteByteArray(const std::string& Prefix, const std::vector<std::uint8_t>& ByteField,
                        const std::string& Postfix, std::int32_t BlockLength = 4096);
    bool WriteFileToInstrument(const std::string& Prefix, const std::string& FileName,
                               const std::string& Postfix);
    bool ReadAnswerFromInstrument(const std::string& Command, const std::string& FileName,
                                  std::int32_t BufferLen = 1000000);
    bool ReadFileFromInstrument(const std::string& Command, const std::string& FileName,
                                std::int32_t TimeOut = -1);
    // The values are single precision; the double overloads hold them widened.
    bool ReadFloatArray(const std::string& Command, std::vector<float>& FloatArr);
    bool ReadFloatArray(const std::string& Command, std::vector<double>& FloatArr);
    // ExpectedSize (pairs) -1 leaves the session's time-out as it is; a size
    // only ever lengthens it. I and Q are emptied first, so a failed read
    // leaves them empty.
    bool ReadIQArray(const std::string& Command, std::vector<float>& I, std::vector<float>& Q,
                     std::int32_t IQMaxBlockSize, std::int32_t TransBlockSize,
                     std::int32_t ExpectedSize = -1);
    bool ReadIQArray(const std::string& Command, std::vector<double>& I, std::vector<double>& Q,
                     std::int32_t IQMaxBlockSize, std::int32_t TransBlockSize,
                     std::int32_t ExpectedSize = -1);

    bool ReadString(const std::string& Command, std::string& Buffer, std::int32_t BLength = 1000);
    bool ReadStringLong(const std::string& Command, std::string& Buffer,
                        std::int32_t BLength = 1000);
    bool ReadFloat(const std::string& Command, double& Buffer);
    // SyncMethod 1 appends ";*WAI"; 2 sends "*CLS" first, appends ";*OPC" and
    // waits for the service request; anything else sends the command as it is.
    bool WriteString(const std::string& Command, std::int32_t SyncMethod = 0);
    bool PollErrors(std::string& ErrorText, const std::string& ECommand = "SYST:ERR?",
                    bool RaiseE = true);
    void SetRENState(std::int32_t State);
    void PrepareSRQ();
    void WaitSRQ();
    void ClearDevice();

    bool VISAFound() const;
    bool InstOpen() const;
    void CloseIfError(bool Value);
    bool CloseIfError() const;

    void ConfigErrorProcessor(bool AlwaysReadError, bool ErrorBreakCommand = false);
    void ConfigDebugMode(std::int32_t Mode, bool UseTimeStamp = false, const std::string& File = {},
                         std::int32_t FullLimit = 100);

    // Sends the bytes in chunks of MaxBufLen through a temporary file. True
    // when every chunk was handed over (an empty buffer sends nothing).
    bool WriteByteBlock(const std::vector<std::uint8_t>& Buffer, std::int32_t MaxBufLen = 4096);

    std::int32_t VIFviSetAttribute(std::int32_t objectHandle, std::int32_t attributeName,
                                   std::int32_t attributeValue);

    // Most bytes ReadStringLong gathers for one answer.
    static constexpr std::int64_t MaxLongAnswer = 16 * 1024 * 1024;
    // Largest float or I/Q block accepted, in bytes.
    static constexpr std::int64_t MaxBlockBytes = 256 * 1024 * 1024;
    // Most answers one PollErrors reads.
    static constexpr int MaxErrorAnswers = 100;

signals:
    void VIFSCPIError(const std::string& Command, const std::string& Error);
    void VIFCommandExecuted(const std::string& Command, bool Success);
    void VIFVIFError(const std::string& Command, const std::string& Error);
    void VIFInformation(const std::string& Message);
    void VIFProgress(float InPercent);

private:
    friend struct VIFTestPeer;

    // Every procedure traces itself on the program's diagnostics object.
    static RootDebug::Scope Trace(const char* procName, const char* subName = "") {
        return RootDebug::Scope(General::RootDebugInstance(), "VIF", subName, procName);
    }
    // Runs the body of a public operation: a run-time error in it is reported
    // to the diagnostics object and the operation gives False (or nothing)
    // instead of passing the error to its caller.
    template <typename F> auto Guarded(const char* procName, F&& body, const char* subName = "") {
        auto trace = Trace(procName, subName);
        using R = decltype(body());
        try {
            return body();
        } catch (...) {
            ReportRuntimeError(procName, subName);
            if constexpr (!std::is_void_v<R>) return R{};
        }
    }
    static void ReportRuntimeError(const char* procName, const char* subName);

    bool Open() const { return VISAFound_ && InstrumentHandle >= 1; }
    // Marks the session closed after a failure, closing the VISA session so
    // that it is not left behind.
    void DropSession();
    // Common tail of the text and block reads: the automatic error poll and
    // the executed event.
    bool Finish(bool result);
    std::int32_t SendQuery(const std::string& Command, std::int32_t& count);
    void Pause(int ms);

    // Block transfers
    template <typename T>
    bool ReadFloatArrayT(const std::string& Command, std::vector<T>& FloatArr);
    template <typename T>
    bool ReadIQArrayT(const std::string& Command, std::vector<T>& I, std::vector<T>& Q,
                      std::int32_t IQMaxBlockSize, std::int32_t TransBlockSize,
                      std::int32_t ExpectedSize);
    template <typename T> bool IntReadFloatArray(std::vector<T>& FloatArr);
    template <typename T>
    bool IntReadIQArray(std::vector<T>& I, std::vector<T>& Q, std::int32_t B, std::int32_t C);
    // The next n values of the open block file into `target` from index p.
    template <typename T>
    bool IntReadIQBlock(std::FILE* file, std::size_t n, std::size_t p, std::vector<T>& target);
    // Reads the "#<n><length>" header of a definite-length block (nothing is
    // raised here).
    enum class HeaderFault { None, Read, NoHash, Length };
    HeaderFault ReadBlockHeader(std::int64_t& length);
    // Raises VIFVIFError and returns false when `length` cannot be a block of
    // `elementSize`-byte values.
    bool CheckBlockLength(const std::string& command, std::int64_t length, int elementSize);
    void VIFAttrChange(std::uint32_t attribute, int mode, std::int32_t value = 0);
    std::string TempFileName();

    // Logged VISA wrappers
    std::int32_t VIFviOpenDefaultRM(std::int32_t& rm);
    std::int32_t VIFviOpen(std::int32_t rm, const std::string& name, std::int32_t mode,
                           std::int32_t timeout, std::int32_t& vi);
    std::int32_t VIFviReadSTB(std::int32_t vi, std::uint16_t& status);
    std::int32_t VIFviWrite(std::int32_t vi, const std::string& buffer, std::int32_t count,
                            std::int32_t& retCount);
    std::int32_t VIFviWriteFromFile(std::int32_t vi, const std::string& fileName,
                                    std::int64_t count, std::int32_t& retCount);
    std::int32_t VIFviReadToFile(std::int32_t vi, const std::string& fileName, std::int64_t count,
                                 std::int32_t& retCount);
    std::int32_t VIFviRead(std::int32_t vi, std::string& buffer, std::int32_t count,
                           std::int32_t& retCount);
    std::int32_t VIFviBufRead(std::int32_t vi, std::string& buffer, std::int32_t count,
                              std::int32_t& retCount);
    std::int32_t VIFviGetAttribute(std::int32_t vi, std::int32_t attribute, std::int32_t& value);
    std::int32_t VIFviClear(std::int32_t vi);
    std::int32_t VIFviGpibControlREN(std::int32_t vi, std::uint16_t mode);
    std::int32_t VIFviClose(std::int32_t vi);
    using FileTransfer = ViStatus (*)(ViSession, ViConstString, ViUInt32, ViUInt32*);
    std::int32_t FileCall(const char* name, FileTransfer call, std::int32_t vi,
                          const std::string& fileName, std::int64_t count, std::int32_t& retCount);
    std::int32_t ReadCommon(const char* name, std::int32_t vi, std::string& buffer,
                            std::int32_t count, std::int32_t& retCount);
    void LogFailure(std::int32_t status);

    // Command log
    void StoreDebug(const std::string& text);
    void StoreDebugBuffer(const std::string& buffer, std::int32_t length);
    static std::string DebugBufferPrintable(char character, const std::string& replacement);
    static std::string DecodeVISAError(std::int32_t status);
    static std::string TrimAll(const std::string& text);
    static bool IsEmptyChar(const std::string& text);

    bool VISAFound_ = false;
    std::int32_t RMHandle = -1;
    std::int32_t InstrumentHandle = -1;
    bool AutoPollErrors = false;
    bool FailOnSCPIError = false;
    bool CloseIfError_ = false;
    std::string LastErrors;
    std::string ErrorCommand;
    std::string LastCommand;
    std::int32_t DebugLevel = 0;
    std::string DebugFile;
    bool UseTimeStamp = false;
    std::int32_t DebugMaxBuffer = 0;

    std::int32_t IQTransferRate = 20000;
    std::int32_t SavedTimeOut = 0;
    std::int32_t SavedReaddressing = 0;
    std::int32_t SavedUnaddressing = 0;
    std::int32_t SavedSendEnd = 0;
    // A saved value exists only when its read succeeded; restoring without one
    // would write back a stale or invented value.
    bool HaveTimeOut = false, HaveReaddressing = false, HaveUnaddressing = false,
         HaveSendEnd = false;
    std::string TransferFile;
};
