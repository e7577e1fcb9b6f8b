#pragma once
// One waveform for the ARB memory of an I/Q generator: the tags of its file,
// the packing of an I/Q record into the file's sample block, and its upload
// to the generator over an instrument session.
//
// The file: a text header of "{TAG: value}" tags ending in
// "{WAVEFORM-<4n+3>: 0,#", 4 bytes per I/Q pair (I then Q, pairs in order)
// and a closing "}". ARBType 0 and 1 pack offset binary (v = x·32000 + 32768
// in 768..64768, low byte with its two lowest bits cleared, then high byte);
// ARBType 2 adds a SAMPLES tag and marker lists 3 and 4 and packs signed
// little-endian words (x·32767 + 0.5, ±1.0 giving 32767 and -32768). Values
// beyond full scale, infinities and NaN are clamped and counted as clipped.
//
// Uploads report their result: 0 when everything was written, otherwise one
// of the Upload* codes. Every operation traces itself on the diagnostics
// object; a run-time error inside one is logged there and reported as a
// failure.

#include "FileCloser.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class VIF;

class WVClass : public QObject {
    Q_OBJECT

public:
    // Results of UploadWV, OpenStream and OutputStream.
    enum UploadResult : std::int16_t {
        UploadOK = 0,
        UploadWriteFailed = 1,  // the instrument did not take the message
        UploadLocalFailed = 2,  // the local copy could not be written
        UploadBadRecord = 3,    // I and Q differ in length, or the record is not Samples long
        UploadNotStreaming = 4, // a piece without an open stream, or beyond Samples
    };

    explicit WVClass(QObject* parent = nullptr);
    ~WVClass() override;
    WVClass(const WVClass&) = delete;
    WVClass& operator=(const WVClass&) = delete;

    // --- Properties -------------------------------------------------------------
    std::int32_t ARBType() const { return arbType_; }
    void SetARBType(std::int32_t v) { arbType_ = v; }
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& v) { fileName_ = v; }
    // 0 off, 1 external, 2 FilterFrequency.
    std::int32_t Filter() const { return filter_; }
    void SetFilter(std::int32_t v) { filter_ = v; }
    double FilterFrequency() const { return filterFrequency_; }
    void SetFilterFrequency(double v) { filterFrequency_ = v; }
    double ClockInHz() const { return clockInHz_; }
    void SetClockInHz(double v) { clockInHz_ = v; }
    const std::string& Comment() const { return comment_; }
    void SetComment(const std::string& v) { comment_ = v; }
    const std::string& CopyRight() const { return copyRight_; }
    void SetCopyRight(const std::string& v) { copyRight_ = v; }
    const std::string& FileDate() const { return fileDate_; }
    void SetFileDate(const std::string& v) { fileDate_ = v; }
    // Marker lists 1..4; another index reads "" and is not stored.
    std::string Marker(std::int16_t index) const;
    void SetMarker(std::int16_t index, const std::string& v);
    std::int32_t Samples() const { return samples_; }
    void SetSamples(std::int32_t v) { samples_ = v; }
    double CrestFactor() const { return crestFactor_; }
    void SetCrestFactor(double v) { crestFactor_ = v; }
    // Path of an optional local copy of the uploaded file ("" for none).
    const std::string& PCFileName() const { return pcFileName_; }
    void SetPCFileName(const std::string& v) { pcFileName_ = v; }

    // --- Upload -----------------------------------------------------------------
    // Packs the record (full scale ±1.0), deletes a waveform of the same name
    // on the instrument and sends the file as one "MMEM:DATA" block, the
    // sample bytes in pieces of blockSize; then writes the local copy
    // PCFileName + ".wv" when PCFileName is set.
    std::int16_t UploadWV(VIF& vif, const std::vector<double>& I, const std::vector<double>& Q,
                          std::int32_t blockSize);
    // Starts a streamed upload of Samples pairs: the command and the tag
    // header go out, the message stays open for OutputStream. With
    // PCFileName set, the file of exactly that name receives the same bytes.
    std::int16_t OpenStream(VIF& vif);
    // Sends the next piece; the piece that brings the pairs sent to Samples
    // ends the message (and closes the local file). A piece that would go
    // beyond Samples is refused and nothing of it is sent.
    std::int16_t OutputStream(VIF& vif, const std::vector<double>& I, const std::vector<double>& Q);
    // Whether a streamed upload is waiting for more pieces.
    bool Streaming() const { return streaming_; }

    // --- File building blocks (the upload's own steps) -------------------------------
    // The tag header from the current properties; remembers the waveform
    // length L = 4·Samples + 3.
    std::string GetWVHeader();
    // Offset-binary packing (ARBType 0 and 1) and signed packing (ARBType 2).
    // Q is read at I's indices: records of different lengths give no bytes.
    std::vector<std::uint8_t> PrepIQForWV(const std::vector<double>& I,
                                          const std::vector<double>& Q);
    std::vector<std::uint8_t> PreKLDIQForWV(const std::vector<double>& I,
                                            const std::vector<double>& Q);
    std::int64_t CalcByteFieldLength(std::int64_t samples);

    // Values of the last header and packing.
    std::int64_t WaveformLength() const { return waveformLength_; }
    std::int64_t ByteFieldLength() const { return byteFieldLength_; }
    // Clipped values of the last packing: I above, Q above, I below, Q below
    // full scale, and their total.
    const std::array<std::int32_t, 4>& ClipCounts() const { return clips_; }
    std::int32_t ClipTotal() const { return clipTotal_; }

    // The "MMEM:DATA ..." text in front of the block, for the current ARBType.
    std::string UploadCommand() const;
    // "#<digits><n>": the definite-length block prefix of n bytes.
    static std::string BlockPrefix(std::int64_t n);

signals:
    void WVStatus(const std::string& text);
    // Total of clipped values, after a packing that clipped any.
    void WVClipped(std::int32_t total);
    // Percent of Samples sent, after each streamed piece.
    void WVStreamProgress(float percent);

private:
    bool SendARBFile(VIF& vif, const std::string& header, const std::vector<std::uint8_t>& bytes,
                     std::int32_t blockSize);
    void DelARBFile(VIF& vif, const std::string& name);
    std::vector<std::uint8_t> Pack(const std::vector<double>& I, const std::vector<double>& Q,
                                   bool signedWords);
    std::string TrimmedName() const;
    void CloseStreamFile();
    void ReportRuntimeError(const char* procName) const;

    std::int32_t arbType_ = 0;
    std::string fileName_;
    std::int32_t filter_ = 0;
    double filterFrequency_ = 0;
    double clockInHz_ = 1000000;
    std::string comment_ = "--no comment--";
    std::string copyRight_;
    std::string fileDate_;
    std::array<std::string, 4> markers_;
    std::int32_t samples_ = 0;
    double crestFactor_ = 0;
    std::string pcFileName_;

    std::int64_t waveformLength_ = 0;
    std::int64_t byteFieldLength_ = 0;
    std::array<std::int32_t, 4> clips_{};
    std::int32_t clipTotal_ = 0;

    bool streaming_ = false;
    FileHandle streamFile_;
    bool streamFileFailed_ = false;
    std::int64_t pairsSent_ = 0;
};

namespace General {
// The current test signal's waveform, created on first use.
WVClass& TestSignal();
} // namespace General
