// The block-motion engines' menu modes: "Fuzzy MAT" (7012, inside RunDetectionStep, 16 x 16
// block directions and a 60-of-100 vote), "Losing Frames FWX" (7013, a display of seven-frame
// means), "Engineering FWX" (7014) and "Fuzzy Engineering FWX" (7015) (8 x 8 block matching,
// upward regions and a 70-of-100 vote), and "MSEA FWX (Spring mouth)" (7016, full-search block
// matching and 200-frame motion statistics). 7013 to 7016 run inside RunEngineStep; 7013 and
// 7016 never raise the alarm.
#pragma once

#include <cstddef>

#include "detect/detection_state.h"

namespace fw {

// Selection: a new engine of the mode's kind, initialised from the frame pane.
void BuildFuzzyMatMode(DetectionState& state);
void BuildLosingFramesMode(DetectionState& state);
void BuildEngineeringMode(DetectionState& state);
void BuildFuzzyEngineeringMode(DetectionState& state);
void BuildSpringMouthMode(DetectionState& state);

// The per-frame sequences: 7012 writes the three result panes and the alarm flag; 7013 the three
// result panes and the display dialog's picture; 7014 and 7015 the three result panes and the
// alarm flag; 7016 the three result panes.
void FuzzyMatModeStep(DetectionState& state);
void LosingFramesModeStep(DetectionState& state);
void EngineeringModeStep(DetectionState& state);
void FuzzyEngineeringModeStep(DetectionState& state);
void SpringMouthModeStep(DetectionState& state);

// Outlines over the top-left pane: 7012 changed 16 x 16 blocks in green and blocks with an
// upward dominant direction in red; 7014 the 8 x 8 blocks that moved within a region in green
// and the upward blocks of the dominant-direction regions in red; then the block under the last
// block click in yellow.
void FuzzyMatOverlays(const DetectionState& state, Overlays& overlays);
void EngineeringOverlays(const DetectionState& state, Overlays& overlays);
// A click in 7012 sets the block click point.
void PickEngineBlock(DetectionState& state, int x, int y);

// Bytes a mode allocates at selection and on its first frames for frames of width x height: its
// engine, and the glyph atlas of the pane it writes text into (for 7013 the display dialog's
// picture instead).
size_t FuzzyMatModeBytes(int width, int height);
size_t LosingFramesModeBytes(int width, int height);
size_t EngineeringModeBytes(int width, int height);
size_t FuzzyEngineeringModeBytes(int width, int height);
size_t SpringMouthModeBytes(int width, int height);

}  // namespace fw
