// A second client, written elsewhere, must see the same wire as our layer:
// Debian's PyVISA with its pure-Python backend talks to the scripted
// instrument, and our own session reads the same answers.

#include "visa/visa.h"
#include "visa_fake_server.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

std::vector<FakeStep> Instrument(const std::string& line) {
    if (line == "*IDN?") return {Send("FAKE,MODEL 7,1234,1.0\n")};
    // a block whose data holds the line end and the command separator
    if (line == "DATA?") return {Send("#18ab\n;cd\n"), Send("e\n")};
    if (line == "ERR?") return {Send("0,\"No error\"\n")};
    return {};
}

bool PythonHasPyVisa() {
    std::string cmd = std::string(QUILLON_PYTHON) +
                      " -c \"import pyvisa, pyvisa_py\" >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string RunPython(const std::string& script) {
    std::string cmd = std::string(QUILLON_PYTHON) + " -c '" + script + "' 2>&1";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        std::array<char, 512> buf{};
        while (std::fgets(buf.data(), buf.size(), p) != nullptr) out += buf.data();
        ::pclose(p);
    }
    return out;
}

TEST(PyVisaAgrees, IdentificationBlockAndErrorQueue) {
    if (!PythonHasPyVisa()) GTEST_SKIP() << "python3-pyvisa and python3-pyvisa-py are not installed";
    FakeScpiServer server(Instrument);
    std::string script =
        "import pyvisa\n"
        "rm = pyvisa.ResourceManager(\"@py\")\n"
        "i = rm.open_resource(\"" + server.Resource() + "\", read_termination=\"\\n\","
        " write_termination=\"\\n\", timeout=2000)\n"
        "print(\"IDN=\" + i.query(\"*IDN?\"))\n"
        "b = i.query_binary_values(\"DATA?\", datatype=\"s\", container=bytes,"
        " expect_termination=True)\n"
        "print(\"BLOCK=\" + repr(b))\n"
        "print(\"ERR=\" + i.query(\"ERR?\"))\n"
        "i.close()\n";
    std::string out = RunPython(script);
    EXPECT_NE(out.find("IDN=FAKE,MODEL 7,1234,1.0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("BLOCK=b'ab\\n;cd\\ne'"), std::string::npos) << out;
    EXPECT_NE(out.find("ERR=0,\"No error\""), std::string::npos) << out;
    EXPECT_EQ(server.Received(), "*IDN?\nDATA?\nERR?\n");
}

TEST(PyVisaAgrees, OurSessionReadsTheSameBlock) {
    FakeScpiServer server(Instrument);
    ViSession rm = 0, vi = 0;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, server.Resource().c_str(), VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
    ViUInt32 count = 0;
    ASSERT_EQ(viWrite(vi, reinterpret_cast<ViConstBuf>("DATA?"), 5, &count), VI_SUCCESS);
    std::array<ViByte, 64> buf{};
    ASSERT_EQ(viRead(vi, buf.data(), buf.size(), &count), VI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), count), "#18ab\n;cd\ne\n");
    viClose(rm);
}

} // namespace
