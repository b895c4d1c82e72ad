#include "learn/texture_features.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "learn/code_count_features.h"

namespace fw {

namespace {

// Interleaved plane indices.
constexpr int kMagnitudePlane = 8;
constexpr int kIntensityPlane = 9;
constexpr int kLbpBitPlane = 10;
constexpr int kSaturationPlane = 18;
constexpr int kIntensitySquarePlane = 19;
constexpr int kSaturationSquarePlane = 20;
constexpr int kMagnitudeBinPlane = 21;
constexpr int kBitCountPlane = 29;

constexpr float kPi = 3.14159265f;

// Orientation bin 0..7 of a gradient from its angle: atan of |gy / gx| placed in its quadrant,
// folded to [0, pi) and cut into bins of pi / 8 (rounded down, the last bin closing at pi).
uint8_t OrientationBinFromAngle(int gx, int gy) {
  float angle = 0.0f;
  if (gx != 0) {
    const float a = std::atan(std::fabs(static_cast<float>(gy) / static_cast<float>(gx)));
    if (gx > 0) {
      angle = gy >= 0 ? a : 2.0f * kPi - a;
    } else {
      angle = gy >= 0 ? kPi - a : kPi + a;
    }
  } else if (gy > 0) {
    angle = 1.5707964f;
  } else if (gy < 0) {
    angle = 4.712389f;
  }
  if (angle >= kPi) angle -= kPi;
  return static_cast<uint8_t>(std::min(static_cast<int>(angle / TexturePlanes::kBinWidth), 7));
}

}  // namespace

uint8_t GradientBin(int gx, int gy) {
  // Away from the bin edges the bin follows from comparing |gy| with |gx| tan(k pi / 8): the
  // step c counts the three edges inside the first quadrant below the angle, and the quadrants where gx and gy
  // differ in sign mirror it to 7 - c. A gradient on an axis, or within a relative 1e-4 of an
  // edge in tangent (at least 1.4e-5 rad, far beyond the rounding of the float angle), takes
  // the angle itself, so that every gradient lands in the bin the angle gives.
  const int ax = std::abs(gx), ay = std::abs(gy);
  const float fx = static_cast<float>(ax), fy = static_cast<float>(ay);
  const float d1 = fy - fx * 0.41421356f;  // tan(pi / 8)
  const float d3 = fy - fx * 2.4142137f;   // tan(3 pi / 8)
  const float margin = fx * 1.0e-4f;
  if (ax == 0 || ay == 0 || ax == ay || std::fabs(d1) < margin || std::fabs(d3) < margin) {
    return OrientationBinFromAngle(gx, gy);
  }
  const int c = (d1 > 0.0f ? 1 : 0) + (ay > ax ? 1 : 0) + (d3 > 0.0f ? 1 : 0);
  return static_cast<uint8_t>((gx > 0) == (gy > 0) ? c : 7 - c);
}

bool TexturePlanes::Compute(const Dib& image) {
  if (image.GetBitCount() != 24) return false;
  width_ = image.Width();
  height_ = image.Height();
  const size_t pixels = static_cast<size_t>(width_) * height_;
  // The buffers only grow: a smaller pyramid level uses the front of those of a larger one, and
  // the next larger one finds them as large as it needs, without filling them again.
  auto grow = [](auto& buffer, size_t size) {
    if (buffer.size() < size) buffer.resize(size);
  };
  grow(gx_, pixels);
  grow(gy_, pixels);
  grow(bin_, pixels);
  grow(magnitude_, pixels);
  grow(lbp_, pixels);
  grow(integral_, pixels * kTexturePlanes);
  if (pixels == 0) return true;
  // The loop below writes every interior pixel; the border has no gradient and no code.
  auto clearBorder = [&](size_t p) {
    gx_[p] = gy_[p] = 0;
    bin_[p] = lbp_[p] = 0;
    magnitude_[p] = 0.0f;
  };
  for (int x = 0; x < width_; ++x) {
    clearBorder(Index(x, 0));
    clearBorder(Index(x, height_ - 1));
  }
  for (int y = 0; y < height_; ++y) {
    clearBorder(Index(0, y));
    clearBorder(Index(width_ - 1, y));
  }
  // Entries 0..255: 1 bits of the code; 256..511: its transitions.
  const auto& bits = LbpTables().BitsAndTransitions();
  for (int y = 1; y < height_ - 1; ++y) {
    // Intensity of the rows above, at and below y (memory rows), three bytes per pixel.
    const uint8_t* up = image.Row(y - 1);
    const uint8_t* mid = image.Row(y);
    const uint8_t* down = image.Row(y + 1);
    const size_t row = Index(0, y);
    for (int x = 1; x < width_ - 1; ++x) {
      const int l = 3 * (x - 1), c = 3 * x, r = 3 * (x + 1);
      const int ul = up[l], uc = up[c], ur = up[r];
      const int ml = mid[l], centre = mid[c], mr = mid[r];
      const int dl = down[l], dc = down[c], dr = down[r];
      const int gx = (ur + 2 * mr + dr) - (ul + 2 * ml + dl);
      const int gy = (dl + 2 * dc + dr) - (ul + 2 * uc + ur);
      const size_t p = row + x;
      gx_[p] = static_cast<int16_t>(gx);
      gy_[p] = static_cast<int16_t>(gy);
      bin_[p] = GradientBin(gx, gy);
      // gx^2 + gy^2 is exact in float and its root is |gy| when gx is 0.
      magnitude_[p] = std::sqrt(static_cast<float>(gx * gx + gy * gy));
      // LBP bits: right, below right, below, below left, left, above left, above, above right.
      const unsigned code = (centre >= mr ? 1u : 0u) | (centre >= dr ? 2u : 0u) |
                            (centre >= dc ? 4u : 0u) | (centre >= dl ? 8u : 0u) |
                            (centre >= ml ? 16u : 0u) | (centre >= ul ? 32u : 0u) |
                            (centre >= uc ? 64u : 0u) | (centre >= ur ? 128u : 0u);
      lbp_[p] = bits[256 + code] > 2 ? 0 : static_cast<uint8_t>(code);
    }
  }
  // Integral planes, every pixel (border included) contributing.
  std::array<uint32_t, kTexturePlanes> run;
  for (int y = 0; y < height_; ++y) {
    run.fill(0);
    const uint8_t* px = image.Row(y);
    uint32_t* out = integral_.data() + Index(0, y) * kTexturePlanes;
    const uint32_t* above = y > 0 ? out - static_cast<size_t>(width_) * kTexturePlanes : nullptr;
    for (int x = 0; x < width_; ++x, px += 3) {
      const size_t p = Index(x, y);
      const uint32_t m = static_cast<uint32_t>(magnitude_[p]);
      const uint8_t code = lbp_[p];
      run[bin_[p]] += m;
      run[kMagnitudePlane] += m;
      run[kMagnitudeBinPlane + std::min(m / 12, 7u)] += 1;
      for (int k = 0; k < 8; ++k) run[kLbpBitPlane + k] += (code >> k) & 1u;
      run[kBitCountPlane] += bits[code];
      const uint32_t i = px[0], s = px[1];
      run[kIntensityPlane] += i;
      run[kIntensitySquarePlane] += i * i / 4;
      run[kSaturationPlane] += s;
      run[kSaturationSquarePlane] += s * s / 4;
      uint32_t* o = out + static_cast<size_t>(x) * kTexturePlanes;
      if (above) {
        const uint32_t* a = above + static_cast<size_t>(x) * kTexturePlanes;
        for (int j = 0; j < kTexturePlanes; ++j) o[j] = a[j] + run[j];
      } else {
        for (int j = 0; j < kTexturePlanes; ++j) o[j] = run[j];
      }
    }
  }
  return true;
}

namespace {

struct Fields {
  int planeCode, slot, pattern, moment;
};

Fields Split(int32_t code) {
  const uint32_t c = static_cast<uint32_t>(code);
  return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
          static_cast<int>((c >> 16) & 0xFF), static_cast<int>(c >> 24)};
}

// The integral plane a plane code reads for sums (plane codes 19 and 20 read the plain intensity
// and saturation planes); -1 for the orientation spread, which has no plane of its own.
int SumPlane(int planeCode) {
  if (planeCode <= 18) return planeCode;
  if (planeCode == 19) return kIntensityPlane;
  if (planeCode == 20) return kSaturationPlane;
  if (planeCode <= 28) return planeCode;
  if (planeCode == 30) return kBitCountPlane;
  return -1;
}

// Moment generators: the block layouts of the moment numbers 1..213.
enum class Generator { Grid, Strips, DoubleGrid, Rings, Hu };
struct MomentLayout {
  Generator generator;
  int a, b;   // block width and height, strip width, or ring steps
  int order;  // 2..4, or the Hu moment 1..7
};

constexpr std::array<std::array<int, 2>, 20> kGrid = {
    {{4, 4},  {6, 4},  {4, 6},  {6, 6},  {4, 8},  {8, 4},   {6, 8},  {8, 6},  {8, 8},  {4, 12},
     {12, 4}, {6, 12}, {12, 6}, {8, 12}, {12, 8}, {12, 12}, {4, 24}, {24, 4}, {6, 24}, {24, 6}}};
constexpr std::array<int, 5> kStrips = {3, 4, 6, 8, 12};
constexpr std::array<std::array<int, 2>, 9> kDoubleGrid = {
    {{12, 12}, {8, 12}, {12, 8}, {8, 8}, {6, 12}, {12, 6}, {8, 6}, {6, 8}, {6, 6}}};
constexpr std::array<std::array<int, 2>, 18> kRings = {{{0, 1},
                                                        {1, 0},
                                                        {1, 1},
                                                        {2, 0},
                                                        {0, 2},
                                                        {1, 2},
                                                        {2, 1},
                                                        {2, 2},
                                                        {0, 3},
                                                        {3, 0},
                                                        {1, 3},
                                                        {3, 1},
                                                        {2, 3},
                                                        {3, 2},
                                                        {3, 3},
                                                        {2, 4},
                                                        {4, 2},
                                                        {4, 4}}};
constexpr std::array<std::array<int, 2>, 9> kHu = {
    {{4, 4}, {4, 6}, {6, 4}, {6, 6}, {8, 4}, {4, 8}, {8, 6}, {6, 8}, {8, 8}}};

MomentLayout Layout(int m) {
  if (m <= 60) {
    const auto& g = kGrid[(m - 1) / 3];
    return {Generator::Grid, g[0], g[1], 2 + (m - 1) % 3};
  }
  if (m <= 75) return {Generator::Strips, kStrips[(m - 61) / 3], 0, 2 + (m - 61) % 3};
  if (m <= 102) {
    const auto& g = kDoubleGrid[(m - 76) / 3];
    return {Generator::DoubleGrid, g[0], g[1], 2 + (m - 76) % 3};
  }
  if (m <= 147) {
    const auto& r = kRings[(m - 103) / 3];
    return {Generator::Rings, r[0], r[1], 2 + (m - 103) % 3};
  }
  if (m <= 150) {
    const auto& r = kRings[15 + (m - 148)];
    return {Generator::Rings, r[0], r[1], 2};
  }
  const auto& g = kHu[(m - 151) / 7];
  return {Generator::Hu, g[0], g[1], (m - 151) % 7 + 1};
}

}  // namespace

