#include "ByteCast.h"

#include <cstring>

namespace ByteCast {

void IntegerToBytes(std::int16_t value, std::vector<std::uint8_t>& bytes) {
    bytes.resize(2);
    std::memcpy(bytes.data(), &value, 2);
}

void LongToBytes(std::int32_t value, std::vector<std::uint8_t>& bytes) {
    bytes.resize(4);
    std::memcpy(bytes.data(), &value, 4);
}

float BytesToSingle(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != 4) return 0.0f;
    float value = 0;
    std::memcpy(&value, bytes.data(), 4);
    return value;
}

} // namespace ByteCast
