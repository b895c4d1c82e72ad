// The one table of detection modes: number, label, the control that selects it, the pane formats
// set at selection, what selection builds and which per-frame steps run. The menu, the control
// bar's buttons, `fumewatch-cli modes` and `--mode` all read it.
#pragma once

#include <array>
#include <span>

#include "detect/detection_state.h"

namespace fw {

// Buttons always select their mode; menu commands toggle (choosing the current mode switches it
// off) and clear the alarm state.
enum class ModeCommand { Button, Menu };

// Depth a selection gives a result pane: unchanged, 8-bit grey or 24-bit colour.
enum class PaneFormat { Unchanged = 0, Grey = 8, Colour = 24 };

struct ModeInfo {
  int number;
  const char* label;
  int controlId;  // button or menu command identifier
  ModeCommand command;
  // Formats of the top-right, bottom-left and bottom-right panes at selection.
  std::array<PaneFormat, 3> panes;
  // Builds what the mode needs from the current frame (the top-left pane). May be null.
  void (*build)(DetectionState&);
  // Per-frame work inside RunDetectionStep, RunEngineStep and after the frame advanced.
  void (*detectionStep)(DetectionState&);
  void (*engineStep)(DetectionState&);
  void (*endOfFrame)(DetectionState&);
};

std::span<const ModeInfo> Modes();
// The mode with this number, or null.
const ModeInfo* FindMode(int number);

}  // namespace fw
