// Bulk data of VIF: IEEE 488.2 definite-length blocks of bytes, floats and
// I/Q pairs, and whole files. All bulk data passes through files and the VISA
// file operations; the attributes a transfer changes are put back after it.

#include "FileCloser.h"
#include "INIIO.h"
#include "NumberText.h"
#include "StringOp.h"
#include "VIF.h"
#include "visa/visa.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::uint32_t kSendEnd = VI_ATTR_SEND_END_EN;
constexpr std::uint32_t kTimeOut = VI_ATTR_TMO_VALUE;
constexpr std::uint32_t kReaddressing = VI_ATTR_GPIB_READDR_EN;
constexpr std::uint32_t kUnaddressing = VI_ATTR_GPIB_UNADDR_EN;

constexpr int kSaveSet = 0;
constexpr int kRestore = 1;

std::int32_t Attr(std::uint32_t attribute) {
    return static_cast<std::int32_t>(attribute);
}

// Time-outs in ms from a real value: rounded half to even, kept in range.
std::int32_t Millis(double ms) {
    double r = NumberText::RoundHalfEven(ms);
    return static_cast<std::int32_t>(std::clamp(r, 0.0, 2147483647.0));
}

std::string Dec(std::int64_t value) {
    return INIIO::TrimStr(value);
}

// Closes a file descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }

private:
    int fd_;
};

// Removes a temporary file on every way out of a transfer.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) std::remove(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void RemoveIfExists(const std::string& name) {
    std::error_code ec;
    std::filesystem::remove(name, ec);
}

// Little-endian single-precision values, whatever the host's byte order.
template <typename T> void DecodeSingles(const unsigned char* bytes, std::size_t n, T* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const unsigned char* b = bytes + 4 * k;
        std::uint32_t word = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                             std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
        out[k] = static_cast<T>(std::bit_cast<float>(word));
    }
}

// Reads `n` singles from the file into `out`.
template <typename T>
bool ReadSingles(std::FILE* file, std::size_t n, T* out, std::vector<unsigned char>& scratch) {
    scratch.resize(4 * n);
    if (n > 0 && std::fread(scratch.data(), 1, scratch.size(), file) != scratch.size())
        return false;
    DecodeSingles(scratch.data(), n, out);
    return true;
}

// A new, empty transfer file in `folder` with a name nobody else holds.
std::string NewTransferFile(const std::filesystem::path& folder) {
    if (folder.empty()) return {};
    std::string pattern = (folder / "BIN_IOXXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return {};
    ::close(fd);
    return pattern;
}

bool WritableFolder(const char* path) {
    std::error_code ec;
    return path != nullptr && *path != '\0' && std::filesystem::is_directory(path, ec) &&
           ::access(path, W_OK | X_OK) == 0;
}

// Where outgoing pieces are staged: the folder the user named in TMPDIR, else
// a memory-backed one when the system has it (a piece goes through its file
// and straight out again, so a disk only slows it down), else the system's
// temporary folder. A staged file holds one piece, so memory is no concern.
std::filesystem::path StagingFolder() {
    std::error_code ec;
    const char* chosen = std::getenv("TMPDIR");
    if (chosen == nullptr || *chosen == '\0') {
        for (const char* memory :
             {static_cast<const char*>(std::getenv("XDG_RUNTIME_DIR")), "/dev/shm"})
            if (WritableFolder(memory)) return memory;
    }
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path() : folder;
}

// Puts `size` bytes at the start of the staged file. The file is not cut to
// the piece: the transfer names the count it sends, so a longer rest left by
// an earlier piece is never read, and the piece costs one write instead of a
// truncation, a write and a close.
bool Stage(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// How many length digits the second character of a block header announces:
// 1 to 9, else 0 ("#0", the indefinite length, has no length to read).
int LengthDigits(char count) {
    return count >= '1' && count <= '9' ? count - '0' : 0;
}

// The length the digits of a block header give; nullopt unless they are all
// decimal digits. At most nine of them, so the value always fits.
std::optional<std::int64_t> BlockLength(std::string_view digits) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::int64_t length = 0;
    for (const char c : digits)
        length = 10 * length + (c - '0');
    return length;
}

} // namespace

