#pragma once
// The registry's in-memory tree and its text file.
//
// File layout: one "[ROOT\key\sub]" header per key, followed by that key's
// values, one per line:
//     "name"=sz:"text"           @ names the key's default value
//     "name"=expand_sz:"%HOME%/x"
//     "name"=multi_sz:"one","two"
//     "name"=dword:0000000c      the number in 8 hexadecimal digits
//     "name"=dword_be:0000000c   the same for a big-endian number
//     "name"=hex:01,ff,20        binary bytes
//     "name"=hex(11):00,01       bytes of any other type (or of an unusual size)
// Inside quotes, \\ \" and \xHH are the escapes. Lines starting with ";" or "#"
// are comments. Bytes are Latin-1, as in the rest of the program's text.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Registry {

struct ValueEntry {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const ValueEntry&) const = default;
};

struct KeyNode {
    std::string name;
    std::vector<KeyNode> subKeys;   // sorted by FoldName
    std::vector<ValueEntry> values; // in creation order
    bool operator==(const KeyNode&) const = default;

    KeyNode* FindSubKey(std::string_view n);
    const KeyNode* FindSubKey(std::string_view n) const;
    KeyNode& AddSubKey(std::string_view n); // the existing one when present
    ValueEntry* FindValue(std::string_view n);
    const ValueEntry* FindValue(std::string_view n) const;
};

inline constexpr std::size_t RootCount = 5;

struct Tree {
    std::array<KeyNode, RootCount> roots; // in the order of RootHandles
    bool operator==(const Tree&) const = default;
};

// The roots, in file order.
extern const std::array<std::uint32_t, RootCount> RootHandles;
extern const std::array<std::string_view, RootCount> RootNames;

// Upper-cased Latin-1, the form names are compared in.
std::string FoldName(std::string_view name);

// Parses the file's text into `tree`. Lines that do not parse (a malformed
// value, a value before any key, a key deeper than MaxKeyDepth) are skipped;
// the result is false when there was any, so that the caller can refuse to
// overwrite a file it only partly understood. Time is n log n in the lines.
bool ParseRegistryText(std::string_view text, Tree& tree);
std::string FormatRegistryText(const Tree& tree);

} // namespace Registry
