#include "UniformRandom.h"

#include <bit>
#include <cstdint>

namespace UniformRandom {

namespace {

constexpr std::uint64_t kStart = 0x3C6EF372FE94F82BULL;
constexpr std::uint64_t kGamma = 0x9E3779B97F4A7C15ULL;

// SplitMix64: a Weyl sequence through a strong bit mixer; every 64-bit state
// is valid, the period is 2^64, and draw i is Mix(state + i·gamma), so any
// draw can be computed directly.
std::uint64_t state = kStart;

std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace

void Reset() {
    state = kStart;
}

void Seed(float seed) {
    // +0 and -0 are the same seed.
    const float s = seed == 0.0f ? 0.0f : seed;
    state = Mix(state ^ (std::uint64_t{std::bit_cast<std::uint32_t>(s)} * kGamma));
}

// The top 24 bits: exactly representable in a float and never 1.
float ToUnit(std::uint64_t bits) {
    return static_cast<float>(bits >> 40) * 0x1.0p-24f;
}

float Next() {
    state += kGamma;
    return ToUnit(Mix(state));
}

float Peek(std::uint64_t ahead) {
    return ToUnit(Mix(state + (ahead + 1) * kGamma));
}

void Skip(std::uint64_t count) {
    state += count * kGamma;
}

} // namespace UniformRandom