std::string VIF::TempFileName() {
    auto trace = Trace("TempFileName");
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    return NewTransferFile(folder);
}

void VIF::VIFAttrChange(std::uint32_t attribute, int mode, std::int32_t value) {
    auto trace = Trace("VIFAttrChange");
    if (!Open()) return;
    std::int32_t* saved = nullptr;
    bool* have = nullptr;
    switch (attribute) {
    case kTimeOut:
        saved = &SavedTimeOut;
        have = &HaveTimeOut;
        break;
    case kReaddressing:
        saved = &SavedReaddressing;
        have = &HaveReaddressing;
        break;
    case kUnaddressing:
        saved = &SavedUnaddressing;
        have = &HaveUnaddressing;
        break;
    case kSendEnd:
        saved = &SavedSendEnd;
        have = &HaveSendEnd;
        break;
    default:
        break;
    }
    if (mode == kSaveSet) {
        std::int32_t current = 0;
        std::int32_t status = VIFviGetAttribute(InstrumentHandle, Attr(attribute), current);
        VIFviSetAttribute(InstrumentHandle, Attr(attribute), value);
        if (saved != nullptr) {
            *have = status >= 0;
            if (*have) *saved = current;
        }
    } else if (mode == kRestore && saved != nullptr && *have) {
        VIFviSetAttribute(InstrumentHandle, Attr(attribute), *saved);
        *have = false;
    }
}

bool VIF::WriteByteArrayHeader(const std::string& Prefix) {
    return Guarded("WriteByteArrayHeader", [&] {
        if (!Open()) return false;
        VIFAttrChange(kSendEnd, kSaveSet, 0);
        std::int32_t count = 0;
        return VIFviWrite(InstrumentHandle, Prefix, static_cast<std::int32_t>(Prefix.size()),
                          count) >= 0;
    });
}

bool VIF::WriteByteArrayEnd(const std::string& Postfix) {
    return Guarded("WriteByteArrayEnd", [&] {
        if (!Open()) return false;
        VIFAttrChange(kSendEnd, kRestore);
        std::int32_t count = 0;
        return VIFviWrite(InstrumentHandle, Postfix, static_cast<std::int32_t>(Postfix.size()),
                          count) >= 0;
    });
}

bool VIF::WriteByteArray(const std::string& Prefix, const std::vector<std::uint8_t>& ByteField,
                         const std::string& Postfix, std::int32_t BlockLength) {
    return Guarded("WriteByteArray", [&] {
        // All three always run, so that END is switched back on whatever failed.
        bool header = WriteByteArrayHeader(Prefix);
        bool block = WriteByteBlock(ByteField, BlockLength);
        bool end = WriteByteArrayEnd(Postfix);
        return header && block && end;
    });
}

bool VIF::WriteByteBlock(const std::vector<std::uint8_t>& Buffer, std::int32_t MaxBufLen) {
    return Guarded("WriteByteBlock", [&] {
        if (!Open() || MaxBufLen < 1) return false;
        if (Buffer.empty()) return true;
        TransferFile = NewTransferFile(StagingFolder());
        if (TransferFile.empty()) return false;
        TempFile staged(TransferFile);
        const Descriptor fd(::open(staged.Path().c_str(), O_WRONLY | O_CLOEXEC));
        if (!fd) return false;
        const std::size_t n = Buffer.size();
        const auto c = static_cast<std::size_t>(MaxBufLen);
        std::size_t chunks = 0;
        for (std::size_t start = 0; start < n; start += c) {
            const std::size_t piece = std::min(c, n - start);
            if (!Stage(fd.get(), Buffer.data() + start, piece)) return false;
            std::int32_t sent = 0;
            if (VIFviWriteFromFile(InstrumentHandle, staged.Path(),
                                   static_cast<std::int64_t>(piece), sent) < 0)
                return false;
            if (piece == c) {
                ++chunks;
                if (n != c)
                    emit VIFProgress(static_cast<float>(static_cast<double>(chunks) * 100.0 *
                                                        static_cast<double>(c) /
                                                        static_cast<double>(n)));
            }
        }
        return true;
    });
}

