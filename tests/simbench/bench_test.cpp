// The bench driven through real TCP sockets, with the command sequences the
// measurement sends.

#include "TestSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace simbench;
using namespace simbench::test;

namespace {

using Clock = std::chrono::steady_clock;

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void Send(ScpiClient& c, std::initializer_list<std::string> messages) {
    for (const auto& m : messages)
        ASSERT_TRUE(c.Write(m)) << m;
}

// Every error the instrument holds, oldest first; empty when none.
std::vector<std::string> Errors(ScpiClient& c) {
    std::vector<std::string> errors;
    for (int k = 0; k < 40; ++k) {
        const auto e = c.Query("SYST:ERR?");
        if (!e) return {"no answer"};
        if (*e == "0,\"No error\"") break;
        errors.push_back(*e);
    }
    return errors;
}

// Waits until the instrument has worked through everything sent so far on
// this connection (connections are served in turn, so order across two
// connections needs this).
void Sync(ScpiClient& c) {
    EXPECT_EQ(c.Query("*OPC?"), "1");
}

std::string Upload(const std::string& name, const std::string& file) {
    return "MMEM:DATA '" + name + "'," + Block(file);
}

BenchConfig Config(Family mod, Family rf, Family analyzer) {
    BenchConfig c = QuietConfig();
    c.modSource = mod;
    c.rf = rf;
    c.analyzer = analyzer;
    return c;
}

// Plays `wave` on the modulation source the way the measurement does for
// the family, with the RF generator at `levelDbm`, and returns a capture of
// `samples` at 16 MHz with the analyzer's reference level at 0 dBm.
std::optional<std::string> PlayAndCapture(RunningBench& b,
                                          const std::vector<std::complex<double>>& wave,
                                          long samples, double levelDbm,
                                          const char* trigger = "EXT") {
    const BenchConfig& cfg = b.bench.Config();
    auto mod = b.Connect(ModSourceRole);
    auto rf = cfg.rf == Family::External ? nullptr : b.Connect(RfRole);
    auto ana = b.Connect(AnalyzerRole);
    const bool kld = cfg.modSource == Family::KLD;
    const std::string file = WaveformFile(wave, kld, 16e6);
    const std::string level =
        "SOUR:POW:LEV " + std::to_string(static_cast<int>(levelDbm)) + ".00dBm";
    if (rf) {
        Send(*rf, {"*RST;*WAI", "OUTP:STAT OFF", "SOUR:POW:LIM 10dBm", "SOUR:FREQ 1000MHz"});
        Sync(*rf);
    }
    switch (cfg.modSource) {
    case Family::BOXW:
        Send(*mod,
             {Upload("QUIL----", file), "OUTP:I:STAT OFF", "OUTP:Q:STAT OFF",
              "MMEM:LOAD RAM,'QUIL----';*WAI", "TRIG:MODE CONT", "ARM;:TRIG;*WAI",
              "OUTP:MARK1:STAT ON", "SOUR:CLOCK 16MHZ", "OUTP:I:STAT FIX", "OUTP:Q:STAT FIX"});
        if (rf && cfg.rf == Family::KLD)
            Send(*rf, {"SOUR:IQ:SOUR ANAL", "SOUR:IQ:STAT ON;*WAI"});
        else if (rf)
            Send(*rf, {"SOUR:DM:IQ:STAT ON"});
        break;
    case Family::VRTA:
        Send(*mod,
             {Upload("QUIL----", file), "OUTP OFF", "ARB:WAV:SEL 'QUIL----';*WAI", "ARB:SEQ AUTO",
              "ARB:TRIG:OUTP1:MODE 'USER'", "ARB:TRIG:OUTP1:ONT 10", "ARB:TRIG:OUTP1:OFFT 524215",
              "ARB:STAT ON;*WAI", "OUTP ON", "ARB:CLOCK 16MHZ", "ARB:CLOCK:SOUR INT"});
        if (SharedSource(cfg))
            Send(*mod, {"ARB:STAT ON;*WAI"});
        else if (rf)
            Send(*rf, {"SOUR:DM:IQ:STAT ON"});
        break;
    default:
        Send(*mod, {Upload("D:\\QUILAMPM.WV", file), "OUTP OFF", "ARB:WAV:SEL 'D:\\QUILAMPM';*WAI",
                    "ARB:SEQ AUTO", "SOUR:BB:ARB:STAT ON;*WAI", "SOUR:IQ:STAT ON;*WAI", "OUTP ON",
                    "ARB:CLOCK 16MHZ", "ARB:CLOCK:SOUR INT"});
        if (SharedSource(cfg))
            Send(*mod, {"SOUR:BB:ARB:STAT ON;*WAI", "SOUR:IQ:SOUR BAS", "SOUR:IQ:STAT ON;*WAI"});
        else if (rf)
            Send(*rf, {"SOUR:DM:IQ:STAT ON"});
        break;
    }
    Sync(*mod);
    if (rf) {
        Send(*rf, {level, "OUTP:STAT ON"});
        Sync(*rf);
    }
    Send(*ana, {"FREQ:CENT 1000 MHz", "INP:ATT:AUTO ON", "DISP:TRAC:Y:RLEV 0dBm",
                "INP:ATT:AUTO OFF", "INP:ATT:AUTO OFF;:INP:ATT 10dB", "TRAC:IQ ON",
                std::string("TRAC:IQ:SET NORM,10000000Hz,16000000Hz,") + trigger + ",POS,0," +
                    std::to_string(samples),
                "FORM REAL,32", "ABOR;INIT:IMM;*WAI", "TRAC:IQ:DATA?"});
    auto block = ana->ReadBlock(20000);
    EXPECT_EQ(Errors(*mod), std::vector<std::string>{});
    if (rf) {
        EXPECT_EQ(Errors(*rf), std::vector<std::string>{});
    }
    EXPECT_EQ(Errors(*ana), std::vector<std::string>{});
    return block;
}

} // namespace

