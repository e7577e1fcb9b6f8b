#pragma once
// The number boxes of the settings windows as the run start sees them: each
// box enters a test of its text while it exists, so that no run starts while
// a box shows a text that is not the number its setting holds, and the
// engine need not know the windows.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace TypedEntries {

// A box whose text is no number for its setting: what the box is called
// ("Peak level limit [dBm]") and the text it shows.
struct Fault {
    std::string caption, text;
    bool operator==(const Fault&) const = default;
};
// What the operator is told of a fault, at the run's start and wherever a
// box refuses its text itself.
std::string Refusal(const Fault& fault);

// The box's fault now, or nothing while its text holds a number its setting
// takes (or while its setting is not in use).
using Check = std::function<std::optional<Fault>()>;

// Enters a box; the key returned removes it again.
int Enter(Check check);
void Remove(int key);
// The faults of every box entered, in the order the boxes were entered.
std::vector<Fault> Faults();

} // namespace TypedEntries
