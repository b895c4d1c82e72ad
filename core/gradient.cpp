#include "core/gradient.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/colour.h"

namespace fw {

namespace {

constexpr double kMagnitudeScale8 = 0.707;
constexpr double kMagnitudeScale24 = 0.00707;
constexpr double kSobelScale8 = 0.17675;
constexpr double kSobelScale24 = 0.05891667;
// Largest sums of squares: two differences of 255 (8-bit) or of 100 x 255 (24-bit, hundredths).
constexpr uint32_t kMaxSum8 = 2u * 255u * 255u;
constexpr uint32_t kMaxSum24 = 2u * 25500u * 25500u;

inline int Magnitude(uint32_t sumOfSquares, double scale) {
  return static_cast<int>(std::sqrt(static_cast<double>(sumOfSquares)) * scale);
}

inline uint8_t ToByte(int v) {
  return static_cast<uint8_t>(std::min(v, 255));
}

inline uint32_t SumOfSquares(int dx, int dy) {
  return static_cast<uint32_t>(dx * dx) + static_cast<uint32_t>(dy * dy);
}

// Difference between two pixels: the byte itself, or the hundredths-weighted channels.
template <int kBytes>
inline int PixelDifference(const uint8_t* a, const uint8_t* b) {
  if constexpr (kBytes == 1) {
    return a[0] - b[0];
  } else {
    return 59 * (a[1] - b[1]) + 30 * (a[2] - b[2]) + 11 * (a[0] - b[0]);
  }
}

// Re-creates the destination as an 8-bit image of the source's size when its format differs;
// the header height becomes +height.
void EnsureGrey(const Dib& source, Dib& destination, bool keepPixels) {
  if (!destination.SameFormat(source.Width(), source.Height(), 8)) {
    destination.Create(source.Width(), -source.Height(), 8, keepPixels);
  }
}

// One row of out(dx, dy) with the four neighbours clamped at the border. The border columns are
// handled apart so that the interior loop has no branches; the row pointers are restrict
// parameters so that the compiler needs no aliasing check to vectorise.
template <int kBytes, typename Out>
inline void CentralDifferenceRow(const uint8_t* __restrict up, const uint8_t* __restrict cur,
                                 const uint8_t* __restrict down, uint8_t* __restrict dst, int w,
                                 Out out) {
  if (w == 1) {
    dst[0] = out(0, PixelDifference<kBytes>(up, down));
    return;
  }
  dst[0] = out(PixelDifference<kBytes>(cur, cur + kBytes), PixelDifference<kBytes>(up, down));
  for (int x = 1; x < w - 1; ++x) {
    dst[x] = out(PixelDifference<kBytes>(cur + kBytes * (x - 1), cur + kBytes * (x + 1)),
                 PixelDifference<kBytes>(up + kBytes * x, down + kBytes * x));
  }
  const int last = w - 1;
  dst[last] = out(PixelDifference<kBytes>(cur + kBytes * (last - 1), cur + kBytes * last),
                  PixelDifference<kBytes>(up + kBytes * last, down + kBytes * last));
}

template <int kBytes, typename Out>
void CentralDifferences(const Dib& source, Dib& destination, Out out) {
  const int w = source.Width();
  const int h = source.Height();
  if (w == 0) return;
  for (int y = 0; y < h; ++y) {
    CentralDifferenceRow<kBytes>(source.Row(y > 0 ? y - 1 : y), source.Row(y),
                                 source.Row(y < h - 1 ? y + 1 : y), destination.Row(y), w, out);
  }
}

// truncate(sqrt(s) x 0.707) of every sum of squares of two byte differences, capped at 255:
// one table look-up per pixel instead of a square root.
const std::vector<uint8_t>& MagnitudeTable8() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(kMaxSum8 + 1);
    for (uint32_t s = 0; s <= kMaxSum8; ++s) t[s] = ToByte(Magnitude(s, kMagnitudeScale8));
    return t;
  }();
  return table;
}

template <int kBytes>
void MagnitudeRows(const Dib& source, Dib& destination, uint8_t threshold) {
  const double scale = kBytes == 1 ? kMagnitudeScale8 : kMagnitudeScale24;
  if (threshold == 0 && kBytes == 1) {
    const uint8_t* table = MagnitudeTable8().data();
    CentralDifferences<kBytes>(source, destination,
                               [table](int dx, int dy) { return table[SumOfSquares(dx, dy)]; });
    return;
  }
  if (threshold == 0) {
    CentralDifferences<kBytes>(source, destination, [scale](int dx, int dy) {
      return ToByte(Magnitude(SumOfSquares(dx, dy), scale));
    });
    return;
  }
  const uint32_t limit = MagnitudeThreshold(scale, threshold, kBytes == 1 ? kMaxSum8 : kMaxSum24);
  CentralDifferences<kBytes>(source, destination, [limit](int dx, int dy) -> uint8_t {
    return SumOfSquares(dx, dy) >= limit ? 255 : 0;
  });
}

