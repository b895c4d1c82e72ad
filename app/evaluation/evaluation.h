// The evaluation engine shared by `fumewatch-cli eval` and the desktop's "Evaluate..." dialog:
// runs each mode over each clip, each run in a process of its own (the command-line tool's
// `detect` with its log and its per-frame scores sent to the output folder, never beside the
// clip), up to `jobs` at once, and scores the logs against the truth.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "app/evaluation/run_files.h"
#include "app/evaluation/scoring.h"
#include "app/evaluation/truth_file.h"

namespace fw {

struct EvaluationRequest {
  std::vector<std::string> clips;
  std::vector<int> modes;
  std::vector<TruthRow> truth;
  std::string outDir;  // must exist; logs <clip>.<mode>.txt and scores <clip>.<mode>.csv
  std::string mask;    // a scene mask picture for every run, or empty
  int jobs = 1;
  std::string worker;  // the fumewatch-cli program
};

struct RunOutcome {
  int mode = 0;
  std::string clip;  // as given
  std::string name;  // its file name
  TruthRow truth;
  bool ok = false;
  std::string error;  // why the run has no result
  RunSeries series;
  std::vector<FrameInterval> intervals;
  ClipScore score;
};

struct ModeResult {
  int mode = 0;
  ModeSummary summary;
  int failed = 0;  // runs of the mode without a result
};

struct EvaluationReport {
  std::vector<RunOutcome> runs;  // mode by mode, the clips in the order given
  std::vector<ModeResult> modes;
  bool stopped = false;  // the stop flag ended the runs early
};

// done of total runs finished; `run` is the one that just finished.
using EvaluationProgress = std::function<void(int done, int total, const RunOutcome& run)>;

// The base name of the log and scores files of a run in the output folder.
std::string RunFileStem(const std::string& outDir, const std::string& clipName, int mode);

// Runs every (mode, clip) pair. A clip that cannot be read, has no truth row, or whose run fails
// gives runs with their error; the other runs go on. Setting `stop` ends the running processes
// and returns what finished.
EvaluationReport RunEvaluation(const EvaluationRequest& request,
                               const EvaluationProgress& progress = {},
                               const std::atomic<bool>* stop = nullptr);

// The per-mode summaries of the runs with results.
void SummariseModes(EvaluationReport& report, const std::vector<int>& modes);

}  // namespace fw
