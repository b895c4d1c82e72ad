// Kernel density (mode 260): 60 frames are kept as samples per pixel; then a pixel is background
// where the density of the samples at its colour, by the kernel of the chosen width, reaches the
// probability threshold, and each frame replaces one sample per pixel in a ring.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

// The kernel table has 128 rows (kernel indices) and 128 columns (colour differences 0..127).
// A colour difference of 128 or more contributes 0 to the density.
inline constexpr int kKernelRows = 128;
inline constexpr int kKernelColumns = 128;

class DensityModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::Density;

  DensityModel(Dib& source, Dib& display);

  // Reads the kernel index and probability threshold; advances the sample ring index per pixel.
  void Step(BackgroundParams& params);

  // Row i of the kernel table, 256 entries: columns 0..127 of the table, then zeros.
  std::span<const float> KernelRow(int index) const;

 private:
  void BuildKernelTable();

  // 60 samples (blue, green, red) per pixel in blocks of 60 pixels (see Step), and the kernel
  // table with zero columns 128..255.
  std::vector<uint8_t> samples_;
  std::vector<float> kernelTable_;
};

}  // namespace fw
