#include "RegistryStore.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Registry;

namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ino_t InodeOf(const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_ino;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string file = dir.path().toStdString() + "/registry.txt";
    Store store{file};

    HKEY Create(std::string_view path, HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY key = 0;
        EXPECT_EQ(store.CreateKey(root, path, key), ERROR_SUCCESS);
        return key;
    }
    static std::pair<std::uint32_t, std::vector<std::uint8_t>> Get(Store& s, HKEY key,
                                                                   std::string_view name) {
        std::uint32_t type = 99, size = 0;
        EXPECT_EQ(s.QueryValue(key, name, &type, nullptr, &size), ERROR_SUCCESS) << name;
        std::vector<std::uint8_t> data(size);
        EXPECT_EQ(s.QueryValue(key, name, nullptr, data.data(), &size), ERROR_SUCCESS);
        return {type, data};
    }
};

TEST_F(RegistryStoreTest, EveryValueKindSurvivesTheFileExactly) {
    HKEY key = Create("SOFTWARE\\Korva&Tellin\\VISADeviceCache");
    const std::vector<std::pair<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>>>
        values = {
            {"DEVICE1", {REG_SZ, Bytes(std::string_view("GPIB0::?*::INSTR\0", 17))}},
            {"", {REG_SZ, Bytes(std::string_view("default\0", 8))}},
            {"Odd \"name\"\\\t", {REG_SZ, Bytes(std::string_view("q\"b\\t\tn\n\xE9\0z\0", 12))}},
            {"NoNul", {REG_SZ, Bytes("abc")}},
            {"Path", {REG_EXPAND_SZ, Bytes(std::string_view("%HOME%/x\0", 9))}},
            {"List", {REG_MULTI_SZ, Bytes(std::string_view("one\0\0two\0\0", 10))}},
            {"EmptyList", {REG_MULTI_SZ, Bytes(std::string_view("\0", 1))}},
            {"BadList", {REG_MULTI_SZ, Bytes(std::string_view("one\0two", 7))}},
            {"Port", {REG_DWORD, {0x0c, 0, 0, 0}}},
            {"Minus", {REG_DWORD, {0xff, 0xff, 0xff, 0xff}}},
            {"Big", {REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}}},
            {"Short", {REG_DWORD, {1, 2}}},
            {"Blob", {REG_BINARY, {0x00, 0xff, 0x20}}},
            {"Nothing", {REG_BINARY, {}}},
            {"Other", {11, {1, 2, 3, 4, 5, 6, 7, 8}}},
        };
    for (const auto& [name, v] : values)
        ASSERT_EQ(store.SetValue(key, name, v.first, v.second), ERROR_SUCCESS) << name;

    Store other(file);
    HKEY again = 0;
    ASSERT_EQ(other.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korva&Tellin\\VISADeviceCache", again),
              ERROR_SUCCESS);
    for (const auto& [name, v] : values)
        EXPECT_EQ(Get(other, again, name), v) << name;

    std::string text = Slurp(file);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korva&Tellin\\VISADeviceCache]\n"
                        "\"DEVICE1\"=sz:\"GPIB0::?*::INSTR\"\n@=sz:\"default\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Port\"=dword:0000000c\n"), std::string::npos);
    EXPECT_NE(text.find("\"Big\"=dword_be:12345678\n"), std::string::npos);
    EXPECT_NE(text.find("\"List\"=multi_sz:\"one\",\"\",\"two\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Blob\"=hex:00,ff,20\n"), std::string::npos);
    EXPECT_NE(text.find("\"Other\"=hex(11):01,02"), std::string::npos);
}

