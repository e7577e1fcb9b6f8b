#pragma once
// The resource search over a given list of descriptors. viFindRsrc calls it
// with the devices present; tests call it with lists of their own.

#include "visa.h"

#include <string>
#include <vector>

namespace Visa {

ViStatus FindAmong(ViSession rm, ViConstString expr, const std::vector<std::string>& candidates,
                   ViFindList* findList, ViUInt32* retCount, ViChar desc[]);

} // namespace Visa
