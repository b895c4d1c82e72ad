// Per-frame dispatch of the current mode and mode selection. The steps run through the mode
// table's row kept at selection; nothing here looks a mode up by its number.
#pragma once

#include "detect/detection_state.h"

namespace fw {

// Right after the frame was read into the top-left pane: the classical modes, then the sound.
void RunDetectionStep(DetectionState& state);
// After the panes were shown: the engines and classifier modes, then the alarm log.
void RunEngineStep(DetectionState& state);
// After the frame number advanced: the end-of-frame step of the modes that have one.
void RunEndOfFrame(DetectionState& state);
// The shapes the current mode draws over the top-left pane (cleared first).
void FillOverlays(const DetectionState& state, Overlays& overlays);

// Selects a mode as its command does. A menu command for the current mode switches it off
// (mode 0, nothing rebuilt); otherwise the result panes are re-created black in the mode's
// formats (24-bit where it leaves the format alone), as a fresh start shows them, the mode's
// objects are built from the current frame and the mode becomes current. Menu commands clear the
// alarm state (an open interval is not logged); buttons clear the alarm flag and log the open
// interval as ending on the next frame.
void SelectMode(DetectionState& state, const ModeInfo& mode);
// True when this command would switch the current mode off rather than select it.
bool SwitchesOff(const DetectionState& state, const ModeInfo& mode);

// Re-creates an image as a bottom-up image of the frame's size and depth when its format differs.
void EnsureFrameFormat(Dib& image, int width, int height, int bitCount);

}  // namespace fw
