#include "learn/neural/neural_network.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/input_file.h"
#include "learn/classifier_set.h"

namespace fw {

namespace {

constexpr size_t kHeaderBytes = 12;
constexpr float kMaxMagnitude = 1e6f;
// Large enough for the largest network the limits allow, with its parameter block.
constexpr size_t kMaxFileBytes =
    kHeaderBytes +
    4 * (static_cast<size_t>(NeuralNetwork::kMaxInputs) * NeuralNetwork::kMaxHidden +
         static_cast<size_t>(NeuralNetwork::kMaxOutputs) * NeuralNetwork::kMaxHidden +
         NeuralNetwork::kMaxHidden + NeuralNetwork::kMaxOutputs) +
    NeuralNetwork::kParameterBlockBytes;

// Sum of w[i] x[i], four terms at a time and then the remainder, in float.
float Dot(const float* w, const float* x, int n) {
  float sum = 0.0f;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    sum += w[i] * x[i] + w[i + 1] * x[i + 1] + w[i + 2] * x[i + 2] + w[i + 3] * x[i + 3];
  }
  for (; i < n; ++i) sum += w[i] * x[i];
  return sum;
}

int32_t ReadInt32(std::string_view bytes, size_t at) {
  int32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

void AppendFloats(std::string& out, const std::vector<float>& values) {
  out.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}

}  // namespace

float Logistic(float x) {
  return 1.0f / (1.0f + std::exp(std::clamp(-x, -38.0f, 38.0f)));
}

float LogisticSlope(float x) {
  const float u = std::exp(std::clamp(-x, -38.0f, 38.0f));
  return u / ((1.0f + u) * (1.0f + u));
}

void NeuralNetwork::SetSizes(int inputs, int hidden, int outputs) {
  assert(inputs >= 1 && inputs <= kMaxInputs && hidden >= 1 && hidden <= kMaxHidden &&
         outputs >= 1 && outputs <= kMaxOutputs);
  inputs_ = inputs;
  hidden_ = hidden;
  outputs_ = outputs;
  inputWeights_.assign(static_cast<size_t>(hidden) * inputs, 0.0f);
  outputWeights_.assign(static_cast<size_t>(outputs) * hidden, 0.0f);
  hiddenThresholds_.assign(hidden, 0.0f);
  outputThresholds_.assign(outputs, 0.0f);
  hiddenNet_.assign(hidden, 0.0f);
  hiddenValues_.assign(hidden, 0.0f);
  outputNet_.assign(outputs, 0.0f);
  outputValues_.assign(outputs, 0.0f);
  outputDeltas_.assign(outputs, 0.0f);
  ClearErrors();
}

void NeuralNetwork::RandomiseWeights(float low, float high, uint32_t seed) {
  uint32_t state = seed;
  auto next = [&state] {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7fff);
  };
  for (std::vector<float>* layer : {&inputWeights_, &outputWeights_}) {
    for (float& w : *layer) w = low + (high - low) * static_cast<float>(next()) / 32767.0f;
  }
}

void NeuralNetwork::ClearErrors() {
  lastError_ = 0.0f;
  accumulatedError_ = 0.0f;
  goalReached_ = false;
}

