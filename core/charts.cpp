#include "core/charts.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/draw.h"
#include "core/statistics.h"

namespace fw {

namespace {

void EnsureColour(Dib& image) {
  if (image.GetBitCount() != 24) image.CreateSigned(image.Width(), image.Height(), 24, false);
}

// Table entry clamped to the table, so that a short table is never read past its end.
const Rgb8& TableEntry(std::span<const Rgb8> table, int index) {
  assert(index >= 0 && static_cast<size_t>(index) < table.size());
  return table[std::clamp<size_t>(static_cast<size_t>(std::max(index, 0)), 0, table.size() - 1)];
}

// One column of the scrolling chart: cleared, a white bar of the ratio from row 10 upward and a
// red mark at the threshold.
void PlotChartColumn(Dib& image, float ratio, float threshold, int& counter) {
  const int width = image.Width();
  const int height = image.Height();
  if (width <= 0 || height <= 0) return;
  int column = counter;
  if (counter >= width) {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = image.Row(y);
      std::memmove(row, row + 3, static_cast<size_t>(width - 1) * 3);
    }
    column = width - 1;
  }
  counter = std::min(counter + 1, width);
  for (int y = 0; y < height; ++y) std::memset(image.Row(y) + 3 * column, 0, 3);
  const int bar = static_cast<int>(static_cast<float>(height - 20) * ratio);
  for (int y = 10; y < 10 + bar && y < height; ++y) std::memset(image.Row(y) + 3 * column, 255, 3);
  const int mark = 10 + static_cast<int>(static_cast<float>(height - 20) * threshold);
  image.SetPixelRgb(column, mark, 255, 0, 0);
}

}  // namespace

void MaskToColour(Dib& image, const uint8_t* plane, int width, int height) {
  if (!image.SameFormat(width, height, 24)) image.CreateSigned(width, height, 24, true);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = plane + static_cast<size_t>(y) * width;
    uint8_t* p = image.Row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      const bool set = src[x] != 0;
      p[0] = set ? 0 : 255;
      p[1] = set ? 255 : 0;
      p[2] = set ? 255 : 0;
    }
  }
}

void BarChart(Dib& image, int x, int y, int width, int height, std::span<const float> values,
              std::span<const Rgb8> table) {
  const int n = static_cast<int>(values.size());
  if (n == 0 || table.empty()) return;
  EnsureColour(image);
  const int c = width / n;
  DrawRect(image, x, y, x + n * c, y + height, 255, 0, 255);
  for (int i = 0; i < n; ++i) {
    // Negative values (and NaN) count as 0: they would index before the table.
    const float v = std::clamp(std::isnan(values[i]) ? 0.0f : values[i], 0.0f, 1.0f);
    const Rgb8& e = TableEntry(table, static_cast<int>(v * 255));
    const int left = x + 1 + i * c;
    FillRect(image, left, y, left + c - 3, y + static_cast<int>(v * static_cast<float>(height)),
             e.red, e.green, e.blue);
  }
}

void ColourBar(Dib& image, int x, int y, int width, int height, std::span<const Rgb8> table,
               int entries) {
  entries = std::min(entries, static_cast<int>(table.size()));
  if (entries <= 0 || width <= 0) return;
  EnsureColour(image);
  const int x0 = std::max(x, 0);
  const int x1 = std::min(x + width, image.Width());
  const int y0 = std::max(y, 0);
  const int y1 = std::min(y + height, image.Height());
  for (int row = y0; row < y1; ++row) {
    uint8_t* p = image.Row(row) + 3 * x0;
    for (int col = x0; col < x1; ++col, p += 3) {
      const int j = col - x;
      const Rgb8& e = width > 1 ? table[j * (entries - 1) / (width - 1)] : table[0];
      p[0] = e.blue;
      p[1] = e.green;
      p[2] = e.red;
    }
  }
}

