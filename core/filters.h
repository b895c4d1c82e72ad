// General 3 x 3 filters of 8-bit and 24-bit images, per channel: the median and the weighted
// smoothing that denoise frames before the background models see them.
#pragma once

#include "core/dib.h"

namespace fw {

// 3 x 3 median of each channel (8-bit and 24-bit images of equal format). The border rows and
// columns of the destination are left untouched; other depths or formats change nothing.
void Median3x3(const Dib& source, Dib& destination);
// (3 x centre + 2 x (left + right + up + down) + the four diagonals) / 15 per channel, integer
// division; border and format rules as Median3x3.
void Smooth3x3(const Dib& source, Dib& destination);

}  // namespace fw
