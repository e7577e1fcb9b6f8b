#pragma once
// The one reader of a number typed for a setting, whether an operator typed
// it into a box or a remote client sent it: the text must be one number and
// nothing else, and the number must fit the setting's type.

#include <optional>
#include <string_view>

namespace SettingNumber {

// How the text is read: Regional as StringOp::StrToDbl ("," or "."), Plain
// as the plain conversion ("." only). Either way the text must be one number
// and nothing else, blanks around or inside it aside (StringOp::WholeNumber):
// a setting never takes a number the text does not show, such as the 1 of
// "1,5" read plainly, the -10 of "-10dBm" or the 10000 on the way to "1e400".
enum class Reading { Regional, Plain };

template <typename T> struct Read {
    // Nothing for a text that is not one number (an empty one included) and
    // for a number the type cannot hold.
    std::optional<T> value;
    // The text holds a number, but one too large for T (or for a double).
    bool tooLarge = false;
};

// T is double, float or std::int16_t; a 16-bit integer is the number rounded
// half to even.
template <typename T> Read<T> ReadAs(std::string_view text, Reading reading = Reading::Regional);

} // namespace SettingNumber
