// The LBP-VAR vector, the network's input for 48 x 48 windows: the grey window and its two 2:1
// reductions (24 x 24, 12 x 12) each give a histogram of local binary pattern classes (level 0
// the 59 uniform classes, level 1 the 36 rotation-invariant ones, level 2 the 10
// rotation-invariant uniform ones) and a histogram of the eight neighbours' variance per class.
// Order: level-0 LBP (59), level-0 variance (59), level-1 LBP (36), level-1 variance (36),
// level-2 LBP (10), level-2 variance (10), then the constant -1 in the vector's last place.
#pragma once

#include <cstdint>
#include <span>

#include "core/dib.h"

namespace fw {

inline constexpr int kLbpVarWindow = 48;
inline constexpr int kLbpVarValues = 210;
// The network input: the 210 values and the constant -1 that acts as the bias input.
inline constexpr int kLbpVarInputs = 211;

class LbpVarFeatures {
 public:
  // The vector of the 48 x 48 window whose first pixel is column x of memory row y of an 8-bit
  // or 24-bit picture (grey (30 R + 59 G + 11 B) / 100). `out` holds at least 211 values:
  // the 210 histogram values first, -1 in the last place, 0 between. False (nothing written)
  // for a window outside the picture, another depth or a shorter vector. Allocates nothing.
  bool FromWindow(const Dib& picture, int x, int y, std::span<float> out);
  // The vector of a whole picture (8 or 24 bits) stretched bilinearly to 48 x 48, as the sample
  // tools and the network's training read sample pictures.
  bool FromPicture(const Dib& picture, std::span<float> out);
  // The vector of a packed 48 x 48 grey plane.
  void FromGrey(const uint8_t* grey, std::span<float> out);

 private:
  uint8_t level0_[kLbpVarWindow * kLbpVarWindow];
  uint8_t level1_[(kLbpVarWindow / 2) * (kLbpVarWindow / 2)];
  uint8_t level2_[(kLbpVarWindow / 4) * (kLbpVarWindow / 4)];
  Dib stretched_;
  Dib colour_;
};

}  // namespace fw
