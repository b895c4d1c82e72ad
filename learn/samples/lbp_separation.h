// "Get VOC": how well the LBP-VAR vector separates a positive and a negative sample folder. Every
// JPEG picture is stretched whole to 48 x 48 and gives its vector; the between-class distance is
// the mean Euclidean distance over all (negative, positive) pairs, the within-class distance of
// a class the sum over all its ordered pairs (a sample with itself included) divided by the
// square of its count. The report "LBP_Feature_Performance.txt" gives the folders, the counts
// and the three distances.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/result.h"
#include "learn/progress.h"

namespace fw {

struct SeparationDistances {
  double between = 0.0;
  double positiveWithin = 0.0;
  double negativeWithin = 0.0;
};

// `positives` and `negatives` hold `values` floats per sample, one sample after another; both
// hold at least one. Polls `stop` once per sample (the result is then incomplete).
SeparationDistances MeasureSeparation(std::span<const float> positives,
                                      std::span<const float> negatives, int values,
                                      const StopFlag& stop);

struct SeparationParams {
  std::string positives;  // "*.jpg" folders
  std::string negatives;
  std::string report;     // "LBP_Feature_Performance.txt" in the start directory
};

struct SeparationOutcome {
  Result result;
  bool finished = false;  // false when stopped (no report)
  int positives = 0;
  int negatives = 0;
  SeparationDistances distances;
  std::vector<std::string> unreadable;
};

SeparationOutcome RunGetVoc(const SeparationParams& params, const StopFlag& stop,
                            ProgressReporter& progress);

}  // namespace fw
