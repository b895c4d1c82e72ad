// Text stamped into 24-bit result pictures (frame numbers, rates, measures) with anti-aliased
// glyphs from the glyph atlas "Charset.bmp": an 8-bit picture of 8 x 16 cells of coverage for the
// codes 0..127, the cell of code c in column c mod 8 and row c / 8 from the top.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/dib.h"
#include "core/draw.h"

namespace fw {

inline constexpr char kGlyphAtlasFile[] = "Charset.bmp";

// Loads the glyph atlas into the image's atlas members unless it holds one already. The file is
// looked up with FindDataFile; false when it is missing or not an 8-bit BMP (text is then not
// drawn).
bool EnsureGlyphAtlas(Dib& image);

// The most bytes EnsureGlyphAtlas holds at once when it loads the atlas into an image: the atlas
// (4 bytes per pixel of the picture), the 8-bit picture it is made from and the reading, as the
// header of the file it would load declares them; 0 when that file gives no atlas (no 8-bit BMP).
// Reads the file's header only.
uint64_t GlyphAtlasBytes();

// Stamps text into a 24-bit image with its pen starting at (x, y): each code below 128 fills a
// cell charWidth x charHeight and moves the pen right by charWidth; a line feed returns to x and
// moves the pen down by charHeight (y - charHeight, memory rows); bytes of 128 and above are
// skipped without moving the pen.
void DrawText(Dib& image, std::string_view text, int x, int y, int charWidth, int charHeight,
              uint8_t red, uint8_t green, uint8_t blue);

// Blends the atlas rectangle `source` (x1, y1 excluded) scaled onto the destination rectangle
// (x1, y1 excluded) of a 24-bit image in the given colour, the atlas coverage (first byte of each
// 4-byte atlas pixel, bilinearly interpolated) being the opacity. Destination pixels outside the
// image are skipped.
void BlendGlyph(Dib& image, const IntRect& source, const IntRect& destination, const uint8_t* atlas,
                int atlasWidth, int atlasHeight, uint8_t red, uint8_t green, uint8_t blue);

}  // namespace fw
