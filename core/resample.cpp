#include "core/resample.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/colour.h"

namespace fw {

namespace {

inline uint8_t GreyOf(const uint8_t* pixel) {
  return static_cast<uint8_t>(DivideBy100(30u * pixel[2] + 59u * pixel[1] + 11u * pixel[0]));
}

// Bilinear blend of the four neighbours in single precision, terms in this order.
inline float Bilinear(float ax, float ay, int c00, int c10, int c01, int c11) {
  return (1 - ay) * (1 - ax) * c00 + (1 - ay) * ax * c10 + ay * (1 - ax) * c01 + ay * ax * c11;
}

// Truncation of a blended channel; the weights sum to 1 up to rounding, so only a rounding step
// can leave the byte range.
inline int TruncateChannel(float v) {
  if (!(v > 0.0f)) return 0;
  return v >= 255.0f ? 255 : static_cast<int>(v);
}

// Source position of one destination row or column of a resampling: the sample, its neighbour
// and the fraction between them. `whole` is the source position of the first destination
// pixel plus the truncated offset; the neighbour steps on only while below `last` - 1 (the
// rectangle's far edge), and both stay inside 0..size - 1.
struct Tap {
  int near = 0;
  int far = 0;
  float fraction = 0.0f;
};

inline Tap ResampleTap(float scale, int offset, int origin, int last, int size) {
  const float f = scale * static_cast<float>(offset);
  const int whole = static_cast<int>(f);
  Tap tap;
  tap.near = std::clamp(origin + whole, 0, size - 1);
  tap.fraction = f - static_cast<float>(whole);
  tap.far = std::min(tap.near < last - 1 ? tap.near + 1 : tap.near, size - 1);
  return tap;
}

// Shared body of the two resampling variants. `pixel(dst, x, b, g, r)` writes one destination
// pixel from the truncated channels.
template <typename WritePixel>
void ResampleBody(const Dib& source, Dib& destination, SampleRect s, float scaleX, float scaleY,
                  int dxEnd, int dyEnd, SampleRect d, WritePixel pixel) {
  const int w = source.Width();
  const int h = source.Height();
  if (w == 0 || h == 0) return;
  const int yBegin = std::max(d.y0, 0);
  const int yEnd = std::min(dyEnd, destination.Height());
  const int xBegin = std::max(d.x0, 0);
  const int xEnd = std::min(dxEnd, destination.Width());
  for (int y = yBegin; y < yEnd; ++y) {
    const Tap ty = ResampleTap(scaleY, y - d.y0, s.y0, s.y1, h);
    const uint8_t* row0 = source.Row(ty.near);
    const uint8_t* row1 = source.Row(ty.far);
    uint8_t* dst = destination.Row(y);
    for (int x = xBegin; x < xEnd; ++x) {
      const Tap tx = ResampleTap(scaleX, x - d.x0, s.x0, s.x1, w);
      int c[3];
      for (int k = 0; k < 3; ++k) {
        c[k] = TruncateChannel(Bilinear(tx.fraction, ty.fraction, row0[3 * tx.near + k],
                                        row0[3 * tx.far + k], row1[3 * tx.near + k],
                                        row1[3 * tx.far + k]));
      }
      pixel(dst, x, c[0], c[1], c[2]);
    }
  }
}

}  // namespace

void ResampleRect(const Dib& source, Dib& destination, SampleRect s, SampleRect d, int aspect) {
  (void)aspect;
  const int bits = destination.GetBitCount();
  if (source.GetBitCount() != 24 || (bits != 8 && bits != 24)) return;
  if (s.x1 < s.x0 || s.y1 < s.y0 || d.x1 < d.x0 || d.y1 < d.y0) return;
  if (&source == &destination) return;
  const float scaleY = static_cast<float>(s.y1 - s.y0 + 1) / static_cast<float>(d.y1 - d.y0 + 1);
  const float scaleX = static_cast<float>(s.x1 - s.x0 + 1) / static_cast<float>(d.x1 - d.x0 + 1);
  if (bits == 24) {
    ResampleBody(source, destination, s, scaleX, scaleY, d.x1 + 1, d.y1 + 1, d,
                 [](uint8_t* dst, int x, int b, int g, int r) {
                   dst[3 * x] = static_cast<uint8_t>(b);
                   dst[3 * x + 1] = static_cast<uint8_t>(g);
                   dst[3 * x + 2] = static_cast<uint8_t>(r);
                 });
  } else {
    ResampleBody(source, destination, s, scaleX, scaleY, d.x1 + 1, d.y1 + 1, d,
                 [](uint8_t* dst, int x, int b, int g, int r) {
                   dst[x] = static_cast<uint8_t>((11 * b + 59 * g + 30 * r) / 100);
                 });
  }
}

void ResampleGray(const Dib& source, Dib& destination, SampleRect s, SampleRect d, int aspect) {
  (void)aspect;
  if (source.GetBitCount() != 24 || destination.GetBitCount() != 8) return;
  if (s.x1 < s.x0 || s.y1 < s.y0 || d.x1 <= d.x0 || d.y1 <= d.y0) return;
  const float scaleY = static_cast<float>(s.y1 - s.y0) / static_cast<float>(d.y1 - d.y0);
  const float scaleX = static_cast<float>(s.x1 - s.x0) / static_cast<float>(d.x1 - d.x0);
  ResampleBody(source, destination, s, scaleX, scaleY, d.x1, d.y1, d,
               [](uint8_t* dst, int x, int b, int g, int r) {
                 const float v = 0.59f * g + 0.11f * b + 0.3f * r + 0.5f;
                 dst[x] = v >= 255.0f ? 255 : static_cast<uint8_t>(v);
               });
}

void ZoomView(const Dib& source, Dib& destination, float zoom, int cx, int cy) {
  const int bits = source.GetBitCount();
  if ((bits != 8 && bits != 24) || destination.GetBitCount() != 24) return;
  if (!(zoom > 0.0f) || &source == &destination) return;
  const int sw = source.Width();
  const int sh = source.Height();
  const int w = destination.Width();
  const int h = destination.Height();
  const float inverse = 1.0f / zoom;
  const float maxX = static_cast<float>(sw - 1);
  const float maxY = static_cast<float>(sh - 1);
  for (int i = 0; i < h; ++i) {
    uint8_t* __restrict dst = destination.Row(i);
    const float sy = static_cast<float>(cy) - static_cast<float>(h / 2 - i) * inverse;
    if (sy < 0.0f || sy > maxY) {
      for (int j = 0; j < w; ++j) {
        dst[3 * j] = 216;
        dst[3 * j + 1] = 233;
        dst[3 * j + 2] = 236;
      }
      continue;
    }
    const int y0 = static_cast<int>(sy);
    const float ay = sy - static_cast<float>(y0);
    const uint8_t* __restrict row0 = source.Row(y0);
    const uint8_t* __restrict row1 = source.Row(y0 == sh - 1 ? y0 : y0 + 1);
    for (int j = 0; j < w; ++j) {
      uint8_t* out = dst + 3 * j;
      const float sx = static_cast<float>(cx) - static_cast<float>(w / 2 - j) * inverse;
      if (sx < 0.0f || sx > maxX) {
        out[0] = 216;
        out[1] = 233;
        out[2] = 236;
        continue;
      }
      const int x0 = static_cast<int>(sx);
      const int x1 = x0 == sw - 1 ? x0 : x0 + 1;
      const float ax = sx - static_cast<float>(x0);
      if (bits == 8) {
        const auto v = static_cast<uint8_t>(
            TruncateChannel(Bilinear(ax, ay, row0[x0], row0[x1], row1[x0], row1[x1])));
        out[0] = v;
        out[1] = v;
        out[2] = v;
      } else {
        for (int k = 0; k < 3; ++k) {
          out[k] = static_cast<uint8_t>(TruncateChannel(Bilinear(
              ax, ay, row0[3 * x0 + k], row0[3 * x1 + k], row1[3 * x0 + k], row1[3 * x1 + k])));
        }
      }
    }
  }
}

void RotateAbout(const Dib& source, Dib& destination, double cx, double cy, double angle) {
  const int bits = source.GetBitCount();
  if ((bits != 8 && bits != 24) || destination.GetBitCount() != bits) return;
  if (&source == &destination) return;
  const int bytes = bits / 8;
  const int sw = source.Width();
  const int sh = source.Height();
  const double c = std::cos(-angle);
  const double s = std::sin(-angle);
  for (int y = 0; y < destination.Height(); ++y) {
    uint8_t* dst = destination.Row(y);
    for (int x = 0; x < destination.Width(); ++x) {
      const double px = cx + c * (x - cx) - s * (y - cy);
      const double py = cy + s * (x - cx) + c * (y - cy);
      // The whole part is taken downward, so that positions just left of or above the image
      // fall outside instead of blending with negative weights.
      const double fx = std::floor(px);
      const double fy = std::floor(py);
      uint8_t* out = dst + bytes * x;
      if (!(fx >= 0.0 && fx <= sw - 2 && fy >= 0.0 && fy <= sh - 2)) {
        for (int k = 0; k < bytes; ++k) out[k] = 0;
        continue;
      }
      const int x0 = static_cast<int>(fx);
      const int y0 = static_cast<int>(fy);
      const double ax = px - fx;
      const double ay = py - fy;
      const uint8_t* row0 = source.Row(y0) + bytes * x0;
      const uint8_t* row1 = source.Row(y0 + 1) + bytes * x0;
      for (int k = 0; k < bytes; ++k) {
        const double v = (1 - ay) * (1 - ax) * row0[k] + (1 - ay) * ax * row0[k + bytes] +
                         ay * (1 - ax) * row1[k] + ay * ax * row1[k + bytes];
        out[k] = static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
      }
    }
  }
}

namespace {

// Copies the first `copied` bytes of every second pixel of every second row.
void HalveBytes(const Dib& source, Dib& destination, int copied) {
  const int bits = source.GetBitCount();
  if (bits != 8 && bits != 24) return;
  const int w = source.Width() / 2;
  const int h = source.Height() / 2;
  assert(destination.SameFormat(w, h, bits));
  if (!destination.SameFormat(w, h, bits) || &source == &destination) return;
  const int bytes = bits / 8;
  copied = std::min(copied, bytes);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = source.Row(2 * y);
    uint8_t* dst = destination.Row(y);
    for (int x = 0; x < w; ++x) {
      for (int k = 0; k < copied; ++k) dst[bytes * x + k] = src[2 * bytes * x + k];
    }
  }
}

}  // namespace

