#pragma once
// The signal chain from the modulation source to the analyzer's I/Q record:
// baseband (cyclic waveform, output gains and filters) -> RF generator
// (full scale = the set level as peak envelope power) -> amplifier (group
// delay, AM/AM, AM/PM, noise, translation) -> analyzer (frequency offset as a
// rotation, noise floor rising with the attenuation, resolution filter, ADC
// clipping near the reference level, volts across 50 ohm).

#include "Amplifier.h"
#include "Config.h"
#include "Dsp.h"
#include "Instrument.h"

namespace simbench {

// What reaches the analyzer input, as the instruments are set now.
struct SignalPath {
    Baseband baseband;     // what the modulator is fed (wave unset: silence)
    bool emitting = false; // RF carries the modulation
    double levelDbm = 0;   // full scale as peak envelope power at the amplifier input
    double carrierHz = 0;  // RF frequency at the amplifier input
    MarkerEdges marker;    // the modulation source's trigger line
    bool markerRunning = false;
};

struct CaptureSettings {
    Family family = Family::HOB;
    double centerHz = 1e9;
    double refLevelDbm = -10;
    double attenuationDb = 10;
    IqSettings iq;
};

struct BenchModel {
    const Amplifier* amplifier = nullptr;
    long triggerLatency = 1;
    double danlDbmPerHz = -150;
    double headroomDb = 3;
    bool triggerUnplugged = false;
    double carrierPhase = 0; // phase between generator and analyzer when both run on one frequency
};

// One capture. An external trigger waits for the marker edge of the chosen
// slope; without trigger cable, running source or edge the record is empty.
// A capture rate that differs from the ARB clock of a playing source gives
// the error "Settings conflict" and no data.
CaptureData ComputeCapture(const SignalPath& path, const CaptureSettings& settings,
                           const BenchModel& model, Rng& rng);

} // namespace simbench
