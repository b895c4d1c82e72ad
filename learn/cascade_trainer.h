// The cascade trainer: builds a boosted cascade from folders of positive and negative sample
// pictures, stage by stage. Every stage is trained by AdaBoost over the flavour's feature pool:
// in each round every feature's threshold pair of least weighted error is found (on binned
// values), the best feature becomes the next weak classifier, and the weights, the error bound
// and the stage's votes are updated. A stage aims to keep at least the hit rate H of the
// positives that reach it and to pass at most the false-alarm rate F of its negatives:
//
// - stages of fixed size decided at a fixed ratio (Byte, Float, BLBP: the growth sizes 10, 13,
//   17, ... that their loads rebuild; the Haar detector's likewise): the last weak classifier of
//   each stage is a bias, a record that says yes to (practically) every window, whose weight is
//   the least that lets the stage keep H; it lowers the share of the votes the learned weak
//   classifiers must reach, as a stage threshold would;
// - stages of free size at a fixed ratio (PLTP): weak classifiers are added, the bias weighed
//   after each, until the stage passes at most F of its negatives (or a size limit);
// - stages of fixed size with their own thresholds (EOH: the default split): each stage's
//   threshold is the highest that keeps H.
//
// The positives a stage rejects leave the training; the negatives of the next stage are the ones
// the cascade still accepts plus windows mined from negative pictures and frames that it
// accepts. Everything is deterministic for a seed, whatever the number of threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/result.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/flavour_sample.h"
#include "learn/progress.h"
#include "learn/weak_learner.h"

namespace fw {

struct TrainedWeak {
  FeatureChoice feature;
  double t1 = 0.0;
  double t2 = 0.0;
  float alpha = 0.0f;
  float minValue = 0.0f;
  float maxValue = 0.0f;
};

// The cascade as trained: weak classifiers in order, stage sizes and stage thresholds.
struct TrainedCascade {
  std::vector<TrainedWeak> weak;
  std::vector<int32_t> sizes;
  std::vector<float> theta;
  // The decision on a sample's values of the weak classifiers' features (in order).
  CascadeResult Decide(std::span<const double> values) const;
  std::vector<FeatureChoice> Features() const;
};

// A weak classifier that says yes to (practically) every window: its feature and thresholds.
struct BiasWeak {
  FeatureChoice feature;
  double t1 = 0.0;
  double t2 = 0.0;
};

struct StagePolicy {
  enum class Kind { FixedRatio, FreeRatio, OwnThreshold };
  Kind kind = Kind::FixedRatio;
  float ratio = 0.5f;
  int maxSize = 0;  // FreeRatio: the size limit
  // Size of stage s (FixedRatio, OwnThreshold).
  std::function<int(int)> size;
};

// What the trainer needs of a flavour: its pool, how a picture becomes feature values, the
// crop of its samples, its thresholds' type, its stage policy and how the result is written.
class TrainingFamily {
 public:
  virtual ~TrainingFamily() = default;
  virtual std::string Label() const = 0;
  virtual std::vector<FeatureChoice> Pool() const = 0;
  virtual std::unique_ptr<FlavourSample> NewSample() const = 0;
  virtual int CropType() const = 0;
  virtual ThresholdType Thresholds() const = 0;
  virtual StagePolicy Policy() const = 0;
  // The bias that ends each stage decided at a fixed ratio (none with own stage thresholds).
  virtual std::optional<BiasWeak> Bias() const = 0;
  virtual int DefaultStages() const = 0;
  virtual int MinimumStages() const { return 1; }
  virtual Result Write(const TrainedCascade& cascade, const std::string& path) const = 0;
  // The best weak classifier of a round (SelectWeak); a family whose file can hold only some
  // forms of weak classifier restricts the choice to them.
  virtual WeakChoice ChooseWeak(const BinMatrix& bins, std::span<const Cuts> cuts,
                                std::span<const double> signedWeights, double positiveWeight,
                                double negativeWeight, int threads) const {
    return SelectWeak(bins, cuts, signedWeights, positiveWeight, negativeWeight, threads);
  }
};

// The five cascade flavours, written as their classifier files (ClassifierSet::Save).
std::unique_ptr<TrainingFamily> CascadeTrainingFamily(Flavour flavour);
// The model a trained cascade is stored as: growth flavours with the single size N, PLTP with
// its stage sizes, EOH with its sizes and stage thresholds.
ClassifierSet ModelOf(const TrainedCascade& cascade, Flavour flavour);

struct TrainerOptions {
  std::string positives;  // folders of sample pictures (JPEG, PNG, BMP)
  std::string negatives;
  int stages = 0;           // 0: the flavour's default
  double hitRate = 0.995;   // per stage
  double falseAlarm = 0.5;  // per stage
  uint64_t seed = 1;
  int threads = 2;
  std::vector<Dib> miningFrames;  // frames of a video without smoke
};

struct StageSummary {
  int weak = 0;
  int positives = 0;  // positives that reached the stage
  int negatives = 0;  // negatives it was trained on
  double hitRate = 0.0;
  double falseAlarm = 0.0;
  float theta = 0.0f;            // the stage's threshold or ratio
  float bias = 0.0f;             // the bias's weight
  float effective = 0.0f;        // the share of the learned weights a window needs, with the bias
  double minedAcceptance = 0.0;  // share of mined candidates the cascade accepted before it
};

struct TrainingOutcome {
  Result result;
  bool finished = false;  // false when stopped
  TrainedCascade cascade;
  std::vector<StageSummary> stages;
  int positives = 0;  // readable sample pictures
  int negatives = 0;
  std::vector<std::string> unreadable;
  // Per readable positive picture (sorted by name): accepted by the cascade.
  std::vector<uint8_t> positiveAccepted;
  double seconds = 0.0;
};

// Progress lines (stage, weak classifiers, rates, time left) for stderr.
using TrainerLog = std::function<void(const std::string&)>;

TrainingOutcome TrainCascade(const TrainingFamily& family, const TrainerOptions& options,
                             const StopFlag& stop, const TrainerLog& log);

}  // namespace fw
