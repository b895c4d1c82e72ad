// Gradients of 8-bit and 24-bit images into 8-bit images: central differences (magnitude and
// absolute sum), the 3 x 3 Sobel magnitude and a horizontal edge strength. A 24-bit pixel's
// difference is the hundredths-weighted sum 59 x dG + 30 x dR + 11 x dB; the /100 is folded into
// each operation's final constant. Sources of other depths leave the destination unchanged.
#pragma once

#include <cstdint>

#include "core/dib.h"

namespace fw {

// Central differences with the neighbours clamped at the border (a border pixel uses itself).
// m = truncate(sqrt(dx^2 + dy^2) x 0.707) for 8-bit sources and x 0.00707 for 24-bit sources,
// in double precision. threshold 0: destination = min(m, 255); otherwise 255 where m >= threshold,
// else 0. The destination is re-created as an 8-bit image of the source's size when its format
// differs (pixels kept, every pixel is written).
void GradientMagnitude(const Dib& source, Dib& destination, uint8_t threshold);

// As GradientMagnitude with m = (|dx| + |dy|) / 2 for 8-bit sources and (|dx| + |dy|) / 200 for
// 24-bit sources (integer division); threshold 0 writes m itself.
void GradientAbsSum(const Dib& source, Dib& destination, uint8_t threshold);

// 3 x 3 Sobel magnitude of the interior pixels: truncate(sqrt(Gx^2 + Gy^2) x 0.17675) for 8-bit
// sources, with Gx and Gy summed over the channels and x 0.05891667 for 24-bit sources, in double
// precision. The outer rows and columns of the destination are not written; a destination of
// another format is re-created zeroed (8-bit, the source's size).
void SobelMagnitude(const Dib& source, Dib& destination);

// Horizontal edge strength of an 8-bit image into an 8-bit destination of the same size (the
// caller's): for the interior pixels d = (|p(x+1, y-1) - p(x-1, y-1)| + 2 |p(x+1, y) - p(x-1, y)|
// + |p(x+1, y+1) - p(x-1, y+1)|) / 4; with a non-zero threshold values below it become 0. The
// outer rows and columns are not written.
void HorizontalEdge(const Dib& source, Dib& destination, uint8_t threshold);

// Smallest sum of squares s with truncate(sqrt(s) x scale) >= level, or maxSum + 1 when no s up to
// maxSum reaches it. Since the magnitude never decreases as s grows, a thresholded magnitude is
// the integer test s >= MagnitudeThreshold(...), equal to the floating-point formula at every s.
uint32_t MagnitudeThreshold(double scale, int level, uint32_t maxSum);

}  // namespace fw
