#pragma once
// One simulated instrument: its identity, the IEEE 488.2 status registers and
// error queue, and the state of whichever roles it plays (modulation source,
// RF generator, signal analyzer).

#include "Config.h"
#include "Waveform.h"

#include <array>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace simbench {

// What the modulation source puts out: the waveform it clocks, the channel
// gains and filters of its outputs and its marker (trigger) line.
struct Baseband {
    std::shared_ptr<const Waveform> wave; // set only while it runs
    double clockHz = 0;
    double gainI = 1, gainQ = 1;
    double cutoffIHz = 0, cutoffQHz = 0; // 0: no filter
    MarkerEdges marker;
    bool markerOut = false; // the marker line toggles at the output
};

struct ArbState {
    std::vector<std::shared_ptr<const Waveform>> files; // stored waveforms (kept by *RST)
    std::shared_ptr<const Waveform> selected; // selected (VRTA, KLD) or loaded into RAM (BOXW)
    double clockHz = 1e6;
    bool clockExternal = false;
    bool arbOn = false;   // VRTA "ARB:STAT"
    bool bbArbOn = false; // KLD "SOUR:BB:ARB:STAT"
    // BOXW
    bool triggerContinuous = true;
    bool armed = false;
    bool triggered = false;
    std::array<bool, 4> markerOn{};
    enum class Output { Off, Fixed, Variable };
    std::array<Output, 2> output{Output::Fixed, Output::Fixed}; // I, Q
    std::array<double, 2> amplitude{1.0, 1.0};                  // V for Variable
    std::array<double, 2> filterHz{0, 0};                       // 0: off or external
    // VRTA trigger output 1
    bool triggerOutUser = false;
    long onTime = 0;
    long offTime = 0;
};

struct RfState {
    bool output = false;
    double frequencyHz = 1e9;
    double levelDbm = -30;
    double limitDbm = 30;
    bool dmIq = false; // "SOUR:DM:IQ:STAT": external analog I/Q
    bool dmIqFilter = false;
    double dmIqFilterHz = 2.5e6;
    bool iqState = false;  // "SOUR:IQ:STAT"
    bool iqAnalog = false; // "SOUR:IQ:SOUR ANAL" (else baseband)
};

struct IqSettings {
    double bandwidthHz = 0; // 0: automatic, 0.8 x sample rate
    double rateHz = 32e6;
    bool external = false;
    bool slopePositive = true;
    long pretrigger = 0;
    long samples = 128;
};

struct CaptureData {
    int error = 0;           // SCPI error of the capture, 0 when it ran
    std::vector<float> i, q; // volts (millivolts for DANE); empty: no data
};

struct AnalyzerState {
    double centerHz = 1e9;
    double refLevelDbm = -10;
    bool attenuationAuto = true;
    double attenuationDb = 10;
    bool iqOn = false;
    IqSettings iq;
    bool sync = false;
    bool formatReal = false;                    // ASCII after a reset
    std::shared_ptr<const CaptureData> pending; // result of the last INIT not yet read
};

class Instrument {
public:
    Instrument(Family family, unsigned roles, std::string idn, std::string opt);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    const Family family;
    const unsigned roles;
    std::string idn;
    std::string opt;

    bool Is(Role role) const { return (roles & role) != 0; }
    // "modsource", "rf", "analyzer" or e.g. "modsource,rf"
    std::string Name() const { return RoleNames(roles); }

    // *RST: the roles' settings go back to their defaults; stored waveforms,
    // the error queue and the status enable registers stay.
    void Reset();

    // IEEE 488.2 status
    std::deque<int> errors;
    int ese = 0;
    int sre = 0;
    int esr = 0;
    void PushError(int code);
    int PopError();
    int StatusByte() const;

    ArbState arb;
    RfState rf;
    AnalyzerState analyzer;
    bool referenceExternal = false;

    // The attenuation in force (automatic or manual).
    double AttenuationDb() const;
    // What the modulation source puts out now.
    Baseband Output() const;

    // Faults
    bool unlocked = false;
    long muteAfter = -1; // messages after which it stops answering, -1 never
    bool dropArmed = false;
    long slowMs = 0;
    std::vector<std::string> errorHeaders; // headers of commands that fail
    long messages = 0;

    // Command log: every message received, in order (in memory the most
    // recent 100000 to 200000 lines)
    std::vector<std::string> log;
    std::FILE* logFile = nullptr;
    void Log(const std::string& message);
};

// The log form of a message: control bytes as \xHH, block data as <N bytes>.
std::string LogLine(std::string_view message);

} // namespace simbench
