#include "WVClass.h"

#include "INIIO.h"
#include "NumberText.h"
#include "RootDebug.h"
#include "Services.h"
#include "StringOp.h"

#include <cmath>
#include <ctime>
#include <new>
#include <stdexcept>

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
    const QDateTime now = Services::Get<Services::ClockService>().Now();
    const QDate d = now.date();
    const QTime t = now.time();
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_wday = d.dayOfWeek() % 7;
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    return tm;
}

// Full-scale limits of the offset-binary words.
constexpr double OffsetLow = 768;
constexpr double OffsetHigh = 64768;

// One sample value as a 16-bit word; a value beyond full scale is clamped
// and counted in `above` or `below` (NaN, having no sign, counts as below).
std::uint16_t OffsetWord(double x, std::int32_t& above, std::int32_t& below) {
    double v = std::nearbyint(x * 32000 + 32768);
    if (v > OffsetHigh) {
        v = OffsetHigh;
        ++above;
    } else if (v < OffsetLow) {
        v = OffsetLow;
        ++below;
    } else if (std::isnan(v)) {
        v = 32768; // the centre: a NaN is written as 0
        ++below;
    }
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(v) & 0xFFFC);
}

std::uint16_t SignedWord(double x, std::int32_t& above, std::int32_t& below) {
    double w;
    if (x > 1.0) {
        w = 32767;
        ++above;
    } else if (x < -1.0) {
        w = -32768;
        ++below;
    } else if (x == 1.0) {
        w = 32767;
    } else if (x == -1.0) {
        w = -32768;
    } else if (std::isnan(x)) {
        w = 0;
        ++below;
    } else {
        // Just below 1.0 the sum can round up to 32768.
        w = std::min(32767.0, std::nearbyint(x * 32767 + 0.5));
    }
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(w));
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
    const auto word = signedWords ? SignedWord : OffsetWord;
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
            auto chunk = static_cast<std::size_t>(
                NumberText::RoundHalfEven(static_cast<double>(n) / 1000));
            if (chunk == 0) chunk = n;
            std::uint8_t* out = bytes.data();
            line = __LINE__;
            for (chunkStart = 0; chunkStart < n; chunkStart += chunk) {
                const std::size_t end = std::min(n, chunkStart + chunk);
                for (index = chunkStart; index < end; ++index) {
                    const std::uint16_t i = word(I[index], clips_[0], clips_[2]);
                    const std::uint16_t q = word(Q[index], clips_[1], clips_[3]);
                    out[0] = static_cast<std::uint8_t>(i & 0xFF);
                    out[1] = static_cast<std::uint8_t>(i >> 8);
                    out[2] = static_cast<std::uint8_t>(q & 0xFF);
                    out[3] = static_cast<std::uint8_t>(q >> 8);
                    out += 4;
                }
            }
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

std::string WVClass::TrimmedName() const { return TrimBlanks(fileName_); }

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
