// The flame family's menu modes: "Infrared detection" (7008) on an infrared camera's grey
// picture, and "Four stage flame detection" (7009) on colour video: moving pixels, flame colour,
// oscillation of the red channel over the last 64 frames, and the pixel-count alarm.
#pragma once

#include <cstddef>
#include <span>

#include "detect/detection_state.h"

namespace fw {

// The shape-change method's extra single play of the alarm sound comes at most this often.
inline constexpr int64_t kOneShotInterval = 3500;  // ms
// 7009's flame colour: red above kFlameRedLimit, saturation for that red from kFlameSaturation.
inline constexpr int kFlameRedLimit = 125;
inline constexpr int kFlameSaturation = 60;

// Selection of 7008 (the menu's "Infrared image detection" selects it too): a new ring and vote
// window from the current parameters; the bottom-left pane shows zero pixels in blue.
void BuildInfraredMode(DetectionState& state);
// Per frame: the infrared step into the alarm flag; with the shape-change method an alarm also
// plays the sound once when kOneShotInterval has passed since the last such play.
void InfraredModeStep(DetectionState& state);

// Selection of 7009: a new pixel-mode detector on the frame pane; the display dialog shows its
// background.
void BuildFlameMode(DetectionState& state);
// Per frame: motion against the background (which follows the still parts of the frame), flame
// colour, oscillation, the motion mask in the top-right pane, the flame pixels tinted in the
// bottom-left pane and the alarm flag; the display dialog shows the background.
void FlameModeStep(DetectionState& state);
// After the frame number advanced: the frame moves into the detector's history.
void FlameModeEndOfFrame(DetectionState& state);

// The infrared parameters a user sets (`detect --set`, the set-up dialog): the alarm window in
// seconds (at least 1), stored as frames.
std::span<const ParamField> InfraredFields();

// Bytes each mode allocates at selection and on its first frames for a width x height frame with
// the state's parameters (the infrared ones, and the smoke family's for the four-stage detector).
uint64_t InfraredModeMemory(const DetectionState& state, int width, int height);
uint64_t FlameModeMemory(const DetectionState& state, int width, int height);

}  // namespace fw
