#include "detect/dispatch.h"

#include "detect/alarm.h"

namespace fw {

void RunDetectionStep(DetectionState& state) {
  if (state.mode && state.mode->detectionStep) state.mode->detectionStep(state);
  UpdateAlarmSound(state);
}

void RunEngineStep(DetectionState& state) {
  if (state.mode && state.mode->engineStep) state.mode->engineStep(state);
  LogAlarmInterval(state);
}

void RunEndOfFrame(DetectionState& state) {
  if (state.mode && state.mode->endOfFrame) state.mode->endOfFrame(state);
}

void FillOverlays(const DetectionState& state, Overlays& overlays) {
  overlays.clear();
  if (state.mode && state.mode->overlays) state.mode->overlays(state, overlays);
}

void EnsureFrameFormat(Dib& image, int width, int height, int bitCount) {
  if (!image.SameFormat(width, height, bitCount) || image.HeaderHeight() != height) {
    image.CreateSigned(width, height, bitCount, false);
  }
}

bool SwitchesOff(const DetectionState& state, const ModeInfo& mode) {
  return mode.command == ModeCommand::Menu && state.mode == &mode;
}

namespace {

// An interval open at a button selection ends there and is logged; menu selections drop it.
void EndAlarmForSelection(DetectionState& state, const ModeInfo& mode) {
  if (mode.command == ModeCommand::Menu) {
    ClearAlarmState(state);
    return;
  }
  ClearAlarmFlag(state);
  CloseOpenAlarmInterval(state, state.frameNumber + 1);
}

// The result panes as a fresh start leaves them, in the formats of the mode (24-bit where the
// mode leaves a pane's format alone): black, so that nothing of an earlier mode shows.
void ResetResultPanes(DetectionState& state, const ModeInfo& mode) {
  const Dib& frame = state.panes.topLeft();
  const PaneId results[3] = {PaneId::TopRight, PaneId::BottomLeft, PaneId::BottomRight};
  for (int i = 0; i < 3; ++i) {
    const int bits = static_cast<int>(mode.panes[i] == PaneFormat::Unchanged ? PaneFormat::Colour
                                                                             : mode.panes[i]);
    Dib& pane = state.panes[results[i]];
    pane = Dib();  // no float copy or work buffers of an earlier mode either
    pane.CreateSigned(frame.Width(), frame.Height(), bits, false);
  }
}

}  // namespace

void SelectMode(DetectionState& state, const ModeInfo& mode) {
  const bool off = SwitchesOff(state, mode);
  EndAlarmForSelection(state, mode);
  if (off) {
    state.mode = nullptr;
    return;
  }
  ResetResultPanes(state, mode);
  // The objects are built with the mode current, so that they know which mode made them.
  state.mode = &mode;
  if (mode.build) mode.build(state);
}

}  // namespace fw
