#include "core/statistics.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

namespace fw {

namespace {

// Float grey of a 24-bit pixel for the centroid moment, in this order of terms.
inline float FloatGrey(const uint8_t* pixel) {
  return 0.59f * pixel[1] + 0.11f * pixel[0] + 0.3f * pixel[2];
}

MeanVariance FromSums(double sum, double sumOfSquares, int64_t n) {
  if (n <= 0) return {};
  const double mean = sum / n;
  return {static_cast<float>(mean), static_cast<float>(sumOfSquares / n - mean * mean)};
}

}  // namespace

int Centroid(const Dib& image, int& outX, int& outY) {
  if (image.GetBitCount() != 8) return 0;
  int count = 0;
  int64_t sum = 0;
  int64_t sumX = 0;
  int64_t sumY = 0;
  const int w = image.Width();
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.Row(y);
    int64_t rowSum = 0;
    for (int x = 0; x < w; ++x) {
      const int v = row[x];
      count += v != 0;
      rowSum += v;
      sumX += static_cast<int64_t>(x) * v;
    }
    sum += rowSum;
    sumY += y * rowSum;
  }
  if (sum > 0) {
    // Exact quotients, truncated: the sums are exact in 64 bits.
    outX = static_cast<int>(sumX / sum);
    outY = static_cast<int>(sumY / sum);
  }
  return count;
}

float CentroidMoment(const Dib& image, std::span<const uint8_t> mask, int mode) {
  const int bits = image.GetBitCount();
  if (mode != 2 || (bits != 8 && bits != 24)) return -1.0f;
  const int w = image.Width();
  const int h = image.Height();
  if (mask.size() < static_cast<size_t>(w) * h) return -1.0f;
  const auto grey = [bits](const uint8_t* row, int x) {
    return bits == 8 ? static_cast<float>(row[x]) : FloatGrey(row + 3 * x);
  };
  double total = 0.0;
  double sumX = 0.0;
  double sumY = 0.0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = image.Row(y);
    const uint8_t* m = mask.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      if (m[x] == 0) continue;
      const double g = grey(row, x);
      total += g;
      sumX += x * g;
      sumY += y * g;
    }
  }
  if (total < 0.001) return 0.0f;
  const double cx = sumX / total;
  const double cy = sumY / total;
  double moment = 0.0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = image.Row(y);
    const uint8_t* m = mask.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      if (m[x] == 0) continue;
      const double g = grey(row, x);
      moment += g * g * std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
    }
  }
  return static_cast<float>(moment / (static_cast<double>(w) * h));
}

int RectMean(const Dib& image, int x0, int y0, int x1, int y1) {
  const int bits = image.GetBitCount();
  if (bits != 8 && bits != 24) return 0;
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, image.Width() - 1);
  y1 = std::min(y1, image.Height() - 1);
  if (x1 < x0 || y1 < y0) return 0;
  const int64_t area = static_cast<int64_t>(x1 - x0 + 1) * (y1 - y0 + 1);
  int64_t sum = 0;
  for (int y = y0; y <= y1; ++y) {
    const uint8_t* row = image.Row(y);
    if (bits == 8) {
      for (int x = x0; x <= x1; ++x) sum += row[x];
    } else {
      for (int x = x0; x <= x1; ++x) {
        const uint8_t* p = row + 3 * x;
        sum += 59 * p[1] + 11 * p[0] + 30 * p[2];
      }
    }
  }
  return static_cast<int>(bits == 8 ? sum / area : sum / (area * 100));
}

namespace {

// Texture of interior pixel x of a 24-bit row, with the rows above and below.
inline int Texture(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int x) {
  int t = 0;
  for (int c = 0; c < 3; ++c) {
    const int o = 3 * x + c;
    t += std::abs(down[o] - up[o]) + std::abs(mid[o + 3] - mid[o - 3]);
  }
  return t;
}

}  // namespace

void TextureMap(const Dib& image, std::span<int32_t> counts) {
  if (image.GetBitCount() != 24) return;
  const int w = image.Width();
  const int h = image.Height();
  if (counts.size() < static_cast<size_t>(w) * h) return;
  for (int y = 1; y < h - 1; ++y) {
    const uint8_t* up = image.Row(y - 1);
    const uint8_t* mid = image.Row(y);
    const uint8_t* down = image.Row(y + 1);
    int32_t* out = counts.data() + static_cast<size_t>(y) * w;
    for (int x = 1; x < w - 1; ++x) out[x] = Texture(up, mid, down, x);
  }
}

MeanVariance TextureStats(const Dib& image, int mode) {
  if (mode != 0 || image.GetBitCount() != 24) return {};
  const int w = image.Width();
  const int h = image.Height();
  double sum = 0.0;
  double sumOfSquares = 0.0;
  for (int y = 1; y < h - 1; ++y) {
    const uint8_t* up = image.Row(y - 1);
    const uint8_t* mid = image.Row(y);
    const uint8_t* down = image.Row(y + 1);
    for (int x = 1; x < w - 1; ++x) {
      const double u = static_cast<float>(Texture(up, mid, down, x)) / 3.0f;
      sum += u;
      sumOfSquares += u * u;
    }
  }
  const int64_t n = w > 2 && h > 2 ? static_cast<int64_t>(w - 2) * (h - 2) : 0;
  return FromSums(sum, sumOfSquares, n);
}

MeanVariance IntensityStats(const Dib& image, int mode) {
  if (mode != 0 || image.GetBitCount() != 24) return {};
  const int w = image.Width();
  const int h = image.Height();
  double sum = 0.0;
  double sumOfSquares = 0.0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = image.Row(y);
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = row + 3 * x;
      const double u = static_cast<float>(p[0] + p[1] + p[2]) / 3.0f;
      sum += u;
      sumOfSquares += u * u;
    }
  }
  return FromSums(sum, sumOfSquares, static_cast<int64_t>(w) * h);
}

void EdgeWidths(Dib& mask, const Dib& reference) {
  if (mask.GetBitCount() != 8) return;
  assert(reference.SameFormat(mask));
  if (!reference.SameFormat(mask)) return;
  const int w = mask.Width();
  for (int y = 0; y < mask.Height() - 2; ++y) {
    uint8_t* m = mask.Row(y);
    const uint8_t* r = reference.Row(y);
    // Each run that ends inside the row leaves one mark at its middle.
    int start = -1;
    for (int i = 1; i < w - 1; ++i) {
      if (m[i] != 0) {
        if (start < 0) start = i;
        m[i] = 0;
      } else if (start >= 0) {
        m[(start + i - 1) / 2] = 255;
        start = -1;
      }
    }
    // Each mark becomes the width of the monotonic ramp of the reference through it.
    for (int i = 1; i < w - 1; ++i) {
      if (m[i] == 0) continue;
      int a = i;
      int b = i;
      if (r[i] < r[i + 1]) {
        while (a > 0 && r[a - 1] < r[a]) --a;
        while (b < w - 1 && r[b] < r[b + 1]) ++b;
      } else {
        while (a > 0 && r[a] < r[a - 1]) --a;
        while (b < w - 1 && r[b + 1] < r[b]) ++b;
      }
      m[i] = static_cast<uint8_t>(std::min(b - a, 255));
    }
  }
}

}  // namespace fw
