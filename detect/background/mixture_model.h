// The mixture of five Gaussians (mode 257): 60 frames learn five components per pixel (12 frames
// each), then every frame matches the pixel against them, updates the weights and the moving
// component, and marks as foreground the pixels that replace their lightest component.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

// The mixture keeps its records in blocks of this many neighbouring pixels of a row.
inline constexpr int kMixtureLanes = 16;

// Component of the mixture, for inspection.
struct MixtureComponent {
  float variance = 0.0f;        // one value for all channels
  std::array<float, 3> mean{};  // blue, green, red
  float weight = 0.2f;
};

// One field of one component for the kMixtureLanes pixels of a block, a cache line of floats.
struct alignas(64) MixtureLanes {
  float lane[kMixtureLanes] = {};
};

class MixtureModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::Mixture;

  MixtureModel(Dib& source, Dib& display);

  void Step();

  // Component c (0..4, in weight order) at a pixel (row-major index), and the index of its last
  // background component.
  MixtureComponent ComponentAt(int pixel, int c) const;
  int Background(int pixel) const;

 private:
  void Learn();
  void Test();

  // Every frame row is cut into blocks of kMixtureLanes pixels (the last one padded); a block
  // holds the lanes of every field of its five component slots (slot 0 the heaviest), so that all
  // records of a block lie together. The index of the last background component per pixel, rows
  // padded to whole blocks.
  std::vector<MixtureLanes> records_;
  std::vector<int8_t> b_;
  int blocks_ = 0;  // blocks per row
  // The frame row's blue, green and red as floats, for the row kernels.
  std::vector<float> rowFloats_;
};

}  // namespace fw
