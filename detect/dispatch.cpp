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

void SelectMode(DetectionState& state, const ModeInfo& mode) {
  if (mode.command == ModeCommand::Menu) {
    ClearAlarmState(state);
    if (state.mode == &mode) {
      state.mode = nullptr;
      return;
    }
  }
  const Dib& frame = state.panes.topLeft();
  const PaneId results[3] = {PaneId::TopRight, PaneId::BottomLeft, PaneId::BottomRight};
  for (int i = 0; i < 3; ++i) {
    if (mode.panes[i] != PaneFormat::Unchanged) {
      EnsureFrameFormat(state.panes[results[i]], frame.Width(), frame.Height(),
                        static_cast<int>(mode.panes[i]));
    }
  }
  // The objects are built with the mode current, so that they know which mode made them.
  state.mode = &mode;
  if (mode.build) mode.build(state);
}

}  // namespace fw
