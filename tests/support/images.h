// Small pictures for the image-operation tests.
#pragma once

#include <cstdint>
#include <random>

#include "core/dib.h"

namespace fw::test {

// A top-down picture of random bytes (padding included), the same for the same seed.
inline Dib RandomImage(int width, int height, int bits, uint32_t seed) {
  Dib image;
  image.Create(width, height, bits, false);
  std::mt19937 rng(seed);
  for (size_t i = 0; i < image.PixelBytes(); ++i) image.Pixels()[i] = static_cast<uint8_t>(rng());
  return image;
}

}  // namespace fw::test
