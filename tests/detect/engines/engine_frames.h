// Frames for the engine tests: random textures and windows cut out of them, so that a test knows
// exactly how the content moved between two frames.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>

#include "core/dib.h"

namespace fw::test {

// A bottom-up 24-bit picture of random bytes in low..high, the same for the same seed.
inline Dib Texture(int width, int height, uint32_t seed, int low = 0, int high = 255) {
  Dib image;
  image.CreateSigned(width, height, 24, false);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> value(low, high);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3 * width; ++x) image.Row(y)[x] = static_cast<uint8_t>(value(rng));
  }
  return image;
}

// The width x height window of `source` whose corner is (x0, y0).
inline Dib Window(const Dib& source, int x0, int y0, int width, int height) {
  Dib image;
  image.CreateSigned(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    std::copy_n(source.Row(y0 + y) + 3 * x0, 3 * width, image.Row(y));
  }
  return image;
}

// Two frames of a texture whose content moved by (dx, dy) from the first to the second:
// second(x, y) = first(x - dx, y - dy). `margin` must be at least the largest shift.
struct ShiftedPair {
  Dib first;
  Dib second;
};
inline ShiftedPair Shifted(const Dib& texture, int width, int height, int dx, int dy, int margin) {
  return {Window(texture, margin, margin, width, height),
          Window(texture, margin - dx, margin - dy, width, height)};
}

}  // namespace fw::test
