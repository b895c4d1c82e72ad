#include "learn/window_features.h"

#include <algorithm>
#include <cmath>

namespace fw {

bool BuildWindowPlanes(const Dib& image, WindowPlanes& planes) {
  if (image.GetBitCount() != 24) return false;
  const int w = image.Width();
  const int h = image.Height();
  if (planes.Width() != w || planes.Height() != h) {
    planes.grey.Resize(w, h);
    planes.greySquare.Resize(w, h);
    planes.range.Resize(w, h);
    planes.rangeSquare.Resize(w, h);
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* px = image.Row(y);
    uint32_t* g = planes.grey.Row(y);
    uint64_t* g2 = planes.greySquare.Row(y);
    uint32_t* r = planes.range.Row(y);
    uint64_t* r2 = planes.rangeSquare.Row(y);
    const ptrdiff_t up = y > 0 ? -static_cast<ptrdiff_t>(w) : 0;
    uint32_t sg = 0, sr = 0;
    uint64_t sg2 = 0, sr2 = 0;
    for (int x = 0; x < w; ++x, px += 3) {
      const uint32_t b = px[0], gr = px[1], rd = px[2];
      const uint32_t grey = (b + gr + rd) / 3;
      const uint32_t range = std::max({b, gr, rd}) - std::min({b, gr, rd});
      sg += grey;
      sg2 += grey * grey;
      sr += range;
      sr2 += range * range;
      g[x] = y > 0 ? g[x + up] + sg : sg;
      g2[x] = y > 0 ? g2[x + up] + sg2 : sg2;
      r[x] = y > 0 ? r[x + up] + sr : sr;
      r2[x] = y > 0 ? r2[x + up] + sr2 : sr2;
    }
  }
  return true;
}

bool IsWindowCode(int code, WindowForm form) {
  const int p = code > kRangeCodeOffset ? code - kRangeCodeOffset : code;
  if (code <= 0 || p > 44) return false;
  switch (p) {
    case 1:
    case 2:
    case 3:
    case 11:
    case 12:
    case 13:
    case 21:
    case 22:
    case 23:
    case 31:
    case 32:
    case 41:
    case 42:
    case 43:
    case 44:
      return true;
    case 14:
    case 24:
      return form == WindowForm::Byte;
    default:
      return false;
  }
}

ResolvedWindowFeature ResolveWindowFeature(int code, int x, int y, int w, int h, int side,
                                           int stride, WindowForm form) {
  using C = ResolvedWindowFeature::Combine;
  ResolvedWindowFeature f;
  f.range = code > kRangeCodeOffset;
  const int p = f.range ? code - kRangeCodeOffset : code;
  const bool byteForm = form == WindowForm::Byte;
  f.byteForm = byteForm;
  f.byteScale = p < 11 ? 1.0f : 5.0f;
  if (side != kWindowBase) {
    x = x * side / kWindowBase;
    y = y * side / kWindowBase;
    w = w * side / kWindowBase;
    h = h * side / kWindowBase;
  }
  const int wp = w - 1;
  const int hp = h - 1;
  const int x0 = x, x1 = x + wp, y0 = y, y1 = y + hp;
  auto box = [stride](int a0, int b0, int a1, int b1) {
    return ResolveBox(a0, b0, a1, b1, stride);
  };
  const int xm = x + wp / 2, ym = y + hp / 2;  // halves
  const int t = wp / 3, u = hp / 3;            // thirds
  const BoxOffsets outer = box(x0, y0, x1, y1);
  const BoxOffsets centre = box(x0 + t, y0 + u, x1 - t, y1 - u);
  const BoxOffsets tl = box(x0, y0, xm, ym), tr = box(xm, y0, x1, ym);
  const BoxOffsets bl = box(x0, ym, xm, y1), br = box(xm, ym, x1, y1);
  auto set = [&f](C combine, std::initializer_list<BoxOffsets> boxes) {
    f.combine = combine;
    std::copy(boxes.begin(), boxes.end(), f.boxes.begin());
  };
  switch (p) {
    case 1:
      set(C::Mean, {outer});
      break;
    case 2:
      set(C::Variance, {outer});
      f.factor = byteForm ? 0.5f : 1.0f;
      break;
    case 3:
      set(C::StdDev, {outer});
      f.factor = byteForm ? 4.0f : 1.0f;
      break;
    case 11:
      set(C::Difference, {box(x0, y0, xm, y1), box(xm, y0, x1, y1)});
      break;
    case 12:
      set(C::Difference, {box(x0, y0, x1, ym), box(x0, ym, x1, y1)});
      break;
    case 13:
      if (byteForm) {
        set(C::Difference, {tl, br});
      } else {
        set(C::Difference, {box(x0, y0, xm, y1), box(xm, y0, x1, y1)});
        f.squared = true;
      }
      break;
    case 14:
      set(C::Difference, {bl, tr});
      break;
    case 21:
      set(C::Thirds,
          {box(x0, y0, x0 + t, y1), box(x0 + t, y0, x1 - t, y1), box(x1 - t, y0, x1, y1)});
      break;
    case 22:
      set(C::Thirds,
          {box(x0, y0, x1, y0 + u), box(x0, y0 + u, x1, y1 - u), box(x0, y1 - u, x1, y1)});
      break;
    case 23:
      if (byteForm) {
        set(C::Thirds, {box(x0, y0, x0 + t, y0 + u), centre, box(x1 - t, y1 - u, x1, y1)});
      } else {
        set(C::Thirds,
            {box(x0, y0, x0 + t, y1), box(x0 + t, y0, x1 - t, y1), box(x1 - t, y0, x1, y1)});
        f.squared = true;
      }
      break;
    case 24:
      set(C::Thirds, {box(x0, y1 - u, x0 + t, y1), centre, box(x1 - t, y0, x1, y0 + u)});
      break;
    case 31:
    case 32:
      set(C::Checker, {tl, tr, bl, br});
      f.squared = p == 32;
      break;
    case 41:
    case 42:
      set(C::Ring, {outer, centre});
      f.squared = p == 42;
      break;
    default: {  // 43, 44
      const int fx = wp / 5, fy = hp / 5;
      set(C::Rings, {outer, box(x0 + fx, y0 + fy, x1 - fx, y1 - fy),
                     box(x0 + 2 * fx, y0 + 2 * fy, x1 - 2 * fx, y1 - 2 * fy)});
      f.squared = p == 44;
      break;
    }
  }
  return f;
}

namespace {

// Means of empty boxes (rectangles too small for their pattern) are 0, never a division by 0.
inline float Quotient(float sum, int count) {
  return count > 0 ? sum / static_cast<float>(count) : 0.0f;
}

template <typename T>
inline float MeanOf(const T* base, const BoxOffsets& b) {
  return Quotient(static_cast<float>(BoxSum(base, b)), b.count);
}

// The signed pattern value on one plane (every combination but the variances).
template <typename T>
float PatternValue(const T* base, const ResolvedWindowFeature& f) {
  using C = ResolvedWindowFeature::Combine;
  const auto& b = f.boxes;
  switch (f.combine) {
    case C::Mean:
      return MeanOf(base, b[0]);
    case C::Difference:
      return MeanOf(base, b[0]) - MeanOf(base, b[1]);
    case C::Thirds:
      return MeanOf(base, b[0]) - 2.0f * MeanOf(base, b[1]) + MeanOf(base, b[2]);
    case C::Checker:
      return MeanOf(base, b[0]) + MeanOf(base, b[3]) - (MeanOf(base, b[1]) + MeanOf(base, b[2]));
    case C::Ring: {
      const T s0 = BoxSum(base, b[0]), s1 = BoxSum(base, b[1]);
      return Quotient(static_cast<float>(static_cast<T>(s0 - s1)), b[0].count - b[1].count) -
             Quotient(static_cast<float>(s1), b[1].count);
    }
    case C::Rings: {
      const T s0 = BoxSum(base, b[0]), s1 = BoxSum(base, b[1]), s2 = BoxSum(base, b[2]);
      const float outerRing =
          Quotient(static_cast<float>(static_cast<T>(s0 - s1)), b[0].count - b[1].count);
      const float middleRing =
          Quotient(static_cast<float>(static_cast<T>(s1 - s2)), b[1].count - b[2].count);
      return outerRing + Quotient(static_cast<float>(s2), b[2].count) - 2.0f * middleRing;
    }
    default:
      return 0.0f;
  }
}

float SignedValue(const WindowPlanes& planes, const ResolvedWindowFeature& f, size_t origin) {
  using C = ResolvedWindowFeature::Combine;
  const uint32_t* linear = (f.range ? planes.range : planes.grey).values.data() + origin;
  const uint64_t* square =
      (f.range ? planes.rangeSquare : planes.greySquare).values.data() + origin;
  if (f.combine == C::Variance || f.combine == C::StdDev) {
    const float mean = MeanOf(linear, f.boxes[0]);
    const float variance = MeanOf(square, f.boxes[0]) - mean * mean;
    if (f.combine == C::Variance) return f.factor * variance;
    // A flat window can round to a variance just below 0: its deviation is 0, not NaN.
    return f.factor * std::sqrt(std::max(variance, 0.0f));
  }
  return f.squared ? PatternValue(square, f) : PatternValue(linear, f);
}

}  // namespace

float WindowValueFloat(const WindowPlanes& planes, const ResolvedWindowFeature& f, size_t origin) {
  return std::fabs(SignedValue(planes, f, origin));
}

uint8_t WindowValueByte(const WindowPlanes& planes, const ResolvedWindowFeature& f, size_t origin) {
  const float v = std::fabs(SignedValue(planes, f, origin)) * f.byteScale + 0.5f;
  // Written so that NaN and values beyond the byte range give 255.
  if (!(v < 255.0f)) return 255;
  return static_cast<uint8_t>(v);
}

namespace {

struct PatternRange {
  int pattern;
  int h0, h1, w0, w1;  // inclusive size ranges of the centred pool
};
constexpr std::array<PatternRange, 8> kCentred = {{{2, 3, 24, 3, 24},
                                                   {11, 4, 24, 5, 24},
                                                   {12, 5, 24, 4, 24},
                                                   {21, 4, 24, 6, 24},
                                                   {22, 6, 24, 4, 24},
                                                   {31, 5, 24, 5, 24},
                                                   {41, 6, 24, 6, 24},
                                                   {43, 8, 24, 8, 24}}};
constexpr std::array<PatternRange, 8> kSliding = {{{2, 6, 24, 6, 24},
                                                   {11, 4, 24, 5, 23},
                                                   {12, 5, 23, 4, 24},
                                                   {21, 4, 24, 6, 24},
                                                   {22, 6, 24, 4, 24},
                                                   {31, 5, 23, 5, 23},
                                                   {41, 6, 24, 6, 24},
                                                   {43, 8, 24, 8, 24}}};

void AddShape(WindowPool& pool, int k, int pattern, int x, int y, int w, int h) {
  for (int code : {pattern, pattern + kRangeCodeOffset}) {
    FeatureDesc d;
    d.featureCode = code;
    d.x = static_cast<uint8_t>(x);
    d.y = static_cast<uint8_t>(y);
    d.w = static_cast<uint8_t>(w);
    d.h = static_cast<uint8_t>(h);
    pool.features.push_back(d);
  }
  ++pool.shapeCounts[k];
}

}  // namespace

WindowPool CentredPool() {
  WindowPool pool;
  pool.features.reserve(6344);
  for (int k = 0; k < 8; ++k) {
    const PatternRange& r = kCentred[k];
    for (int h = r.h0; h <= r.h1; ++h) {
      for (int w = r.w0; w <= r.w1; ++w) {
        AddShape(pool, k, r.pattern, kWindowBase / 2 - w / 2, kWindowBase / 2 - h / 2, w, h);
      }
    }
  }
  return pool;
}

WindowPool SlidingPool() {
  WindowPool pool;
  pool.features.reserve(27288);
  for (int k = 0; k < 8; ++k) {
    const PatternRange& r = kSliding[k];
    for (int h = r.h0; h <= r.h1; h += 2) {
      for (int w = r.w0; w <= r.w1; w += 2) {
        for (int y = 0; y < kWindowBase - h; y += std::max(h / 3, 1)) {
          for (int x = 0; x < kWindowBase - w; x += std::max(w / 3, 1)) {
            AddShape(pool, k, r.pattern, x, y, w, h);
          }
        }
      }
    }
  }
  return pool;
}

}  // namespace fw
