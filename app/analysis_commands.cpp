#include "app/analysis_commands.h"

#include "detect/background/background_model.h"
#include "workbench/auxiliary_operations.h"
#include "workbench/displays.h"
#include "workbench/top_left_operations.h"

namespace fw {

namespace {

namespace a = analysis;

// The background model's mask replaces the key mask of the region analysis once the model has
// published it, while it has the frame's size.
void PublishModelMask(WorkbenchState& workbench, const DetectionState& state) {
  const BackgroundState& background = state.background;
  const Dib& frame = state.panes[PaneId::TopLeft];
  const BackgroundModel* model = background.model.get();
  const bool usable = model && background.maskPublished && model->Width() == frame.Width() &&
                      model->Height() == frame.Height();
  workbench.analyzer.SetExternalMask(usable ? model->Mask().data() : nullptr);
}

}  // namespace

bool RunAnalysisCommand(WorkbenchState& workbench, DetectionState& state, int id) {
  PublishModelMask(workbench, state);
  switch (id) {
    case a::kLogDisplay:
      ToggleLogDisplay(workbench, state);
      return true;
    case a::kFftCircle:
      ToggleFftCircle(workbench, state);
      return true;
    case a::kSnakeModel:
    case a::kHistogram:
      return ChooseAuxiliaryOperation(workbench, state, id);
    default:
      return ChooseTopLeftOperation(workbench, state, id);
  }
}

void RunAnalysisFrame(WorkbenchState& workbench, DetectionState& state, bool topLeftGrad,
                      bool bottomLeftGrads, FrameSource* second) {
  PublishModelMask(workbench, state);
  workbench.hasSecondSource = false;
  if (second && second->FrameCount() > 0 && workbench.training.Running() &&
      AnalysisNeedsNetwork(workbench.topLeftOperation)) {
    Dib& picture = state.panes.display;
    EnsureDisplay(picture, second->Width(), second->Height(), 24);
    if (workbench.secondFrame >= second->FrameCount()) workbench.secondFrame = 0;
    workbench.hasSecondSource = second->GetFrame(workbench.secondFrame, picture);
    workbench.secondFrame = (workbench.secondFrame + 1) % second->FrameCount();
  }
  RunAuxiliaryOperation(workbench, state);
  RunTopLeftOperations(workbench, state, topLeftGrad, bottomLeftGrads);
}

std::vector<int> AnalysisIds() {
  std::vector<int> ids;
  for (const TopLeftOperation& op : TopLeftOperations()) ids.push_back(op.id);
  ids.push_back(a::kSnakeModel);
  ids.push_back(a::kHistogram);
  return ids;
}

const char* AnalysisLabel(int id) {
  if (const TopLeftOperation* op = FindTopLeftOperation(id)) return op->label;
  if (id == a::kSnakeModel) return "Snake model";
  if (id == a::kHistogram) return "Histogram";
  return nullptr;
}

bool AnalysisNeedsNetwork(int id) {
  const TopLeftOperation* op = FindTopLeftOperation(id);
  return op != nullptr && op->needsNetwork;
}

bool AnalysisShowsDisplay(int id) {
  if (id == a::kHistogram) return true;
  const TopLeftOperation* op = FindTopLeftOperation(id);
  return op != nullptr && op->showsDisplay;
}

}  // namespace fw
