#pragma once
// The command trees of the simulated instruments and the execution of one
// program message.

#include <cstddef>
#include <string>
#include <string_view>

namespace simbench {

class Bench;
class Instrument;

// What an instrument answers to one message; empty text means no answer. When
// the answer holds a definite-length block, its data starts at blockStart.
struct Response {
    std::string text;
    bool answered = false; // a query answered, if only with empty text
    std::size_t blockStart = std::string::npos;
    std::size_t blockLength = 0;
};

// Runs every unit of a message in order. A unit that fails puts its error in
// the queue and the next unit runs; answers of queries are joined with ';'.
Response Execute(Bench& bench, Instrument& instrument, const std::string& message);

// The I/Q block layout of "TRAC:IQ:DATA?": float32 little-endian, 524288 I
// values, then 524288 Q values, then the next block of each; the last blocks
// hold the rest.
constexpr std::size_t IqBlockValues = 524288;

// A waveform name as the instrument files it: blanks removed at both ends;
// on the KLD also the drive, folder and ".WV" extension ("D:\NAME.WV" and
// "NAME" name the same file).
std::string StoredWaveformName(bool kldFamily, std::string_view name);

} // namespace simbench
