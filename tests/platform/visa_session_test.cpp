// Ids, ownership, attributes and searches of the session layer.

#include "visa/Search.h"
#include "visa/visa.h"
#include "visa_fake_server.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>

namespace {

std::vector<FakeStep> Silent(const std::string&) {
    return {};
}

TEST(VisaSession, IdsAreNeverZeroAndNeverShared) {
    FakeScpiServer server(Silent);
    std::set<ViObject> seen;
    ViSession rm1 = VI_NULL, rm2 = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm1), VI_SUCCESS);
    ASSERT_EQ(viOpenDefaultRM(&rm2), VI_SUCCESS);
    seen.insert(rm1);
    seen.insert(rm2);
    for (int i = 0; i < 3; ++i) {
        ViSession vi = VI_NULL;
        ASSERT_EQ(viOpen(rm1, server.Resource().c_str(), VI_NO_LOCK, 1000, &vi), VI_SUCCESS);
        seen.insert(vi);
    }
    ViFindList list = VI_NULL;
    ASSERT_EQ(Visa::FindAmong(rm2, "?*", {"A", "B"}, &list, nullptr, nullptr), VI_SUCCESS);
    seen.insert(list);
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen.count(VI_NULL), 0u);
    viClose(rm1);
    viClose(rm2);
}

TEST(VisaSession, ClosingTheManagerClosesWhatItOpened) {
    FakeScpiServer server(Silent);
    ViSession rm = VI_NULL, other = VI_NULL, vi = VI_NULL, kept = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpenDefaultRM(&other), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, server.Resource().c_str(), VI_NO_LOCK, 1000, &vi), VI_SUCCESS);
    ASSERT_EQ(viOpen(other, server.Resource().c_str(), VI_NO_LOCK, 1000, &kept), VI_SUCCESS);
    ViFindList list = VI_NULL;
    ASSERT_EQ(Visa::FindAmong(rm, "?*", {"A", "B"}, &list, nullptr, nullptr), VI_SUCCESS);

    EXPECT_EQ(viClose(rm), VI_SUCCESS);
    const ViByte cmd[] = {'X'};
    ViUInt32 n = 0;
    EXPECT_EQ(viWrite(vi, cmd, 1, &n), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viFindNext(list, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(vi), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(rm), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viOpen(rm, server.Resource().c_str(), VI_NO_LOCK, 1000, &vi), VI_ERROR_INV_OBJECT);
    // The other manager's session is untouched.
    EXPECT_EQ(viWrite(kept, cmd, 1, &n), VI_SUCCESS);
    // A session closed on its own leaves its manager working.
    EXPECT_EQ(viClose(kept), VI_SUCCESS);
    EXPECT_EQ(viWrite(kept, cmd, 1, &n), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(other), VI_SUCCESS);
}

TEST(VisaSession, NullAndUnknownIdsAreRejected) {
    ViByte buf[8];
    ViUInt32 n = 99;
    ViUInt16 stb = 0;
    ViUInt32 value = 0;
    for (ViObject id : {ViObject{VI_NULL}, ViObject{0x7FFFFFF0}}) {
        EXPECT_EQ(viWrite(id, buf, 1, &n), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(viRead(id, buf, sizeof buf, &n), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viBufRead(id, buf, sizeof buf, &n), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viReadSTB(id, &stb), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viClear(id), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viGpibControlREN(id, VI_GPIB_REN_DEASSERT_GTL), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viWriteFromFile(id, "/dev/null", 1, &n), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viReadToFile(id, "/dev/null", 1, &n), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viGetAttribute(id, VI_ATTR_TMO_VALUE, &value), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viSetAttribute(id, VI_ATTR_TMO_VALUE, 100), VI_ERROR_INV_OBJECT);
        ViSession vi = 3;
        EXPECT_EQ(viOpen(id, "TCPIP::127.0.0.1::1::SOCKET", VI_NO_LOCK, 0, &vi),
                  VI_ERROR_INV_OBJECT);
        EXPECT_EQ(vi, VI_NULL);
        EXPECT_EQ(viFindRsrc(id, "?*", nullptr, nullptr, nullptr), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(viFindNext(id, nullptr), VI_ERROR_INV_OBJECT);
    }
    EXPECT_EQ(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
    EXPECT_EQ(viClose(0x7FFFFFF0), VI_ERROR_INV_OBJECT);
}

TEST(VisaSession, Attributes) {
    FakeScpiServer server(Silent);
    ViSession rm = VI_NULL, vi = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, server.Resource().c_str(), VI_NO_LOCK, 1000, &vi), VI_SUCCESS);

    ViInt32 v = -5;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &v), VI_SUCCESS);
    EXPECT_EQ(v, 2000);
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_SEND_END_EN, &v), VI_SUCCESS);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_GPIB_READDR_EN, &v), VI_SUCCESS);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_GPIB_UNADDR_EN, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0);

    // Saved and restored the way transfers do it, through 32-bit variables.
    ViInt32 saved = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_GPIB_READDR_EN, &saved), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_GPIB_READDR_EN, 0), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_GPIB_READDR_EN, static_cast<ViAttrState>(saved)),
              VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_GPIB_READDR_EN, &v), VI_SUCCESS);
    EXPECT_EQ(v, 1);

    ViInt32 infinite = -1;
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(infinite)),
              VI_SUCCESS);
    ViUInt32 u = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &u), VI_SUCCESS);
    EXPECT_EQ(u, VI_TMO_INFINITE);
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 0x100000000ull), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi, VI_ATTR_SEND_END_EN, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi, 0x3FFF0018, 1), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(vi, 0x3FFF0018, &u), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(rm, VI_ATTR_TMO_VALUE, &u), VI_ERROR_NSUP_ATTR);

    EXPECT_EQ(viGpibControlREN(vi, VI_GPIB_REN_DEASSERT_GTL), VI_SUCCESS);
    EXPECT_EQ(viGpibControlREN(vi, 7), VI_ERROR_INV_MODE);
    viClose(rm);
}

