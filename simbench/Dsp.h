#pragma once
// The signal-processing pieces of the bench: a random generator that gives
// the same numbers for a seed on every machine and library version, FIR
// design and FIR filtering through FFTW.

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace simbench {

using Complex = std::complex<double>;

// xoshiro256** seeded through splitmix64. Gaussian values come from the
// Box-Muller transform of its own uniforms, not from the standard library's
// distributions (whose output may differ between library versions).
class Rng {
public:
    explicit Rng(std::uint64_t seed);
    std::uint64_t Next();
    double Uniform();                     // [0, 1)
    std::uint64_t Below(std::uint64_t n); // [0, n), n > 0
    // A complex Gaussian value with E|z|^2 = power.
    Complex Gaussian(double power);

private:
    std::uint64_t s_[4];
};

// Smallest n >= minimum whose prime factors are all 2, 3, 5 or 7.
std::size_t NiceFftSize(std::size_t minimum);

// A linear-phase low-pass FIR (Kaiser-windowed sinc, beta 8) of 2 * half + 1
// taps, shifted by `delay` samples (0 <= delay < 1). `cutoff` is the -6 dB
// frequency as a fraction of the sample rate; 0.5 or more passes everything
// and leaves a pure fractional-delay interpolator. The taps sum to 1.
std::vector<double> LowpassTaps(double cutoff, double delay, int half);

// Linear convolution of `in` with real `taps`, keeping only the outputs that
// saw a full set of inputs: out[j] = sum_t taps[t] * in[j + T - 1 - t] for
// j = 0 .. in.size() - T. Done with FFTW.
std::vector<Complex> FirFilter(const std::vector<Complex>& in, const std::vector<double>& taps);

} // namespace simbench
