// The motion-feature modes: each frame's difference to the previous frame becomes a cleaned motion
// mask and simple measures of the motion. "Differ [Single Gauss (grad)]" (7005) plots a moment of
// the masked difference over time, "High order moment" (7006) shows the motion mask, and "Frame
// difference accumulation" (7007) sums the masks of the last 255 frames into the display dialog's
// picture and raises the alarm when a bright accumulated area persists.
#pragma once

#include <cstddef>

#include "detect/detection_state.h"

namespace fw {

// Selection. Each replaces the background model by one holding the motion masks (the bottom-left
// pane is its display) and gives the previous-frame image the frame's format. 7005 and 7006 put
// the difference to the previous-frame image into the top-right pane and count its motion
// pixels, then take the frame as the previous one; 7006 also draws the region analysis of the
// mask into the bottom-right pane and makes the display dialog's picture 320 x 240 x 24. 7007
// takes the frame as the previous one, builds the 255-frame ring and gives the display dialog an
// empty 8-bit picture of the frame's size.
void BuildGaussGradMode(DetectionState& state);
void BuildHighOrderMomentMode(DetectionState& state);
void BuildDifferenceAccumulationMode(DetectionState& state);

// Per frame: top-right pane = |frame - previous frame| per byte; the frame pane and the
// previous-frame image exchange pixels; the motion mask from the top-right pane with the
// threshold's low byte. Then 7005 plots the moment into the bottom-right pane, and 7007
// accumulates the mask, sets the motion energy and the alarm flag.
void GaussGradModeStep(DetectionState& state);
void HighOrderMomentModeStep(DetectionState& state);
void DifferenceAccumulationModeStep(DetectionState& state);

// Bytes each mode allocates at selection and on its first frames for a width x height frame.
size_t GaussGradModeBytes(int width, int height);
size_t HighOrderMomentModeBytes(int width, int height);
size_t DifferenceAccumulationModeBytes(int width, int height);

}  // namespace fw
