// The Haar detector's flavour of the cascade trainer ("train --flavour haar"): the rectangle
// patterns 11..44 of the window family on grey and colour range (the centred and the sliding
// pool without the means and variances), float values on the 24 x 24 window, stages of the
// growth sizes 10, 13, 17, ... each passed at 0.6 of its weights, written as the detector file
// (one stage size, the number of records; no stage thresholds).
//
// The detector's modes read a record's lower field in two ways: "Detecting" as the float lower
// threshold T2, "Adaboost+Motion" as a signed polarity p (yes when p v < p T1). Every weak
// classifier trained here says yes below its threshold, v < T1, and is stored with T2 = +inf:
// read as a float that is the rule "v < T1 or v >= +inf", and its bits read as an integer are a
// positive polarity, "v < T1" again. So the shipped file decides every window the same way in
// both modes, exactly as it decided in training.
#pragma once

#include <memory>
#include <vector>

#include "learn/cascade_trainer.h"
#include "learn/haar/haar_detector.h"

namespace fw {

std::unique_ptr<TrainingFamily> HaarTrainingFamily();
// The trained cascade's records as the detector file holds them.
std::vector<HaarRecord> HaarRecordsOf(const TrainedCascade& cascade);

// The weak classifier of least weighted error among those that say yes below a threshold: for
// every feature the best prefix of its bins [0, b).
WeakChoice SelectBelowWeak(const BinMatrix& bins, std::span<const Cuts> cuts,
                           std::span<const double> signedWeights, double positiveWeight,
                           int threads);

}  // namespace fw
