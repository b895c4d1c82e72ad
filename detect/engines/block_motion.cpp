#include "detect/engines/block_motion.h"

#include <algorithm>
#include <cassert>

#include "core/draw.h"
#include "core/text_stamp.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fw::engines {

void DrawCodeArrow(Dib& image, int code, int x0, int y0, int size, Rgb8 colour, int headLength) {
  const int x1 = x0 + size;
  const int y1 = y0 + size;
  const int cx = x0 + size / 2;
  const int cy = y0 + size / 2;
  // From and to of each code: the arrow points where the content moved.
  const int from[9][2] = {{0, 0},   {x0, cy}, {x0, y0}, {cx, y0}, {x1, y0},
                          {x1, cy}, {x1, y1}, {cx, y1}, {x0, y1}};
  const int to[9][2] = {{0, 0},   {x1, cy}, {x1, y1}, {cx, y1}, {x0, y1},
                        {x0, cy}, {x0, y0}, {cx, y0}, {x1, y0}};
  if (code < 1 || code > kCodeCount) return;
  DrawArrow(image, from[code][0], from[code][1], to[code][0], to[code][1], colour.red, colour.green,
            colour.blue, headLength, 30.0);
}

#if defined(__SSE2__)

namespace {

// |a - b| summed over the 24 bytes of one block row, as two 64-bit lanes.
inline __m128i RowSad(const uint8_t* a, const uint8_t* b) {
  const __m128i head = _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
  const __m128i tail = _mm_sad_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 16)),
                                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 16)));
  return _mm_add_epi64(head, tail);
}

inline int LaneSum(__m128i v) {
  return _mm_cvtsi128_si32(v) + _mm_cvtsi128_si32(_mm_srli_si128(v, 8));
}

}  // namespace

int BlockSad(const uint8_t* a, const uint8_t* b, int stride) {
  __m128i sum = _mm_setzero_si128();
  for (int j = 0; j < 8; ++j, a += stride, b += stride) sum = _mm_add_epi64(sum, RowSad(a, b));
  return LaneSum(sum);
}

int BlockSadBelow(const uint8_t* a, const uint8_t* b, int stride, int limit) {
  // Two rows at a time: the test costs about as much as a row.
  int sum = 0;
  for (int j = 0; j < 8; j += 2, a += 2 * stride, b += 2 * stride) {
    sum += LaneSum(_mm_add_epi64(RowSad(a, b), RowSad(a + stride, b + stride)));
    if (sum >= limit) return sum;
  }
  return sum;
}

#else

int BlockSad(const uint8_t* a, const uint8_t* b, int stride) {
  return BlockSadPlain(a, b, stride);
}

int BlockSadBelow(const uint8_t* a, const uint8_t* b, int stride, int limit) {
  int sum = 0;
  for (int j = 0; j < 8; ++j, a += stride, b += stride) {
    for (int i = 0; i < 24; ++i) sum += std::abs(a[i] - b[i]);
    if (sum >= limit) return sum;
  }
  return sum;
}

#endif

void IntegralImage::Allocate(int width, int height, int channels) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  channels_ = channels;
  stride_ = static_cast<size_t>(width_) * channels_;
  values_.assign(stride_ * height_, 0u);
}

void IntegralImage::Clear() {
  std::fill(values_.begin(), values_.end(), 0u);
}

void IntegralImage::Compute(const Dib& picture) {
  assert(picture.Width() == width_ && picture.Height() == height_ &&
         picture.BytesPerPixel() == channels_);
  const size_t n = stride_;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = picture.Row(y);
    uint32_t* row = values_.data() + static_cast<size_t>(y) * n;
    const uint32_t* below = y > 0 ? row - n : nullptr;
    // Running sums along the row, one per channel, then the row below added.
    std::array<uint32_t, 4> run{};
    for (size_t i = 0; i < n; i += channels_) {
      for (int c = 0; c < channels_; ++c) {
        run[c] += src[i + c];
        row[i + c] = run[c];
      }
    }
    if (below != nullptr) {
      for (size_t i = 0; i < n; ++i) row[i] += below[i];
    }
  }
}

void IntegralImage::ComputeMeanGrey(const Dib& picture) {
  assert(picture.Width() == width_ && picture.Height() == height_ && picture.GetBitCount() == 24 &&
         channels_ == 1);
  const size_t n = stride_;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = picture.Row(y);
    uint32_t* row = values_.data() + static_cast<size_t>(y) * n;
    uint32_t run = 0;
    for (size_t x = 0; x < n; ++x, src += 3) {
      run += (static_cast<uint32_t>(src[0]) + src[1] + src[2]) / 3;
      row[x] = run;
    }
    if (y > 0) {
      const uint32_t* below = row - n;
      for (size_t x = 0; x < n; ++x) row[x] += below[x];
    }
  }
}

int LabelBlockRegions(std::span<uint8_t> labels, int columns, int rows, uint8_t lowest,
                      uint8_t highest, int minimum, std::span<int32_t> sizes,
                      std::span<int32_t> queue) {
  assert(labels.size() >= static_cast<size_t>(columns) * rows && queue.size() >= labels.size());
  assert(highest < kFirstRegionLabel);
  const auto candidate = [&](int index) {
    return labels[index] >= lowest && labels[index] <= highest;
  };
  // Neighbours in the order right, down-right, down, down-left, left, up-left, up, up-right
  // (down = the next block row).
  constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  constexpr int kDy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  const int maxRegions = static_cast<int>(sizes.size());
  int regions = 0;
  for (int start = 0; start < columns * rows && regions < maxRegions; ++start) {
    if (!candidate(start)) continue;
    const auto label = static_cast<uint8_t>(kFirstRegionLabel + regions);
    // The group reached from the block: a block is labelled when it is queued, so each is queued
    // once, and the queue ends up holding the whole group (the order of the search does not
    // change which blocks it reaches).
    int size = 0;
    queue[size++] = start;
    labels[start] = label;
    for (int head = 0; head < size; ++head) {
      const int c = queue[head] % columns;
      const int r = queue[head] / columns;
      for (int k = 0; k < 8; ++k) {
        const int nc = c + kDx[k];
        const int nr = r + kDy[k];
        if (nc < 0 || nc >= columns || nr < 0 || nr >= rows) continue;
        const int next = nr * columns + nc;
        if (!candidate(next)) continue;
        labels[next] = label;
        queue[size++] = next;
      }
    }
    if (size >= minimum) {
      sizes[regions++] = size;
    } else {
      for (int i = 0; i < size; ++i) labels[queue[i]] = kSmallRegionLabel;
    }
  }
  return regions;
}

ColourRamp MakeColourRamp() {
  std::array<uint8_t, 3 * kRampSize> bytes{};
  HueRamp(bytes.data(), kRampSize, 0.625f, 0.0f);
  ColourRamp ramp;
  for (int i = 0; i < kRampSize; ++i) ramp[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
  return ramp;
}

void DrawRampBar(Dib& image, const ColourRamp& ramp, int x0, int y0, int width, int height) {
  for (int j = 0; j < width; ++j) {
    const Rgb8 c = ramp[j * kRampSize / width];
    FillRect(image, x0 + j, y0, x0 + j, y0 + height - 1, c.red, c.green, c.blue);
  }
}

void StampText(Dib& image, const char* text, int x, int y, Rgb8 colour) {
  DrawText(image, text, x, y, 12, 24, colour.red, colour.green, colour.blue);
}

}  // namespace fw::engines