bool VIF::WriteFileToInstrument(const std::string& Prefix, const std::string& FileName,
                                const std::string& Postfix) {
    return Guarded("WriteFileToInstrument", [&] {
        if (!Open()) return false;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(FileName, ec)) {
            emit VIFVIFError(Prefix + "'" + FileName + "'" + Postfix,
                             "File " + FileName + " not found on local harddisc");
            return false;
        }
        const auto length = static_cast<std::int64_t>(std::filesystem::file_size(FileName, ec));
        if (ec || length > 0xFFFFFFFFLL) {
            emit VIFVIFError(Prefix + "'" + FileName + "'" + Postfix,
                             "File " + FileName + " cannot be sent");
            return false;
        }
        const std::string digits = Dec(length);
        const std::string header = "#" + Dec(static_cast<std::int64_t>(digits.size())) + digits;

        VIFAttrChange(kReaddressing, kSaveSet, 0);
        VIFAttrChange(kTimeOut, kSaveSet,
                      std::max(Millis(static_cast<double>(length) / 100.0), 100));
        VIFAttrChange(kSendEnd, kSaveSet, 0);
        bool ok = true;
        std::int32_t count = 0;
        if (!Prefix.empty())
            ok = VIFviWrite(InstrumentHandle, Prefix, static_cast<std::int32_t>(Prefix.size()),
                            count) >= 0;
        ok = VIFviWrite(InstrumentHandle, header, static_cast<std::int32_t>(header.size()),
                        count) >= 0 &&
             ok;
        // The last byte sent carries END: the file's own when nothing follows it.
        if (Postfix.empty()) VIFAttrChange(kSendEnd, kRestore);
        ok = VIFviWriteFromFile(InstrumentHandle, FileName, length, count) >= 0 && ok;
        if (!Postfix.empty()) {
            VIFAttrChange(kSendEnd, kRestore);
            ok = VIFviWrite(InstrumentHandle, Postfix, static_cast<std::int32_t>(Postfix.size()),
                            count) >= 0 &&
                 ok;
        }
        VIFAttrChange(kReaddressing, kRestore);
        VIFAttrChange(kTimeOut, kRestore);
        return ok;
    });
}

bool VIF::ReadAnswerFromInstrument(const std::string& Command, const std::string& FileName,
                                   std::int32_t BufferLen) {
    return Guarded("ReadAnswerFromInstrument", [&] {
        if (!Open()) return false;
        bool result = false;
        VIFAttrChange(kReaddressing, kSaveSet, 0);
        std::int32_t count = 0;
        if (VIFviWrite(InstrumentHandle, Command, static_cast<std::int32_t>(Command.size()),
                       count) == 0) {
            RemoveIfExists(FileName);
            VIFAttrChange(kTimeOut, kSaveSet, Millis(BufferLen / 100.0));
            result = VIFviReadToFile(InstrumentHandle, FileName, BufferLen, count) >= 0;
            VIFAttrChange(kTimeOut, kRestore);
        }
        VIFAttrChange(kReaddressing, kRestore);
        return result;
    });
}

