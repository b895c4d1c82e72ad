#include "detect/dispatch.h"

#include "detect/alarm.h"
#include "detect/mode_table.h"

namespace fw {

void RunDetectionStep(DetectionState& state) {
  const ModeInfo* info = FindMode(state.mode);
  if (info && info->detectionStep) info->detectionStep(state);
  UpdateAlarmSound(state);
}

void RunEngineStep(DetectionState& state) {
  const ModeInfo* info = FindMode(state.mode);
  if (info && info->engineStep) info->engineStep(state);
  LogAlarmInterval(state);
}

void RunEndOfFrame(DetectionState& state) {
  const ModeInfo* info = FindMode(state.mode);
  if (info && info->endOfFrame) info->endOfFrame(state);
}

void EnsureFrameFormat(Dib& image, int width, int height, int bitCount) {
  if (!image.SameFormat(width, height, bitCount) || image.HeaderHeight() != height) {
    image.CreateSigned(width, height, bitCount, false);
  }
}

bool SelectMode(DetectionState& state, int mode) {
  const ModeInfo* info = FindMode(mode);
  if (!info) return false;
  if (info->command == ModeCommand::Menu) {
    ClearAlarmState(state);
    if (state.mode == mode) {
      state.mode = 0;
      return true;
    }
  }
  const Dib& frame = state.panes.topLeft();
  const PaneId results[3] = {PaneId::TopRight, PaneId::BottomLeft, PaneId::BottomRight};
  for (int i = 0; i < 3; ++i) {
    if (info->panes[i] != PaneFormat::Unchanged) {
      EnsureFrameFormat(state.panes[results[i]], frame.Width(), frame.Height(),
                        static_cast<int>(info->panes[i]));
    }
  }
  if (info->build) info->build(state);
  state.mode = mode;
  return true;
}

}  // namespace fw
