// The weak-classifier selection of online learning: AdaBoost over the weak records of an
// existing Float cascade, on a sample set of the centred pool, choosing and re-weighting half of
// them ("正在选择50%弱分类器"), with its progress texts and the "DetailedFeatures.txt" report.
#pragma once

#include <string>

#include "core/result.h"
#include "learn/classifier_set.h"
#include "learn/progress.h"
#include "learn/sample_set.h"

namespace fw {

inline constexpr char kSelectionReportFile[] = "DetailedFeatures.txt";

struct SelectionFiles {
  std::string candidates;  // the Float cascade whose records are the candidates
  std::string report;      // "DetailedFeatures.txt"
};
// "Float_RealAdaboost.kdz" (looked up as a file that comes with the system) and the report in
// the start directory.
SelectionFiles DefaultSelectionFiles();

struct SelectionOutcome {
  Result result;          // a candidate file or report that could not be used
  bool finished = false;  // false when the stop flag ended the run
  int selected = 0;
  double errorBound = 1.0;
};

// Selects max(T / 2, 1) weak classifiers (T the candidates' first stage size) into stage
// `stage` of the model, after the records of the stages before it. Candidates whose feature is
// not in the sample set's table are skipped. The sample set must use the centred pool.
SelectionOutcome SelectWeakClassifiers(SampleSet& set, ClassifierSet& model, int stage,
                                       const SelectionFiles& files, const StopFlag& stop,
                                       ProgressReporter& progress);

}  // namespace fw
