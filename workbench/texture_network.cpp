#include "workbench/texture_network.h"

#include "learn/neural/neural_network.h"

namespace fw {

namespace {

constexpr uint32_t kWeightSeed = 1;

class PerceptronTextureNetwork final : public TextureNetwork {
 public:
  void SetSizes(int inputs, int hidden, int outputs) override {
    network_.SetSizes(inputs, hidden, outputs);
  }
  void RandomiseWeights(float low, float high) override {
    network_.RandomiseWeights(low, high, kWeightSeed);
  }
  bool TrainStep(std::span<const float> input, std::span<const float> target, float rate,
                 float goal) override {
    return network_.TrainStep(input, target, rate, goal);
  }
  float LastError() const override { return network_.LastError(); }
  float AccumulatedError() const override { return network_.AccumulatedError(); }
  int Classify(std::span<const float> input, float& confidence) override {
    return network_.Classify(input, confidence);
  }

 private:
  NeuralNetwork network_;
};

}  // namespace

std::unique_ptr<TextureNetwork> MakeTextureNetwork() {
  return std::make_unique<PerceptronTextureNetwork>();
}

}  // namespace fw
