// The scrolling plot of mode 7005: each frame's moment goes into a ring as its change from the
// last one, and the picture shows the newest changes from the right edge leftwards around its
// middle row.
#pragma once

#include <vector>

#include "core/dib.h"

namespace fw {

class MomentPlot {
 public:
  // An empty ring of `length` changes (the frame width); the last value is 0.
  void Reset(int length);
  // Stores value - (last value) and makes the value the last one; then the picture (8 or 24
  // bits; others are left alone) is cleared, its middle row drawn as a line (8-bit 128, 24-bit
  // blue) and, column by column from the right edge, the newest changes as points (8-bit 255,
  // 24-bit red) at the middle row + change / 100 (truncated), clamped to the picture.
  void Plot(Dib& image, float value);

  int Length() const { return static_cast<int>(changes_.size()); }
  // The change plotted `age` frames ago (0: the newest).
  float Change(int age) const;
  float LastValue() const { return last_; }

 private:
  std::vector<float> changes_;
  int writeIndex_ = 0;
  float last_ = 0.0f;
};

}  // namespace fw
