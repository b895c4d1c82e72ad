// Online AdaBoost learning ("Online Adaboost learning", 32795): adapts the Float cascade to the
// scene being watched. Positives are the JPEG pictures of a smoke folder, each taken whole and
// mirrored (P = 2 x the pictures); negatives are every window of the current frame, which is
// taken to be free of smoke (sides 48 and then 24, a quarter side apart); the weak-classifier
// selection re-chooses half of the Float cascade's weak classifiers on these samples and the
// result is written as "OL_Float_RealAdaboost.kdz" in the start directory. The source cascade
// is left as it was, so every run starts from it again.
//
// The run is meant for a worker thread (LearningJob). A stop during loading or selection writes
// nothing; the learned set is then loaded from the file as an earlier run left it, if any.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/result.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/progress.h"
#include "learn/weak_selection.h"
#include "learn/window_features.h"

namespace fw {

inline constexpr char kOnlinePositiveFolder[] = "lib100/smoke";  // below the samples root
inline constexpr char kOnlineNegativeFolder[] = "lib99/non";     // named in the reports only
inline constexpr char kOnlineClassifierFile[] = "OL_Float_RealAdaboost.kdz";
inline constexpr char kNeuralNetFile[] = "NeuralNet.kdz";
inline constexpr float kOnlineStageRatio = 0.58f;

struct OnlineLearningParams {
  std::string positives;     // folder of JPEG smoke pictures
  std::string negativeName;  // recorded in the reports
  SelectionFiles selection;  // the Float cascade whose records are the candidates; the report
  std::string output;        // the learned cascade
};
// The samples root's folders, the shipped Float cascade, the report and the output in the start
// directory.
OnlineLearningParams DefaultOnlineLearning(const std::string& samplesRoot);

// Negative windows of a frame: for side 48 and then 24, y = 0, s/4, ... while y <= H - s and
// x = 0, s/4, ... while x <= W - s.
int CountNegativeWindows(int width, int height);

struct OnlineLearningOutcome {
  Result result;          // a folder, frame or file that could not be used
  bool finished = false;  // false when stopped (nothing written)
  int positives = 0;      // P: twice the readable pictures
  int negatives = 0;      // N
  int selected = 0;
  std::vector<std::string> unreadable;
};

// The whole learning run on a copy of the frame (24-bit).
OnlineLearningOutcome RunOnlineLearning(const Dib& frame, const OnlineLearningParams& params,
                                        const StopFlag& stop, ProgressSink* sink);

// Command 32795's run on its worker thread, one at a time. Its stop flag is the one a switch-off
// of a learning or classifier mode raises (RequestStop) and that the run polls; Start clears it
// first, so that a run after any earlier switch-off learns instead of stopping at once with
// nothing saved.
class OnlineLearningCommand {
 public:
  // Starts learning on a copy of the frame; false (nothing started) while a run is going.
  bool Start(const Dib& frame, OnlineLearningParams params, ProgressSink* sink);
  void RequestStop() { job_.RequestStop(); }
  bool Running() const { return job_.Running(); }
  // Waits for the run and returns its outcome.
  OnlineLearningOutcome Wait();

 private:
  LearningJob job_;
  Dib frame_;
  OnlineLearningParams params_;
  OnlineLearningOutcome outcome_;
};

// The classifier set learning leaves for detection: the learned Float cascade (statistics report
// written, stages rebuilt by growth) at the stage ratio 0.58, compiled for the frame size, and
// the network file "NeuralNet.kdz", which is looked for and reported but not required.
struct OnlineClassifier {
  ClassifierSet model;
  CompiledCascade<WindowFloatFamily> cascade;  // 24 x 24 windows of the frame's planes
  WindowPlanes planes;
  int width = 0;
  int height = 0;
  Result neuralNet;  // Ok when the network file is there and readable, else why not

  // The learned cascade's decisions on the 24 x 24 windows of a frame of the set's size, a
  // quarter side apart; returns how many it accepts (0 for a frame of another size).
  int CountAcceptedWindows(const Dib& frame);
};

// Loads the learned file into a new set for frames of the frame's size.
Result LoadOnlineClassifier(const std::string& path, const Dib& frame, OnlineClassifier& out);

// Whether a network file can be read: present, a regular file, and holding at least the three
// sizes of a network (its layout is the network's loader's).
Result CheckNeuralNetFile(const std::string& path);

}  // namespace fw
