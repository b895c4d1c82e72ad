// What the block-motion engines share: the motion direction codes, the block arrows of their
// displays, the sum of absolute differences of two 8 x 8 colour blocks, integral images for
// window sums, the labelling of block regions and the 100-entry colour ramp.
//
// Coordinates are memory coordinates: x to the right within a row, y counting rows in memory
// order. Frames are bottom-up, so +y is upwards in the picture.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/colour.h"
#include "core/dib.h"

namespace fw::engines {

// Direction codes name where a block's content moved between the previous and the current frame:
// 0 none, 1 (+x), 2 (+x, +y), 3 (+y), 4 (-x, +y), 5 (-x), 6 (-x, -y), 7 (-y), 8 (+x, -y).
inline constexpr int kCodeCount = 8;
inline constexpr std::array<int, 9> kCodeStepX = {0, 1, 1, 0, -1, -1, -1, 0, 1};
inline constexpr std::array<int, 9> kCodeStepY = {0, 0, 1, 1, 1, 0, -1, -1, -1};

// The opposite direction, and the neighbours of a direction, wrapping within 1..8.
constexpr int OppositeCode(int code) {
  return (code + 3) % kCodeCount + 1;
}
constexpr int WrapCode(int code) {
  return (code + kCodeCount - 1) % kCodeCount + 1;
}
// Codes 2, 3 and 4 move upwards in the picture.
constexpr bool IsUpwardCode(int code) {
  return code >= 2 && code <= 4;
}

// The arrow of a direction code across the block whose corner is (x0, y0) and whose side is
// `size`: along the block's middle for the axis codes, along a diagonal for the others; the head
// (half-angle 30 degrees) at the end the content moved to.
void DrawCodeArrow(Dib& image, int code, int x0, int y0, int size, Rgb8 colour, int headLength);

// Sum over an 8 x 8 block of 24-bit pixels and its three channels of |a - b|; both blocks' rows
// lie `stride` bytes apart.
int BlockSad(const uint8_t* a, const uint8_t* b, int stride);
// The same sum, leaving off once it reaches `limit` (the value returned is then >= limit and no
// more than the whole sum).
int BlockSadBelow(const uint8_t* a, const uint8_t* b, int stride, int limit);
// The plain sum, the reference of the two above.
inline int BlockSadPlain(const uint8_t* a, const uint8_t* b, int stride) {
  int sum = 0;
  for (int j = 0; j < 8; ++j, a += stride, b += stride) {
    for (int i = 0; i < 24; ++i) sum += std::abs(a[i] - b[i]);
  }
  return sum;
}

// Integral image of `channels` interleaved byte planes of a picture: I(x, y) holds, for each
// channel, the sum of the values at x' <= x and y' <= y. Sums are kept modulo 2^32, so that the
// difference of four corners gives every window sum below 2^32 exactly, whatever the picture size.
class IntegralImage {
 public:
  void Allocate(int width, int height, int channels);
  // Of the bytes of each pixel of a picture of the allocated size with `channels` bytes a pixel
  // (24-bit: blue, green, red).
  void Compute(const Dib& picture);
  // Of the grey (b + g + r) / 3 of each pixel of a 24-bit picture of the allocated size (one
  // channel).
  void ComputeMeanGrey(const Dib& picture);
  void Clear();
  void Swap(IntegralImage& other) { values_.swap(other.values_); }

  // The channel sums at (x, y), `channels` of them.
  const uint32_t* At(int x, int y) const {
    return values_.data() + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * channels_;
  }
  // Sum of channel c over x0 < x <= x1, y0 < y <= y1 (corners inside the picture).
  uint32_t Window(int x0, int y0, int x1, int y1, int c = 0) const {
    return At(x1, y1)[c] - At(x0, y1)[c] - At(x1, y0)[c] + At(x0, y0)[c];
  }
  // Window sum as a signed value (windows of at most 2^31 - 1).
  int32_t SignedWindow(int x0, int y0, int x1, int y1, int c = 0) const {
    return static_cast<int32_t>(Window(x0, y0, x1, y1, c));
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  size_t Bytes() const { return values_.size() * sizeof(uint32_t); }

 private:
  int width_ = 0;
  int height_ = 0;
  int channels_ = 1;
  size_t stride_ = 0;  // values a row
  std::vector<uint32_t> values_;
};

// Region labelling of a block map (row-major, `columns` x `rows`). Blocks whose value lies in
// lowest..highest are candidates; each 8-connected group of candidates found in row order gets
// the label 10 + its number when it has at least `minimum` blocks (its size goes into `sizes`),
// else 255. After `sizes.size()` regions the scan stops and later candidates keep their values.
// `queue` is work space of at least one entry per block. Returns the number of regions.
int LabelBlockRegions(std::span<uint8_t> labels, int columns, int rows, uint8_t lowest,
                      uint8_t highest, int minimum, std::span<int32_t> sizes,
                      std::span<int32_t> queue);
inline constexpr int kFirstRegionLabel = 10;
inline constexpr uint8_t kSmallRegionLabel = 255;
inline bool IsRegionLabel(uint8_t label, int regionCount) {
  return label >= kFirstRegionLabel && label < kFirstRegionLabel + regionCount;
}

// The engines' colour ramp: 100 entries from hue 0.625 (blue) through the violets to hue 0 (red).
inline constexpr int kRampSize = 100;
using ColourRamp = std::array<Rgb8, kRampSize>;
ColourRamp MakeColourRamp();
// The ramp as a bar `width` pixels wide and `height` rows high from (x0, y0), ramp entry
// j * kRampSize / width at column j.
void DrawRampBar(Dib& image, const ColourRamp& ramp, int x0, int y0, int width, int height);

// Stamps a line of text into a 24-bit picture with 12 x 24 glyphs.
void StampText(Dib& image, const char* text, int x, int y, Rgb8 colour);

}  // namespace fw::engines
