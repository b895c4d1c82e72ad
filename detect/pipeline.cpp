#include "detect/pipeline.h"

#include "detect/background/background_modes.h"
#include "detect/dispatch.h"
#include "detect/wavelet_view.h"

namespace fw {

void RunPipeline(DetectionState& state, FrameHost& host) {
  state.modelDisplayFlag = 1;
  state.keyColour = {0, 0, 0};
  state.regionFlag = 0;
  host.ReadFrame(state);
  RunDetectionStep(state);
  host.RunAnalysisOperations(state);
  // Only the mode that built the background model runs its post step: a model left from an
  // earlier mode stays allocated but would paint its mask into this mode's panes.
  if (state.mode && state.mode->backgroundModel) ModelPostStep(state);
  WaveletViewStep(state);
  host.RunPaneOperations(state);
  host.ShowPanes(state);
  RunEngineStep(state);
  host.ShowDisplay(state);
  host.AdvanceFrame(state);
  WaveletViewEndOfFrame(state);
  RunEndOfFrame(state);
}

}  // namespace fw
