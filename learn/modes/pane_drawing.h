// What the classifier modes draw into their result panes besides rectangles and blocks: copies
// of the frame, block outlines, the alarm text and the vote rate.
#pragma once

#include <cstdint>

#include "core/dib.h"

namespace fw {

// Frees a pane's glyph atlas, capacity included (a selection's other clearing keeps the
// capacity), so that a selection never loads its classifier file beside an old atlas.
void ReleaseGlyphAtlas(Dib& pane);
// Copies the frame's pixels into a pane of the same format; a pane of another format is left
// as it is.
void CopyFramePixels(const Dib& frame, Dib& pane);
// The outline of 8 x 8 block (column, row).
void OutlineBlock(Dib& pane, int column, int row, uint8_t red, uint8_t green, uint8_t blue);
// "Alarm at # N!" in red, 12 x 24 glyphs, at (10, height - 34).
void StampAlarm(Dib& pane, int frameNumber);
// "Rate: N%" in blue, 12 x 24 glyphs, at (10, 10).
void StampRate(Dib& pane, int percent);

}  // namespace fw
