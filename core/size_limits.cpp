#include "core/size_limits.h"

#include <atomic>

namespace fw {

namespace {
// Read by every decoder thread; written at start-up or by a test between runs.
std::atomic<int> gMaxSide{SizeLimits{}.maxSide};
std::atomic<int64_t> gMaxPixels{SizeLimits{}.maxPixels};
}  // namespace

SizeLimits CurrentSizeLimits() {
  return SizeLimits{gMaxSide.load(std::memory_order_relaxed),
                    gMaxPixels.load(std::memory_order_relaxed)};
}

void SetSizeLimits(const SizeLimits& limits) {
  gMaxSide.store(limits.maxSide, std::memory_order_relaxed);
  gMaxPixels.store(limits.maxPixels, std::memory_order_relaxed);
}

bool WithinSizeLimits(int64_t width, int64_t height) {
  const SizeLimits limits = CurrentSizeLimits();
  return width > 0 && height > 0 && width <= limits.maxSide && height <= limits.maxSide &&
         width * height <= limits.maxPixels;
}

std::string SizeLimitProblem(const std::string& what, int64_t width, int64_t height) {
  const SizeLimits limits = CurrentSizeLimits();
  return what + " " + std::to_string(width) + " x " + std::to_string(height) +
         " is beyond the limit of " + std::to_string(limits.maxSide) + " pixels a side and " +
         std::to_string(limits.maxPixels) + " pixels";
}

}  // namespace fw