TEST(BenchIdentity, FamiliesOptionsAndRoles) {
    struct Case {
        Family mod, rf, ana;
        std::vector<std::string> opts; // by endpoint
    } cases[] = {
        {Family::BOXW, Family::VRTA, Family::HOB, {"0", "0", "0"}},
        {Family::KLD, Family::KLD, Family::DANE, {"R2M", "R7D"}},
        {Family::VRTA, Family::KLI, Family::HOC, {"R4Q", "0", "0"}},
        {Family::VRTA, Family::VRTA, Family::HOD, {"R4Q", "0"}},
        {Family::KLD, Family::External, Family::HOB, {"R2M", "0"}},
    };
    for (const auto& c : cases) {
        RunningBench b(Config(c.mod, c.rf, c.ana));
        ASSERT_TRUE(b.listening);
        const auto endpoints = b.bench.Endpoints();
        ASSERT_EQ(endpoints.size(), c.opts.size());
        for (std::size_t k = 0; k < endpoints.size(); ++k) {
            ScpiClient client;
            ASSERT_TRUE(client.Connect("127.0.0.1", endpoints[k].port));
            const auto idn = client.Query("*IDN?");
            ASSERT_TRUE(idn);
            EXPECT_NE(Upper(*idn).find("KORVA"), std::string::npos);
            // The model field starts with the family's letters, as the recognisers read it.
            const std::string model = idn->substr(idn->find(',') + 1);
            EXPECT_EQ(model.rfind(std::string(FamilyName(endpoints[k].family)), 0), 0u) << *idn;
            EXPECT_EQ(std::count(idn->begin(), idn->end(), ','), 3);
            EXPECT_EQ(client.Query("*OPT?"), c.opts[k]);
            EXPECT_EQ(endpoints[k].resource,
                      "TCPIP0::127.0.0.1::" + std::to_string(endpoints[k].port) + "::SOCKET");
        }
        if (SharedSource(b.bench.Config())) {
            EXPECT_EQ(endpoints[0].roles, unsigned(ModSourceRole | RfRole));
        }
    }
    BenchConfig other = Config(Family::BOXW, Family::VRTA, Family::DANE);
    other.idn[2] = "Other Maker,DANE7,1,2.0";
    other.opt[2] = "B1";
    RunningBench b(other);
    auto ana = b.Connect(AnalyzerRole);
    EXPECT_EQ(ana->Query("*IDN?;*OPT?"), "Other Maker,DANE7,1,2.0;B1");
}

TEST(BenchStatus, ErrorQueueStatusByteAndCompoundCommands) {
    RunningBench b(Config(Family::BOXW, Family::KLD, Family::HOB));
    auto ana = b.Connect(AnalyzerRole);
    auto rf = b.Connect(RfRole);
    auto mod = b.Connect(ModSourceRole);
    EXPECT_EQ(ana->Query("SYST:ERR?"), "0,\"No error\"");
    Send(*ana, {"FOO:BAR", "INP:ATT 100dB;:FREQ:CENT 1GHz,2;:FREQ:CENT 5 dBm"});
    EXPECT_EQ(ana->Query("*STB?"), "4");
    EXPECT_EQ(Errors(*ana), (std::vector<std::string>{
                                "-113,\"Undefined header\"", "-222,\"Data out of range\"",
                                "-108,\"Parameter not allowed\"", "-131,\"Invalid suffix\""}));
    // Relative headers after ';' continue the previous path; ';:' starts at the root.
    Send(*ana, {"INP:ATT:AUTO OFF;:INP:ATT 10dB", "input:attenuation:auto OFF",
                "TRAC:IQ ON;:TRAC:IQ:SET NORM,0Hz,1MHz,IMM,POS,0,16;DATA?"});
    const auto ascii = ana->ReadLine(); // ASCII after a reset: 16 I values, then 16 Q values
    ASSERT_TRUE(ascii);
    EXPECT_EQ(std::count(ascii->begin(), ascii->end(), ','), 31);
    EXPECT_EQ(Errors(*ana), std::vector<std::string>{});
    Send(*ana, {"INP:ATT:AUTO OFF;INP:ATT 10dB", "inp:atte 5", "*CLS"});
    EXPECT_EQ(Errors(*ana), std::vector<std::string>{});
    Send(*ana, {"INP:ATT:AUTO OFF;INP:ATT 10dB", "inp:atte 5"});
    EXPECT_EQ(Errors(*ana),
              (std::vector<std::string>{"-113,\"Undefined header\"", "-113,\"Undefined header\""}));
    Send(*rf, {"SOUR:IQ:SOUR ANAL;STAT ON", "SOUR:IQ:SOUR BAS"});
    EXPECT_EQ(Errors(*rf), std::vector<std::string>{"-241,\"Hardware missing\""}); // no ARB option
    EXPECT_EQ(rf->Query("ARB:WAV:CAT?", 200), std::nullopt);
    EXPECT_EQ(Errors(*rf), std::vector<std::string>{"-241,\"Hardware missing\""});
    Send(*ana, {"ARB:WAV:CAT?", "OUTP ON", "SOUR:DM:IQ:FILT:STAT ON"});
    EXPECT_EQ(Errors(*ana).size(), 3u);
    Send(*mod, {"OUTP ON", "OUTP:I:FILT 3MHz", "OUTP:I:FILT 2.5MHz;:OUTP:Q:FILT EXT",
                "OUTP:MARK5:STAT ON"});
    EXPECT_EQ(Errors(*mod), (std::vector<std::string>{"-113,\"Undefined header\"",
                                                      "-224,\"Illegal parameter value\"",
                                                      "-114,\"Header suffix out of range\""}));

    // The service-request handshake: *ESE 1 and *SRE 32, then a command with *OPC.
    Send(*ana, {"*CLS", "*ESE 1", "*SRE 32", "*CLS", "INP:ATT 20dB;*OPC"});
    EXPECT_EQ(ana->Query("*STB?"), "96");
    EXPECT_EQ(ana->Query("*OPC?;*IDN?;*STB?").value_or("").substr(0, 2), "1;");
    Send(*ana, {"*CLS"});
    EXPECT_EQ(ana->Query("*STB?"), "0");
    Send(*ana, {"*RST;*CLS", "*IDN", "*FOO?"});
    EXPECT_EQ(Errors(*ana).size(), 2u);
}

