// The sample set of the learning runs: positives first, then negatives, each with its label,
// its AdaBoost weight and one 32-bit value per feature (float for the window family, integer
// otherwise). The features are the window family's centred pool (the weak-classifier selection
// of online learning) or the weak records of a loaded cascade (the evaluation runs).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/result.h"
#include "learn/classifier_set.h"
#include "learn/flavour_sample.h"
#include "learn/window_features.h"

namespace fw {

struct TrainingSample {
  int32_t label = 0;  // 1 positive, 0 negative
  float weight = 0.0f;
};

class SampleSet {
 public:
  // Frees the previous set and makes room for P + N samples with empty values; clears the
  // feature table and the chosen marks.
  void Prepare(int positives, int negatives);

  // Features: the centred pool in float form (F = 6344), or the records in the stages of a
  // loaded cascade, read by its flavour (F = their number).
  void UseCentredPool();
  void UseCascadeRecords(const ClassifierSet& model);

  // Brings the picture to the base window with the crop type, stores its feature values as
  // sample `index` with the label and the initial weight 0.5 / P (positive) or 0.5 / N, and
  // widens the feature table's ranges. Refused (nothing stored) for an index outside the set,
  // a crop type the family lacks, or a picture that gives no window.
  Result Add(const Dib& picture, int cropType, int label, int index);

  // Keeps the first `positives` samples of the positive block and the first `negatives` of the
  // negative block (the pictures that were read), with their initial weights recomputed.
  void Shrink(int positives, int negatives);

  int Positives() const { return positives_; }
  int Negatives() const { return negatives_; }
  int Size() const { return positives_ + negatives_; }
  int FeatureCount() const { return static_cast<int>(table_.size()); }
  // The index of the next sample to fill (one past the highest added).
  int NextIndex() const { return next_; }
  const std::vector<FeatureDesc>& Table() const { return table_; }
  std::vector<TrainingSample>& Samples() { return samples_; }
  const std::vector<TrainingSample>& Samples() const { return samples_; }
  const std::vector<uint8_t>& Added() const { return added_; }
  // Sample s's value of feature f, exact.
  double Value(int s, int f) const;
  // Per-pattern shape counts of the centred pool (zero for cascade records).
  const std::array<int, 8>& PoolCounts() const { return poolCounts_; }
  std::vector<uint8_t>& Chosen() { return chosen_; }

  std::string positiveFolder;
  std::string negativeFolder;

 private:
  int positives_ = 0;
  int negatives_ = 0;
  int next_ = 0;
  bool floatValues_ = true;
  std::vector<TrainingSample> samples_;
  std::vector<uint8_t> added_;
  std::vector<uint32_t> slots_;  // Size() x FeatureCount()
  std::vector<FeatureDesc> table_;
  std::vector<FeatureChoice> choices_;
  std::array<int, 8> poolCounts_{};
  std::vector<uint8_t> chosen_;
  std::unique_ptr<FlavourSample> sample_;
  std::vector<double> scratch_;
};

}  // namespace fw
