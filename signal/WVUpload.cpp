// The upload of a waveform file to the generator: in one block message, or
// streamed in pieces that add up to Samples pairs.

#include "RootDebug.h"
#include "VIF.h"
#include "WVClass.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

RootDebug::Scope Trace(const char* procName) {
    return RootDebug::Scope(General::RootDebugInstance(), "WVClass", "", procName);
}

bool WriteAll(std::FILE* f, const void* data, std::size_t n) {
    return n == 0 || std::fwrite(data, 1, n, f) == n;
}

// Sends the bytes as one write of the open message (one chunk as long as
// the session accepts).
bool WritePiece(VIF& vif, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return true;
    const auto chunk = static_cast<std::int32_t>(std::min<std::size_t>(bytes.size(), INT32_MAX));
    return vif.WriteByteBlock(bytes, chunk);
}

std::string_view TrimView(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The names of a catalogue answer. The BOXW lists `used,free,"NAME,BIN,size",...`;
// the VRTA and KLD list `"NAME,NAME,..."`, the KLD perhaps with drive, folder
// and ".WV", which name the same file.
std::vector<std::string_view> CatalogueNames(std::int32_t arbType, std::string_view answer) {
    std::vector<std::string_view> quoted;
    for (std::size_t open = answer.find('"'); open != std::string_view::npos;) {
        const std::size_t close = answer.find('"', open + 1);
        if (close == std::string_view::npos) break;
        quoted.push_back(answer.substr(open + 1, close - open - 1));
        open = answer.find('"', close + 1);
    }
    if (quoted.empty() && arbType != 0) quoted.push_back(answer);
    std::vector<std::string_view> names;
    for (std::string_view entry : quoted) {
        for (std::size_t start = 0; start <= entry.size();) {
            std::size_t comma = entry.find(',', start);
            if (comma == std::string_view::npos) comma = entry.size();
            std::string_view name = TrimView(entry.substr(start, comma - start));
            if (arbType == 2) {
                const std::size_t slash = name.find_last_of("\\/");
                if (slash != std::string_view::npos)
                    name.remove_prefix(slash + 1);
                else if (name.size() >= 2 && name[1] == ':')
                    name.remove_prefix(2);
                if (name.size() >= 3 && name[name.size() - 3] == '.' &&
                    (name[name.size() - 2] | 0x20) == 'w' && (name.back() | 0x20) == 'v')
                    name.remove_suffix(3);
            }
            if (!name.empty()) names.push_back(name);
            // The BOXW entry goes on with the file's type and size.
            if (arbType == 0) break;
            start = comma + 1;
        }
    }
    return names;
}

} // namespace

void WVClass::DelARBFile(VIF& vif, const std::string& name) {
    auto trace = Trace("DelARBFile");
    emit WVStatus("checking ARB for existing files...");
    std::string trimmed = name;
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    // A full instrument lists far more than a thousand characters: the whole
    // answer is read, so a file listed late is still found.
    std::string catalogue;
    vif.ReadStringLong(arbType_ == 0 ? "MMEM:CAT?" : "ARB:WAV:CAT?", catalogue);
    // Whole names are compared exactly: "quil----" and "QUIL----X" are other files.
    const auto names = CatalogueNames(arbType_, catalogue);
    if (trimmed.empty() || std::find(names.begin(), names.end(), trimmed) == names.end()) return;
    vif.WriteString((arbType_ == 0 ? "MMEM:DEL '" : "ARB:WAV:DEL '") + trimmed + "'", 0);
}

bool WVClass::SendARBFile(VIF& vif, const std::string& header,
                          const std::vector<std::uint8_t>& bytes, std::int32_t blockSize) {
    auto trace = Trace("SendARBFile");
    emit WVStatus("preparing data for ARB generator...");
    // The length counts what is sent, so the block stays framed whatever
    // Samples says.
    const auto n = static_cast<std::int64_t>(header.size() + bytes.size() + 1);
    const std::string prefix = BlockPrefix(n);
    DelARBFile(vif, fileName_);
    const std::string name = TrimmedName();
    emit WVStatus("writing file " + name + " to ARB generator...");
    if (!vif.WriteByteArray(UploadCommand() + prefix + header, bytes, "}", blockSize)) return false;
    emit WVStatus("file " + name + " written to ARB");
    return true;
}

