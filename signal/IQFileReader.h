#pragma once
// Reader of external I/Q waveform files ("ibn"): a 40-byte little-endian
// header, then n single-precision I samples, then n Q samples. One file is
// open at a time (one reader per program); the samples are read block by
// block from the start.
//
// Everything the header claims is checked against the file before anything
// is read or allocated, so a damaged or foreign file gives a status of its
// own instead of a huge allocation or a read past its end.

#include <cstdint>
#include <string>
#include <vector>

// `WaveFileHeader`: the header record as it lies on disk (bytes 0..39).
struct WaveFileHeader {
    std::int32_t HeaderLength = 0; // bytes 0-3: must be 40, where the I samples start
    std::int32_t PairCount = 0;    // bytes 4-7: number of I/Q pairs
    std::uint8_t Unused8[4] = {};  // bytes 8-11
    std::uint8_t Unused12[8] = {}; // bytes 12-19
    std::int32_t Oversampling = 0; // bytes 20-23
    std::uint8_t Unused24[4] = {}; // bytes 24-27
    double ClockHz = 0;            // bytes 28-35
    std::int32_t Reserved = 0;     // bytes 36-39

    static constexpr std::int32_t Size = 40;

    // The record from / to its 40 bytes on disk.
    static WaveFileHeader FromBytes(const std::uint8_t* bytes);
    void ToBytes(std::uint8_t* bytes) const;
};

namespace IQFileReader {

// Status codes of the open and read operations.
enum Status : std::int32_t {
    StatusOK = 0,
    StatusNotFound = 1,     // no file of that name
    StatusNotIBN = 3,       // not an "ibn" name, or the header length is not 40
    StatusShortHeader = 4,  // the file is shorter than the 40-byte header
    StatusBadPairCount = 5, // the header's pair count is negative
    StatusNotOpen = 6,      // read refused: no file opened successfully
    StatusTruncated = 7,    // the file is shorter than its header says
    StatusCannotOpen = 8,   // the file exists but cannot be read
    StatusPastEnd = 9,      // read refused: more pairs than remain (or a negative count)
    StatusReadFailed = 10,  // the file could not be read where it should hold samples
};

// Opens the file and reads its header. A file still open from an earlier call
// is closed first. On failure `header` receives the header of the last file
// read (all zero when none); the reader then refuses reads.
void OpenWaveFile(WaveFileHeader& header, const std::string& fileName, std::int32_t& status);

// Reads the next `count` pairs into I and Q (indices 0..count-1, values of
// single precision) and advances the position; I and Q keep their storage
// when it is large enough. A refused read leaves I, Q and the position
// unchanged; a read the disk fails (StatusReadFailed) leaves the position
// and empties I and Q. `got` is the number of pairs read (0 when refused).
std::int32_t ReadWaveData(std::vector<double>& I, std::vector<double>& Q, std::int32_t count,
                          std::int32_t& got);

// Reads the header of the open file into the reader's copy: StatusNotIBN when
// its length field is not 40 (the internal first step of OpenWaveFile).
std::int32_t ReadWaveHeader();

// "number of IQ pairs:\t16384\r\nsampling rate:\t16.00 MHz\r\noversampling: \t4\r\n"
std::string WaveFileInfoText(const WaveFileHeader& header);
// "16384 samples, clock 16.00 MHz, OS 4"
std::string WaveFileInfoLine(const WaveFileHeader& header);

// Closes the file (if any) and answers StatusOK; reads are refused afterwards.
std::int32_t CloseWaveFile();

// Whether a file is open (for callers that must not leave it open).
bool IsOpen();

} // namespace IQFileReader

namespace General {
// Header of the external file the current test signal came from.
inline WaveFileHeader WaveHeader;
} // namespace General