bool IsTextureFeature(int32_t code, int x, int y, int w, int h) {
  const Fields f = Split(code);
  if (f.planeCode > 30 || f.slot != 0) return false;
  if (f.moment != 0) {
    return f.moment <= kMomentCount && SumPlane(f.planeCode) >= 0 && x == 0 && y == 0;
  }
  if (w < 1 || h < 1 || x + w > kTextureBase || y + h > kTextureBase) return false;
  switch (f.pattern) {
    case 1:
      return f.planeCode != 29;
    case 2:
      return f.planeCode == 19 || f.planeCode == 20;
    case 4:
      return f.planeCode == 29;
    case 11:
    case 12:
    case 21:
    case 22:
      return f.planeCode != 29;
    default:
      return false;
  }
}

ResolvedTextureFeature ResolveTextureFeature(int32_t code, int x, int y, int w, int h, int stride) {
  using K = ResolvedTextureFeature::Kind;
  const Fields f = Split(code);
  ResolvedTextureFeature r;
  r.stride = stride;
  r.rectX = x;
  r.rectY = y;
  r.rectW = w;
  r.rectH = h;
  r.plane = SumPlane(f.planeCode);
  if (f.moment != 0) {
    const MomentLayout m = Layout(f.moment);
    r.moment = f.moment;
    r.cellW = m.a;
    r.cellH = m.b;
    r.order = m.order;
    r.kind = m.generator == Generator::Rings ? K::Rings
             : m.generator == Generator::Hu  ? K::Hu
                                             : K::Histogram;
    return r;
  }
  switch (f.pattern) {
    case 1:
      r.kind = f.planeCode <= 7                           ? K::OrientationShare
               : (f.planeCode >= 10 && f.planeCode <= 17) ? K::BitShare
                                                          : K::Sum;
      break;
    case 2:
      r.kind = K::Variance;
      r.plane = f.planeCode == 19 ? kIntensityPlane : kSaturationPlane;
      break;
    case 4:
      r.kind = K::Spread;
      break;
    case 11:
    case 12:
      r.kind = K::Halves;
      r.vertical = f.pattern == 12;
      break;
    default:
      r.kind = K::Thirds;
      r.vertical = f.pattern == 22;
      break;
  }
  return r;
}

