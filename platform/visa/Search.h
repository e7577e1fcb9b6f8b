#pragma once
// The resource search over a given list of descriptors. viFindRsrc calls it
// with the devices present; tests call it with lists of their own.

#include "visa.h"

#include <functional>
#include <string>
#include <vector>

namespace Visa {

// How viFindRsrc looks for VXI-11 instruments on the local networks: a
// broadcast bounded by the given time. Setting QUILLON_VISA_LAN_DISCOVERY=off
// in the environment keeps the search off the networks (the test suites do:
// they may only talk to loopback). A test can put its own search in place;
// an empty function restores the broadcast.
using LanDiscovery = std::function<std::vector<std::string>(int timeoutMs)>;
void SetLanDiscovery(LanDiscovery discovery);

ViStatus FindAmong(ViSession rm, ViConstString expr, const std::vector<std::string>& candidates,
                   ViFindList* findList, ViUInt32* retCount, ViChar desc[]);

} // namespace Visa