TEST(BenchWaveforms, UploadCatalogueSelectAndDelete) {
    const auto signal = TestSignal(64);
    {
        RunningBench b(Config(Family::BOXW, Family::VRTA, Family::HOB));
        auto mod = b.Connect(ModSourceRole);
        const std::string file = WaveformFile(signal, false, 16e6);
        // The upload as the session streams it: the header without an end,
        // the bytes in pieces, then "}" with the end.
        const std::string prefix =
            "MMEM:DATA 'QUIL----'," + Block(file).substr(0, Block(file).size() - file.size());
        ASSERT_TRUE(mod->WriteRaw(prefix + file.substr(0, file.size() - 1)));
        ASSERT_TRUE(mod->Write("}"));
        EXPECT_NE(mod->Query("MMEM:CAT?").value_or("").find("\"QUIL----,BIN,256\""),
                  std::string::npos);
        Send(*mod, {"*RST", "MMEM:LOAD RAM,'quil----';*WAI"}); // stored files survive a reset
        EXPECT_EQ(Errors(*mod), std::vector<std::string>{});
        const auto wave = b.bench.SelectedWaveform();
        ASSERT_TRUE(wave);
        EXPECT_EQ(wave->Samples(), 64u);
        for (std::size_t k = 0; k < 64; ++k)
            EXPECT_LT(std::abs(wave->Sample(k) - signal[k]), 2e-4);
        Send(*mod, {"MMEM:DEL 'QUIL----'", "MMEM:DEL 'QUIL----'", "MMEM:LOAD RAM,'NONE'",
                    Upload("K", WaveformFile(signal, true, 16e6))});
        EXPECT_EQ(Errors(*mod), (std::vector<std::string>{"-256,\"File name not found\"",
                                                          "-256,\"File name not found\"",
                                                          "-161,\"Invalid block data\""}));
        EXPECT_EQ(b.bench.Catalogue(), std::vector<std::string>{});
    }
    {
        RunningBench b(Config(Family::KLD, Family::KLD, Family::HOB));
        auto mod = b.Connect(ModSourceRole);
        Send(*mod, {Upload("D:\\QUILAMPM.WV", WaveformFile(signal, true, 8e6)),
                    Upload("D:\\OTHER.WV", WaveformFile(signal, true, 8e6))});
        EXPECT_EQ(mod->Query("ARB:WAV:CAT?"), "\"QUILAMPM,OTHER\"");
        Send(*mod, {"ARB:WAV:SEL 'D:\\QUILAMPM';*WAI", "ARB:WAV:DEL 'OTHER'"});
        EXPECT_EQ(Errors(*mod), std::vector<std::string>{});
        EXPECT_EQ(b.bench.Catalogue(), std::vector<std::string>{"QUILAMPM"});
        EXPECT_EQ(b.bench.SelectedWaveform()->clockHz, 8e6);
    }
}

TEST(BenchCapture, EveryGeneratorFamilyPlaysThroughToTheAnalyzer) {
    const auto wave = TestSignal(4096);
    const struct {
        Family mod, rf;
    } benches[] = {{Family::BOXW, Family::VRTA}, {Family::BOXW, Family::KLD},
                   {Family::VRTA, Family::VRTA}, {Family::KLD, Family::KLD},
                   {Family::VRTA, Family::KLD},  {Family::KLD, Family::External}};
    for (const auto& cfg : benches) {
        BenchConfig config = Config(cfg.mod, cfg.rf, Family::HOB);
        config.converterLevelDbm = -20;
        RunningBench b(config);
        const auto block = PlayAndCapture(b, wave, 300, -20);
        ASSERT_TRUE(block) << FamilyName(cfg.mod) << '/' << FamilyName(cfg.rf);
        const auto got = Unpack(*block);
        ASSERT_EQ(got.size(), 300u);
        // Quiet linear chain: 20 dB gain, -20 dBm full scale, a 0 dBm reference
        // level; marker at sample 0, latency 1 and delay 3. A VRTA playing its
        // own ARB sets the RMS level: full scale lies the file's CRESTFACTOR
        // (3.010 dB) higher.
        const bool rms = cfg.mod == Family::VRTA && cfg.rf == Family::VRTA;
        const double scale = std::sqrt(0.05) * std::pow(10.0, (20 - 20 + (rms ? 3.01 : 0)) / 20.0);
        double worst = 0;
        for (long j = 0; j < 300; ++j)
            worst = std::max(
                worst, std::abs(got[static_cast<std::size_t>(j)] -
                                scale * wave[static_cast<std::size_t>((j - 2 + 4096) % 4096)]));
        EXPECT_LT(worst, 2e-3 * scale) << FamilyName(cfg.mod) << '/' << FamilyName(cfg.rf);
    }
}

