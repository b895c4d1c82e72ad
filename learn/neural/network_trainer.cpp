#include "learn/neural/network_trainer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/image_file.h"
#include "learn/evaluation_run.h"
#include "learn/neural/lbp_var_features.h"

namespace fw {

namespace {

constexpr int kClasses = 2;
constexpr float kTargets[kClasses][kClasses] = {{1.0f, 0.0f}, {0.0f, 1.0f}};

// splitmix64: the sample order's generator, the same sequence on every platform.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

void Shuffle(std::vector<int>& order, uint64_t& state) {
  for (size_t i = order.size(); i > 1; --i) {
    std::swap(order[i - 1], order[NextRandom(state) % i]);
  }
}

}  // namespace

Result LbpVarVectorsOfFolder(const std::string& folder, bool allPictures, int threads,
                             const StopFlag& stop,
                             std::vector<float>& vectors, std::vector<std::string>& unreadable) {
  std::vector<std::string> files;
  if (Result r = ListPictures(folder, allPictures, files); !r) return r;
  std::vector<float> all(files.size() * kLbpVarInputs);
  std::vector<uint8_t> read(files.size(), 0);
  auto work = [&](size_t begin, size_t end) {
    LbpVarFeatures features;
    Dib picture;
    for (size_t i = begin; i < end && !stop; ++i) {
      if (!LoadImageFile(picture, files[i])) continue;
      read[i] = features.FromPicture(
          picture, std::span<float>(all.data() + i * kLbpVarInputs, kLbpVarInputs));
    }
  };
  const size_t n = files.size();
  const size_t parts = static_cast<size_t>(std::clamp(threads, 1, 2));
  std::vector<std::thread> pool;
  for (size_t t = 1; t < parts; ++t) pool.emplace_back(work, n * t / parts, n * (t + 1) / parts);
  work(0, n / parts);
  for (std::thread& t : pool) t.join();
  if (stop) return Result::Ok();
  for (size_t i = 0; i < n; ++i) {
    if (!read[i]) {
      unreadable.push_back(files[i]);
      continue;
    }
    vectors.insert(vectors.end(), all.begin() + i * kLbpVarInputs,
                   all.begin() + (i + 1) * kLbpVarInputs);
  }
  return Result::Ok();
}

NetworkTrainingOutcome TrainLbpNetwork(const NetworkTrainerOptions& options, const StopFlag& stop,
                                       const NetworkTrainerLog& log) {
  NetworkTrainingOutcome out;
  const auto started = std::chrono::steady_clock::now();
  std::vector<float> vectors;
  for (const std::string* folder : {&options.positives, &options.negatives}) {
    const size_t before = vectors.size();
    out.result = LbpVarVectorsOfFolder(*folder, true, options.threads, stop, vectors, out.unreadable);
    if (!out.result || stop) return out;
    const int count = static_cast<int>((vectors.size() - before) / kLbpVarInputs);
    if (count == 0) {
      out.result = Result::Error(*folder + ": no readable sample pictures");
      return out;
    }
    (folder == &options.positives ? out.positives : out.negatives) = count;
    log(std::to_string(count) + " sample pictures read from " + *folder);
  }
  const int samples = out.positives + out.negatives;
  auto vectorOf = [&](int s) {
    return std::span<const float>(vectors.data() + static_cast<size_t>(s) * kLbpVarInputs,
                                  kLbpVarInputs);
  };
  auto classOf = [&](int s) { return s < out.positives ? 0 : 1; };

  NeuralNetwork& net = out.network;
  net.SetSizes(kLbpVarInputs, options.hidden, kClasses);
  net.RandomiseWeights(-0.2f, 0.2f, static_cast<uint32_t>(options.seed));
  uint64_t order_state = options.seed;
  std::vector<int> order(samples);
  for (int s = 0; s < samples; ++s) order[s] = s;
  for (int epoch = 1; epoch <= options.epochs; ++epoch) {
    Shuffle(order, order_state);
    net.ClearErrors();
    for (int s : order) {
      if (stop) return out;
      net.TrainStep(vectorOf(s), kTargets[classOf(s)], options.rate, 0.0f);
    }
    NetworkEpoch e;
    e.meanError = net.AccumulatedError() / samples;
    int detected = 0, falseAlarms = 0;
    for (int s = 0; s < samples; ++s) {
      if (net.Classify(vectorOf(s)) != 0) continue;
      (classOf(s) == 0 ? detected : falseAlarms) += 1;
    }
    e.detection = static_cast<double>(detected) / out.positives;
    e.falseAlarm = static_cast<double>(falseAlarms) / out.negatives;
    out.epochs.push_back(e);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char line[200];
    std::snprintf(line, sizeof line,
                  "epoch %d of %d: mean error %.6f, training detection %.4f, false alarms %.4f, "
                  "%.0f s",
                  epoch, options.epochs, e.meanError, e.detection, e.falseAlarm, elapsed);
    log(line);
  }
  out.finished = true;
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return out;
}

}  // namespace fw
