#pragma once
// The instrument side of SCPI over a raw socket: cutting the byte stream into
// program messages, splitting messages into units and parameters, matching
// headers against command-tree patterns, reading numbers with unit suffixes,
// and the standard error codes with their texts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace simbench::scpi {

// Error codes of the SCPI standard that the instruments report.
enum Error : int {
    NoError = 0,
    CommandError = -100,
    SyntaxError = -102,
    DataTypeError = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    HeaderSuffixOutOfRange = -114,
    InvalidSuffix = -131,
    InvalidCharacterData = -141,
    InvalidBlockData = -161,
    ExecutionError = -200,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    IllegalParameterValue = -224,
    HardwareMissing = -241,
    FileNameNotFound = -256,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
};

// The standard text of an error code ("No error", "Undefined header", ...).
std::string_view ErrorText(int code);

// The answer to "SYST:ERR?" for one entry: 0,"No error" / -113,"Undefined header".
std::string ErrorAnswer(int code);

// Cuts an incoming byte stream into program messages. A message ends with a
// line feed outside a definite-length block; the bytes of a block ("#<n><len>"
// followed by len bytes) pass through whatever they hold, so ';' and line feeds
// inside waveform data never end anything. Quotes are tracked only so that a
// '#' inside a string does not start a block; a line feed always ends a message
// outside a block, so an unterminated string cannot swallow later messages.
class MessageFramer {
public:
    // The default limit is twice the largest waveform upload (2^24 pairs).
    explicit MessageFramer(std::size_t maxMessage = std::size_t(128) << 20);

    void Append(const char* data, std::size_t size);
    // Lowers the limit of the message being built below the constructor's,
    // so that the server can share one input budget between connections; a
    // block header is still honoured up to the constructor's limit.
    void SetBudget(std::size_t bytes) { budget_ = std::min(bytes, maxMessage_); }
    // Whether a complete message waits to be taken.
    bool HasMessage() const { return endsHead_ < ends_.size(); }
    // Takes the next complete message (without its line feed and without a
    // carriage return right before it). False when none is complete.
    bool Next(std::string& message);

    // True once a message grew beyond the limit without ending; the framer
    // then dropped everything it held. Reading the flag clears it.
    bool TakeOverrun();

    // The definite-length block being received, if any.
    bool InBlock() const { return state_ == State::BlockData; }
    std::uint64_t BlockLength() const { return blockLength_; }
    std::uint64_t BlockReceived() const { return blockLength_ - blockRemaining_; }

    std::size_t Buffered() const { return buffer_.size() - start_; }

private:
    enum class State { Normal, SingleQuote, DoubleQuote, Hash, BlockDigits, BlockData, Indefinite };
    void Scan();

    std::string buffer_;
    std::size_t start_ = 0; // first byte of the message being built
    std::size_t scan_ = 0;  // next byte to look at
    struct End {
        std::size_t offset; // of the message-ending line feed
        bool afterBlock;    // the line feed follows the last byte of a block
    };
    std::vector<End> ends_; // taken from endsHead_ on, so taking one is O(1)
    std::size_t endsHead_ = 0;
    std::size_t blockEnd_ = std::size_t(-1); // offset just after the last block's data
    State state_ = State::Normal;
    int digitsLeft_ = 0;
    std::uint64_t blockLength_ = 0;
    std::uint64_t blockRemaining_ = 0;
    std::size_t maxMessage_;
    std::size_t budget_;
    bool overrun_ = false;
};

// One parameter of a program message unit.
struct Param {
    enum Kind { Text, String, Block };
    Kind kind = Text;
    std::string text;       // Text: the raw trimmed text; String: the unquoted content
    std::string_view block; // Block: the data bytes (a view into the message)
};

// One program message unit: a header with its parameters.
struct Unit {
    bool common = false;            // "*IDN?" and friends
    bool rooted = false;            // the header began with ':'
    bool query = false;             // the header ended with '?'
    std::vector<std::string> nodes; // header nodes as written (common: the one mnemonic)
    std::vector<Param> params;
    std::string header; // the header as written, for the log of errors
};

// Splits a message into the texts of its units at ';' outside strings and
// blocks. Empty units (";;") are kept as empty texts.
std::vector<std::string_view> SplitUnits(std::string_view message);

// Parses one unit text. Returns NoError or the error code of the first fault.
int ParseUnit(std::string_view text, Unit& unit);

// A header pattern of the command tree, e.g. "[SOURce]:POWer[:LEVel][:IMMediate]".
// Upper-case letters give the short form; "[...]" marks an optional node; a
// trailing '#' allows a numeric suffix ("OUTPut#" matches OUTP, OUTP1, OUTPUT2).
class Pattern {
public:
    // A pattern with an unclosed "[" is refused: Valid() is false and it
    // matches nothing.
    explicit Pattern(std::string_view text);
    bool Valid() const { return valid_; }
    // Matches the header nodes (case-insensitive, short or long form). On a
    // match `suffixes` holds one number per '#' node (1 when none was given).
    bool Match(const std::vector<std::string>& nodes, std::vector<int>& suffixes) const;

private:
    struct Node {
        std::string longForm; // upper-cased
        std::size_t shortLength;
        bool optional;
        bool suffix;
        std::size_t suffixIndex; // its place in the suffixes, when `suffix`
    };
    bool MatchFrom(std::size_t p, std::size_t t, const std::vector<std::string>& nodes,
                   std::vector<int>& suffixes, std::vector<bool>& failed) const;
    std::vector<Node> nodes_;
    std::size_t suffixCount_ = 0;
    bool valid_ = true;
};

// Whether `word` is the short or the long form of `mnemonic` ("INTernal").
bool MnemonicMatches(std::string_view mnemonic, std::string_view word);

// What a numeric parameter measures; decides the suffixes it accepts.
enum class UnitKind { None, Frequency, PowerDbm, RatioDb, Voltage };

// Reads a decimal number with an optional unit suffix (whitespace allowed
// between them): "16MHZ", ".5MHZ", "1000 MHz", "-10dBm", "0.99V". Returns
// NoError, DataTypeError (not a number) or InvalidSuffix.
int ParseNumber(std::string_view text, UnitKind kind, double& value);

// Plain decimal text of a number for answers ("0", "1.5", "-3.25e-05").
std::string FormatNumber(double value);

// "#<digits><length>" for a definite-length block of `length` bytes.
std::string BlockHeader(std::size_t length);

} // namespace simbench::scpi
