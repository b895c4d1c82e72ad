// The analysis operations of the "Top left" submenu as a table: each entry's command identifier,
// label, whether choosing it keeps the co-occurrence matrices, whether it draws into the display
// dialog, and its step, run once when it is chosen and then on every frame. The selection rules
// (one operation at a time, choosing the selected one switches it off), the switches of the
// submenu and the per-frame order live here too.
#pragma once

#include <span>

#include "detect/detection_state.h"
#include "workbench/workbench_state.h"

namespace fw {

struct TopLeftOperation {
  int id;
  const char* label;
  bool keepsMatrices;  // choosing it keeps the co-occurrence matrices (it clears them itself)
  bool showsDisplay;   // it draws into the display dialog's picture
  bool needsNetwork;   // it classifies with the workbench's texture network
  // Set-up when chosen, before the first run (may be null).
  void (*chosen)(WorkbenchState&, DetectionState&);
  // The step, on the top-left picture, which fits the size at selection.
  void (*run)(WorkbenchState&, DetectionState&);
};

// Every operation, in menu order.
std::span<const TopLeftOperation> TopLeftOperations();
// The operation with this command identifier, or null.
const TopLeftOperation* FindTopLeftOperation(int id);

// Chooses an operation as its menu entry does. The selected one is switched off (its panes keep
// their last pictures); another becomes the selection: the analyser is initialised for the
// top-left picture (keeping the matrices for the entries that keep them), the entry's set-up runs
// and then its step, once. Choosing or leaving a texture recogniser clears the alarm flag. An
// identifier the table lacks changes nothing (false).
bool ChooseTopLeftOperation(WorkbenchState& workbench, DetectionState& state, int id);

// "Display in log mode": toggles; the co-occurrence display of 20008 or 140 is shown again at once.
void ToggleLogDisplay(WorkbenchState& workbench, DetectionState& state);
// "Display 2D FFT Circle Intensity": toggles; switching it on with neither normalised projection
// spectrum selected chooses "Normalized Hor Proj Data FFT".
void ToggleFftCircle(WorkbenchState& workbench, DetectionState& state);

// The per-frame dispatch: with "Grad of View00" the Sobel magnitude of the top-left picture into
// the bottom-right picture, else with "Grads" that of the bottom-left picture, else the selected
// operation. A top-left picture of another size or depth than at selection is reported once and
// the operation does nothing.
void RunTopLeftOperations(WorkbenchState& workbench, DetectionState& state, bool topLeftGrad,
                          bool bottomLeftGrads);

// After the bottom-right pane's operation: with "Display 2D FFT Circle Intensity" on, the radial
// profile of the last spectrum into the bottom-left picture.
void RunFftCircle(WorkbenchState& workbench, DetectionState& state);

// A click on the top-left pane at a picture point (x right, y up from the bottom row): the block
// of "View Coocurrence of specified block".
void PickAnalysisBlock(WorkbenchState& workbench, int x, int y);

}  // namespace fw
