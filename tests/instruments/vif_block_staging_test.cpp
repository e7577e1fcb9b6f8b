// Outgoing byte blocks staged piece by piece through a transfer file: no
// empty write after the last full chunk, and the folder the pieces go through.

#include "bench.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

std::string Letters(std::size_t n) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k)
        s += static_cast<char>('a' + k % 26);
    return s;
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// The lines of the session log that stage a piece.
std::vector<std::string> FileWrites(const std::string& log) {
    std::vector<std::string> writes;
    for (const std::string& line : LogLines(log))
        if (line.rfind("  viWriteFromFile(", 0) == 0) writes.push_back(line);
    return writes;
}

// Sets or clears an environment variable for the life of the object.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvironmentValue() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

struct Staging : ::testing::Test {
    TempFolder tmp;
    Bench bench;
    VIF vif;
    std::string log = tmp.File("session.log");
    void SetUp() override {
        vif.ConfigDebugMode(2, false, log, 0);
        ASSERT_TRUE(vif.OpenDevice(bench.Resource(), false));
    }
};

TEST_F(Staging, BlockOfWholeChunksSendsNoEmptyWrite) {
    const struct {
        std::size_t size, chunk;
    } cases[] = {{300, 100}, {100, 100}, {3 * 4096, 4096}, {250, 100}, {99, 100}};
    std::size_t at = 0, logged = 0;
    for (const auto& c : cases) {
        const std::string text = Letters(c.size);
        ASSERT_TRUE(vif.WriteByteBlock(Bytes(text), static_cast<std::int32_t>(c.chunk)));
        const std::size_t pieces = (c.size + c.chunk - 1) / c.chunk;
        const auto writes = FileWrites(log);
        ASSERT_EQ(writes.size() - logged, pieces) << c.size << '/' << c.chunk;
        for (std::size_t k = logged; k < writes.size(); ++k) {
            const std::size_t expected =
                k + 1 == writes.size() ? c.size - (pieces - 1) * c.chunk : c.chunk;
            EXPECT_NE(writes[k].find("," + std::to_string(expected) + ",0x"), std::string::npos)
                << writes[k];
        }
        logged = writes.size();
        // Each piece ends its message; an empty write would add a bare line feed.
        bench.server.WaitReceived(at + c.size + pieces);
        std::string got = bench.server.Received().substr(at);
        EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), static_cast<long>(pieces));
        got.erase(std::remove(got.begin(), got.end(), '\n'), got.end());
        EXPECT_EQ(got, text);
        at = bench.server.Received().size();
    }
    EXPECT_EQ(tmp.Count("BIN_IO"), 0);
}

TEST_F(Staging, PiecesGoThroughAMemoryFolderUnlessTmpdirNamesOne) {
    TempFolder memory; // stands for the user's run-time folder
    const std::string text = Letters(1000);
    {
        EnvironmentValue tmpdir("TMPDIR", nullptr);
        EnvironmentValue runtime("XDG_RUNTIME_DIR", memory.path.c_str());
        ASSERT_TRUE(vif.WriteByteBlock(Bytes(text), 300));
    }
    auto writes = FileWrites(log);
    ASSERT_EQ(writes.size(), 4u);
    for (const std::string& w : writes)
        EXPECT_NE(w.find("," + (memory.path / "BIN_IO").string()), std::string::npos) << w;
    EXPECT_EQ(memory.Count("BIN_IO"), 0);

    // TMPDIR, when set, is the user's choice and wins.
    {
        EnvironmentValue tmpdir("TMPDIR", tmp.path.c_str());
        EnvironmentValue runtime("XDG_RUNTIME_DIR", memory.path.c_str());
        ASSERT_TRUE(vif.WriteByteBlock(Bytes(text), 300));
    }
    writes = FileWrites(log);
    ASSERT_EQ(writes.size(), 8u);
    EXPECT_NE(writes.back().find("," + (tmp.path / "BIN_IO").string()), std::string::npos);
    EXPECT_EQ(tmp.Count("BIN_IO"), 0);

    // A run-time folder that cannot be written is passed over.
    {
        EnvironmentValue tmpdir("TMPDIR", nullptr);
        EnvironmentValue runtime("XDG_RUNTIME_DIR", (memory.path / "missing").c_str());
        ASSERT_TRUE(vif.WriteByteBlock(Bytes(text), 300));
    }
    writes = FileWrites(log);
    ASSERT_EQ(writes.size(), 12u);
    EXPECT_EQ(writes.back().find((memory.path / "missing").string()), std::string::npos);
    bench.server.WaitReceived(3 * (1000 + 4));
    std::string got = bench.server.Received();
    got.erase(std::remove(got.begin(), got.end(), '\n'), got.end());
    EXPECT_EQ(got, text + text + text);
}

} // namespace
