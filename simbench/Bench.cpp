#include "Bench.h"

#include "Commands.h"
#include "Scpi.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <numbers>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simbench {

namespace {

using Clock = std::chrono::steady_clock;

struct Identity {
    const char* model;
    const char* version;
};

Identity DefaultIdentity(Family f) {
    switch (f) {
    case Family::BOXW:
        return {"BOXW300", "3.12"};
    case Family::VRTA:
        return {"VRTA03", "5.30"};
    case Family::KLD:
        return {"KLD200A", "1.30.5-3.2"};
    case Family::KLI:
        return {"KLI03", "1.10"};
    case Family::DANE:
        return {"DANE7", "2.51"};
    case Family::HOB:
        return {"HOB7", "1.60"};
    case Family::HOC:
        return {"HOC26", "2.30"};
    case Family::HOD:
        return {"HOD26", "4.02"};
    case Family::External:
        break;
    }
    return {"?", "?"};
}

// The options each role needs to be found for it: the ARB of a VRTA or KLD
// that is the modulation source, the I/Q capture of a DANE.
std::string DefaultOptions(Family f, unsigned roles) {
    if (roles & ModSourceRole) {
        if (f == Family::VRTA) return "R4Q";
        if (f == Family::KLD) return "R2M";
    }
    if (f == Family::DANE) return "R7D";
    return "";
}

int RoleIndex(Role r) {
    return r == ModSourceRole ? 0 : r == RfRole ? 1 : 2;
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Whether a message asks for an answer: one of its units is a query.
bool AsksForAnswer(std::string_view message) {
    if (message.find('?') == std::string_view::npos) return false;
    for (std::string_view text : scpi::SplitUnits(message)) {
        scpi::Unit unit;
        if (scpi::ParseUnit(text, unit) == scpi::NoError && unit.query) return true;
    }
    return false;
}

// Whether the client has closed its end of the connection (or it broke):
// nobody is left to read an answer on it.
bool PeerGone(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

std::string FileSafe(std::string_view name) {
    std::string s;
    for (char c : name) {
        const bool ok =
            std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
        s += ok ? c : '_';
    }
    return s.empty() ? "_" : s;
}

} // namespace

struct Bench::Listener {
    int fd = -1;
    Instrument* instrument = nullptr;
    std::size_t index = 0;
    int port = 0;
};

struct Bench::Connection {
    std::size_t Unsent() const { return out.size() - outPos + queuedBytes; }

    int fd = -1;
    Instrument* instrument = nullptr;
    std::size_t index = 0;
    scpi::MessageFramer framer;
    struct Pending {
        Clock::time_point due;
        std::string data;
        bool closeAfter;
    };
    std::deque<Pending> queue;
    std::size_t queuedBytes = 0;
    std::string out;
    std::size_t outPos = 0;
    bool closeAfterFlush = false;
    bool closed = false;
};

Bench::Bench(BenchConfig config)
    : config_(std::move(config)), amplifier_(config_.amplifier), rng_(config_.seed) {
    const double drawn = 360 * rng_.Uniform();
    carrierPhase_ = config_.carrierPhaseDeg.value_or(drawn) * std::numbers::pi / 180;
    const auto make = [&](Family f, unsigned roles) {
        const Identity id = DefaultIdentity(f);
        std::string idn = std::string("Korva&Tellin,") + id.model + ",1001" +
                          std::to_string(instruments_.size() + 1) + "/00" +
                          std::to_string(instruments_.size() + 1) + ',' + id.version;
        std::string opt = DefaultOptions(f, roles);
        for (Role r : {ModSourceRole, RfRole, AnalyzerRole}) {
            if (!(roles & r)) continue;
            if (config_.idn[RoleIndex(r)]) idn = *config_.idn[RoleIndex(r)];
            if (config_.opt[RoleIndex(r)]) opt = *config_.opt[RoleIndex(r)];
        }
        instruments_.push_back(std::make_unique<Instrument>(f, roles, idn, opt));
    };
    if (SharedSource(config_)) {
        make(config_.modSource, ModSourceRole | RfRole);
    } else {
        make(config_.modSource, ModSourceRole);
        if (config_.rf != Family::External) make(config_.rf, RfRole);
    }
    make(config_.analyzer, AnalyzerRole);
    busySeconds_.assign(instruments_.size(), 0.0);
    for (const Fault& f : config_.faults)
        ApplyFault(f);
}

Bench::~Bench() {
    for (auto& c : connections_)
        close(c->fd);
    for (auto& l : listeners_)
        close(l->fd);
    if (wakeRead_ >= 0) close(wakeRead_);
    if (wakeWrite_ >= 0) close(wakeWrite_);
}

Instrument* Bench::ByRole(Role role) const {
    for (const auto& i : instruments_)
        if (i->Is(role)) return i.get();
    return nullptr;
}

bool Bench::Listen(std::string& why) {
    for (const Fault& f : config_.faults) {
        if (f.kind != Fault::Kind::TriggerUnplugged && !ByRole(f.role)) {
            why = "fault for the " + RoleNames(f.role) + " role, which has no instrument";
            return false;
        }
    }
    std::error_code ec;
    for (const std::string* dir : {&config_.logDir, &config_.waveformDir}) {
        if (!dir->empty() && !std::filesystem::create_directories(*dir, ec) && ec) {
            why = "cannot create folder " + *dir + ": " + ec.message();
            return false;
        }
    }
    in_addr address{};
    if (inet_pton(AF_INET, config_.host.c_str(), &address) != 1) {
        why = "host must be an IPv4 address: " + config_.host;
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        why = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    for (std::size_t k = 0; k < instruments_.size(); ++k) {
        Instrument& inst = *instruments_[k];
        if (!config_.logDir.empty()) {
            std::string name = inst.Name();
            std::replace(name.begin(), name.end(), ',', '+');
            const std::string path = config_.logDir + "/" + name + ".log";
            inst.logFile = std::fopen(path.c_str(), "wb");
            if (!inst.logFile) {
                why = "cannot write " + path;
                return false;
            }
        }
        const int port = inst.Is(ModSourceRole) ? config_.portModSource
                         : inst.Is(RfRole)      ? config_.portRf
                                                : config_.portAnalyzer;
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            why = std::string("socket: ") + std::strerror(errno);
            return false;
        }
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr = address;
        sa.sin_port = htons(static_cast<std::uint16_t>(port));
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 16) != 0) {
            why = "cannot listen on " + config_.host + ":" + std::to_string(port) + ": " +
                  std::strerror(errno);
            close(fd);
            return false;
        }
        socklen_t length = sizeof sa;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
        SetNonBlocking(fd);
        auto l = std::make_unique<Listener>();
        l->fd = fd;
        l->instrument = &inst;
        l->index = k;
        l->port = ntohs(sa.sin_port);
        listeners_.push_back(std::move(l));
    }
    return true;
}

