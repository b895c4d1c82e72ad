// Mode 7021 "Neural Network based on LBP": the network of "LBP_NeuralNet.kdz" over 48 x 48
// windows 24 pixels apart, on each window's LBP-VAR vector; a window the network puts in class 0
// (smoke) is kept as its central 24 x 24 square. A window that overlaps an accepted one (taken
// as 48 x 48) by half is skipped.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/dib.h"
#include "core/result.h"
#include "learn/modes/detection_windows.h"
#include "learn/neural/lbp_var_features.h"
#include "learn/neural/neural_network.h"

namespace fw {

class NeuralLbpDetector {
 public:
  static constexpr int kStep = 24;
  static constexpr int kInset = 12;  // the kept square's offset inside the window
  static constexpr int kSmokeClass = 0;

  // Reads the network file; a network that does not take the 211 values of the LBP-VAR vector
  // is refused with a message naming the file, and the detector stays as it was.
  Result Load(const std::string& path);
  // What the network of this file and the load take (0 when the file declares no network).
  static uint64_t Bytes(const std::string& path);
  // The windows of the frame through the network; stops at 200 rectangles.
  void Scan(const Dib& frame, WindowList& windows);

 private:
  NeuralNetwork network_;
  LbpVarFeatures features_;
  std::array<float, kLbpVarInputs> input_{};
};

}  // namespace fw
