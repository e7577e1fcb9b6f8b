#pragma once
// An open instrument session given an I/O time-out that a sanitizer build on
// a machine whose every core is busy never reaches, for tests that move large
// answers or wait for a bench's captures.

#include "../support/patience.h"
#include "VIF.h"
#include "visa/visa.h"

inline void MakePatient(VIF& vif) {
    vif.VIFviSetAttribute(vif.GetHandle(), static_cast<std::int32_t>(VI_ATTR_TMO_VALUE),
                          kPatientMs);
}
