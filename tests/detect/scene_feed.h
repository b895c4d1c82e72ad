// Synthetic scenes for the detector tests: a painter draws frame t into the frame pane, and a run
// selects a mode on frame 0 and takes frames 1..N through the pipeline, recording the alarm flag.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "core/dib.h"
#include "detect/pipeline.h"
#include "tests/support/allocations.h"
#include "tests/support/modes.h"

namespace fw::test {

// Paints frame t (0 is the frame shown at selection) into the frame pane; writes every pixel.
using Painter = std::function<void(Dib&, int)>;

struct SceneRun {
  std::vector<uint8_t> alarm;  // alarm flag after frames 1..N
  std::optional<int> FirstAlarm() const {
    for (size_t i = 0; i < alarm.size(); ++i) {
      if (alarm[i]) return static_cast<int>(i) + 1;
    }
    return std::nullopt;
  }
  int Intervals() const {
    int n = 0;
    for (size_t i = 0; i < alarm.size(); ++i) n += alarm[i] && (i == 0 || !alarm[i - 1]) ? 1 : 0;
    return n;
  }
};

// Frame t of a painted scene, delivered to the pipeline.
class PaintedFeed : public FrameHost {
 public:
  explicit PaintedFeed(Painter paint) : paint_(std::move(paint)) {}
  int t = 0;
  void ReadFrame(DetectionState& state) override {
    paint_(state.panes.topLeft(), t);
    state.frameNumber = t;
  }

 private:
  Painter paint_;
};

// The frame pane of a state as a bottom-up 24-bit picture of frame 0.
inline void PaintFirstFrame(DetectionState& state, int width, int height, const Painter& paint) {
  state.alarmLogEnabled = false;
  Dib& pane = state.panes.topLeft();
  pane.CreateSigned(width, height, 24, false);
  paint(pane, 0);
}

// Runs frames 1..frames of the scene through the state's pipeline; `after` (may be empty) looks
// at the state after each frame.
inline SceneRun RunFrames(DetectionState& state, const Painter& paint, int frames,
                          const std::function<void(const DetectionState&, int)>& after = {}) {
  PaintedFeed feed(paint);
  SceneRun run;
  run.alarm.reserve(frames);
  for (int t = 1; t <= frames; ++t) {
    feed.t = t;
    RunPipeline(state, feed);
    run.alarm.push_back(state.alarmFlag);
    if (after) after(state, t);
  }
  return run;
}

// Selects the mode on frame 0 of a fresh state and runs frames 1..N; with
// allocationsAfterFirstFrame, counts the allocations of frames 2..N.
inline SceneRun RunScene(ModeId mode, int frames, int width, int height, const Painter& paint,
                         long* allocationsAfterFirstFrame = nullptr) {
  DetectionState state;
  PaintFirstFrame(state, width, height, paint);
  EXPECT_TRUE(SelectMode(state, mode));
  PaintedFeed feed(paint);
  SceneRun run;
  run.alarm.reserve(frames);
  for (int t = 1; t <= frames; ++t) {
    if (t == 2 && allocationsAfterFirstFrame) StartCountingAllocations();
    feed.t = t;
    RunPipeline(state, feed);
    run.alarm.push_back(state.alarmFlag);
  }
  if (allocationsAfterFirstFrame) *allocationsAfterFirstFrame = StopCountingAllocations();
  return run;
}

}  // namespace fw::test
