#include "learn/roc_chart.h"

#include <algorithm>
#include <cmath>

#include "core/draw.h"
#include "core/text_stamp.h"

namespace fw {

void DrawRocChart(const std::vector<RocPoint>& points, int positives, int negatives, float marked,
                  int width, int height, Dib& chart) {
  width = std::max(width, 120);
  height = std::max(height, 120);
  // Bottom-up like the frames, so that memory rows and the stamped text go upwards.
  chart.CreateSigned(width, height, 24, false);
  chart.Fill(255);
  const int left = 50, right = width - 20, top = height - 20, bottom = 40;
  auto px = [&](double fa) { return left + static_cast<int>(std::lround(fa * (right - left))); };
  auto py = [&](double hit) {
    return bottom + static_cast<int>(std::lround(hit * (top - bottom)));
  };
  for (int q = 0; q <= 4; ++q) {
    const double v = q / 4.0;
    DrawLine(chart, px(v), py(0), px(v), py(1), 220, 220, 220);
    DrawLine(chart, px(0), py(v), px(1), py(v), 220, 220, 220);
  }
  DrawLine(chart, px(0), py(0), px(1) + 1, py(0), 0, 0, 0);
  DrawLine(chart, px(0), py(0), px(0), py(1) + 1, 0, 0, 0);
  auto rate = [](int count, int total) {
    return total > 0 ? static_cast<double>(count) / total : 0.0;
  };
  for (size_t k = 1; k < points.size(); ++k) {
    DrawLine(chart, px(rate(points[k - 1].falseAlarms, negatives)),
             py(rate(points[k - 1].detected, positives)),
             px(rate(points[k].falseAlarms, negatives)), py(rate(points[k].detected, positives)), 0,
             0, 255);
  }
  for (const RocPoint& p : points) {
    if (std::fabs(p.ratio - marked) > 0.004f) continue;
    const int x = px(rate(p.falseAlarms, negatives)), y = py(rate(p.detected, positives));
    DrawRect(chart, x - 4, y - 4, x + 4, y + 4, 255, 0, 0);
  }
  if (EnsureGlyphAtlas(chart)) {
    DrawText(chart, "false alarm rate", (left + right) / 2 - 64, 4, 8, 16, 0, 0, 0);
    DrawText(chart, "detection", 2, top - 40, 8, 16, 0, 0, 0);
    DrawText(chart, "0", left - 4, bottom - 20, 8, 16, 0, 0, 0);
    DrawText(chart, "1", right - 4, bottom - 20, 8, 16, 0, 0, 0);
    DrawText(chart, "1", left - 14, top - 8, 8, 16, 0, 0, 0);
  }
}

}  // namespace fw
