// The region analysis of a motion mask, drawn over the frame (mode 7006's selection): the mask is
// cleaned of specks and small holes, its regions are labelled by size, the largest one's boundary
// is marked and, when it has more than 16 pixels, traced.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"
#include "core/regions.h"

namespace fw {

// The display (24-bit of the frame's size; anything else is left alone) shows the frame with the
// five largest regions painted blue, purple, magenta, cyan and white, the boundary marks green,
// the marks the trace passed light green and the traced contour red. `plane` is the work plane
// (resized to the mask's size) that keeps the labelled regions afterwards.
void DrawMotionRegions(std::span<const uint8_t> mask, const Dib& frame, Dib& display,
                       RegionSet& regions, std::vector<uint8_t>& plane);

}  // namespace fw
