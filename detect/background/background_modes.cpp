#include "detect/background/background_modes.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "core/colour.h"
#include "core/filters.h"
#include "core/ui_sink.h"
#include "detect/background/accurate_background_model.h"
#include "detect/background/density_model.h"
#include "detect/background/frame_difference_model.h"
#include "detect/background/gauss_model.h"
#include "detect/background/mixture2_model.h"
#include "detect/background/mixture_model.h"
#include "detect/background/simple_background_model.h"
#include "detect/background/time_background_model.h"
#include "detect/dispatch.h"

namespace fw {

namespace {

constexpr const char* kCaption = "Fumewatch";

// Replaces the background model by a new one of this kind on the frame pane.
template <typename Model, typename... Args>
Model* NewModel(DetectionState& state, Args... args) {
  return static_cast<Model*>(ReplaceBackgroundModel(state, [&](Dib& frame, Dib& display) {
    return std::make_unique<Model>(args..., frame, display);
  }));
}

// The model when the frame still has the size of selection. The model of the current mode is
// always of the mode's kind.
template <typename Model>
Model* ModelOf(DetectionState& state) {
  BackgroundModel* model = FittingBackgroundModel(state);
  assert(!model || model->Kind() == Model::kKind);
  return static_cast<Model*>(model);
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

void BuildDifference(DetectionState& state, bool centre) {
  FrameDifferenceModel* model = NewModel<FrameDifferenceModel>(state, centre);
  if (!model) return;
  BackgroundState& family = state.background;
  Dib& frame = state.panes.topLeft();
  PrepareDifferencePane(state.panes.topRight(), frame);
  model->SetModelImage(&state.panes.topRight());
  StartHistory(family.previousFrame, frame);
  StartHistory(family.greyWork, frame);
  model->Step(state.threshold, family.previousFrame, family.greyWork);
}

void DifferenceModeStep(DetectionState& state) {
  if (auto* model = ModelOf<FrameDifferenceModel>(state)) {
    model->Step(state.threshold, state.background.previousFrame, state.background.greyWork);
  }
}

// A background image: a copy of the frame with its float copy.
void StartBackgroundImage(Dib& image, const Dib& frame) {
  EnsureFrameFormat(image, frame.Width(), frame.Height(), 24);
  image.CopyFrom(frame, true);
  image.MakeFloatCopy();
}

}  // namespace

// --- selection -----------------------------------------------------------------------------------

BackgroundModel* ReplaceBackgroundModel(DetectionState& state, const ModelMaker& make) {
  BackgroundState& family = state.background;
  family.model.reset();
  family.maskPublished = false;
  Dib& frame = state.panes.topLeft();
  if (frame.GetBitCount() != 24) {
    CurrentUiSink().Message("The background models need a 24-bit colour frame; this one has " +
                                std::to_string(frame.GetBitCount()) + " bits per pixel.",
                            kCaption, MessageButtons::Ok);
    return nullptr;
  }
  try {
    family.model = make(frame, state.panes.bottomLeft());
  } catch (const std::bad_alloc&) {
    CurrentUiSink().Message("Not enough memory for a background model of a " +
                                std::to_string(frame.Width()) + " x " +
                                std::to_string(frame.Height()) + " frame.",
                            kCaption, MessageButtons::Ok);
    return nullptr;
  }
  BackgroundModel* model = family.model.get();
  model->SetThreshold(state.gaussThreshold);
  model->SetDisplayMode(state.displayChoice);
  model->SetPostProcessing(family.params.postProcessing);
  family.modelMode = state.Mode();
  return model;
}

BackgroundModel* FittingBackgroundModel(DetectionState& state) {
  BackgroundModel* model = state.background.model.get();
  if (!model) return nullptr;
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

void BuildBackwardMode(DetectionState& state) {
  BuildDifference(state, false);
}

void BuildCentreMode(DetectionState& state) {
  BuildDifference(state, true);
}

void BuildMixtureMode(DetectionState& state) {
  NewModel<MixtureModel>(state);
}

void BuildGaussMode(DetectionState& state) {
  NewModel<GaussModel>(state);
}

void BuildDensityMode(DetectionState& state) {
  if (!NewModel<DensityModel>(state)) return;
  const float t = state.gaussThreshold;
  state.background.params.probabilityThreshold = t < 1.0f ? t : 0.9f;
}

void BuildMixture2Mode(DetectionState& state) {
  Mixture2Model* model = NewModel<Mixture2Model>(state);
  const int64_t seed = state.background.params.clusterSeed;
  if (model && seed >= 0) model->SetClusterSeed(static_cast<uint32_t>(seed));
}

void BuildTimeBackgroundMode(DetectionState& state) {
  TimeBackgroundModel* model = NewModel<TimeBackgroundModel>(state);
  if (!model) return;
  BackgroundState& family = state.background;
  Dib& frame = state.panes.topLeft();
  StartBackgroundImage(state.panes.topRight(), frame);
  model->SetModelImage(&state.panes.topRight());
  StartHistory(family.previousFrame, frame);
  model->Step(family.previousFrame, family.params);
}

void BuildSimpleBackgroundMode(DetectionState& state) {
  SimpleBackgroundModel* model = NewModel<SimpleBackgroundModel>(state);
  if (!model) return;
  BackgroundState& family = state.background;
  const Dib& frame = state.panes.topLeft();
  const int w = frame.Width();
  const int h = frame.Height();
  Dib& topRight = state.panes.topRight();
  EnsureFrameFormat(family.greyWork, w, h, 8);
  EnsureFrameFormat(topRight, w, h, 8);
  ToGray(frame, family.greyWork);
  // The median leaves the border alone: there the grey frame shows through.
  topRight.CopyFrom(family.greyWork, true);
  Median3x3(family.greyWork, topRight);
  StartHistory(family.previousFrame, topRight);
  StartHistory(family.modelBackground, topRight);
  model->SetModelImage(&family.modelBackground);
}

void BuildAccurateBackgroundMode(DetectionState& state) {
  AccurateBackgroundModel* model = NewModel<AccurateBackgroundModel>(state);
  if (!model) return;
  BackgroundState& family = state.background;
  Dib& frame = state.panes.topLeft();
  StartHistory(family.greyWork, frame);
  Median3x3(frame, family.greyWork);
  Smooth3x3(family.greyWork, frame);
  StartBackgroundImage(state.panes.topRight(), frame);
  model->SetModelImage(&state.panes.topRight());
  StartHistory(family.previousFrame, frame);
}

// --- per-frame steps -----------------------------------------------------------------------------

void BackwardModeStep(DetectionState& state) {
  DifferenceModeStep(state);
}

void CentreModeStep(DetectionState& state) {
  DifferenceModeStep(state);
}

void MixtureModeStep(DetectionState& state) {
  if (auto* model = ModelOf<MixtureModel>(state)) model->Step();
}

void GaussModeStep(DetectionState& state) {
  auto* model = ModelOf<GaussModel>(state);
  if (!model) return;
  model->Step();
  // Nothing is shown until the first frame has been tested.
  if (model->GaussLearningCount() <= kLearningFrames) state.modelDisplayFlag = 0;
}

void DensityModeStep(DetectionState& state) {
  if (auto* model = ModelOf<DensityModel>(state)) model->Step(state.background.params);
}

void Mixture2ModeStep(DetectionState& state) {
  if (auto* model = ModelOf<Mixture2Model>(state)) model->Step();
}

void TimeBackgroundModeStep(DetectionState& state) {
  auto* model = ModelOf<TimeBackgroundModel>(state);
  BackgroundState& family = state.background;
  if (!model || !Fits(family.previousFrame, *model, 24)) return;
  model->Step(family.previousFrame, family.params);
  family.previousFrame.SwapPixels(state.panes.topLeft());
}

void SimpleBackgroundModeStep(DetectionState& state) {
  auto* model = ModelOf<SimpleBackgroundModel>(state);
  BackgroundState& family = state.background;
  Dib& topRight = state.panes.topRight();
  if (!model || !Fits(family.greyWork, *model, 8) || !Fits(family.previousFrame, *model, 8) ||
      !Fits(topRight, *model, 8)) {
    return;
  }
  ToGray(state.panes.topLeft(), family.greyWork);
  Median3x3(family.greyWork, topRight);
  model->Step(topRight, family.previousFrame);
  family.previousFrame.SwapPixels(topRight);
  state.regionFlag = 1;
}

void AccurateBackgroundModeStep(DetectionState& state) {
  auto* model = ModelOf<AccurateBackgroundModel>(state);
  BackgroundState& family = state.background;
  if (!model || !Fits(family.greyWork, *model, 24) || !Fits(family.previousFrame, *model, 24)) {
    return;
  }
  Dib& frame = state.panes.topLeft();
  Median3x3(frame, family.greyWork);
  Smooth3x3(family.greyWork, frame);
  model->Step(family.previousFrame, family.params);
  family.previousFrame.SwapPixels(frame);
}

void ModelPostStep(DetectionState& state) {
  BackgroundState& family = state.background;
  if (!family.model) return;
  family.maskPublished = true;
  const bool ownMode = state.Mode() == family.modelMode;
  family.model->PostStep(ownMode, state.modelDisplayFlag, family.params);
}

// --- settings ------------------------------------------------------------------------------------

void CommitDifferenceThreshold(DetectionState& state, int threshold) {
  state.threshold = threshold;
  if (!state.background.model) return;
  state.background.params.kernelIndex = std::clamp(threshold, 0, kKernelRows - 1);
}

void CommitGaussThreshold(DetectionState& state, float threshold) {
  state.gaussThreshold = threshold;
  if (!state.background.model) return;
  state.background.model->SetThreshold(threshold);
  state.background.params.probabilityThreshold = threshold < 1.0f ? threshold : 0.9f;
}

void SetDisplayChoice(DetectionState& state, int choice) {
  if (choice != kDisplayForeground && choice != kDisplayBackground) return;
  state.displayChoice = choice;
  if (state.background.model) state.background.model->SetDisplayMode(choice);
}

void SetPostProcessing(DetectionState& state, bool on) {
  state.background.params.postProcessing = on;
  if (state.background.model) state.background.model->SetPostProcessing(on);
}

void SetColourTrim(DetectionState& state, bool on) {
  state.background.params.colourTrim = on;
}

void SetColourTesting(DetectionState& state, bool on) {
  state.background.params.colourTesting = on;
}

// --- memory estimates ----------------------------------------------------------------------------

namespace {

// The model object and its small tables.
constexpr uint64_t kModelObject = 16384;

uint64_t Pixels(int width, int height) {
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
}

// What every model has: the object and a mask of one byte per pixel.
uint64_t ModelMemory(int width, int height) {
  return kModelObject + Pixels(width, height);
}

}  // namespace

uint64_t DifferenceModeMemory(const DetectionState&, int width, int height) {
  return ModelMemory(width, height);
}

uint64_t MixtureModeMemory(const DetectionState&, int width, int height) {
  // Rows cut into blocks of kMixtureLanes pixels; per block and component seven fields of one
  // cache line, the last background component per lane, and one row of channel floats.
  constexpr uint64_t kFields = 7;
  const uint64_t padded =
      (static_cast<uint64_t>(width) + kMixtureLanes - 1) / kMixtureLanes * kMixtureLanes;
  const uint64_t blocks = padded / kMixtureLanes * static_cast<uint64_t>(height);
  return ModelMemory(width, height) + blocks * kMixtureComponents * kFields * sizeof(MixtureLanes) +
         padded * static_cast<uint64_t>(height) + padded * 3 * sizeof(float);
}

uint64_t GaussModeMemory(const DetectionState&, int width, int height) {
  // Mean, last distance and variance of three channels per pixel, one row of channel floats.
  return ModelMemory(width, height) + Pixels(width, height) * 9 * sizeof(float) +
         static_cast<uint64_t>(width) * 3 * sizeof(float);
}

uint64_t DensityModeMemory(const DetectionState&, int width, int height) {
  // kDensitySamples colour samples per pixel and the kernel table.
  return ModelMemory(width, height) + Pixels(width, height) * 3 * kDensitySamples +
         static_cast<uint64_t>(kKernelRows) * 256 * sizeof(float);
}

uint64_t Mixture2ModeMemory(const DetectionState&, int width, int height) {
  // Five components and the background index per pixel, and the samples of the learning frames.
  return ModelMemory(width, height) +
         Pixels(width, height) *
             (kMixtureComponents * sizeof(Mixture2Component) + 1 + 3 * kDensitySamples);
}

uint64_t TimeBackgroundModeMemory(const DetectionState&, int width, int height) {
  // Frame difference, background difference and a third map; the float copy of the background.
  return ModelMemory(width, height) + Pixels(width, height) * (3 + 3 * sizeof(float));
}

uint64_t SimpleBackgroundModeMemory(const DetectionState&, int width, int height) {
  // The model's 8-bit background image.
  return ModelMemory(width, height) +
         static_cast<uint64_t>(DibStride(width, 8)) * static_cast<uint64_t>(height);
}

// --- parameters ----------------------------------------------------------------------------------

namespace {

// A field of BackgroundParams: its value read and written as a double.
#define FW_BACKGROUND_FIELD(member, type)                                                  \
  [](const DetectionState& s) { return static_cast<double>(s.background.params.member); }, \
      [](DetectionState& s, double v) { s.background.params.member = static_cast<type>(v); }

const ParamField kBackgroundFields[] = {
    {"kernelIndex", "Kernel density: row of the kernel table", 0, kKernelRows - 1, 5, true,
     FW_BACKGROUND_FIELD(kernelIndex, int)},
    {"frameDifferenceLimit", "Accurate time background: frame difference limit", 0, 255, 5, true,
     FW_BACKGROUND_FIELD(frameDifferenceLimit, uint8_t)},
    {"backgroundDistanceLimit", "Time and accurate time background: background distance limit", 0,
     255, 8, true, FW_BACKGROUND_FIELD(backgroundDistanceLimit, uint8_t)},
    {"postProcessing", "Post processing (1: clean the mask before painting)", 0, 1, 0, true,
     FW_BACKGROUND_FIELD(postProcessing, bool)},
    {"colourTrim", "Color Trim (1: rejected colours painted blue)", 0, 1, 0, true,
     FW_BACKGROUND_FIELD(colourTrim, bool)},
    {"colourTesting", "Enable color testing (1: keep flame colours only)", 0, 1, 0, true,
     FW_BACKGROUND_FIELD(colourTesting, bool)},
    {"clusterSeed", "Second mixture: clustering seed (-1: from the clock)", -1, 4294967295.0, -1,
     true, FW_BACKGROUND_FIELD(clusterSeed, int64_t)},
};

#undef FW_BACKGROUND_FIELD

}  // namespace

std::span<const ParamField> BackgroundFields() {
  return kBackgroundFields;
}

}  // namespace fw
