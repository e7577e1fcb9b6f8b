#include "cRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <type_traits>
#include <utility>

using namespace Registry;

namespace {

std::string ProgramName() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("quillon") : exe.stem().string();
}

// Closes the key whichever way the operation leaves.
class OpenedKey {
public:
    OpenedKey() = default;
    ~OpenedKey() {
        if (key != 0) UserStore().CloseKey(key);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    HKEY key = 0;
};

std::vector<std::uint8_t> TextBytes(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

// A "%" with a further "%" at least two places after it: text that refers to
// an environment variable.
bool HasVariableReference(const std::string& text) {
    std::size_t first = text.find('%');
    return first != std::string::npos && text.rfind('%') >= first + 2;
}

std::string TextOf(const cRegistry::Variant& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, std::string>)
                return v;
            else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>)
                return std::string(v.begin(), v.end());
            else
                return std::to_string(v);
        },
        value);
}

std::int32_t FromLittleEndian(const std::vector<std::uint8_t>& data) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < data.size(); ++i)
        v |= std::uint32_t(data[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

std::vector<std::uint8_t> ToLittleEndian(std::int32_t value) {
    auto u = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

class Restore {
public:
    Restore(HKEY& root, std::string& section)
        : root_(root), section_(section), savedRoot_(root), savedSection_(section) {}
    ~Restore() {
        root_ = savedRoot_;
        section_ = savedSection_;
    }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    HKEY& root_;
    std::string& section_;
    HKEY savedRoot_;
    std::string savedSection_;
};

} // namespace

cRegistry::Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description), Number(number), Source(std::move(source)),
      Description(std::move(description)) {}

void cRegistry::Raise(std::int32_t number, std::string description) const {
    throw Error(number, ProgramName() + ".cRegistry", std::move(description));
}

std::string cRegistry::RootText() const {
    return std::to_string(static_cast<std::int32_t>(classKey_));
}

bool cRegistry::KeyExists() {
    OpenedKey k;
    return UserStore().OpenKey(classKey_, sectionKey_, k.key) == ERROR_SUCCESS;
}

bool cRegistry::CreateKey() {
    OpenedKey k;
    if (UserStore().CreateKey(classKey_, sectionKey_, k.key) != ERROR_SUCCESS)
        Raise(ErrorNumber, "Failed to create registry Key: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteKey() {
    if (UserStore().DeleteKey(classKey_, sectionKey_) != ERROR_SUCCESS)
        Raise(ErrorNumber,
              "Failed to delete registry Key: '" + RootText() + "',Section: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteValue() {
    OpenedKey k;
    if (UserStore().OpenKey(classKey_, sectionKey_, k.key) != ERROR_SUCCESS)
        Raise(ErrorNumber, "Failed to open key '" + RootText() + "',Section: '" + sectionKey_ +
                               "' for delete access");
    if (UserStore().DeleteValue(k.key, valueKey_) != ERROR_SUCCESS)
        Raise(ErrorNumber, "Failed to delete registry Key: '" + RootText() + "',Section: '" +
                               sectionKey_ + "',Key: '" + valueKey_);
    return true;
}

cRegistry::Variant cRegistry::Value() {
    Store& store = UserStore();
    OpenedKey k;
    if (store.OpenKey(classKey_, sectionKey_, k.key) != ERROR_SUCCESS) return default_;
    std::uint32_t type = 0, size = 0;
    Result r = store.QueryValue(k.key, valueKey_, &type, nullptr, &size);
    if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) return default_;
    std::vector<std::uint8_t> data(size);
    if (store.QueryValue(k.key, valueKey_, &type, data.data(), &size) != ERROR_SUCCESS)
        return default_;
    data.resize(size);
    valueType_ = static_cast<std::int32_t>(type);
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        // The closing NUL is dropped only when it is there: text written
        // without one keeps its last character.
        if (!data.empty() && data.back() == 0) data.pop_back();
        std::string text(data.begin(), data.end());
        return type == REG_EXPAND_SZ ? ExpandEnvStr(text) : text;
    }
    case REG_DWORD:
        return FromLittleEndian(data);
    case REG_DWORD_BIG_ENDIAN:
        return SwapEndian(FromLittleEndian(data));
    default:
        return data;
    }
}

void cRegistry::Value(const Variant& value) {
    Store& store = UserStore();
    auto failure = [&] {
        return "Failed to set registry value Key: '" + RootText() + "',Section: '" + sectionKey_ +
               "',Key: '" + valueKey_ + "' to value: '" + TextOf(value) + "'";
    };
    OpenedKey k;
    if (store.CreateKey(classKey_, sectionKey_, k.key) != ERROR_SUCCESS)
        Raise(ErrorNumber, failure());

    Result r = ERROR_INVALID_DATA;
    const auto* number16 = std::get_if<std::int16_t>(&value);
    const auto* number32 = std::get_if<std::int32_t>(&value);
    switch (valueType_) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        // Bytes are no text; they fall through to the failure below.
        if (!std::holds_alternative<std::vector<std::uint8_t>>(value)) {
            std::string text = TextOf(value);
            r = store.SetValue(k.key, valueKey_,
                               HasVariableReference(text) ? REG_EXPAND_SZ : REG_SZ,
                               TextBytes(text));
        }
        break;
    case REG_BINARY: {
        const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value);
        if (bytes == nullptr) Raise(ErrorNumber, "");
        r = store.SetValue(k.key, valueKey_, REG_BINARY, *bytes);
        break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        // Only whole numbers are written; a value of any other kind fails
        // instead of leaving the old value behind unnoticed.
        if (number16 || number32) {
            std::int32_t n = number16 ? *number16 : *number32;
            if (valueType_ == REG_DWORD_BIG_ENDIAN) n = SwapEndian(n);
            r = store.SetValue(k.key, valueKey_, static_cast<std::uint32_t>(valueType_),
                               ToLittleEndian(n));
        }
        break;
    default:
        break;
    }
    if (r != ERROR_SUCCESS) Raise(SetValueErrorNumber, failure());
}

