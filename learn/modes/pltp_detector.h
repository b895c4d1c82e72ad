// Mode 7023 "PLTP": the PLTP cascade on the three-level code pyramid, over square windows of
// side 48 n for n = height / 48 down to 1, 12 n pixels apart, each feature's rectangle scaled by
// n; no overlap test.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/modes/detection_windows.h"

namespace fw {

class PltpDetector {
 public:
  static constexpr int kStep = 12;

  // Builds the code pyramid for the frame's size and compiles the loaded PLTP cascade for every
  // window side.
  void Build(const ClassifierSet& model, const Dib& frame);
  static uint64_t Bytes(int width, int height);
  // The code pyramid of the frame, then the scan, largest windows first; stops at 200.
  void Scan(const Dib& frame, WindowList& windows);

 private:
  CodeCountPlanes planes_;
  std::vector<CompiledCascade<CodeCountFamily>> cascades_;  // entry n - 1: side 48 n
};

}  // namespace fw
