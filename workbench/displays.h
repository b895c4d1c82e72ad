// The pictures the analysis operations draw into: re-created only when their format differs, and
// the source picture shown in colour as the background of a result.
#pragma once

#include "core/dib.h"

namespace fw {

// Re-creates the display (zeroed) as width x |headerHeight| with that orientation and depth when
// it differs; otherwise leaves its pixels alone.
void EnsureDisplay(Dib& display, int width, int headerHeight, int bitCount);

// The display becomes a 24-bit copy of an 8-bit or 24-bit source (grey repeated in the three
// bytes), of its size and orientation. False, and the display unchanged, for other depths.
bool CopyAsColour(const Dib& source, Dib& display);

}  // namespace fw
