#include "workbench/auxiliary_operations.h"

#include "core/histogram.h"
#include "workbench/displays.h"

namespace fw {

namespace {

namespace a = analysis;

constexpr int kHistogramSide = 256;
constexpr int kSnakeMarkHalf = 1;  // the points are drawn as 3 x 3 squares

void DrawHistogram(DetectionState& state) {
  EnsureDisplay(state.panes.display, kHistogramSide, kHistogramSide, 24);
  Histogram(state.panes.topRight(), nullptr, &state.panes.display, true);
}

// The region pipeline on the frame's mask (the background model's), painted into the bottom-right
// picture. False when the frame no longer fits what the snake was chosen for.
bool TraceLargestRegion(WorkbenchState& w, DetectionState& s) {
  Dib& frame = s.panes.topLeft();
  if (!w.analyzer.Fits(frame) || !w.snake.ComputeGradientMap(frame)) return false;
  w.analyzer.EnsureKeyMask(frame, w.colourKey);
  w.analyzer.RegionPipeline(frame, s.panes.bottomRight(), s.regionFlag != 0);
  return true;
}

void SnakeChosen(WorkbenchState& w, DetectionState& s) {
  Dib& frame = s.panes.topLeft();
  w.snake.Allocate(frame.Width(), frame.Height());
  if (!w.analyzer.Fits(frame)) w.analyzer.Initialise(frame, true);
  w.snakeFitted = false;
  if (!TraceLargestRegion(w, s)) return;
  const RegionAnalysis& regions = w.analyzer.Regions();
  Dib& shown = s.panes.bottomRight();
  w.snake.InitFromBoundary(regions.ContourX(), regions.ContourY(), regions.ContourCount(),
                           Snake::kWantedPoints);
  w.snake.DrawPoints(shown, kSnakeMarkHalf);
  // Every iteration is drawn, so that the search can be followed in the picture.
  w.snake.Search(&shown);
  w.snakeFitted = w.snake.PointCount() > 0;
}

void SnakeStep(WorkbenchState& w, DetectionState& s) {
  w.snakeFitted = false;
  if (!s.background.model || !TraceLargestRegion(w, s)) return;
  const RegionAnalysis& regions = w.analyzer.Regions();
  if (regions.ContourCount() < Snake::kWantedPoints) return;
  w.snake.InitFromBoundary(regions.ContourX(), regions.ContourY(), regions.ContourCount(),
                           Snake::kWantedPoints);
  w.snake.DrawPoints(s.panes.bottomRight(), kSnakeMarkHalf);
  w.snake.Search(nullptr);
  w.snakeFitted = true;
}

// Picture coordinates (from the bottom row up) of a memory row.
int PictureRow(const Dib& frame, int row) {
  return frame.IsBottomUp() ? row : frame.Height() - 1 - row;
}

}  // namespace

bool ChooseAuxiliaryOperation(WorkbenchState& workbench, DetectionState& state, int id) {
  if (id != a::kSnakeModel && id != a::kHistogram) return false;
  if (id == a::kSnakeModel && !state.background.model) return false;
  workbench.snakeFitted = false;
  if (workbench.auxiliaryOperation == id) {
    workbench.auxiliaryOperation = 0;
    return true;
  }
  workbench.auxiliaryOperation = id;
  if (id == a::kHistogram) {
    DrawHistogram(state);
  } else {
    SnakeChosen(workbench, state);
  }
  return true;
}

void RunAuxiliaryOperation(WorkbenchState& workbench, DetectionState& state) {
  if (workbench.auxiliaryOperation == a::kHistogram) {
    DrawHistogram(state);
  } else if (workbench.auxiliaryOperation == a::kSnakeModel) {
    SnakeStep(workbench, state);
  }
}

void AppendAnalysisOverlays(const WorkbenchState& workbench, const DetectionState& state,
                            Overlays& overlays) {
  const Dib& frame = state.panes[PaneId::TopLeft];
  if (workbench.auxiliaryOperation == a::kSnakeModel && workbench.snakeFitted) {
    workbench.snake.ForEachPoint([&](SnakePoint p) {
      const int y = PictureRow(frame, p.y);
      overlays.push_back({p.x - kSnakeMarkHalf, y - kSnakeMarkHalf, p.x + kSnakeMarkHalf,
                          y + kSnakeMarkHalf, 255, 255, 0});
    });
  }
  if (workbench.topLeftOperation == a::kBlockCooccurrence) {
    // Blocks count from the picture's bottom row; the outline lies one pixel inside the block.
    const int x0 = workbench.blockColumn * 16;
    const int y0 = workbench.blockRow * 16;
    overlays.push_back({x0 + 1, y0 + 1, x0 + 14, y0 + 14, 255, 255, 0});
  }
}

}  // namespace fw