void MatrixCells(Dib& image, int x, int y, int columns, int rows, std::span<const double> matrix,
                 double scale, int cellSize, std::span<const Rgb8> table) {
  if (columns <= 0 || rows <= 0 || table.empty()) return;
  assert(matrix.size() >= static_cast<size_t>(columns) * rows);
  EnsureColour(image);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const size_t at = static_cast<size_t>(r) * columns + c;
      if (at >= matrix.size()) return;
      const double scaled = scale * matrix[at];
      const int value =
          std::isnan(scaled) ? 0 : static_cast<int>(std::clamp(scaled, -255.0, 255.0));
      const Rgb8& e = TableEntry(table, value + 255);
      const int left = x + c * cellSize;
      const int top = y + r * cellSize;
      FillRect(image, left, top, left + cellSize - 1, top + cellSize - 1, e.red, e.green, e.blue);
    }
  }
}

void CurveChart(Dib& image, std::span<const uint8_t> bytes, std::span<const int> values, int number,
                int band) {
  const int n = static_cast<int>(std::min(bytes.size(), values.size()));
  const int w = image.Width();
  const int h = image.Height();
  if (image.GetBitCount() != 24 || w <= n) return;
  image.Clear();
  const int middle = h / 2;
  const int offset = band * (h - 1) / 255;
  DrawLine(image, 0, middle, w, middle, 0, 0, 255);
  DrawLine(image, 0, middle + offset, w, middle + offset, 0, 255, 0);
  DrawLine(image, 0, middle - offset, w, middle - offset, 0, 255, 0);
  for (int i = 1; i < n; ++i) {
    const int xa = (i - 1) * (w - 1) / (n - 1);
    const int xb = i * (w - 1) / (n - 1);
    DrawLine(image, xa, (h - 1) * bytes[i - 1] / 255, xb, (h - 1) * bytes[i] / 255, 255, 0, 0);
    const auto curve = [&](int v) {
      const int64_t row = middle + static_cast<int64_t>(h - 1) * v / 255;
      return static_cast<int>(std::clamp<int64_t>(row, 0, h - 1));
    };
    DrawLine(image, xa, curve(values[i - 1]), xb, curve(values[i]), 255, 255, 0);
  }
  DrawInteger(image, number, (3 * w - 3) / 4, h - 21, 255, 255, 255, 8);
}

float MaskChangeRatio(Dib& image, const Dib& a, const Dib& b, bool chart, int minPixelCount,
                      float ratioThreshold, int& chartCounter) {
  float ratio = 0.0f;
  if (a.GetBitCount() == 8 && b.GetBitCount() == 8) {
    // A mask without pixels has no centroid: b is then compared where it stands.
    int ax = 0;
    int ay = 0;
    int bx = 0;
    int by = 0;
    const int na = Centroid(a, ax, ay);
    const int nb = Centroid(b, bx, by);
    if (na > minPixelCount || nb > minPixelCount) {
      const int dx = na > 0 && nb > 0 ? ax - bx : 0;
      const int dy = na > 0 && nb > 0 ? ay - by : 0;
      int64_t difference = 0;
      int64_t total = 0;
      for (int y = 0; y < b.Height(); ++y) {
        const int ty = y + dy;
        if (ty < 0 || ty >= a.Height()) continue;
        const uint8_t* rowB = b.Row(y);
        const uint8_t* rowA = a.Row(ty);
        for (int x = 0; x < b.Width(); ++x) {
          const int p = rowB[x];
          const int tx = x + dx;
          if (p == 0 || tx < 0 || tx >= a.Width()) continue;
          const int q = rowA[tx];
          difference += std::abs(p - q);
          total += std::max(p, q);
        }
      }
      if (total > 0) ratio = static_cast<float>(difference) / static_cast<float>(total);
    }
  }
  if (chart && image.GetBitCount() == 24)
    PlotChartColumn(image, ratio, ratioThreshold, chartCounter);
  return ratio;
}

}  // namespace fw
