#include "detect/motion/motion_modes.h"

#include <cassert>
#include <memory>

#include "core/difference.h"
#include "detect/background/background_modes.h"
#include "detect/dispatch.h"
#include "detect/motion/motion_feature_model.h"
#include "detect/motion/motion_regions.h"

namespace fw {

namespace {

// The display dialog's picture while 7006 runs.
constexpr int kMomentDisplayWidth = 320;
constexpr int kMomentDisplayHeight = 240;
// 7006 draws the region analysis when its mask has more motion pixels than this.
constexpr int kRegionMinimum = 16;

// Replaces the background model by one holding the motion masks; the previous-frame image gets
// the frame's format and the moment plot an empty ring of the frame's width.
MotionFeatureModel* NewMotionModel(DetectionState& state) {
  BackgroundModel* model = ReplaceBackgroundModel(state, [](Dib& frame, Dib& display) {
    return std::make_unique<MotionFeatureModel>(frame, display);
  });
  if (!model) return nullptr;
  const Dib& frame = state.panes.topLeft();
  EnsureFrameFormat(state.background.previousFrame, frame.Width(), frame.Height(), 24);
  state.motion.plot.Reset(frame.Width());
  state.motion.featureCount = 0;
  return static_cast<MotionFeatureModel*>(model);
}

// The model of the current motion mode while the frame still has the size of selection.
MotionFeatureModel* MotionModel(DetectionState& state) {
  BackgroundModel* model = FittingBackgroundModel(state);
  assert(!model || model->Kind() == MotionFeatureModel::kKind);
  return static_cast<MotionFeatureModel*>(model);
}

// Top-right pane = |frame - previous frame| per byte, and its motion pixels counted.
void DifferenceAndCount(DetectionState& state, MotionFeatureModel& model) {
  Dib& topRight = state.panes.topRight();
  EnsureFrameFormat(topRight, model.Width(), model.Height(), 24);
  AbsDifference(topRight, state.panes.topLeft(), state.background.previousFrame);
  state.motion.featureCount =
      model.CountMotionFeatures(topRight, static_cast<uint8_t>(state.threshold));
}

// Selection of 7005 and 7006: the first difference, then the frame becomes the previous one.
MotionFeatureModel* BuildWithFirstDifference(DetectionState& state) {
  MotionFeatureModel* model = NewMotionModel(state);
  if (!model) return nullptr;
  // The first difference is taken against a black frame, as after opening the video: a previous
  // frame left by another mode would show that mode's history in these panes.
  const Dib& frame = state.panes.topLeft();
  state.background.previousFrame.CreateSigned(frame.Width(), frame.HeaderHeight(), 24, false);
  DifferenceAndCount(state, *model);
  state.background.previousFrame.CopyFrom(state.panes.topLeft(), true);
  return model;
}

// The per-frame part the three modes share; null when the mode cannot work on this frame.
MotionFeatureModel* MotionStep(DetectionState& state) {
  MotionFeatureModel* model = MotionModel(state);
  Dib& previous = state.background.previousFrame;
  if (!model || !previous.SameFormat(model->Width(), model->Height(), 24)) return nullptr;
  DifferenceAndCount(state, *model);
  previous.SwapPixels(state.panes.topLeft());
  return model;
}

}  // namespace

// --- selection -----------------------------------------------------------------------------------

void BuildGaussGradMode(DetectionState& state) {
  BuildWithFirstDifference(state);
}

void BuildHighOrderMomentMode(DetectionState& state) {
  MotionFeatureModel* model = BuildWithFirstDifference(state);
  if (!model) return;
  EnsureFrameFormat(state.panes.display, kMomentDisplayWidth, kMomentDisplayHeight, 24);
  if (state.motion.featureCount > kRegionMinimum) {
    DrawMotionRegions(model->Mask(), state.panes.topLeft(), state.panes.bottomRight(),
                      state.motion.regions, state.motion.regionPlane);
  }
}

void BuildDifferenceAccumulationMode(DetectionState& state) {
  MotionFeatureModel* model = NewMotionModel(state);
  if (!model) return;
  const Dib& frame = state.panes.topLeft();
  state.background.previousFrame.CopyFrom(frame, true);
  state.motion.accumulator = std::make_unique<MotionAccumulator>();
  state.motion.accumulator->Initialise(frame.Width(), frame.Height());
  EnsureFrameFormat(state.panes.display, frame.Width(), frame.Height(), 8);
  state.panes.display.Clear();
}

// --- per-frame steps -----------------------------------------------------------------------------

void GaussGradModeStep(DetectionState& state) {
  MotionFeatureModel* model = MotionStep(state);
  if (!model) return;
  state.motion.plot.Plot(state.panes.bottomRight(), model->ComputeMoment(state.panes.topRight()));
}

void HighOrderMomentModeStep(DetectionState& state) {
  MotionStep(state);
}

void DifferenceAccumulationModeStep(DetectionState& state) {
  MotionFeatureModel* model = MotionStep(state);
  MotionAccumulator* accumulator = state.motion.accumulator.get();
  if (!model || !accumulator) return;
  accumulator->Accumulate(model->Mask(), state.panes.display);
  state.alarmFlag = accumulator->Alarm(state.panes.display, model->MedianPlane());
  state.motion.energy = accumulator->Energy();
}

// --- memory --------------------------------------------------------------------------------------

namespace {

// The allocator's rounding of a mode's blocks, and of the pages of its largest ones.
constexpr size_t kRounding = 16384;

// The model object and its three planes (mask, grey difference, median), and the moment plot's
// ring of the frame's width.
size_t SharedBytes(int width, int height) {
  const size_t pixels = static_cast<size_t>(width) * height;
  return sizeof(MotionFeatureModel) + 3 * pixels + sizeof(float) * static_cast<size_t>(width) +
         kRounding;
}

// Flood stacks of a region search: four int32 arrays per pixel.
size_t FloodBytes(int width, int height) {
  return static_cast<size_t>(width) * height * 4 * sizeof(int32_t);
}

}  // namespace

size_t GaussGradModeBytes(int width, int height) {
  return SharedBytes(width, height);
}

size_t HighOrderMomentModeBytes(int width, int height) {
  // The display dialog's picture, and the region analysis: its flood stacks, its contour (two
  // int32 arrays per pixel, for a region that gets traced) and its labelled plane.
  const size_t pixels = static_cast<size_t>(width) * height;
  const size_t display =
      static_cast<size_t>(DibStride(kMomentDisplayWidth, 24)) * kMomentDisplayHeight;
  return SharedBytes(width, height) + display + FloodBytes(width, height) +
         pixels * (2 * sizeof(int32_t) + 1);
}

size_t DifferenceAccumulationModeBytes(int width, int height) {
  // The accumulator with its ring of masks and its flood stacks, and the display dialog's 8-bit
  // accumulation picture.
  const size_t pixels = static_cast<size_t>(width) * height;
  const size_t display = static_cast<size_t>(DibStride(width, 8)) * height;
  return SharedBytes(width, height) + sizeof(MotionAccumulator) +
         pixels * MotionAccumulator::kRingLength + FloodBytes(width, height) + display;
}

}  // namespace fw
