// The reader of typed setting numbers that the number boxes and the remote
// control share.

#include "SettingNumber.h"

#include "NumberText.h"
#include "StringOp.h"

#include <cstdint>

namespace SettingNumber {
namespace {

bool Convert(double value, double& out) {
    out = value;
    return true;
}
bool Convert(double value, float& out) {
    return NumberText::ToSingle(value, out);
}
bool Convert(double value, std::int16_t& out) {
    return NumberText::ToInt16(value, out);
}

} // namespace

template <typename T> Read<T> ReadAs(std::string_view text, Reading reading) {
    const StringOp::WholeRead whole = reading == Reading::Regional
                                          ? StringOp::ReadWholeRegionalNumber(text)
                                          : StringOp::ReadWholeNumber(text);
    if (!whole.value) return {std::nullopt, whole.tooLarge};
    T out{};
    if (Convert(*whole.value, out)) return {out, false};
    return {std::nullopt, true};
}

template Read<double> ReadAs<double>(std::string_view, Reading);
template Read<float> ReadAs<float>(std::string_view, Reading);
template Read<std::int16_t> ReadAs<std::int16_t>(std::string_view, Reading);

} // namespace SettingNumber
