#include "app/evaluation/timeline_chart.h"

#include <algorithm>
#include <cmath>

#include "core/draw.h"
#include "core/text_stamp.h"

namespace fw {

namespace {

constexpr int kMargin = 8;
constexpr int kLabelHeight = 16;
constexpr int kCurveHeight = 44;
constexpr int kBarHeight = 10;
constexpr int kCharWidth = 8;

struct Rgb {
  uint8_t r, g, b;
};
constexpr Rgb kBackground{24, 24, 28};
constexpr Rgb kPlot{0, 0, 0};
constexpr Rgb kLabel{230, 230, 230};
constexpr Rgb kCurve{255, 210, 0};
constexpr Rgb kAlarm{220, 30, 30};
constexpr Rgb kOnset{0, 230, 0};
constexpr Rgb kEnd{0, 120, 0};
constexpr Rgb kError{255, 120, 120};

// Drawing in picture coordinates: x from the left, rows from the top of the picture.
class Canvas {
 public:
  explicit Canvas(Dib& image) : image_(image), height_(image.Height()) {}
  void Fill(int x0, int top0, int x1, int top1, Rgb c) {
    FillRect(image_, x0, Row(top0), x1, Row(top1), c.r, c.g, c.b);
  }
  void VLine(int x, int top0, int top1, Rgb c) { Fill(x, top0, x, top1, c); }
  void Line(int x0, int top0, int x1, int top1, Rgb c) {
    DrawLine(image_, x0, Row(top0), x1, Row(top1), c.r, c.g, c.b);
  }
  // Text whose cells have their top edge at `top`.
  void Text(const std::string& text, int x, int top, Rgb c) {
    DrawText(image_, text, x, Row(top + kLabelHeight - 1), kCharWidth, kLabelHeight, c.r, c.g, c.b);
  }

 private:
  int Row(int top) const { return height_ - 1 - top; }
  Dib& image_;
  int height_;
};

void DrawRow(Canvas& canvas, const TimelineRow& row, int top, int axisFrames) {
  const int plotWidth = kTimelineWidth - 2 * kMargin;
  const auto column = [&](double frame) {
    return kMargin + static_cast<int>(frame * plotWidth / std::max(axisFrames, 1));
  };
  canvas.Text(row.label, kMargin, top + 2, kLabel);
  const int curveTop = top + kLabelHeight + 4;
  const int curveBottom = curveTop + kCurveHeight - 1;
  const int barTop = curveBottom + 2;
  const int barBottom = barTop + kBarHeight - 1;
  canvas.Fill(kMargin, curveTop, kMargin + plotWidth - 1, barBottom, kPlot);
  if (!row.error.empty()) {
    canvas.Text(row.error.substr(0, plotWidth / kCharWidth - 2), kMargin + 8, curveTop + 12,
                kError);
    return;
  }
  for (const FrameInterval& interval : row.intervals) {
    canvas.Fill(column(interval.start), barTop,
                std::max(column(interval.end) - 1, column(interval.start)), barBottom, kAlarm);
  }
  if (row.series && row.series->hasEvidence) {
    const std::vector<double>& values = row.series->evidence;
    double peak = 0.0;
    for (const double v : values) {
      if (!std::isnan(v)) peak = std::max(peak, v);
    }
    const auto level = [&](double v) {
      return curveBottom - static_cast<int>(peak > 0.0 ? v / peak * (kCurveHeight - 2) : 0.0);
    };
    int lastX = -1;
    int lastY = 0;
    for (size_t i = 0; i < values.size(); ++i) {
      if (std::isnan(values[i])) {
        lastX = -1;
        continue;
      }
      const int x = column(static_cast<double>(i) + 0.5);
      const int y = level(values[i]);
      if (lastX >= 0) canvas.Line(lastX, lastY, x, y, kCurve);
      canvas.Fill(x, y, x, y, kCurve);
      lastX = x;
      lastY = y;
    }
    char peakText[32];
    std::snprintf(peakText, sizeof peakText, "max %g", peak);
    canvas.Text(peakText, kMargin + plotWidth - 12 * kCharWidth, top + 2, kLabel);
  }
  if (row.onset >= 0) canvas.VLine(column(row.onset), curveTop, barBottom, kOnset);
  if (row.end >= 0) canvas.VLine(column(row.end + 1) - 1, curveTop, barBottom, kEnd);
}

}  // namespace

void DrawTimeline(Dib& image, std::span<const TimelineRow> rows) {
  const int count = std::max<int>(static_cast<int>(rows.size()), 1);
  image.CreateSigned(kTimelineWidth, count * kTimelineRowHeight, 24,
                     false);  // bottom-up, as the glyphs are
  Canvas canvas(image);
  canvas.Fill(0, 0, kTimelineWidth - 1, image.Height() - 1, kBackground);
  for (size_t i = 0; i < rows.size(); ++i) {
    DrawRow(canvas, rows[i], static_cast<int>(i) * kTimelineRowHeight, std::max(rows[i].frames, 1));
  }
}

}  // namespace fw
