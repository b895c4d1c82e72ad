#include "detect/smoke_modes.h"

#include <memory>
#include <string>

#include "core/charts.h"
#include "core/histogram.h"
#include "core/ui_sink.h"
#include "detect/smoke_flame_detector.h"

namespace fw {

namespace {

// The detector when it can work on the current frame in the mode's form (pixel or block). A
// detector built on another frame size, on no colour frame at all or for the other form is
// reported once, clears the alarm and is left alone until the mode is selected again.
SmokeFlameDetector* UsableDetector(DetectionState& state, bool blockMode) {
  SmokeFlameDetector* detector = state.smokeDetector.get();
  if (detector == nullptr) return nullptr;
  if (detector->FrameMatches() && detector->BlockMode() == blockMode) return detector;
  state.alarmFlag = 0;
  if (!state.smokeSizeReported) {
    state.smokeSizeReported = true;
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

void NewDetector(DetectionState& state, bool blockMode) {
  state.smokeDetector = std::make_unique<SmokeFlameDetector>();
  state.smokeSizeReported = false;
  state.smokeDetector->Initialise(state.panes.topLeft(), blockMode);
}

}  // namespace

void BuildSmokeMode(DetectionState& state) {
  NewDetector(state, false);
  // The display dialog shows the detector's background: the selection frame, which this mode
  // never updates.
  if (state.smokeDetector->FrameMatches()) {
    state.panes.display.CopyFrom(state.smokeDetector->Background(), false);
  }
}

void BuildBlockSmokeMode(DetectionState& state) {
  NewDetector(state, true);
  state.alarmFlag = 0;
  state.frameFlags.fill(0);
  state.frameFlagIndex = 0;
  const Dib& frame = state.panes.topLeft();
  if (state.smokeDetector->FrameMatches() &&
      !state.smokeGreyDisplay.SameFormat(frame.Width(), frame.Height(), 8)) {
    state.smokeGreyDisplay.CreateSigned(frame.Width(), frame.Height(), 8, false);
  }
}

// Live video brings its own luminance plane: the motion test then compares luminance, and the
// end of the frame keeps a copy of the plane. Until the capture source delivers it, live frames
// arrive as pictures in the frame pane and take the picture forms below.

void SmokeModeStep(DetectionState& state) {
  SmokeFlameDetector* detector = UsableDetector(state, false);
  if (detector == nullptr) return;
  detector->DetectMotion(SmokeFlameDetector::kMotionToLastFrame);
  detector->TestGreyColour(25);
  detector->TestFlicker(10);
  MaskToColour(state.panes.topRight(), detector->MotionMask().data(), detector->Width(),
               detector->Height());
  detector->CombineMasks();
  state.alarmFlag = detector->ShowAndCount(state.panes.bottomLeft());
}

void BlockSmokeModeStep(DetectionState& state) {
  SmokeFlameDetector* detector = UsableDetector(state, true);
  if (detector == nullptr) return;
  const auto threshold = static_cast<uint8_t>(state.threshold);  // the low byte
  detector->ComputeBlockMeans();
  detector->ShowBlockCounters(state.panes.bottomRight(), detector->BlockCounters(), 1);
  detector->CompareBlocks(threshold, state.panes.topRight());
  const uint8_t busy = detector->AccumulateBlockMotion();
  detector->FilterBlockSpread();
  detector->PlotBlockEdges(state.smokeBlockColumn, state.smokeBlockRow, state.panes.bottomLeft());
  detector->ComputeEdgeStrength();
  const uint8_t blurred = detector->TestEdgeLoss();
  DegradeLevels(state.panes.topLeft(), state.smokeGreyDisplay, state.threshold, false);
  VoteFrameFlag(state, busy != 0 && blurred != 0 ? 1 : 0);
}

void SmokeModeEndOfFrame(DetectionState& state) {
  SmokeFlameDetector* detector = UsableDetector(state, false);
  if (detector != nullptr) detector->EndOfFrame();
}

void BlockSmokeModeEndOfFrame(DetectionState& state) {
  SmokeFlameDetector* detector = UsableDetector(state, true);
  if (detector != nullptr) detector->EndOfFrame();
}

void VoteFrameFlag(DetectionState& state, uint8_t flag) {
  const int slots = static_cast<int>(state.frameFlags.size());
  state.frameFlags[state.frameFlagIndex] = flag;
  state.frameFlagIndex = (state.frameFlagIndex + 1) % slots;
  int votes = 0;
  for (const uint8_t f : state.frameFlags) votes += f != 0 ? 1 : 0;
  state.alarmFlag = votes >= kFrameFlagVotes ? 1 : 0;
}

}  // namespace fw
