#pragma once
// Private-profile (INI) files: the reading and writing rules the settings file
// has always had on its original platform, kept exactly so that hand-edited
// files, comments and unknown keys survive every save.
//
// Text is 8-bit (Latin-1) bytes throughout; section and key names compare
// case-insensitively and are otherwise opaque (a backslash is an ordinary
// character). The first occurrence of a section or key wins.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace PrivateProfile {

// The value of `key` in `section`, blanks around it removed and one pair of
// enclosing quotes dropped; nullopt when the file, the section or the key is
// missing. Names are looked up as Write stores them. Reading never creates
// the file.
std::optional<std::string> Read(std::string_view section, std::string_view key,
                                const std::string& file);

// GetPrivateProfileString: copies the value (or `defaultText`, trailing blanks
// removed, when the key is missing) into `buffer`, cut to size - 1 characters
// and NUL-terminated; returns the number of characters copied.
std::size_t GetString(std::string_view section, std::string_view key, std::string_view defaultText,
                      char* buffer, std::size_t size, const std::string& file);

// WritePrivateProfileString: replaces the key's line, or appends the key at the
// end of its section, or appends the section at the end of the file. Every
// other line is kept byte for byte (a leading UTF-8 byte-order mark too). New
// lines end in CR LF. Each line break inside the section, key or value becomes
// one blank, so a value can never add lines of its own; blanks around the
// names are dropped. Read looks names up in the same form, so it finds what
// Write wrote under the same names. The file (the target of a symbolic link,
// when it is one) is replaced atomically, synced first and keeps its
// permissions. False when it could not be written, when it exists but cannot
// be read (such a file is never replaced), and for names the file cannot hold:
// a section with "]", a key with "=" or beginning with ";" or "[".
bool Write(std::string_view section, std::string_view key, std::string_view value,
           const std::string& file);

// Whether the file exists but cannot be read (a missing file is readable: it
// reads as empty).
bool Unreadable(const std::string& file);

// The call that writes the new file's bytes; tests put one here that fails as a
// full disk does. nullptr restores the system's write.
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetWriteCallForTest(WriteCall call);

} // namespace PrivateProfile
