#pragma once
// A registry of our own: predefined roots holding keys and typed values, kept
// in one human-readable text file per user. The calls, result codes and type
// codes are those of the registry API the callers were written against, so
// their logic (handles, size queries, "more data", enumeration by index)
// carries over unchanged.
//
// Key paths use "\" between names. Key and value names compare
// case-insensitively (Latin-1) and keep the case they were created with.
// Every change is written to the file at once, replacing it atomically; a file
// changed by someone else (another store, another process) is read again before
// the next call. Each change reads, changes and replaces the file under an
// advisory lock on a side file (the file's name + ".lock"), so changes made by
// several processes at once are never lost.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace Registry {

using HKEY = std::uint32_t;  // 0 is never a valid handle
using Result = std::int32_t; // ERROR_SUCCESS or one of the codes below

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

inline constexpr Result ERROR_SUCCESS = 0;
inline constexpr Result ERROR_FILE_NOT_FOUND = 2;     // key or value missing
inline constexpr Result ERROR_ACCESS_DENIED = 5;      // key still has sub-keys, or is a root
inline constexpr Result ERROR_INVALID_HANDLE = 6;     // 0 or a handle never opened / closed
inline constexpr Result ERROR_INVALID_DATA = 13;      // value of a kind that cannot be written
inline constexpr Result ERROR_INVALID_PARAMETER = 87; // bad name or buffer arguments
inline constexpr Result ERROR_BAD_PATHNAME = 161;     // empty name inside a key path
inline constexpr Result ERROR_MORE_DATA = 234;        // the buffer is too small
inline constexpr Result ERROR_NO_MORE_ITEMS = 259;    // enumeration index past the end
inline constexpr Result ERROR_BADDB = 1009;           // the file does not parse: not overwritten
inline constexpr Result ERROR_CANTWRITE = 1013;       // the file could not be replaced
inline constexpr Result ERROR_KEY_DELETED = 1018;     // the handle's key no longer exists

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;

// Longest name of one key in a path.
inline constexpr std::size_t MaxKeyNameLength = 255;
// Most levels of keys below a root. A file with a deeper key is damaged; a
// call that would create one gets ERROR_INVALID_PARAMETER.
inline constexpr std::size_t MaxKeyDepth = 512;

struct KeyInfo {
    std::uint32_t subKeys = 0;
    std::uint32_t maxSubKeyLength = 0; // characters, without terminator
    std::uint32_t values = 0;
    std::uint32_t maxValueNameLength = 0; // characters, without terminator
    std::uint32_t maxValueLength = 0;     // bytes
};

class Store {
public:
    explicit Store(std::string file);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& File() const;
    // Switches to another file; every handle opened so far becomes invalid.
    void SetFile(std::string file);

    // `parent` is a root or an open handle. `key` receives the new handle, or 0.
    Result OpenKey(HKEY parent, std::string_view subKey, HKEY& key);
    // Opens the key, creating it and any missing keys above it.
    Result CreateKey(HKEY parent, std::string_view subKey, HKEY& key);
    // Closing a root succeeds and does nothing; closing 0 fails.
    Result CloseKey(HKEY key);

    // Size-query protocol: with `data` null, `*size` receives the value's size.
    // With `data`, `*size` is the buffer size on entry and the value's size on
    // return; a short buffer gives ERROR_MORE_DATA and copies nothing.
    // `type` (if not null) receives the type whenever the value exists.
    Result QueryValue(HKEY key, std::string_view name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size);
    Result SetValue(HKEY key, std::string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data);
    Result DeleteValue(HKEY key, std::string_view name);
    // Deletes a key without sub-keys.
    Result DeleteKey(HKEY parent, std::string_view subKey);

    // Names by index: sub-keys in alphabetical order (ignoring case), values in
    // the order they were created. `capacity` counts the terminator as the
    // callers' character buffers do, so a name needs capacity > its length.
    Result EnumKey(HKEY key, std::uint32_t index, std::size_t capacity, std::string& name);
    Result EnumValue(HKEY key, std::uint32_t index, std::size_t capacity, std::string& name);
    Result QueryInfoKey(HKEY key, KeyInfo& info);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Where the user's registry lives: $QUILLON_REGISTRY_FILE when set, otherwise
// quillon/registry.txt under $XDG_CONFIG_HOME, or under ~/.config.
std::string DefaultFile();

// The process's registry, on DefaultFile() as it was at first use.
Store& UserStore();

} // namespace Registry
