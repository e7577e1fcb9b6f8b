// The VXI-11 link over a stand-in for liblxi: what reaches the device, and
// how END is told from a full buffer.

#include "visa/Vxi11Backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace {

// One device: messages it got, responses it has queued (each ends with END).
struct FakeDevice {
    std::vector<std::string> got;
    std::deque<std::string> responses;
    int disconnects = 0;
    int lastTimeout = -2;
} device;

int FakeSend(int, const char* message, int length, int timeout) {
    device.got.emplace_back(message, static_cast<std::size_t>(length));
    device.lastTimeout = timeout;
    return length;
}

// As a VXI-11 read: up to `length` bytes, stopping at the end of a response;
// a read with nothing to give fails (the device's time-out).
int FakeReceive(int, char* message, int length, int timeout) {
    device.lastTimeout = timeout;
    if (device.responses.empty()) return -1;
    std::string& r = device.responses.front();
    int n = std::min<int>(length, static_cast<int>(r.size()));
    std::memcpy(message, r.data(), static_cast<std::size_t>(n));
    r.erase(0, static_cast<std::size_t>(n));
    if (r.empty()) device.responses.pop_front();
    return n;
}

int FakeDisconnect(int) {
    ++device.disconnects;
    return 0;
}

class VisaVxi11 : public ::testing::Test {
protected:
    void SetUp() override { device = FakeDevice{}; }

    Visa::IoResult Write(const std::string& s, bool end) {
        return link_.Write(reinterpret_cast<const ViByte*>(s.data()),
                           static_cast<ViUInt32>(s.size()), end, Visa::Deadline::After(500));
    }
    Visa::IoResult Read(std::string& s, ViUInt32 count) {
        std::vector<ViByte> buf(count + 1);
        Visa::IoResult r = link_.Read(buf.data(), count, Visa::Deadline::After(500));
        s.assign(reinterpret_cast<char*>(buf.data()), r.count);
        return r;
    }

    Visa::Vxi11Backend link_{7, Visa::LxiCalls{FakeSend, FakeReceive, FakeDisconnect}};
};

TEST_F(VisaVxi11, WritesWithoutEndWaitForTheOneWithEnd) {
    EXPECT_EQ(Write("MMEM:DATA 'x',#14", false).status, VI_SUCCESS);
    EXPECT_EQ(Write("ab\ncd", false).count, 5u);
    EXPECT_TRUE(device.got.empty());
    Visa::IoResult r = Write("}", true);
    EXPECT_EQ(r.status, VI_SUCCESS);
    EXPECT_EQ(r.count, 1u);
    ASSERT_EQ(device.got.size(), 1u);
    EXPECT_EQ(device.got[0], "MMEM:DATA 'x',#14ab\ncd}");
    EXPECT_GT(device.lastTimeout, 0);
    EXPECT_LE(device.lastTimeout, 500);
}

TEST_F(VisaVxi11, EndIsToldFromAFullBuffer) {
    std::string s;
    device.responses = {"ABC", "HELLO\n", "xy"};
    // Exactly as long as the buffer: the response ended, more is not waited for.
    Visa::IoResult r = Read(s, 3);
    EXPECT_EQ(r.status, VI_SUCCESS);
    EXPECT_EQ(s, "ABC");
    // Longer than the buffer: the count filled first, the next read goes on.
    r = Read(s, 3);
    EXPECT_EQ(r.status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(s, "HEL");
    r = Read(s, 3);
    EXPECT_EQ(r.status, VI_SUCCESS);
    EXPECT_EQ(s, "LO\n");
    r = Read(s, 100);
    EXPECT_EQ(r.status, VI_SUCCESS);
    EXPECT_EQ(s, "xy");
    // Nothing comes: the failed receive is a time-out.
    r = Read(s, 10);
    EXPECT_EQ(r.status, VI_ERROR_TMO);
    EXPECT_EQ(r.count, 0u);
}

TEST_F(VisaVxi11, UnreadRestIsDrainedBeforeTheNextCommand) {
    device.responses = {"0123456789", "OK\n"};
    std::string s;
    ASSERT_EQ(Read(s, 4).status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(Write("*IDN?", true).status, VI_SUCCESS);
    // Only the rest of the cut response was drained.
    ASSERT_EQ(device.responses.size(), 1u);
    EXPECT_EQ(Read(s, 100).status, VI_SUCCESS);
    EXPECT_EQ(s, "OK\n");
}

TEST_F(VisaVxi11, StatusByteQueryAndClearLeaveOrDropTheMessageBeingBuilt) {
    ASSERT_EQ(Write("SOUR:", false).status, VI_SUCCESS);
    device.responses = {"+16\n"};
    ViUInt16 stb = 0;
    EXPECT_EQ(link_.ReadStb(stb, Visa::Deadline::After(500)), VI_SUCCESS);
    EXPECT_EQ(stb, 16);
    ASSERT_EQ(Write("FREQ 1E9", true).status, VI_SUCCESS);
    ASSERT_EQ(device.got.size(), 2u);
    EXPECT_EQ(device.got[0], "*STB?");
    EXPECT_EQ(device.got[1], "SOUR:FREQ 1E9");

    device.responses = {"garbage\n"};
    EXPECT_EQ(link_.ReadStb(stb, Visa::Deadline::After(500)), VI_ERROR_IO);

    ASSERT_EQ(Write("LOST", false).status, VI_SUCCESS);
    EXPECT_EQ(link_.Clear(Visa::Deadline::After(500)), VI_SUCCESS);
    ASSERT_EQ(Write("*CLS", true).status, VI_SUCCESS);
    EXPECT_EQ(device.got.back(), "*CLS");
}

} // namespace
