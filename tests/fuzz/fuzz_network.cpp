// Network files: a file the load refuses must leave the network as it was; a file it accepts
// must classify and train without reading out of bounds, give outputs in 0..1 and a confidence
// in 0..1, and write back the bytes it was read from.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "learn/neural/neural_network.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::fuzz::SetUpFuzzing();
  static fw::NeuralNetwork previous = [] {
    fw::NeuralNetwork n;
    n.SetSizes(3, 2, 2);
    n.RandomiseWeights(-1.0f, 1.0f, 1);
    return n;
  }();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fw::NeuralNetwork n = previous;
  if (!n.LoadFromBytes(bytes, "fuzz.kdz")) {
    if (n.ToBytes() != previous.ToBytes()) std::abort();
    return 0;
  }
  if (n.ToBytes() != bytes) std::abort();
  std::vector<float> input(n.Inputs());
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<float>(i % 7) / 7.0f;
  input.back() = -1.0f;
  float confidence = -1.0f;
  const int cls = n.Classify(input, confidence);
  if (cls < 0 || cls >= n.Outputs() || !(confidence >= 0.0f && confidence <= 1.0f)) std::abort();
  for (float o : n.OutputValues()) {
    if (!(o >= 0.0f && o <= 1.0f)) std::abort();
  }
  std::vector<float> target(n.Outputs(), 0.0f);
  target[0] = 1.0f;
  n.TrainStep(input, target, 0.05f, 0.00001f);
  if (std::isnan(n.LastError())) std::abort();
  return 0;
}