TEST(VisaSession, FindListsWalkTheMatchesInOrder) {
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    const std::vector<std::string> present = {
        "USB0::0x0957::0x1796::MY1::0::INSTR", "TCPIP0::10.0.0.5::inst0::INSTR",
        "TCPIP0::10.0.0.6::inst0::INSTR", "TCPIP0::10.0.0.5::inst0::INSTR"};
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    ViChar desc[VI_FIND_BUFLEN];
    ASSERT_EQ(Visa::FindAmong(rm, "tcpip?*", present, &list, &count, desc), VI_SUCCESS);
    EXPECT_NE(list, VI_NULL);
    EXPECT_EQ(count, 2u); // the duplicate is listed once
    EXPECT_STREQ(desc, "TCPIP0::10.0.0.5::inst0::INSTR");
    EXPECT_EQ(viFindNext(list, desc), VI_SUCCESS);
    EXPECT_STREQ(desc, "TCPIP0::10.0.0.6::inst0::INSTR");
    EXPECT_EQ(viFindNext(list, desc), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viClose(list), VI_SUCCESS);
    EXPECT_EQ(viFindNext(list, desc), VI_ERROR_INV_OBJECT);

    // Nothing matching: no list, so the caller falls back to the literal name.
    list = 42;
    EXPECT_EQ(Visa::FindAmong(rm, "TCPIP::10.0.0.9::5025::SOCKET", present, &list, &count, desc),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(list, VI_NULL);
    EXPECT_EQ(count, 0u);
    EXPECT_STREQ(desc, "");
    EXPECT_EQ(Visa::FindAmong(rm, "visa://labhost/?*", present, &list, &count, desc),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(Visa::FindAmong(rm, "*bad", present, &list, &count, desc), VI_ERROR_INV_EXPR);
    EXPECT_EQ(viFindRsrc(rm, nullptr, &list, &count, desc), VI_ERROR_INV_EXPR);
    const std::string deep = std::string(20000, '(') + "?*" + std::string(20000, ')');
    EXPECT_EQ(Visa::FindAmong(rm, deep.c_str(), present, &list, &count, desc), VI_ERROR_INV_EXPR);
    EXPECT_EQ(viFindRsrc(rm, deep.c_str(), &list, &count, desc), VI_ERROR_INV_EXPR);
    // No GPIB here, and no USBTMC device is named GPIB.
    EXPECT_EQ(viFindRsrc(rm, "GPIB0::?*::INSTR", &list, &count, desc), VI_ERROR_RSRC_NFOUND);
    viClose(rm);
}

TEST(VisaSession, LanSearchOnlyWhenAVxi11NameCouldMatch) {
    // The tests never broadcast: a stand-in answers for the local networks.
    std::vector<int> asked;
    Visa::SetLanDiscovery([&](int timeoutMs) {
        asked.push_back(timeoutMs);
        return std::vector<std::string>{"TCPIP0::192.0.2.7::inst0::INSTR"};
    });
    ViSession rm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ViUInt32 count = 0;
    ViFindList list = VI_NULL;
    ViChar desc[VI_FIND_BUFLEN];
    ASSERT_EQ(viFindRsrc(rm, "tcpip?*INSTR", &list, &count, desc), VI_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(desc, "TCPIP0::192.0.2.7::inst0::INSTR");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_GT(asked[0], 0);
    EXPECT_LE(asked[0], 2000); // a search is bounded in time
    // a plain socket name or a USB pattern never costs a broadcast
    EXPECT_EQ(viFindRsrc(rm, "TCPIP0::127.0.0.1::5025::SOCKET", &list, &count, desc),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viFindRsrc(rm, "USB?*", &list, &count, desc), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(viFindRsrc(rm, "TCPIP0::127.0.0.1::50?5::SOCKET", &list, &count, desc),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(asked.size(), 2u);
    Visa::SetLanDiscovery({});
    viClose(rm);
}

} // namespace
