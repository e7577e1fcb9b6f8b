#pragma once
// A general registry object for hosts: one value is addressed by root key,
// key path and value name; the object reads and writes it by type, tests,
// creates and deletes keys, enumerates names and registers file types with
// their shell commands. It works on the user's registry store. Failures are
// thrown as cRegistry::Error (number, source, description).

#include "RegistryStore.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class cRegistry {
public:
    // A value as read or written: nothing, text, a 16- or 32-bit number, or
    // the bytes of a binary value.
    using Variant = std::variant<std::monostate, std::string, std::int16_t, std::int32_t,
                                 std::vector<std::uint8_t>>;

    struct Error : std::runtime_error {
        Error(std::int32_t number, std::string source, std::string description);
        std::int32_t Number;
        std::string Source; // the program's name followed by ".cRegistry"
        std::string Description;
    };

    static constexpr std::int32_t ErrorNumber = 26001;
    // Object-error base 0x80040000 + 27049: a value could not be written.
    static constexpr std::int32_t SetValueErrorNumber = static_cast<std::int32_t>(0x800469A9u);

    // True when ClassKey\SectionKey can be opened.
    bool KeyExists();
    // Creates ClassKey\SectionKey with the keys above it.
    bool CreateKey();
    // Deletes ClassKey\SectionKey (a key without sub-keys).
    bool DeleteKey();
    // Deletes the value ValueKey.
    bool DeleteValue();

    // Reads the value (setting ValueType from it); Default when it cannot be
    // read. Text comes without its closing NUL (multi-text keeps its inner
    // NULs), expandable text with %NAME% replaced from the environment, numbers
    // as 32-bit integers, every other type as its bytes.
    Variant Value();
    // Writes the value by ValueType: 1 or 2 as text (expandable when it holds
    // a %NAME% reference), 3 as bytes, 4 as a little-endian and 5 as a
    // big-endian 32-bit number.
    void Value(const Variant& value);

    // Names(0 .. Count-1) receive the value names or the sub-key names of
    // ClassKey\SectionKey. Always true.
    bool EnumerateValues(std::vector<std::string>& names, std::int32_t& count);
    bool EnumerateSections(std::vector<std::string>& names, std::int32_t& count);

    // Registers a file type in our store (under HKEY_CLASSES_ROOT and under
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes): the extension, the class with its
    // description, and open/print/install/new shell commands running ExePath.
    // The desktop itself never sees these entries.
    void CreateEXEAssociation(const std::string& exePath, const std::string& className,
                              const std::string& description, const std::string& fileExtension,
                              const std::string& openMenuText, bool supportPrint,
                              const std::string& printMenuText, bool supportNew,
                              const std::string& newMenuText, bool supportInstall,
                              const std::string& installMenuText, std::int32_t defaultIcon);
    // Further shell commands for an existing class, given as Name, Text,
    // Command triples.
    void CreateAdditionalEXEAssociations(const std::string& className,
                                         const std::vector<std::string>& texts);

    std::int32_t ValueType() const { return valueType_; }
    void ValueType(std::int32_t type) { valueType_ = type; }
    Registry::HKEY ClassKey() const { return classKey_; }
    void ClassKey(Registry::HKEY key) { classKey_ = key; }
    const std::string& SectionKey() const { return sectionKey_; }
    void SectionKey(std::string path) { sectionKey_ = std::move(path); }
    const std::string& ValueKey() const { return valueKey_; }
    void ValueKey(std::string name) { valueKey_ = std::move(name); }
    const Variant& Default() const { return default_; }
    void Default(Variant value) { default_ = std::move(value); }

private:
    // Writes the value to SectionKey under both class roots.
    void SetClassValue(const Variant& value);
    static std::int32_t SwapEndian(std::int32_t value);
    static std::string ExpandEnvStr(const std::string& text);
    [[noreturn]] void Raise(std::int32_t number, std::string description) const;
    std::string RootText() const;

    Registry::HKEY classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    Variant default_;
    std::int32_t valueType_ = 0;
};
