// What the texture recognisers need of a small neural network (a three-layer perceptron): its
// sizes, random weights, one training step towards a target, and the class of an input with its
// confidence. The learning layer's network fills it in (MakeTextureNetwork); the workbench only
// trains and asks it, and tests put a scripted one in its place.
#pragma once

#include <memory>
#include <span>

namespace fw {

class TextureNetwork {
 public:
  virtual ~TextureNetwork() = default;
  // (Re)sizes the network: inputs, hidden units, outputs.
  virtual void SetSizes(int inputs, int hidden, int outputs) = 0;
  // Both weight layers get values drawn evenly from [low, high].
  virtual void RandomiseWeights(float low, float high) = 0;
  // One back-propagation step towards the target with learning rate `rate`; true when the
  // error is below `goal`.
  virtual bool TrainStep(std::span<const float> input, std::span<const float> target, float rate,
                         float goal) = 0;
  // The error of the last training step, and the sum of all of them.
  virtual float LastError() const = 0;
  virtual float AccumulatedError() const = 0;
  // The index of the largest output (the first on ties) and its share of the outputs' sum.
  virtual int Classify(std::span<const float> input, float& confidence) = 0;
};

// The learning layer's three-layer perceptron behind this interface. Its weights are drawn from
// a fixed seed, so that a training run over the same frames gives the same network.
std::unique_ptr<TextureNetwork> MakeTextureNetwork();

}  // namespace fw
