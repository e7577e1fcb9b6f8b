#include "Commands.h"

#include "Bench.h"
#include "Instrument.h"
#include "Scpi.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace simbench {

namespace {

using scpi::Param;
using scpi::UnitKind;

constexpr std::size_t MaxWaveformSamples = std::size_t(1) << 24;
constexpr long MaxCaptureSamples = 1L << 22;

// Which instruments know a command. A command of a family that lacks the
// option a role brings (the ARB of a generator that is not the modulation
// source) answers "Hardware missing"; one the family does not know at all is
// an undefined header.
enum class Need {
    All,
    Source,    // BOXW, VRTA, KLD, KLI: reference input
    Generator, // VRTA, KLD, KLI: RF hardware
    VrtaKli,   // I/Q filter of the modulator
    KldKli,    // I/Q modulator source switch
    ArbList,   // VRTA, KLD with the ARB option
    ArbVrta,
    ArbKld,
    Upload, // any modulation source
    Boxw,
    Analyzer,
    Hoc,
};

bool IsAnalyzer(Family f) {
    return f == Family::DANE || f == Family::HOB || f == Family::HOC || f == Family::HOD;
}

int Unavailable(Need need, const Instrument& inst) {
    const Family f = inst.family;
    const bool mod = inst.Is(ModSourceRole);
    const int undefined = scpi::UndefinedHeader;
    const auto arb = [&](bool familyHasIt) {
        return !familyHasIt ? undefined : mod ? 0 : static_cast<int>(scpi::HardwareMissing);
    };
    switch (need) {
    case Need::All:
        return 0;
    case Need::Source:
        return IsAnalyzer(f) ? undefined : 0;
    case Need::Generator:
        return f == Family::VRTA || f == Family::KLD || f == Family::KLI ? 0 : undefined;
    case Need::VrtaKli:
        return f == Family::VRTA || f == Family::KLI ? 0 : undefined;
    case Need::KldKli:
        return f == Family::KLD || f == Family::KLI ? 0 : undefined;
    case Need::ArbList:
        return arb(f == Family::VRTA || f == Family::KLD);
    case Need::ArbVrta:
        return arb(f == Family::VRTA);
    case Need::ArbKld:
        return arb(f == Family::KLD);
    case Need::Upload:
        return arb(f == Family::BOXW || f == Family::VRTA || f == Family::KLD);
    case Need::Boxw:
        return f == Family::BOXW ? 0 : undefined;
    case Need::Analyzer:
        return IsAnalyzer(f) ? 0 : undefined;
    case Need::Hoc:
        return f == Family::HOC ? 0 : undefined;
    }
    return undefined;
}

struct Context {
    Bench& bench;
    Instrument& inst;
    const scpi::Unit& unit;
    std::vector<int> suffix;
    Response& response;

