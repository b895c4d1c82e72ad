// The Haar detector's menu modes of the "Adaboost" submenu.
//
// "Detecting" (7017), per frame: scan (the file's lower field read as the float threshold T2);
// the current planes go into the three-frame ring; the change of every 8 x 8 block against the
// previous frame's planes over a copy of the frame in the bottom-left pane; every rectangle
// confirmed by at least two changed blocks raises the persistence of the blocks whose centre it
// holds, shown in the bottom-right pane; the frame with the rectangles (confirmed red, others
// green) in the top-right pane. It never raises the alarm.
//
// "Adaboost+Motion" (7019) joins the detector to the engineering smoke engine of "Engineering
// FWX" (7014): the detector finds where smoke looks like smoke, the engine whether it rises.
// Selection builds the detector (the lower field read as a signed polarity) and a new smoke
// engine initialised as for 7014 (8 x 8 blocks, a black first reference frame). Per frame:
//   1. scan;
//   2. the engine's block motion against the previous frame;
//   3. persistence of the 8 x 8 blocks (the engine's blocks) over every rectangle, unconfirmed;
//   4. the engine's regions of moving blocks (at least 2), their tracks and colour test (the
//      colour test picture in the top-right pane);
//   5. hand-over: a block of a region whose persistence is 0 (no rectangle held it on this
//      frame or the one before) is taken out of its region (label 253), so that only motion
//      where the detector sees smoke enters the direction histograms;
//   6. the frame with every rectangle in red in the bottom-left pane;
//   7. the engine's closing steps as in 7014: direction histograms, dominant directions, regions
//      of dominant blocks (at least 3), the alarm decision (70 flagged frames of the last 100),
//      the dominant directions in the bottom-right pane, and the frame becoming the previous one.
// The alarm is the engine's, so the earliest alarm is that of 7014: no sooner than the 98th
// frame after selection.
#pragma once

#include <cstdint>

#include "detect/detection_state.h"

namespace fw {

void BuildDetectingMode(DetectionState& state);
void DetectingModeStep(DetectionState& state);
void BuildAdaboostMotionMode(DetectionState& state);
void AdaboostMotionModeStep(DetectionState& state);

// The label a region block without the detector's evidence gets in the engine's label map.
inline constexpr uint8_t kNoDetectorEvidence = 253;

// Bytes a selection and its frames allocate for frames of width x height with the detector file
// that selection would load (the engine too for 7019).
uint64_t DetectingModeMemory(const DetectionState& state, int width, int height);
uint64_t AdaboostMotionModeMemory(const DetectionState& state, int width, int height);

}  // namespace fw
