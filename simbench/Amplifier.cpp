#include "Amplifier.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace simbench {

namespace {

std::string Fixed(double value, int decimals) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, r.ptr);
}

std::string Short(double value) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

} // namespace

Amplifier::Amplifier(const AmplifierParams& params)
    : params_(params), g_(std::pow(10.0, params.gainDb / 20)),
      s_(std::pow(10.0, params.psatDbm / 20)), pmRad_(params.pmDeg * std::numbers::pi / 180) {
    const double p = params.smoothness;
    if (p == std::nearbyint(p) && p >= 1 && p <= 16) integerSmoothness_ = static_cast<int>(p);
}

double Amplifier::OutputAmplitude(double in) const {
    const double linear = g_ * in;
    if (params_.model == AmplifierParams::Model::Saleh) {
        const double x = linear / (2 * s_);
        return linear / (1 + x * x);
    }
    const double p2 = 2 * params_.smoothness;
    return linear / std::pow(1 + std::pow(linear / s_, p2), 1 / p2);
}

double Amplifier::PhaseShift(double in) const {
    double x = g_ * in / s_;
    if (params_.model == AmplifierParams::Model::Saleh) x /= 2;
    const double x2 = x * x;
    return pmRad_ * x2 / (1 + x2);
}

std::complex<double> Amplifier::Apply(std::complex<double> in) const {
    // The same curves as OutputAmplitude and PhaseShift, written on the
    // squared amplitude so that most samples need one pow at most.
    const double u = g_ * g_ * std::norm(in) / (s_ * s_); // (g|a|/s)^2
    double gain;
    double x2;
    if (params_.model == AmplifierParams::Model::Saleh) {
        x2 = u / 4;
        gain = g_ / (1 + x2);
    } else {
        x2 = u;
        double w = 1;
        if (integerSmoothness_ > 0) {
            for (int k = 0; k < integerSmoothness_; ++k)
                w *= u;
        } else {
            w = std::pow(u, params_.smoothness);
        }
        gain = g_ * std::pow(1 + w, -1 / (2 * params_.smoothness));
    }
    if (pmRad_ == 0) return in * gain;
    const double phase = pmRad_ * x2 / (1 + x2);
    return in * std::complex<double>(gain * std::cos(phase), gain * std::sin(phase));
}

double Amplifier::NoiseDensityMwPerHz() const {
    return std::pow(10.0, (-174 + params_.noiseFigureDb + params_.gainDb) / 10);
}

std::string Amplifier::Describe() const {
    std::string s = "model=";
    s += params_.model == AmplifierParams::Model::Saleh ? "saleh" : "rapp";
    s += " gain_db=" + Short(params_.gainDb);
    s += " psat_dbm=" + Short(params_.psatDbm);
    s += " smoothness=" + Short(params_.smoothness);
    s += " pm_deg=" + Short(params_.pmDeg);
    s += " delay_samples=" + Short(params_.delaySamples);
    s += " nf_db=" + Short(params_.noiseFigureDb);
    s += " translation_hz=" + Short(params_.translationHz);
    return s;
}

std::string Amplifier::TruthTable() const {
    std::string t = "# simbench amplifier truth\n# " + Describe() + "\n";
    t += "# pin: envelope power at the amplifier input; pout and phase: its output\n";
    if (params_.model == AmplifierParams::Model::Saleh)
        t += "# |out| = g|a|/(1+x^2), x = g|a|/(2s); phase = pm x^2/(1+x^2)\n";
    else
        t += "# |out| = g|a|/(1+(g|a|/s)^(2p))^(1/(2p)), x = g|a|/s; phase = pm x^2/(1+x^2)\n";
    t += "# pin_dbm pout_dbm gain_db phase_deg\n";
    const double inSat = params_.psatDbm - params_.gainDb;
    for (int k = -200; k <= 60; ++k) {
        const double pin = inSat + 0.25 * k;
        const double a = std::pow(10.0, pin / 20);
        const double pout = 20 * std::log10(OutputAmplitude(a));
        t += Fixed(pin, 2) + ' ' + Fixed(pout, 4) + ' ' + Fixed(pout - pin, 4) + ' ' +
             Fixed(PhaseShift(a) * 180 / std::numbers::pi, 4) + '\n';
    }
    return t;
}

} // namespace simbench