bool VIF::ReadFileFromInstrument(const std::string& Command, const std::string& FileName,
                                 std::int32_t TimeOut) {
    return Guarded("ReadFileFromInstrument", [&] {
        if (!Open()) return false;
        bool result = false;
        VIFAttrChange(kReaddressing, kSaveSet, 0);
        std::int32_t count = 0;
        if (VIFviWrite(InstrumentHandle, Command, static_cast<std::int32_t>(Command.size()),
                       count) == 0) {
            std::string head(2, ' ');
            if (VIFviRead(InstrumentHandle, head, 2, count) >= 0 && count == 2) {
                // Without length digits there is no length to read.
                const int n = LengthDigits(head[1]);
                std::string digits(static_cast<std::size_t>(n), ' ');
                if (n >= 1 && VIFviRead(InstrumentHandle, digits, n, count) >= 0 && count == n) {
                    if (const auto length = BlockLength(digits)) {
                        RemoveIfExists(FileName);
                        VIFAttrChange(kTimeOut, kSaveSet,
                                      TimeOut == -1 ? Millis(static_cast<double>(*length) / 100.0)
                                                    : TimeOut);
                        const std::int32_t status =
                            VIFviReadToFile(InstrumentHandle, FileName, *length, count);
                        result = status >= 0 && count == *length;
                        VIFAttrChange(kTimeOut, kRestore);
                    } else if (StringOp::LeadingNumber(digits).value_or(0.0) < 0) {
                        // The instruments' way of saying that the file is not there.
                        emit VIFVIFError(Command, "File not found on instrument");
                    }
                }
            }
        }
        VIFAttrChange(kReaddressing, kRestore);
        return result;
    });
}

VIF::HeaderFault VIF::ReadBlockHeader(std::int64_t& length) {
    std::string head(2, ' ');
    std::int32_t count = 0;
    if (VIFviRead(InstrumentHandle, head, 2, count) < 0 || count < 2) return HeaderFault::Read;
    if (head[0] != '#') return HeaderFault::NoHash;
    // "#0" (indefinite length) has no length to check the data against.
    const int n = LengthDigits(head[1]);
    if (n == 0) return HeaderFault::Length;
    std::string digits(static_cast<std::size_t>(n), ' ');
    if (VIFviRead(InstrumentHandle, digits, n, count) < 0 || count != n) return HeaderFault::Length;
    const auto digitsLength = BlockLength(digits);
    if (!digitsLength) return HeaderFault::Length;
    length = *digitsLength;
    return HeaderFault::None;
}

bool VIF::CheckBlockLength(const std::string& command, std::int64_t length, int elementSize) {
    if (length > MaxBlockBytes) {
        emit VIFVIFError(command, "Binary block of " + Dec(length) +
                                      " bytes exceeds the limit of " + Dec(MaxBlockBytes) +
                                      " bytes");
        return false;
    }
    if (length % elementSize != 0) {
        emit VIFVIFError(command, "Binary block of " + Dec(length) +
                                      " bytes is not a multiple of " + Dec(elementSize) + " bytes");
        return false;
    }
    return true;
}

template <typename T> bool VIF::IntReadFloatArray(std::vector<T>& FloatArr) {
    auto trace = Trace("IntReadFloatArray");
    if (!Open()) return false;
    std::int64_t length = 0;
    switch (ReadBlockHeader(length)) {
    case HeaderFault::Read:
        emit VIFVIFError("", "Reading binary header FAILED");
        return false;
    case HeaderFault::NoHash:
        emit VIFVIFError("", "Reading binary header FAILED (no # found)");
        return false;
    case HeaderFault::Length:
        emit VIFVIFError("", "Reading binary header length FAILED");
        return false;
    case HeaderFault::None:
        break;
    }
    if (!CheckBlockLength("", length, 4)) return false;
    TransferFile = TempFileName();
    if (TransferFile.empty()) {
        emit VIFVIFError("", "Reading binary data FAILED");
        return false;
    }
    TempFile received(TransferFile);
    // Ten bytes to spare take the message terminator along; the read ends
    // with the message.
    std::int32_t count = 0;
    if (VIFviReadToFile(InstrumentHandle, received.Path(), length + 10, count) < 0) {
        emit VIFVIFError("", "Reading binary data FAILED");
        return false;
    }
    if (count < length) {
        emit VIFVIFError("", "Reading binary data FAILED (" + Dec(count) + " of " + Dec(length) +
                                 " bytes)");
        return false;
    }
    const auto values = static_cast<std::size_t>(length / 4);
    std::vector<T> parsed(values);
    std::vector<unsigned char> scratch;
    FileHandle file(std::fopen(received.Path().c_str(), "rb"));
    if (!file || !ReadSingles(file.get(), values, parsed.data(), scratch)) {
        emit VIFVIFError("", "Reading binary data FAILED");
        return false;
    }
    FloatArr = std::move(parsed);
    emit VIFInformation(INIIO::TrimStr(static_cast<double>(length) / 4.0) +
                        " float values transfered");
    return true;
}

