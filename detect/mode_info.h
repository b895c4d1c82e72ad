// What the mode table holds for each detection mode: number, label, the control that selects it,
// the pane formats set at selection, what selection builds, which per-frame steps run, what it
// draws over the top-left pane, the point it takes from a click there, its parameters and what
// it allocates. The
// rows live above this layer (app/mode_table.cpp), since they name entry points of every layer
// below; detect/ runs the steps of the row kept at selection.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "detect/mode_id.h"
#include "detect/overlay.h"
#include "detect/param_field.h"

namespace fw {

struct DetectionState;

// Buttons always select their mode; menu commands toggle (choosing the current mode switches it
// off) and clear the alarm state.
enum class ModeCommand { Button, Menu };

// Depth a selection gives a result pane: unchanged, 8-bit grey or 24-bit colour.
enum class PaneFormat { Unchanged = 0, Grey = 8, Colour = 24 };

// One-line captions of the top-left, top-right, bottom-left and bottom-right panes: what each
// shows in this mode. A null caption leaves the desktop's default for that pane.
using PaneCaptions = std::array<const char*, 4>;

struct ModeInfo {
  ModeId id;
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
  // Shapes over the top-left pane, for the desktop's snapshot. May be null.
  void (*overlays)(const DetectionState&, Overlays&);
  // A click on the top-left pane at a picture point (x right, y up from the bottom row, inside
  // the picture). May be null.
  void (*pointPicked)(DetectionState&, int x, int y);
  // The parameters `detect --set` can change (empty: none).
  std::span<const ParamField> params;
  // Selection builds the background model: the model's post step runs on this mode's frames
  // (and on no other mode's, whose panes it would overwrite).
  bool backgroundModel = false;
  PaneCaptions captions{};
  // The bytes that selecting the mode and its first frames allocate for frames of this size with
  // the state's parameters: every buffer built at selection and on first use, beyond the panes
  // (the session counts those at their largest). Selection refuses a mode whose estimate, with
  // the session's own images, exceeds the memory budget. Every row has one (a mode table test
  // compares it with what the mode allocates).
  uint64_t (*memoryEstimate)(const DetectionState&, int width, int height);

  int number() const { return ModeNumber(id); }
};

}  // namespace fw
