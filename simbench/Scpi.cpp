#include "Scpi.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace simbench::scpi {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// Skips a quoted string or a definite-length block starting at `i`; returns
// the index just after it. Any other character returns i + 1. An indefinite
// block ("#0") runs to the end of the text.
std::size_t SkipItem(std::string_view s, std::size_t i) {
    const char c = s[i];
    if (c == '\'' || c == '"') {
        std::size_t j = i + 1;
        while (j < s.size()) {
            if (s[j] == c) {
                if (j + 1 < s.size() && s[j + 1] == c) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return s.size();
    }
    if (c == '#' && i + 1 < s.size() && IsDigit(s[i + 1])) {
        const int n = s[i + 1] - '0';
        if (n == 0) return s.size();
        std::size_t j = i + 2;
        std::uint64_t length = 0;
        for (int k = 0; k < n; ++k, ++j) {
            if (j >= s.size() || !IsDigit(s[j])) return i + 1;
            length = length * 10 + static_cast<std::uint64_t>(s[j] - '0');
        }
        return static_cast<std::size_t>(std::min<std::uint64_t>(s.size(), j + length));
    }
    return i + 1;
}

// Splits at `separator` outside strings and blocks.
std::vector<std::string_view> SplitOutside(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == separator) {
            parts.push_back(s.substr(begin, i - begin));
            begin = ++i;
            continue;
        }
        i = SkipItem(s, i);
    }
    parts.push_back(s.substr(begin));
    return parts;
}

int ParseParam(std::string_view text, Param& param) {
    // Only leading blanks go here: a block may end in bytes that look blank.
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    if (Trim(text).empty()) return SyntaxError;
    const char c = text.front();
    if (c == '\'' || c == '"') {
        param.kind = Param::String;
        param.text.clear();
        std::size_t i = 1;
        for (;;) {
            if (i >= text.size()) return SyntaxError; // no closing quote
            if (text[i] == c) {
                if (i + 1 < text.size() && text[i + 1] == c) {
                    param.text.push_back(c);
                    i += 2;
                    continue;
                }
                break;
            }
            param.text.push_back(text[i++]);
        }
        return Trim(text.substr(i + 1)).empty() ? NoError : SyntaxError;
    }
    if (c == '#' && text.size() > 1 && IsDigit(text[1])) {
        param.kind = Param::Block;
        const int n = text[1] - '0';
        if (n == 0) {
            param.block = text.substr(2);
            return NoError;
        }
        std::size_t i = 2;
        std::uint64_t length = 0;
        for (int k = 0; k < n; ++k, ++i) {
            if (i >= text.size() || !IsDigit(text[i])) return InvalidBlockData;
            length = length * 10 + static_cast<std::uint64_t>(text[i] - '0');
        }
        if (text.size() - i < length) return InvalidBlockData;
        param.block = text.substr(i, static_cast<std::size_t>(length));
        // Only blanks may follow the data; anything else means the stated
        // length does not fit the data that came.
        return Trim(text.substr(i + static_cast<std::size_t>(length))).empty() ? NoError
                                                                               : InvalidBlockData;
    }
    param.kind = Param::Text;
    param.text.assign(Trim(text));
    return NoError;
}

} // namespace

std::string_view ErrorText(int code) {
    switch (code) {
    case NoError:
        return "No error";
    case CommandError:
        return "Command error";
    case SyntaxError:
        return "Syntax error";
    case DataTypeError:
        return "Data type error";
    case ParameterNotAllowed:
        return "Parameter not allowed";
    case MissingParameter:
        return "Missing parameter";
    case UndefinedHeader:
        return "Undefined header";
    case HeaderSuffixOutOfRange:
        return "Header suffix out of range";
    case InvalidSuffix:
        return "Invalid suffix";
    case InvalidCharacterData:
        return "Invalid character data";
    case InvalidBlockData:
        return "Invalid block data";
    case ExecutionError:
        return "Execution error";
    case SettingsConflict:
        return "Settings conflict";
    case DataOutOfRange:
        return "Data out of range";
    case IllegalParameterValue:
        return "Illegal parameter value";
    case HardwareMissing:
        return "Hardware missing";
    case FileNameNotFound:
        return "File name not found";
    case QueueOverflow:
        return "Queue overflow";
    case InputBufferOverrun:
        return "Input buffer overrun";
    default:
        return "Error";
    }
}

