// What `detect` writes besides its alarm log: the per-frame scores (--scores), the timeline
// picture (--plot) and the scene mask it applies (--mask), prepared before the run so that a bad
// option ends it before any frame.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/evaluation/run_files.h"
#include "app/evaluation/truth_file.h"
#include "app/scene_mask.h"
#include "cli/args.h"
#include "core/result.h"

namespace fw::cli {

struct RunFiles {
  int mode = 0;
  std::string scores;  // --scores, or empty
  std::string plot;    // --plot, or empty
  std::optional<TruthRow> truth;
  SceneMask mask;
  RunSeries series;
  std::vector<FrameInterval> intervals;

  bool Recording() const { return !scores.empty() || !plot.empty(); }
  // Writes the scores and the picture of the finished run.
  Result Write(const std::string& video) const;
};

// Reads --mask and --truth, checks that --scores and --plot can be written.
Result PrepareRunFiles(const Args& parsed, const std::string& video, RunFiles& files);

// A log path that names the video itself (a --log given by mistake) would append text to it.
Result CheckLogIsNotTheVideo(const std::string& log, const std::string& video);

}  // namespace fw::cli
