#pragma once

#include <cstdint>
// The program's one source of random numbers: a process-wide uniform
// generator of single-precision values in [0, 1). Our own algorithm, so a seed
// gives the same sequence with every compiler and library version.
//
// After Reset() followed by Seed(s) the sequence depends only on s; Seed()
// without a reset mixes the seed into whatever state the generator is in.

namespace UniformRandom {

// Back to the fixed start state.
void Reset();
// Mixes the seed's bit pattern into the current state.
void Seed(float seed);
// The next value, a multiple of 2^-24 in [0, 1).
float Next();
// The value Next() would return after `ahead` other draws, without moving the
// generator: lets a long run of draws be consumed in any order.
float Peek(std::uint64_t ahead);
// Moves on by count draws, as count calls of Next() would.
void Skip(std::uint64_t count);

} // namespace UniformRandom