std::string ErrorAnswer(int code) {
    std::string s = std::to_string(code);
    s += ",\"";
    s += ErrorText(code);
    s += '"';
    return s;
}

// --- MessageFramer -------------------------------------------------------------

MessageFramer::MessageFramer(std::size_t maxMessage)
    : maxMessage_(maxMessage), budget_(maxMessage) {}

void MessageFramer::Append(const char* data, std::size_t size) {
    buffer_.append(data, size);
    Scan();
    const std::size_t partialStart = HasMessage() ? ends_.back().offset + 1 : start_;
    if (buffer_.size() - partialStart > budget_) {
        buffer_.resize(partialStart);
        scan_ = buffer_.size();
        state_ = State::Normal;
        overrun_ = true;
    }
}

void MessageFramer::Scan() {
    const std::size_t size = buffer_.size();
    while (scan_ < size) {
        const char c = buffer_[scan_];
        switch (state_) {
        case State::BlockData: {
            const std::uint64_t n = std::min<std::uint64_t>(blockRemaining_, size - scan_);
            scan_ += static_cast<std::size_t>(n);
            blockRemaining_ -= n;
            if (blockRemaining_ == 0) {
                state_ = State::Normal;
                blockEnd_ = scan_;
            }
            continue;
        }
        case State::Hash:
            if (c >= '1' && c <= '9') {
                digitsLeft_ = c - '0';
                blockLength_ = 0;
                state_ = State::BlockDigits;
                ++scan_;
            } else if (c == '0') {
                state_ = State::Indefinite;
                ++scan_;
            } else {
                state_ = State::Normal; // not a block; look at c again
            }
            continue;
        case State::BlockDigits:
            if (IsDigit(c)) {
                blockLength_ = blockLength_ * 10 + static_cast<std::uint64_t>(c - '0');
                ++scan_;
                if (--digitsLeft_ == 0) {
                    // A block larger than any message we take is not honoured:
                    // its bytes are read as text and the parser refuses them.
                    if (blockLength_ == 0 || blockLength_ > maxMessage_) {
                        state_ = State::Normal;
                    } else {
                        blockRemaining_ = blockLength_;
                        state_ = State::BlockData;
                    }
                }
            } else {
                state_ = State::Normal;
            }
            continue;
        default:
            break;
        }
        if (c == '\n') {
            ends_.push_back({scan_, scan_ == blockEnd_});
            ++scan_;
            state_ = State::Normal;
            continue;
        }
        switch (state_) {
        case State::Normal:
            if (c == '\'')
                state_ = State::SingleQuote;
            else if (c == '"')
                state_ = State::DoubleQuote;
            else if (c == '#')
                state_ = State::Hash;
            break;
        case State::SingleQuote:
            if (c == '\'') state_ = State::Normal;
            break;
        case State::DoubleQuote:
            if (c == '"') state_ = State::Normal;
            break;
        default:
            break; // Indefinite: everything up to the line feed is data
        }
        ++scan_;
    }
}

bool MessageFramer::Next(std::string& message) {
    if (!HasMessage()) return false;
    const std::size_t end = ends_[endsHead_].offset;
    // A carriage return right before the line feed is a terminator unless it
    // is the last byte of a block.
    const bool keepReturn = ends_[endsHead_].afterBlock;
    if (++endsHead_ == ends_.size()) {
        ends_.clear();
        endsHead_ = 0;
    }
    if (start_ == 0 && end + 1 == buffer_.size()) {
        // The usual case, and the one of big uploads: the buffer is exactly one
        // message, so hand it over instead of copying it.
        message = std::move(buffer_);
        message.pop_back();
        buffer_.clear();
        start_ = scan_ = 0;
        blockEnd_ = std::size_t(-1);
    } else {
        message.assign(buffer_, start_, end - start_);
        start_ = end + 1;
        if (start_ == buffer_.size()) {
            buffer_.clear();
            start_ = scan_ = 0;
            blockEnd_ = std::size_t(-1);
        } else if (start_ > (std::size_t(1) << 20) && start_ > buffer_.size() / 2) {
            buffer_.erase(0, start_);
            scan_ -= start_;
            blockEnd_ = blockEnd_ >= start_ ? blockEnd_ - start_ : std::size_t(-1);
            ends_.erase(ends_.begin(), ends_.begin() + static_cast<std::ptrdiff_t>(endsHead_));
            endsHead_ = 0;
            for (auto& e : ends_)
                e.offset -= start_;
            start_ = 0;
        }
    }
    if (!keepReturn && !message.empty() && message.back() == '\r') message.pop_back();
    return true;
}

