// Simple statistics of images: centroid and spread of a mask, rectangle means, a texture measure
// with its mean and variance, and the widths of the intensity ramps under an edge mask.
#pragma once

#include <cstdint>
#include <span>

#include "core/dib.h"

namespace fw {

struct MeanVariance {
  float mean = 0.0f;
  float variance = 0.0f;
};

// Over the non-zero pixels v of an 8-bit image: when their sum S is positive, outX and outY
// become truncate(sum of x v / S) and truncate(sum of y v / S); otherwise they are not written.
// Returns the number of non-zero pixels (0 for other depths).
int Centroid(const Dib& image, int& outX, int& outY);

// Grey-weighted spread of the pixels where `mask` (a packed width x height plane) is non-zero:
// with g the value (8-bit) or 0.59 G + 0.11 B + 0.3 R (24-bit, float) and (cx, cy) the g-weighted
// centre, sum of g^2 x distance to the centre / (width x height); 0 when the weights sum below
// 0.001. Returns -1 for a mode other than 2, another depth or a mask smaller than the image.
float CentroidMoment(const Dib& image, std::span<const uint8_t> mask, int mode);

// Mean grey of the inclusive rectangle: 24-bit sum of (59 G + 11 B + 30 R) / (area x 100), 8-bit
// sum of v / area (integer division). The rectangle is clipped to the image; an empty one, or
// another depth, gives 0.
int RectMean(const Dib& image, int x0, int y0, int x1, int y1);

// Texture of each interior pixel of a 24-bit image, the sum over the channels of
// |c(x, y+1) - c(x, y-1)| + |c(x+1, y) - c(x-1, y)| (0..1530), at index y x width + x of
// `counts`; border entries are not written. Nothing is written when counts is smaller than
// width x height or the image is not 24-bit.
void TextureMap(const Dib& image, std::span<int32_t> counts);

// Mode 0 and a 24-bit image: mean and variance (mean of squares minus squared mean) of the
// texture / 3 over the interior pixels. Otherwise, or without interior pixels, both are 0.
MeanVariance TextureStats(const Dib& image, int mode);

// Mode 0 and a 24-bit image: mean and variance of (blue + green + red) / 3 over all pixels.
// Otherwise both are 0.
MeanVariance IntensityStats(const Dib& image, int mode);

// Rewrites an 8-bit edge mask in place, rows 0..height - 3: each run of non-zero pixels in
// columns 1..width - 2 that ends inside the row shrinks to one pixel at its middle, holding the
// width (at most 255) of the rising or falling ramp of `reference` (8-bit, the mask's size) that
// the middle lies on; the other pixels of those columns become 0. A reference of another format
// leaves the mask unchanged.
void EdgeWidths(Dib& mask, const Dib& reference);

}  // namespace fw
