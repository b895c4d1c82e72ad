// Resampling and geometry: bilinear resampling of rectangles, the zoom-and-pan view of the panes,
// rotation, 2:1 reduction, cropping, centred pasting, the Gaussian pyramid, and planes of floats
// or integers shown as images. Rows and columns are memory rows and pixels.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"

namespace fw {

// A rectangle of pixel positions; whether x1 and y1 are included is stated per operation.
struct SampleRect {
  int x0 = 0;
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
};

// Bilinear resampling of the inclusive source rectangle s of a 24-bit image onto the inclusive
// rectangle d of the destination (8-bit: the hundredths grey of the truncated channels; 24-bit:
// the channels). Source rows and columns are clamped to the image; destination pixels outside
// the destination are skipped. Other depths, or an empty rectangle, write nothing. `aspect` is
// accepted for the callers' sake; every caller passes 0 and it has no effect.
void ResampleRect(const Dib& source, Dib& destination, SampleRect s, SampleRect d, int aspect = 0);

// As ResampleRect into an 8-bit destination, with the scale (s1 - s0) / (d1 - d0), destination
// rows dy0..dy1 - 1 and columns dx0..dx1 - 1, and the grey truncate(0.59 G + 0.11 B + 0.3 R + 0.5)
// of the truncated channels (255 when the sum reaches 255).
void ResampleGray(const Dib& source, Dib& destination, SampleRect s, SampleRect d, int aspect = 0);

// Renders into the 24-bit destination the source (8-bit or 24-bit) seen at magnification `zoom`
// with source point (cx, cy) at the destination centre, bilinear; destination pixels that map
// outside the source get the background colour red 236, green 233, blue 216. A zoom that is not
// positive, or a destination that is not 24-bit, writes nothing.
void ZoomView(const Dib& source, Dib& destination, float zoom, int cx, int cy);

// Rotation by `angle` radians about (cx, cy) into a destination of the source's format (8 or 24
// bits): each destination pixel takes the bilinear value (truncated) at its rotated source
// position, or 0 where that position's whole part lies outside 0..width - 2 by 0..height - 2.
void RotateAbout(const Dib& source, Dib& destination, double cx, double cy, double angle);

// destination(x, y) = source(2x, 2y); the destination has half the width and height (integer
// halves) and the source's depth (8 or 24), else nothing is written.
void Halve(const Dib& source, Dib& destination);
// As Halve, copying only the first two bytes of each 24-bit pixel (intensity and saturation).
void HalveTwoBytes(const Dib& source, Dib& destination);

// Copies columns x0..x1 - 1 of rows y0..y1 - 1 of a 24-bit source into the destination,
// re-created bottom-up (CreateSigned) of that size when its format differs. A rectangle that is
// empty or not inside the source writes nothing.
void Crop(const Dib& source, Dib& destination, int x0, int y0, int x1, int y1);

// Pastes the source with its centre at (x, y) of the destination, clipped to the destination:
// 8 to 8 and 24 to 24 copy, 24 to 8 writes the grey, 8 to 24 writes the value as green.
void PasteCentred(const Dib& source, Dib& destination, int x, int y);

// Level 0 is the grey of a 24-bit source (a copy of an 8-bit one); level k is level k - 1
// smoothed by 1 2 1 / 2 4 2 / 1 2 1 (/16) and sampled at even positions, its left column and upper
// row standing in for the missing neighbours at x = 0 and y = 0. The level images are created
// (8-bit, bottom-up, each half the size of the one before) when `images` is empty, or no longer
// holds `levels` images with level 0 of the source's size.
void GaussianPyramid(const Dib& source, int levels, std::vector<Dib>& images);

// Writes width x height plane values into the first rows and columns of an image of the given
// depth (8: plane 0; 24: planes 0, 1, 2, consecutive, into bytes 0, 1, 2 of each pixel) as
// min(|v|, 255), floats truncated. Writing stops at the image's edges; a depth that differs from
// the image's, or planes shorter than the values named, write nothing.
void FloatPlanesToImage(std::span<const float> planes, int width, int height, int depth,
                        Dib& image);
void IntPlanesToImage(std::span<const int32_t> planes, int width, int height, int depth,
                      Dib& image);

}  // namespace fw
