#include "RegistryStore.h"

#include "NoCase.h"
#include "RegistryFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Registry {

namespace {

// What identifies one version of the file on disk. Every save renames a new
// file into place, so the inode alone changes with each of our writes; size and
// time catch editors that write in place.
struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
};

std::optional<Stamp> StampOf(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return Stamp{};
        return std::nullopt;
    }
    Stamp s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

bool WriteAll(int fd, const std::string& content) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes a complete new file beside the old one and renames it over it, so a
// reader (or a crash) only ever sees the old or the new content.
bool ReplaceFile(const std::string& file, const std::string& content) {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(file).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::string tmp = file + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = std::rename(name.data(), file.c_str()) == 0;
    if (!ok) std::remove(name.data());
    return ok;
}

// Holds an exclusive advisory lock on the registry's side lock file while it
// lives. The registry file itself cannot carry the lock: every save renames a
// new file over it.
class FileLock {
public:
    explicit FileLock(const std::string& file) {
        std::error_code ec;
        std::filesystem::path parent = std::filesystem::path(file).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_); // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

struct OpenKeyRef {
    std::size_t root = 0;
    std::vector<std::string> path;
};

std::optional<std::size_t> RootIndex(HKEY key) {
    auto it = std::find(RootHandles.begin(), RootHandles.end(), key);
    if (it == RootHandles.end()) return std::nullopt;
    return static_cast<std::size_t>(it - RootHandles.begin());
}

// Splits "a\b\c" into its names. One trailing "\" is tolerated; any other
// empty name is an error.
Result SplitPath(std::string_view path, std::vector<std::string>& names) {
    names.clear();
    if (path.empty()) return ERROR_SUCCESS;
    if (path.back() == '\\') path.remove_suffix(1);
    while (true) {
        std::size_t slash = path.find('\\');
        std::string_view name = path.substr(0, slash);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        names.emplace_back(name);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return ERROR_SUCCESS;
}

bool ValidNewName(std::string_view name) {
    if (name.size() > MaxKeyNameLength) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

} // namespace

struct Store::Impl {
    std::string file;
    Tree tree;
    std::optional<Stamp> loaded; // the file version `tree` was read from
    bool damaged = false;        // the file has lines we could not read
    std::map<HKEY, OpenKeyRef> handles;
    HKEY nextHandle = 1;

    // Brings `tree` up to date with the file.
    void Refresh() {
        std::optional<Stamp> now = StampOf(file);
        if (now && loaded && *now == *loaded) return;
        tree = Tree{};
        for (std::size_t i = 0; i < RootCount; ++i)
            tree.roots[i].name = RootNames[i];
        damaged = false;
        loaded = now;
        if (!now) {
            damaged = true; // cannot even look at it: never overwrite
            return;
        }
        if (!now->exists) return;
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            damaged = true;
            return;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        damaged = !ParseRegistryText(text, tree);
    }

    bool Save() {
        if (!ReplaceFile(file, FormatRegistryText(tree))) return false;
        loaded = StampOf(file);
        return true;
    }

    // Runs a change on the tree and saves it. `change` returns its result and
    // leaves the tree untouched unless it succeeded.
    template <typename Change> Result Modify(Change change) {
        FileLock lock(file);
        if (!lock.Held()) return ERROR_CANTWRITE;
        // Under the lock the file is always read again: a stamp can repeat
        // (a reused inode, a coarse clock), the file's content cannot lie.
        loaded.reset();
        Refresh();
        if (damaged) return ERROR_BADDB;
        Tree before = tree;
        Result r = change();
        if (r != ERROR_SUCCESS || tree == before) return r;
        if (!Save()) {
            tree = std::move(before);
            return ERROR_CANTWRITE;
        }
        return r;
    }

    // The handle's reference, or the reason there is none.
    Result Reference(HKEY key, OpenKeyRef& ref) const {
        if (auto root = RootIndex(key)) {
            ref = OpenKeyRef{*root, {}};
            return ERROR_SUCCESS;
        }
        auto it = handles.find(key);
        if (it == handles.end()) return ERROR_INVALID_HANDLE;
        ref = it->second;
        return ERROR_SUCCESS;
    }

    KeyNode* Resolve(const OpenKeyRef& ref) {
        KeyNode* node = &tree.roots[ref.root];
        for (const std::string& name : ref.path) {
            node = node->FindSubKey(name);
            if (node == nullptr) return nullptr;
        }
        return node;
    }

    // The node of an open handle in the current tree.
    Result Node(HKEY key, KeyNode*& node) {
        OpenKeyRef ref;
        if (Result r = Reference(key, ref); r != ERROR_SUCCESS) return r;
        Refresh();
        node = Resolve(ref);
        return node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    }

    HKEY NewHandle(OpenKeyRef ref) {
        // Handles count up from 1 and skip 0 and the roots' range on wrap-around.
        while (nextHandle == 0 || RootIndex(nextHandle) || handles.count(nextHandle))
            ++nextHandle;
        HKEY h = nextHandle++;
        handles.emplace(h, std::move(ref));
        return h;
    }

    // The parent's reference and the names of the path below it.
    Result Child(HKEY parent, std::string_view subKey, OpenKeyRef& ref,
                 std::vector<std::string>& names) {
        if (Result r = Reference(parent, ref); r != ERROR_SUCCESS) return r;
        return SplitPath(subKey, names);
    }
};

Store::Store(std::string file) : d_(std::make_unique<Impl>()) {
    d_->file = std::move(file);
}

Store::~Store() = default;

const std::string& Store::File() const {
    return d_->file;
}

void Store::SetFile(std::string file) {
    d_->file = std::move(file);
    d_->loaded.reset();
    d_->handles.clear();
}

Result Store::OpenKey(HKEY parent, std::string_view subKey, HKEY& key) {
    key = 0;
    OpenKeyRef ref;
    std::vector<std::string> names;
    if (Result r = d_->Child(parent, subKey, ref, names); r != ERROR_SUCCESS) return r;
    d_->Refresh();
    KeyNode* node = d_->Resolve(ref);
    if (node == nullptr) return ERROR_KEY_DELETED;
    for (const std::string& name : names) {
        node = node->FindSubKey(name);
        if (node == nullptr) return ERROR_FILE_NOT_FOUND;
        ref.path.push_back(node->name);
    }
    key = d_->NewHandle(std::move(ref));
    return ERROR_SUCCESS;
}

Result Store::CreateKey(HKEY parent, std::string_view subKey, HKEY& key) {
    key = 0;
    OpenKeyRef ref;
    std::vector<std::string> names;
    if (Result r = d_->Child(parent, subKey, ref, names); r != ERROR_SUCCESS) return r;
    if (!std::all_of(names.begin(), names.end(), ValidNewName)) return ERROR_INVALID_PARAMETER;
    if (ref.path.size() + names.size() > MaxKeyDepth) return ERROR_INVALID_PARAMETER;
    Result r = d_->Modify([&]() -> Result {
        KeyNode* node = d_->Resolve(ref);
        if (node == nullptr) return ERROR_KEY_DELETED;
        for (const std::string& name : names) {
            node = &node->AddSubKey(name);
            ref.path.push_back(node->name);
        }
        return ERROR_SUCCESS;
    });
    if (r == ERROR_SUCCESS) key = d_->NewHandle(std::move(ref));
    return r;
}

Result Store::CloseKey(HKEY key) {
    if (RootIndex(key)) return ERROR_SUCCESS;
    return d_->handles.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

Result Store::QueryValue(HKEY key, std::string_view name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* size) {
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    KeyNode* node = nullptr;
    if (Result r = d_->Node(key, node); r != ERROR_SUCCESS) return r;
    const ValueEntry* v = node->FindValue(name);
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = v->type;
    auto n = static_cast<std::uint32_t>(v->data.size());
    if (data != nullptr && *size < n) {
        *size = n;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) std::copy(v->data.begin(), v->data.end(), data);
    if (size != nullptr) *size = n;
    return ERROR_SUCCESS;
}

Result Store::SetValue(HKEY key, std::string_view name, std::uint32_t type,
                       std::span<const std::uint8_t> data) {
    KeyNode* node = nullptr;
    if (Result r = d_->Node(key, node); r != ERROR_SUCCESS) return r;
    return d_->Modify([&]() -> Result {
        // Modify may have re-read the file: look the key up again.
        OpenKeyRef ref;
        d_->Reference(key, ref);
        KeyNode* k = d_->Resolve(ref);
        if (k == nullptr) return ERROR_KEY_DELETED;
        ValueEntry entry{std::string(name), type, {data.begin(), data.end()}};
        if (ValueEntry* existing = k->FindValue(name)) {
            entry.name = existing->name; // keep the case it was created with
            *existing = std::move(entry);
        } else {
            k->values.push_back(std::move(entry));
        }
        return ERROR_SUCCESS;
    });
}

Result Store::DeleteValue(HKEY key, std::string_view name) {
    OpenKeyRef ref;
    if (Result r = d_->Reference(key, ref); r != ERROR_SUCCESS) return r;
    // Looked up only under the lock, in the file as it is now.
    return d_->Modify([&]() -> Result {
        KeyNode* k = d_->Resolve(ref);
        if (k == nullptr) return ERROR_KEY_DELETED;
        auto it = std::find_if(k->values.begin(), k->values.end(),
                               [&](const ValueEntry& v) { return EqualNoCase(v.name, name); });
        if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
        k->values.erase(it);
        return ERROR_SUCCESS;
    });
}

Result Store::DeleteKey(HKEY parent, std::string_view subKey) {
    OpenKeyRef ref;
    std::vector<std::string> names;
    if (Result r = d_->Child(parent, subKey, ref, names); r != ERROR_SUCCESS) return r;
    if (names.empty()) return ERROR_ACCESS_DENIED; // a key cannot delete itself here
    // Looked up only under the lock, in the file as it is now.
    return d_->Modify([&]() -> Result {
        KeyNode* p = d_->Resolve(ref);
        if (p == nullptr) return ERROR_KEY_DELETED;
        for (std::size_t i = 0; p != nullptr && i + 1 < names.size(); ++i)
            p = p->FindSubKey(names[i]);
        if (p == nullptr) return ERROR_FILE_NOT_FOUND;
        std::string folded = FoldName(names.back());
        auto it = std::find_if(p->subKeys.begin(), p->subKeys.end(),
                               [&](const KeyNode& k) { return EqualNoCase(k.name, folded); });
        if (it == p->subKeys.end()) return ERROR_FILE_NOT_FOUND;
        if (!it->subKeys.empty()) return ERROR_ACCESS_DENIED;
        p->subKeys.erase(it);
        return ERROR_SUCCESS;
    });
}

namespace {

Result NameAt(const std::string& found, std::size_t capacity, std::string& name) {
    if (found.size() >= capacity) return ERROR_MORE_DATA;
    name = found;
    return ERROR_SUCCESS;
}

} // namespace

Result Store::EnumKey(HKEY key, std::uint32_t index, std::size_t capacity, std::string& name) {
    KeyNode* node = nullptr;
    if (Result r = d_->Node(key, node); r != ERROR_SUCCESS) return r;
    if (index >= node->subKeys.size()) return ERROR_NO_MORE_ITEMS;
    return NameAt(node->subKeys[index].name, capacity, name);
}

Result Store::EnumValue(HKEY key, std::uint32_t index, std::size_t capacity, std::string& name) {
    KeyNode* node = nullptr;
    if (Result r = d_->Node(key, node); r != ERROR_SUCCESS) return r;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    return NameAt(node->values[index].name, capacity, name);
}

Result Store::QueryInfoKey(HKEY key, KeyInfo& info) {
    KeyNode* node = nullptr;
    if (Result r = d_->Node(key, node); r != ERROR_SUCCESS) return r;
    info = KeyInfo{};
    info.subKeys = static_cast<std::uint32_t>(node->subKeys.size());
    info.values = static_cast<std::uint32_t>(node->values.size());
    for (const KeyNode& k : node->subKeys)
        info.maxSubKeyLength =
            std::max(info.maxSubKeyLength, static_cast<std::uint32_t>(k.name.size()));
    for (const ValueEntry& v : node->values) {
        info.maxValueNameLength =
            std::max(info.maxValueNameLength, static_cast<std::uint32_t>(v.name.size()));
        info.maxValueLength =
            std::max(info.maxValueLength, static_cast<std::uint32_t>(v.data.size()));
    }
    return ERROR_SUCCESS;
}

std::string DefaultFile() {
    if (const char* own = std::getenv("QUILLON_REGISTRY_FILE"); own && *own) return own;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.config";
    }
    return base + "/quillon/registry.txt";
}

Store& UserStore() {
    static Store store(DefaultFile());
    return store;
}

} // namespace Registry
