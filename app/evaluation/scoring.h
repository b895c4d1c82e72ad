// Scoring one run of a mode over a clip against the clip's truth, and the summary of a mode over
// all its clips.
#pragma once

#include <optional>
#include <vector>

#include "app/evaluation/truth_file.h"

namespace fw {

// Frames start..end-1 were in alarm (end is the first frame after it), as the alarm log says.
struct FrameInterval {
  int start = 0;
  int end = 0;
  bool operator==(const FrameInterval&) const = default;
};

struct ClipScore {
  bool event = false;     // the truth has smoke or fire in this clip
  bool detected = false;  // an alarm frame at or after the onset (and, with an end frame given,
                          // not after it)
  int delayFrames = 0;    // onset to the first such frame; 0 when the alarm is on at the onset
  double delaySeconds = 0.0;
  int falseAlarms = 0;  // intervals the truth does not explain
};

// Without an event every interval is a false alarm. With one, an interval is a false alarm when
// its last alarm frame (end - 1) lies before the onset, or when it starts after the truth's end
// frame; an interval that starts after the end frame never counts as the detection. `fps` turns
// the delay into seconds (0 leaves the seconds 0).
ClipScore ScoreRun(const std::vector<FrameInterval>& intervals, const TruthRow& truth, double fps);

struct RunScore {
  int frames = 0;
  double fps = 0.0;
  ClipScore score;
};

struct ModeSummary {
  int clips = 0;       // clips that ran
  int eventClips = 0;  // of them, clips with an event
  int detected = 0;
  std::optional<double> meanDelaySeconds;  // over the detected clips
  std::optional<double> worstDelaySeconds;
  std::optional<double> meanDelayFrames;
  int worstDelayFrames = 0;
  int falseAlarms = 0;
  double hours = 0.0;                        // video the mode ran over
  std::optional<double> falseAlarmsPerHour;  // none when no video with a frame rate ran
};

ModeSummary Summarise(const std::vector<RunScore>& runs);

}  // namespace fw
