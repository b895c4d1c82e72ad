// The ROC curve of an evaluation sweep drawn as a chart: false-alarm rate along x, detection rate
// along y, both 0..1, with a grid at quarters and the point of a chosen ratio marked.
#pragma once

#include <vector>

#include "core/dib.h"
#include "learn/evaluation_run.h"

namespace fw {

// Draws into `chart`, re-created as a white 24-bit width x height picture (at least 120 x 120).
// `marked` is the ratio whose point is circled (none when no point has it).
void DrawRocChart(const std::vector<RocPoint>& points, int positives, int negatives, float marked,
                  int width, int height, Dib& chart);

}  // namespace fw
