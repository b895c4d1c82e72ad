// The two auxiliary operations of the Bottom View menu, which run every frame beside the current
// mode and share one selection: "Snake model" fits the snake to the largest moving region of the
// frame (only while a background model exists, whose mask the region analysis reads), and
// "Histogram" draws the grey histogram of the top-right pane into the display dialog's picture.
// Also the shapes the workbench draws over the top-left pane.
#pragma once

#include "detect/detection_state.h"
#include "detect/overlay.h"
#include "workbench/workbench_state.h"

namespace fw {

// Chooses "Snake model" (analysis::kSnakeModel) or "Histogram" (analysis::kHistogram) as its
// command does: the selected one is switched off, the other selected and run once. Choosing the
// snake without a background model does nothing at all. Returns false when nothing changed.
bool ChooseAuxiliaryOperation(WorkbenchState& workbench, DetectionState& state, int id);

// The per-frame step of the auxiliary operation (before the top-left operation).
void RunAuxiliaryOperation(WorkbenchState& workbench, DetectionState& state);

// The snake's points fitted this frame (3 x 3 yellow squares) and the block of "View Coocurrence
// of specified block" (yellow, one pixel inside the block), over the top-left pane.
void AppendAnalysisOverlays(const WorkbenchState& workbench, const DetectionState& state,
                            Overlays& overlays);

}  // namespace fw
