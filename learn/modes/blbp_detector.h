// Mode 7022 "Boosted LBP": the BLBP cascade over 48 x 48 windows of the whole frame, 12 pixels
// apart, on the frame's BLBP code counts; a window that overlaps an accepted one by half is
// skipped.
#pragma once

#include <cstdint>

#include "core/dib.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/modes/detection_windows.h"

namespace fw {

class BlbpDetector {
 public:
  static constexpr int kStep = 12;

  // Builds the code planes for the frame's size and compiles the loaded BLBP cascade on them.
  void Build(const ClassifierSet& model, const Dib& frame);
  static uint64_t Bytes(int width, int height);
  // Codes and counts of the frame, then the scan; stops at 200 rectangles.
  void Scan(const Dib& frame, WindowList& windows);

 private:
  CodeCountPlanes planes_;
  CompiledCascade<CodeCountFamily> cascade_;
};

}  // namespace fw
