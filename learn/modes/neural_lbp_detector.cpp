#include "learn/modes/neural_lbp_detector.h"

#include <fstream>

namespace fw {

Result NeuralLbpDetector::Load(const std::string& path) {
  NeuralNetwork network;
  if (Result loaded = network.Load(path); !loaded) return loaded;
  if (network.Inputs() != kLbpVarInputs) {
    return Result::Error(path + ": the network takes " + std::to_string(network.Inputs()) +
                         " inputs; the LBP-VAR vector of a window has " +
                         std::to_string(kLbpVarInputs));
  }
  network_ = std::move(network);
  return Result::Ok();
}

uint64_t NeuralLbpDetector::Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  int32_t sizes[3] = {};
  if (!in.read(reinterpret_cast<char*>(sizes), sizeof sizes)) return 0;
  const auto [inputs, hidden, outputs] = sizes;
  if (inputs < 1 || inputs > NeuralNetwork::kMaxInputs || hidden < 1 ||
      hidden > NeuralNetwork::kMaxHidden || outputs < 1 || outputs > NeuralNetwork::kMaxOutputs) {
    return 0;
  }
  const uint64_t values = static_cast<uint64_t>(inputs) * hidden +
                          static_cast<uint64_t>(outputs) * hidden + hidden + outputs;
  // The load holds the file's bytes, the values read from them and the network's arrays (with
  // their work arrays) at once.
  return 4 * (3 * values + 2 * hidden + 3 * outputs) + NeuralNetwork::kParameterBlockBytes;
}

void NeuralLbpDetector::Scan(const Dib& frame, WindowList& windows) {
  const int w = frame.Width(), h = frame.Height();
  for (int y = 0; y <= h - kLbpVarWindow; y += kStep) {
    for (int x = 0; x <= w - kLbpVarWindow; x += kStep) {
      if (windows.Overlaps(x, y, kLbpVarWindow, kLbpVarWindow)) continue;
      if (!features_.FromWindow(frame, x, y, input_)) continue;
      if (network_.Classify(input_) != kSmokeClass) continue;
      windows.Add({x + kInset, y + kInset, x + kLbpVarWindow - kInset, y + kLbpVarWindow - kInset});
      if (windows.Full()) return;
    }
  }
}

}  // namespace fw
