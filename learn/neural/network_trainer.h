// Training the LBP-VAR network from folders of sample pictures: every picture (JPEG, PNG, BMP)
// stretched whole to 48 x 48 gives its LBP-VAR vector (211 inputs); positives (smoke) are taught
// the target (1, 0), negatives (0, 1); back-propagation over all samples in an order shuffled
// anew each epoch. The same seed gives the same network, byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/result.h"
#include "learn/neural/neural_network.h"
#include "learn/progress.h"

namespace fw {

struct NetworkTrainerOptions {
  std::string positives;
  std::string negatives;
  int hidden = 32;      // hidden units
  int epochs = 60;      // passes over the samples
  float rate = 0.2f;    // learning rate
  uint64_t seed = 1;    // initial weights and the sample order
  int threads = 2;      // for reading the pictures
};

struct NetworkEpoch {
  double meanError = 0.0;  // mean training-step error over the epoch
  double detection = 0.0;  // positives classified as class 0 after the epoch
  double falseAlarm = 0.0; // negatives classified as class 0
};

struct NetworkTrainingOutcome {
  Result result;
  bool finished = false;  // false when stopped
  NeuralNetwork network;
  int positives = 0;  // readable sample pictures
  int negatives = 0;
  std::vector<std::string> unreadable;
  std::vector<NetworkEpoch> epochs;
  double seconds = 0.0;
};

// The LBP-VAR vectors of the readable pictures of a folder (JPEG, and PNG and BMP when
// `allPictures`), one after another (211 values each,
// in the folder's name order); unreadable pictures are named in `unreadable`. Polls `stop`.
Result LbpVarVectorsOfFolder(const std::string& folder, bool allPictures, int threads,
                             const StopFlag& stop,
                             std::vector<float>& vectors, std::vector<std::string>& unreadable);

using NetworkTrainerLog = std::function<void(const std::string&)>;

NetworkTrainingOutcome TrainLbpNetwork(const NetworkTrainerOptions& options, const StopFlag& stop,
                                       const NetworkTrainerLog& log);

}  // namespace fw