std::vector<Bench::Endpoint> Bench::Endpoints() const {
    std::vector<Endpoint> e;
    for (const auto& l : listeners_)
        e.push_back({l->instrument->roles, l->instrument->family, l->port,
                     "TCPIP0::" + config_.host + "::" + std::to_string(l->port) + "::SOCKET"});
    return e;
}

std::string Bench::StartupText() const {
    std::string s;
    for (const Endpoint& e : Endpoints())
        s += "INSTRUMENT " + RoleNames(e.roles) + ' ' + std::string(FamilyName(e.family)) + ' ' +
             e.resource + '\n';
    if (!SharedSource(config_) && config_.rf == Family::External)
        s += "CONVERTER level_dbm=" + scpi::FormatNumber(config_.converterLevelDbm) + '\n';
    s += "AMPLIFIER " + amplifier_.Describe() + '\n';
    s += "BENCH seed=" + std::to_string(config_.seed) +
         " trigger_latency=" + std::to_string(config_.triggerLatency) +
         " carrier_phase_deg=" + scpi::FormatNumber(carrierPhase_ * 180 / std::numbers::pi) +
         " danl_dbm_hz=" + scpi::FormatNumber(config_.analyzerDanl) +
         " adc_headroom_db=" + scpi::FormatNumber(config_.adcHeadroomDb) + '\n';
    return s;
}

void Bench::Stop() {
    stop_ = true;
    if (wakeWrite_ >= 0) {
        const char c = 'x';
        [[maybe_unused]] const auto n = write(wakeWrite_, &c, 1);
    }
}

