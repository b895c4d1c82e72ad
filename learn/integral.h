// Integral planes and the rectangle sums every learned feature is made of. Entry (x, y) of an
// integral plane holds the sum of a per-pixel value over all pixels (i, j) with i <= x and j <= y,
// in memory row order. A box (x0, y0, x1, y1) of plane positions covers the pixels x0 + 1 .. x1
// and y0 + 1 .. y1, (x1 - x0) x (y1 - y0) of them: the first row and column only serve as its
// reference corner. The feature rectangle R(x, y, w, h) is the box (x, y, x + w - 1, y + h - 1).
//
// Sums are kept in unsigned integers and wrap around: a box sum is exact whenever the true sum
// over the box fits the type, however large the whole plane's sum grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fw {

template <typename T>
struct IntegralPlane {
  int width = 0;
  int height = 0;
  std::vector<T> values;

  // Sizes the plane (zeroed); allocates only when the size changes.
  void Resize(int w, int h) {
    width = w;
    height = h;
    values.assign(static_cast<size_t>(w) * h, T{0});
  }
  T* Row(int y) { return values.data() + static_cast<size_t>(y) * width; }
  const T* Row(int y) const { return values.data() + static_cast<size_t>(y) * width; }
};

// A box resolved against a plane's row length: the four corner offsets relative to the window
// origin (the plane position of the window's top-left corner) and the number of pixels covered.
struct BoxOffsets {
  ptrdiff_t a = 0;  // (x0, y0)
  ptrdiff_t b = 0;  // (x1, y0)
  ptrdiff_t c = 0;  // (x0, y1)
  ptrdiff_t d = 0;  // (x1, y1)
  int count = 0;
};

inline BoxOffsets ResolveBox(int x0, int y0, int x1, int y1, int stride) {
  BoxOffsets box;
  box.a = static_cast<ptrdiff_t>(y0) * stride + x0;
  box.b = static_cast<ptrdiff_t>(y0) * stride + x1;
  box.c = static_cast<ptrdiff_t>(y1) * stride + x0;
  box.d = static_cast<ptrdiff_t>(y1) * stride + x1;
  box.count = (x1 - x0) * (y1 - y0);
  return box;
}

// R(x, y, w, h) of the description.
inline BoxOffsets ResolveRect(int x, int y, int w, int h, int stride) {
  return ResolveBox(x, y, x + w - 1, y + h - 1, stride);
}

template <typename T>
inline T BoxSum(const T* origin, const BoxOffsets& box) {
  return static_cast<T>(origin[box.d] - origin[box.b] - origin[box.c] + origin[box.a]);
}

// Accumulates a plane of per-pixel values (rows of `width` values, `stride` apart) into an
// integral plane of the same size (resized when it differs).
template <typename T, typename V>
void BuildIntegral(const V* values, int width, int height, size_t stride, IntegralPlane<T>& plane) {
  if (plane.width != width || plane.height != height) plane.Resize(width, height);
  for (int y = 0; y < height; ++y) {
    const V* in = values + y * stride;
    T* out = plane.Row(y);
    const T* above = y > 0 ? plane.Row(y - 1) : nullptr;
    T run = 0;
    for (int x = 0; x < width; ++x) {
      run = static_cast<T>(run + static_cast<T>(in[x]));
      out[x] = above ? static_cast<T>(above[x] + run) : run;
    }
  }
}

}  // namespace fw
