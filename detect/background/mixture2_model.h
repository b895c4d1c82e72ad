// The second mixture (mode 264): 60 frames are kept as samples per pixel and clustered into five
// components with their own variances per channel on the learning frame; then every frame
// matches the pixel against the background components and updates the one it matches, or
// replaces the last component and marks the pixel foreground.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "detect/background/background_model.h"

namespace fw {

// Status-bar texts of the learning.
inline constexpr const char* kLearningFrameText = "Current Learning Frame: %d";
inline constexpr const char* kLearningLinesText = "Current Learning Lines of DIB: %d";

// Component of the second mixture, for inspection.
struct Mixture2Component {
  std::array<float, 3> variance{};  // blue, green, red
  std::array<float, 3> mean{};      // blue, green, red
  float weight = 0.2f;
  float rankKey = 0.0f;
};

class Mixture2Model : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::Mixture2;

  Mixture2Model(Dib& source, Dib& display);

  // The clustering draws its initial centres from a generator seeded from the clock at the
  // learning frame; a seed set here is used instead.
  void SetClusterSeed(uint32_t seed);

  void Step();

  // Component c (0..4, in rank order) at a pixel (row-major index), and the index of its last
  // background component.
  Mixture2Component ComponentAt(int pixel, int c) const;
  int Background(int pixel) const { return b_[pixel]; }

 private:
  void Learn();
  void Cluster();
  void Test();

  bool seeded_ = false;
  uint32_t seed_ = 0;
  // Five components per pixel in rank order, the index of the last background component, and
  // the 60 samples per pixel kept until the learning frame.
  std::vector<Mixture2Component> records_;
  std::vector<int8_t> b_;
  std::vector<uint8_t> samples_;
};

}  // namespace fw
