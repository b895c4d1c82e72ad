// What one run of a mode over a clip leaves behind, and reading it back: the per-frame scores
// (frame, time, alarm flag, the mode's evidence) and the alarm log's intervals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/evaluation/scoring.h"
#include "core/result.h"
#include "detect/detection_state.h"

namespace fw {

// The per-frame record of a run. Reserve before the frames run: Record then allocates nothing.
struct RunSeries {
  double fps = 0.0;
  std::vector<uint8_t> alarm;
  std::vector<double> evidence;  // NaN where the mode has no value
  bool hasEvidence = false;      // some frame had a value

  void Reserve(int frames);
  // After each frame: the alarm flag and the current mode's evidence.
  void Record(const DetectionState& state);
  int Frames() const { return static_cast<int>(alarm.size()); }
};

// "frame,time_s,alarm,evidence", then one row per frame; the evidence is empty where the mode
// has none. Written under a temporary name and renamed when complete.
Result WriteScoresCsv(const RunSeries& series, const std::string& path);
// Reads such a file; the message names the file and the line of a bad row.
Result ReadScoresCsv(const std::string& path, RunSeries& series);

// The intervals of an alarm log ("Fire alarm at frame # S to E. " lines), in file order; a
// missing log is a run without alarms. A line of another form fails, naming the file and the line.
Result ReadAlarmLog(const std::string& path, std::vector<FrameInterval>& intervals);

// Writes text as the whole file, under a temporary name renamed when complete.
Result WriteWholeFile(const std::string& path, const std::string& text);

}  // namespace fw