namespace {

// Box sums of one plane around a window origin.
struct PlaneReader {
  const uint32_t* base;
  int stride;
  uint32_t Box(int plane, int x0, int y0, int x1, int y1) const {
    auto at = [&](int xx, int yy) {
      return base[(static_cast<ptrdiff_t>(yy) * stride + xx) * kTexturePlanes + plane];
    };
    return at(x1, y1) - at(x1, y0) - at(x0, y1) + at(x0, y0);
  }
  uint32_t Rect(int plane, int x, int y, int w, int h) const {
    return Box(plane, x, y, x + w - 1, y + h - 1);
  }
};

int64_t Truncate(double v) {
  if (!(std::fabs(v) < 9.0e18)) return 0;
  return static_cast<int64_t>(v);
}

// trunc(10^7 x sum over the shares of (share - 1/n)^k).
int64_t HistogramMoment(const double* sums, int n, int order) {
  double total = 0.0;
  for (int i = 0; i < n; ++i) total += sums[i];
  if (total == 0.0) return 0;
  double acc = 0.0;
  for (int i = 0; i < n; ++i) {
    const double d = sums[i] / total - 1.0 / n;
    acc += order == 2 ? d * d : order == 3 ? d * d * d : d * d * d * d;
  }
  return Truncate(1.0e7 * acc);
}

int64_t HuMoment(const double* mass, int columns, int rows, int which) {
  double total = 0.0;
  for (int i = 0; i < columns * rows; ++i) total += mass[i];
  if (total == 0.0) return 0;
  double cx = 0.0, cy = 0.0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i) {
      const double m = mass[j * columns + i] / total;
      cx += i * m;
      cy += j * m;
    }
  }
  double n20 = 0, n02 = 0, n11 = 0, n30 = 0, n03 = 0, n21 = 0, n12 = 0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i) {
      const double m = mass[j * columns + i] / total;
      const double dx = i - cx, dy = j - cy;
      n20 += dx * dx * m;
      n02 += dy * dy * m;
      n11 += dx * dy * m;
      n30 += dx * dx * dx * m;
      n03 += dy * dy * dy * m;
      n21 += dx * dx * dy * m;
      n12 += dx * dy * dy * m;
    }
  }
  const double a = n30 + n12, b = n21 + n03, c = n30 - 3 * n12, d = 3 * n21 - n03;
  double h = 0.0;
  switch (which) {
    case 1:
      h = n20 + n02;
      break;
    case 2:
      h = (n20 - n02) * (n20 - n02) + 4 * n11 * n11;
      break;
    case 3:
      h = c * c + d * d;
      break;
    case 4:
      h = a * a + b * b;
      break;
    case 5:
      h = c * a * (a * a - 3 * b * b) + d * b * (3 * a * a - b * b);
      break;
    case 6:
      h = (n20 - n02) * (a * a - b * b) + 4 * n11 * a * b;
      break;
    default:
      h = d * a * (a * a - 3 * b * b) - c * b * (3 * a * a - b * b);
      break;
  }
  return std::clamp<int64_t>(Truncate(h * 100000.0), -2100000000, 2100000000);
}

