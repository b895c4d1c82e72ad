#include "core/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <type_traits>

namespace fw {

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

// Advance between the characters of a number.
int CharacterAdvance(int size) {
  return static_cast<int>(1.3 * size);
}

// Points of a segment-font cell.
// kEnd closes a path; the unused tail of a glyph's point list is all kEnd.
enum Point { kEnd, kBL, kBR, kML, kMR, kTL, kTR, kBC, kTC, kPlusLow, kPlusHigh };

struct GlyphPoint {
  int x;
  int y;
};

GlyphPoint CellPoint(Point p, int x, int y, int s) {
  const int left = x;
  const int centre = x + s / 2;
  const int right = x + s;
  const int bottom = y;
  const int middle = y + s;
  const int top = y + 2 * s;
  switch (p) {
    case kBL:
      return {left, bottom};
    case kBR:
      return {right, bottom};
    case kML:
      return {left, middle};
    case kMR:
      return {right, middle};
    case kTL:
      return {left, top};
    case kTR:
      return {right, top};
    case kBC:
      return {centre, bottom};
    case kTC:
      return {centre, top};
    case kPlusLow:
      return {centre, y + s / 2};
    case kPlusHigh:
      return {centre, y + 3 * s / 2};
    default:
      return {x, y};
  }
}

// Each glyph is drawn as pen paths through the cell's points (kEnd closes a path). The strokes
// are those of a seven-segment figure; a path's last point is not plotted, like any line's end,
// so the paths run such that corners shared by two strokes are drawn.
struct SegmentGlyph {
  char c;
  Point path[12];
};

constexpr SegmentGlyph kGlyphs[] = {
    {'0', {kBL, kBR, kTR, kTL, kBL, kEnd}},
    {'1', {kBC, kTC, kEnd}},
    {'2', {kTL, kTR, kMR, kML, kBL, kBR, kEnd}},             // top, upper right, middle,
                                                             // lower left, bottom
    {'3', {kTL, kTR, kBR, kBL, kEnd, kML, kMR, kEnd}},       // top, right side, bottom; middle
    {'4', {kTL, kML, kMR, kEnd, kTR, kBR, kEnd}},            // upper left, middle; right side
    {'5', {kTR, kTL, kML, kMR, kBR, kBL, kEnd}},             // top, upper left, middle,
                                                             // lower right, bottom
    {'6', {kTR, kTL, kML, kMR, kBR, kBL, kML, kEnd}},        // as 5, closed by the lower left
    {'7', {kTL, kTR, kBR, kEnd}},                            // top, right side
    {'8', {kBL, kBR, kTR, kTL, kBL, kEnd, kML, kMR, kEnd}},  // four sides; middle
    {'9', {kBL, kBR, kTR, kTL, kML, kMR, kEnd}},             // bottom, right side, top,
                                                             // upper left, middle
    {'e', {kBR, kBL, kTL, kTR, kEnd, kML, kMR, kEnd}},       // bottom, left side, top; middle
    {'+', {kML, kMR, kEnd, kPlusLow, kPlusHigh, kEnd}},
    {'-', {kML, kMR, kEnd}},
};

}  // namespace

void DrawLine(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green,
              uint8_t blue) {
  if (image.GetBitCount() != 24) return;
  const int width = image.Width();
  const int height = image.Height();
  const int dx = x1 - x0;
  const int dy = y1 - y0;
  const int sx = Sign(dx);
  const int sy = Sign(dy);
  const bool xMajor = std::abs(dx) >= std::abs(dy);
  const int major = std::max(std::abs(dx), std::abs(dy));
  const int minor = std::min(std::abs(dx), std::abs(dy));
  int e = 2 * minor - major;
  int x = x0;
  int y = y0;
  for (int i = 0; i < major; ++i) {
    if (x >= 0 && x < width && y >= 0 && y < height) {
      uint8_t* p = image.Row(y) + 3 * x;
      p[0] = blue;
      p[1] = green;
      p[2] = red;
    }
    while (e > 0) {
      if (xMajor) {
        y += sy;
      } else {
        x += sx;
      }
      e -= 2 * major;
    }
    if (xMajor) {
      x += sx;
    } else {
      y += sy;
    }
    e += 2 * minor;
  }
}

void DrawRect(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green,
              uint8_t blue) {
  DrawLine(image, x0, y0, x1, y0, red, green, blue);
  DrawLine(image, x1, y0, x1, y1, red, green, blue);
  DrawLine(image, x1, y1, x0, y1, red, green, blue);
  DrawLine(image, x0, y1, x0, y0, red, green, blue);
}

