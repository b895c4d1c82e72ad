// Evaluation of a cascade over folders of sample pictures: every picture is brought to the
// flavour's window with the run's crop, the values of the cascade's weak records are stored,
// and the cascade decides every sample at the flavour's own stage thresholds or, as an ROC
// sweep, at every common stage ratio 1.00, 0.99, ... 0.00. The EOH evaluation run (the
// "Training" command) is this over two sample folders with the EOH cascade, crop 8, the default
// split of 200 records, and the report "EOH_Hist_ROC.txt".
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/result.h"
#include "learn/classifier_set.h"
#include "learn/progress.h"
#include "learn/sample_set.h"

namespace fw {

// The picture files of a folder, sorted by name: extensions jpg and jpeg (any case), and bmp and
// png when `allPictures` is set.
Result ListPictures(const std::string& folder, bool allPictures, std::vector<std::string>& files);

struct SampleFolders {
  std::string positives;
  std::string negatives;
};

struct LoadedSamples {
  Result result;                        // a folder that could not be listed
  bool finished = false;                // false when stopped
  std::vector<std::string> unreadable;  // pictures that could not be read, or gave no window
};

// Counts the pictures, prepares the set for the cascade's records, and adds every positive
// (label 1), then every negative (label 0), with the crop type. Unreadable pictures keep no
// sample: the set is then compacted to the pictures that were read.
LoadedSamples LoadSampleFolders(const SampleFolders& folders, bool allPictures, int cropType,
                                const ClassifierSet& model, SampleSet& set, const StopFlag& stop,
                                ProgressReporter& progress);

struct RocPoint {
  float ratio = 0.0f;
  int falseAlarms = 0;  // accepted negatives
  int detected = 0;     // accepted positives
};

// Every sample decided by the model's stages (which use the first values of each sample) at the
// stage thresholds the flavour's mode uses.
RocPoint EvaluateAtModeThresholds(const SampleSet& set, const ClassifierSet& model);

// The sweep: one point per ratio r = 1.0, 0.99, ... (single precision, decreasing by 0.01 while
// r >= 0), every stage at ratio r; `onPoint` sees each point as it is counted. Stops early
// (fewer points) when the stop flag is set.
std::vector<RocPoint> SweepRatios(const SampleSet& set, const ClassifierSet& model,
                                  const StopFlag& stop, ProgressReporter& progress,
                                  const std::function<void(const RocPoint&)>& onPoint = {});

// The report line of one point: "阈值：%9f，误报负样本数：%5d，..." without the line end.
std::string RocLine(const RocPoint& point, int positives, int negatives);

// --- the EOH evaluation run of the "Training" command ---

inline constexpr char kEohPositiveFolder[] = "Mysmoke/white";  // below the samples root
inline constexpr char kEohNegativeFolder[] = "lib302/forest";
inline constexpr char kEohRocReportFile[] = "EOH_Hist_ROC.txt";

struct EohEvaluationParams {
  SampleFolders folders;
  std::string classifier;  // "EOH_RealAdaboost.kdz"
  std::string report;      // "EOH_Hist_ROC.txt" in the start directory
};
// The samples root's folders, the shipped EOH cascade and the report in the start directory.
EohEvaluationParams DefaultEohEvaluation(const std::string& samplesRoot);

struct EohEvaluationOutcome {
  Result result;
  bool finished = false;
  std::vector<RocPoint> points;
  std::vector<std::string> unreadable;
  int positives = 0;
  int negatives = 0;
};

// The whole run; meant for a LearningJob. A cascade with fewer than 200 weak records in its
// stages, or empty folders, are refused with a message naming the file or folder.
EohEvaluationOutcome RunEohEvaluation(const EohEvaluationParams& params, const StopFlag& stop,
                                      ProgressSink* sink);

}  // namespace fw
