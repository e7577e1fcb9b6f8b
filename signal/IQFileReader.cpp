#include "IQFileReader.h"

#include "FileCloser.h"
#include "INIIO.h"
#include "NumberText.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/mman.h>

static_assert(std::endian::native == std::endian::little,
              "the file's little-endian words are copied as they lie");

namespace {

// The reader's state: one per program.
struct Reader {
    FileHandle file;
    std::int32_t status = IQFileReader::StatusOK; // of the last open
    WaveFileHeader header;                        // copy of the header last read
    std::int64_t position = 0;                    // pairs already read
    std::int64_t iOffset = 0;                     // byte offsets of the two blocks
    std::int64_t qOffset = 0;
};

Reader& State() {
    static Reader reader;
    return reader;
}

template <typename T> T Get(const std::uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

template <typename T> void Put(std::uint8_t* bytes, T value) {
    std::memcpy(bytes, &value, sizeof value);
}

bool HasIbnExtension(const std::string& name) {
    if (name.size() < 3) return false;
    std::string tail = name.substr(name.size() - 3);
    for (char& c : tail)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail == "IBN";
}

// Empties `out` and gives it room for `count` values. Storage it has to
// allocate anew for a long record is backed by huge pages where the system
// grants them, the advice numpy gives its arrays: filling fresh storage 4 KB
// page by page cost more than reading the file. Where the system first has to
// compact memory to find huge pages, the read slows as numpy's does.
void ReserveFresh(std::vector<double>& out, std::size_t count) {
    out.clear();
    if (out.capacity() >= count) return; // storage in use already: its pages exist
    out.reserve(count);
    constexpr std::size_t kAdviseBytes = std::size_t{4} << 20; // fewer pages than that fill fast
    constexpr std::uintptr_t kPage = 4096;
    const std::size_t bytes = out.capacity() * sizeof(double);
    if (bytes < kAdviseBytes) return;
    // The advice covers the whole pages inside the storage only.
    const auto begin = reinterpret_cast<std::uintptr_t>(out.data());
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kPage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Replaces `out` by `count` singles from byte `offset`, as doubles, read
// through a small buffer. The values are appended to the reserved storage,
// so no pass over it is spent on zeroing.
bool ReadSingles(std::FILE* f, std::int64_t offset, std::size_t count, std::vector<double>& out) {
    ReserveFresh(out, count);
    if (count == 0) return true;
    if (::fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    constexpr std::size_t chunk = 1 << 16;
    static thread_local std::vector<float> buffer(chunk);
    while (out.size() < count) {
        const std::size_t n = std::min(chunk, count - out.size());
        if (std::fread(buffer.data(), sizeof(float), n, f) != n) return false;
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return true;
}

std::string ClockMHz(double hz) {
    return NumberText::FormatNumber(hz / 1e6, "##0.00", '.');
}

} // namespace

WaveFileHeader WaveFileHeader::FromBytes(const std::uint8_t* b) {
    WaveFileHeader h;
    h.HeaderLength = Get<std::int32_t>(b + 0);
    h.PairCount = Get<std::int32_t>(b + 4);
    std::memcpy(h.Unused8, b + 8, 4);
    std::memcpy(h.Unused12, b + 12, 8);
    h.Oversampling = Get<std::int32_t>(b + 20);
    std::memcpy(h.Unused24, b + 24, 4);
    h.ClockHz = Get<double>(b + 28);
    h.Reserved = Get<std::int32_t>(b + 36);
    return h;
}

void WaveFileHeader::ToBytes(std::uint8_t* b) const {
    Put(b + 0, HeaderLength);
    Put(b + 4, PairCount);
    std::memcpy(b + 8, Unused8, 4);
    std::memcpy(b + 12, Unused12, 8);
    Put(b + 20, Oversampling);
    std::memcpy(b + 24, Unused24, 4);
    Put(b + 28, ClockHz);
    Put(b + 36, Reserved);
}

namespace IQFileReader {

std::int32_t ReadWaveHeader() {
    Reader& r = State();
    if (!r.file) return StatusNotOpen;
    std::FILE* f = r.file.get();
    std::uint8_t bytes[WaveFileHeader::Size];
    if (std::fseek(f, 0, SEEK_SET) != 0) return StatusReadFailed;
    if (std::fread(bytes, 1, sizeof bytes, f) != sizeof bytes)
        return std::ferror(f) != 0 ? StatusReadFailed : StatusShortHeader;
    r.header = WaveFileHeader::FromBytes(bytes);
    if (r.header.HeaderLength != WaveFileHeader::Size) return StatusNotIBN;
    if (r.header.PairCount < 0) return StatusBadPairCount;
    // Both blocks must be there before any read may allocate for them.
    if (::fseeko(f, 0, SEEK_END) != 0) return StatusReadFailed;
    const std::int64_t size = ::ftello(f);
    const std::int64_t needed =
        std::int64_t{r.header.HeaderLength} + 8 * std::int64_t{r.header.PairCount};
    if (size < needed) return StatusTruncated;
    return StatusOK;
}

void OpenWaveFile(WaveFileHeader& header, const std::string& fileName, std::int32_t& status) {
    Reader& r = State();
    r.file.reset();
    r.position = 0;
    std::int32_t s = StatusOK;
    if (!HasIbnExtension(fileName)) {
        s = StatusNotIBN;
    } else {
        std::error_code ec;
        const auto kind = std::filesystem::status(fileName, ec).type();
        if (kind == std::filesystem::file_type::not_found ||
            kind == std::filesystem::file_type::none) {
            s = StatusNotFound;
        } else if (kind != std::filesystem::file_type::regular) {
            s = StatusCannotOpen;
        } else {
            r.file.reset(std::fopen(fileName.c_str(), "rb"));
            // Unbuffered: every read asks the file as it is now.
            if (!r.file || std::setvbuf(r.file.get(), nullptr, _IONBF, 0) != 0)
                s = StatusCannotOpen;
        }
    }
    if (s == StatusOK) {
        s = ReadWaveHeader();
        if (s != StatusOK) {
            r.file.reset();
        } else {
            r.iOffset = r.header.HeaderLength;
            r.qOffset = r.iOffset + 4 * std::int64_t{r.header.PairCount};
        }
    }
    r.status = s;
    status = s;
    header = r.header;
}

std::int32_t ReadWaveData(std::vector<double>& I, std::vector<double>& Q, std::int32_t count,
                          std::int32_t& got) {
    Reader& r = State();
    if (r.status != StatusOK || !r.file) return StatusNotOpen;
    if (count < 0 || r.position + count > r.header.PairCount) {
        got = 0;
        return StatusPastEnd;
    }
    // The arrays keep their storage when it suffices (a reader of many
    // blocks allocates once).
    const auto n = static_cast<std::size_t>(count);
    if (!ReadSingles(r.file.get(), r.iOffset + 4 * r.position, n, I) ||
        !ReadSingles(r.file.get(), r.qOffset + 4 * r.position, n, Q)) {
        I.clear();
        Q.clear();
        got = 0;
        return StatusReadFailed;
    }
    got = count;
    r.position += count;
    return StatusOK;
}

std::string WaveFileInfoText(const WaveFileHeader& header) {
    return "number of IQ pairs:\t" + INIIO::TrimStr(header.PairCount) + "\r\n" +
           "sampling rate:\t" + ClockMHz(header.ClockHz) + " MHz\r\n" + "oversampling: \t" +
           std::to_string(header.Oversampling) + "\r\n";
}

std::string WaveFileInfoLine(const WaveFileHeader& header) {
    return INIIO::TrimStr(header.PairCount) + " samples, clock " + ClockMHz(header.ClockHz) +
           " MHz, " + "OS " + std::to_string(header.Oversampling);
}

std::int32_t CloseWaveFile() {
    Reader& r = State();
    r.file.reset();
    r.position = 0;
    r.status = StatusOK;
    return StatusOK;
}

bool IsOpen() {
    return State().file != nullptr;
}

} // namespace IQFileReader