template <typename T>
bool VIF::ReadFloatArrayT(const std::string& Command, std::vector<T>& FloatArr) {
    if (!Open()) return false;
    LastCommand = Command;
    bool result = false;
    std::int32_t count = 0;
    if (VIFviWrite(InstrumentHandle, Command, static_cast<std::int32_t>(Command.size()), count) ==
        0) {
        std::int32_t readdressing = 0;
        const bool have =
            VIFviGetAttribute(InstrumentHandle, Attr(kReaddressing), readdressing) >= 0;
        VIFviSetAttribute(InstrumentHandle, Attr(kReaddressing), 0);
        result = IntReadFloatArray(FloatArr);
        if (have) VIFviSetAttribute(InstrumentHandle, Attr(kReaddressing), readdressing);
    }
    return Finish(result);
}

bool VIF::ReadFloatArray(const std::string& Command, std::vector<float>& FloatArr) {
    return Guarded("ReadFloatArray", [&] { return ReadFloatArrayT(Command, FloatArr); });
}

bool VIF::ReadFloatArray(const std::string& Command, std::vector<double>& FloatArr) {
    return Guarded("ReadFloatArray", [&] { return ReadFloatArrayT(Command, FloatArr); });
}

template <typename T>
bool VIF::IntReadIQArray(std::vector<T>& I, std::vector<T>& Q, std::int32_t B, std::int32_t C) {
    auto trace = Trace("IntReadIQArray");
    if (!Open()) return false;
    std::int64_t length = 0;
    if (ReadBlockHeader(length) != HeaderFault::None) return false;
    if (!CheckBlockLength(LastCommand, length, 8)) return false;
    TempFile received(TempFileName());
    if (received.Path().empty()) {
        emit VIFVIFError(LastCommand, "Reading binary data FAILED");
        return false;
    }
    std::int32_t count = 0;
    const std::int32_t status = VIFviReadToFile(InstrumentHandle, received.Path(), length, count);
    if (status < 0 || count != length) {
        emit VIFVIFError(LastCommand, "Reading binary data FAILED (" + Dec(count) + " of " +
                                          Dec(length) + " bytes)");
        return false;
    }
    FileHandle file(std::fopen(received.Path().c_str(), "rb"));
    if (!file) {
        emit VIFVIFError(LastCommand, "Reading binary data FAILED");
        return false;
    }
    const auto p = static_cast<std::size_t>(length / 8);
    const auto b = static_cast<std::size_t>(B);
    const auto c = static_cast<std::size_t>(std::min(C, B));
    std::vector<T> i(p), q(p);
    std::size_t posI = 0, posQ = 0;
    // The block holds B values of I, then B of Q, and so on; the last round
    // holds the rest of each. Each phase is read in chunks of C values.
    auto phase = [&](std::vector<T>& target, std::size_t& pos) {
        std::size_t done = 0;
        while (done < b && pos < p) {
            std::size_t n = done > b - c ? b - done : c;
            n = std::min(n, p - pos);
            if (!IntReadIQBlock(file.get(), n, pos, target)) return false;
            pos += n;
            done += n;
            emit VIFProgress(static_cast<float>(static_cast<double>(posI + posQ) /
                                                static_cast<double>(p) * 50.0));
        }
        return true;
    };
    while (posI < p || posQ < p) {
        if (!phase(i, posI) || !phase(q, posQ)) {
            emit VIFVIFError(LastCommand, "Reading binary data FAILED");
            return false;
        }
    }
    I = std::move(i);
    Q = std::move(q);
    emit VIFInformation(INIIO::TrimStr(static_cast<std::int64_t>(p)) + " IQ pairs transfered");
    return true;
}

