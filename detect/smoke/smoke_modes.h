// The smoke detector's two menu modes: "Fumewatch" (7010) decides smoke per pixel, and
// "Fumewatch(Block)" (7011) per 16 x 16 block with a vote over the last 125 frames. The family's
// detector also serves the four-stage flame mode (7009): one object, rebuilt by the selection of
// any of the three.
#pragma once

#include <cstdint>
#include <span>

#include "detect/detection_state.h"

namespace fw {

// The block mode raises the alarm when at least this many of the last 125 frames were flagged.
inline constexpr int kFrameFlagVotes = 37;

// A new detector on the frame pane with the family's parameters, in pixel or block form.
SmokeFlameDetector& NewSmokeDetector(DetectionState& state, bool blockMode);
// The detector when it can work on the current frame in this form. A detector built on another
// frame size, on no colour frame at all or for the other form is reported once, clears the alarm
// and is left alone until a mode is selected again (null).
SmokeFlameDetector* UsableSmokeDetector(DetectionState& state, bool blockMode);

// Selection: a new detector on the frame pane. 7010 shows its background in the display dialog;
// 7011 also clears the frame-flag ring and the alarm flag.
void BuildSmokeMode(DetectionState& state);
void BuildBlockSmokeMode(DetectionState& state);

// Per-frame work inside RunDetectionStep: motion, grey colour and flicker into the alarm flag
// (7010); block motion, spread and edge loss into the frame flag and its vote (7011).
void SmokeModeStep(DetectionState& state);
void BlockSmokeModeStep(DetectionState& state);

// After the frame number advanced: the frame moves into the detector's history.
void SmokeModeEndOfFrame(DetectionState& state);
void BlockSmokeModeEndOfFrame(DetectionState& state);

// The block mode's outlines over the top-left pane: blocks with motion in green, smoke blocks in
// red, the block whose edge strengths the bottom-left pane plots in yellow.
void BlockSmokeOverlays(const DetectionState& state, Overlays& overlays);
// A click in the block mode chooses the block under the picture point.
void PickSmokeBlock(DetectionState& state, int x, int y);

// Live video: while the session is online the detector reads the capture frame's luminance
// plane; once it is offline again, the colour frames. Selection and every frame call it.
void FollowLiveSource(DetectionState& state, SmokeFlameDetector& detector);

// Writes this frame's flag into the frame-flag ring; the alarm flag becomes 1 when at least
// kFrameFlagVotes of the ring's flags are set, else 0.
void VoteFrameFlag(DetectionState& state, uint8_t flag);

// Memory estimates (bytes) of the detector for width x height frames with the state's parameters:
// the pixel mode's frame ring, background, masks and flicker history (and the display dialog's
// copy of the background); the block mode's background, previous frame and edge maps.
uint64_t SmokeModeMemory(const DetectionState& state, int width, int height);
uint64_t BlockSmokeModeMemory(const DetectionState& state, int width, int height);

// The fields of SmokeFlameParams that a user sets (`detect --set`); a new detector takes them.
std::span<const ParamField> SmokeFields();

}  // namespace fw