TEST(BenchCapture, BlockLayoutAboveOneBlockAndAsciiFormat) {
    BenchConfig config = Config(Family::KLD, Family::KLD, Family::HOB);
    RunningBench b(config);
    const std::vector<std::complex<double>> flat(1000, {0.5, -0.25});
    const auto block = PlayAndCapture(b, flat, 600000, -20, "IMM");
    ASSERT_TRUE(block);
    ASSERT_EQ(block->size(), 8u * 600000);
    const auto got = Unpack(*block);
    const std::complex<double> expected = std::sqrt(0.05) * std::complex<double>(0.5, -0.25);
    for (std::size_t k : {0ul, 524287ul, 524288ul, 599999ul})
        EXPECT_LT(std::abs(got[k] - expected), 1e-4) << k;
    // Raw positions: I values first, then the Q values of the same block.
    float first;
    std::memcpy(&first, block->data() + 4 * 524288, 4);
    EXPECT_NEAR(first, expected.imag(), 1e-4);

    auto ana = b.Connect(AnalyzerRole);
    Send(*ana, {"FORM ASC", "TRAC:IQ:SET NORM,10000000Hz,16000000Hz,IMM,POS,0,3", "TRAC:IQ:DATA?"});
    const auto text = ana->ReadLine();
    ASSERT_TRUE(text);
    EXPECT_EQ(std::count(text->begin(), text->end(), ','), 5);
    double firstI = 0;
    std::from_chars(text->data(), text->data() + text->find(','), firstI);
    EXPECT_NEAR(firstI, expected.real(), 1e-4);
}

TEST(BenchCapture, MisconfiguredBenchAnswersWithErrors) {
    RunningBench b(Config(Family::BOXW, Family::VRTA, Family::HOB));
    ASSERT_TRUE(PlayAndCapture(b, TestSignal(1000), 100, -20));
    auto mod = b.Connect(ModSourceRole);
    auto ana = b.Connect(AnalyzerRole);
    Send(*mod, {"SOUR:CLOCK 8MHZ"});
    ASSERT_TRUE(mod->Query("*OPC?"));
    Send(*ana, {"ABOR;INIT:IMM;*WAI", "TRAC:IQ:DATA?"});
    EXPECT_EQ(ana->ReadBlock(), "");
    EXPECT_EQ(Errors(*ana), std::vector<std::string>{"-221,\"Settings conflict\""});
    Send(*ana, {"TRAC:IQ OFF", "TRAC:IQ:DATA?"});
    EXPECT_EQ(ana->ReadBlock(), "");
    EXPECT_EQ(Errors(*ana), std::vector<std::string>{"-221,\"Settings conflict\""});
    Send(*ana, {"TRAC:IQ ON", "TRAC:IQ:SET NORM,20000000Hz,16000000Hz,IMM,POS,0,16",
                "TRAC:IQ:SET NORM,1000000Hz,16000000Hz,VID,POS,0,16",
                "TRAC:IQ:SET NORM,1000000Hz,16000000Hz,IMM,POS,0,0", "TRAC:IQ:SYNC:STAT OFF"});
    EXPECT_EQ(Errors(*ana), (std::vector<std::string>{
                                "-222,\"Data out of range\"", "-221,\"Settings conflict\"",
                                "-222,\"Data out of range\"", "-113,\"Undefined header\""}));
    // The HOD takes the wider filter.
    RunningBench hod(Config(Family::BOXW, Family::VRTA, Family::HOD));
    auto h = hod.Connect(AnalyzerRole);
    Send(*h, {"TRAC:IQ:SET NORM,20000000Hz,16000000Hz,IMM,POS,0,16"});
    EXPECT_EQ(Errors(*h), std::vector<std::string>{});
}

