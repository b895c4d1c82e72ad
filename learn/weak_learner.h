// The cascade trainer's weak learner. Every feature of the pool has cut points; a sample's value
// of the feature becomes its bin, the number of cut points at or below the value (at most 256
// bins). A weak classifier accepts a run of bins [a, b) or everything outside such a run, which
// two thresholds of the record express exactly (T2 <= v < T1, or v < T1 or v >= T2), so a
// decision taken on bins in training is the decision the record takes on the value.
//
// For each feature the run of least weighted error is found in one pass over its bins (the
// largest sum of positive minus negative weight, or the reverse for the excluded run); the round
// takes the feature of least error, the first on ties.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "learn/flavour.h"

namespace fw {

// Cut points of one feature: ascending, distinct, all above the threshold type's minimum.
using Cuts = std::vector<double>;

// At most 255 cut points from a feature's values: every distinct value after the smallest when
// there are few, else the 255 quantiles (byte values use the cuts 1..255).
Cuts CutsOf(std::vector<double> values, ThresholdType type);

inline uint8_t BinOf(const Cuts& cuts, double v) {
  size_t lo = 0, hi = cuts.size();
  while (lo < hi) {  // the number of cuts <= v
    const size_t mid = (lo + hi) / 2;
    if (cuts[mid] <= v) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return static_cast<uint8_t>(lo);
}

// Bins of every sample for every feature, feature-major.
class BinMatrix {
 public:
  void Resize(int features, int samples);
  int Features() const { return features_; }
  int Samples() const { return samples_; }
  uint8_t* Column(int feature) { return bins_.data() + static_cast<size_t>(feature) * samples_; }
  const uint8_t* Column(int feature) const {
    return bins_.data() + static_cast<size_t>(feature) * samples_;
  }

 private:
  int features_ = 0;
  int samples_ = 0;
  std::vector<uint8_t> bins_;
};

struct WeakChoice {
  int feature = -1;
  bool inverted = false;  // accepts everything outside [a, b)
  int a = 0;
  int b = 0;
  double error = 1.0;
};

// The choice's accept table over the feature's bins.
std::vector<uint8_t> AcceptTable(const WeakChoice& choice, int bins);

// Thresholds (T1, T2) of a choice in the threshold type: exact for every value.
struct ThresholdPair {
  double t1 = 0.0;
  double t2 = 0.0;
};
ThresholdPair ThresholdsOfChoice(const WeakChoice& choice, const Cuts& cuts, ThresholdType type);

// The best weak classifier of a round: `signedWeights` holds +w for positives and -w for
// negatives, `positiveWeight` and `negativeWeight` their sums. Up to `threads` threads; the
// result does not depend on their number.
WeakChoice SelectWeak(const BinMatrix& bins, std::span<const Cuts> cuts,
                      std::span<const double> signedWeights, double positiveWeight,
                      double negativeWeight, int threads);

// Runs body(begin, end) over [0, count) split into `threads` contiguous parts, one thread each.
template <typename Body>
void ParallelFor(int count, int threads, Body body) {
  threads = std::max(1, std::min(threads, count));
  if (threads == 1) {
    body(0, count);
    return;
  }
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) {
    pool.emplace_back(
        [&body, count, threads, t] { body(count * t / threads, count * (t + 1) / threads); });
  }
  body(0, count / threads);
  for (std::thread& th : pool) th.join();
}

}  // namespace fw
