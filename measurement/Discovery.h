#pragma once
// Instrument discovery: scans the resources of the registry resource cache,
// sorts the usable instruments into the equipment setup's role lists with
// their VISA resources, and tells whether every role has an instrument.

#include "EquipmentLists.h"

#include <optional>

namespace Discovery {

// The contact line that ends the "VISA missing" message.
inline constexpr const char* kContactLine = "Korva&Tellin customer support.";

// True when every role is filled (Start may be enabled), false when a role is
// missing (after the "MISSING INSTRUMENTS" message). Nothing, with the lists
// and the Start button to be left as they are, when the VISA library is
// missing, a scan is already running or a measurement run is under way
// (RunState).
std::optional<bool> FindInstruments(EquipmentLists& lists);

} // namespace Discovery