std::int16_t WVClass::UploadWV(VIF& vif, const std::vector<double>& I, const std::vector<double>& Q,
                               std::int32_t blockSize) {
    auto trace = Trace("UploadWV");
    try {
        const std::string header = GetWVHeader();
        if (I.size() != Q.size() || samples_ < 0 || I.size() != static_cast<std::size_t>(samples_))
            return UploadBadRecord;
        const std::vector<std::uint8_t> bytes =
            arbType_ == 2 ? PreKLDIQForWV(I, Q) : PrepIQForWV(I, Q);
        const bool sent = SendARBFile(vif, header, bytes, blockSize);
        bool local = true;
        if (!pcFileName_.empty()) {
            const std::string path = pcFileName_ + ".wv";
            std::remove(path.c_str());
            FileHandle f(std::fopen(path.c_str(), "wb"));
            local = f && WriteAll(f.get(), header.data(), header.size()) &&
                    WriteAll(f.get(), bytes.data(), bytes.size()) && WriteAll(f.get(), "}", 1) &&
                    std::fclose(f.release()) == 0;
        }
        return !sent ? UploadWriteFailed : !local ? UploadLocalFailed : UploadOK;
    } catch (...) {
        ReportRuntimeError("UploadWV");
        return UploadWriteFailed;
    }
}

void WVClass::CloseStreamFile() {
    if (streamFile_ && std::fclose(streamFile_.release()) != 0) streamFileFailed_ = true;
}

std::int16_t WVClass::OpenStream(VIF& vif) {
    auto trace = Trace("OpenStream");
    try {
        // A stream left unfinished is given up.
        CloseStreamFile();
        streaming_ = false;
        streamFileFailed_ = false;
        pairsSent_ = 0;
        emit WVStatus("preparing streaming to ARB generator...");
        const std::string header = GetWVHeader();
        if (samples_ < 0) return UploadBadRecord;
        const std::int64_t n =
            static_cast<std::int64_t>(header.size()) + CalcByteFieldLength(samples_) + 1;
        DelARBFile(vif, fileName_);
        if (!vif.WriteByteArrayHeader(UploadCommand() + BlockPrefix(n) + header)) {
            // End whatever part went out, so that the session takes commands again.
            vif.WriteByteArrayEnd("");
            return UploadWriteFailed;
        }
        if (!pcFileName_.empty()) {
            streamFile_.reset(std::fopen(pcFileName_.c_str(), "wb"));
            if (!streamFile_ || !WriteAll(streamFile_.get(), header.data(), header.size()))
                streamFileFailed_ = true;
        }
        emit WVStatus("stream opened");
        streaming_ = true;
        return streamFileFailed_ ? UploadLocalFailed : UploadOK;
    } catch (...) {
        ReportRuntimeError("OpenStream");
        return UploadWriteFailed;
    }
}

std::int16_t WVClass::OutputStream(VIF& vif, const std::vector<double>& I,
                                   const std::vector<double>& Q) {
    auto trace = Trace("OutputStream");
    try {
        if (!streaming_) return UploadNotStreaming;
        if (I.size() != Q.size()) return UploadBadRecord;
        if (pairsSent_ + static_cast<std::int64_t>(I.size()) > samples_) return UploadNotStreaming;
        const std::vector<std::uint8_t> bytes =
            arbType_ == 2 ? PreKLDIQForWV(I, Q) : PrepIQForWV(I, Q);
        if (!WritePiece(vif, bytes)) {
            vif.WriteByteArrayEnd("");
            streaming_ = false;
            CloseStreamFile();
            return UploadWriteFailed;
        }
        pairsSent_ += static_cast<std::int64_t>(bytes.size() / 4);
        emit WVStreamProgress(
            samples_ > 0 ? static_cast<float>(static_cast<double>(pairsSent_) / samples_ * 100)
                         : 100.0F);
        if (streamFile_ && !WriteAll(streamFile_.get(), bytes.data(), bytes.size()))
            streamFileFailed_ = true;
        bool ended = true;
        if (pairsSent_ == samples_) {
            streaming_ = false;
            ended = vif.WriteByteArrayEnd("}");
            if (streamFile_ && !WriteAll(streamFile_.get(), "}", 1)) streamFileFailed_ = true;
            CloseStreamFile();
        }
        return !ended ? UploadWriteFailed : streamFileFailed_ ? UploadLocalFailed : UploadOK;
    } catch (...) {
        ReportRuntimeError("OutputStream");
        return UploadWriteFailed;
    }
}
