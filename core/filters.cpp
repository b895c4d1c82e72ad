#include "core/filters.h"

#include <algorithm>

namespace fw {

namespace {

bool FilterFormats(const Dib& source, const Dib& destination) {
  const int bits = source.GetBitCount();
  return (bits == 8 || bits == 24) && source.SameFormat(destination) &&
         source.Stride() == destination.Stride() && source.Width() >= 3 && source.Height() >= 3;
}

inline void SortPair(uint8_t& a, uint8_t& b) {
  const uint8_t lo = std::min(a, b);
  const uint8_t hi = std::max(a, b);
  a = lo;
  b = hi;
}

// Median of nine by a fixed exchange network (19 exchanges).
inline uint8_t MedianOfNine(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5,
                            uint8_t p6, uint8_t p7, uint8_t p8) {
  SortPair(p1, p2);
  SortPair(p4, p5);
  SortPair(p7, p8);
  SortPair(p0, p1);
  SortPair(p3, p4);
  SortPair(p6, p7);
  SortPair(p1, p2);
  SortPair(p4, p5);
  SortPair(p7, p8);
  SortPair(p0, p3);
  SortPair(p5, p8);
  SortPair(p4, p7);
  SortPair(p3, p6);
  SortPair(p1, p4);
  SortPair(p2, p5);
  SortPair(p4, p7);
  SortPair(p4, p2);
  SortPair(p6, p4);
  SortPair(p4, p2);
  return p4;
}

}  // namespace

void Median3x3(const Dib& source, Dib& destination) {
  if (!FilterFormats(source, destination)) return;
  const int bpp = source.BytesPerPixel();
  const int first = bpp;
  const int last = (source.Width() - 1) * bpp;  // one past the last interior byte
  for (int y = 1; y + 1 < source.Height(); ++y) {
    const uint8_t* up = source.Row(y - 1);
    const uint8_t* mid = source.Row(y);
    const uint8_t* down = source.Row(y + 1);
    uint8_t* out = destination.Row(y);
    for (int i = first; i < last; ++i) {
      out[i] = MedianOfNine(up[i - bpp], up[i], up[i + bpp], mid[i - bpp], mid[i], mid[i + bpp],
                            down[i - bpp], down[i], down[i + bpp]);
    }
  }
}

void Smooth3x3(const Dib& source, Dib& destination) {
  if (!FilterFormats(source, destination)) return;
  const int bpp = source.BytesPerPixel();
  const int first = bpp;
  const int last = (source.Width() - 1) * bpp;
  for (int y = 1; y + 1 < source.Height(); ++y) {
    const uint8_t* up = source.Row(y - 1);
    const uint8_t* mid = source.Row(y);
    const uint8_t* down = source.Row(y + 1);
    uint8_t* out = destination.Row(y);
    for (int i = first; i < last; ++i) {
      const uint16_t sum =
          static_cast<uint16_t>(3 * mid[i] + 2 * (mid[i - bpp] + mid[i + bpp] + up[i] + down[i]) +
                                up[i - bpp] + up[i + bpp] + down[i - bpp] + down[i + bpp]);
      out[i] = static_cast<uint8_t>(sum / 15);
    }
  }
}

}  // namespace fw
