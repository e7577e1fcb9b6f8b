#pragma once
// Copies of 16-bit and 32-bit values into byte arrays and of four bytes into a
// single, in the machine's little-endian memory order.

#include <cstdint>
#include <vector>

namespace ByteCast {

void IntegerToBytes(std::int16_t value, std::vector<std::uint8_t>& bytes);
void LongToBytes(std::int32_t value, std::vector<std::uint8_t>& bytes);
// 0 unless the array holds exactly four bytes.
float BytesToSingle(const std::vector<std::uint8_t>& bytes);

} // namespace ByteCast
