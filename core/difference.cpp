#include "core/difference.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>

namespace fw {

namespace {

// The destination takes the sources' width and height; a mismatch is the caller's fault and is
// refused rather than written out of bounds.
bool FitsDestination(const Dib& destination, const Dib& a) {
  const bool fits = destination.Width() == a.Width() && destination.Height() == a.Height();
  assert(fits);
  return fits;
}

bool MaskDepth(const Dib& destination) {
  return destination.GetBitCount() == 8 || destination.GetBitCount() == 24;
}

inline int WeightedDifference(const uint8_t* a, const uint8_t* b) {
  return 59 * std::abs(a[1] - b[1]) + 30 * std::abs(a[2] - b[2]) + 11 * std::abs(a[0] - b[0]);
}

// Writes 255 or 0 into every byte of each destination pixel. rowTest(y) gives the test of row y,
// a callable from column to bool, so that the row pointers are fetched once per row.
template <int kDstBytes, typename RowTest>
void MaskRows(Dib& destination, RowTest rowTest) {
  const int w = destination.Width();
  for (int y = 0; y < destination.Height(); ++y) {
    const auto marked = rowTest(y);
    uint8_t* dst = destination.Row(y);
    for (int x = 0; x < w; ++x) {
      const uint8_t m = marked(x) ? 255 : 0;
      if constexpr (kDstBytes == 1) {
        dst[x] = m;
      } else {
        dst[3 * x] = m;
        dst[3 * x + 1] = m;
        dst[3 * x + 2] = m;
      }
    }
  }
}

template <typename RowTest>
void WriteMask(Dib& destination, RowTest rowTest) {
  if (destination.GetBitCount() == 8) {
    MaskRows<1>(destination, rowTest);
  } else {
    MaskRows<3>(destination, rowTest);
  }
}

}  // namespace

void AbsDifference(Dib& destination, const Dib& a, const Dib& b) {
  const size_t n = destination.PixelBytes();
  assert(a.PixelBytes() >= n && b.PixelBytes() >= n);
  if (a.PixelBytes() < n || b.PixelBytes() < n) return;
  const uint8_t* pa = a.Pixels();
  const uint8_t* pb = b.Pixels();
  uint8_t* dst = destination.Pixels();
  for (size_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(std::abs(pa[i] - pb[i]));
}

void DifferenceMask(Dib& destination, const Dib& a, const Dib& b, int threshold) {
  if (threshold <= 0) {
    AbsDifference(destination, a, b);
    return;
  }
  const int bits = a.GetBitCount();
  if ((bits != 8 && bits != 24) || !a.SameFormat(b) || !MaskDepth(destination)) return;
  if (!FitsDestination(destination, a)) return;
  if (bits == 8) {
    WriteMask(destination, [&a, &b, threshold](int y) {
      const uint8_t* pa = a.Row(y);
      const uint8_t* pb = b.Row(y);
      return [pa, pb, threshold](int x) { return std::abs(pa[x] - pb[x]) >= threshold; };
    });
  } else {
    const int limit = 100 * std::min(threshold, 256);
    WriteMask(destination, [&a, &b, limit](int y) {
      const uint8_t* pa = a.Row(y);
      const uint8_t* pb = b.Row(y);
      return [pa, pb, limit](int x) { return WeightedDifference(pa + 3 * x, pb + 3 * x) >= limit; };
    });
  }
}

void DoubleDifferenceMask(Dib& destination, const Dib& a, const Dib& b, const Dib& c,
                          int threshold) {
  if (a.GetBitCount() != 24 || !a.SameFormat(b) || !a.SameFormat(c) || !MaskDepth(destination)) {
    return;
  }
  if (!FitsDestination(destination, a)) return;
  const int limit = 100 * std::clamp(threshold, 0, 256);
  WriteMask(destination, [&a, &b, &c, limit](int y) {
    const uint8_t* pa = a.Row(y);
    const uint8_t* pb = b.Row(y);
    const uint8_t* pc = c.Row(y);
    return [pa, pb, pc, limit](int x) {
      return WeightedDifference(pa + 3 * x, pb + 3 * x) >= limit ||
             WeightedDifference(pb + 3 * x, pc + 3 * x) >= limit;
    };
  });
}

void ChannelSumDifferenceMask(Dib& destination, const Dib& a, const Dib& b, int threshold) {
  if (a.GetBitCount() != 24 || !a.SameFormat(b) || !MaskDepth(destination)) return;
  if (!FitsDestination(destination, a)) return;
  // |(sumA - sumB) / 3| >= t, truncating toward zero, is |sumA - sumB| >= 3t.
  const int limit = 3 * std::clamp(threshold, 0, 256);
  WriteMask(destination, [&a, &b, limit](int y) {
    const uint8_t* pa = a.Row(y);
    const uint8_t* pb = b.Row(y);
    return [pa, pb, limit](int x) {
      const int sa = pa[3 * x] + pa[3 * x + 1] + pa[3 * x + 2];
      const int sb = pb[3 * x] + pb[3 * x + 1] + pb[3 * x + 2];
      return std::abs(sa - sb) >= limit;
    };
  });
}

void ScaledDifference(Dib& destination, const Dib& a, const Dib& b, int scale, int cap) {
  if (a.GetBitCount() != 24 || !a.SameFormat(b) || destination.GetBitCount() != 8) return;
  if (!FitsDestination(destination, a)) return;
  const int s = static_cast<uint8_t>(scale) == 0 ? 1 : static_cast<uint8_t>(scale);
  const int c = std::clamp(cap, 0, 255);
  // The quotient of every possible channel-difference sum, so that no pixel divides.
  std::array<uint8_t, 3 * 255 + 1> level{};
  for (int sum = 0; sum < static_cast<int>(level.size()); ++sum) {
    level[sum] = static_cast<uint8_t>(std::min(sum / (3 * s), c));
  }
  const int w = destination.Width();
  for (int y = 0; y < destination.Height(); ++y) {
    const uint8_t* pa = a.Row(y);
    const uint8_t* pb = b.Row(y);
    uint8_t* dst = destination.Row(y);
    for (int x = 0; x < w; ++x) {
      const uint8_t* qa = pa + 3 * x;
      const uint8_t* qb = pb + 3 * x;
      dst[x] = level[std::abs(qa[0] - qb[0]) + std::abs(qa[1] - qb[1]) + std::abs(qa[2] - qb[2])];
    }
  }
}

}  // namespace fw
