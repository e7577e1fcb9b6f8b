#include "WVClass.h"

#include "INIIO.h"
#include "NumberText.h"
#include "RootDebug.h"
#include "Services.h"
#include "StringOp.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>

static_assert(std::endian::native == std::endian::little,
              "a pair's two words are stored as one little-endian 32-bit value");

namespace {

RootDebug::Scope Trace(const char* procName, const char* subName = "") {
    return RootDebug::Scope(General::RootDebugInstance(), "WVClass", subName, procName);
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A user text inside a tag: a brace would end the tag early or open a new
// one, so braces become parentheses.
std::string TagText(std::string text) {
    for (char& c : text) {
        if (c == '{') c = '(';
        if (c == '}') c = ')';
    }
    return text;
}

std::tm LocalNow() {
    return NumberText::BrokenDown(Services::Get<Services::ClockService>().Now());
}

// Full-scale limits of the offset-binary words.
constexpr double OffsetLow = 768;
constexpr double OffsetHigh = 64768;

// The packing kernels: n pairs into 4 bytes each (I word, then Q word, each
// little-endian), counting values beyond full scale per channel. Written
// without branches so that the compiler can run several samples side by
// side; no value outside the word's range is ever converted.
struct ClipCount {
    std::int64_t above = 0, below = 0;
};

// Offset binary: v = x·32000 + 32768 held to 768..64768 (NaN, having no
// sign, is written as the centre and counted below), the low byte's two
// lowest bits cleared.
inline std::uint32_t OffsetWord(double x, std::int64_t& above, std::int64_t& below) {
    double v = std::nearbyint(x * 32000 + 32768);
    const bool high = v > OffsetHigh;
    above += high;
    below += v < OffsetLow || v != v;
    v = high ? OffsetHigh : v;
    v = v < OffsetLow ? OffsetLow : v;
    v = v != v ? 32768.0 : v;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) & 0xFFFC;
}

// Signed: x·32767 + 0.5 rounded, +1.0 and above 32767, -1.0 and below
// -32768, NaN 0 (counted below).
inline std::uint32_t SignedWord(double x, std::int64_t& above, std::int64_t& below) {
    above += x > 1.0;
    below += x < -1.0 || x != x;
    // Just below 1.0 the sum can round up to 32768.
    double w = std::nearbyint(x * 32767 + 0.5);
    w = w > 32767.0 ? 32767.0 : w;
    w = x >= 1.0 ? 32767.0 : w;
    w = x <= -1.0 ? -32768.0 : w;
    w = x != x ? 0.0 : w;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(w)) & 0xFFFF;
}

template <std::uint32_t (*Word)(double, std::int64_t&, std::int64_t&)>
inline void PackPairs(const double* __restrict I, const double* __restrict Q, std::size_t n,
                      std::uint8_t* __restrict out, ClipCount& ci, ClipCount& cq) {
    std::int64_t ia = 0, ib = 0, qa = 0, qb = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t pair = Word(I[k], ia, ib) | (Word(Q[k], qa, qb) << 16);
        std::memcpy(out + 4 * k, &pair, 4); // little-endian: I low byte first
    }
    ci.above += ia;
    ci.below += ib;
    cq.above += qa;
    cq.below += qb;
}

__attribute__((target_clones("avx2", "default"))) void
OffsetPairs(const double* __restrict I, const double* __restrict Q, std::size_t n,
            std::uint8_t* __restrict out, ClipCount& ci, ClipCount& cq) {
    PackPairs<OffsetWord>(I, Q, n, out, ci, cq);
}

__attribute__((target_clones("avx2", "default"))) void
SignedPairs(const double* __restrict I, const double* __restrict Q, std::size_t n,
            std::uint8_t* __restrict out, ClipCount& ci, ClipCount& cq) {
    PackPairs<SignedWord>(I, Q, n, out, ci, cq);
}

} // namespace

WVClass::WVClass(QObject* parent) : QObject(parent) {
    auto trace = Trace("Initialize", "Class");
    const std::tm now = LocalNow();
    copyRight_ = NumberText::FormatDateTime(now, "yyyy") + " by Korva & Tellin";
    fileDate_ = NumberText::FormatDateTime(now, "yyyy-mm-dd;Hh:Nn:Ss");
    markers_.fill("0-10:1;11:0");
}

WVClass::~WVClass() = default;

std::string WVClass::Marker(std::int16_t index) const {
    if (index < 1 || index > 4) return {};
    return markers_[static_cast<std::size_t>(index - 1)];
}

void WVClass::SetMarker(std::int16_t index, const std::string& v) {
    if (index < 1 || index > 4) return;
    markers_[static_cast<std::size_t>(index - 1)] = v;
}

void WVClass::ReportRuntimeError(const char* procName) const {
    RuntimeError error{5, "WVClass", "Unknown error"};
    try {
        throw;
    } catch (const std::bad_alloc&) {
        error = RuntimeError{7, "WVClass", "Out of memory"};
    } catch (const std::exception& e) {
        error.Description = e.what();
    } catch (...) {
    }
    General::RootDebugInstance().LogRuntimeError("WVClass", "", procName, "", error);
}

