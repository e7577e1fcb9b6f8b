#pragma once
// Storage for records of millions of samples: backed by huge pages where the
// system grants them on request, so that filling a fresh record costs one
// page fault per 2 MB instead of one per 4 KB.

#include <cstddef>
#include <vector>

namespace LargeArrays {

// Empties x, reserves room for n values and asks for huge pages behind any
// storage the reservation newly allocated. Only advice: where the system has
// none to give, the record is stored as before.
void ClearAndReserve(std::vector<double>& x, std::size_t n);

} // namespace LargeArrays
