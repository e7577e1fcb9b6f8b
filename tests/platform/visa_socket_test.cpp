// Raw SCPI sockets against the scripted loopback instrument.

#include "visa/SocketBackend.h"
#include "visa/visa.h"
#include "visa_fake_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// 16 data bytes holding LF and ";" in several places.
const std::string kBlockData = std::string("\n;AB\n\n;;\x00\x0a", 11) + "xyz\n;";
const std::string kBlock = "#216" + kBlockData + "\n";
const std::string kLong = "0123456789ABCDEFGHIJKLMNO\n";

std::string BigData() {
    std::string data;
    for (int i = 0; i < 300000; ++i)
        data += static_cast<char>((i * 7 + i / 13) & 0xFF);
    return data;
}

std::vector<FakeStep> Instrument(const std::string& line) {
    if (line == "*IDN?") return {Send("KORVA,SIM,1,0\n")};
    if (line == "*STB?") return {Send("+32\n")};
    if (line == "BLOCK?") // header, data and end in separate segments, the header split too
        return {Send("#2"), Send("16"), Send(kBlockData.substr(0, 5)), Send(kBlockData.substr(5)),
                Send("\n")};
    if (line == "BIG?") {
        std::string data = BigData();
        return {Send("#6" + std::to_string(data.size()) + data + "\n")};
    }
    if (line == "LONG?") return {Send(kLong.substr(0, 8)), Pause(80), Send(kLong.substr(8))};
    if (line == "INDEF?") return {Send("#0ab;cd\n")};
    if (line == "STALL?") return {Send("PART")};
    if (line == "CLOSE?") return {Send("AB"), Close()};
    if (line == "LIE?") return {Send("#15ab\n")};           // claims 5 bytes, sends 3
    if (line == "NONDIGIT?") return {Send("#2x1\n")};       // no length after all
    if (line == "HUGE?") return {Send("#9999999999abc\n")}; // far more than ever comes
    if (line == "NOLF?") return {Send("xyz")};
    if (line == "TWO?") return {Send("A\nB\n")}; // two answers in one segment
    if (line == "HANGUP") return {Close()};
    return {};
}

class VisaSocket : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
        ASSERT_EQ(viOpen(rm_, server_.Resource().c_str(), VI_NO_LOCK, 1000, &vi_), VI_SUCCESS);
        // Answers come at once; only the tests of time-outs shorten it.
        ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, kPatientMs), VI_SUCCESS);
    }
    void TearDown() override { viClose(rm_); }

    ViStatus Write(const std::string& text) {
        ViUInt32 n = 0;
        ViStatus s = viWrite(vi_, reinterpret_cast<ViConstBuf>(text.data()),
                             static_cast<ViUInt32>(text.size()), &n);
        EXPECT_TRUE(s < 0 || n == text.size());
        return s;
    }
    ViStatus Read(std::string& text, ViUInt32 count) {
        std::vector<ViByte> buf(count + 1);
        ViUInt32 n = 12345;
        ViStatus s = viRead(vi_, buf.data(), count, &n);
        text.assign(reinterpret_cast<char*>(buf.data()), n);
        return s;
    }
    std::string Query(const std::string& command) {
        EXPECT_EQ(Write(command), VI_SUCCESS);
        std::string answer;
        EXPECT_EQ(Read(answer, 1000), VI_SUCCESS);
        return answer;
    }
    // After an answer cut short, the write waits out the session's (short)
    // time-out for its rest before sending; the new answer then comes at once.
    std::string QueryAfterAStall(const std::string& command) {
        EXPECT_EQ(Write(command), VI_SUCCESS);
        EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, kPatientMs), VI_SUCCESS);
        std::string answer;
        EXPECT_EQ(Read(answer, 1000), VI_SUCCESS);
        return answer;
    }

    FakeScpiServer server_{Instrument};
    ViSession rm_ = VI_NULL;
    ViSession vi_ = VI_NULL;
};

