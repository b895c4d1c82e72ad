// The drawing kit for result pictures: lines, rectangles, arrows, filled rectangles and numbers
// made of line segments, drawn straight into the pixels so that a saved picture shows what the
// operator saw. Coordinates are memory columns and rows; colours are given as red, green, blue.
// Drawing is into 24-bit images (FillRect also takes 8-bit ones); points outside the picture
// are skipped, other depths are left alone.
#pragma once

#include <cstdint>

#include "core/dib.h"

namespace fw {

// Four corners (x0, y0, x1, y1); whether x1 and y1 belong to it is said where it is used.
struct IntRect {
  int x0 = 0;
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
};

// Integer line stepping from (x0, y0) towards (x1, y1); the end point itself is not plotted and a
// zero-length line plots nothing.
void DrawLine(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green, uint8_t blue);
// The four lines (x0, y0) -> (x1, y0) -> (x1, y1) -> (x0, y1) -> (x0, y0).
void DrawRect(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green, uint8_t blue);
void DrawRect(Dib& image, const IntRect& rect, uint8_t red, uint8_t green, uint8_t blue);
// Fills the inclusive rectangle (corners in any order) clipped to the image. In an 8-bit image
// the red argument is the byte written.
void FillRect(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green, uint8_t blue);
// The line with two head strokes of length headLength at halfAngleDegrees either side of it,
// ending at (x1, y1).
void DrawArrow(Dib& image, int x0, int y0, int x1, int y1, uint8_t red, uint8_t green, uint8_t blue,
               int headLength, double halfAngleDegrees);

// One character of the segment font in a cell `size` wide and 2 x size high whose bottom-left
// corner is (x, y), the top at y + 2 x size: the digits, 'e', '+', '-' and '.'; any other
// character draws nothing.
void DrawGlyph(Dib& image, char c, int x, int y, uint8_t red, uint8_t green, uint8_t blue,
               int size);
// The sign ('-' for a negative value, else '+') at x, then the decimal digits, each
// truncate(1.3 x size) further right.
void DrawInteger(Dib& image, int value, int x, int y, uint8_t red, uint8_t green, uint8_t blue,
                 int size);
// The value formatted with "%f", one glyph per character, truncate(1.3 x size) apart.
void DrawFloat(Dib& image, double value, int x, int y, uint8_t red, uint8_t green, uint8_t blue,
               int size);

}  // namespace fw
