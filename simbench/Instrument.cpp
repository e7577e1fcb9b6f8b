#include "Instrument.h"

#include "Scpi.h"

#include <algorithm>
#include <cmath>

namespace simbench {

namespace {

constexpr std::size_t MaxErrors = 32;
constexpr std::size_t MaxLogLines = 200000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void AppendEscaped(std::string& out, char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
        static const char hex[] = "0123456789ABCDEF";
        out += "\\x";
        out += hex[u >> 4];
        out += hex[u & 15];
    } else {
        out += c;
    }
}

} // namespace

Instrument::Instrument(Family f, unsigned r, std::string id, std::string options)
    : family(f), roles(r), idn(std::move(id)), opt(std::move(options)) {
    Reset();
}

Instrument::~Instrument() {
    if (logFile) std::fclose(logFile);
}

void Instrument::Reset() {
    auto files = std::move(arb.files);
    arb = ArbState{};
    arb.files = std::move(files);
    rf = RfState{};
    analyzer = AnalyzerState{};
    referenceExternal = false;
}

void Instrument::PushError(int code) {
    if (code <= -100 && code > -200)
        esr |= 0x20; // command error
    else if (code <= -200 && code > -300)
        esr |= 0x10; // execution error
    else if (code <= -300 && code > -400)
        esr |= 0x08; // device-specific error
    else if (code <= -400 && code > -500)
        esr |= 0x04; // query error
    if (errors.size() >= MaxErrors) {
        errors.back() = scpi::QueueOverflow;
        return;
    }
    errors.push_back(code);
}

int Instrument::PopError() {
    if (errors.empty()) return 0;
    const int code = errors.front();
    errors.pop_front();
    return code;
}

int Instrument::StatusByte() const {
    int stb = 0;
    if (!errors.empty()) stb |= 0x04;
    if (esr & ese) stb |= 0x20;
    if (stb & sre) stb |= 0x40;
    return stb;
}

double Instrument::AttenuationDb() const {
    if (!analyzer.attenuationAuto) return analyzer.attenuationDb;
    // Automatic attenuation keeps the mixer about 20 dB below the reference
    // level, in 5 dB steps, never below 10 dB.
    const double steps = std::ceil((analyzer.refLevelDbm + 20) / 5);
    return std::clamp(steps * 5, 10.0, 75.0);
}

Baseband Instrument::Output() const {
    Baseband b;
    if (!Is(ModSourceRole) || !arb.selected || arb.selected->Samples() == 0) return b;
    const auto& wave = arb.selected;
    bool running = false;
    switch (family) {
    case Family::BOXW:
        running = arb.triggerContinuous && arb.triggered;
        for (int ch = 0; ch < 2; ++ch) {
            const double gain = arb.output[ch] == ArbState::Output::Off     ? 0.0
                                : arb.output[ch] == ArbState::Output::Fixed ? 1.0
                                                                            : arb.amplitude[ch];
            (ch == 0 ? b.gainI : b.gainQ) = gain;
            (ch == 0 ? b.cutoffIHz : b.cutoffQHz) = arb.filterHz[ch];
        }
        b.markerOut = arb.markerOn[0];
        b.marker = wave->Marker(1);
        break;
    case Family::VRTA:
        running = arb.arbOn && !arb.clockExternal;
        b.markerOut = arb.triggerOutUser;
        b.marker = PulseEdges(arb.onTime, arb.offTime, wave->Samples());
        break;
    case Family::KLD:
        running = arb.bbArbOn && !arb.clockExternal;
        b.markerOut = true;
        b.marker = wave->Marker(1);
        break;
    default:
        break;
    }
    if (!running) return Baseband{};
    b.wave = wave;
    b.clockHz = arb.clockHz;
    return b;
}

void Instrument::Log(const std::string& message) {
    std::string line = LogLine(message);
    if (logFile) {
        std::fwrite(line.data(), 1, line.size(), logFile);
        std::fputc('\n', logFile);
        std::fflush(logFile);
    }
    // The file keeps everything; memory keeps the most recent lines, so a
    // bench left running for days does not grow without bound.
    if (log.size() >= MaxLogLines) log.erase(log.begin(), log.begin() + MaxLogLines / 2);
    log.push_back(std::move(line));
}

std::string LogLine(std::string_view m) {
    std::string out;
    char quote = 0;
    std::size_t i = 0;
    while (i < m.size()) {
        const char c = m[i];
        if (quote) {
            if (c == quote) quote = 0;
            AppendEscaped(out, c);
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            out += c;
            ++i;
            continue;
        }
        if (c == '#' && i + 1 < m.size() && IsDigit(m[i + 1])) {
            const int n = m[i + 1] - '0';
            std::size_t j = i + 2;
            std::size_t length = 0;
            bool ok = true;
            for (int k = 0; k < n; ++k, ++j) {
                if (j >= m.size() || !IsDigit(m[j])) {
                    ok = false;
                    break;
                }
                length = length * 10 + static_cast<std::size_t>(m[j] - '0');
            }
            if (ok) {
                if (n == 0) length = m.size() - j;
                length = std::min(length, m.size() - j);
                out.append(m.substr(i, j - i));
                out += '<' + std::to_string(length) + " bytes>";
                i = j + length;
                continue;
            }
        }
        AppendEscaped(out, c);
        ++i;
    }
    return out;
}

} // namespace simbench
