#include "Dsp.h"

#include <cmath>
#include <cstring>
#include <fftw3.h>
#include <mutex>
#include <numbers>

namespace simbench {

namespace {

std::uint64_t SplitMix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t Rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

// FFTW's planner is not reentrant; execution is.
std::mutex& PlannerMutex() {
    static std::mutex m;
    return m;
}

struct FftwBuffer {
    explicit FftwBuffer(std::size_t n)
        : data(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n))) {}
    ~FftwBuffer() { fftw_free(data); }
    FftwBuffer(const FftwBuffer&) = delete;
    FftwBuffer& operator=(const FftwBuffer&) = delete;
    fftw_complex* data;
};

} // namespace

Rng::Rng(std::uint64_t seed) {
    for (auto& s : s_)
        s = SplitMix(seed);
}

std::uint64_t Rng::Next() {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
}

double Rng::Uniform() {
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::uint64_t Rng::Below(std::uint64_t n) {
    // Rejection keeps the result exactly uniform.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    std::uint64_t x;
    do
        x = Next();
    while (x >= limit);
    return x % n;
}

Complex Rng::Gaussian(double power) {
    // Marsaglia's polar method: a point uniform in the unit disc gives two
    // independent normal values without any trigonometry.
    double u, v, s;
    do {
        u = 2 * Uniform() - 1;
        v = 2 * Uniform() - 1;
        s = u * u + v * v;
    } while (s >= 1 || s == 0);
    const double f = std::sqrt(-std::log(s) / s * power); // E|z|^2 = power
    return {u * f, v * f};
}

std::size_t NiceFftSize(std::size_t minimum) {
    for (std::size_t n = std::max<std::size_t>(minimum, 1);; ++n) {
        std::size_t m = n;
        for (std::size_t p : {2, 3, 5, 7})
            while (m % p == 0)
                m /= p;
        if (m == 1) return n;
    }
}

std::vector<double> LowpassTaps(double cutoff, double delay, int half) {
    const double beta = 8.0;
    const double fc = std::min(cutoff, 0.5);
    const double i0Beta = std::cyl_bessel_i(0.0, beta);
    std::vector<double> taps(static_cast<std::size_t>(2 * half + 1));
    double sum = 0;
    for (int t = 0; t <= 2 * half; ++t) {
        const double x = t - half - delay;
        const double arg = 2 * fc * x;
        const double sinc =
            arg == 0 ? 1.0 : std::sin(std::numbers::pi * arg) / (std::numbers::pi * arg);
        const double r = x / (half + 1);
        const double window =
            std::cyl_bessel_i(0.0, beta * std::sqrt(std::max(0.0, 1 - r * r))) / i0Beta;
        taps[static_cast<std::size_t>(t)] = 2 * fc * sinc * window;
        sum += taps[static_cast<std::size_t>(t)];
    }
    for (double& h : taps)
        h /= sum;
    return taps;
}

std::vector<Complex> FirFilter(const std::vector<Complex>& in, const std::vector<double>& taps) {
    const std::size_t t = taps.size();
    if (t == 0 || in.size() < t) return {};
    const std::size_t outLength = in.size() - t + 1;
    // Overlap-save in blocks that stay in the cache: each block transform
    // yields n - t + 1 outputs that saw a full set of inputs.
    std::size_t n = 4096;
    while (n < 8 * t)
        n *= 2;
    const std::size_t step = n - t + 1;
    FftwBuffer h(n), block(n);
    std::memset(h.data, 0, sizeof(fftw_complex) * n);
    for (std::size_t k = 0; k < t; ++k)
        h.data[k][0] = taps[k] / static_cast<double>(n);
    fftw_plan forward, backward;
    {
        std::lock_guard<std::mutex> lock(PlannerMutex());
        forward = fftw_plan_dft_1d(static_cast<int>(n), block.data, block.data, FFTW_FORWARD,
                                   FFTW_ESTIMATE);
        backward = fftw_plan_dft_1d(static_cast<int>(n), block.data, block.data, FFTW_BACKWARD,
                                    FFTW_ESTIMATE);
    }
    fftw_execute_dft(forward, h.data, h.data);
    std::vector<Complex> out(outLength);
    for (std::size_t first = 0; first < outLength; first += step) {
        // Inputs first .. first + n - 1 give outputs first .. first + step - 1.
        const std::size_t available = std::min(n, in.size() - first);
        for (std::size_t k = 0; k < available; ++k) {
            block.data[k][0] = in[first + k].real();
            block.data[k][1] = in[first + k].imag();
        }
        for (std::size_t k = available; k < n; ++k)
            block.data[k][0] = block.data[k][1] = 0;
        fftw_execute(forward);
        for (std::size_t k = 0; k < n; ++k) {
            const double re = block.data[k][0] * h.data[k][0] - block.data[k][1] * h.data[k][1];
            const double im = block.data[k][0] * h.data[k][1] + block.data[k][1] * h.data[k][0];
            block.data[k][0] = re;
            block.data[k][1] = im;
        }
        fftw_execute(backward);
        const std::size_t count = std::min(step, outLength - first);
        for (std::size_t k = 0; k < count; ++k)
            out[first + k] = {block.data[t - 1 + k][0], block.data[t - 1 + k][1]};
    }
    std::lock_guard<std::mutex> lock(PlannerMutex());
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    return out;
}

} // namespace simbench