bool cRegistry::EnumerateValues(std::vector<std::string>& names, std::int32_t& count) {
    names.clear();
    count = 0;
    Store& store = UserStore();
    OpenedKey k;
    if (store.OpenKey(classKey_, sectionKey_, k.key) != ERROR_SUCCESS) return true;
    KeyInfo info;
    if (store.QueryInfoKey(k.key, info) != ERROR_SUCCESS) return true;
    std::string name;
    while (store.EnumValue(k.key, static_cast<std::uint32_t>(count),
                           std::size_t{info.maxValueNameLength} + 1, name) == ERROR_SUCCESS) {
        names.push_back(name);
        ++count;
    }
    return true;
}

bool cRegistry::EnumerateSections(std::vector<std::string>& names, std::int32_t& count) {
    names.clear();
    count = 0;
    Store& store = UserStore();
    OpenedKey k;
    if (store.OpenKey(classKey_, sectionKey_, k.key) != ERROR_SUCCESS) return true;
    std::string name;
    while (store.EnumKey(k.key, static_cast<std::uint32_t>(count), 255, name) == ERROR_SUCCESS) {
        names.push_back(name);
        ++count;
    }
    return true;
}

void cRegistry::SetClassValue(const Variant& value) {
    Restore restore(classKey_, sectionKey_);
    const std::string section = sectionKey_;
    classKey_ = HKEY_CLASSES_ROOT;
    Value(value);
    classKey_ = HKEY_LOCAL_MACHINE;
    sectionKey_ = "SOFTWARE\\Classes\\" + section;
    Value(value);
}

void cRegistry::CreateEXEAssociation(const std::string& exePath, const std::string& className,
                                     const std::string& description,
                                     const std::string& fileExtension,
                                     const std::string& openMenuText, bool supportPrint,
                                     const std::string& printMenuText, bool supportNew,
                                     const std::string& newMenuText, bool supportInstall,
                                     const std::string& installMenuText, std::int32_t defaultIcon) {
    std::size_t first = exePath.find_first_not_of(' ');
    std::string exe = first == std::string::npos
                          ? std::string()
                          : exePath.substr(first, exePath.find_last_not_of(' ') - first + 1);
    if (exe.empty() || exe.front() != '"') exe.insert(0, "\"");
    if (exe.size() < 2 || exe.back() != '"') exe += '"';
    const std::string document = "\"%1\"";

    valueType_ = REG_SZ;
    valueKey_.clear();
    auto write = [&](const std::string& key, const std::string& text) {
        sectionKey_ = key;
        SetClassValue(text);
    };
    auto orDefault = [](const std::string& text, const std::string& fallback) {
        return text.empty() ? fallback : text;
    };
    const std::string shell = className + "\\shell\\";
    write("." + fileExtension, className);
    write(className, description);
    write(shell + "open", orDefault(openMenuText, "&Open"));
    write(shell + "open\\command", exe + " " + document);
    if (supportPrint) {
        write(shell + "print", orDefault(printMenuText, "&Print"));
        write(shell + "print\\command", exe + " /p " + document);
    }
    if (supportInstall) {
        write(shell + "add", orDefault(installMenuText, "&Install " + fileExtension));
        write(shell + "add\\command", exe + " /a " + document);
    }
    if (supportNew) {
        write(shell + "new", orDefault(newMenuText, "&New"));
        write(shell + "new\\command", exe + " /n " + document);
    }
    if (defaultIcon > -1)
        write(className + "\\DefaultIcon", exe + "," + std::to_string(defaultIcon));
}

void cRegistry::CreateAdditionalEXEAssociations(const std::string& className,
                                                const std::vector<std::string>& texts) {
    if (texts.size() % 3 != 0)
        Raise(ErrorNumber, "Invalid parameter list passed to CreateAdditionalEXEAssociations - "
                           "expected Name/Text/Command");
    sectionKey_ = className;
    if (!KeyExists())
        Raise(ErrorNumber, "Error - attempt to create additional associations before class "
                           "defined.");
    valueType_ = REG_SZ;
    valueKey_.clear();
    for (std::size_t i = 0; i < texts.size(); i += 3) {
        sectionKey_ = className + "\\shell\\" + texts[i];
        SetClassValue(texts[i + 1]);
        sectionKey_ += "\\command";
        SetClassValue(texts[i + 2]);
    }
}

std::int32_t cRegistry::SwapEndian(std::int32_t value) {
    auto u = static_cast<std::uint32_t>(value);
    u = (u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24);
    return static_cast<std::int32_t>(u);
}

// %NAME% is replaced by the variable's value; a name that is not set is left
// as written, and its closing "%" may open the next reference.
std::string cRegistry::ExpandEnvStr(const std::string& text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find('%', pos);
        if (open == std::string::npos) break;
        out.append(text, pos, open - pos);
        std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            pos = open;
            break;
        }
        std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value != nullptr) {
            out += value;
            pos = close + 1;
        } else {
            out.append(text, open, close - open);
            pos = close;
        }
    }
    out.append(text, pos, std::string::npos);
    return out;
}
