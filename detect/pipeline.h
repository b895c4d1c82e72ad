// The order of the steps of one frame, in one place: the session, the tests and the benchmarks
// all run a frame through RunPipeline. What lies outside detection (reading the frame, the pane
// operations, showing the panes, counting frames) is asked of the caller through FrameHost.
#pragma once

#include "detect/detection_state.h"

namespace fw {

class FrameHost {
 public:
  virtual ~FrameHost() = default;
  // Puts the next frame into the top-left pane and sets the state's frame number.
  virtual void ReadFrame(DetectionState& state) = 0;
  // The analysis operations, after the classical modes: the auxiliary operation (snake or
  // histogram), then the top-left pane's operation.
  virtual void RunAnalysisOperations(DetectionState&) {}
  // The bottom-right pane's operation, after the background model's post step.
  virtual void RunPaneOperations(DetectionState&) {}
  // The four panes are shown; then the display dialog's picture after the engines.
  virtual void ShowPanes(const DetectionState&) {}
  virtual void ShowDisplay(const DetectionState&) {}
  // The frame is done: the next one is due (before the end-of-frame steps).
  virtual void AdvanceFrame(DetectionState&) {}
};

// 1. per-frame flags; 2. the frame; 3. the classical modes and the alarm sound; 4. the analysis
// operations; 5. the background model's post step (for the modes that built the model); 6. the
// wavelet view when it is on; 7. the pane operations; 8. the panes shown; 9. the engines and the
// alarm log; 10. the display dialog; 11. the next frame; 12. the end-of-frame steps, once per
// detector: the wavelet view's (a copy of the frame), then the current mode's (which may exchange
// the frame pane's pixels).
void RunPipeline(DetectionState& state, FrameHost& host);

}  // namespace fw