void Halve(const Dib& source, Dib& destination) {
  HalveBytes(source, destination, 3);
}

void HalveTwoBytes(const Dib& source, Dib& destination) {
  HalveBytes(source, destination, 2);
}

void Crop(const Dib& source, Dib& destination, int x0, int y0, int x1, int y1) {
  if (source.GetBitCount() != 24 || &source == &destination) return;
  if (x0 < 0 || y0 < 0 || x1 <= x0 || y1 <= y0 || x1 > source.Width() || y1 > source.Height()) {
    return;
  }
  const int w = x1 - x0;
  const int h = y1 - y0;
  if (!destination.SameFormat(w, h, 24)) destination.CreateSigned(w, h, 24, true);
  for (int i = 0; i < h; ++i) {
    std::memcpy(destination.Row(i), source.Row(y0 + i) + 3 * x0, static_cast<size_t>(3) * w);
  }
}

void PasteCentred(const Dib& source, Dib& destination, int x, int y) {
  const int from = source.GetBitCount();
  const int to = destination.GetBitCount();
  if ((from != 8 && from != 24) || (to != 8 && to != 24) || &source == &destination) return;
  const int sw = source.Width();
  const int sh = source.Height();
  const int top = y - sh / 2;
  const int left = x - sw / 2;
  // Source rows and columns that land inside the destination.
  const int iBegin = std::max(0, -top);
  const int iEnd = std::min(sh, destination.Height() - top);
  const int jBegin = std::max(0, -left);
  const int jEnd = std::min(sw, destination.Width() - left);
  for (int i = iBegin; i < iEnd; ++i) {
    const uint8_t* src = source.Row(i);
    uint8_t* dst = destination.Row(top + i);
    for (int j = jBegin; j < jEnd; ++j) {
      const int tx = left + j;
      if (from == 8 && to == 8) {
        dst[tx] = src[j];
      } else if (from == 24 && to == 24) {
        dst[3 * tx] = src[3 * j];
        dst[3 * tx + 1] = src[3 * j + 1];
        dst[3 * tx + 2] = src[3 * j + 2];
      } else if (from == 24) {
        dst[tx] = GreyOf(src + 3 * j);
      } else {
        dst[3 * tx] = 0;
        dst[3 * tx + 1] = src[j];
        dst[3 * tx + 2] = 0;
      }
    }
  }
}

