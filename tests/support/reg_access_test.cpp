#include "RegAccess.h"
#include "registry_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace Registry;
using RegAccess::DeleteRegValue;
using RegAccess::LastResult;
using RegAccess::ReadRegValue;
using RegAccess::RegKeyExists;
using RegAccess::WriteRegValue;

namespace {

const std::string Cache = "SOFTWARE\\Korva&Tellin\\VISADeviceCache";

class RegAccessTest : public RegistryFixture {
protected:
    std::vector<std::uint8_t> Dword(std::int32_t v) {
        auto u = static_cast<std::uint32_t>(v);
        return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    }
    std::pair<std::uint32_t, std::vector<std::uint8_t>> Text(std::string_view s) {
        auto b = AsBytes(s);
        b.push_back(0);
        return {REG_SZ, b};
    }
    // Writes `value` as "v" and returns what was stored.
    std::pair<std::uint32_t, std::vector<std::uint8_t>> Write(const INIIO::Tagged& value) {
        WriteRegValue(HKEY_LOCAL_MACHINE, Cache, "v", value);
        return Stored(HKEY_LOCAL_MACHINE, Cache, "v");
    }
};

TEST_F(RegAccessTest, ValuesAreStoredByKind) {
    auto resource = Write(std::string("GPIB0::?*::INSTR"));
    EXPECT_EQ(resource, Text("GPIB0::?*::INSTR"));
    EXPECT_EQ(resource.second.size(), 17u);
    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, "v")),
              "GPIB0::?*::INSTR");

    EXPECT_EQ(Write(std::string("12")), std::make_pair(REG_DWORD, Dword(12)));
    EXPECT_EQ(std::get<std::int32_t>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, "v")), 12);

    EXPECT_EQ(Write(std::string("  localhost  ")), Text("localhost"));
    EXPECT_EQ(Write(std::string("localhost ")), Text("localhost"));
    EXPECT_EQ(Write(std::string(" localhost")), Text("localhost"));
    EXPECT_EQ(Write(true), std::make_pair(REG_DWORD, Dword(-1)));
    EXPECT_EQ(Write(99999), std::make_pair(REG_DWORD, Dword(99999)));
    // Fractions go to the even neighbour; blanks, signs and exponents are numbers too.
    EXPECT_EQ(Write(std::string(" 2.5 ")), std::make_pair(REG_DWORD, Dword(2)));
    EXPECT_EQ(Write(std::string("3.5")), std::make_pair(REG_DWORD, Dword(4)));
    EXPECT_EQ(Write(-0.5), std::make_pair(REG_DWORD, Dword(0)));
    EXPECT_EQ(Write(std::string("+1e3")), std::make_pair(REG_DWORD, Dword(1000)));
    // Text that only starts like a number stays text.
    EXPECT_EQ(Write(std::string("12 MHz")), Text("12 MHz"));
    EXPECT_EQ(Write(std::string("1,5")), Text("1,5"));
    EXPECT_EQ(Write(std::string("")), Text(""));
}

TEST_F(RegAccessTest, NumbersBeyondThirtyTwoBitsAreKeptAsText) {
    EXPECT_EQ(Write(std::string("99999999999")), Text("99999999999"));
    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, "v")), "99999999999");
    EXPECT_EQ(Write(std::string("2147483647.5")), Text("2147483647.5"));
    EXPECT_EQ(Write(std::string("1e999")), Text("1e999"));
    EXPECT_EQ(Write(1e20), Text("1E+20"));
    EXPECT_EQ(Write(std::string("-2147483648")), std::make_pair(REG_DWORD, Dword(INT32_MIN)));
    EXPECT_EQ(Write(std::string("1e-999")), std::make_pair(REG_DWORD, Dword(0)));
}

TEST_F(RegAccessTest, LongTextHasNoLimit) {
    std::string text(40000, 'x');
    text[33000] = 'y';
    WriteRegValue(HKEY_CURRENT_USER, "Long", "t", text);
    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_CURRENT_USER, "Long", "t")), text);
}

TEST_F(RegAccessTest, LastResultAndUnreadableValues) {
    WriteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1", std::string("GPIB0::?*::INSTR"));
    EXPECT_EQ(LastResult, ERROR_SUCCESS);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, Cache));
    EXPECT_EQ(LastResult, ERROR_SUCCESS);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, Cache + "\\Nope"));
    EXPECT_NE(LastResult, ERROR_SUCCESS);

    // Paths and names ignore case.
    EXPECT_EQ(std::get<std::string>(ReadRegValue(
                  HKEY_LOCAL_MACHINE, "software\\KORVA&TELLIN\\visadevicecache", "device1")),
              "GPIB0::?*::INSTR");

    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE2")), "");
    EXPECT_EQ(LastResult, ERROR_SUCCESS); // the successful close of the key
    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, "Missing", "DEVICE1")), "");
    EXPECT_NE(LastResult, ERROR_SUCCESS);

    Put(HKEY_LOCAL_MACHINE, Cache, "bin", REG_BINARY, {1, 2, 3});
    Put(HKEY_LOCAL_MACHINE, Cache, "exp", REG_EXPAND_SZ, AsBytes(std::string_view("%HOME%\0", 7)));
    Put(HKEY_LOCAL_MACHINE, Cache, "nonul", REG_SZ, AsBytes("abc"));
    Put(HKEY_LOCAL_MACHINE, Cache, "inner", REG_SZ, AsBytes(std::string_view("ab\0cd\0", 6)));
    for (const char* name : {"bin", "exp", "nonul"})
        EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, name)), "") << name;
    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, "inner")), "ab");
}

TEST_F(RegAccessTest, Deleting) {
    DeleteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1");
    EXPECT_FALSE(std::filesystem::exists(file)); // a missing key changes nothing

    WriteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1", std::string("x"));
    WriteRegValue(HKEY_LOCAL_MACHINE, Cache, "SERVER1", std::string("localhost"));
    DeleteRegValue(HKEY_LOCAL_MACHINE, Cache, "device1");
    EXPECT_EQ(LastResult, ERROR_SUCCESS);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, Cache, "DEVICE1").first, 0u);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, Cache, "SERVER1"), Text("localhost"));
    DeleteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1"); // already gone: no failure
    EXPECT_EQ(LastResult, ERROR_SUCCESS);
}

TEST_F(RegAccessTest, AFailedWriteIsNotReportedAsSuccess) {
    WriteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1", std::string("x"));
    {
        std::ofstream damaged(file, std::ios::app);
        damaged << "this line is not understood\n";
    }
    WriteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE2", std::string("y"));
    EXPECT_EQ(LastResult, ERROR_BADDB);
    DeleteRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1");
    EXPECT_EQ(LastResult, ERROR_BADDB);
    // What could be read is still there.
    EXPECT_EQ(std::get<std::string>(ReadRegValue(HKEY_LOCAL_MACHINE, Cache, "DEVICE1")), "x");
}

} // namespace
