#include "cRegistry.h"
#include "registry_fixture.h"

#include <cstdlib>

using namespace Registry;
using Bytes = std::vector<std::uint8_t>;

namespace {

class cRegistryTest : public RegistryFixture {
protected:
    cRegistry reg;

    void Address(HKEY root, const std::string& section, const std::string& value) {
        reg.ClassKey(root);
        reg.SectionKey(section);
        reg.ValueKey(value);
    }
    // The error a call throws; fails the test when it throws none.
    template <typename F> cRegistry::Error Thrown(F f) {
        try {
            f();
        } catch (const cRegistry::Error& e) {
            return e;
        }
        ADD_FAILURE() << "no error";
        return cRegistry::Error(0, "", "");
    }
};

TEST_F(cRegistryTest, ReadsEveryKindAndTakesItsType) {
    Put(HKEY_CURRENT_USER, "K", "sz", REG_SZ, AsBytes(std::string_view("abc\0", 4)));
    Put(HKEY_CURRENT_USER, "K", "multi", REG_MULTI_SZ, AsBytes(std::string_view("a\0bc\0\0", 6)));
    Put(HKEY_CURRENT_USER, "K", "nonul", REG_SZ, AsBytes("abc"));
    Put(HKEY_CURRENT_USER, "K", "empty", REG_SZ, {});
    Put(HKEY_CURRENT_USER, "K", "dw", REG_DWORD, {0xfe, 0xff, 0xff, 0xff});
    Put(HKEY_CURRENT_USER, "K", "be", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78});
    Put(HKEY_CURRENT_USER, "K", "bin", REG_BINARY, {1, 2, 3});
    Put(HKEY_CURRENT_USER, "K", "other", 11, {9, 8});

    const std::pair<const char*, std::pair<cRegistry::Variant, std::int32_t>> expected[] = {
        {"sz", {std::string("abc"), 1}},    {"multi", {std::string("a\0bc\0", 5), 7}},
        {"nonul", {std::string("abc"), 1}}, {"empty", {std::string(), 1}},
        {"dw", {std::int32_t{-2}, 4}},      {"be", {std::int32_t{0x12345678}, 5}},
        {"bin", {Bytes{1, 2, 3}, 3}},       {"other", {Bytes{9, 8}, 11}},
    };
    Address(HKEY_CURRENT_USER, "k", "");
    for (const auto& [name, value] : expected) {
        reg.ValueKey(name);
        reg.ValueType(0);
        EXPECT_EQ(reg.Value(), value.first) << name;
        EXPECT_EQ(reg.ValueType(), value.second) << name;
    }

    reg.Default(std::string("fallback"));
    reg.ValueType(42);
    reg.ValueKey("missing");
    EXPECT_EQ(reg.Value(), cRegistry::Variant(std::string("fallback")));
    reg.SectionKey("NoSuchKey");
    reg.ValueKey("sz");
    EXPECT_EQ(reg.Value(), cRegistry::Variant(std::string("fallback")));
    EXPECT_EQ(reg.ValueType(), 42);
}

TEST_F(cRegistryTest, ExpandableTextTakesTheEnvironment) {
    ::setenv("QUILLON_REG_TEST", "abc", 1);
    ::unsetenv("QUILLON_REG_UNSET");
    Put(HKEY_CURRENT_USER, "K", "x", REG_EXPAND_SZ,
        AsBytes(std::string_view("%QUILLON_REG_TEST%\\x %QUILLON_REG_UNSET% 50% %%\0", 48)));
    Put(HKEY_CURRENT_USER, "K", "y", REG_EXPAND_SZ,
        AsBytes(std::string_view("%QUILLON_REG_UNSET%QUILLON_REG_TEST%\0", 37)));
    Address(HKEY_CURRENT_USER, "K", "x");
    EXPECT_EQ(reg.Value(), cRegistry::Variant(std::string("abc\\x %QUILLON_REG_UNSET% 50% %%")));
    EXPECT_EQ(reg.ValueType(), 2);
    reg.ValueKey("y");
    EXPECT_EQ(reg.Value(), cRegistry::Variant(std::string("%QUILLON_REG_UNSETabc")));
}

