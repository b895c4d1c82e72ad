#include "detect/smoke/smoke_modes.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/charts.h"
#include "core/histogram.h"
#include "core/ui_sink.h"
#include "detect/smoke/smoke_flame_detector.h"

namespace fw {

SmokeFlameDetector* UsableSmokeDetector(DetectionState& state, bool blockMode) {
  SmokeFlameDetector* detector = state.smoke.detector.get();
  if (detector == nullptr) return nullptr;
  if (detector->FrameMatches() && detector->BlockMode() == blockMode) return detector;
  state.alarmFlag = 0;
  if (!state.smoke.sizeReported) {
    state.smoke.sizeReported = true;
    const Dib& frame = state.panes.topLeft();
    std::string text;
    if (detector->Width() == 0) {
      text =
          "Fumewatch: the detector was selected without a colour frame; open a video and "
          "select the mode again.";
    } else if (detector->BlockMode() != blockMode) {
      text = "Fumewatch: the detector was rebuilt for another mode; select the mode again.";
    } else {
      text = "Fumewatch: the frame is now " + std::to_string(frame.Width()) + " x " +
             std::to_string(frame.Height()) + " (" + std::to_string(frame.GetBitCount()) +
             "-bit) but the detector was built for " + std::to_string(detector->Width()) + " x " +
             std::to_string(detector->Height()) + " (24-bit); select the mode again.";
    }
    CurrentUiSink().Message(text, "Fumewatch", MessageButtons::Ok);
  }
  return nullptr;
}

SmokeFlameDetector& NewSmokeDetector(DetectionState& state, bool blockMode) {
  state.smoke.detector = std::make_unique<SmokeFlameDetector>();
  state.smoke.detector->params = state.smoke.params;
  state.smoke.sizeReported = false;
  state.smoke.detector->Initialise(state.panes.topLeft(), blockMode);
  FollowLiveSource(state, *state.smoke.detector);
  return *state.smoke.detector;
}

void FollowLiveSource(DetectionState& state, SmokeFlameDetector& detector) {
  const uint8_t* plane = state.online ? state.captureFrame : nullptr;
  if (detector.LiveLuminance() != plane) detector.AttachLiveLuminance(plane);
}

void BuildSmokeMode(DetectionState& state) {
  NewSmokeDetector(state, false);
  // The display dialog shows the detector's background: the selection frame, which this mode
  // never updates.
  if (state.smoke.detector->FrameMatches()) {
    state.panes.display.CopyFrom(state.smoke.detector->Background(), false);
  }
}

void BuildBlockSmokeMode(DetectionState& state) {
  NewSmokeDetector(state, true);
  state.alarmFlag = 0;
  state.smoke.frameFlags.fill(0);
  state.smoke.frameFlagIndex = 0;
  const Dib& frame = state.panes.topLeft();
  if (state.smoke.detector->FrameMatches() &&
      !state.smoke.greyDisplay.SameFormat(frame.Width(), frame.Height(), 8)) {
    state.smoke.greyDisplay.CreateSigned(frame.Width(), frame.Height(), 8, false);
  }
}

void SmokeModeStep(DetectionState& state) {
  SmokeFlameDetector* detector = UsableSmokeDetector(state, false);
  if (detector == nullptr) return;
  FollowLiveSource(state, *detector);
  detector->DetectMotion(SmokeFlameDetector::kMotionToLastFrame);
  detector->TestGreyColour(25);
  detector->TestFlicker(10);
  MaskToColour(state.panes.topRight(), detector->MotionMask().data(), detector->Width(),
               detector->Height());
  detector->CombineMasks();
  state.alarmFlag = detector->ShowAndCount(state.panes.bottomLeft());
}

void BlockSmokeModeStep(DetectionState& state) {
  SmokeFlameDetector* detector = UsableSmokeDetector(state, true);
  if (detector == nullptr) return;
  FollowLiveSource(state, *detector);
  const auto threshold = static_cast<uint8_t>(state.threshold);  // the low byte
  detector->ComputeBlockMeans();
  detector->ShowBlockCounters(state.panes.bottomRight(), detector->BlockCounters(), 1);
  detector->CompareBlocks(threshold, state.panes.topRight());
  const uint8_t busy = detector->AccumulateBlockMotion();
  detector->FilterBlockSpread();
  detector->PlotBlockEdges(state.smoke.blockColumn, state.smoke.blockRow, state.panes.bottomLeft());
  detector->ComputeEdgeStrength();
  const uint8_t blurred = detector->TestEdgeLoss();
  DegradeLevels(state.panes.topLeft(), state.smoke.greyDisplay, state.threshold, false);
  VoteFrameFlag(state, busy != 0 && blurred != 0 ? 1 : 0);
}

void SmokeModeEndOfFrame(DetectionState& state) {
  SmokeFlameDetector* detector = UsableSmokeDetector(state, false);
  if (detector != nullptr) detector->EndOfFrame();
}

void BlockSmokeModeEndOfFrame(DetectionState& state) {
  SmokeFlameDetector* detector = UsableSmokeDetector(state, true);
  if (detector != nullptr) detector->EndOfFrame();
}

void BlockSmokeOverlays(const DetectionState& state, Overlays& overlays) {
  const SmokeFlameDetector* detector = state.smoke.detector.get();
  if (detector == nullptr || !detector->BlockMode() || !detector->FrameMatches()) return;
  constexpr int kSize = SmokeFlameDetector::kBlockSize;
  // Block (c, r) covers picture columns 16c..16c+15 and rows 16r..16r+15 from the bottom.
  const auto outline = [&](int c, int r, int inset, uint8_t red, uint8_t green, uint8_t blue) {
    overlays.push_back({c * kSize + inset, r * kSize + inset, (c + 1) * kSize - 1 - inset,
                        (r + 1) * kSize - 1 - inset, red, green, blue});
  };
  const int columns = detector->BlockColumns();
  const std::span<const uint8_t> motion = detector->BlockMotion();
  const std::span<const uint8_t> smoke = detector->SmokeBlocks();
  for (int i = 0; i < detector->BlockCount(); ++i) {
    if (motion[i] == 1) outline(i % columns, i / columns, 0, 0, 255, 0);
  }
  for (int i = 0; i < detector->BlockCount(); ++i) {
    if (smoke[i] == 1) outline(i % columns, i / columns, 0, 255, 0, 0);
  }
  outline(state.smoke.blockColumn, state.smoke.blockRow, 1, 255, 255, 0);
}

void PickSmokeBlock(DetectionState& state, int x, int y) {
  state.smoke.blockColumn = x / SmokeFlameDetector::kBlockSize;
  state.smoke.blockRow = y / SmokeFlameDetector::kBlockSize;
}

void VoteFrameFlag(DetectionState& state, uint8_t flag) {
  const int slots = static_cast<int>(state.smoke.frameFlags.size());
  state.smoke.frameFlags[state.smoke.frameFlagIndex] = flag;
  state.smoke.frameFlagIndex = (state.smoke.frameFlagIndex + 1) % slots;
  int votes = 0;
  for (const uint8_t f : state.smoke.frameFlags) votes += f != 0 ? 1 : 0;
  state.alarmFlag = votes >= kFrameFlagVotes ? 1 : 0;
}

uint64_t SmokeModeMemory(const DetectionState& state, int width, int height) {
  // The detector with the parameters it is built with, and the display dialog's copy of its
  // background.
  return SmokeFlameDetector::PixelModeBytes(width, height, state.smoke.params) +
         static_cast<uint64_t>(DibStride(width, 24)) * static_cast<uint64_t>(height);
}

uint64_t BlockSmokeModeMemory(const DetectionState&, int width, int height) {
  // The detector and the grey display.
  return SmokeFlameDetector::BlockModeBytes(width, height) +
         static_cast<uint64_t>(DibStride(width, 8)) * static_cast<uint64_t>(height);
}

namespace {

// A field of SmokeFlameParams: its value read and written as a double.
#define FW_SMOKE_FIELD(member, type)                                                  \
  [](const DetectionState& s) { return static_cast<double>(s.smoke.params.member); }, \
      [](DetectionState& s, double v) { s.smoke.params.member = static_cast<type>(v); }

const ParamField kSmokeFields[] = {
    {"secondsFactor",
     "Frame ring: seconds (the ring holds the largest power of two within "
     "frameRateFactor x secondsFactor frames)",
     1, 10, 4, true, FW_SMOKE_FIELD(secondsFactor, int)},
    {"frameRateFactor", "Frame ring: frames per second", 1, 50, 25, true,
     FW_SMOKE_FIELD(frameRateFactor, int)},
    {"motionThreshold", "Motion: weighted difference of at least 100 x this", 0, 255, 15, true,
     FW_SMOKE_FIELD(motionThreshold, int)},
    {"alarmPixelCount", "Pixel modes: smoke or flame pixels that raise the alarm", 1, 1 << 24, 100,
     true, FW_SMOKE_FIELD(alarmPixelCount, int)},
    {"crossingThreshold",
     "Flame mode: class changes of a pixel's red history that make it oscillate", 0, 46, 10, true,
     FW_SMOKE_FIELD(crossingThreshold, int)},
    {"deadZone", "Flame mode: the band around 0 in which a transform value counts as 0", 0, 255, 5,
     false, FW_SMOKE_FIELD(deadZone, float)},
};

#undef FW_SMOKE_FIELD

}  // namespace

std::span<const ParamField> SmokeFields() {
  return kSmokeFields;
}

}  // namespace fw
