#include "learn/haar/haar_training.h"

#include <array>
#include <bit>
#include <cfloat>
#include <limits>

#include "learn/classifier_set.h"
#include "learn/training_pools.h"

namespace fw {

namespace {

constexpr float kAbove = std::numeric_limits<float>::infinity();

int GrowthSize(int stage) {
  int size = 10;
  for (int s = 0; s < stage; ++s) size = 4 * size / 3;
  return size;
}

class HaarFamily : public TrainingFamily {
 public:
  std::string Label() const override { return "Haar"; }
  std::vector<FeatureChoice> Pool() const override {
    std::vector<FeatureChoice> pool;
    for (const FeatureChoice& f : TrainingPool(Flavour::Float)) {
      if (f.code % kRangeCodeOffset >= 11) pool.push_back(f);
    }
    return pool;
  }
  std::unique_ptr<FlavourSample> NewSample() const override {
    return FlavourSample::Create(Flavour::Float);
  }
  int CropType() const override { return 1; }
  ThresholdType Thresholds() const override { return ThresholdType::Float; }
  StagePolicy Policy() const override {
    StagePolicy p;
    p.kind = StagePolicy::Kind::FixedRatio;
    p.ratio = HaarDetector::kStageRatio;
    p.size = GrowthSize;
    return p;
  }
  // The left-right difference over the whole window below the largest float: every window.
  std::optional<BiasWeak> Bias() const override {
    return BiasWeak{{11, 0, 0, kWindowBase, kWindowBase, {}},
                    static_cast<double>(FLT_MAX),
                    static_cast<double>(kAbove)};
  }
  int DefaultStages() const override { return 8; }
  Result Write(const TrainedCascade& cascade, const std::string& path) const override {
    if (cascade.weak.size() > HaarModel::kMaxRecords) {
      return Result::Error(path + ": more than 1000 weak classifiers do not fit the file");
    }
    return WriteFileAtomically(path, HaarFileBytes(HaarRecordsOf(cascade)));
  }
  WeakChoice ChooseWeak(const BinMatrix& bins, std::span<const Cuts> cuts,
                        std::span<const double> signedWeights, double positiveWeight, double,
                        int threads) const override {
    return SelectBelowWeak(bins, cuts, signedWeights, positiveWeight, threads);
  }
};

}  // namespace

std::unique_ptr<TrainingFamily> HaarTrainingFamily() {
  return std::make_unique<HaarFamily>();
}

std::vector<HaarRecord> HaarRecordsOf(const TrainedCascade& cascade) {
  std::vector<HaarRecord> records;
  for (const TrainedWeak& w : cascade.weak) {
    HaarRecord r;
    r.featureCode = w.feature.code;
    r.x = w.feature.x;
    r.y = w.feature.y;
    r.w = w.feature.w;
    r.h = w.feature.h;
    r.lower = std::bit_cast<std::array<uint8_t, 4>>(kAbove);
    r.threshold = static_cast<float>(w.t1);
    r.alpha = w.alpha;
    records.push_back(r);
  }
  return records;
}

WeakChoice SelectBelowWeak(const BinMatrix& bins, std::span<const Cuts> cuts,
                           std::span<const double> signedWeights, double positiveWeight,
                           int threads) {
  const int features = bins.Features();
  const int samples = bins.Samples();
  threads = std::max(1, std::min(threads, features));
  std::vector<WeakChoice> best(static_cast<size_t>(threads));
  ParallelFor(threads, threads, [&](int t0, int t1) {
    for (int t = t0; t < t1; ++t) {
      WeakChoice local;
      const int begin = features * t / threads, end = features * (t + 1) / threads;
      std::array<double, 256> histogram;
      for (int f = begin; f < end; ++f) {
        const int count = static_cast<int>(cuts[f].size()) + 1;
        if (count < 2) continue;  // a constant feature separates nothing
        histogram.fill(0.0);
        const uint8_t* column = bins.Column(f);
        for (int i = 0; i < samples; ++i) histogram[column[i]] += signedWeights[i];
        // Accepting bins [0, b) errs by the positive weight outside and the negative inside:
        // P - (the signed sum over the run).
        double sum = 0.0;
        for (int b = 1; b < count; ++b) {
          sum += histogram[b - 1];
          const double error = positiveWeight - sum;
          if (error < local.error) local = {f, false, 0, b, error};
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