TEST_F(RegistryStoreTest, QueryFollowsTheSizeProtocol) {
    HKEY key = Create("K");
    ASSERT_EQ(store.SetValue(key, "T", REG_SZ, Bytes(std::string_view("abc\0", 4))), ERROR_SUCCESS);
    std::uint32_t type = 77, size = 3;
    std::uint8_t buf[8] = {};
    EXPECT_EQ(store.QueryValue(key, "T", nullptr, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(store.QueryValue(key, "T", nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(store.QueryValue(key, "missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(store.DeleteValue(key, "t"), ERROR_SUCCESS);
    EXPECT_EQ(store.DeleteValue(key, "T"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, HandlesAndPaths) {
    HKEY key = 1234;
    EXPECT_EQ(store.OpenKey(HKEY_CURRENT_USER, "Missing", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(store.CloseKey(0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(store.CloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(store.OpenKey(0x80000009u, "", key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, "a\\\\b", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, "\\a", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, std::string(256, 'n'), key),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, "bad\nname", key), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(file)); // nothing was created

    HKEY a = Create("a\\", HKEY_CURRENT_USER);
    HKEY b = 0;
    ASSERT_EQ(store.CreateKey(a, "b\\c", b), ERROR_SUCCESS); // relative to an open key
    EXPECT_EQ(store.OpenKey(HKEY_CURRENT_USER, "A\\B\\C", key), ERROR_SUCCESS);
    EXPECT_EQ(store.CloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(store.CloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryStoreTest, DeletingKeys) {
    HKEY leaf = Create("top\\mid\\leaf");
    EXPECT_EQ(store.DeleteKey(HKEY_LOCAL_MACHINE, "top\\mid"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(store.DeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(store.DeleteKey(HKEY_LOCAL_MACHINE, "top\\nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(store.DeleteKey(HKEY_LOCAL_MACHINE, "TOP\\MID\\LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(store.SetValue(leaf, "v", REG_BINARY, {}), ERROR_KEY_DELETED);
    Store other(file);
    HKEY key = 0;
    EXPECT_EQ(other.OpenKey(HKEY_LOCAL_MACHINE, "top\\mid", key), ERROR_SUCCESS);
    EXPECT_EQ(other.OpenKey(HKEY_LOCAL_MACHINE, "top\\mid\\leaf", key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, NamesIgnoreCaseButKeepItInEnumeration) {
    HKEY key = Create("Software\\Quillon");
    for (const char* sub : {"gamma", "Alpha", "beta"})
        store.CloseKey(Create(std::string("SOFTWARE\\quillon\\") + sub));
    for (const char* value : {"zeta", "Eta", "theta"})
        ASSERT_EQ(store.SetValue(key, value, REG_BINARY, Bytes("abc")), ERROR_SUCCESS);
    ASSERT_EQ(store.SetValue(key, "ETA", REG_BINARY, Bytes("x")), ERROR_SUCCESS);
    EXPECT_EQ(Get(store, key, "eta").second, Bytes("x"));

    std::vector<std::string> keys, values;
    std::string name;
    for (std::uint32_t i = 0; store.EnumKey(key, i, 255, name) == ERROR_SUCCESS; ++i)
        keys.push_back(name);
    for (std::uint32_t i = 0; store.EnumValue(key, i, 255, name) == ERROR_SUCCESS; ++i)
        values.push_back(name);
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(values, (std::vector<std::string>{"zeta", "Eta", "theta"}));
    EXPECT_EQ(store.EnumKey(key, 0, 5, name), ERROR_MORE_DATA); // "Alpha" needs 6 with its NUL
    EXPECT_EQ(store.EnumKey(key, 3, 255, name), ERROR_NO_MORE_ITEMS);
    EXPECT_NE(Slurp(file).find("[HKEY_LOCAL_MACHINE\\Software\\Quillon\\Alpha]"),
              std::string::npos);

    KeyInfo info;
    ASSERT_EQ(store.QueryInfoKey(key, info), ERROR_SUCCESS);
    EXPECT_EQ(info.subKeys, 3u);
    EXPECT_EQ(info.maxSubKeyLength, 5u);
    EXPECT_EQ(info.values, 3u);
    EXPECT_EQ(info.maxValueNameLength, 5u);
    EXPECT_EQ(info.maxValueLength, 3u);
}

TEST_F(RegistryStoreTest, StoresSeeEachOthersChanges) {
    HKEY mine = Create("Shared");
    Store other(file);
    HKEY theirs = 0;
    ASSERT_EQ(other.OpenKey(HKEY_LOCAL_MACHINE, "Shared", theirs), ERROR_SUCCESS);
    ASSERT_EQ(store.SetValue(mine, "a", REG_BINARY, std::vector<std::uint8_t>{1}), ERROR_SUCCESS);
    ASSERT_EQ(other.SetValue(theirs, "b", REG_BINARY, std::vector<std::uint8_t>{2}), ERROR_SUCCESS);
    // Neither write lost the other's value.
    EXPECT_EQ(Get(store, mine, "b").second, std::vector<std::uint8_t>{2});
    EXPECT_EQ(Get(other, theirs, "a").second, std::vector<std::uint8_t>{1});

    // Empty keys persist too.
    store.CloseKey(Create("Empty\\Key", HKEY_CLASSES_ROOT));
    Store third(file);
    HKEY key = 0;
    EXPECT_EQ(third.OpenKey(HKEY_CLASSES_ROOT, "empty\\key", key), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, SavesReplaceTheFileAtomically) {
    HKEY key = Create("A");
    ASSERT_EQ(store.SetValue(key, "v", REG_BINARY, std::vector<std::uint8_t>{1}), ERROR_SUCCESS);
    std::string before = Slurp(file);
    std::string link = dir.path().toStdString() + "/old";
    ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);

    ASSERT_EQ(store.SetValue(key, "v", REG_BINARY, std::vector<std::uint8_t>{2}), ERROR_SUCCESS);
    // The old file was not rewritten in place: a new one took its name.
    EXPECT_EQ(Slurp(link), before);
    EXPECT_NE(Slurp(file), before);
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path().toStdString()))
        entries += e.path().extension() != ".lock"; // the lock file stays, by design
    EXPECT_EQ(entries, 2u);                         // no temporary files left behind

    // Writing the same again changes nothing on disk.
    ino_t inode = InodeOf(file);
    ASSERT_EQ(store.SetValue(key, "v", REG_BINARY, std::vector<std::uint8_t>{2}), ERROR_SUCCESS);
    store.CloseKey(Create("a"));
    EXPECT_EQ(InodeOf(file), inode);

    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryStoreTest, AFailedSaveChangesNothing) {
    std::string blocker = dir.path().toStdString() + "/plain";
    std::ofstream(blocker) << "x";
    Store broken(blocker + "/registry.txt"); // its folder cannot exist
    HKEY key = 99;
    EXPECT_EQ(broken.CreateKey(HKEY_CURRENT_USER, "K", key), ERROR_CANTWRITE);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(broken.OpenKey(HKEY_CURRENT_USER, "K", key), ERROR_FILE_NOT_FOUND);

    Store nested(dir.path().toStdString() + "/a/b/registry.txt"); // missing folders are made
    EXPECT_EQ(nested.CreateKey(HKEY_USERS, "K", key), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, ADamagedFileIsReadButNeverOverwritten) {
    const std::string text = "[HKEY_CURRENT_USER\\Good]\n"
                             "\"v\"=dword:00000005\n"
                             "\"w\"=dword:xyz\n"
                             "[NOT_A_ROOT\\x]\n";
    std::ofstream(file, std::ios::binary) << text;
    HKEY key = 0;
    ASSERT_EQ(store.OpenKey(HKEY_CURRENT_USER, "Good", key), ERROR_SUCCESS);
    EXPECT_EQ(Get(store, key, "v").second, (std::vector<std::uint8_t>{5, 0, 0, 0}));
    EXPECT_EQ(store.SetValue(key, "v", REG_BINARY, {}), ERROR_BADDB);
    HKEY created = 0;
    EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, "New", created), ERROR_BADDB);
    EXPECT_EQ(Slurp(file), text);

    // Once the file is mended by hand, writing works again.
    std::ofstream(file, std::ios::binary) << "; mended\n[HKEY_CURRENT_USER\\Good]\n";
    EXPECT_EQ(store.SetValue(key, "v", REG_BINARY, {}), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, FilesThatDoNotParseAreDamaged) {
    const std::string good = "[HKEY_CURRENT_USER\\Good]\n\"v\"=dword:00000005\n";
    std::string deepPath = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 50000; ++i)
        deepPath += "\\a";
    deepPath += "]\n";
    const std::string damaged[] = {
        "\"early\"=dword:00000001\n" + good, // a value before any key
        good + "\"w\"=dword:xyz\n",
        good + "\"w\"=dword:123456789\n",
        good + "\"s\"=sz:\"unterminated\n",
        good + "\"h\"=hex:0g\n",
        good + "just words\n",
        good + "[NOT_A_ROOT\\x]\n",
        deepPath + good, // far deeper than any key may be: refused, not a crash
    };
    for (const std::string& text : damaged) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        Store s(file);
        HKEY key = 0;
        ASSERT_EQ(s.OpenKey(HKEY_CURRENT_USER, "Good", key), ERROR_SUCCESS) << text.substr(0, 60);
        EXPECT_EQ(Get(s, key, "v").second, (std::vector<std::uint8_t>{5, 0, 0, 0}));
        EXPECT_EQ(s.SetValue(key, "v", REG_BINARY, {}), ERROR_BADDB) << text.substr(0, 60);
        EXPECT_EQ(Slurp(file), text);
    }
}

TEST_F(RegistryStoreTest, UpperCaseHexReads) {
    std::ofstream(file, std::ios::binary) << "[HKEY_CURRENT_USER\\K]\n"
                                             "\"d\"=dword:0000ABCD\n"
                                             "\"b\"=dword_be:DEADBEEF\n"
                                             "\"h\"=hex:FF,0A,bC\n"
                                             "\"t\"=hex(11):0F\n"
                                             "\"s\"=sz:\"\\x4A\\x4b\"\n";
    HKEY key = 0;
    ASSERT_EQ(store.OpenKey(HKEY_CURRENT_USER, "K", key), ERROR_SUCCESS);
    EXPECT_EQ(Get(store, key, "d").second, (std::vector<std::uint8_t>{0xCD, 0xAB, 0, 0}));
    EXPECT_EQ(Get(store, key, "b").second, (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(Get(store, key, "h").second, (std::vector<std::uint8_t>{0xFF, 0x0A, 0xBC}));
    EXPECT_EQ(Get(store, key, "t").second, (std::vector<std::uint8_t>{0x0F}));
    EXPECT_EQ(Get(store, key, "s").second, Bytes(std::string_view("JK\0", 3)));
    EXPECT_EQ(store.SetValue(key, "x", REG_BINARY, {}), ERROR_SUCCESS); // not damaged
}

TEST_F(RegistryStoreTest, KeyDepthIsBounded) {
    std::string path = "k";
    for (std::size_t i = 1; i < MaxKeyDepth; ++i)
        path += "\\k";
    HKEY key = Create(path, HKEY_CURRENT_USER);
    ASSERT_NE(key, 0u);
    HKEY deeper = 0;
    EXPECT_EQ(store.CreateKey(key, "one", deeper), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(store.CreateKey(HKEY_CURRENT_USER, path + "\\one", deeper), ERROR_INVALID_PARAMETER);
    // the deepest key allowed goes through the file and back
    ASSERT_EQ(store.SetValue(key, "v", REG_DWORD, std::vector<std::uint8_t>{1, 0, 0, 0}),
              ERROR_SUCCESS);
    Store other(file);
    HKEY again = 0;
    ASSERT_EQ(other.OpenKey(HKEY_CURRENT_USER, path, again), ERROR_SUCCESS);
    EXPECT_EQ(Get(other, again, "v").second, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(other.SetValue(again, "w", REG_BINARY, {}), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    HKEY key = Create("Shared");
    store.CloseKey(key);
    constexpr int kEach = 60;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            Store mine(file);
            HKEY k = 0;
            int failures = mine.OpenKey(HKEY_LOCAL_MACHINE, "Shared", k) != ERROR_SUCCESS;
            for (int i = 0; i < kEach; ++i) {
                const std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
                failures += mine.SetValue(k, name, REG_BINARY, std::vector<std::uint8_t>{1}) !=
                            ERROR_SUCCESS;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Store after(file);
    HKEY k = 0;
    ASSERT_EQ(after.OpenKey(HKEY_LOCAL_MACHINE, "Shared", k), ERROR_SUCCESS);
    KeyInfo info;
    ASSERT_EQ(after.QueryInfoKey(k, info), ERROR_SUCCESS);
    EXPECT_EQ(info.values, 2u * kEach);
}

// Rewrites the file in place keeping its size and time, as an editor might
// within one tick of the clock: nothing in its stamp tells that it changed.
void EditInPlace(const std::string& file, const std::string& from, const std::string& to) {
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    std::string text = Slurp(file);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), to);
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST_F(RegistryStoreTest, DeletesSeeTheFileAsItIsNow) {
    HKEY key = Create("K");
    store.CloseKey(Create("K\\s1"));
    ASSERT_EQ(store.SetValue(key, "aa", REG_BINARY, std::vector<std::uint8_t>{1}), ERROR_SUCCESS);
    EditInPlace(file, "\"aa\"", "\"bb\"");
    EditInPlace(file, "\\s1]", "\\s2]");
    EXPECT_EQ(store.DeleteValue(key, "bb"), ERROR_SUCCESS);
    EXPECT_EQ(store.DeleteValue(key, "aa"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(store.DeleteKey(key, "s2"), ERROR_SUCCESS);
    EXPECT_EQ(store.DeleteKey(key, "s1"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Slurp(file).find("\"bb\""), std::string::npos);
}

TEST(RegistryDefaultFile, FollowsTheEnvironment) {
    const QByteArray own = qgetenv("QUILLON_REGISTRY_FILE"), xdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("QUILLON_REGISTRY_FILE", "/tmp/elsewhere.txt");
    EXPECT_EQ(DefaultFile(), "/tmp/elsewhere.txt");
    qunsetenv("QUILLON_REGISTRY_FILE");
    qputenv("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(DefaultFile(), "/cfg/quillon/registry.txt");
    qputenv("XDG_CONFIG_HOME", "relative"); // not absolute: ignored
    EXPECT_EQ(DefaultFile(), qgetenv("HOME").toStdString() + "/.config/quillon/registry.txt");
    qputenv("QUILLON_REGISTRY_FILE", own);
    qputenv("XDG_CONFIG_HOME", xdg);
}

} // namespace