int64_t MomentValue(const PlaneReader& r, const ResolvedTextureFeature& f) {
  using K = ResolvedTextureFeature::Kind;
  std::array<double, 64> sums;
  int n = 0;
  const int ox = f.rectX, oy = f.rectY;
  if (f.kind == K::Rings) {
    const int a = f.cellW, b = f.cellH;
    const int rings = 12 / std::max(a, b);
    std::array<double, 12> ring{}, area{};
    for (int i = 0; i < rings; ++i) {
      ring[i] = r.Rect(f.plane, ox + a * i, oy + b * i, kTextureBase - 2 * a * i,
                       kTextureBase - 2 * b * i);
      area[i] = static_cast<double>((23 - 2 * a * i) * (23 - 2 * b * i));
    }
    if (ring[0] == 0.0) return 0;
    for (int i = 0; i < rings; ++i) {
      const double inner = i + 1 < rings ? ring[i + 1] : 0.0;
      const double innerArea = i + 1 < rings ? area[i + 1] : 0.0;
      const double span = area[i] - innerArea;
      sums[i] = span != 0.0 ? (ring[i] - inner) / span : 0.0;
    }
    return HistogramMoment(sums.data(), rings, f.order);
  }
  const Generator g = Layout(f.moment).generator;
  if (g == Generator::Strips) {
    const int c = f.cellW;
    for (int i = 0; i < kTextureBase / c; ++i) sums[n++] = r.Rect(f.plane, ox + i * c, oy, c, 24);
    for (int j = 0; j < kTextureBase / c; ++j) sums[n++] = r.Rect(f.plane, ox, oy + j * c, 24, c);
    return HistogramMoment(sums.data(), n, f.order);
  }
  const int cw = f.cellW, ch = f.cellH;
  const int columns = kTextureBase / cw, rows = kTextureBase / ch;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i) sums[n++] = r.Rect(f.plane, ox + i * cw, oy + j * ch, cw, ch);
  }
  if (f.kind == K::Hu) return HuMoment(sums.data(), columns, rows, f.order);
  if (g == Generator::DoubleGrid) {
    for (int j = 0; j < rows - 1; ++j) {
      for (int i = 0; i < columns - 1; ++i) {
        sums[n++] = r.Rect(f.plane, ox + cw / 2 + i * cw, oy + ch / 2 + j * ch, cw, ch);
      }
    }
  }
  return HistogramMoment(sums.data(), n, f.order);
}

}  // namespace