TEST(BenchFaults, EachFaultShowsAndClears) {
    BenchConfig config = Config(Family::BOXW, Family::VRTA, Family::HOB);
    Fault unlock;
    unlock.kind = Fault::Kind::Unlock;
    unlock.role = RfRole;
    config.faults.push_back(unlock);
    RunningBench b(config);
    auto rf = b.Connect(RfRole);
    auto ana = b.Connect(AnalyzerRole);
    EXPECT_EQ(rf->Query("STAT:QUES:FREQ:COND?"), "2");
    EXPECT_EQ(rf->Query("STAT:QUES:COND?"), "32");
    EXPECT_EQ(ana->Query("STAT:QUES:FREQ:COND?"), "0");

    // No trigger cable: the external capture comes back empty at once, the
    // immediate one still works.
    ASSERT_TRUE(PlayAndCapture(b, TestSignal(1000), 100, -20));
    Fault unplugged;
    unplugged.kind = Fault::Kind::TriggerUnplugged;
    b.bench.SetFault(unplugged);
    const auto t0 = Clock::now();
    Send(*ana, {"ABOR;INIT:IMM;*WAI", "TRAC:IQ:DATA?"});
    EXPECT_EQ(ana->ReadBlock(kPatientMs), "");
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(kLateMs));
    Send(*ana, {"TRAC:IQ:SET NORM,10000000Hz,16000000Hz,IMM,POS,0,100", "TRAC:IQ:DATA?"});
    EXPECT_EQ(ana->ReadBlock().value_or("").size(), 800u);

    // An SCPI error on a chosen command, and only there.
    Fault error;
    error.kind = Fault::Kind::Error;
    error.role = RfRole;
    error.header = "SOUR:POW:LIM";
    b.bench.SetFault(error);
    Send(*rf, {"SOUR:POW:LIM 10dBm", "POW:LIM 5dBm", "SOUR:POW:LEV -10dBm"});
    EXPECT_EQ(Errors(*rf),
              (std::vector<std::string>{"-200,\"Execution error\"", "-200,\"Execution error\""}));

    // Slow answers: the analyzer waits, the others do not. An answer held far
    // longer than the test runs is still held once the generator has
    // answered, however long that took.
    Fault slow;
    slow.kind = Fault::Kind::Slow;
    slow.role = AnalyzerRole;
    slow.count = 3600000;
    b.bench.SetFault(slow);
    const auto asked = [&b] {
        const auto log = b.bench.CommandLog(AnalyzerRole);
        return std::count(log.begin(), log.end(), "*IDN?");
    };
    const auto askedBefore = asked();
    ASSERT_TRUE(ana->Write("*IDN?"));
    // Logged and answered in one step: the answer is then held.
    for (const auto until = Clock::now() + std::chrono::milliseconds(kPatientMs);
         asked() == askedBefore && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(asked(), askedBefore);
    EXPECT_TRUE(rf->Query("*OPC?", kPatientMs));
    EXPECT_FALSE(ana->ReadLine(0));
    // Held for 600 ms, it comes no sooner; the held one goes with its
    // connection.
    ana = b.Connect(AnalyzerRole);
    slow.count = 600;
    b.bench.SetFault(slow);
    auto t1 = Clock::now();
    ASSERT_TRUE(ana->Write("*IDN?"));
    EXPECT_TRUE(ana->ReadLine(kPatientMs));
    EXPECT_GE(Clock::now() - t1, std::chrono::milliseconds(600));

    // Connection dropped in the middle of an answer block, once.
    b.bench.ClearFaults();
    Fault drop;
    drop.kind = Fault::Kind::Drop;
    drop.role = AnalyzerRole;
    b.bench.SetFault(drop);
    Send(*ana, {"TRAC:IQ:DATA?"});
    EXPECT_FALSE(ana->ReadBlock());
    EXPECT_TRUE(ana->PeerClosed());
    ana = b.Connect(AnalyzerRole);
    Send(*ana, {"TRAC:IQ:DATA?"});
    EXPECT_EQ(ana->ReadBlock().value_or("").size(), 800u);
    EXPECT_EQ(rf->Query("STAT:QUES:FREQ:COND?"), "0");

    // ... and in the middle of an upload.
    drop.role = ModSourceRole;
    b.bench.SetFault(drop);
    auto mod = b.Connect(ModSourceRole);
    mod->WriteRaw(Upload("BIG", WaveformFile(TestSignal(200000), false, 16e6)) + "\n");
    EXPECT_FALSE(mod->Query("*OPC?"));
    EXPECT_TRUE(mod->PeerClosed());
    EXPECT_EQ(b.bench.Catalogue(), std::vector<std::string>{"QUIL----"});
    // A drop cleared before it fires cuts nothing.
    b.bench.SetFault(drop);
    b.bench.ClearFaults();
    mod = b.Connect(ModSourceRole);
    mod->WriteRaw(Upload("KEPT", WaveformFile(TestSignal(1000), false, 16e6)) + "\n");
    EXPECT_EQ(mod->Query("*OPC?"), "1");
    EXPECT_EQ(b.bench.Catalogue(), (std::vector<std::string>{"QUIL----", "KEPT"}));

    // An instrument that stops answering after two more messages.
    Fault mute;
    mute.kind = Fault::Kind::Mute;
    mute.role = AnalyzerRole;
    mute.count = 2;
    b.bench.SetFault(mute);
    EXPECT_TRUE(ana->Query("*IDN?"));
    EXPECT_TRUE(ana->Query("*IDN?"));
    EXPECT_FALSE(ana->Query("*IDN?", 300));
    auto again = b.Connect(AnalyzerRole);
    EXPECT_FALSE(again->Query("*IDN?", 300));
}

TEST(BenchLog, EveryMessageInOrder) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("simbench-log-" + std::to_string(::getpid()));
    BenchConfig config = Config(Family::KLD, Family::KLD, Family::HOB);
    config.logDir = dir.string();
    {
        RunningBench b(config);
        auto mod = b.Connect(ModSourceRole);
        const std::vector<std::complex<double>> s(4, {0, 0});
        Send(*mod, {"*RST;*CLS", Upload("D:\\Q.WV", WaveformFile(s, true, 1e6)) + ";*WAI",
                    "ARB:WAV:SEL 'D:\\Q';*WAI"});
        ASSERT_TRUE(mod->WriteRaw("*ESE 1\n\n"));
        Send(*mod, {"BOGUS\t\x01?"});
        EXPECT_EQ(mod->Query("SYST:ERR?"), "-113,\"Undefined header\"");
        const auto log = b.bench.CommandLog(RfRole);
        const std::string n = std::to_string(WaveformFile(s, true, 1e6).size());
        const std::vector<std::string> expected = {
            "*RST;*CLS",
            "MMEM:DATA 'D:\\Q.WV',#" + std::to_string(n.size()) + n + "<" + n + " bytes>;*WAI",
            "ARB:WAV:SEL 'D:\\Q';*WAI",
            "*ESE 1",
            "BOGUS\\x09\\x01?",
            "SYST:ERR?"};
        EXPECT_EQ(log, expected);
    }
    std::ifstream in(dir / "modsource+rf.log");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().substr(0, 10), "*RST;*CLS\n");
    std::ifstream analyzer(dir / "analyzer.log");
    EXPECT_TRUE(analyzer.good());
    std::filesystem::remove_all(dir);
}

TEST(BenchDeterminism, SameSeedSameCaptures) {
    std::vector<std::string> blocks;
    for (unsigned long long seed : {5ull, 5ull, 6ull}) {
        BenchConfig config;
        config.seed = seed;
        RunningBench b(config);
        const auto block = PlayAndCapture(b, TestSignal(2048), 2048, -40, "IMM");
        ASSERT_TRUE(block);
        blocks.push_back(*block);
    }
    EXPECT_EQ(blocks[0], blocks[1]);
    EXPECT_NE(blocks[0], blocks[2]);
}

