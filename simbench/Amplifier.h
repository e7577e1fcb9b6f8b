#pragma once
// The amplifier under test: memoryless AM/AM and AM/PM, a group delay, noise
// and an optional frequency translation. Envelopes are complex amplitudes in
// sqrt(mW): |a|^2 is the instantaneous power in mW.
//
// With g = 10^(gain/20) and s = 10^(psat/20):
//   Rapp:  |out| = g|a| / (1 + (g|a|/s)^(2p))^(1/(2p)),   x = g|a|/s
//   Saleh: |out| = g|a| / (1 + x^2),                      x = g|a|/(2s)
//   both:  phase(out) - phase(a) = pm * x^2 / (1 + x^2)   (pm in degrees)
// Saleh peaks at exactly psat (for x = 1) and falls beyond; Rapp approaches
// psat from below.

#include <complex>
#include <string>

namespace simbench {

struct AmplifierParams {
    enum class Model { Rapp, Saleh };
    Model model = Model::Rapp;
    double gainDb = 30;         // small-signal gain
    double psatDbm = 5;         // output saturation level
    double smoothness = 2;      // Rapp's p
    double pmDeg = 10;          // AM/PM limit for large signals
    double delaySamples = 3.37; // group delay in samples of the ARB clock
    double noiseFigureDb = 6;   // output noise density -174 + NF + gain dBm/Hz
    double translationHz = 0;   // output frequency = input frequency + translation
};

class Amplifier {
public:
    explicit Amplifier(const AmplifierParams& params = {});

    const AmplifierParams& Params() const { return params_; }

    // The output envelope for an input envelope.
    std::complex<double> Apply(std::complex<double> in) const;
    // Output amplitude (sqrt(mW)) and phase shift (rad) for an input amplitude.
    double OutputAmplitude(double in) const;
    double PhaseShift(double in) const;
    // Output noise density in mW/Hz.
    double NoiseDensityMwPerHz() const;

    // One line "model=rapp gain_db=30 ..." with every parameter.
    std::string Describe() const;
    // The true curves as text: a comment header with the parameters and the
    // formulas, then lines "pin_dbm pout_dbm gain_db phase_deg" from 50 dB
    // below to 15 dB above the input saturation level in steps of 0.25 dB.
    std::string TruthTable() const;

private:
    AmplifierParams params_;
    double g_; // voltage gain
    double s_; // saturation amplitude
    double pmRad_;
    int integerSmoothness_ = 0; // p when it is a small whole number, else 0
};

} // namespace simbench