int32_t TextureValue(const TexturePlanes& planes, const ResolvedTextureFeature& f, int x, int y) {
  using K = ResolvedTextureFeature::Kind;
  const PlaneReader r{planes.Integral() + (static_cast<size_t>(y) * f.stride + x) * kTexturePlanes,
                      f.stride};
  const int x0 = f.rectX, y0 = f.rectY, x1 = f.rectX + f.rectW - 1, y1 = f.rectY + f.rectH - 1;
  const int wp = f.rectW - 1, hp = f.rectH - 1;
  int64_t v = 0;
  switch (f.kind) {
    case K::Sum:
      v = r.Box(f.plane, x0, y0, x1, y1);
      break;
    case K::OrientationShare: {
      const int64_t s = r.Box(f.plane, x0, y0, x1, y1);
      const int64_t m = r.Box(kMagnitudePlane, x0, y0, x1, y1);
      v = m == 0 ? 100000 : s * 100000 / m;
      break;
    }
    case K::BitShare: {
      const int32_t s = static_cast<int32_t>(r.Box(f.plane, x0, y0, x1, y1));
      const int32_t bits = static_cast<int32_t>(r.Box(kBitCountPlane, x0, y0, x1, y1));
      v = bits == 0 ? 100000 : s * 100000 / bits;
      break;
    }
    case K::Variance: {
      const int area = wp * hp;
      if (area == 0) break;
      const int squarePlane =
          f.plane == kIntensityPlane ? kIntensitySquarePlane : kSaturationSquarePlane;
      const float m1 = static_cast<float>(r.Box(f.plane, x0, y0, x1, y1)) / (2.0f * area);
      const float m2 = static_cast<float>(r.Box(squarePlane, x0, y0, x1, y1)) / area;
      v = static_cast<int64_t>(5.0f * (m2 - m1 * m1));
      break;
    }
    case K::Spread: {
      const uint32_t total = r.Box(kMagnitudePlane, x0, y0, x1, y1);
      if (total == 0) break;
      float acc = 0.0f;
      for (int b = 0; b < TexturePlanes::kOrientationBins; ++b) {
        const float share = static_cast<float>(r.Box(b, x0, y0, x1, y1)) / total - 0.125f;
        acc += share * share;
      }
      v = static_cast<int64_t>(100000.0f * acc);
      break;
    }
    case K::Halves:
      if (f.vertical) {
        const int ym = y0 + hp / 2;
        v = static_cast<int64_t>(r.Box(f.plane, x0, y0, x1, ym)) - r.Box(f.plane, x0, ym, x1, y1);
      } else {
        const int xm = x0 + wp / 2;
        v = static_cast<int64_t>(r.Box(f.plane, x0, y0, xm, y1)) - r.Box(f.plane, xm, y0, x1, y1);
      }
      break;
    case K::Thirds:
      if (f.vertical) {
        const int u = hp / 3;
        v = static_cast<int64_t>(r.Box(f.plane, x0, y0, x1, y0 + u)) +
            r.Box(f.plane, x0, y1 - u, x1, y1) - r.Box(f.plane, x0, y0 + u, x1, y1 - u);
      } else {
        const int t = wp / 3;
        v = static_cast<int64_t>(r.Box(f.plane, x0, y0, x0 + t, y1)) +
            r.Box(f.plane, x1 - t, y0, x1, y1) - r.Box(f.plane, x0 + t, y0, x1 - t, y1);
      }
      break;
    default:
      v = MomentValue(r, f);
      break;
  }
  return static_cast<int32_t>(std::min<int64_t>(v < 0 ? -v : v, INT32_MAX));
}

}  // namespace fw