namespace {

// A connection the test drives byte by byte: non-blocking, never reading
// unless asked, with small kernel buffers so a flood soon meets the bench's
// own limits.
class RawConnection {
public:
    explicit RawConnection(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 64 << 10;
        setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~RawConnection() { close(fd_); }
    bool Connected() const { return connected_; }
    // Sends as much of `bytes` as the connection takes within `waitMs`;
    // returns the number of bytes sent.
    std::size_t SendSome(const std::string& bytes, int waitMs) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, waitMs) != 1) break;
        }
        return sent;
    }
    // Everything sent lies at the bench: its next turn sees it.
    bool Delivered() const { return ::Delivered(fd_); }
    // Reads until `count` line feeds have come or nothing comes for `waitMs`.
    std::size_t ReadLines(std::size_t count, int waitMs) {
        std::size_t lines = 0;
        char chunk[1 << 16];
        while (lines < count) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, waitMs) != 1) break;
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            lines += static_cast<std::size_t>(std::count(chunk, chunk + n, '\n'));
        }
        return lines;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

std::string Repeat(const std::string& text, std::size_t times) {
    std::string s;
    s.reserve(text.size() * times);
    for (std::size_t k = 0; k < times; ++k)
        s += text;
    return s;
}

} // namespace

TEST(BenchServer, ClientThatDoesNotReadIsHeldAtItsOutputLimit) {
    BenchConfig config = QuietConfig();
    config.outputLimitBytes = 32 << 10;
    RunningBench b(config);
    RawConnection flood(b.Port(AnalyzerRole));
    ASSERT_TRUE(flood.Connected());
    // Many more answers than the limit; the kernel's buffers may take in all
    // the queries, but the bench itself holds no more than its bounds.
    const std::string idn = "*IDN?\n";
    const std::size_t sent = flood.SendSome(Repeat(idn, 1 << 18), 500);
    const std::size_t queries = sent / idn.size();
    // Another client of the same instrument is served meanwhile, and by then
    // the bench has had its turns at the flood: what it holds stays at its
    // bounds (one answer past the output limit, one read of input).
    auto other = b.Connect(AnalyzerRole);
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->Query("*OPT?", kPatientMs));
    EXPECT_LT(b.bench.UnsentOutput(), config.outputLimitBytes + 64);
    EXPECT_LE(b.bench.BufferedInput(), std::size_t(1) << 20);
    // Nothing is lost: once the flooding client reads, every query is answered.
    EXPECT_EQ(flood.ReadLines(queries, kPatientMs), queries);
}

TEST(BenchServer, UnreadCapturesAreNotPiledUp) {
    BenchConfig config = QuietConfig();
    config.outputLimitBytes = 1 << 20;
    RunningBench b(config);
    RawConnection reader(b.Port(AnalyzerRole));
    ASSERT_TRUE(reader.Connected());
    // Forty captures of 512 KiB each, none of them read for now.
    const std::string setUp = "TRAC:IQ ON;:TRAC:IQ:SET NORM,10MHz,16MHz,IMM,POS,0,65536;"
                              ":FORM REAL,32\n";
    const std::string queries = setUp + Repeat("TRAC:IQ:DATA?\n", 40);
    ASSERT_EQ(reader.SendSome(queries, kPatientMs), queries.size());
    auto other = b.Connect(AnalyzerRole);
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->Query("*OPT?", kPatientMs)); // the bench has worked through what it took
    EXPECT_LE(b.bench.UnsentOutput(), config.outputLimitBytes + (512u << 10) + 64);
}

