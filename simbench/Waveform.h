#pragma once
// Waveform files as the generators store them: a header of "{TAG: value}"
// tags, "{WAVEFORM-<L>: 0,#", 4 bytes per I/Q pair and a closing "}". Two
// sample packings exist: offset binary (TYPE "WV,0", 16-bit words with 14
// significant bits, 32000 per full scale around 32768) and signed
// little-endian (TYPE "KLD-WV,0", 32767 per full scale).

#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace simbench {

// Where a marker line switches within one cycle of a waveform.
struct MarkerEdges {
    long rising = -1;  // first sample at which the line goes high (cyclically), -1 none
    long falling = -1; // first sample at which it goes low, -1 none
};

// A marker list "0-10:1;11:0": entries "position[-position]:state" in order;
// each state holds from its first position until the next entry. Positions
// beyond the waveform are ignored; before the first entry the line is low.
std::optional<MarkerEdges> MarkerListEdges(std::string_view list, std::size_t samples);

// The edges of a trigger output that is high for `onTime` samples and low for
// `offTime` samples, restarting with every waveform cycle.
MarkerEdges PulseEdges(long onTime, long offTime, std::size_t samples);

class Waveform {
public:
    enum class Packing { OffsetBinary, Signed };

    std::string name;
    Packing packing = Packing::OffsetBinary;
    std::vector<std::pair<std::string, std::string>> tags; // in file order
    std::vector<std::uint16_t> words;                      // I0 Q0 I1 Q1 ... as stored
    double clockHz = 0;                                    // the CLOCK tag, 0 when absent
    double crestDb = 0; // the CRESTFACTOR tag (peak over RMS amplitude), 0 when absent

    std::size_t Samples() const { return words.size() / 2; }
    // Sample k as full-scale values (1.0 = full scale).
    std::complex<double> Sample(std::size_t k) const {
        return {Value(words[2 * k]), Value(words[2 * k + 1])};
    }
    double Value(std::uint16_t word) const {
        return packing == Packing::Signed
                   ? static_cast<double>(static_cast<std::int16_t>(word)) / 32767.0
                   : (static_cast<double>(word) - 32768.0) / 32000.0;
    }
    // The value of a tag ("MARKER LIST 1"), nullopt when absent.
    std::optional<std::string> Tag(std::string_view tag) const;
    // Edges of marker line 1..4 as the file describes them.
    MarkerEdges Marker(int line) const;
};

// Decodes a waveform file. `requireSigned` selects the packing the instrument
// expects (true for "KLD-WV"). On failure returns nullopt and a reason.
std::optional<Waveform> DecodeWaveform(std::string_view file, bool requireSigned,
                                       std::size_t maxSamples, std::string& why);

} // namespace simbench
