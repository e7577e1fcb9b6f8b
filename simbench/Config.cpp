#include "Config.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>

namespace simbench {

namespace {

std::string Upper(std::string_view s) {
    std::string u;
    for (char c : s)
        u.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    return u;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool ParseDouble(std::string_view s, double& v) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool ParseLong(std::string_view s, long long& v) {
    s = Trim(s);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string Text(double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

bool Number(std::string_view key, std::string_view value, double lo, double hi, double& out,
            std::string& why) {
    double v = 0;
    if (!ParseDouble(value, v) || v < lo || v > hi) {
        why = std::string(key) + ": expected a number";
        if (std::isfinite(lo) && std::isfinite(hi)) why += " from " + Text(lo) + " to " + Text(hi);
        return false;
    }
    out = v;
    return true;
}

bool Port(std::string_view key, std::string_view value, int& out, std::string& why) {
    long long v = 0;
    if (!ParseLong(value, v) || v < 0 || v > 65535) {
        why = std::string(key) + ": expected a port number 0..65535";
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

} // namespace

std::string_view FamilyName(Family f) {
    switch (f) {
    case Family::BOXW:
        return "BOXW";
    case Family::VRTA:
        return "VRTA";
    case Family::KLD:
        return "KLD";
    case Family::KLI:
        return "KLI";
    case Family::DANE:
        return "DANE";
    case Family::HOB:
        return "HOB";
    case Family::HOC:
        return "HOC";
    case Family::HOD:
        return "HOD";
    case Family::External:
        return "EXTERNAL";
    }
    return "?";
}

std::optional<Family> FamilyFromName(std::string_view name) {
    const std::string u = Upper(Trim(name));
    for (Family f : {Family::BOXW, Family::VRTA, Family::KLD, Family::KLI, Family::DANE,
                     Family::HOB, Family::HOC, Family::HOD, Family::External})
        if (u == FamilyName(f)) return f;
    return std::nullopt;
}

std::string RoleNames(unsigned roles) {
    std::string s;
    for (auto [role, name] : {std::pair{ModSourceRole, "modsource"}, std::pair{RfRole, "rf"},
                              std::pair{AnalyzerRole, "analyzer"}}) {
        if (!(roles & role)) continue;
        if (!s.empty()) s += ',';
        s += name;
    }
    return s;
}

std::optional<Role> RoleFromName(std::string_view name) {
    const std::string u = Upper(Trim(name));
    if (u == "MODSOURCE") return ModSourceRole;
    if (u == "RF") return RfRole;
    if (u == "ANALYZER") return AnalyzerRole;
    return std::nullopt;
}

std::optional<Fault> ParseFault(std::string_view text, std::string& why) {
    text = Trim(text);
    const std::size_t eq = text.find('=');
    const std::string kind = Upper(Trim(text.substr(0, eq)));
    Fault f;
    if (kind == "TRIGGER-UNPLUGGED") {
        if (eq != std::string_view::npos) {
            why = "fault trigger-unplugged takes no role";
            return std::nullopt;
        }
        f.kind = Fault::Kind::TriggerUnplugged;
        return f;
    }
    if (kind == "UNLOCK")
        f.kind = Fault::Kind::Unlock;
    else if (kind == "MUTE")
        f.kind = Fault::Kind::Mute;
    else if (kind == "DROP")
        f.kind = Fault::Kind::Drop;
    else if (kind == "ERROR")
        f.kind = Fault::Kind::Error;
    else if (kind == "SLOW")
        f.kind = Fault::Kind::Slow;
    else {
        why = "unknown fault " + std::string(text);
        return std::nullopt;
    }
    if (eq == std::string_view::npos) {
        why = "fault " + std::string(text) + " needs =<role>";
        return std::nullopt;
    }
    const std::string_view rest = text.substr(eq + 1);
    const std::size_t comma = rest.find(',');
    const auto role = RoleFromName(rest.substr(0, comma));
    if (!role) {
        why = "fault " + std::string(text) + ": role must be modsource, rf or analyzer";
        return std::nullopt;
    }
    f.role = *role;
    const std::string_view arg =
        comma == std::string_view::npos ? std::string_view() : Trim(rest.substr(comma + 1));
    switch (f.kind) {
    case Fault::Kind::Error:
        if (arg.empty()) {
            why = "fault error needs a command header: error=<role>,<header>";
            return std::nullopt;
        }
        f.header.assign(arg);
        break;
    case Fault::Kind::Slow:
    case Fault::Kind::Mute: {
        long long n = 0;
        if (arg.empty() && f.kind == Fault::Kind::Mute) break;
        if (!ParseLong(arg, n) || n < 0 || n > 3600000) {
            why = "fault " + std::string(text) + ": expected a count";
            return std::nullopt;
        }
        f.count = static_cast<long>(n);
        break;
    }
    default:
        if (!arg.empty()) {
            why = "fault " + std::string(text) + " takes only a role";
            return std::nullopt;
        }
    }
    return f;
}

bool ApplyOption(BenchConfig& c, std::string_view key, std::string_view value, std::string& why) {
    const auto family = [&](std::initializer_list<Family> allowed, Family& out) {
        const auto f = FamilyFromName(value);
        for (Family a : allowed) {
            if (f && *f == a) {
                out = a;
                return true;
            }
        }
        why = std::string(key) + ": unknown family " + std::string(value);
        return false;
    };
    const auto roleText = [&](std::string_view prefix, std::optional<std::string>* texts) {
        const auto role = RoleFromName(key.substr(prefix.size()));
        texts[*role == ModSourceRole ? 0 : *role == RfRole ? 1 : 2] = std::string(value);
        return true;
    };
    if (key == "host") {
        c.host = std::string(Trim(value));
        return true;
    }
    if (key == "modsource") return family({Family::BOXW, Family::VRTA, Family::KLD}, c.modSource);
    if (key == "rf")
        return family({Family::VRTA, Family::KLD, Family::KLI, Family::External}, c.rf);
    if (key == "analyzer")
        return family({Family::DANE, Family::HOB, Family::HOC, Family::HOD}, c.analyzer);
    if (key == "port-modsource") return Port(key, value, c.portModSource, why);
    if (key == "port-rf") return Port(key, value, c.portRf, why);
    if (key == "port-analyzer") return Port(key, value, c.portAnalyzer, why);
    if (key == "idn-modsource" || key == "idn-rf" || key == "idn-analyzer")
        return roleText("idn-", c.idn);
    if (key == "opt-modsource" || key == "opt-rf" || key == "opt-analyzer")
        return roleText("opt-", c.opt);
    if (key == "seed") {
        long long v = 0;
        if (!ParseLong(value, v) || v < 0) {
            why = "seed: expected a whole number >= 0";
            return false;
        }
        c.seed = static_cast<unsigned long long>(v);
        return true;
    }
    AmplifierParams& a = c.amplifier;
    const double inf = HUGE_VAL;
    if (key == "amp-model") {
        const std::string m = Upper(Trim(value));
        if (m == "RAPP")
            a.model = AmplifierParams::Model::Rapp;
        else if (m == "SALEH")
            a.model = AmplifierParams::Model::Saleh;
        else {
            why = "amp-model: rapp or saleh";
            return false;
        }
        return true;
    }
    if (key == "amp-gain") return Number(key, value, -1000, 1000, a.gainDb, why);
    if (key == "amp-psat") return Number(key, value, -1000, 1000, a.psatDbm, why);
    if (key == "amp-smoothness") return Number(key, value, 0.1, 100, a.smoothness, why);
    if (key == "amp-pm") return Number(key, value, -180, 180, a.pmDeg, why);
    if (key == "amp-delay") return Number(key, value, 0, 100000, a.delaySamples, why);
    if (key == "amp-nf") return Number(key, value, -inf, inf, a.noiseFigureDb, why);
    if (key == "amp-translation") return Number(key, value, -10e9, 10e9, a.translationHz, why);
    if (key == "converter-level") return Number(key, value, -145, 30, c.converterLevelDbm, why);
    if (key == "trigger-latency") {
        long long v = 0;
        if (!ParseLong(value, v) || v < 0 || v > 1000000) {
            why = "trigger-latency: expected samples 0..1000000";
            return false;
        }
        c.triggerLatency = static_cast<long>(v);
        return true;
    }
    if (key == "carrier-phase") {
        double v = 0;
        if (!Number(key, value, -360, 360, v, why)) return false;
        c.carrierPhaseDeg = v;
        return true;
    }
    if (key == "analyzer-danl") return Number(key, value, -inf, inf, c.analyzerDanl, why);
    if (key == "adc-headroom") return Number(key, value, -20, 40, c.adcHeadroomDb, why);
    if (key == "fault") {
        auto f = ParseFault(value, why);
        if (!f) return false;
        c.faults.push_back(*f);
        return true;
    }
    if (key == "log-dir") {
        c.logDir = std::string(Trim(value));
        return true;
    }
    if (key == "waveform-dir") {
        c.waveformDir = std::string(Trim(value));
        return true;
    }
    if (key == "truth-file") {
        c.truthFile = std::string(Trim(value));
        return true;
    }
    why = "unknown option " + std::string(key);
    return false;
}

bool LoadConfigFile(BenchConfig& config, const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot read configuration file " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string_view l = line;
        if (const std::size_t hash = l.find('#'); hash != std::string_view::npos)
            l = l.substr(0, hash);
        l = Trim(l);
        if (l.empty()) continue;
        const std::size_t eq = l.find('=');
        if (eq == std::string_view::npos) {
            why = path + ":" + std::to_string(number) + ": expected key = value";
            return false;
        }
        if (!ApplyOption(config, Trim(l.substr(0, eq)), Trim(l.substr(eq + 1)), why)) {
            why = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

ParseResult ParseCommandLine(int argc, const char* const* argv, BenchConfig& config,
                             std::string& why) {
    for (int k = 1; k < argc; ++k) {
        std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") return ParseResult::Help;
        if (arg.substr(0, 2) != "--") {
            why = "unexpected argument " + std::string(arg) + " (see --help)";
            return ParseResult::Error;
        }
        arg.remove_prefix(2);
        std::string_view key = arg;
        std::string_view value;
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
            key = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (k + 1 < argc) {
            value = argv[++k];
        } else {
            why = "--" + std::string(key) + " needs a value";
            return ParseResult::Error;
        }
        const bool ok = key == "config" ? LoadConfigFile(config, std::string(value), why)
                                        : ApplyOption(config, key, value, why);
        if (!ok) return ParseResult::Error;
    }
    return ParseResult::Run;
}

std::string HelpText() {
    return R"(simbench - a simulated RF test bench on loopback: modulation source, RF
generator and signal analyzer speaking SCPI over raw TCP sockets, with an
amplifier between generator and analyzer whose true curves it knows.

usage: simbench [--config FILE] [--<key> <value> | --<key>=<value>]...

Options are applied in order; a configuration file holds the same keys as
"key = value" lines ('#' starts a comment), so options after --config override it.

Instruments
  --modsource F        modulation source: BOXW, VRTA (option R4Q) or KLD (R2M)   [BOXW]
  --rf F               RF generator: VRTA, KLD, KLI or EXTERNAL                  [VRTA]
  --analyzer F         signal analyzer: DANE (option R7D), HOB, HOC or HOD        [HOB]
                       When modsource and rf name the same family (VRTA or KLD)
                       one instrument plays both roles, as the measurement expects.
                       EXTERNAL is an I/Q-to-RF converter set by hand: always on,
                       tuned to the analyzer, full scale at --converter-level.
  --host ADDR          IPv4 address to listen on                            [127.0.0.1]
  --port-modsource N, --port-rf N, --port-analyzer N
                       TCP ports; 0 picks a free port                              [0]
                       (a shared modulation source and RF generator uses the
                       modsource port)
  --idn-ROLE TEXT      "*IDN?" answer; default Korva&Tellin,<model>,<serial>,<version>
                       with models BOXW300, VRTA03, KLD200A, KLI03, DANE7, HOB7,
                       HOC26, HOD26. ROLE is modsource, rf or analyzer.
  --opt-ROLE TEXT      "*OPT?" answer; default R4Q for a VRTA and R2M for a KLD that
                       is the modulation source, R7D for a DANE, else 0.
  --seed N             seed of every random choice (noise, capture start, phase) [1]

Amplifier (|a|^2 is the envelope power in mW, g = 10^(gain/20), s = 10^(psat/20))
  --amp-model M        rapp:  |out| = g|a| / (1 + (g|a|/s)^(2p))^(1/(2p)), x = g|a|/s
                       saleh: |out| = g|a| / (1 + x^2),               x = g|a|/(2s)
                       AM/PM of both: pm * x^2 / (1 + x^2)                      [rapp]
  --amp-gain DB        small-signal gain                                          [30]
  --amp-psat DBM       output saturation level                                     [5]
  --amp-smoothness P   Rapp smoothness p                                           [2]
  --amp-pm DEG         AM/PM limit pm                                             [10]
  --amp-delay S        group delay in samples of the ARB clock, integer part and
                       fraction (band-limited interpolation)                    [3.37]
  --amp-nf DB          noise figure: output noise -174 + NF + gain dBm/Hz          [6]
  --amp-translation HZ output frequency = input frequency + HZ                     [0]

Analyzer model
  --analyzer-danl DBM  noise density at 0 dB attenuation, dBm/Hz; the attenuation
                       adds to it                                               [-150]
  --adc-headroom DB    the envelope clips this far above the reference level       [3]
  --trigger-latency N  samples from the marker edge to the first captured sample   [1]
  --carrier-phase DEG  phase of the record when generator (plus translation) and
                       analyzer share one frequency          [drawn from the seed]
  --converter-level DBM  full-scale peak envelope power of the EXTERNAL converter [-10]

Truth and logs
  --truth-file PATH    write the amplifier's true AM/AM and AM/PM table (pin_dbm
                       pout_dbm gain_db phase_deg, 0.25 dB steps); "-" prints it to
                       standard output before READY
  --log-dir DIR        one command log per instrument (modsource.log, rf.log,
                       analyzer.log, or modsource+rf.log): every message received,
                       in order, one line each; control bytes as \xHH, block data as
                       <N bytes>
  --waveform-dir DIR   every uploaded waveform decoded: NAME.iq (I, Q interleaved,
                       float64 little-endian, 1.0 = full scale) and NAME.tags

Faults (repeatable --fault)
  unlock=ROLE          reference lock queries answer "unlocked" (non-zero)
  trigger-unplugged    external-trigger captures return an empty block at once
  mute=ROLE[,N]        after N more messages the instrument stops answering
  drop=ROLE            the next block in or out of the instrument is cut in the
                       middle and the connection closed (once)
  error=ROLE,HEADER    that command fails with -200,"Execution error", e.g.
                       error=rf,SOUR:POW:LIM
  slow=ROLE,MS         every answer waits MS milliseconds

On start it prints, one per line:
  INSTRUMENT <roles> <family> TCPIP0::<host>::<port>::SOCKET
  CONVERTER level_dbm=<x>            (only with --rf EXTERNAL)
  AMPLIFIER model=... gain_db=... psat_dbm=... smoothness=... pm_deg=...
            delay_samples=... nf_db=... translation_hz=...
  BENCH seed=... trigger_latency=... carrier_phase_deg=... danl_dbm_hz=...
        adc_headroom_db=...
  READY
and serves until SIGINT or SIGTERM.

SCPI: messages end with LF (a CR before it is ignored); answers end with LF;
";" and ";:" compound commands; short and long forms in any case; numbers with
unit suffixes (HZ KHZ MHZ GHZ, DBM, DB, V MV); quoted names; IEEE 488.2
definite-length blocks with any bytes inside. Errors go to the queue read by
"SYST:ERR?" (0,"No error" when empty); unknown commands give -113,"Undefined
header", commands of a missing option -241,"Hardware missing".
  all       *IDN? *OPT? *RST *CLS *WAI *OPC *OPC? *STB? *ESE n *SRE n SYST:ERR?
            STAT:QUES:FREQ:COND? STAT:QUES:COND?
  RF        OUTP[:STAT] ON|OFF, SOUR:POW:LIM, SOUR:POW[:LEV], SOUR:FREQ,
            SOUR:ROSC:SOUR INT|EXT, SOUR:DM:IQ:STAT,
            SOUR:DM:IQ:FILT:STAT and :FREQ 850kHz|2.5|5|7.5|10MHz (VRTA, KLI),
            SOUR:IQ:SOUR ANAL|BAS and SOUR:IQ:STAT (KLD, KLI)
  ARB       (VRTA, KLD as modulation source) ARB:WAV:CAT? ARB:WAV:DEL 'n'
            ARB:WAV:SEL 'n', ARB:SEQ AUTO, ARB:CLOCK f, ARB:CLOCK:SOUR INT|EXT,
            MMEM:DATA 'n',#<block>; VRTA: ARB:STAT, ARB:TRIG:OUTP1:MODE 'USER',
            ARB:TRIG:OUTP1:ONT n, ARB:TRIG:OUTP1:OFFT n; KLD: SOUR:BB:ARB:STAT
  BOXW      MMEM:CAT? MMEM:DEL 'n' MMEM:DATA 'n',#<block> MMEM:LOAD RAM,'n',
            TRIG:MODE CONT, ARM, TRIG, OUTP:MARK1:STAT, SOUR:CLOCK f,
            OUTP:I|Q:STAT OFF|FIX|VAR, OUTP:I|Q:AMPL v, OUTP:I|Q:FILT OFF|EXT|2.5MHz|25MHz
  analyzer  FREQ:CENT, INP:ATT, INP:ATT:AUTO, DISP:TRAC:Y:RLEV, SENS:ROSC:SOUR,
            TRAC:IQ ON|OFF, TRAC:IQ:SET NORM,<bw>,<rate>,IMM|EXT,POS|NEG,<pretrigger>,<n>,
            TRAC:IQ:SYNC:STAT (HOC), FORM REAL,32|ASC, ABOR, INIT[:IMM], TRAC:IQ:DATA?

The signal chain:
  - Waveforms come from "MMEM:DATA": tags in braces, "{WAVEFORM-L: 0,#", 4 bytes
    per I/Q pair, "}". BOXW and VRTA take TYPE "WV,0" (offset binary, 14 bits,
    (v - 32768) / 32000), the KLD "KLD-WV,0" with SAMPLES (signed, w / 32767);
    the KLD files "D:\NAME.WV" as NAME. Selecting or loading a file sets the ARB
    clock from its CLOCK tag.
  - The modulation source plays its waveform cyclically at the ARB clock: BOXW
    after MMEM:LOAD, TRIG:MODE CONT and ARM;:TRIG, on the I and Q outputs that are
    not OFF (FIX = full scale, VAR = the set amplitude in volts, 1 V = full scale),
    marker 1 of the file on its marker output when OUTP:MARK1:STAT is ON; VRTA
    with ARB:STAT ON, its trigger output 1 high for ONT samples and low for OFFT
    from every waveform start in 'USER' mode; KLD with SOUR:BB:ARB:STAT ON,
    marker 1 of the file on its marker output.
  - The RF generator emits only with its output on and I/Q modulation on (VRTA:
    its own ARB with ARB:STAT ON or SOUR:DM:IQ:STAT ON for the analog inputs;
    KLD: SOUR:IQ:STAT ON with SOUR:IQ:SOUR BAS for its own ARB or ANAL for the
    analog inputs, or SOUR:DM:IQ:STAT ON; KLI: analog inputs). The level, held
    to the power limit, is read by family: a VRTA playing its own ARB takes it
    as the RMS level of the waveform, whose full scale (|I + jQ| = 1) lies the
    waveform's CRESTFACTOR tag (peak over RMS, dB; 0 when absent) higher; every
    other generator (KLD with its own ARB, the analog I/Q inputs of VRTA, KLD
    and KLI) takes it as the peak envelope power of full scale. The I/Q filters
    of BOXW and VRTA are low-pass FIRs at their frequency.
  - The analyzer sees the amplifier output only; the DUT input the measurement
    compares with is the waveform it uploaded. A frequency difference between
    generator (plus translation) and analyzer rotates the record.
  - A capture (INIT or TRAC:IQ:DATA?) takes the set number of samples at the set
    rate: with EXT it starts trigger-latency samples after the marker edge of the
    chosen slope, less the pretrigger; with IMM anywhere in the waveform. No
    marker (cable unplugged, source stopped, constant marker): an empty block. A
    rate different from the ARB clock of a playing source: -221,"Settings
    conflict" and an empty block; so does TRAC:IQ:DATA? with TRAC:IQ OFF. Noise
    (analyzer density plus attenuation, amplifier noise) is added, the resolution
    filter (Kaiser-windowed sinc, -6 dB at half the bandwidth; bandwidth 0 means
    0.8 x rate) applied, the envelope clipped at reference level + headroom.
  - Samples are volts across 50 ohm, so that sqrt(10^((ref - 30)/10) * 50) is the
    amplitude of the reference level (millivolts for the DANE family). With FORM
    REAL,32: a definite-length block of float32 little-endian, 524288 I values,
    then 524288 Q values, and so on, the last blocks holding the rest.
  - Automatic attenuation is ceil((ref + 20) / 5) * 5 dB, 10 to 75 dB.
  - TRAC:IQ:DATA? answers the capture of the last INIT once; without a pending
    one it captures anew.

Limits (beyond them: -222,"Data out of range"): captures of 1 to 4194304
samples; rates from 10 kHz to 32 MHz (DANE), 81.6 MHz (HOB, HOC) or 326.4 MHz
(HOD); analysis bandwidth up to 10 MHz (50 MHz on the HOD); triggers IMM and EXT
(VID, IFP and RFP give -221); waveforms up to 16777216 pairs; ARB clock up to
105 MHz (BOXW), 40 MHz (VRTA) or 100 MHz (KLD), for the clock command and for
a waveform's CLOCK tag when it is loaded; levels and limits -145 to +30 dBm;
attenuation 0 to 75 dB; reference level -130 to +30 dBm.

Clients are served in turn, at most 1 MiB of input each per turn. A client
whose unread answers pass 4 MiB is not read until it reads them; the messages
waiting over all connections are held to 256 MiB, beyond which the message
being built is dropped with -363,"Input buffer overrun".
)";
}

} // namespace simbench