TEST(BenchServer, QueriesOfAClientThatHasGoneAreNotExecuted) {
    // Sent, and the client gone, before the bench serves anything: the bench
    // meets the messages and the end of the connection together.
    Bench bench(QuietConfig());
    std::string why;
    ASSERT_TRUE(bench.Listen(why)) << why;
    int port = 0;
    for (const auto& e : bench.Endpoints())
        if (e.roles & AnalyzerRole) port = e.port;
    ScpiClient gone;
    ASSERT_TRUE(gone.Connect("127.0.0.1", port));
    ASSERT_TRUE(gone.WriteRaw("BOGUS\nSYST:ERR?\nTRAC:IQ:DATA?\n"));
    gone.Close();
    std::thread server([&] { bench.Run(); });
    const auto deadline = Clock::now() + std::chrono::milliseconds(kPatientMs);
    while (bench.CommandLog(AnalyzerRole).size() < 3 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(bench.CommandLog(AnalyzerRole).size(), 3u);
    // The command still ran; the query that would have taken its error did not.
    ScpiClient next;
    ASSERT_TRUE(next.Connect("127.0.0.1", port));
    EXPECT_EQ(Errors(next), std::vector<std::string>{"-113,\"Undefined header\""});
    bench.Stop();
    server.join();
}

TEST(BenchServer, FloodingClientDoesNotStarveTheOthers) {
    RunningBench b(QuietConfig());
    // A client of every instrument, served before the flood begins.
    std::vector<std::unique_ptr<RawConnection>> askers;
    for (Role role : {AnalyzerRole, ModSourceRole, RfRole}) {
        askers.push_back(std::make_unique<RawConnection>(b.Port(role)));
        ASSERT_TRUE(askers.back()->Connected());
        ASSERT_EQ(askers.back()->SendSome("*OPT?\n", kPatientMs), 6u);
        ASSERT_EQ(askers.back()->ReadLines(1, kPatientMs), 1u) << RoleNames(role);
    }
    // 16 MiB of commands in messages of 4 KiB: no answers pile up to hold the
    // flood back, so only the bench's share of turns keeps it from the others.
    const std::string message = "*CLS '" + std::string(4088, 'x') + "'\n";
    ASSERT_EQ(message.size(), 4096u);
    const std::string mebibyte = Repeat(message, 256);
    std::atomic<std::size_t> flooded{0};
    std::thread flooder([&] {
        RawConnection flood(b.Port(AnalyzerRole));
        for (int k = 0; k < 16; ++k)
            flooded += flood.SendSome(mebibyte, kPatientMs);
    });
    const auto deadline = Clock::now() + std::chrono::milliseconds(kPatientMs);
    while (flooded < mebibyte.size() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Once the questions lie at the bench, it serves them before more than
    // what was flooded by then and another turn's read (1 MiB) or two.
    for (auto& asker : askers)
        ASSERT_EQ(asker->SendSome("*OPT?\n", kPatientMs), 6u);
    for (auto& asker : askers)
        ASSERT_TRUE(asker->Delivered());
    const std::size_t floodedThen = flooded;
    for (auto& asker : askers)
        EXPECT_EQ(asker->ReadLines(1, kPatientMs), 1u);
    const auto log = b.bench.CommandLog(AnalyzerRole);
    const auto asked = std::find(log.rbegin(), log.rend(), "*OPT?");
    ASSERT_NE(asked, log.rend());
    const auto servedFirst = std::count_if(
        asked, log.rend(), [](const std::string& line) { return line.rfind("*CLS", 0) == 0; });
    EXPECT_LE(static_cast<std::size_t>(servedFirst) * message.size(),
              floodedThen + (std::size_t(2) << 20))
        << servedFirst << " flood messages were served first";
    flooder.join();
}

TEST(BenchServer, InputOverAllConnectionsIsBounded) {
    BenchConfig config = QuietConfig();
    config.inputLimitBytes = 1 << 20;
    RunningBench b(config);
    // Any two of these unterminated lines together exceed the limit, and
    // none of them ends until the bench has taken them all in.
    const std::string line(700 << 10, 'A');
    std::vector<std::unique_ptr<ScpiClient>> clients;
    for (int k = 0; k < 3; ++k) {
        clients.push_back(b.Connect(AnalyzerRole));
        ASSERT_TRUE(clients.back());
        ASSERT_TRUE(clients.back()->WriteRaw(line));
        EXPECT_LE(b.bench.BufferedInput(), config.inputLimitBytes);
    }
    // The overrun lands in the instrument's error queue, seen from any connection.
    auto watcher = b.Connect(AnalyzerRole);
    bool overrun = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kPatientMs);
    while (!overrun && Clock::now() < deadline) {
        for (const std::string& e : Errors(*watcher))
            overrun = overrun || e == "-363,\"Input buffer overrun\"";
        EXPECT_LE(b.bench.BufferedInput(), config.inputLimitBytes);
        if (!overrun) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(overrun);
    for (auto& c : clients) {
        ASSERT_TRUE(c->WriteRaw("\n"));
        EXPECT_EQ(c->Query("*OPT?"), "0"); // every connection goes on working
    }
    EXPECT_LE(b.bench.BufferedInput(), config.inputLimitBytes);
}

TEST(BenchSyntax, NumericBooleansAndGarbage) {
    RunningBench b(QuietConfig());
    auto ana = b.Connect(AnalyzerRole);
    Send(*ana, {"TRAC:IQ:SET NORM,10MHz,16MHz,IMM,POS,0,4", "FORM REAL,32"});
    const struct {
        const char* value;
        const char* error; // nullptr: accepted
        bool on;           // the state afterwards
    } cases[] = {
        {"1", nullptr, true},
        {"0", nullptr, false},
        {"ON", nullptr, true},
        {"off", nullptr, false},
        {" 1 ", nullptr, true},
        {"+0", nullptr, false},
        {"2", nullptr, true},
        {"1.0E0", nullptr, true},
        {"0.0", nullptr, false},
        {"ONN", "-141,\"Invalid character data\"", false},
        {"1V", "-141,\"Invalid character data\"", false},
        {"'ON'", "-104,\"Data type error\"", false},
        {"#11x", "-104,\"Data type error\"", false},
    };
    bool on = false;
    for (const auto& c : cases) {
        Send(*ana, {std::string("TRAC:IQ ") + c.value});
        const auto errors = Errors(*ana);
        if (c.error) {
            EXPECT_EQ(errors, std::vector<std::string>{c.error}) << c.value;
        } else {
            EXPECT_EQ(errors, std::vector<std::string>{}) << c.value;
            on = c.on;
        }
        // A trace that is off answers its data query with a conflict.
        ASSERT_TRUE(ana->Write("TRAC:IQ:DATA?"));
        ASSERT_TRUE(ana->ReadBlock()) << c.value;
        EXPECT_EQ(Errors(*ana).size(), on ? 0u : 1u) << c.value;
    }
}

TEST(BenchStatus, EveryCommandErrorSetsItsEventBit) {
    RunningBench b(QuietConfig());
    auto ana = b.Connect(AnalyzerRole);
    // ESE 32: the command-error bit shows in the status byte as bit 5.
    const char* commandErrors[] = {"OUT$P ON", "A::B",        "SEL 'abc",   "D #1x",
                                   "FOO:BAR",  "INP:ATT 1,2", "INP:ATT 5 V"};
    for (const char* command : commandErrors) {
        Send(*ana, {"*CLS", "*ESE 32"});
        EXPECT_EQ(ana->Query("*STB?"), "0") << command;
        Send(*ana, {command});
        const int stb = std::stoi(ana->Query("*STB?").value_or("0"));
        EXPECT_EQ(stb & 32, 32) << command;
    }
    Send(*ana, {"*CLS", "*ESE 32", "INP:ATT 100dB"}); // an execution error is not one
    EXPECT_EQ(ana->Query("*STB?"), "4");
}

TEST(BenchWaveforms, ClockTagOutsideTheArbRangeIsRefusedLikeTheClockCommand) {
    const auto signal = TestSignal(16);
    const struct {
        Family family;
        const char* clockTag;
        bool accepted;
    } cases[] = {
        {Family::BOXW, "105000000", true}, {Family::BOXW, "200000000", false},
        {Family::BOXW, "inf", false},      {Family::BOXW, "1e308", false},
        {Family::BOXW, "999", false},      {Family::VRTA, "40000000", true},
        {Family::VRTA, "40000001", false}, {Family::KLD, "100000000", true},
        {Family::KLD, "1e308", false},     {Family::KLD, "INF", false},
        {Family::VRTA, "0.5", false},
    };
    for (const auto& c : cases) {
        RunningBench b(Config(c.family, Family::KLI, Family::HOB));
        auto mod = b.Connect(ModSourceRole);
        const bool kld = c.family == Family::KLD;
        std::string file = WaveformFile(signal, kld, 16e6);
        const std::string tag = "{CLOCK: 16000000}";
        file.replace(file.find(tag), tag.size(), std::string("{CLOCK: ") + c.clockTag + "}");
        const std::string select =
            c.family == Family::BOXW ? "MMEM:LOAD RAM,'W'" : "ARB:WAV:SEL 'W'";
        // First a good file, so that a refused one visibly changes nothing.
        Send(*mod, {Upload("G", WaveformFile(signal, kld, 16e6)),
                    c.family == Family::BOXW ? "MMEM:LOAD RAM,'G'" : "ARB:WAV:SEL 'G'",
                    Upload("W", file), select});
        const auto errors = Errors(*mod);
        const auto selected = b.bench.SelectedWaveform();
        ASSERT_TRUE(selected) << c.clockTag;
        if (c.accepted) {
            EXPECT_EQ(errors, std::vector<std::string>{}) << c.clockTag;
            EXPECT_EQ(selected->name, "W");
        } else {
            EXPECT_EQ(errors, std::vector<std::string>{"-222,\"Data out of range\""})
                << FamilyName(c.family) << ' ' << c.clockTag;
            EXPECT_EQ(selected->name, "G");
        }
        // The clock command gives the same answer for the same rate.
        const std::string clock = c.family == Family::BOXW ? "SOUR:CLOCK " : "ARB:CLOCK ";
        const double rate = std::strtod(c.clockTag, nullptr);
        if (std::isfinite(rate)) {
            Send(*mod, {clock + c.clockTag});
            EXPECT_EQ(Errors(*mod).size(), c.accepted ? 0u : 1u) << c.clockTag;
        }
    }
}

TEST(BenchModulation, KldFollowsItsIqAndAnalogInputSwitches) {
    const auto signal = TestSignal(64);
    // Shared: the KLD plays its own baseband; separate: a BOXW feeds its
    // analog input.
    for (const bool shared : {true, false}) {
        RunningBench b(Config(shared ? Family::KLD : Family::BOXW, Family::KLD, Family::HOB));
        auto mod = b.Connect(ModSourceRole);
        auto rf = shared ? nullptr : b.Connect(RfRole);
        ScpiClient& gen = shared ? *mod : *rf;
        for (int iqState = 0; iqState < 2; ++iqState) {
            for (int source = 0; source < 3; ++source) { // untouched, BAS, ANAL
                for (int dm = 0; dm < 2; ++dm) {
                    Send(*mod, {"*RST"});
                    if (shared)
                        Send(*mod, {Upload("W", WaveformFile(signal, true, 16e6)),
                                    "ARB:WAV:SEL 'W'", "SOUR:BB:ARB:STAT ON"});
                    else
                        Send(*mod, {Upload("W", WaveformFile(signal, false, 16e6)),
                                    "MMEM:LOAD RAM,'W'", "TRIG:MODE CONT", "ARM;:TRIG"});
                    if (!shared) Send(gen, {"*RST"});
                    if (source == 1) Send(gen, {"SOUR:IQ:SOUR BAS"});
                    if (source == 2) Send(gen, {"SOUR:IQ:SOUR ANAL"});
                    Send(gen, {std::string("SOUR:IQ:STAT ") + (iqState ? "ON" : "OFF"),
                               std::string("SOUR:DM:IQ:STAT ") + (dm ? "ON" : "OFF"), "OUTP ON"});
                    const auto errors = Errors(gen);
                    Sync(*mod);
                    const bool analog = source == 2;
                    // Only the modulation source has a baseband to select.
                    EXPECT_EQ(errors.size(), !shared && source == 1 ? 1u : 0u);
                    const bool internal = shared && iqState && !analog;
                    const bool external = (iqState && analog) || dm;
                    // The shared instrument's analog input has nothing on it.
                    const bool modulated = internal || (!shared && external);
                    const SignalPath path = b.bench.Path();
                    const std::string label = std::string(shared ? "shared" : "separate") +
                                              " IQ:STAT " + std::to_string(iqState) + " source " +
                                              std::to_string(source) + " DM " + std::to_string(dm);
                    EXPECT_EQ(path.emitting, modulated) << label;
                    EXPECT_EQ(path.baseband.wave != nullptr, modulated) << label;
                }
            }
        }
    }
}

TEST(BenchCapture, EmptyAsciiAnswerStillEndsItsLine) {
    RunningBench b(QuietConfig());
    auto ana = b.Connect(AnalyzerRole);
    Send(*ana, {"TRAC:IQ OFF", "FORM ASC"});
    // A trace that is off answers with nothing but its line feed at once.
    EXPECT_EQ(ana->Query("TRAC:IQ:DATA?", 5000), "");
    EXPECT_EQ(ana->Query("TRAC:IQ:DATA?;*OPC?", 5000), ";1");
    EXPECT_EQ(Errors(*ana), (std::vector<std::string>{"-221,\"Settings conflict\"",
                                                      "-221,\"Settings conflict\""}));
}
