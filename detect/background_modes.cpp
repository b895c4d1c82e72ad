#include "detect/background_modes.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "core/colour.h"
#include "core/ui_sink.h"
#include "detect/background_model.h"
#include "detect/dispatch.h"

namespace fw {

namespace {

constexpr const char* kCaption = "Fumewatch";

// Replaces the background model by a new one of this kind on the frame pane.
BackgroundModel* NewModel(DetectionState& state, BackgroundKind kind) {
  state.backgroundModel.reset();
  Dib& frame = state.panes.topLeft();
  if (frame.GetBitCount() != 24) {
    CurrentUiSink().Message("The background models need a 24-bit colour frame; this one has " +
                                std::to_string(frame.GetBitCount()) + " bits per pixel.",
                            kCaption, MessageButtons::Ok);
    return nullptr;
  }
  try {
    state.backgroundModel =
        std::make_unique<BackgroundModel>(kind, frame, state.panes.bottomLeft());
  } catch (const std::bad_alloc&) {
    CurrentUiSink().Message("Not enough memory for a background model of a " +
                                std::to_string(frame.Width()) + " x " +
                                std::to_string(frame.Height()) + " frame.",
                            kCaption, MessageButtons::Ok);
    return nullptr;
  }
  BackgroundModel& model = *state.backgroundModel;
  model.SetThreshold(state.gaussThreshold);
  model.SetDisplayMode(state.displayChoice);
  model.SetPostProcessing(state.backgroundParams.postProcessing);
  return &model;
}

// The model when it is of this kind and the frame still has the size of selection. A frame of
// another size is reported once per model and left alone.
BackgroundModel* ModelOf(DetectionState& state, BackgroundKind kind) {
  BackgroundModel* model = state.backgroundModel.get();
  if (!model || model->Kind() != kind) return nullptr;
  if (model->FrameFits()) return model;
  if (!model->SizeReported()) {
    const Dib& frame = state.panes.topLeft();
    CurrentUiSink().Message(
        "The frame is " + std::to_string(frame.Width()) + " x " + std::to_string(frame.Height()) +
            " but the background model was built for " + std::to_string(model->Width()) + " x " +
            std::to_string(model->Height()) + "; select the mode again.",
        kCaption, MessageButtons::Ok);
    model->SetSizeReported();
  }
  return nullptr;
}

bool Fits(const Dib& image, const BackgroundModel& model, int bitCount) {
  return image.GetBitCount() == bitCount && image.Width() == model.Width() &&
         image.Height() == model.Height();
}

// A history image of the frame's size and depth holding a copy of `picture`.
void StartHistory(Dib& history, const Dib& picture) {
  EnsureFrameFormat(history, picture.Width(), picture.Height(), picture.GetBitCount());
  history.CopyFrom(picture, true);
}

// The difference modes write the top-right pane whatever its depth (8 or 24 bits); it must have
// the frame's size.
void PrepareDifferencePane(Dib& topRight, const Dib& frame) {
  const int bits = topRight.GetBitCount();
  if (topRight.Width() != frame.Width() || topRight.Height() != frame.Height() ||
      (bits != 8 && bits != 24)) {
    EnsureFrameFormat(topRight, frame.Width(), frame.Height(), 24);
  }
}

void BuildDifference(DetectionState& state, int mode) {
  BackgroundModel* model = NewModel(state, BackgroundKind::Difference);
  if (!model) return;
  Dib& frame = state.panes.topLeft();
  PrepareDifferencePane(state.panes.topRight(), frame);
  model->SetModelImage(&state.panes.topRight());
  StartHistory(state.previousFrame, frame);
  StartHistory(state.greyWork, frame);
  model->DifferenceStep(mode, state.threshold, state.previousFrame, state.greyWork);
}

void DifferenceModeStep(DetectionState& state, int mode) {
  BackgroundModel* model = ModelOf(state, BackgroundKind::Difference);
  if (model) model->DifferenceStep(mode, state.threshold, state.previousFrame, state.greyWork);
}

// A background image: a copy of the frame with its float copy.
void StartBackgroundImage(Dib& image, const Dib& frame) {
  EnsureFrameFormat(image, frame.Width(), frame.Height(), 24);
  image.CopyFrom(frame, true);
  image.MakeFloatCopy();
}

}  // namespace

// --- selection -----------------------------------------------------------------------------------

void BuildBackwardMode(DetectionState& state) {
  BuildDifference(state, 1);
}

void BuildCentreMode(DetectionState& state) {
  BuildDifference(state, 2);
}

void BuildMixtureMode(DetectionState& state) {
  NewModel(state, BackgroundKind::Mixture);
}

void BuildGaussMode(DetectionState& state) {
  NewModel(state, BackgroundKind::Gauss);
}

void BuildDensityMode(DetectionState& state) {
  if (!NewModel(state, BackgroundKind::Density)) return;
  const float t = state.gaussThreshold;
  state.backgroundParams.probabilityThreshold = t < 1.0f ? t : 0.9f;
}

void BuildMixture2Mode(DetectionState& state) {
  NewModel(state, BackgroundKind::Mixture2);
}

void BuildTimeBackgroundMode(DetectionState& state) {
  BackgroundModel* model = NewModel(state, BackgroundKind::TimeBackground);
  if (!model) return;
  Dib& frame = state.panes.topLeft();
  StartBackgroundImage(state.panes.topRight(), frame);
  model->SetModelImage(&state.panes.topRight());
  StartHistory(state.previousFrame, frame);
  model->TimeBackgroundStep(state.previousFrame, state.backgroundParams);
}

void BuildSimpleBackgroundMode(DetectionState& state) {
  BackgroundModel* model = NewModel(state, BackgroundKind::SimpleBackground);
  if (!model) return;
  const Dib& frame = state.panes.topLeft();
  const int w = frame.Width();
  const int h = frame.Height();
  Dib& topRight = state.panes.topRight();
  EnsureFrameFormat(state.greyWork, w, h, 8);
  EnsureFrameFormat(topRight, w, h, 8);
  ToGray(frame, state.greyWork);
  // The median leaves the border alone: there the grey frame shows through.
  topRight.CopyFrom(state.greyWork, true);
  Median3x3(state.greyWork, topRight);
  StartHistory(state.previousFrame, topRight);
  StartHistory(state.modelBackground, topRight);
  model->SetModelImage(&state.modelBackground);
}

void BuildAccurateBackgroundMode(DetectionState& state) {
  BackgroundModel* model = NewModel(state, BackgroundKind::AccurateBackground);
  if (!model) return;
  Dib& frame = state.panes.topLeft();
  StartHistory(state.greyWork, frame);
  Median3x3(frame, state.greyWork);
  Smooth3x3(state.greyWork, frame);
  StartBackgroundImage(state.panes.topRight(), frame);
  model->SetModelImage(&state.panes.topRight());
  StartHistory(state.previousFrame, frame);
}

// --- per-frame steps -----------------------------------------------------------------------------

void BackwardModeStep(DetectionState& state) {
  DifferenceModeStep(state, 1);
}

void CentreModeStep(DetectionState& state) {
  DifferenceModeStep(state, 2);
}

void MixtureModeStep(DetectionState& state) {
  if (BackgroundModel* model = ModelOf(state, BackgroundKind::Mixture)) model->MixtureStep();
}

void GaussModeStep(DetectionState& state) {
  BackgroundModel* model = ModelOf(state, BackgroundKind::Gauss);
  if (!model) return;
  model->GaussStep();
  // Nothing is shown until the first frame has been tested.
  if (model->GaussLearningCount() <= kLearningFrames) state.modelDisplayFlag = 0;
}

void DensityModeStep(DetectionState& state) {
  if (BackgroundModel* model = ModelOf(state, BackgroundKind::Density)) {
    model->DensityStep(state.backgroundParams);
  }
}

void Mixture2ModeStep(DetectionState& state) {
  if (BackgroundModel* model = ModelOf(state, BackgroundKind::Mixture2)) model->Mixture2Step();
}

void TimeBackgroundModeStep(DetectionState& state) {
  BackgroundModel* model = ModelOf(state, BackgroundKind::TimeBackground);
  if (!model || !Fits(state.previousFrame, *model, 24)) return;
  model->TimeBackgroundStep(state.previousFrame, state.backgroundParams);
  state.previousFrame.SwapPixels(state.panes.topLeft());
}

void SimpleBackgroundModeStep(DetectionState& state) {
  BackgroundModel* model = ModelOf(state, BackgroundKind::SimpleBackground);
  Dib& topRight = state.panes.topRight();
  if (!model || !Fits(state.greyWork, *model, 8) || !Fits(state.previousFrame, *model, 8) ||
      !Fits(topRight, *model, 8)) {
    return;
  }
  ToGray(state.panes.topLeft(), state.greyWork);
  Median3x3(state.greyWork, topRight);
  model->SimpleBackgroundStep(topRight, state.previousFrame);
  state.previousFrame.SwapPixels(topRight);
  // Region analysis: the model's mask is handed to the region pipeline here.
  state.regionFlag = 1;
}

void AccurateBackgroundModeStep(DetectionState& state) {
  BackgroundModel* model = ModelOf(state, BackgroundKind::AccurateBackground);
  if (!model || !Fits(state.greyWork, *model, 24) || !Fits(state.previousFrame, *model, 24)) {
    return;
  }
  Dib& frame = state.panes.topLeft();
  Median3x3(frame, state.greyWork);
  Smooth3x3(state.greyWork, frame);
  model->AccurateBackgroundStep(state.previousFrame, state.backgroundParams);
  state.previousFrame.SwapPixels(frame);
}

void ModelPostStep(DetectionState& state) {
  if (!state.backgroundModel) return;
  state.backgroundModel->ModelPostStep(state.mode, state.modelDisplayFlag, state.backgroundParams);
}

// --- settings ------------------------------------------------------------------------------------

void CommitDifferenceThreshold(DetectionState& state, int threshold) {
  state.threshold = threshold;
  if (!state.backgroundModel) return;
  state.backgroundParams.kernelIndex = std::clamp(threshold, 0, kKernelRows - 1);
  // Snake contour: the snake's threshold takes the value too.
}

void CommitGaussThreshold(DetectionState& state, float threshold) {
  state.gaussThreshold = threshold;
  if (!state.backgroundModel) return;
  state.backgroundModel->SetThreshold(threshold);
  state.backgroundParams.probabilityThreshold = threshold < 1.0f ? threshold : 0.9f;
}

void SetDisplayChoice(DetectionState& state, int choice) {
  if (choice != kDisplayForeground && choice != kDisplayBackground) return;
  state.displayChoice = choice;
  if (state.backgroundModel) state.backgroundModel->SetDisplayMode(choice);
}

void SetPostProcessing(DetectionState& state, bool on) {
  state.backgroundParams.postProcessing = on;
  if (state.backgroundModel) state.backgroundModel->SetPostProcessing(on);
  // Region analysis: with post-processing off it is pointed at the model's raw mask.
}

void SetColourTrim(DetectionState& state, bool on) {
  state.backgroundParams.colourTrim = on;
}

void SetColourTesting(DetectionState& state, bool on) {
  state.backgroundParams.colourTesting = on;
}

}  // namespace fw