Result NeuralNetwork::Load(const std::string& path) {
  if (Result r = CheckInputFile(path); !r) return r.In(path);
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Result::Error(path + ": cannot read the network file (" + ec.message() + ")");
  if (size > kMaxFileBytes) return Result::Error(path + ": is longer than any network file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Result::Error(path + ": cannot open the network file");
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return Result::Error(path + ": cannot read the network file");
  bytes.resize(static_cast<size_t>(in.gcount()));
  return LoadFromBytes(bytes, path);
}

Result NeuralNetwork::LoadFromBytes(std::string_view bytes, const std::string& path) {
  auto fail = [&path](const std::string& problem) { return Result::Error(path + ": " + problem); };
  if (bytes.size() < kHeaderBytes) {
    return fail("too short for a network file (" + std::to_string(bytes.size()) + " bytes)");
  }
  const int32_t in = ReadInt32(bytes, 0), hid = ReadInt32(bytes, 4), out = ReadInt32(bytes, 8);
  if (in < 1 || in > kMaxInputs || hid < 1 || hid > kMaxHidden || out < 1 || out > kMaxOutputs) {
    return fail("declares " + std::to_string(in) + " inputs, " + std::to_string(hid) +
                " hidden units and " + std::to_string(out) + " outputs; a network has 1.." +
                std::to_string(kMaxInputs) + ", 1.." + std::to_string(kMaxHidden) + " and 1.." +
                std::to_string(kMaxOutputs));
  }
  const size_t floats = static_cast<size_t>(in) * hid + static_cast<size_t>(out) * hid + hid + out;
  const size_t body = kHeaderBytes + 4 * floats;
  if (bytes.size() != body && bytes.size() != body + kParameterBlockBytes) {
    return fail("is " + std::to_string(bytes.size()) + " bytes; its sizes need " +
                std::to_string(body) + " (or " + std::to_string(body + kParameterBlockBytes) +
                " with the parameter block)");
  }
  std::vector<float> values(floats);
  std::memcpy(values.data(), bytes.data() + kHeaderBytes, 4 * floats);
  for (size_t i = 0; i < floats; ++i) {
    const std::string at = " at byte " + std::to_string(kHeaderBytes + 4 * i);
    if (!std::isfinite(values[i])) return fail("holds a value that is not a finite number" + at);
    // Beyond this the sums of a forward pass could overflow; no trained network comes near it.
    if (std::fabs(values[i]) > kMaxMagnitude) {
      return fail("holds a weight or threshold beyond +-1e6" + at);
    }
  }
  SetSizes(in, hid, out);
  const float* v = values.data();
  for (std::vector<float>* part :
       {&inputWeights_, &outputWeights_, &hiddenThresholds_, &outputThresholds_}) {
    std::copy(v, v + part->size(), part->begin());
    v += part->size();
  }
  parameters_.reset();
  if (bytes.size() > body) {
    ParameterBlock block;
    std::memcpy(block.data(), bytes.data() + body, kParameterBlockBytes);
    parameters_ = block;
  }
  return Result::Ok();
}

std::string NeuralNetwork::ToBytes() const {
  std::string out;
  const int32_t sizes[3] = {inputs_, hidden_, outputs_};
  out.append(reinterpret_cast<const char*>(sizes), sizeof sizes);
  AppendFloats(out, inputWeights_);
  AppendFloats(out, outputWeights_);
  AppendFloats(out, hiddenThresholds_);
  AppendFloats(out, outputThresholds_);
  if (parameters_) out.append(reinterpret_cast<const char*>(parameters_->data()), kParameterBlockBytes);
  return out;
}

Result NeuralNetwork::Save(const std::string& path) const {
  if (Empty()) return Result::Error(path + ": the network has no sizes yet; nothing to write");
  return WriteFileAtomically(path, ToBytes());
}

void NeuralNetwork::Forward(std::span<const float> input) {
  assert(static_cast<int>(input.size()) == inputs_);
  const float* w = inputWeights_.data();
  for (int j = 0; j < hidden_; ++j, w += inputs_) {
    hiddenNet_[j] = Dot(w, input.data(), inputs_);
    hiddenValues_[j] = Logistic(hiddenNet_[j]);
  }
  const float* v = outputWeights_.data();
  for (int k = 0; k < outputs_; ++k, v += hidden_) {
    outputNet_[k] = Dot(v, hiddenValues_.data(), hidden_);
    outputValues_[k] = Logistic(outputNet_[k] - outputThresholds_[k]);
  }
}

int NeuralNetwork::Classify(std::span<const float> input) {
  Forward(input);
  return static_cast<int>(std::max_element(outputValues_.begin(), outputValues_.end()) -
                          outputValues_.begin());
}

int NeuralNetwork::Classify(std::span<const float> input, float& confidence) {
  const int best = Classify(input);
  float sum = 0.0f;
  for (float o : outputValues_) sum += o;
  confidence = sum >= 0.1f ? outputValues_[best] / sum : 0.0f;
  return best;
}

bool NeuralNetwork::TrainStep(std::span<const float> input, std::span<const float> target,
                              float rate, float goal) {
  assert(static_cast<int>(target.size()) == outputs_);
  Forward(input);
  float squares = 0.0f;
  for (int k = 0; k < outputs_; ++k) {
    const float e = target[k] - outputValues_[k];
    squares += e * e;
    outputDeltas_[k] = e * LogisticSlope(outputNet_[k] - outputThresholds_[k]);
  }
  lastError_ = std::sqrt(squares);
  accumulatedError_ += lastError_;
  // Hidden-to-output weights first; the hidden deltas then propagate through the updated
  // weights, and the input-to-hidden weights follow.
  float* v = outputWeights_.data();
  for (int k = 0; k < outputs_; ++k, v += hidden_) {
    const float step = rate * outputDeltas_[k];
    for (int j = 0; j < hidden_; ++j) v[j] += step * hiddenValues_[j];
  }
  float* w = inputWeights_.data();
  for (int j = 0; j < hidden_; ++j, w += inputs_) {
    float back = 0.0f;
    for (int k = 0; k < outputs_; ++k) {
      back += outputWeights_[static_cast<size_t>(k) * hidden_ + j] * outputDeltas_[k];
    }
    const float delta = rate * LogisticSlope(hiddenNet_[j]) * back;
    for (int i = 0; i < inputs_; ++i) w[i] += delta * input[i];
  }
  if (lastError_ < goal) goalReached_ = true;
  return lastError_ < goal;
}

}  // namespace fw
