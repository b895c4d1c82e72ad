// "Generate sample images": square regions of a frame, each stretched to 48 x 48, saved as JPEG
// pictures "候车_%05d.jpg" into a sample folder. The squares tile the frame from its first memory
// row and column: side `side`, one every `step` pixels in both directions, whole squares only.
// The number counts on over the whole run of the program; a name already taken in the folder is
// passed over, so an earlier run's samples are never replaced.
#pragma once

#include <string>

#include "core/dib.h"
#include "core/result.h"

namespace fw {

struct SampleTiling {
  int side = 96;
  int step = 48;
};

struct GeneratedSamples {
  Result result;
  int written = 0;
  std::string first;  // the first and last names written
  std::string last;
};

class SampleGenerator {
 public:
  inline static constexpr int kSampleSide = 48;
  // Cuts the squares of a 24-bit frame into `folder` (created when missing).
  GeneratedSamples Generate(const Dib& frame, const std::string& folder, SampleTiling tiling);
  int Counter() const { return counter_; }

 private:
  int counter_ = 0;  // the last number used
  Dib sample_;
};

}  // namespace fw