TEST_F(cRegistryTest, WritesByValueType) {
    Address(HKEY_CURRENT_USER, "W\\Deep", "t");
    auto stored = [&] { return Stored(HKEY_CURRENT_USER, "W\\Deep", reg.ValueKey()); };

    reg.ValueType(1);
    reg.Value(std::string("%TEMP%\\file"));
    EXPECT_EQ(stored(),
              std::make_pair(REG_EXPAND_SZ, AsBytes(std::string_view("%TEMP%\\file\0", 12))));
    for (const char* plain : {"100%", "%%", "a%%b"}) {
        reg.Value(std::string(plain));
        EXPECT_EQ(stored().first, REG_SZ) << plain;
    }
    reg.Value(std::string("%a%"));
    EXPECT_EQ(stored().first, REG_EXPAND_SZ);
    reg.ValueType(2);
    reg.Value(std::int32_t{17}); // the type follows the text, not ValueType
    EXPECT_EQ(stored(), std::make_pair(REG_SZ, AsBytes(std::string_view("17\0", 3))));

    reg.ValueType(3);
    reg.Value(Bytes{7, 0, 9});
    EXPECT_EQ(stored(), std::make_pair(REG_BINARY, Bytes{7, 0, 9}));
    EXPECT_EQ(reg.Value(), cRegistry::Variant(Bytes{7, 0, 9}));

    reg.ValueType(4);
    reg.Value(std::int16_t{-1});
    EXPECT_EQ(stored(), std::make_pair(REG_DWORD, Bytes{0xff, 0xff, 0xff, 0xff}));
    reg.Value(std::int32_t{0x01020304});
    EXPECT_EQ(stored(), std::make_pair(REG_DWORD, Bytes{4, 3, 2, 1}));

    reg.ValueType(5);
    reg.Value(std::int32_t{0x01020304});
    EXPECT_EQ(stored(), std::make_pair(REG_DWORD_BIG_ENDIAN, Bytes{1, 2, 3, 4}));
    EXPECT_EQ(reg.Value(), cRegistry::Variant(std::int32_t{0x01020304}));
    EXPECT_EQ(reg.ValueType(), 5);
}

TEST_F(cRegistryTest, WritesThatCannotHappenAreReported) {
    Address(HKEY_LOCAL_MACHINE, "W", "v");
    reg.ValueType(4);
    reg.Value(std::int32_t{5});

    cRegistry::Error e = Thrown([&] { reg.Value(std::string("text")); });
    EXPECT_EQ(e.Number, cRegistry::SetValueErrorNumber);
    EXPECT_EQ(e.Number, -2147194455);
    EXPECT_EQ(e.Description, "Failed to set registry value Key: '-2147483646',Section: 'W',Key: "
                             "'v' to value: 'text'");
    EXPECT_EQ(e.Source, "test_support.cRegistry");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "W", "v"), std::make_pair(REG_DWORD, Bytes{5, 0, 0, 0}));

    reg.ValueType(3);
    e = Thrown([&] { reg.Value(std::string("text")); });
    EXPECT_EQ(e.Number, cRegistry::ErrorNumber);
    EXPECT_EQ(e.Description, "");

    reg.ValueType(7);
    EXPECT_EQ(Thrown([&] { reg.Value(std::string("a")); }).Number, cRegistry::SetValueErrorNumber);
    reg.ValueType(1);
    EXPECT_EQ(Thrown([&] { reg.Value(Bytes{1}); }).Number, cRegistry::SetValueErrorNumber);
}

TEST_F(cRegistryTest, KeysAndValuesComeAndGo) {
    Address(HKEY_LOCAL_MACHINE, "Top\\Sub", "v");
    EXPECT_FALSE(reg.KeyExists());
    EXPECT_TRUE(reg.CreateKey());
    EXPECT_TRUE(reg.KeyExists());
    reg.ValueType(1);
    reg.Value(std::string("x"));
    EXPECT_TRUE(reg.DeleteValue());
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Top\\Sub", "v").first, 0u);
    EXPECT_EQ(Thrown([&] { reg.DeleteValue(); }).Description,
              "Failed to delete registry Key: '-2147483646',Section: 'Top\\Sub',Key: 'v");

    reg.SectionKey("Top");
    EXPECT_EQ(Thrown([&] { reg.DeleteKey(); }).Description,
              "Failed to delete registry Key: '-2147483646',Section: 'Top");
    reg.SectionKey("Top\\Sub");
    EXPECT_TRUE(reg.DeleteKey());
    EXPECT_FALSE(reg.KeyExists());
    EXPECT_EQ(Thrown([&] { reg.DeleteValue(); }).Description,
              "Failed to open key '-2147483646',Section: 'Top\\Sub' for delete access");

    reg.SectionKey("a\\\\b");
    cRegistry::Error e = Thrown([&] { reg.CreateKey(); });
    EXPECT_EQ(e.Number, 26001);
    EXPECT_EQ(e.Description, "Failed to create registry Key: 'a\\\\b");
}