void Bench::Run() {
    std::vector<pollfd> fds;
    std::vector<Connection*> polled;
    while (!stop_) {
        fds.clear();
        polled.clear();
        int timeout = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fds.push_back({wakeRead_, POLLIN, 0});
            for (const auto& l : listeners_)
                fds.push_back({l->fd, POLLIN, 0});
            const auto now = Clock::now();
            for (const auto& c : connections_)
                Pump(*c);
            RemoveClosed();
            for (const auto& c : connections_) {
                short events = TakesInput(*c) ? POLLIN : 0;
                if (c->outPos < c->out.size()) events |= POLLOUT;
                if (!c->queue.empty()) {
                    const auto wait =
                        std::chrono::ceil<std::chrono::milliseconds>(c->queue.front().due - now);
                    const int ms = static_cast<int>(std::max<long long>(0, wait.count()));
                    timeout = timeout < 0 ? ms : std::min(timeout, ms);
                }
                fds.push_back({c->fd, events, 0});
                polled.push_back(c.get());
            }
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        std::lock_guard<std::mutex> lock(mutex_);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (stop_) break;
        for (std::size_t k = 0; k < listeners_.size(); ++k)
            if (fds[1 + k].revents & POLLIN) Accept(*listeners_[k]);
        const std::size_t base = 1 + listeners_.size();
        for (std::size_t k = 0; k < polled.size(); ++k) {
            Connection& c = *polled[k];
            const short r = fds[base + k].revents;
            if (fds[base + k].events & POLLIN) {
                if (r & (POLLIN | POLLHUP | POLLERR)) ReadFrom(c);
            } else if (r & (POLLHUP | POLLERR)) {
                c.closed = true; // nobody left to read what it holds
            }
            if (!c.closed) Flush(c);
        }
        // Closing at once matters: a peer cut off in the middle of a block
        // must see the end of the connection, not a stall.
        RemoveClosed();
    }
}

