// Charts drawn into result pictures: masks in colour, bar charts, colour bars, coloured matrices,
// the two-curve chart and the scrolling chart of a mask-change ratio. Colour tables hold red,
// green, blue per entry.
#pragma once

#include <cstdint>
#include <span>

#include "core/colour.h"
#include "core/dib.h"

namespace fw {

// Non-zero plane bytes in yellow, zero bytes in blue; the image is re-created as 24-bit
// width x height (bottom-up) when its format differs.
void MaskToColour(Dib& image, const uint8_t* plane, int width, int height);

// One bar per value in a magenta frame from (x, y) to (x + n x (width / n), y + height); a value
// v (clamped to 0..1) is a bar truncate(v x height) high in table entry truncate(v x 255). The
// table has 256 entries. A picture that is not 24-bit becomes a black 24-bit one of its size.
void BarChart(Dib& image, int x, int y, int width, int height, std::span<const float> values,
              std::span<const Rgb8> table);

// A horizontal ramp of `entries` table entries across the rectangle (x, y, width, height).
void ColourBar(Dib& image, int x, int y, int width, int height, std::span<const Rgb8> table,
               int entries);

// A rows x columns matrix (row-major) as cells of cellSize pixels from (x, y); cell (r, c) takes
// table entry truncate(scale x M[r][c]) + 255 with the scaled value clamped to -255..255, so the
// table has 511 entries.
void MatrixCells(Dib& image, int x, int y, int columns, int rows, std::span<const double> matrix,
                 double scale, int cellSize, std::span<const Rgb8> table);

// Two curves over a cleared 24-bit picture wider than the count: the bytes in red, the integers
// in yellow around the blue middle row, the band +-band in green, and `number` in white.
void CurveChart(Dib& image, std::span<const uint8_t> bytes, std::span<const int> values, int number,
                int band);

// How much mask b changed into mask a (8-bit masks): b is shifted so that its centroid lies on
// a's, and the ratio is sum |p - q| / sum max(p, q) over b's non-zero pixels p that land inside a
// (q the pixel of a there). 0 when neither mask has more than minPixelCount non-zero pixels. With
// `chart` set, the ratio is plotted into the 24-bit `image` as one column of a scrolling chart:
// `chartCounter` (the caller's, starting at 0) picks the column and grows by one per plot; once it
// reaches the width the chart moves one column to the left. The threshold is marked red.
float MaskChangeRatio(Dib& image, const Dib& a, const Dib& b, bool chart, int minPixelCount,
                      float ratioThreshold, int& chartCounter);

}  // namespace fw