void DrawRect(Dib& image, const IntRect& rect, uint8_t red, uint8_t green, uint8_t blue) {
  DrawRect(image, rect.x0, rect.y0, rect.x1, rect.y1, red, green, blue);
}

void FillRect(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green,
              uint8_t blue) {
  const int bits = image.GetBitCount();
  if (bits != 8 && bits != 24) return;
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  // Clipped to the picture: a rectangle wholly outside it draws nothing.
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, image.Width() - 1);
  y1 = std::min(y1, image.Height() - 1);
  if (x0 > x1 || y0 > y1) return;
  for (int y = y0; y <= y1; ++y) {
    uint8_t* row = image.Row(y);
    if (bits == 8) {
      std::fill(row + x0, row + x1 + 1, red);
    } else {
      for (uint8_t* p = row + 3 * x0; p <= row + 3 * x1; p += 3) {
        p[0] = blue;
        p[1] = green;
        p[2] = red;
      }
    }
  }
}

void DrawArrow(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green, uint8_t blue,
               int headLength, double halfAngleDegrees) {
  DrawLine(image, x0, y0, x1, y1, red, green, blue);
  constexpr double kPi = std::numbers::pi;
  const int dx = x1 - x0;
  const int dy = y1 - y0;
  double theta = 0.0;
  if (dx == 0) {
    theta = dy >= 0 ? kPi / 2 : 3 * kPi / 2;
  } else {
    theta = std::atan(static_cast<double>(dy) / dx);
    if (dx < 0) {
      theta += kPi;
    } else if (dy < 0) {
      theta += 2 * kPi;
    }
  }
  const double alpha = halfAngleDegrees * kPi / 180.0;
  const double h = headLength;
  const int ax = static_cast<int>(x1 - h * std::cos(theta - alpha));
  const int ay = static_cast<int>(y1 - h * std::sin(theta - alpha));
  const int bx = static_cast<int>(x1 - h * std::cos(theta + alpha));
  const int by = static_cast<int>(y1 - h * std::sin(theta + alpha));
  DrawLine(image, ax, ay, x1, y1, red, green, blue);
  DrawLine(image, bx, by, x1, y1, red, green, blue);
}

void DrawGlyph(Dib& image, char c, int x, int y, uint8_t red, uint8_t green, uint8_t blue,
               int size) {
  if (image.GetBitCount() != 24) return;
  if (c == '.') {
    FillRect(image, x + size / 2, y, x + size / 2 + 1, y + 1, red, green, blue);
    return;
  }
  for (const SegmentGlyph& glyph : kGlyphs) {
    if (glyph.c != c) continue;
    constexpr int kLength = static_cast<int>(std::extent_v<decltype(SegmentGlyph::path)>);
    int i = 0;
    while (i < kLength && glyph.path[i] != kEnd) {
      GlyphPoint from = CellPoint(glyph.path[i++], x, y, size);
      for (; i < kLength && glyph.path[i] != kEnd; ++i) {
        const GlyphPoint to = CellPoint(glyph.path[i], x, y, size);
        DrawLine(image, from.x, from.y, to.x, to.y, red, green, blue);
        from = to;
      }
      ++i;  // past this path's end mark
    }
    return;
  }
}

void DrawInteger(Dib& image, int value, int x, int y, uint8_t red, uint8_t green, uint8_t blue,
                 int size) {
  DrawGlyph(image, value < 0 ? '-' : '+', x, y, red, green, blue, size);
  char digits[24];
  const long long magnitude = std::llabs(static_cast<long long>(value));
  const int n = std::snprintf(digits, sizeof digits, "%lld", magnitude);
  const int advance = CharacterAdvance(size);
  for (int i = 0; i < n; ++i) {
    DrawGlyph(image, digits[i], x + (i + 1) * advance, y, red, green, blue, size);
  }
}

void DrawFloat(Dib& image, double value, int x, int y, uint8_t red, uint8_t green, uint8_t blue,
               int size) {
  char text[400];  // "%f" of the largest double is 317 characters
  const int n = std::snprintf(text, sizeof text, "%f", value);
  const int advance = CharacterAdvance(size);
  for (int i = 0; i < n && i < static_cast<int>(sizeof text) - 1; ++i) {
    DrawGlyph(image, text[i], x + i * advance, y, red, green, blue, size);
  }
}

}  // namespace fw