void Bench::RemoveClosed() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->closed) {
            close((*it)->fd);
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void Bench::Accept(Listener& l) {
    for (;;) {
        const int fd = accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->instrument = l.instrument;
        c->index = l.index;
        connections_.push_back(std::move(c));
    }
}

void Bench::ReadFrom(Connection& c) {
    // One read of at most this much per connection and turn of the loop, so a
    // client that floods the bench cannot keep the others waiting.
    static thread_local std::vector<char> buffer(std::size_t(1) << 20);
    Instrument& inst = *c.instrument;
    ssize_t n = 0;
    do {
        n = recv(c.fd, buffer.data(), buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        c.closed = true;
        return;
    }
    if (n < 0) return;
    const auto start = Clock::now();
    ShareInputBudget(c);
    if (!inst.dropArmed) {
        c.framer.Append(buffer.data(), static_cast<std::size_t>(n));
    } else if (AppendUntilHalfBlock(c, buffer.data(), static_cast<std::size_t>(n))) {
        inst.dropArmed = false;
        c.closed = true;
        return;
    }
    busySeconds_[c.index] += std::chrono::duration<double>(Clock::now() - start).count();
    if (c.framer.TakeOverrun()) inst.PushError(scpi::InputBufferOverrun);
    Serve(c);
}

void Bench::Serve(Connection& c) {
    std::string message;
    while (!c.closed && c.Unsent() < config_.outputLimitBytes && c.framer.Next(message))
        HandleMessage(c, message);
}

void Bench::Pump(Connection& c) {
    Flush(c);
    // Messages held back while the client was not reading; until the client
    // has to read again, or none is left (poll then waits for input).
    while (!c.closed && c.framer.HasMessage() && c.Unsent() < config_.outputLimitBytes) {
        Serve(c);
        Flush(c);
        if (c.outPos < c.out.size()) break;
    }
}

bool Bench::TakesInput(const Connection& c) const {
    return !c.closeAfterFlush && !c.framer.HasMessage() && c.Unsent() < config_.outputLimitBytes;
}

void Bench::ShareInputBudget(Connection& c) const {
    std::size_t others = 0;
    for (const auto& other : connections_)
        if (other.get() != &c) others += other->framer.Buffered();
    const std::size_t limit = config_.inputLimitBytes;
    c.framer.SetBudget(limit > others ? limit - others : 0);
}

bool Bench::AppendUntilHalfBlock(Connection& c, const char* data, std::size_t size) {
    // Fed in pieces so that the cut lands in the middle of the block even
    // when the whole block arrived in one read: byte by byte up to a block,
    // then straight to its middle.
    std::size_t pos = 0;
    while (pos < size) {
        std::size_t piece = 1;
        if (c.framer.InBlock()) {
            const std::uint64_t half = (c.framer.BlockLength() + 1) / 2;
            piece = static_cast<std::size_t>(std::min<std::uint64_t>(
                size - pos,
                std::max<std::uint64_t>(1, half - std::min(half, c.framer.BlockReceived()))));
        }
        c.framer.Append(data + pos, piece);
        pos += piece;
        if (c.framer.InBlock() && 2 * c.framer.BlockReceived() >= c.framer.BlockLength())
            return true;
    }
    return false;
}

void Bench::HandleMessage(Connection& c, std::string& message) {
    Instrument& inst = *c.instrument;
    // An empty message (a bare line feed, as after a command that already
    // ended in one) carries nothing; instruments ignore it.
    if (message.find_first_not_of(" \t\r") == std::string::npos) return;
    const auto start = Clock::now();
    inst.Log(message);
    ++inst.messages;
    // A hung instrument still takes the bytes off the wire, but nothing more.
    if (inst.muteAfter >= 0 && inst.messages > inst.muteAfter) return;
    // Commands of a client that has gone still set the instrument up, but its
    // queries are not answered: a capture of millions of samples for nobody
    // would keep every other instrument of the bench waiting.
    if (AsksForAnswer(message) && PeerGone(c.fd)) return;
    Response r = Execute(*this, inst, message);
    busySeconds_[c.index] += std::chrono::duration<double>(Clock::now() - start).count();
    // An empty answer still ends with its line feed, so the reader does not
    // wait out its time-out.
    if (!r.answered) return;
    bool closeAfter = false;
    if (inst.dropArmed && r.blockStart != std::string::npos) {
        inst.dropArmed = false;
        r.text.resize(r.blockStart + r.blockLength / 2);
        closeAfter = true;
    } else {
        r.text += '\n';
    }
    c.queuedBytes += r.text.size();
    c.queue.push_back(
        {Clock::now() + std::chrono::milliseconds(inst.slowMs), std::move(r.text), closeAfter});
}

void Bench::Flush(Connection& c) {
    const auto now = Clock::now();
    while (!c.closeAfterFlush && !c.queue.empty() && c.queue.front().due <= now) {
        auto& p = c.queue.front();
        c.queuedBytes -= p.data.size();
        if (c.outPos == c.out.size()) {
            c.out = std::move(p.data);
            c.outPos = 0;
        } else {
            c.out += p.data;
        }
        c.closeAfterFlush = p.closeAfter;
        c.queue.pop_front();
    }
    while (c.outPos < c.out.size()) {
        const ssize_t n =
            send(c.fd, c.out.data() + c.outPos, c.out.size() - c.outPos, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) c.closed = true;
            return;
        }
        c.outPos += static_cast<std::size_t>(n);
    }
    c.out.clear();
    c.outPos = 0;
    if (c.closeAfterFlush) c.closed = true;
}

SignalPath Bench::Path() const {
    SignalPath p;
    Instrument* mod = ByRole(ModSourceRole);
    Instrument* rf = ByRole(RfRole);
    const Baseband source = mod ? mod->Output() : Baseband{};
    p.marker = source.marker;
    p.markerRunning = source.wave && source.markerOut;
    const Instrument* analyzer = ByRole(AnalyzerRole);
    if (!rf) {
        // The external converter is always on and tuned so that the amplifier
        // output lands on the analyzer's centre frequency.
        p.baseband = source;
        p.emitting = true;
        p.levelDbm = config_.converterLevelDbm;
        p.carrierHz = analyzer->analyzer.centerHz - amplifier_.Params().translationHz;
        return p;
    }
    const RfState& s = rf->rf;
    bool internal = false;
    bool external = false;
    switch (rf->family) {
    case Family::VRTA:
        internal = rf == mod && rf->arb.arbOn;
        external = !internal && s.dmIq;
        break;
    case Family::KLD:
        internal = rf == mod && s.iqState && !s.iqAnalog;
        external = !internal && ((s.iqState && s.iqAnalog) || s.dmIq);
        break;
    default:
        external = s.dmIq || (s.iqState && s.iqAnalog);
        break;
    }
    // The shared instrument's own analog input has nothing connected to it.
    if (internal || (external && rf != mod)) p.baseband = source;
    if (s.dmIqFilter) {
        for (double* cut : {&p.baseband.cutoffIHz, &p.baseband.cutoffQHz})
            *cut = *cut > 0 ? std::min(*cut, s.dmIqFilterHz) : s.dmIqFilterHz;
    }
    p.emitting = s.output && (internal || external) && p.baseband.wave;
    p.levelDbm = std::min(s.levelDbm, s.limitDbm);
    // A VRTA playing its own ARB reads its level as the RMS level of the
    // waveform it plays: full scale lies the waveform's crest factor higher.
    if (internal && rf->family == Family::VRTA && p.baseband.wave)
        p.levelDbm += p.baseband.wave->crestDb;
    p.carrierHz = s.frequencyHz;
    return p;
}

CaptureData Bench::Capture(const Instrument& analyzer) {
    CaptureSettings settings;
    settings.family = analyzer.family;
    settings.centerHz = analyzer.analyzer.centerHz;
    settings.refLevelDbm = analyzer.analyzer.refLevelDbm;
    settings.attenuationDb = analyzer.AttenuationDb();
    settings.iq = analyzer.analyzer.iq;
    BenchModel model;
    model.amplifier = &amplifier_;
    model.triggerLatency = config_.triggerLatency;
    model.danlDbmPerHz = config_.analyzerDanl;
    model.headroomDb = config_.adcHeadroomDb;
    model.triggerUnplugged = triggerUnplugged_;
    model.carrierPhase = carrierPhase_;
    return ComputeCapture(Path(), settings, model, rng_);
}

void Bench::DumpWaveform(const Waveform& wave) {
    if (config_.waveformDir.empty()) return;
    const std::string base = config_.waveformDir + "/" + FileSafe(wave.name);
    if (std::FILE* f = std::fopen((base + ".iq").c_str(), "wb")) {
        std::vector<double> values(2 * wave.Samples());
        for (std::size_t k = 0; k < values.size(); ++k)
            values[k] = wave.Value(wave.words[k]);
        std::fwrite(values.data(), sizeof(double), values.size(), f);
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen((base + ".tags").c_str(), "wb")) {
        for (const auto& [name, value] : wave.tags)
            std::fprintf(f, "%s: %s\n", name.c_str(), value.c_str());
        std::fprintf(f, "PACKING: %s\n",
                     wave.packing == Waveform::Packing::Signed ? "signed" : "offset binary");
        std::fclose(f);
    }
}

std::vector<std::string> Bench::CommandLog(Role role) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Instrument* i = ByRole(role);
    return i ? i->log : std::vector<std::string>{};
}

