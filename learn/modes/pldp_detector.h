// Mode 7024 "PLDP": the EOH cascade (each stage at its own threshold) over 24 x 24 windows, 6
// pixels apart, on four pyramid levels of the frame in intensity and saturation, each level a
// 2:1 reduction of the one before; an accepted window at level k covers 24 x 2^k frame pixels.
// One set of texture planes serves every level in turn; no overlap test.
#pragma once

#include <array>
#include <cstdint>

#include "core/dib.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/modes/detection_windows.h"

namespace fw {

class PldpDetector {
 public:
  static constexpr int kLevels = 4;
  static constexpr int kStep = 6;

  // Builds the pyramid images and texture planes for the frame's size and compiles the loaded
  // EOH cascade for each level's row length.
  void Build(const ClassifierSet& model, int width, int height);
  static uint64_t Bytes(int width, int height);
  // The pyramid of the frame, the planes of each level and its windows; stops at 200.
  void Scan(const Dib& frame, WindowList& windows);

 private:
  std::array<Dib, kLevels> levels_;
  TexturePlanes planes_;
  std::array<CompiledCascade<TextureFamily>, kLevels> cascades_;
};

}  // namespace fw