TEST_F(cRegistryTest, Enumerations) {
    Address(HKEY_CURRENT_USER, "E", "");
    for (const char* sub : {"zulu", "Alpha", "mike"}) {
        reg.SectionKey(std::string("E\\") + sub);
        reg.CreateKey();
    }
    reg.SectionKey("E");
    reg.ValueType(1);
    for (const char* name : {"second", "First", "a-much-longer-value-name"}) {
        reg.ValueKey(name);
        reg.Value(std::string("x"));
    }
    std::vector<std::string> names{"stale"};
    std::int32_t count = -1;
    EXPECT_TRUE(reg.EnumerateSections(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "mike", "zulu"}));
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(reg.EnumerateValues(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"second", "First", "a-much-longer-value-name"}));
    EXPECT_EQ(count, 3);

    // A sub-key name that does not fit the 255-character buffer ends the list.
    reg.SectionKey("E\\" + std::string(255, 'n'));
    reg.CreateKey();
    reg.SectionKey("E");
    EXPECT_TRUE(reg.EnumerateSections(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "mike"}));
    EXPECT_EQ(count, 2);

    reg.SectionKey("Nowhere");
    EXPECT_TRUE(reg.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
}

TEST_F(cRegistryTest, FileTypeAssociationGoesToBothClassRoots) {
    reg.ClassKey(HKEY_CURRENT_USER);
    reg.CreateEXEAssociation("  /opt/quillon/bin/quillon ", "Quillon.Waveform", "Quillon waveform",
                             "qwv", "", true, "", true, "Make &new", true, "", 0);
    EXPECT_EQ(reg.ClassKey(), HKEY_CURRENT_USER); // the caller's root is kept

    const std::string exe = "\"/opt/quillon/bin/quillon\"";
    const std::pair<std::string, std::string> entries[] = {
        {".qwv", "Quillon.Waveform"},
        {"Quillon.Waveform", "Quillon waveform"},
        {"Quillon.Waveform\\shell\\open", "&Open"},
        {"Quillon.Waveform\\shell\\open\\command", exe + " \"%1\""},
        {"Quillon.Waveform\\shell\\print", "&Print"},
        {"Quillon.Waveform\\shell\\print\\command", exe + " /p \"%1\""},
        {"Quillon.Waveform\\shell\\add", "&Install qwv"},
        {"Quillon.Waveform\\shell\\add\\command", exe + " /a \"%1\""},
        {"Quillon.Waveform\\shell\\new", "Make &new"},
        {"Quillon.Waveform\\shell\\new\\command", exe + " /n \"%1\""},
        {"Quillon.Waveform\\DefaultIcon", exe + ",0"},
    };
    for (const auto& [key, text] : entries) {
        Bytes data(text.begin(), text.end());
        data.push_back(0);
        EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, key, ""), std::make_pair(REG_SZ, data)) << key;
        EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\" + key, ""),
                  std::make_pair(REG_SZ, data))
            << key;
    }
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, ".qwv", "").first, 0u);

    // Without the optional commands only open is registered.
    reg.CreateEXEAssociation("\"/q\"", "Other", "", "oth", "Go", false, "", false, "", false, "",
                             -1);
    EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, "Other\\shell\\open\\command", "").second,
              AsBytes(std::string_view("\"/q\" \"%1\"\0", 10)));
    EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, "Other\\DefaultIcon", "").first, 0u);
}

TEST_F(cRegistryTest, AdditionalShellCommands) {
    EXPECT_EQ(Thrown([&] {
                  reg.CreateAdditionalEXEAssociations("C", {"edit", "&Edit"});
              }).Description,
              "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
              "Name/Text/Command");
    reg.ClassKey(HKEY_CLASSES_ROOT);
    EXPECT_EQ(Thrown([&] {
                  reg.CreateAdditionalEXEAssociations("C", {"edit", "&Edit", "e %1"});
              }).Description,
              "Error - attempt to create additional associations before class defined.");

    reg.CreateEXEAssociation("/q", "C", "c", "c", "", false, "", false, "", false, "", -1);
    reg.CreateAdditionalEXEAssociations("C", {"edit", "&Edit", "e %1", "view", "&View", "v %1"});
    EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, "C\\shell\\edit", "").second,
              AsBytes(std::string_view("&Edit\0", 6)));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\C\\shell\\view\\command", "").second,
              AsBytes(std::string_view("v %1\0", 5)));
    EXPECT_EQ(reg.ClassKey(), HKEY_CLASSES_ROOT);
}

} // namespace
