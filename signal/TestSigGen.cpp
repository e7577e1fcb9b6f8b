#include "TestSigGen.h"

#include "CrossMix.h"
#include "DSP.h"
#include "General.h"
#include "IQFileReader.h"
#include "WVClass.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace TestSigGen {

namespace {

// A fresh signal carries no predistortion; the waveform object learns its
// clock, length and crest factor.
void Describe(std::int32_t samples, double crest) {
    General::NoiseAMUsed = false;
    General::NoisePMUsed = false;
    WVClass& wv = General::TestSignal();
    wv.SetClockInHz(General::NoiseClock * 1e6);
    wv.SetSamples(samples);
    wv.SetCrestFactor(crest);
}

// Iout/Iin may be the same arrays.
void Copy(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout) {
    if (&Iout != &Iin) Iout = Iin;
    if (&Qout != &Qin) Qout = Qin;
}

// The curves of a mode: 0 AM/AM only, 1 AM/PM only, 2 both; nothing for
// other modes.
bool Curves(std::int16_t mode, const Array& am, const Array& pm, const Array*& amCurve,
            const Array*& pmCurve) {
    if (mode < 0 || mode > 2) return false;
    amCurve = mode == 1 ? nullptr : &am;
    pmCurve = mode == 0 ? nullptr : &pm;
    return true;
}

void StoreDistortedCrest(const Array& I, const Array& Q) {
    General::DistortedSignalCrest = static_cast<float>(DSP::IntMath().ArrayCrestIQ(I, Q));
}

} // namespace

void MakeNoiseSignal() {
    MathClass& m = DSP::IntMath();
    CrossMix::AddStatus("calculating noise signal");
    m.SignalNoise(General::NoiseBandwidth, General::NoiseClock, General::NoiseLength,
                  General::NoiseSeed, false, General::TestSignalI, General::TestSignalQ);
    General::TestSignalCrest =
        static_cast<float>(m.ArrayCrestIQ(General::TestSignalI, General::TestSignalQ));
    Describe(General::NoiseLength, General::TestSignalCrest);
    CrossMix::AddStatus("noise signal calculated");
}

void MakeDualToneSignal() {
    MathClass& m = DSP::IntMath();
    CrossMix::AddStatus("calculating dual tone signal");
    const std::int32_t length = std::max<std::int32_t>(General::NoiseLength, 0);
    // Periods of the tone over the record: a whole number repeats seamlessly.
    const double f = (static_cast<double>(General::NoiseLength) / General::NoiseClock) *
                     (General::NoiseBandwidth / 2);
    CrossMix::AddStatus("calculating dual-tone...");
    Array I(static_cast<std::size_t>(length), 0.0), Q(static_cast<std::size_t>(length), 0.0);
    const double pi = m.ConstPi();
    for (std::int32_t k = 0; k < length; ++k) {
        const double x = static_cast<double>(k) / General::NoiseLength;
        I[static_cast<std::size_t>(k)] = std::sin((x + x) * pi * f);
    }
    m.ArrayNormalizeIQ(I, Q, I, Q, 1.0);
    const double crest = m.ArrayCrestIQ(I, Q);
    General::TestSignalI = std::move(I);
    General::TestSignalQ = std::move(Q);
    General::TestSignalCrest = static_cast<float>(crest);
    Describe(General::NoiseLength, crest);
    CrossMix::AddStatus("dual tone signal calculated");
}

std::int32_t LoadSimulatedSignal() {
    MathClass& m = DSP::IntMath();
    CrossMix::AddStatus("loading PlenWAVE signal");
    WaveFileHeader header;
    std::int32_t status = IQFileReader::StatusOK;
    IQFileReader::OpenWaveFile(header, General::PlenwavePath, status);
    Array I, Q;
    if (status == IQFileReader::StatusOK) {
        std::int32_t got = 0;
        status = IQFileReader::ReadWaveData(I, Q, header.PairCount, got);
    }
    IQFileReader::CloseWaveFile();
    // Nothing of the previous signal is touched until the new one is whole.
    if (status != IQFileReader::StatusOK) return status;
    if (!m.ArrayNormalizeIQ(I, Q, I, Q, 1.0)) return NoSignal;
    const double crest = m.ArrayCrestIQ(I, Q);
    General::WaveHeader = header;
    General::TestSignalI = std::move(I);
    General::TestSignalQ = std::move(Q);
    General::TestSignalCrest = static_cast<float>(crest);
    // The configured clock, not the one the file names.
    Describe(header.PairCount, crest);
    CrossMix::AddStatus("PlenWAVE signal loaded");
    return IQFileReader::StatusOK;
}

void SimulateDUT(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout) {
    CrossMix::AddStatus("starting DUT simulation...");
    Copy(Iin, Qin, Iout, Qout);
    DSP::IntMath().SignalDistore(Iout, Qout, &General::AMAMCoeff, &General::AMPMCoeff,
                                 General::CurveScale, !General::AMBeforePM);
    General::NoisePMUsed = false;
    General::NoiseAMUsed = true;
    StoreDistortedCrest(Iout, Qout);
    CrossMix::AddStatus("DUT simulation finished.");
}

void SimulateDistortion(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                        std::int16_t mode) {
    MathClass& m = DSP::IntMath();
    CrossMix::AddStatus("starting distoring simulation...");
    Copy(Iin, Qin, Iout, Qout);
    const Array *preAm = nullptr, *prePm = nullptr, *am = nullptr, *pm = nullptr;
    if (Curves(mode, General::AMAMPreCoeff, General::AMPMPreCoeff, preAm, prePm) &&
        Curves(mode, General::AMAMCoeff, General::AMPMCoeff, am, pm)) {
        m.SignalDistore(Iout, Qout, preAm, prePm, General::CurveScale, General::AMBeforePM);
        m.SignalDistore(Iout, Qout, am, pm, General::CurveScale, General::AMBeforePM);
    }
    StoreDistortedCrest(Iout, Qout);
    CrossMix::AddStatus("distored simulation finished.");
}

void DistortTestSignal(const Array& Iin, const Array& Qin, Array& Iout, Array& Qout,
                       std::int16_t mode) {
    CrossMix::AddStatus("starting distoring...");
    Copy(Iin, Qin, Iout, Qout);
    const Array *am = nullptr, *pm = nullptr;
    if (Curves(mode, General::AMAMPreCoeff, General::AMPMPreCoeff, am, pm)) {
        DSP::IntMath().SignalDistore(Iout, Qout, am, pm, General::CurveScale, General::AMBeforePM);
        General::NoiseAMUsed = am != nullptr;
        General::NoisePMUsed = pm != nullptr;
    }
    StoreDistortedCrest(Iout, Qout);
    CrossMix::AddStatus("test signal distorted.");
}

std::string SignalTag() {
    return std::string("QUIL") + (General::NoiseAMUsed ? "AM" : "--") +
           (General::NoisePMUsed ? "PM" : "--");
}

} // namespace TestSigGen
