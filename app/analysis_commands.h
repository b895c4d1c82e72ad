// The analysis workbench as the session runs it: the commands of the "Top left" submenu, the
// snake and the histogram, one frame's analysis in the pipeline's order, and the background
// model's mask handed to the region analysis.
#pragma once

#include <vector>

#include "detect/detection_state.h"
#include "video/frame_source.h"
#include "workbench/workbench_state.h"

namespace fw {

// A command of the analysis workbench: a top-left operation, "Display in log mode", "Display 2D
// FFT Circle Intensity", "Snake model" or "Histogram". False for any other identifier, and for
// "Snake model" without a background model (nothing changes then).
bool RunAnalysisCommand(WorkbenchState& workbench, DetectionState& state, int id);

// The frame's analysis: the mask handed over, the next frame of the second source (cycling)
// into the display dialog's picture while a network recogniser trains, the auxiliary operation,
// the top-left operation (or the Sobel magnitude of "Grad of View00" / "Grads"). `second` is the
// smoke-free second source, or null.
void RunAnalysisFrame(WorkbenchState& workbench, DetectionState& state, bool topLeftGrad,
                      bool bottomLeftGrads, FrameSource* second);

// The analyses a batch run can choose: every top-left operation, then the snake and the
// histogram, by command identifier.
std::vector<int> AnalysisIds();
// The label of an analysis (as its menu shows it), or null.
const char* AnalysisLabel(int id);
// The analysis draws into the display dialog's picture (the desktop shows the dialog).
bool AnalysisShowsDisplay(int id);
// The analysis classifies with the texture network (and trains on a smoke-free second source).
bool AnalysisNeedsNetwork(int id);

}  // namespace fw