template <typename T>
bool VIF::IntReadIQBlock(std::FILE* file, std::size_t n, std::size_t p, std::vector<T>& target) {
    auto trace = Trace("IntReadIQBlock");
    std::vector<unsigned char> bytes;
    return ReadSingles(file, n, target.data() + p, bytes);
}

template <typename T>
bool VIF::ReadIQArrayT(const std::string& Command, std::vector<T>& I, std::vector<T>& Q,
                       std::int32_t IQMaxBlockSize, std::int32_t TransBlockSize,
                       std::int32_t ExpectedSize) {
    // A failed read leaves no earlier capture behind: the caller tells "no
    // data" by an empty record.
    I.clear();
    Q.clear();
    if (!Open() || IQMaxBlockSize < 1 || TransBlockSize < 1) return false;
    LastCommand = Command;
    bool result = false, parsed = false;
    std::int32_t count = 0;
    if (VIFviWrite(InstrumentHandle, Command, static_cast<std::int32_t>(Command.size()), count) >=
        0) {
        std::int32_t readdressing = 0, timeout = 0;
        const bool haveReaddressing =
            VIFviGetAttribute(InstrumentHandle, Attr(kReaddressing), readdressing) >= 0;
        VIFviSetAttribute(InstrumentHandle, Attr(kReaddressing), 0);
        // Only a real size scales the time-out, and only upwards: -1 (and any
        // other size below 1) leaves it, and a small size (a caller passing
        // `true`, say) never cuts the session's own time-out short.
        bool scaled = false;
        if (ExpectedSize > 0 && VIFviGetAttribute(InstrumentHandle, Attr(kTimeOut), timeout) >= 0 &&
            static_cast<std::uint32_t>(timeout) != VI_TMO_INFINITE) {
            const std::int32_t needed =
                Millis(static_cast<double>(ExpectedSize) * 4.0 / IQTransferRate * 1000.0);
            scaled = needed > timeout;
            if (scaled) VIFviSetAttribute(InstrumentHandle, Attr(kTimeOut), needed);
        }
        parsed = IntReadIQArray(I, Q, IQMaxBlockSize, TransBlockSize);
        result = parsed;
        if (haveReaddressing)
            VIFviSetAttribute(InstrumentHandle, Attr(kReaddressing), readdressing);
        if (scaled) VIFviSetAttribute(InstrumentHandle, Attr(kTimeOut), timeout);
    }
    // The errors of the data query are read before "*CLS" would wipe them.
    if (AutoPollErrors) {
        std::string errors;
        if (PollErrors(errors, "SYST:ERR?", true) && FailOnSCPIError) result = false;
    }
    if (parsed) VIFviWrite(InstrumentHandle, "*CLS", 4, count);
    emit VIFCommandExecuted(LastCommand, result);
    return result;
}

bool VIF::ReadIQArray(const std::string& Command, std::vector<float>& I, std::vector<float>& Q,
                      std::int32_t IQMaxBlockSize, std::int32_t TransBlockSize,
                      std::int32_t ExpectedSize) {
    return Guarded("ReadIQArray", [&] {
        return ReadIQArrayT(Command, I, Q, IQMaxBlockSize, TransBlockSize, ExpectedSize);
    });
}

bool VIF::ReadIQArray(const std::string& Command, std::vector<double>& I, std::vector<double>& Q,
                      std::int32_t IQMaxBlockSize, std::int32_t TransBlockSize,
                      std::int32_t ExpectedSize) {
    return Guarded("ReadIQArray", [&] {
        return ReadIQArrayT(Command, I, Q, IQMaxBlockSize, TransBlockSize, ExpectedSize);
    });
}
