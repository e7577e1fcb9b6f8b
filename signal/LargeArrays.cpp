// Huge-page advice for freshly allocated record storage.

#include "LargeArrays.h"

#include <cstdint>
#include <sys/mman.h>

namespace LargeArrays {

namespace {
// Below this a record fills in few page faults anyway.
constexpr std::size_t kAdviseBytes = std::size_t{4} << 20;
constexpr std::uintptr_t kPage = 4096;
} // namespace

void ClearAndReserve(std::vector<double>& x, std::size_t n) {
    x.clear();
    if (x.capacity() >= n) return; // storage already in use: its pages exist
    x.reserve(n);
#ifdef MADV_HUGEPAGE
    const std::size_t bytes = x.capacity() * sizeof(double);
    if (bytes < kAdviseBytes) return;
    // The advice covers whole pages inside the storage only.
    const auto begin = reinterpret_cast<std::uintptr_t>(x.data());
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kPage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

} // namespace LargeArrays
