// The timeline picture of runs: one row per run (a mode over a clip), frames from left to right,
// with the mode's evidence as a curve (scaled to the row's largest value), the alarm intervals as
// red bars under it, the truth's onset as a green line and its end frame as a dark green line.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "app/evaluation/run_files.h"
#include "core/dib.h"

namespace fw {

struct TimelineRow {
  std::string label;  // "fire.avi 7010 Fumewatch"
  int frames = 0;
  const RunSeries* series = nullptr;  // the evidence curve; null or without evidence: none
  std::vector<FrameInterval> intervals;
  int onset = -1;  // -1: none
  int end = -1;
  std::string error;  // a run that failed shows this instead
};

inline constexpr int kTimelineWidth = 960;
inline constexpr int kTimelineRowHeight = 84;

// Draws the rows into a 24-bit picture kTimelineWidth wide, kTimelineRowHeight per row. Each row
// spans its own run's frames from the left edge to the right.
void DrawTimeline(Dib& image, std::span<const TimelineRow> rows);

}  // namespace fw
