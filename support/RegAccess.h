#pragma once
// The program's one way of reading and writing single registry values: text
// and 32-bit numbers, under a root and a key path, in the user's registry
// store. Nothing here reports an error to the caller; the result code of the
// last store call is kept in LastResult.

#include "INIIO.h"
#include "RegistryStore.h"

#include <cstdint>
#include <string>

namespace RegAccess {

// The code of the last store call an operation made (0 for success), usually
// the closing of its key: a missing value under an existing key still ends
// with 0. It is not a found/not-found indicator. When a write or a deletion
// itself fails, that first failure stays here instead of being covered by the
// close.
extern std::int32_t LastResult;

// True when the key can be opened.
bool RegKeyExists(Registry::HKEY root, const std::string& path);

// The value as text (up to its first NUL) or as a 32-bit number; the empty
// text for a missing key or value and for any other kind of value.
INIIO::Tagged ReadRegValue(Registry::HKEY root, const std::string& path, const std::string& name);

// Creates the key (and the keys above it) and writes the value: a number when
// the value is numeric (numbers, Booleans with True as -1, text that reads as
// a number, fractions rounded half to even) and fits 32 bits, otherwise text
// with the blanks around it removed. A numeric text too large for 32 bits is
// kept as text.
void WriteRegValue(Registry::HKEY root, const std::string& path, const std::string& name,
                   const INIIO::Tagged& value);

// Deletes the value when the key exists; a missing value is no error.
void DeleteRegValue(Registry::HKEY root, const std::string& path, const std::string& name);

} // namespace RegAccess