TEST_F(VisaSocket, LineAnswersEndAtNewlineAndCountsFillFirst) {
    EXPECT_EQ(Query("*IDN?"), "KORVA,SIM,1,0\n");
    EXPECT_EQ(server_.Received(), "*IDN?\n");

    // A cut-short read continues where it stopped.
    ASSERT_EQ(Write("*IDN?"), VI_SUCCESS);
    std::string a, b;
    EXPECT_EQ(Read(a, 5), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(Read(b, 100), VI_SUCCESS);
    EXPECT_EQ(a + b, "KORVA,SIM,1,0\n");

    // viBufRead reads the same stream.
    ASSERT_EQ(Write("*IDN?"), VI_SUCCESS);
    ViByte buf[64];
    ViUInt32 n = 0;
    EXPECT_EQ(viBufRead(vi_, buf, sizeof buf, &n), VI_SUCCESS);
    EXPECT_EQ(n, 14u);
}

TEST_F(VisaSocket, BlockBytesPassOpaquelyAtEveryReadSize) {
    for (ViUInt32 size = 1; size <= kBlock.size() + 2; ++size) {
        SCOPED_TRACE("read size " + std::to_string(size));
        ASSERT_EQ(Write("BLOCK?"), VI_SUCCESS);
        std::string all, piece;
        ViStatus s = VI_SUCCESS_MAX_CNT;
        for (int i = 0; i < 64 && s == VI_SUCCESS_MAX_CNT; ++i) {
            s = Read(piece, size);
            all += piece;
        }
        EXPECT_EQ(s, VI_SUCCESS);
        EXPECT_EQ(all, kBlock);
    }
}

TEST_F(VisaSocket, BlockReadAsHeaderThenDataThenTheRest) {
    // The order in which block readers take a block apart.
    ASSERT_EQ(Write("BLOCK?"), VI_SUCCESS);
    std::string head, digits, data, rest;
    EXPECT_EQ(Read(head, 2), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(head, "#2");
    EXPECT_EQ(Read(digits, 2), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(digits, "16");
    EXPECT_EQ(Read(data, 16), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(data, kBlockData);
    EXPECT_EQ(Read(rest, 10), VI_SUCCESS);
    EXPECT_EQ(rest, "\n");

    // An indefinite-length block runs to the newline.
    EXPECT_EQ(Query("INDEF?"), "#0ab;cd\n");
}

TEST_F(VisaSocket, FilesCarryBlocksBothWays) {
    char dir[] = "/tmp/visa_fileXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string in = std::string(dir) + "/in.bin";
    std::string out = std::string(dir) + "/out.bin";
    auto slurp = [](const std::string& f) {
        std::ifstream s(f, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(s), {});
    };

    // Exactly the block's data, read the way block readers do; the newline
    // after it is left and dropped before the next command.
    ASSERT_EQ(Write("BIG?"), VI_SUCCESS);
    std::string head, digits;
    ASSERT_EQ(Read(head, 2), VI_SUCCESS_MAX_CNT);
    ASSERT_EQ(Read(digits, 6), VI_SUCCESS_MAX_CNT);
    ViUInt32 n = 0;
    EXPECT_EQ(viReadToFile(vi_, out.c_str(), 300000, &n), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(n, 300000u);
    EXPECT_EQ(slurp(out), BigData());
    EXPECT_EQ(Query("*IDN?"), "KORVA,SIM,1,0\n");

    // More room than the answer: the file ends with the answer's end.
    ASSERT_EQ(Write("BLOCK?"), VI_SUCCESS);
    EXPECT_EQ(viReadToFile(vi_, out.c_str(), 1000, &n), VI_SUCCESS);
    EXPECT_EQ(slurp(out), kBlock);

    // Writing a file: END adds the newline after its last byte only.
    std::ofstream(in, std::ios::binary) << kBlockData;
    std::size_t before = server_.Received().size();
    EXPECT_EQ(viWriteFromFile(vi_, in.c_str(), 1000, &n), VI_SUCCESS);
    EXPECT_EQ(n, kBlockData.size());
    ASSERT_TRUE(server_.WaitReceived(before + kBlockData.size() + 1));
    EXPECT_EQ(server_.Received().substr(before), kBlockData + "\n");
    EXPECT_EQ(viWriteFromFile(vi_, (std::string(dir) + "/missing").c_str(), 10, &n),
              VI_ERROR_FILE_ACCESS);
    EXPECT_EQ(viReadToFile(vi_, (std::string(dir) + "/no/such/dir").c_str(), 10, &n),
              VI_ERROR_FILE_ACCESS);

    std::remove(in.c_str());
    std::remove(out.c_str());
    rmdir(dir);
}

TEST_F(VisaSocket, UnreadRestIsDroppedBeforeTheNextWrite) {
    // The rest of the long answer is still on its way when the next command
    // goes out; it must not be taken for the next answer.
    ASSERT_EQ(Write("LONG?"), VI_SUCCESS);
    std::string head;
    EXPECT_EQ(Read(head, 5), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(head, "01234");
    EXPECT_EQ(Query("*IDN?"), "KORVA,SIM,1,0\n");

    // A block cut short inside its data, with LF bytes in the unread part.
    ASSERT_EQ(Write("BLOCK?"), VI_SUCCESS);
    EXPECT_EQ(Read(head, 6), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(Query("*IDN?"), "KORVA,SIM,1,0\n");
}

TEST_F(VisaSocket, EndOnWriteAddsTheNewlineOnlyWhenOn) {
    ViUInt16 end = 99;
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_SEND_END_EN, &end), VI_SUCCESS);
    EXPECT_EQ(end, VI_TRUE);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    ASSERT_EQ(Write("*ID"), VI_SUCCESS);
    ASSERT_EQ(Write("N"), VI_SUCCESS);
    ASSERT_TRUE(server_.WaitReceived(4));
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(Write("?"), VI_SUCCESS);
    ASSERT_TRUE(server_.WaitReceived(6));
    EXPECT_EQ(server_.Received(), "*IDN?\n");
    std::string answer;
    EXPECT_EQ(Read(answer, 100), VI_SUCCESS);
    EXPECT_EQ(answer, "KORVA,SIM,1,0\n");
}

TEST_F(VisaSocket, TimeoutReturnsWhatArrivedAndTheSessionGoesOn) {
    // Nothing asked: an immediate time-out gives nothing at once, not after
    // the minute the session had before.
    std::string part;
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
    auto start = Clock::now();
    EXPECT_EQ(Read(part, 100), VI_ERROR_TMO);
    EXPECT_EQ(part, "");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kLateMs));

    // A read ends with its time-out, and not before it.
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    start = Clock::now();
    ASSERT_EQ(Write("STALL?"), VI_SUCCESS);
    EXPECT_EQ(Read(part, 100), VI_ERROR_TMO);
    auto took = Clock::now() - start;
    EXPECT_EQ(part, "PART");
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(300 + kLateMs));

    // The unfinished answer is dropped when the time-out has passed.
    EXPECT_EQ(QueryAfterAStall("*IDN?"), "KORVA,SIM,1,0\n");
}

TEST_F(VisaSocket, BadBlockHeadersEndInTimeAndLeaveTheSessionUsable) {
    struct Case {
        const char* query;
        ViStatus status;
        const char* answer;
    } cases[] = {
        {"LIE?", VI_ERROR_TMO, "#15ab\n"},
        {"NONDIGIT?", VI_SUCCESS, "#2x1\n"},
        {"HUGE?", VI_ERROR_TMO, "#9999999999abc\n"},
        {"NOLF?", VI_ERROR_TMO, "xyz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
        auto start = Clock::now();
        ASSERT_EQ(Write(c.query), VI_SUCCESS);
        std::string answer;
        EXPECT_EQ(Read(answer, 1000), c.status);
        const auto took = Clock::now() - start;
        EXPECT_EQ(answer, c.answer);
        if (c.status == VI_ERROR_TMO) {
            EXPECT_GE(took, std::chrono::milliseconds(300));
        }
        EXPECT_LT(took, std::chrono::milliseconds(300 + kLateMs));
        EXPECT_EQ(QueryAfterAStall("*IDN?"), "KORVA,SIM,1,0\n");
    }
}

TEST_F(VisaSocket, ClearDropsBufferedInput) {
    ASSERT_EQ(Write("*IDN?"), VI_SUCCESS);
    std::string head;
    EXPECT_EQ(Read(head, 3), VI_SUCCESS_MAX_CNT);
    ASSERT_EQ(Write("*IDN?"), VI_SUCCESS); // its answer is then dropped unread too
    ASSERT_TRUE(server_.WaitAnswered(2));  // both answers lie at the session
    EXPECT_EQ(viClear(vi_), VI_SUCCESS);
    EXPECT_EQ(Query("*STB?"), "+32\n");
}

TEST_F(VisaSocket, AfterAWriteLosesTheConnectionClearLeavesNoEarlierAnswer) {
    ASSERT_EQ(Write("TWO?"), VI_SUCCESS);
    std::string answer;
    ASSERT_EQ(Read(answer, 100), VI_SUCCESS);
    ASSERT_EQ(answer, "A\n"); // "B\n" waits at the session
    // The instrument hangs up while far more is being written than the
    // connection holds: the write breaks off.
    EXPECT_EQ(Write("HANGUP\n" + std::string(64 << 20, 'x')), VI_ERROR_CONN_LOST);
    viClear(vi_);
    EXPECT_EQ(Read(answer, 100), VI_ERROR_CONN_LOST);
    EXPECT_EQ(answer, "");
}

TEST_F(VisaSocket, StatusByteIsAskedWithStbQuery) {
    ViUInt16 stb = 0;
    EXPECT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
    EXPECT_EQ(stb, 32);
    EXPECT_EQ(server_.Received(), "*STB?\n");
    // Even with END off the query is a message of its own.
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
    EXPECT_EQ(viReadSTB(vi_, nullptr), VI_ERROR_INV_PARAMETER);
}

TEST_F(VisaSocket, PeerClosingMidAnswerLosesTheConnection) {
    ASSERT_EQ(Write("CLOSE?"), VI_SUCCESS);
    std::string part;
    EXPECT_EQ(Read(part, 100), VI_ERROR_CONN_LOST);
    EXPECT_EQ(part, "AB");
    EXPECT_EQ(Write("*IDN?"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(Read(part, 100), VI_ERROR_CONN_LOST);
    EXPECT_EQ(viClose(vi_), VI_SUCCESS);
}

TEST(VisaSocketOpen, RefusedConnectionIsMachineNotAvailable) {
    // A bound port that does not listen refuses connections.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string name = "tcpip::127.0.0.1::" + std::to_string(ntohs(addr.sin_port)) + "::socket";

    ViSession rm = VI_NULL, vi = 77;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(viOpen(rm, name.c_str(), VI_NO_LOCK, 0, &vi), VI_ERROR_MACHINE_NAVAIL);
    EXPECT_EQ(vi, VI_NULL);
    viClose(rm);
    ::close(fd);
}

} // namespace

namespace {

// poll() stand-ins: one interrupted for ever, one that fails outright, one
// that fails only while waiting to send.
int AlwaysInterrupted(pollfd*, nfds_t, int) {
    errno = EINTR;
    return -1;
}
int AlwaysFailing(pollfd*, nfds_t, int) {
    errno = ENOMEM;
    return -1;
}
int FailingWhileSending(pollfd* fds, nfds_t n, int ms) {
    if ((fds[0].events & POLLOUT) != 0) return AlwaysFailing(fds, n, ms);
    return ::poll(fds, n, ms);
}

struct PollSeam {
    explicit PollSeam(Visa::PollCall call) { Visa::SetPollCallForTest(call); }
    ~PollSeam() { Visa::SetPollCallForTest(nullptr); }
};

TEST_F(VisaSocket, WaitsEndOnPollErrorsAndInterruptionsEndWithTheDeadline) {
    const struct {
        Visa::PollCall poll;
        ViStatus expected;
    } cases[] = {{AlwaysInterrupted, VI_ERROR_TMO}, {AlwaysFailing, VI_ERROR_CONN_LOST}};
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    for (const auto& c : cases) { // nothing was asked: every read must wait
        ViByte buf[16];
        ViUInt32 n = 0;
        PollSeam seam(c.poll);
        EXPECT_EQ(viRead(vi_, buf, sizeof buf, &n), c.expected);
    }
}

TEST(VisaSocketPeer, FailingPollWhileSendingEndsTheWrite) {
    // A peer that takes the connection but never reads: the send buffers fill.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    const std::string resource =
        "TCPIP0::127.0.0.1::" + std::to_string(ntohs(addr.sin_port)) + "::SOCKET";
    ViSession rm = VI_NULL, vi = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NO_LOCK, 1000, &vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    const std::string big(64 << 20, 'x');
    ViUInt32 n = 0;
    {
        PollSeam seam(FailingWhileSending);
        EXPECT_EQ(viWrite(vi, reinterpret_cast<ViConstBuf>(big.data()),
                          static_cast<ViUInt32>(big.size()), &n),
                  VI_ERROR_CONN_LOST);
    }
    EXPECT_LT(n, big.size());
    viClose(rm);
    ::close(listener);
}

} // namespace