template <int kBytes>
void AbsSumRows(const Dib& source, Dib& destination, uint8_t threshold) {
  const auto sum = [](int dx, int dy) {
    const uint32_t total = static_cast<uint32_t>(std::abs(dx) + std::abs(dy));
    return kBytes == 1 ? total >> 1 : DivideBy200(total);
  };
  if (threshold == 0) {
    CentralDifferences<kBytes>(source, destination,
                               [sum](int dx, int dy) { return static_cast<uint8_t>(sum(dx, dy)); });
    return;
  }
  const uint32_t t = threshold;
  CentralDifferences<kBytes>(source, destination, [sum, t](int dx, int dy) -> uint8_t {
    return sum(dx, dy) >= t ? 255 : 0;
  });
}

// Sobel responses of one channel at column offset o of the rows above, at and below the pixel;
// `step` is the distance between neighbouring pixels in bytes.
inline void SobelChannel(const uint8_t* top, const uint8_t* mid, const uint8_t* bottom, int o,
                         int step, int& gx, int& gy) {
  const int l = o - step;
  const int r = o + step;
  gx += (top[r] + 2 * mid[r] + bottom[r]) - (top[l] + 2 * mid[l] + bottom[l]);
  gy += (bottom[l] + 2 * bottom[o] + bottom[r]) - (top[l] + 2 * top[o] + top[r]);
}

template <int kBytes>
void SobelRows(const Dib& source, Dib& destination) {
  const double scale = kBytes == 1 ? kSobelScale8 : kSobelScale24;
  const int w = source.Width();
  const int h = source.Height();
  for (int y = 1; y < h - 1; ++y) {
    const uint8_t* __restrict top = source.Row(y - 1);
    const uint8_t* __restrict mid = source.Row(y);
    const uint8_t* __restrict bottom = source.Row(y + 1);
    uint8_t* __restrict dst = destination.Row(y);
    for (int x = 1; x < w - 1; ++x) {
      int gx = 0;
      int gy = 0;
      for (int c = 0; c < kBytes; ++c)
        SobelChannel(top, mid, bottom, kBytes * x + c, kBytes, gx, gy);
      dst[x] = ToByte(Magnitude(SumOfSquares(gx, gy), scale));
    }
  }
}

inline void HorizontalEdgeRow(const uint8_t* __restrict top, const uint8_t* __restrict mid,
                              const uint8_t* __restrict bottom, uint8_t* __restrict dst, int w,
                              int t) {
  for (int x = 1; x < w - 1; ++x) {
    const int d = (std::abs(top[x + 1] - top[x - 1]) + 2 * std::abs(mid[x + 1] - mid[x - 1]) +
                   std::abs(bottom[x + 1] - bottom[x - 1])) >>
                  2;
    dst[x] = static_cast<uint8_t>(d >= t ? d : 0);
  }
}

}  // namespace

uint32_t MagnitudeThreshold(double scale, int level, uint32_t maxSum) {
  if (Magnitude(maxSum, scale) < level) return maxSum + 1;
  uint32_t lo = 0;  // invariant: the answer lies in [lo, hi]
  uint32_t hi = maxSum;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (Magnitude(mid, scale) >= level) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

void GradientMagnitude(const Dib& source, Dib& destination, uint8_t threshold) {
  const int bits = source.GetBitCount();
  if (bits != 8 && bits != 24) return;
  assert(&source != &destination);
  if (&source == &destination) return;
  EnsureGrey(source, destination, true);
  if (bits == 8) {
    MagnitudeRows<1>(source, destination, threshold);
  } else {
    MagnitudeRows<3>(source, destination, threshold);
  }
}

void GradientAbsSum(const Dib& source, Dib& destination, uint8_t threshold) {
  const int bits = source.GetBitCount();
  if (bits != 8 && bits != 24) return;
  assert(&source != &destination);
  if (&source == &destination) return;
  EnsureGrey(source, destination, true);
  if (bits == 8) {
    AbsSumRows<1>(source, destination, threshold);
  } else {
    AbsSumRows<3>(source, destination, threshold);
  }
}

void SobelMagnitude(const Dib& source, Dib& destination) {
  const int bits = source.GetBitCount();
  if (bits != 8 && bits != 24) return;
  assert(&source != &destination);
  if (&source == &destination) return;
  EnsureGrey(source, destination, false);
  if (bits == 8) {
    SobelRows<1>(source, destination);
  } else {
    SobelRows<3>(source, destination);
  }
}

void HorizontalEdge(const Dib& source, Dib& destination, uint8_t threshold) {
  if (source.GetBitCount() != 8) return;
  assert(destination.SameFormat(source) && &source != &destination);
  if (!destination.SameFormat(source) || &source == &destination) return;
  const int w = source.Width();
  const int h = source.Height();
  const int t = threshold;
  for (int y = 1; y < h - 1; ++y) {
    HorizontalEdgeRow(source.Row(y - 1), source.Row(y), source.Row(y + 1), destination.Row(y), w,
                      t);
  }
}

}  // namespace fw