void GaussianPyramid(const Dib& source, int levels, std::vector<Dib>& images) {
  const int bits = source.GetBitCount();
  if (levels <= 0 || (bits != 8 && bits != 24)) return;
  const int w = source.Width();
  const int h = source.Height();
  bool fits = images.size() == static_cast<size_t>(levels);
  for (int k = 0; fits && k < levels; ++k) fits = images[k].SameFormat(w >> k, h >> k, 8);
  if (!fits) {
    images.clear();
    images.resize(static_cast<size_t>(levels));
    int lw = w;
    int lh = h;
    for (Dib& level : images) {
      level.CreateSigned(lw, lh, 8, false);
      lw /= 2;
      lh /= 2;
    }
  }
  Dib& base = images[0];
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = source.Row(y);
    uint8_t* dst = base.Row(y);
    if (bits == 8) {
      std::memcpy(dst, src, static_cast<size_t>(w));
    } else {
      for (int x = 0; x < w; ++x) dst[x] = GreyOf(src + 3 * x);
    }
  }
  for (int k = 1; k < levels; ++k) {
    const Dib& prev = images[k - 1];
    Dib& level = images[k];
    for (int y = 0; y < level.Height(); ++y) {
      const uint8_t* up = prev.Row(y == 0 ? 0 : 2 * y - 1);
      const uint8_t* mid = prev.Row(2 * y);
      const uint8_t* down = prev.Row(2 * y + 1);
      uint8_t* dst = level.Row(y);
      for (int x = 0; x < level.Width(); ++x) {
        const int c = 2 * x;
        const int l = x == 0 ? c : c - 1;
        const int r = c + 1;
        const int sum = up[l] + 2 * up[c] + up[r] + 2 * (mid[l] + 2 * mid[c] + mid[r]) + down[l] +
                        2 * down[c] + down[r];
        dst[x] = static_cast<uint8_t>(sum >> 4);
      }
    }
  }
}

