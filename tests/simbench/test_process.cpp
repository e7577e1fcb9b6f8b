// The simbench program itself: its options, what it prints on start, its
// files, and a client not written here (PyVISA with its pure-Python backend).

#include "Client.h"
#include "Config.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace simbench;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A child process with its standard output (and error) read through a pipe.
class Process {
public:
    explicit Process(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
    }
    ~Process() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    // The next line of output; nullopt at the end or after the time-out.
    std::optional<std::string> Line(int timeoutMs = 10000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return line;
            }
            if (!Read(deadline)) return std::nullopt;
        }
    }
    // Everything up to the end of the output.
    std::string Rest(int timeoutMs = 60000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Read(deadline)) {
        }
        return std::exchange(buffer_, {});
    }
    // The exit status, or -1 when it did not end in time.
    int Wait(int timeoutMs = 10000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (Clock::now() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    void Signal(int sig) { kill(pid_, sig); }

private:
    bool Read(Clock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) return false;
        char chunk[4096];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    pid_t pid_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

struct Started {
    std::vector<std::string> lines; // everything before READY
    std::vector<std::string> resources;
    std::vector<int> ports;
};

Started ReadStartup(Process& p) {
    Started s;
    while (auto line = p.Line()) {
        if (*line == "READY") return s;
        s.lines.push_back(*line);
        if (line->rfind("INSTRUMENT ", 0) == 0) {
            std::istringstream words(*line);
            std::string tag, roles, family, resource;
            words >> tag >> roles >> family >> resource;
            s.resources.push_back(resource);
            // TCPIP0::127.0.0.1::<port>::SOCKET
            const std::size_t end = resource.rfind("::SOCKET");
            const std::size_t begin = resource.rfind("::", end - 1) + 2;
            s.ports.push_back(std::stoi(resource.substr(begin, end - begin)));
        }
    }
    ADD_FAILURE() << "no READY line";
    return s;
}

fs::path TempDir(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

} // namespace

TEST(SimbenchProgram, HelpAndBadOptions) {
    Process help({QUILLON_SIMBENCH, "--help"});
    const std::string text = help.Rest();
    EXPECT_EQ(help.Wait(), 0);
    for (const char* word :
         {"usage: simbench", "--fault", "TRAC:IQ:DATA?", "MMEM:DATA", "--truth-file",
          "INSTRUMENT <roles> <family> TCPIP0::<host>::<port>::SOCKET"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    for (auto args : {std::vector<std::string>{QUILLON_SIMBENCH, "--rf", "FOO"},
                      {QUILLON_SIMBENCH, "--bogus", "1"},
                      {QUILLON_SIMBENCH, "--fault", "mute"},
                      {QUILLON_SIMBENCH, "--seed"},
                      {QUILLON_SIMBENCH, "--config", "/nonexistent/simbench.conf"}}) {
        Process bad(args);
        EXPECT_NE(bad.Rest().find("simbench: "), std::string::npos);
        EXPECT_EQ(bad.Wait(), 2) << args[1];
    }
    Process noRole({QUILLON_SIMBENCH, "--rf", "EXTERNAL", "--fault", "unlock=rf"});
    EXPECT_EQ(noRole.Wait(), 1);

    // A port another program listens on, even one that lets others share it.
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(holder, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&sa), &length), 0);
    const std::string port = std::to_string(ntohs(sa.sin_port));
    Process taken({QUILLON_SIMBENCH, "--port-analyzer", port});
    const std::string said = taken.Rest();
    EXPECT_EQ(taken.Wait(), 1);
    EXPECT_NE(said.find("simbench: cannot listen on 127.0.0.1:" + port), std::string::npos) << said;
    EXPECT_EQ(said.find("READY"), std::string::npos) << said;
    close(holder);
}

TEST(SimbenchProgram, StartsPrintsServesAndStops) {
    const fs::path dir = TempDir("simbench-program");
    {
        std::ofstream conf(dir / "bench.conf");
        conf << "# a shared KLD and an HOD\nmodsource = KLD\nrf = KLD\nanalyzer = HOD\namp-gain = "
                "25 # dB\n"
                "amp-model = saleh\n";
    }
    Process p({QUILLON_SIMBENCH, "--config", (dir / "bench.conf").string(), "--amp-gain", "27",
               "--seed=3", "--truth-file", (dir / "truth.txt").string(), "--log-dir",
               (dir / "logs").string()});
    const Started s = ReadStartup(p);
    ASSERT_EQ(s.resources.size(), 2u);
    EXPECT_EQ(s.lines[0].substr(0, 31), "INSTRUMENT modsource,rf KLD TCP");
    EXPECT_EQ(s.lines[1].substr(0, 24), "INSTRUMENT analyzer HOD ");
    EXPECT_EQ(s.lines[2].substr(0, 40), "AMPLIFIER model=saleh gain_db=27 psat_db");
    EXPECT_EQ(s.lines[3].substr(0, 31), "BENCH seed=3 trigger_latency=1 ");

    ScpiClient c;
    ASSERT_TRUE(c.Connect("127.0.0.1", s.ports[1]));
    EXPECT_EQ(c.Query("*IDN?").value_or("").substr(0, 19), "Korva&Tellin,HOD26,");
    EXPECT_EQ(c.Query("SYST:ERR?"), "0,\"No error\"");
    c.Close();

    p.Signal(SIGTERM);
    EXPECT_EQ(p.Wait(), 0);
    std::ifstream log(dir / "logs" / "analyzer.log");
    std::stringstream logText;
    logText << log.rdbuf();
    EXPECT_EQ(logText.str(), "*IDN?\nSYST:ERR?\n");
    std::ifstream truth(dir / "truth.txt");
    std::string line;
    int rows = 0;
    while (std::getline(truth, line))
        if (!line.empty() && line[0] != '#') ++rows;
    EXPECT_EQ(rows, 261);
    fs::remove_all(dir);
}

TEST(SimbenchProgram, PyVisaIdentifiesUploadsAndReadsACapture) {
    if (!fs::exists(QUILLON_PYTHON) ||
        Process({QUILLON_PYTHON, "-c", "import pyvisa, pyvisa_py"}).Wait(30000) != 0)
        GTEST_SKIP() << "PyVISA with pyvisa-py is not installed for " << QUILLON_PYTHON;
    Process bench({QUILLON_SIMBENCH, "--amp-gain", "20", "--amp-psat", "200", "--amp-pm", "0",
                   "--amp-nf", "-500", "--analyzer-danl", "-500", "--carrier-phase", "0",
                   "--amp-delay", "3"});
    const Started s = ReadStartup(bench);
    ASSERT_EQ(s.resources.size(), 3u);
    const fs::path dir = TempDir("simbench-pyvisa");
    {
        std::ofstream script(dir / "client.py");
        script << R"PY(
import struct, sys
import pyvisa

rm = pyvisa.ResourceManager('@py')
mod, rf, ana = [rm.open_resource(r, read_termination='\n', write_termination='\n', timeout=10000)
                for r in sys.argv[1:4]]
for inst in (mod, rf, ana):
    idn = inst.query('*IDN?')
    assert 'KORVA' in idn.upper(), idn
    print('IDN', idn)

# An offset-binary waveform, I = 0.5 and Q = 0, sent as an IEEE block that
# PyVISA frames itself.
n = 1000
def word(x):
    v = round(x * 32000 + 32768)
    return bytes([v & 252, v >> 8])
body = (word(0.5) + word(0.0)) * n
head = ('{TYPE: WV,0}{CLOCK: 16000000}{MARKER LIST 1: 0-10:1;11:0}{WAVEFORM-%d: 0,#' % (4 * n + 3)).encode()
mod.write_binary_values("MMEM:DATA 'PY',", list(head + body + b'}'), datatype='B')
for m in ("MMEM:LOAD RAM,'PY'", 'SOUR:CLOCK 16MHZ', 'TRIG:MODE CONT', 'ARM;:TRIG', 'OUTP:MARK1:STAT ON'):
    mod.write(m)
assert mod.query('*OPC?') == '1'
for m in ('SOUR:FREQ 1000MHz', 'SOUR:POW:LEV -20dBm', 'SOUR:DM:IQ:STAT ON', 'OUTP:STAT ON'):
    rf.write(m)
assert rf.query('*OPC?') == '1'
for m in ('FREQ:CENT 1000 MHz', 'DISP:TRAC:Y:RLEV 0dBm', 'TRAC:IQ ON',
          'TRAC:IQ:SET NORM,10000000Hz,16000000Hz,EXT,POS,0,2000', 'FORM REAL,32', 'ABOR;INIT:IMM;*WAI'):
    ana.write(m)
data = ana.query_binary_values('TRAC:IQ:DATA?', datatype='f', is_big_endian=False)
assert len(data) == 4000, len(data)
i, q = data[:2000], data[2000:]
expected = 0.5 * 0.05 ** 0.5
assert all(abs(x - expected) < 1e-3 for x in i), i[:5]
assert all(abs(x) < 1e-3 for x in q), q[:5]
for inst in (mod, rf, ana):
    assert inst.query('SYST:ERR?') == '0,"No error"'
print('OK', len(i))
)PY";
    }
    Process py({QUILLON_PYTHON, (dir / "client.py").string(), s.resources[0], s.resources[1],
                s.resources[2]});
    const std::string out = py.Rest(60000);
    EXPECT_EQ(py.Wait(), 0) << out;
    EXPECT_NE(out.find("OK 2000"), std::string::npos) << out;
    bench.Signal(SIGINT);
    EXPECT_EQ(bench.Wait(), 0);
    fs::remove_all(dir);
}

TEST(SimbenchConfig, OptionsFaultsAndFiles) {
    BenchConfig c;
    std::string why;
    const char* argv[] = {"simbench", "--rf=kld",          "--modsource",
                          "KLD",      "--fault",           "error=rf,SOUR:POW:LIM",
                          "--fault",  "mute=analyzer",     "--fault=slow=analyzer,250",
                          "--fault",  "trigger-unplugged", "--opt-analyzer",
                          "R7D,B1",   "--port-analyzer",   "5025"};
    ASSERT_EQ(ParseCommandLine(15, argv, c, why), ParseResult::Run) << why;
    EXPECT_TRUE(SharedSource(c));
    ASSERT_EQ(c.faults.size(), 4u);
    EXPECT_EQ(c.faults[0].header, "SOUR:POW:LIM");
    EXPECT_EQ(c.faults[1].count, 0);
    EXPECT_EQ(c.faults[2].count, 250);
    EXPECT_EQ(c.opt[2], std::optional<std::string>("R7D,B1"));
    EXPECT_EQ(c.portAnalyzer, 5025);
    for (const char* bad : {"unlock", "unlock=nobody", "slow=rf", "slow=rf,x", "drop=rf,3",
                            "error=rf", "trigger-unplugged=rf", "smoke=rf"})
        EXPECT_FALSE(ParseFault(bad, why)) << bad;
    for (auto [key, value] : {std::pair{"modsource", "KLI"},
                              {"rf", "HOB"},
                              {"analyzer", "BOXW"},
                              {"port-rf", "70000"},
                              {"amp-smoothness", "0"},
                              {"amp-model", "tanh"},
                              {"trigger-latency", "-1"},
                              {"seed", "x"}})
        EXPECT_FALSE(ApplyOption(c, key, value, why)) << key;
}
