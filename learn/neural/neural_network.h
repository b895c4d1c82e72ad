// A three-layer perceptron that classifies texture feature vectors: inputs, one layer of hidden
// units, outputs, all with the logistic activation. The last input is expected to be the
// constant -1 (it acts as the hidden units' bias); each output has its own threshold. Trained by
// back-propagation one sample at a time; the class of an input is the index of its largest
// output.
//
// File (binary, little-endian): inputs, hidden, outputs (int32 each); inputs x hidden floats of
// input-to-hidden weights, one row per hidden unit; outputs x hidden floats of hidden-to-output
// weights, one row per output; hidden thresholds; output thresholds. "NeuralNet.kdz" carries a
// 1008-byte parameter block after the network, kept as it was read and written back by Save.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace fw {

class NeuralNetwork {
 public:
  static constexpr int kMaxInputs = 4096;
  static constexpr int kMaxHidden = 1024;
  static constexpr int kMaxOutputs = 64;
  static constexpr size_t kParameterBlockBytes = 1008;
  using ParameterBlock = std::array<uint8_t, kParameterBlockBytes>;

  // (Re)sizes every array for the three sizes (each 1..its maximum); weights and thresholds 0,
  // errors and the goal flag cleared.
  void SetSizes(int inputs, int hidden, int outputs);
  int Inputs() const { return inputs_; }
  int Hidden() const { return hidden_; }
  int Outputs() const { return outputs_; }
  bool Empty() const { return inputs_ == 0; }

  // Both weight layers get low + (high - low) r / 32767 with r the next value of a generator
  // seeded with `seed` (a 15-bit linear congruential sequence): the same seed, the same weights.
  void RandomiseWeights(float low, float high, uint32_t seed);

  // Reads a network file. A file that cannot be read, is too short or too long for the sizes it
  // declares (a parameter block of 1008 bytes after the network is allowed), declares sizes out
  // of range, or holds a weight or threshold that is not finite or beyond +-1e6 is refused with a
  // message naming the file and the problem; the network stays as it was.
  Result Load(const std::string& path);
  Result LoadFromBytes(std::string_view bytes, const std::string& path);
  // Writes the network (and the parameter block when one is held) under a temporary name and
  // renames it when complete.
  Result Save(const std::string& path) const;
  std::string ToBytes() const;

  // The parameter block that followed the network in the file last loaded (none when the file
  // ended with the network).
  const std::optional<ParameterBlock>& Parameters() const { return parameters_; }
  void SetParameters(std::optional<ParameterBlock> block) { parameters_ = block; }

  // Forward pass: `input` holds Inputs() values. Allocates nothing.
  void Forward(std::span<const float> input);
  std::span<const float> OutputValues() const { return outputValues_; }
  // The index of the largest output (the first on ties).
  int Classify(std::span<const float> input);
  // As Classify; `confidence` is the largest output's share of the outputs' sum, or 0 when that
  // sum is below 0.1.
  int Classify(std::span<const float> input, float& confidence);

  // One back-propagation step towards `target` (Outputs() values) with learning rate `rate`;
  // true (and the goal flag set) when the error sqrt(sum of squared output errors) is below
  // `goal`. The error is added to the accumulated error.
  bool TrainStep(std::span<const float> input, std::span<const float> target, float rate,
                 float goal);
  float LastError() const { return lastError_; }
  float AccumulatedError() const { return accumulatedError_; }
  void ClearErrors();
  bool GoalReached() const { return goalReached_; }

  // Weights, one row per hidden unit / output, and thresholds (for tests and inspection).
  std::span<const float> InputWeights() const { return inputWeights_; }
  std::span<const float> OutputWeights() const { return outputWeights_; }
  std::span<float> HiddenThresholds() { return hiddenThresholds_; }
  std::span<float> OutputThresholds() { return outputThresholds_; }
  std::span<float> MutableInputWeights() { return inputWeights_; }
  std::span<float> MutableOutputWeights() { return outputWeights_; }

 private:
  int inputs_ = 0;
  int hidden_ = 0;
  int outputs_ = 0;
  std::vector<float> inputWeights_;   // hidden x inputs
  std::vector<float> outputWeights_;  // outputs x hidden
  std::vector<float> hiddenThresholds_;
  std::vector<float> outputThresholds_;
  // Work of the forward pass and of training.
  std::vector<float> hiddenNet_;
  std::vector<float> hiddenValues_;
  std::vector<float> outputNet_;
  std::vector<float> outputValues_;
  std::vector<float> outputDeltas_;
  float lastError_ = 0.0f;
  float accumulatedError_ = 0.0f;
  bool goalReached_ = false;
  std::optional<ParameterBlock> parameters_;
};

// The logistic function 1 / (1 + e^-x), its exponent argument limited to -38..38, and its slope
// u / (1 + u)^2 with u = e^-x (the same limit).
float Logistic(float x);
float LogisticSlope(float x);

}  // namespace fw