bool MessageFramer::TakeOverrun() {
    const bool was = overrun_;
    overrun_ = false;
    return was;
}

// --- Units -----------------------------------------------------------------------

std::vector<std::string_view> SplitUnits(std::string_view message) {
    return SplitOutside(message, ';');
}

int ParseUnit(std::string_view text, Unit& unit) {
    unit = Unit{};
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    std::size_t h = 0;
    while (h < text.size() && !IsBlank(text[h]))
        ++h;
    std::string_view header = text.substr(0, h);
    unit.header.assign(header);
    if (header.empty()) return SyntaxError;
    for (char c : header) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '*' ||
                        c == '?' || c == '_';
        if (!ok) return c == '#' || c == '\'' || c == '"' ? SyntaxError : CommandError;
    }
    if (header.back() == '?') {
        unit.query = true;
        header.remove_suffix(1);
    }
    if (header.empty()) return SyntaxError;
    if (header.front() == '*') {
        unit.common = true;
        header.remove_prefix(1);
        if (header.empty() || header.find_first_of(":*?") != std::string_view::npos)
            return SyntaxError;
        unit.nodes.emplace_back(header);
    } else {
        if (header.front() == ':') {
            unit.rooted = true;
            header.remove_prefix(1);
        }
        for (std::string_view node : SplitOutside(header, ':')) {
            if (node.empty() || node.find_first_of("*?") != std::string_view::npos)
                return SyntaxError;
            unit.nodes.emplace_back(node);
        }
    }
    std::string_view rest = text.substr(h);
    while (!rest.empty() && IsBlank(rest.front()))
        rest.remove_prefix(1);
    if (rest.empty()) return NoError;
    for (std::string_view part : SplitOutside(rest, ',')) {
        Param p;
        const int e = ParseParam(part, p);
        if (e != NoError) return e;
        unit.params.push_back(std::move(p));
    }
    return NoError;
}

// --- Patterns --------------------------------------------------------------------

Pattern::Pattern(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        bool optional = false;
        std::string_view word;
        if (text[i] == '[') {
            const std::size_t close = text.find(']', i);
            if (close == std::string_view::npos) {
                nodes_.clear();
                suffixCount_ = 0;
                valid_ = false;
                return;
            }
            word = text.substr(i + 1, close - i - 1);
            i = close + 1;
            optional = true;
        } else {
            if (text[i] == ':') ++i;
            std::size_t j = i;
            while (j < text.size() && text[j] != ':' && text[j] != '[')
                ++j;
            word = text.substr(i, j - i);
            i = j;
        }
        if (!word.empty() && word.front() == ':') word.remove_prefix(1);
        Node node{};
        node.optional = optional;
        node.suffix = !word.empty() && word.back() == '#';
        if (node.suffix) {
            word.remove_suffix(1);
            node.suffixIndex = suffixCount_++;
        }
        node.shortLength = 0;
        while (node.shortLength < word.size() &&
               (std::isupper(static_cast<unsigned char>(word[node.shortLength])) ||
                IsDigit(word[node.shortLength])))
            ++node.shortLength;
        for (char c : word)
            node.longForm.push_back(Upper(c));
        nodes_.push_back(std::move(node));
    }
}

bool Pattern::Match(const std::vector<std::string>& nodes, std::vector<int>& suffixes) const {
    suffixes.assign(suffixCount_, 1);
    if (!valid_) return false;
    // Optional nodes make the same (pattern node, header node) pair reachable
    // along many paths; remembering the pairs that failed keeps a match linear
    // in their number instead of exponential in the optional nodes.
    std::vector<bool> failed((nodes_.size() + 1) * (nodes.size() + 1), false);
    return MatchFrom(0, 0, nodes, suffixes, failed);
}

