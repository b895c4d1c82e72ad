// The background-model modes as the mode table sees them: what selecting 1, 2, 257, 258, 260,
// 264, 7001, 7002 or 7004 builds, each mode's per-frame step, the post step of the pipeline, the
// settings that the control bar and the control panel change, and the family's parameters.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "detect/detection_state.h"

namespace fw {

class BackgroundModel;

// Builds a model on the frame pane (24-bit) with the display pane as its display.
using ModelMaker = std::function<std::unique_ptr<BackgroundModel>(Dib& frame, Dib& display)>;
// Replaces the background model by the one `make` builds; the new model takes the Gauss
// threshold, the display choice and the post-processing option, and remembers the current mode.
// A frame that is not 24-bit, or too large for memory, is reported and leaves no model (null).
BackgroundModel* ReplaceBackgroundModel(DetectionState& state, const ModelMaker& make);
// The background model when the frame still has the size of selection, else null; a frame of
// another size is reported once per model.
BackgroundModel* FittingBackgroundModel(DetectionState& state);

// Selection. Each destroys the existing background model and builds a new one on the frame pane
// with the bottom-left pane as its display (the pane formats are already set); the model takes
// the Gauss threshold, the display choice and the post-processing option. A frame that is not
// 24-bit, or too large for memory, is reported and leaves no model (the mode then does nothing).
// Modes 1 and 2: the history starts as copies of the frame and the first difference is computed.
void BuildBackwardMode(DetectionState& state);
void BuildCentreMode(DetectionState& state);
void BuildMixtureMode(DetectionState& state);
void BuildGaussMode(DetectionState& state);
// Also sets the probability threshold from the Gauss threshold (0.9 when that is 1 or more).
void BuildDensityMode(DetectionState& state);
// Also fixes the clustering seed when the parameters give one.
void BuildMixture2Mode(DetectionState& state);
// The top-right pane becomes the frame with its float copy (the fixed background) and the
// previous frame a copy of it; the step runs once.
void BuildTimeBackgroundMode(DetectionState& state);
// The grey work, previous-frame and model background images become 8-bit; the previous frame and
// the background start as the median-filtered grey frame, which the top-right pane shows.
void BuildSimpleBackgroundMode(DetectionState& state);
// The frame pane is denoised (median, then smoothing); the top-right pane becomes a copy of it
// with its float copy (the fixed background), the previous frame another copy.
void BuildAccurateBackgroundMode(DetectionState& state);

// Per-frame steps inside RunDetectionStep. Each does nothing when no model exists or the frame no
// longer has the size of selection.
void BackwardModeStep(DetectionState& state);
void CentreModeStep(DetectionState& state);
void MixtureModeStep(DetectionState& state);
// Clears the model-display flag while the single Gaussian is still learning.
void GaussModeStep(DetectionState& state);
void DensityModeStep(DetectionState& state);
void Mixture2ModeStep(DetectionState& state);
void TimeBackgroundModeStep(DetectionState& state);
void SimpleBackgroundModeStep(DetectionState& state);
void AccurateBackgroundModeStep(DetectionState& state);

// Pipeline step after the top-left analysis: the model's post step, when a model exists
// (whichever mode is current).
void ModelPostStep(DetectionState& state);

// --- settings ---
// "Threshold:" edit losing the focus: with a model, the kernel index becomes the threshold
// limited to 0..127 (the kernel table's rows).
void CommitDifferenceThreshold(DetectionState& state, int threshold);
// Gauss "Threshold" edit losing the focus: with a model, the single-Gaussian threshold and the
// probability threshold (the value when below 1, else 0.9).
void CommitGaussThreshold(DetectionState& state, float threshold);
// "Foreground" (kDisplayForeground) or "Background" (kDisplayBackground); other values are
// ignored.
void SetDisplayChoice(DetectionState& state, int choice);
void SetPostProcessing(DetectionState& state, bool on);
void SetColourTrim(DetectionState& state, bool on);
void SetColourTesting(DetectionState& state, bool on);

// --- memory estimates (bytes) of each mode's model and work images for width x height frames ---
// 1 and 2: the frame-difference mask.
uint64_t DifferenceModeMemory(const DetectionState& state, int width, int height);
uint64_t MixtureModeMemory(const DetectionState& state, int width, int height);
uint64_t GaussModeMemory(const DetectionState& state, int width, int height);
uint64_t DensityModeMemory(const DetectionState& state, int width, int height);
uint64_t Mixture2ModeMemory(const DetectionState& state, int width, int height);
// 7001 and 7004: three maps and the fixed background's float copy.
uint64_t TimeBackgroundModeMemory(const DetectionState& state, int width, int height);
uint64_t SimpleBackgroundModeMemory(const DetectionState& state, int width, int height);

// The fields of BackgroundParams that a user sets (`detect --set`).
std::span<const ParamField> BackgroundFields();

}  // namespace fw
