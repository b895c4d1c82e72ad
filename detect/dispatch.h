// Per-frame dispatch of the current mode and mode selection.
#pragma once

#include "detect/detection_state.h"

namespace fw {

// Right after the frame was read into the top-left pane: the classical modes, then the sound.
void RunDetectionStep(DetectionState& state);
// After the panes were shown: the engines and classifier modes, then the alarm log.
void RunEngineStep(DetectionState& state);
// After the frame number advanced: the end-of-frame step of the modes that have one.
void RunEndOfFrame(DetectionState& state);

// Selects a mode as its command does. A menu command for the current mode switches it off
// (mode 0, nothing rebuilt); otherwise the result panes get their formats, the mode's objects are
// built from the current frame and the mode becomes current. Menu commands clear the alarm state.
// Returns false for an unknown mode number (nothing changes).
bool SelectMode(DetectionState& state, int mode);

// Re-creates an image as a bottom-up image of the frame's size and depth when its format differs.
void EnsureFrameFormat(Dib& image, int width, int height, int bitCount);

}  // namespace fw
