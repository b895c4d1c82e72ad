#include "learn/weak_learner.h"

#include <array>
#include <cfloat>
#include <cstdint>
#include <limits>

namespace fw {

namespace {

double TypeMinimum(ThresholdType type) {
  switch (type) {
    case ThresholdType::UInt8:
      return 0.0;
    case ThresholdType::Float:
      return -static_cast<double>(FLT_MAX);
    case ThresholdType::Int16:
      return std::numeric_limits<int16_t>::min();
    default:
      return std::numeric_limits<int32_t>::min();
  }
}

}  // namespace

Cuts CutsOf(std::vector<double> values, ThresholdType type) {
  Cuts cuts;
  if (type == ThresholdType::UInt8) {
    for (int v = 1; v < 256; ++v) cuts.push_back(v);
    return cuts;
  }
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  const double floor = TypeMinimum(type);
  if (values.size() <= 256) {
    for (size_t i = 1; i < values.size(); ++i) cuts.push_back(values[i]);
  } else {
    for (size_t j = 1; j < 256; ++j) {
      const double v = values[j * values.size() / 256];
      if (cuts.empty() || v > cuts.back()) cuts.push_back(v);
    }
  }
  cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [floor](double c) { return c <= floor; }),
             cuts.end());
  return cuts;
}

void BinMatrix::Resize(int features, int samples) {
  features_ = features;
  samples_ = samples;
  bins_.assign(static_cast<size_t>(features) * samples, 0);
}

std::vector<uint8_t> AcceptTable(const WeakChoice& c, int bins) {
  std::vector<uint8_t> accept(static_cast<size_t>(bins), 0);
  for (int k = 0; k < bins; ++k) {
    const bool inside = k >= c.a && k < c.b;
    accept[k] = inside != c.inverted ? 1 : 0;
  }
  return accept;
}

ThresholdPair ThresholdsOfChoice(const WeakChoice& c, const Cuts& cuts, ThresholdType type) {
  const int bins = static_cast<int>(cuts.size()) + 1;
  const double floor = TypeMinimum(type);
  auto cut = [&cuts](int k) { return cuts[k - 1]; };  // the value where bin k begins
  int a = c.a, b = c.b;
  bool inverted = c.inverted;
  // An excluded run at either end is an accepted run at the other.
  if (inverted && a == 0) {
    inverted = false;
    a = b;
    b = bins;
  } else if (inverted && b == bins) {
    inverted = false;
    b = a;
    a = 0;
  }
  if (inverted) return {cut(a), cut(b)};       // v < T1 or v >= T2
  if (a == 0 && b == bins) return {0.0, 0.0};  // never chosen: accepts everything
  if (a == b) return {floor, floor};           // accepts nothing
  if (b == bins) return {floor, cut(a)};       // v >= T2: T2 > T1
  return {cut(b), a == 0 ? floor : cut(a)};    // T2 <= v < T1
}

namespace {

// The run [a, b) of largest sum of gain over the bins, not the whole range (Kadane).
struct Run {
  double gain = -1.0e300;
  int a = 0;
  int b = 0;
};

Run BestRun(const double* gain, int bins, int from, int to) {
  Run best;
  double sum = 0.0;
  int start = from;
  for (int k = from; k < to; ++k) {
    if (sum <= 0.0) {
      sum = 0.0;
      start = k;
    }
    sum += gain[k];
    if (sum > best.gain) best = {sum, start, k + 1};
  }
  (void)bins;
  return best;
}

Run BestPartialRun(const double* gain, int bins) {
  Run best = BestRun(gain, bins, 0, bins);
  if (best.a == 0 && best.b == bins && bins > 1) {
    const Run left = BestRun(gain, bins, 0, bins - 1);
    const Run right = BestRun(gain, bins, 1, bins);
    best = right.gain > left.gain ? right : left;
  }
  return best;
}

WeakChoice BestOfFeature(const double* histogram, int bins, double positive, double negative) {
  if (bins < 2) return {};  // a constant feature separates nothing
  std::array<double, 256> reverse;
  for (int k = 0; k < bins; ++k) reverse[k] = -histogram[k];
  const Run accept = BestPartialRun(histogram, bins);
  const Run exclude = BestPartialRun(reverse.data(), bins);
  WeakChoice c;
  const double acceptError = positive - accept.gain;
  const double excludeError = negative - exclude.gain;
  if (acceptError <= excludeError) {
    c = {0, false, accept.a, accept.b, acceptError};
  } else {
    c = {0, true, exclude.a, exclude.b, excludeError};
  }
  return c;
}

}  // namespace

WeakChoice SelectWeak(const BinMatrix& bins, std::span<const Cuts> cuts,
                      std::span<const double> signedWeights, double positiveWeight,
                      double negativeWeight, int threads) {
  const int features = bins.Features();
  const int samples = bins.Samples();
  threads = std::max(1, std::min(threads, features));
  std::vector<WeakChoice> best(static_cast<size_t>(threads));
  ParallelFor(threads, threads, [&](int t0, int t1) {
    for (int t = t0; t < t1; ++t) {
      WeakChoice local;
      const int begin = features * t / threads, end = features * (t + 1) / threads;
      std::array<std::array<double, 256>, 4> part;
      for (int f = begin; f < end; ++f) {
        for (auto& h : part) h.fill(0.0);
        const uint8_t* column = bins.Column(f);
        const double* w = signedWeights.data();
        int i = 0;
        for (; i + 4 <= samples; i += 4) {  // four histograms break the add chains
          part[0][column[i]] += w[i];
          part[1][column[i + 1]] += w[i + 1];
          part[2][column[i + 2]] += w[i + 2];
          part[3][column[i + 3]] += w[i + 3];
        }
        for (; i < samples; ++i) part[0][column[i]] += w[i];
        const int count = static_cast<int>(cuts[f].size()) + 1;
        std::array<double, 256> histogram;
        for (int k = 0; k < count; ++k) {
          histogram[k] = (part[0][k] + part[1][k]) + (part[2][k] + part[3][k]);
        }
        WeakChoice c = BestOfFeature(histogram.data(), count, positiveWeight, negativeWeight);
        if (c.error < local.error) {
          c.feature = f;
          local = c;
        }
      }
      best[t] = local;
    }
  });
  WeakChoice chosen;
  for (const WeakChoice& c : best) {
    if (c.feature >= 0 && (chosen.feature < 0 || c.error < chosen.error)) chosen = c;
  }
  return chosen;
}

}  // namespace fw