void Bench::ClearLogs() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& i : instruments_)
        i->log.clear();
}

void Bench::ApplyFault(const Fault& f) {
    if (f.kind == Fault::Kind::TriggerUnplugged) {
        triggerUnplugged_ = true;
        return;
    }
    Instrument* i = ByRole(f.role);
    if (!i) return;
    switch (f.kind) {
    case Fault::Kind::Unlock:
        i->unlocked = true;
        break;
    case Fault::Kind::Mute:
        i->muteAfter = i->messages + f.count;
        break;
    case Fault::Kind::Drop:
        i->dropArmed = true;
        break;
    case Fault::Kind::Error:
        i->errorHeaders.push_back(f.header);
        break;
    case Fault::Kind::Slow:
        i->slowMs = f.count;
        break;
    case Fault::Kind::TriggerUnplugged:
        break;
    }
}

void Bench::SetFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    ApplyFault(fault);
}

void Bench::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    triggerUnplugged_ = false;
    for (auto& i : instruments_) {
        i->unlocked = false;
        i->muteAfter = -1;
        i->dropArmed = false;
        i->errorHeaders.clear();
        i->slowMs = 0;
    }
}

std::vector<std::string> Bench::Catalogue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    if (const Instrument* i = ByRole(ModSourceRole))
        for (const auto& f : i->arb.files)
            names.push_back(f->name);
    return names;
}

std::shared_ptr<const Waveform> Bench::SelectedWaveform() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Instrument* i = ByRole(ModSourceRole);
    return i ? i->arb.selected : nullptr;
}

double Bench::BusySeconds(Role role) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t k = 0; k < instruments_.size(); ++k)
        if (instruments_[k]->Is(role)) return busySeconds_[k];
    return 0;
}

std::size_t Bench::BufferedInput() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (const auto& c : connections_)
        n += c->framer.Buffered();
    return n;
}

std::size_t Bench::UnsentOutput() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (const auto& c : connections_)
        n += c->Unsent();
    return n;
}

IqSettings Bench::AnalyzerIq() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Instrument* i = ByRole(AnalyzerRole);
    return i ? i->analyzer.iq : IqSettings{};
}

} // namespace simbench