namespace {

inline uint8_t PlaneByte(float v) {
  const float a = std::fabs(v);
  return a < 255.0f ? static_cast<uint8_t>(a) : 255;  // NaN counts as the cap
}

inline uint8_t PlaneByte(int32_t v) {
  const int64_t a = std::abs(static_cast<int64_t>(v));
  return static_cast<uint8_t>(std::min<int64_t>(a, 255));
}

template <typename T>
void PlanesToImage(std::span<const T> planes, int width, int height, int depth, Dib& image) {
  if ((depth != 8 && depth != 24) || image.GetBitCount() != depth || width < 0 || height < 0) {
    return;
  }
  const int bytes = depth / 8;
  const size_t planeSize = static_cast<size_t>(width) * height;
  if (planes.size() < planeSize * bytes) return;
  const int w = std::min(width, image.Width());
  const int h = std::min(height, image.Height());
  for (int k = 0; k < bytes; ++k) {
    const T* plane = planes.data() + k * planeSize;
    for (int y = 0; y < h; ++y) {
      const T* src = plane + static_cast<size_t>(y) * width;
      uint8_t* dst = image.Row(y) + k;
      for (int x = 0; x < w; ++x) dst[bytes * x] = PlaneByte(src[x]);
    }
  }
}

}  // namespace

void FloatPlanesToImage(std::span<const float> planes, int width, int height, int depth,
                        Dib& image) {
  PlanesToImage(planes, width, height, depth, image);
}

void IntPlanesToImage(std::span<const int32_t> planes, int width, int height, int depth,
                      Dib& image) {
  PlanesToImage(planes, width, height, depth, image);
}

}  // namespace fw
