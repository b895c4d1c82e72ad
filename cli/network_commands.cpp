// The network of the texture windows on the command line: train --flavour nn and eval-samples
// of a network file.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/learning_cli.h"
#include "cli/network_commands.h"
#include "learn/neural/lbp_var_features.h"
#include "learn/neural/network_trainer.h"

namespace fw::cli {

int RunNetworkTraining(Args& args) {
  for (const char* cascadeOnly : {"stages", "hit-rate", "false-alarm", "mine-video", "mine-frames"}) {
    if (args.Has(cascadeOnly)) {
      return Fail(std::string("--") + cascadeOnly + " is for the cascades, not --flavour nn");
    }
  }
  NetworkTrainerOptions options;
  options.positives = *args.Value("positives");
  options.negatives = *args.Value("negatives");
  double rate = options.rate;
  std::string error;
  if (!args.IntValue("hidden", 1, NeuralNetwork::kMaxHidden, options.hidden) ||
      !args.IntValue("epochs", 1, 100000, options.epochs) ||
      !args.IntValue("threads", 1, 2, options.threads)) {
    return Fail(args.error());
  }
  if (!DoubleOption(args, "rate", 1e-6, 10.0, rate, error)) return Fail(error);
  options.rate = static_cast<float>(rate);
  if (const auto seed = args.Value("seed")) {
    const auto [ptr, ec] = std::from_chars(seed->data(), seed->data() + seed->size(), options.seed);
    if (ec != std::errc() || ptr != seed->data() + seed->size() || seed->empty()) {
      return Fail("--seed must be a whole number from 0 (got \"" + *seed + "\")");
    }
  }
  const std::string out = *args.Value("out");
  InterruptStops interrupt;
  NetworkTrainingOutcome result = TrainLbpNetwork(
      options, InterruptStops::Flag(),
      [](const std::string& line) { std::fprintf(stderr, "train: %s\n", line.c_str()); });
  for (const std::string& f : result.unreadable) {
    std::fprintf(stderr, "fumewatch-cli: %s: cannot be read as a sample picture, counted out\n",
                 f.c_str());
  }
  if (!result.result) return Fail(result.result.message());
  if (!result.finished) return Fail("stopped: no network file was written");
  if (Result r = result.network.Save(out); !r) return Fail(r.message());

  // The file as the modes load it must be the network that was trained.
  NeuralNetwork loaded;
  if (Result r = loaded.Load(out); !r) return Fail(r.message());
  const bool identical = loaded.ToBytes() == result.network.ToBytes();
  std::printf(
      "flavour=nn seed=%llu inputs=%d hidden=%d outputs=%d epochs=%d rate=%g positives=%d "
      "negatives=%d unreadable=%zu seconds=%.1f\n",
      static_cast<unsigned long long>(options.seed), loaded.Inputs(), loaded.Hidden(),
      loaded.Outputs(), options.epochs, static_cast<double>(options.rate), result.positives,
      result.negatives, result.unreadable.size(), result.seconds);
  for (size_t e = 0; e < result.epochs.size(); ++e) {
    const NetworkEpoch& ep = result.epochs[e];
    std::printf("epoch=%zu mean_error=%.6f detection_rate=%.6f false_alarm_rate=%.6f\n", e + 1,
                ep.meanError, ep.detection, ep.falseAlarm);
  }
  const NetworkEpoch last = result.epochs.back();
  std::printf("training_detection_rate=%.6f training_false_alarm_rate=%.6f round_trip=%s\n",
              last.detection, last.falseAlarm, identical ? "identical" : "DIFFERENT");
  if (!identical) return Fail(out + ": the file read back differs from the trained network");
  return 0;
}

}  // namespace fw::cli

namespace fw::cli {

bool NamesNetwork(const Args& args, const std::string& file) {
  if (const auto flavour = args.Value("flavour")) return *flavour == "nn";
  const std::string suffix = "NeuralNet.kdz";
  return file.size() >= suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int RunNetworkEvaluation(const Args& args) {
  if (args.Has("roc") || args.Has("plot")) {
    return Fail("--roc and --plot sweep a cascade's stage ratio; a network has none");
  }
  const std::string file = *args.Value("classifier");
  NeuralNetwork network;
  if (Result r = network.Load(file); !r) return Fail(r.message());
  if (network.Inputs() != kLbpVarInputs || network.Outputs() < 2) {
    return Fail(file + ": a network of " + std::to_string(network.Inputs()) + " inputs and " +
                std::to_string(network.Outputs()) + " outputs; the texture windows need " +
                std::to_string(kLbpVarInputs) + " inputs and at least 2 outputs");
  }
  InterruptStops interrupt;
  int counts[2] = {0, 0}, smoke[2] = {0, 0};
  std::vector<std::string> unreadable;
  const std::string folders[2] = {*args.Value("positives"), *args.Value("negatives")};
  for (int f = 0; f < 2; ++f) {
    std::vector<float> vectors;
    if (Result r = LbpVarVectorsOfFolder(folders[f], true, 2, InterruptStops::Flag(), vectors, unreadable);
        !r) {
      return Fail(r.message());
    }
    if (InterruptStops::Flag()) return Fail("stopped");
    counts[f] = static_cast<int>(vectors.size() / kLbpVarInputs);
    for (int s = 0; s < counts[f]; ++s) {
      const std::span<const float> v(vectors.data() + static_cast<size_t>(s) * kLbpVarInputs,
                                     kLbpVarInputs);
      smoke[f] += network.Classify(v) == 0 ? 1 : 0;
    }
    std::fprintf(stderr, "eval-samples: %d pictures of %s classified\n", counts[f],
                 folders[f].c_str());
  }
  for (const std::string& f : unreadable) {
    std::fprintf(stderr, "fumewatch-cli: %s: cannot be read as a sample picture, counted out\n",
                 f.c_str());
  }
  for (int f = 0; f < 2; ++f) {
    if (counts[f] == 0) return Fail("no readable pictures in " + folders[f]);
  }
  std::printf("positives=%d negatives=%d detection_rate=%.6f false_alarm_rate=%.6f\n", counts[0],
              counts[1], static_cast<double>(smoke[0]) / counts[0],
              static_cast<double>(smoke[1]) / counts[1]);
  return 0;
}

}  // namespace fw::cli
