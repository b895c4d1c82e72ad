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

// Drops what an earlier mode left with an image beside its pixels: the HSV plane, the
// histogram, the glyph atlas and the wavelet planes. An image with a float copy is replaced by a
// fresh one, since only that clears the float copy.
void DropWorkBuffers(Dib& image) {
  if (image.HasFloatCopy()) {
    image = Dib();
    return;
  }
  image.HsvPlane() = {};
  image.HistogramBuffer() = {};
  image.GlyphAtlas() = {};
  image.GlyphAtlasWidth() = 0;
  image.GlyphAtlasHeight() = 0;
  image.FloatWaveletPlanes() = {};
  image.IntWaveletPlanes() = {};
}

// The result panes as a fresh start leaves them, in the formats of the mode (24-bit where the
// mode leaves a pane's format alone): black, with the grey palette at 8 bits, so that nothing of
// an earlier mode shows. A pane re-created in place keeps its pixel buffer where it is large
// enough: selection allocates nothing for a pane of the frame's size.
void ResetResultPanes(DetectionState& state, const ModeInfo& mode) {
  const Dib& frame = state.panes.topLeft();
  const PaneId results[3] = {PaneId::TopRight, PaneId::BottomLeft, PaneId::BottomRight};
  for (int i = 0; i < 3; ++i) {
    const int bits = static_cast<int>(mode.panes[i] == PaneFormat::Unchanged ? PaneFormat::Colour
                                                                             : mode.panes[i]);
    Dib& pane = state.panes[results[i]];
    DropWorkBuffers(pane);
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