std::int64_t WVClass::CalcByteFieldLength(std::int64_t samples) {
    auto trace = Trace("CalcByteFieldLength");
    return 4 * samples;
}

std::string WVClass::GetWVHeader() {
    auto trace = Trace("GetWVHeader");
    const bool kld = arbType_ == 2;
    std::string h;
    if (kld) h += "{SAMPLES: " + INIIO::TrimStr(samples_) + "}";
    h += "{FILTER: ";
    if (filter_ == 1)
        h += "EXT}";
    else if (filter_ == 2)
        h += INIIO::TrimStr(filterFrequency_) + "Hz}";
    else
        h += "OFF}"; // also for codes that name no filter, which would leave the tag open
    h += std::string("{TYPE: ") + (kld ? "KLD-" : "") + "WV,0}";
    h += "{CLOCK: " + INIIO::TrimStr(clockInHz_) + "}";
    h += "{COPYRIGHT: " + TagText(copyRight_) + "}";
    h += "{COMMENT: " + TagText(comment_) + "}";
    h += "{DATE: " + TagText(fileDate_) + "}";
    h += "{CRESTFACTOR: " + StringOp::FormatDot(crestFactor_, "0.000") + "}";
    const int lists = kld ? 4 : 2;
    for (int k = 0; k < lists; ++k)
        h += "{MARKER LIST " + std::to_string(k + 1) + ": " +
             TagText(TrimBlanks(markers_[static_cast<std::size_t>(k)])) + "}";
    waveformLength_ = CalcByteFieldLength(samples_) + 3;
    h += "{WAVEFORM-" + INIIO::TrimStr(waveformLength_) + ": 0,#";
    return h;
}

// Both packings share their frame: sizes, clip counters, the chunk walk that
// locates an error, and the clip report.
std::vector<std::uint8_t> WVClass::Pack(const std::vector<double>& I, const std::vector<double>& Q,
                                        bool signedWords) {
    const char* proc = signedWords ? "PreKLDIQForWV" : "PrepIQForWV";
    auto trace = Trace(proc);
    const auto pack = signedWords ? SignedPairs : OffsetPairs;
    clips_.fill(0);
    clipTotal_ = 0;
    byteFieldLength_ = 0;
    std::vector<std::uint8_t> bytes;
    std::size_t index = 0, chunkStart = 0;
    int line = __LINE__;
    try {
        if (I.size() == Q.size()) {
            const std::size_t n = I.size();
            line = __LINE__;
            bytes.resize(4 * n);
            byteFieldLength_ = static_cast<std::int64_t>(bytes.size());
            auto chunk =
                static_cast<std::size_t>(NumberText::RoundHalfEven(static_cast<double>(n) / 1000));
            if (chunk == 0) chunk = n;
            ClipCount clipI, clipQ;
            line = __LINE__;
            for (chunkStart = 0; chunkStart < n; chunkStart += chunk) {
                index = chunkStart;
                const std::size_t m = std::min(chunk, n - chunkStart);
                pack(I.data() + chunkStart, Q.data() + chunkStart, m, bytes.data() + 4 * chunkStart,
                     clipI, clipQ);
            }
            const auto count = [](std::int64_t c) {
                return static_cast<std::int32_t>(std::min<std::int64_t>(c, INT32_MAX));
            };
            clips_ = {count(clipI.above), count(clipQ.above), count(clipI.below),
                      count(clipQ.below)};
        }
    } catch (...) {
        if (signedWords) {
            RootDebug& d = General::RootDebugInstance();
            d.LogMessage(1, "WVLoader", "Line: " + std::to_string(line));
            d.LogMessage(1, "WVLoader", "IntIndex: " + std::to_string(index));
            d.LogMessage(1, "WVLoader", "Index: " + std::to_string(chunkStart));
        }
        ReportRuntimeError(proc);
        bytes.clear();
        byteFieldLength_ = 0;
    }
    clipTotal_ = clips_[0] + clips_[1] + clips_[2] + clips_[3];
    if (clipTotal_ > 0) emit WVClipped(clipTotal_);
    return bytes;
}

std::vector<std::uint8_t> WVClass::PrepIQForWV(const std::vector<double>& I,
                                               const std::vector<double>& Q) {
    return Pack(I, Q, false);
}

std::vector<std::uint8_t> WVClass::PreKLDIQForWV(const std::vector<double>& I,
                                                 const std::vector<double>& Q) {
    return Pack(I, Q, true);
}

std::string WVClass::TrimmedName() const {
    return TrimBlanks(fileName_);
}

std::string WVClass::UploadCommand() const {
    if (arbType_ == 2) return "MMEM:DATA 'D:\\" + TrimmedName() + ".WV',";
    return "MMEM:DATA '" + TrimmedName() + "',";
}

std::string WVClass::BlockPrefix(std::int64_t n) {
    const std::string digits = std::to_string(n);
    return "#" + std::to_string(digits.size()) + digits;
}

namespace General {
WVClass& TestSignal() {
    static WVClass signal;
    return signal;
}
} // namespace General