bool Pattern::MatchFrom(std::size_t p, std::size_t t, const std::vector<std::string>& nodes,
                        std::vector<int>& suffixes, std::vector<bool>& failed) const {
    if (p == nodes_.size()) return t == nodes.size();
    const std::size_t state = p * (nodes.size() + 1) + t;
    if (failed[state]) return false;
    const Node& node = nodes_[p];
    if (t < nodes.size()) {
        std::string_view word = nodes[t];
        std::size_t digits = 0;
        while (digits < word.size() && IsDigit(word[word.size() - 1 - digits]))
            ++digits;
        // A node whose own name ends in digits would be cut here; the command
        // trees of the bench have none.
        const std::string_view base = word.substr(0, word.size() - digits);
        const bool nameMatches =
            EqualNoCase(base, node.longForm) ||
            EqualNoCase(base, std::string_view(node.longForm).substr(0, node.shortLength));
        if (nameMatches && (digits == 0 || node.suffix)) {
            int value = 1;
            const std::string_view number = word.substr(base.size());
            if (number.size() > 6) {
                failed[state] = true;
                return false;
            }
            if (digits > 0) std::from_chars(number.data(), number.data() + number.size(), value);
            if (MatchFrom(p + 1, t + 1, nodes, suffixes, failed)) {
                if (node.suffix) suffixes[node.suffixIndex] = value;
                return true;
            }
        }
    }
    if (node.optional && MatchFrom(p + 1, t, nodes, suffixes, failed)) {
        if (node.suffix) suffixes[node.suffixIndex] = 1;
        return true;
    }
    failed[state] = true;
    return false;
}

bool MnemonicMatches(std::string_view mnemonic, std::string_view word) {
    std::size_t shortLength = 0;
    while (shortLength < mnemonic.size() &&
           (std::isupper(static_cast<unsigned char>(mnemonic[shortLength])) ||
            IsDigit(mnemonic[shortLength])))
        ++shortLength;
    return EqualNoCase(word, mnemonic) || EqualNoCase(word, mnemonic.substr(0, shortLength));
}

// --- Numbers ---------------------------------------------------------------------

int ParseNumber(std::string_view text, UnitKind kind, double& value) {
    text = Trim(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t mantissa = i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0) return DataTypeError;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    double number = 0;
    const auto r = std::from_chars(text.data() + mantissa, text.data() + i, number);
    if (r.ec != std::errc() || r.ptr != text.data() + i || !std::isfinite(number))
        return DataTypeError;
    if (negative) number = -number;
    std::string suffix;
    for (char c : Trim(text.substr(i)))
        suffix.push_back(Upper(c));
    double scale = 1;
    if (!suffix.empty()) {
        switch (kind) {
        case UnitKind::Frequency:
            if (suffix == "HZ")
                scale = 1;
            else if (suffix == "KHZ")
                scale = 1e3;
            else if (suffix == "MHZ")
                scale = 1e6; // SCPI reads MHZ as megahertz
            else if (suffix == "GHZ")
                scale = 1e9;
            else
                return InvalidSuffix;
            break;
        case UnitKind::PowerDbm:
            if (suffix != "DBM") return InvalidSuffix;
            break;
        case UnitKind::RatioDb:
            if (suffix != "DB") return InvalidSuffix;
            break;
        case UnitKind::Voltage:
            if (suffix == "V")
                scale = 1;
            else if (suffix == "MV")
                scale = 1e-3;
            else if (suffix == "UV")
                scale = 1e-6;
            else
                return InvalidSuffix;
            break;
        case UnitKind::None:
            return InvalidSuffix;
        }
    }
    value = number * scale;
    return NoError;
}

std::string FormatNumber(double value) {
    char buffer[64];
    if (std::nearbyint(value) == value && std::fabs(value) < 1e15) {
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
        return std::string(buffer, r.ptr);
    }
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

std::string BlockHeader(std::size_t length) {
    const std::string digits = std::to_string(length);
    return "#" + std::to_string(digits.size()) + digits;
}

} // namespace simbench::scpi
