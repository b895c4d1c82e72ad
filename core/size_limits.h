// The largest pictures and video frames the system accepts: a limit on each side and one on the
// pixel count, so that a small file whose header declares a huge picture is refused before
// anything is allocated for it. The same limits hold for picture files, BMP reading and video
// frames. Tests and fuzz targets lower them to reach the refusals with small inputs.
#pragma once

#include <cstdint>
#include <string>

namespace fw {

struct SizeLimits {
  int maxSide = 16384;
  int64_t maxPixels = int64_t{1} << 24;  // 16,777,216 pixels: 4096 x 4096, twice 4K video
};

SizeLimits CurrentSizeLimits();
// Replaces the limits for the whole process (set before any reading starts).
void SetSizeLimits(const SizeLimits& limits);

// Both sides positive and within the limits, and the pixel count too.
bool WithinSizeLimits(int64_t width, int64_t height);
// "<what> 16000 x 16000 is beyond the limit of 16384 pixels a side and 16777216 pixels".
std::string SizeLimitProblem(const std::string& what, int64_t width, int64_t height);

// Lowers the limits for the lifetime of the object (tests).
class ScopedSizeLimits {
 public:
  explicit ScopedSizeLimits(const SizeLimits& limits) : previous_(CurrentSizeLimits()) {
    SetSizeLimits(limits);
  }
  ~ScopedSizeLimits() { SetSizeLimits(previous_); }
  ScopedSizeLimits(const ScopedSizeLimits&) = delete;
  ScopedSizeLimits& operator=(const ScopedSizeLimits&) = delete;

 private:
  SizeLimits previous_;
};

}  // namespace fw
