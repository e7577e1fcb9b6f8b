#pragma once
// Per-value exchange between variables and the settings file.

#include <cstdint>
#include <string>
#include <variant>

namespace INIIO {

// A tagged value: its alternative selects how a key is read and written.
// std::monostate stands for "no value" (a number too large to be read).
using Tagged = std::variant<std::monostate, bool, std::int16_t, std::int32_t, float, double, std::string>;

// What INIRead makes of the key's text.
enum class ReadAs { Text, Boolean, Number };

// The key's text (at most 749 characters), or `def` turned into text when the
// key is missing, read as a Boolean, a number (a double; monostate when it
// overflows) or the text itself.
Tagged INIRead(const std::string& file, const std::string& section, const std::string& key,
               const Tagged& def, ReadAs type);
// The kind follows the tagged type of `typeSample` (a missing sample reads text).
Tagged INIRead(const std::string& file, const std::string& section, const std::string& key,
               const Tagged& def, const Tagged& typeSample);

// Writes the value's text ("1"/"0" for Booleans, TrimStr for numbers); false
// when the file could not be written.
bool INIWrite(const std::string& file, const std::string& section, const std::string& key,
              const Tagged& value);

// Mode 0 assigns the default, 1 reads the key (a missing key or a value the
// variable cannot hold gives the default), 2 writes the variable; any other
// mode does nothing. False only when a write failed.
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 bool& value, int mode, bool def);
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 std::int16_t& value, int mode, std::int16_t def);
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 std::int32_t& value, int mode, std::int32_t def);
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 float& value, int mode, float def);
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 double& value, int mode, double def);
bool INIExchange(const std::string& file, const std::string& section, const std::string& key,
                 std::string& value, int mode, const std::string& def);

// The program-wide plain number-to-text conversion ("." decimal, no leading
// zero, 15 significant digits for a double and 7 for a single), trimmed.
std::string TrimStr(double value);
std::string TrimStr(float value);
std::string TrimStr(std::int32_t value);
std::string TrimStr(std::int64_t value);
std::string TrimStr(const Tagged& value);

} // namespace INIIO