    bool Fail(int code) {
        inst.PushError(code);
        return false;
    }
    bool Count(std::size_t min, std::size_t max) {
        if (unit.params.size() < min) return Fail(scpi::MissingParameter);
        if (unit.params.size() > max) return Fail(scpi::ParameterNotAllowed);
        return true;
    }
    bool Number(std::size_t i, UnitKind kind, double lo, double hi, double& value) {
        const Param& p = unit.params[i];
        if (p.kind != Param::Text) return Fail(scpi::DataTypeError);
        double v = 0;
        if (const int e = scpi::ParseNumber(p.text, kind, v)) return Fail(e);
        if (v < lo || v > hi) return Fail(scpi::DataOutOfRange);
        value = v;
        return true;
    }
    bool Integer(std::size_t i, double lo, double hi, long& value) {
        double v = 0;
        if (!Number(i, UnitKind::None, lo, hi, v)) return false;
        value = static_cast<long>(std::nearbyint(v));
        return true;
    }
    // Index of the mnemonic that the parameter names; -1 (and no error) when
    // it is not character data.
    int Which(std::size_t i, std::initializer_list<const char*> mnemonics) const {
        const Param& p = unit.params[i];
        if (p.kind != Param::Text) return -1;
        int k = 0;
        for (const char* m : mnemonics) {
            if (scpi::MnemonicMatches(m, p.text)) return k;
            ++k;
        }
        return -1;
    }
    bool Choice(std::size_t i, std::initializer_list<const char*> mnemonics, int& index) {
        const Param& p = unit.params[i];
        if (p.kind != Param::Text) return Fail(scpi::DataTypeError);
        index = Which(i, mnemonics);
        return index >= 0 || Fail(scpi::InvalidCharacterData);
    }
    bool Boolean(std::size_t i, bool& value) {
        const int k = Which(i, {"ON", "OFF"});
        if (k >= 0) {
            value = k == 0;
            return true;
        }
        double v = 0;
        const Param& p = unit.params[i];
        if (p.kind != Param::Text) return Fail(scpi::DataTypeError);
        if (scpi::ParseNumber(p.text, UnitKind::None, v) != scpi::NoError)
            return Fail(scpi::InvalidCharacterData);
        value = std::nearbyint(v) != 0;
        return true;
    }
    bool String(std::size_t i, std::string& value) {
        const Param& p = unit.params[i];
        if (p.kind != Param::String) return Fail(scpi::DataTypeError);
        value = p.text;
        return true;
    }
    bool SuffixIn(int lo, int hi) {
        for (int s : suffix)
            if (s < lo || s > hi) return Fail(scpi::HeaderSuffixOutOfRange);
        return true;
    }
    void Answer(std::string_view text) {
        if (response.answered) response.text += ';';
        response.answered = true;
        response.text += text;
    }
    void AnswerBlock(const std::string& data) {
        if (response.answered) response.text += ';';
        response.answered = true;
        response.text += scpi::BlockHeader(data.size());
        if (response.blockStart == std::string::npos) {
            response.blockStart = response.text.size();
            response.blockLength = data.size();
        }
        response.text += data;
    }
};

using Handler = void (*)(Context&);

struct Command {
    const char* pattern;
    bool query;
    Need need;
    Handler run;
};

// --- helpers -----------------------------------------------------------------------

std::shared_ptr<const Waveform> FindFile(const Instrument& inst, const std::string& name) {
    for (const auto& f : inst.arb.files) {
        if (f->name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = std::toupper(static_cast<unsigned char>(f->name[k])) ==
                   std::toupper(static_cast<unsigned char>(name[k]));
        if (same) return f;
    }
    return nullptr;
}

bool NamedFile(Context& c, std::size_t param, std::shared_ptr<const Waveform>& file) {
    std::string name;
    if (!c.String(param, name)) return false;
    file = FindFile(c.inst, StoredWaveformName(c.inst.family == Family::KLD, name));
    return file || c.Fail(scpi::FileNameNotFound);
}

// The sample clocks the ARB of a family can run at, in Hz.
struct ClockRange {
    double lo;
    double hi;
};

ClockRange ArbClockRange(Family f) {
    switch (f) {
    case Family::BOXW:
        return {1e3, 105e6};
    case Family::KLD:
        return {1e3, 100e6};
    default:
        return {1e3, 40e6};
    }
}

// Loading a file takes its clock, as the instruments do; an explicit clock
// command afterwards overrides it. A file whose clock the ARB cannot run at
// is refused with the error the clock command gives for that rate, and the
// previous selection stays.
bool Select(Context& c, const std::shared_ptr<const Waveform>& file) {
    const ClockRange range = ArbClockRange(c.inst.family);
    const double clock = file->clockHz;
    if (clock > 0 && !(clock >= range.lo && clock <= range.hi)) return c.Fail(scpi::DataOutOfRange);
    c.inst.arb.selected = file;
    if (clock > 0) c.inst.arb.clockHz = clock;
    return true;
}

bool IsClose(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

std::string IqBlock(const CaptureData& d) {
    static_assert(std::endian::native == std::endian::little, "float32 little-endian blocks");
    const std::size_t p = d.i.size();
    std::string s(8 * p, '\0');
    std::size_t pos = 0;
    for (std::size_t b = 0; b < p; b += IqBlockValues) {
        const std::size_t n = std::min(IqBlockValues, p - b);
        std::memcpy(s.data() + pos, d.i.data() + b, 4 * n);
        pos += 4 * n;
        std::memcpy(s.data() + pos, d.q.data() + b, 4 * n);
        pos += 4 * n;
    }
    return s;
}

std::string IqAscii(const CaptureData& d) {
    std::string s;
    char buffer[32];
    for (const auto* v : {&d.i, &d.q}) {
        for (float x : *v) {
            if (!s.empty()) s += ',';
            const auto r = std::to_chars(buffer, buffer + sizeof buffer, x);
            s.append(buffer, r.ptr);
        }
    }
    return s;
}

void OnOff(Context& c, bool& target) {
    bool v = false;
    if (c.Count(1, 1) && c.Boolean(0, v)) target = v;
}

void Reference(Context& c) {
    int k = 0;
    if (c.Count(1, 1) && c.Choice(0, {"INTernal", "EXTernal"}, k))
        c.inst.referenceExternal = k == 1;
}

// --- common and status -------------------------------------------------------------

void SystemError(Context& c) {
    if (c.Count(0, 0)) c.Answer(scpi::ErrorAnswer(c.inst.PopError()));
}
void FrequencyCondition(Context& c) {
    if (c.Count(0, 0)) c.Answer(c.inst.unlocked ? "2" : "0");
}
void QuestionableCondition(Context& c) {
    if (c.Count(0, 0)) c.Answer(c.inst.unlocked ? "32" : "0");
}

// --- RF generator ------------------------------------------------------------------

void Output(Context& c) {
    OnOff(c, c.inst.rf.output);
}
void PowerLimit(Context& c) {
    double v = 0;
    if (c.Count(1, 1) && c.Number(0, UnitKind::PowerDbm, -145, 30, v)) c.inst.rf.limitDbm = v;
}
void PowerLevel(Context& c) {
    double v = 0;
    if (c.Count(1, 1) && c.Number(0, UnitKind::PowerDbm, -145, 30, v)) c.inst.rf.levelDbm = v;
}
void Frequency(Context& c) {
    double v = 0;
    if (c.Count(1, 1) && c.Number(0, UnitKind::Frequency, 100e3, 6e9, v)) c.inst.rf.frequencyHz = v;
}
void DmIqState(Context& c) {
    OnOff(c, c.inst.rf.dmIq);
}
void DmIqFilterState(Context& c) {
    OnOff(c, c.inst.rf.dmIqFilter);
}
void DmIqFilterFrequency(Context& c) {
    double v = 0;
    if (!c.Count(1, 1) || !c.Number(0, UnitKind::Frequency, 0, 1e9, v)) return;
    for (double f : {850e3, 2.5e6, 5e6, 7.5e6, 10e6}) {
        if (IsClose(v, f)) {
            c.inst.rf.dmIqFilterHz = f;
            return;
        }
    }
    c.Fail(scpi::IllegalParameterValue);
}
void IqSource(Context& c) {
    int k = 0;
    if (!c.Count(1, 1) || !c.Choice(0, {"ANALog", "BASeband"}, k)) return;
    if (k == 1 && !c.inst.Is(ModSourceRole)) {
        c.Fail(scpi::HardwareMissing);
        return;
    }
    c.inst.rf.iqAnalog = k == 0;
}
void IqState(Context& c) {
    OnOff(c, c.inst.rf.iqState);
}

// --- ARB of the VRTA and KLD families ----------------------------------------------

void ArbCatalogue(Context& c) {
    if (!c.Count(0, 0)) return;
    std::string s = "\"";
    for (std::size_t k = 0; k < c.inst.arb.files.size(); ++k) {
        if (k) s += ',';
        s += c.inst.arb.files[k]->name;
    }
    c.Answer(s + '"');
}
void DeleteFile(Context& c) {
    std::shared_ptr<const Waveform> file;
    if (!c.Count(1, 1) || !NamedFile(c, 0, file)) return;
    auto& files = c.inst.arb.files;
    files.erase(std::find(files.begin(), files.end(), file));
}
void ArbSelect(Context& c) {
    std::shared_ptr<const Waveform> file;
    if (c.Count(1, 1) && NamedFile(c, 0, file)) Select(c, file);
}
void ArbSequence(Context& c) {
    int k = 0;
    // Only continuous play is wired to anything on this bench.
    if (c.Count(1, 1)) c.Choice(0, {"AUTO"}, k);
}
void ArbClock(Context& c) {
    double v = 0;
    const ClockRange range = ArbClockRange(c.inst.family);
    if (c.Count(1, 1) && c.Number(0, UnitKind::Frequency, range.lo, range.hi, v))
        c.inst.arb.clockHz = v;
}
void ArbClockSource(Context& c) {
    int k = 0;
    if (c.Count(1, 1) && c.Choice(0, {"INTernal", "EXTernal"}, k))
        c.inst.arb.clockExternal = k == 1;
}
void ArbState(Context& c) {
    OnOff(c, c.inst.arb.arbOn);
}
void BbArbState(Context& c) {
    OnOff(c, c.inst.arb.bbArbOn);
}
void TriggerOutputMode(Context& c) {
    std::string mode;
    if (!c.SuffixIn(1, 4) || !c.Count(1, 1) || !c.String(0, mode)) return;
    if (!scpi::MnemonicMatches("USER", mode)) {
        c.Fail(scpi::IllegalParameterValue);
        return;
    }
    // Only output 1 is cabled (to the analyzer's trigger input).
    if (c.suffix[0] == 1) c.inst.arb.triggerOutUser = true;
}
void TriggerOutputTime(Context& c, long& target) {
    long v = 0;
    if (c.SuffixIn(1, 4) && c.Count(1, 1) && c.Integer(0, 0, 2147483647.0, v) && c.suffix[0] == 1)
        target = v;
}
void TriggerOnTime(Context& c) {
    TriggerOutputTime(c, c.inst.arb.onTime);
}
void TriggerOffTime(Context& c) {
    TriggerOutputTime(c, c.inst.arb.offTime);
}

void MemoryData(Context& c) {
    std::string name;
    if (!c.Count(2, 2) || !c.String(0, name)) return;
    const Param& data = c.unit.params[1];
    if (data.kind != Param::Block) {
        c.Fail(scpi::DataTypeError);
        return;
    }
    const bool kld = c.inst.family == Family::KLD;
    name = StoredWaveformName(kld, name);
    if (name.empty()) {
        c.Fail(scpi::IllegalParameterValue);
        return;
    }
    std::string why;
    auto wave = DecodeWaveform(data.block, kld, MaxWaveformSamples, why);
    if (!wave) {
        c.Fail(scpi::InvalidBlockData);
        return;
    }
    wave->name = name;
    auto file = std::make_shared<const Waveform>(std::move(*wave));
    auto& files = c.inst.arb.files;
    const auto old = FindFile(c.inst, name);
    if (old)
        *std::find(files.begin(), files.end(), old) = file;
    else
        files.push_back(file);
    c.bench.DumpWaveform(*file);
}

// --- BOXW --------------------------------------------------------------------------

void MemoryCatalogue(Context& c) {
    if (!c.Count(0, 0)) return;
    std::size_t used = 0;
    std::string entries;
    for (const auto& f : c.inst.arb.files) {
        const std::size_t bytes = 4 * f->Samples();
        used += bytes;
        entries += ",\"" + f->name + ",BIN," + std::to_string(bytes) + '"';
    }
    const std::size_t capacity = std::size_t(256) << 20;
    c.Answer(std::to_string(used) + ',' + std::to_string(capacity > used ? capacity - used : 0) +
             entries);
}
void MemoryLoad(Context& c) {
    int k = 0;
    std::shared_ptr<const Waveform> file;
    if (!c.Count(2, 2) || !c.Choice(0, {"RAM"}, k) || !NamedFile(c, 1, file) || !Select(c, file))
        return;
    c.inst.arb.armed = c.inst.arb.triggered = false;
}
void TriggerMode(Context& c) {
    int k = 0;
    if (c.Count(1, 1) && c.Choice(0, {"CONTinuous"}, k)) c.inst.arb.triggerContinuous = true;
}
void Arm(Context& c) {
    if (c.Count(0, 0)) c.inst.arb.armed = true;
}
void Trigger(Context& c) {
    if (c.Count(0, 0) && c.inst.arb.armed) c.inst.arb.triggered = true;
}
void MarkerState(Context& c) {
    bool v = false;
    if (c.SuffixIn(1, 4) && c.Count(1, 1) && c.Boolean(0, v))
        c.inst.arb.markerOn[static_cast<std::size_t>(c.suffix[0] - 1)] = v;
}
void BoxwClock(Context& c) {
    double v = 0;
    const ClockRange range = ArbClockRange(c.inst.family);
    if (c.Count(1, 1) && c.Number(0, UnitKind::Frequency, range.lo, range.hi, v))
        c.inst.arb.clockHz = v;
}
void ChannelState(Context& c, int ch) {
    int k = 0;
    if (c.Count(1, 1) && c.Choice(0, {"OFF", "FIXed", "VARiable"}, k))
        c.inst.arb.output[static_cast<std::size_t>(ch)] = static_cast<ArbState::Output>(k);
}
void ChannelAmplitude(Context& c, int ch) {
    double v = 0;
    if (c.Count(1, 1) && c.Number(0, UnitKind::Voltage, 0, 1.5, v))
        c.inst.arb.amplitude[static_cast<std::size_t>(ch)] = v;
}
void ChannelFilter(Context& c, int ch) {
    if (!c.Count(1, 1)) return;
    double& target = c.inst.arb.filterHz[static_cast<std::size_t>(ch)];
    if (c.Which(0, {"OFF", "EXTernal"}) >= 0) {
        target = 0; // an external filter is outside the bench
        return;
    }
    double v = 0;
    if (!c.Number(0, UnitKind::Frequency, 0, 1e9, v)) return;
    if (IsClose(v, 2.5e6) || IsClose(v, 25e6))
        target = v;
    else
        c.Fail(scpi::IllegalParameterValue);
}
void IState(Context& c) {
    ChannelState(c, 0);
}
void QState(Context& c) {
    ChannelState(c, 1);
}
void IAmplitude(Context& c) {
    ChannelAmplitude(c, 0);
}
void QAmplitude(Context& c) {
    ChannelAmplitude(c, 1);
}
void IFilter(Context& c) {
    ChannelFilter(c, 0);
}
void QFilter(Context& c) {
    ChannelFilter(c, 1);
}

// --- analyzer ----------------------------------------------------------------------

struct AnalyzerLimits {
    double maxBandwidth;
    double maxRate;
};

AnalyzerLimits Limits(Family f) {
    switch (f) {
    case Family::DANE:
        return {10e6, 32e6};
    case Family::HOD:
        return {50e6, 326.4e6};
    default:
        return {10e6, 81.6e6};
    }
}

void CenterFrequency(Context& c) {
    double v = 0;
    if (c.Count(1, 1) && c.Number(0, UnitKind::Frequency, 0, 26.5e9, v))
        c.inst.analyzer.centerHz = v;
}
void Attenuation(Context& c) {
    double v = 0;
    if (!c.Count(1, 1) || !c.Number(0, UnitKind::RatioDb, 0, 75, v)) return;
    c.inst.analyzer.attenuationDb = std::nearbyint(v);
    c.inst.analyzer.attenuationAuto = false;
}
void AttenuationAuto(Context& c) {
    OnOff(c, c.inst.analyzer.attenuationAuto);
}
void ReferenceLevel(Context& c) {
    double v = 0;
    if (c.Count(1, 1) && c.Number(0, UnitKind::PowerDbm, -130, 30, v))
        c.inst.analyzer.refLevelDbm = v;
}
void IqTrace(Context& c) {
    OnOff(c, c.inst.analyzer.iqOn);
}
void IqSet(Context& c) {
    if (!c.Count(7, 7)) return;
    const AnalyzerLimits limits = Limits(c.inst.family);
    IqSettings s;
    int filter = 0, trigger = 0, slope = 0;
    if (!c.Choice(0, {"NORMal"}, filter) ||
        !c.Number(1, UnitKind::Frequency, 0, limits.maxBandwidth, s.bandwidthHz) ||
        !c.Number(2, UnitKind::Frequency, 10e3, limits.maxRate, s.rateHz) ||
        !c.Choice(3, {"IMMediate", "EXTernal", "VIDeo", "IFPower", "RFPower"}, trigger) ||
        !c.Choice(4, {"POSitive", "NEGative"}, slope) ||
        !c.Integer(5, 0, MaxCaptureSamples, s.pretrigger) ||
        !c.Integer(6, 1, MaxCaptureSamples, s.samples))
        return;
    // The level triggers need a detector this bench does not model.
    if (trigger >= 2) {
        c.Fail(scpi::SettingsConflict);
        return;
    }
    s.external = trigger == 1;
    s.slopePositive = slope == 0;
    c.inst.analyzer.iq = s;
}
void IqSync(Context& c) {
    OnOff(c, c.inst.analyzer.sync);
}
void Format(Context& c) {
    int k = 0;
    if (!c.Count(1, 2) || !c.Choice(0, {"REAL", "ASCii"}, k)) return;
    if (c.unit.params.size() == 2) {
        long bits = 0;
        if (!c.Integer(1, 0, 64, bits)) return;
        if (bits != (k == 0 ? 32 : 0)) {
            c.Fail(scpi::IllegalParameterValue);
            return;
        }
    } else if (k == 0) {
        c.Fail(scpi::MissingParameter);
        return;
    }
    c.inst.analyzer.formatReal = k == 0;
}
void Abort(Context& c) {
    c.Count(0, 0);
}
void Initiate(Context& c) {
    if (!c.Count(0, 0) || !c.inst.analyzer.iqOn) return;
    auto data = std::make_shared<CaptureData>(c.bench.Capture(c.inst));
    if (data->error) c.inst.PushError(data->error);
    c.inst.analyzer.pending = std::move(data);
}
void IqData(Context& c) {
    if (!c.Count(0, 0)) return;
    auto& a = c.inst.analyzer;
    std::shared_ptr<const CaptureData> data;
    if (!a.iqOn) {
        // A misconfigured analyzer: the error and an empty answer, so the
        // reader fails at once instead of waiting for its time-out.
        c.inst.PushError(scpi::SettingsConflict);
        data = std::make_shared<CaptureData>();
    } else if (a.pending) {
        data = std::move(a.pending);
        a.pending.reset();
    } else {
        auto fresh = std::make_shared<CaptureData>(c.bench.Capture(c.inst));
        if (fresh->error) c.inst.PushError(fresh->error);
        data = std::move(fresh);
    }
    if (a.formatReal)
        c.AnswerBlock(IqBlock(*data));
    else
        c.Answer(IqAscii(*data));
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> table = {
        {"SYSTem:ERRor[:NEXT]", true, Need::All, SystemError},
        {"STATus:QUEStionable:FREQuency:CONDition", true, Need::All, FrequencyCondition},
        {"STATus:QUEStionable:CONDition", true, Need::All, QuestionableCondition},
        // RF generators
        {"OUTPut[:STATe]", false, Need::Generator, Output},
        {"[SOURce]:POWer:LIMit[:AMPLitude]", false, Need::Generator, PowerLimit},
        {"[SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]", false, Need::Generator, PowerLevel},
        {"[SOURce]:FREQuency[:CW]", false, Need::Generator, Frequency},
        {"[SOURce]:ROSCillator:SOURce", false, Need::Source, Reference},
        {"[SOURce]:DM:IQ:STATe", false, Need::Generator, DmIqState},
        {"[SOURce]:DM:IQ:FILTer:STATe", false, Need::VrtaKli, DmIqFilterState},
        {"[SOURce]:DM:IQ:FILTer:FREQuency", false, Need::VrtaKli, DmIqFilterFrequency},
        {"[SOURce]:IQ:SOURce", false, Need::KldKli, IqSource},
        {"[SOURce]:IQ:STATe", false, Need::KldKli, IqState},
        // ARB of the VRTA and KLD families
        {"[SOURce]:ARBitrary:WAVeform:CATalog", true, Need::ArbList, ArbCatalogue},
        {"[SOURce]:ARBitrary:WAVeform:DELete", false, Need::ArbList, DeleteFile},
        {"[SOURce]:ARBitrary:WAVeform:SELect", false, Need::ArbList, ArbSelect},
        {"[SOURce]:ARBitrary:SEQuence", false, Need::ArbList, ArbSequence},
        {"[SOURce]:ARBitrary:CLOCk", false, Need::ArbList, ArbClock},
        {"[SOURce]:ARBitrary:CLOCk:SOURce", false, Need::ArbList, ArbClockSource},
        {"[SOURce]:ARBitrary:STATe", false, Need::ArbVrta, ArbState},
        {"[SOURce]:ARBitrary:TRIGger:OUTPut#:MODE", false, Need::ArbVrta, TriggerOutputMode},
        {"[SOURce]:ARBitrary:TRIGger:OUTPut#:ONTime", false, Need::ArbVrta, TriggerOnTime},
        {"[SOURce]:ARBitrary:TRIGger:OUTPut#:OFFTime", false, Need::ArbVrta, TriggerOffTime},
        {"[SOURce]:BB:ARBitrary:STATe", false, Need::ArbKld, BbArbState},
        {"MMEMory:DATA", false, Need::Upload, MemoryData},
        // BOXW
        {"MMEMory:CATalog", true, Need::Boxw, MemoryCatalogue},
        {"MMEMory:DELete", false, Need::Boxw, DeleteFile},
        {"MMEMory:LOAD", false, Need::Boxw, MemoryLoad},
        {"TRIGger:MODE", false, Need::Boxw, TriggerMode},
        {"ARM[:IMMediate]", false, Need::Boxw, Arm},
        {"TRIGger[:IMMediate]", false, Need::Boxw, Trigger},
        {"OUTPut:MARKer#:STATe", false, Need::Boxw, MarkerState},
        {"[SOURce]:CLOCk", false, Need::Boxw, BoxwClock},
        {"OUTPut:I:STATe", false, Need::Boxw, IState},
        {"OUTPut:Q:STATe", false, Need::Boxw, QState},
        {"OUTPut:I:AMPLitude", false, Need::Boxw, IAmplitude},
        {"OUTPut:Q:AMPLitude", false, Need::Boxw, QAmplitude},
        {"OUTPut:I:FILTer", false, Need::Boxw, IFilter},
        {"OUTPut:Q:FILTer", false, Need::Boxw, QFilter},
        // analyzers
        {"[SENSe]:FREQuency:CENTer", false, Need::Analyzer, CenterFrequency},
        {"INPut:ATTenuation", false, Need::Analyzer, Attenuation},
        {"INPut:ATTenuation:AUTO", false, Need::Analyzer, AttenuationAuto},
        {"DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:RLEVel", false, Need::Analyzer, ReferenceLevel},
        {"[SENSe]:ROSCillator:SOURce", false, Need::Analyzer, Reference},
        {"TRACe#:IQ[:STATe]", false, Need::Analyzer, IqTrace},
        {"TRACe#:IQ:SET", false, Need::Analyzer, IqSet},
        {"TRACe#:IQ:SYNChronize[:STATe]", false, Need::Hoc, IqSync},
        {"TRACe#:IQ:DATA", true, Need::Analyzer, IqData},
        {"FORMat[:DATA]", false, Need::Analyzer, Format},
        {"ABORt", false, Need::Analyzer, Abort},
        {"INITiate[:IMMediate]", false, Need::Analyzer, Initiate},
    };
    return table;
}

const std::vector<scpi::Pattern>& Patterns() {
    static const std::vector<scpi::Pattern> patterns = [] {
        std::vector<scpi::Pattern> p;
        for (const Command& c : Commands())
            p.emplace_back(c.pattern);
        return p;
    }();
    return patterns;
}

void Common(Instrument& inst, const scpi::Unit& unit, Context& c) {
    std::string name;
    for (char ch : unit.nodes[0])
        name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
    const bool q = unit.query;
    if (name == "IDN" && q) {
        if (c.Count(0, 0)) c.Answer(inst.idn);
    } else if (name == "OPT" && q) {
        if (c.Count(0, 0)) c.Answer(inst.opt.empty() ? "0" : inst.opt);
    } else if (name == "RST" && !q) {
        if (c.Count(0, 0)) inst.Reset();
    } else if (name == "CLS" && !q) {
        if (c.Count(0, 0)) {
            inst.errors.clear();
            inst.esr = 0;
        }
    } else if (name == "WAI" && !q) {
        c.Count(0, 0); // every operation here completes before the next one starts
    } else if (name == "OPC" && !q) {
        if (c.Count(0, 0)) inst.esr |= 0x01;
    } else if (name == "OPC" && q) {
        if (c.Count(0, 0)) c.Answer("1");
    } else if (name == "STB" && q) {
        if (c.Count(0, 0)) c.Answer(std::to_string(inst.StatusByte()));
    } else if ((name == "ESE" || name == "SRE") && !q) {
        long v = 0;
        if (c.Count(1, 1) && c.Integer(0, 0, 255, v))
            (name == "ESE" ? inst.ese : inst.sre) = static_cast<int>(v);
    } else {
        inst.PushError(scpi::UndefinedHeader);
    }
}

bool InjectedError(const Instrument& inst, std::size_t command) {
    std::vector<int> ignored;
    for (const std::string& header : inst.errorHeaders) {
        scpi::Unit u;
        if (scpi::ParseUnit(header, u) != scpi::NoError || u.common) continue;
        if (u.query == Commands()[command].query && Patterns()[command].Match(u.nodes, ignored))
            return true;
    }
    return false;
}

} // namespace

std::string StoredWaveformName(bool kldFamily, std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    if (kldFamily) {
        const std::size_t slash = name.find_last_of("\\/");
        if (slash != std::string_view::npos)
            name.remove_prefix(slash + 1);
        else if (name.size() >= 2 && name[1] == ':')
            name.remove_prefix(2);
        if (name.size() >= 3) {
            const std::string_view ext = name.substr(name.size() - 3);
            if (ext[0] == '.' && (ext[1] == 'W' || ext[1] == 'w') &&
                (ext[2] == 'V' || ext[2] == 'v'))
                name.remove_suffix(3);
        }
    }
    return std::string(name);
}

Response Execute(Bench& bench, Instrument& inst, const std::string& message) {
    Response response;
    std::vector<std::string> path; // header path for units that do not start with ':'
    bool first = true;
    for (std::string_view text : scpi::SplitUnits(message)) {
        bool blank = true;
        for (char ch : text)
            blank = blank && (ch == ' ' || ch == '\t' || ch == '\r');
        if (blank) continue; // a trailing ';' or an empty message
        scpi::Unit unit;
        if (const int e = scpi::ParseUnit(text, unit)) {
            inst.PushError(e);
            continue;
        }
        Context c{bench, inst, unit, {}, response};
        if (unit.common) {
            Common(inst, unit, c);
            continue;
        }
        std::vector<std::string> nodes;
        if (!unit.rooted && !first) nodes = path;
        nodes.insert(nodes.end(), unit.nodes.begin(), unit.nodes.end());
        first = false;
        path.assign(nodes.begin(), nodes.end() - 1);

        int unavailable = scpi::UndefinedHeader;
        std::size_t found = Commands().size();
        for (std::size_t k = 0; k < Commands().size(); ++k) {
            const Command& cmd = Commands()[k];
            if (cmd.query != unit.query || !Patterns()[k].Match(nodes, c.suffix)) continue;
            const int u = Unavailable(cmd.need, inst);
            if (u == 0) {
                found = k;
                break;
            }
            if (u == scpi::HardwareMissing) unavailable = u;
        }
        if (found == Commands().size()) {
            inst.PushError(unavailable);
            continue;
        }
        if (InjectedError(inst, found)) {
            inst.PushError(scpi::ExecutionError);
            continue;
        }
        Commands()[found].run(c);
    }
    return response;
}

} // namespace simbench
