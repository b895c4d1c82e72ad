#include "app/evaluation/scoring.h"

#include <algorithm>

namespace fw {

ClipScore ScoreRun(const std::vector<FrameInterval>& intervals, const TruthRow& truth, double fps) {
  ClipScore score;
  score.event = truth.HasEvent();
  if (!score.event) {
    score.falseAlarms = static_cast<int>(intervals.size());
    return score;
  }
  const bool hasEnd = truth.end >= 0;
  for (const FrameInterval& interval : intervals) {
    const bool beforeOnset = interval.end - 1 < truth.onset;
    const bool afterEnd = hasEnd && interval.start > truth.end;
    if (beforeOnset || afterEnd) {
      ++score.falseAlarms;
      continue;
    }
    if (!score.detected) {
      score.detected = true;
      score.delayFrames = std::max(interval.start, truth.onset) - truth.onset;
    }
  }
  if (score.detected && fps > 0.0) score.delaySeconds = score.delayFrames / fps;
  return score;
}

ModeSummary Summarise(const std::vector<RunScore>& runs) {
  ModeSummary summary;
  double delaySeconds = 0.0;
  double delayFrames = 0.0;
  double seconds = 0.0;
  bool timed = false;
  for (const RunScore& run : runs) {
    ++summary.clips;
    summary.falseAlarms += run.score.falseAlarms;
    if (run.fps > 0.0) {
      seconds += run.frames / run.fps;
      timed = true;
    }
    if (!run.score.event) continue;
    ++summary.eventClips;
    if (!run.score.detected) continue;
    ++summary.detected;
    delaySeconds += run.score.delaySeconds;
    delayFrames += run.score.delayFrames;
    summary.worstDelayFrames = std::max(summary.worstDelayFrames, run.score.delayFrames);
    summary.worstDelaySeconds =
        std::max(summary.worstDelaySeconds.value_or(0.0), run.score.delaySeconds);
  }
  if (summary.detected > 0) {
    summary.meanDelaySeconds = delaySeconds / summary.detected;
    summary.meanDelayFrames = delayFrames / summary.detected;
  }
  summary.hours = seconds / 3600.0;
  if (timed && seconds > 0.0) summary.falseAlarmsPerHour = summary.falseAlarms / summary.hours;
  return summary;
}

}  // namespace fw
