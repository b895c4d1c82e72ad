#include "learn/code_count_features.h"

#include <bit>

#include "core/colour.h"

namespace fw {

namespace {

inline uint8_t RotateLeft(uint8_t code) {
  return static_cast<uint8_t>((code << 1) | (code >> 7));
}

}  // namespace

int LbpMapper::Transitions(uint8_t code) {
  return std::popcount(static_cast<unsigned>(code ^ RotateLeft(code)));
}

LbpMapper::LbpMapper() {
  int nextUniform = 1;
  std::array<int, 256> rotationNumber;
  rotationNumber.fill(-1);
  int nextRotation = 0;
  for (int c = 0; c < 256; ++c) {
    const uint8_t code = static_cast<uint8_t>(c);
    const bool uniform = Transitions(code) <= 2;
    uniform_[c] = uniform ? static_cast<uint8_t>(nextUniform++) : 0;
    rotationUniform_[c] = uniform ? static_cast<uint8_t>(std::popcount(code) + 1u) : 0;
    uint8_t smallest = code;
    uint8_t r = code;
    for (int k = 0; k < 7; ++k) {
      r = RotateLeft(r);
      if (r < smallest) smallest = r;
    }
    if (rotationNumber[smallest] < 0) rotationNumber[smallest] = nextRotation++;
    rotation_[c] = static_cast<uint8_t>(rotationNumber[smallest]);
    bits_[c] = static_cast<uint8_t>(std::popcount(code));
    bits_[256 + c] = static_cast<uint8_t>(Transitions(code));
  }
}

const LbpMapper& LbpTables() {
  static const LbpMapper tables;
  return tables;
}

int CountClasses(CodeFamily family, int level) {
  if (family == CodeFamily::Blbp) return level == 0 ? LbpMapper::kRotationUniformClasses : 0;
  switch (level) {
    case 0:
      return LbpMapper::kUniformClasses + LbpMapper::kRotationClasses +
             LbpMapper::kRotationUniformClasses;
    case 1:
      return LbpMapper::kRotationClasses + LbpMapper::kRotationUniformClasses;
    case 2:
      return LbpMapper::kRotationUniformClasses;
    default:
      return 0;
  }
}

namespace {

// Fills the border of a class image with `value`.
void MarkBorder(uint8_t* classes, int width, int height, uint8_t value) {
  for (int x = 0; x < width; ++x) {
    classes[x] = value;
    classes[static_cast<size_t>(height - 1) * width + x] = value;
  }
  for (int y = 0; y < height; ++y) {
    classes[static_cast<size_t>(y) * width] = value;
    classes[static_cast<size_t>(y) * width + width - 1] = value;
  }
}

template <typename CodeOf>
void CodeInterior(const uint8_t* luminance, int width, int height, CodeOf codeOf) {
  std::array<ptrdiff_t, 8> step;
  for (int k = 0; k < 8; ++k) step[k] = kLbpNeighbours[k][1] * width + kLbpNeighbours[k][0];
  for (int y = 1; y < height - 1; ++y) {
    for (int x = 1; x < width - 1; ++x) {
      const size_t p = static_cast<size_t>(y) * width + x;
      std::array<uint8_t, 8> n;
      for (int k = 0; k < 8; ++k) n[k] = luminance[p + step[k]];
      codeOf(p, luminance[p], n);
    }
  }
}

}  // namespace

void BlbpCodes(const uint8_t* luminance, int width, int height, uint8_t* classes) {
  if (width <= 0 || height <= 0) return;
  const auto& table = LbpTables().RotationInvariantUniform();
  MarkBorder(classes, width, height, LbpMapper::kRotationUniformClasses);
  CodeInterior(luminance, width, height, [&](size_t p, uint8_t, const std::array<uint8_t, 8>& n) {
    unsigned code = n[0] >= n[7] ? 0x80u : 0u;
    for (int k = 0; k < 7; ++k) code |= (n[k + 1] >= n[k] ? 1u : 0u) << k;
    classes[p] = table[code];
  });
}

void PltpCodes(const uint8_t* luminance, int width, int height, uint8_t* uniform, uint8_t* rotation,
               uint8_t* rotationUniform) {
  if (width <= 0 || height <= 0) return;
  const LbpMapper& t = LbpTables();
  if (uniform) MarkBorder(uniform, width, height, LbpMapper::kUniformClasses);
  if (rotation) MarkBorder(rotation, width, height, LbpMapper::kRotationClasses);
  if (rotationUniform) {
    MarkBorder(rotationUniform, width, height, LbpMapper::kRotationUniformClasses);
  }
  CodeInterior(luminance, width, height, [&](size_t p, uint8_t c, const std::array<uint8_t, 8>& n) {
    unsigned code = 0;
    for (int k = 0; k < 8; ++k) code |= (n[k] >= c ? 1u : 0u) << k;
    if (uniform) uniform[p] = t.Uniform()[code];
    if (rotation) rotation[p] = t.RotationInvariant()[code];
    if (rotationUniform) rotationUniform[p] = t.RotationInvariantUniform()[code];
  });
}

namespace {

// The class images a level counts, with the table size of each and its first plane.
struct LevelTables {
  int count = 0;
  std::array<int, 3> size{};
  std::array<int, 3> firstPlane{};
};

LevelTables TablesOf(CodeFamily family, int level) {
  constexpr int U = LbpMapper::kUniformClasses, R = LbpMapper::kRotationClasses,
                Q = LbpMapper::kRotationUniformClasses;
  if (family == CodeFamily::Blbp) return {1, {Q, 0, 0}, {0, 0, 0}};
  switch (level) {
    case 0:
      return {3, {U, R, Q}, {0, U, U + R}};
    case 1:
      return {2, {R, Q, 0}, {0, R, 0}};
    default:
      return {1, {Q, 0, 0}, {0, 0, 0}};
  }
}

void CountClassImages(CountLevel& lv, const LevelTables& tables) {
  const int w = lv.width, h = lv.height, k = lv.classes;
  std::vector<uint32_t>& counts = lv.counts;
  std::array<uint32_t, 128> run{};
  for (int y = 0; y < h; ++y) {
    run.fill(0);
    uint32_t* out = counts.data() + static_cast<size_t>(y) * w * k;
    const uint32_t* above = y > 0 ? out - static_cast<size_t>(w) * k : nullptr;
    for (int x = 0; x < w; ++x) {
      const size_t p = static_cast<size_t>(y) * w + x;
      for (int t = 0; t < tables.count; ++t) {
        const uint8_t c = lv.codes[t][p];
        if (c < tables.size[t]) ++run[tables.firstPlane[t] + c];
      }
      uint32_t* o = out + static_cast<size_t>(x) * k;
      if (above) {
        const uint32_t* a = above + static_cast<size_t>(x) * k;
        for (int j = 0; j < k; ++j) o[j] = a[j] + run[j];
      } else {
        for (int j = 0; j < k; ++j) o[j] = run[j];
      }
    }
  }
}

void SizeLevel(CountLevel& lv, int width, int height, int classes, int codeImages) {
  const size_t pixels = static_cast<size_t>(width) * height;
  if (lv.width == width && lv.height == height && lv.classes == classes) return;
  lv.width = width;
  lv.height = height;
  lv.classes = classes;
  lv.luminance.assign(pixels, 0);
  for (int t = 0; t < 3; ++t) lv.codes[t].assign(t < codeImages ? pixels : 0, 0);
  lv.counts.assign(pixels * classes, 0);
}

}  // namespace

bool BuildCodeCountPlanes(const Dib& image, CodeFamily family, CodeCountPlanes& planes) {
  if (image.GetBitCount() != 24) return false;
  planes.family = family;
  planes.levels = family == CodeFamily::Blbp ? 1 : 3;
  int w = image.Width(), h = image.Height();
  for (int l = 0; l < planes.levels; ++l) {
    const LevelTables tables = TablesOf(family, l);
    CountLevel& lv = planes.level[l];
    SizeLevel(lv, w, h, CountClasses(family, l), tables.count);
    if (l == 0) {
      for (int y = 0; y < h; ++y) {
        const uint8_t* px = image.Row(y);
        uint8_t* out = lv.luminance.data() + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x, px += 3) {
          out[x] = static_cast<uint8_t>(DivideBy1000(299u * px[2] + 587u * px[1] + 114u * px[0]));
        }
      }
    } else {
      const CountLevel& up = planes.level[l - 1];
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          lv.luminance[static_cast<size_t>(y) * w + x] =
              up.luminance[static_cast<size_t>(2 * y) * up.width + 2 * x];
        }
      }
    }
    if (family == CodeFamily::Blbp) {
      BlbpCodes(lv.luminance.data(), w, h, lv.codes[0].data());
    } else if (l == 0) {
      PltpCodes(lv.luminance.data(), w, h, lv.codes[0].data(), lv.codes[1].data(),
                lv.codes[2].data());
    } else if (l == 1) {
      PltpCodes(lv.luminance.data(), w, h, nullptr, lv.codes[0].data(), lv.codes[1].data());
    } else {
      PltpCodes(lv.luminance.data(), w, h, nullptr, nullptr, lv.codes[0].data());
    }
    CountClassImages(lv, tables);
    w /= 2;
    h /= 2;
  }
  return true;
}

namespace {

// Inside the base window, and at least one plane position wide and high at its level.
bool RectInWindow(CountRect r, int level) {
  return (r.w >> level) >= 1 && (r.h >> level) >= 1 && r.x + r.w <= kCountBase &&
         r.y + r.h <= kCountBase;
}

}  // namespace

bool IsCountFeature(CodeFamily family, int32_t code, CountRect first, CountRect second) {
  const uint32_t c = static_cast<uint32_t>(code);
  const int plane = c & 0xFF;
  const int level = (c >> 8) & 0xFF;
  const int pattern = (c >> 16) & 0xFFFF;
  if (family == CodeFamily::Blbp && level != 0) return true;  // the constant 1
  if (level >= (family == CodeFamily::Blbp ? 1 : 3)) return false;
  if (plane >= CountClasses(family, level)) return false;
  if (pattern != 1 && pattern != 41) return false;
  return RectInWindow(first, level) && (pattern == 1 || RectInWindow(second, level));
}

ResolvedCountFeature ResolveCountFeature(const CodeCountPlanes& planes, int32_t code,
                                         CountRect first, CountRect second, int n) {
  const uint32_t c = static_cast<uint32_t>(code);
  ResolvedCountFeature f;
  f.plane = c & 0xFF;
  f.level = (c >> 8) & 0xFF;
  f.pattern = (c >> 16) & 0xFFFF;
  f.divisor = n * n;
  if (planes.family == CodeFamily::Blbp && f.level != 0) {
    f.constant = 1;
    f.level = 0;
    return f;
  }
  const CountLevel& lv = planes.level[f.level];
  const int k = lv.classes;
  const int shift = f.level;
  auto resolve = [&](CountRect r) {
    const int x0 = (r.x * n) >> shift, y0 = (r.y * n) >> shift;
    const int x1 = x0 + ((r.w * n) >> shift) - 1, y1 = y0 + ((r.h * n) >> shift) - 1;
    BoxOffsets b;
    const ptrdiff_t row = static_cast<ptrdiff_t>(lv.width) * k;
    b.a = y0 * row + static_cast<ptrdiff_t>(x0) * k + f.plane;
    b.b = y0 * row + static_cast<ptrdiff_t>(x1) * k + f.plane;
    b.c = y1 * row + static_cast<ptrdiff_t>(x0) * k + f.plane;
    b.d = y1 * row + static_cast<ptrdiff_t>(x1) * k + f.plane;
    b.count = (x1 - x0) * (y1 - y0);
    return b;
  };
  f.first = resolve(first);
  if (f.pattern == 41) f.second = resolve(second);
  return f;
}

CountOrigin CountWindowOrigin(const CodeCountPlanes& planes, int x, int y) {
  CountOrigin o;
  for (int l = 0; l < planes.levels; ++l) {
    const CountLevel& lv = planes.level[l];
    o.offset[l] = (static_cast<size_t>(y >> l) * lv.width + (x >> l)) * lv.classes;
  }
  return o;
}

int CountValue(const CodeCountPlanes& planes, const ResolvedCountFeature& f,
               const CountOrigin& origin) {
  if (f.constant >= 0) return f.constant;
  const uint32_t* base = planes.level[f.level].counts.data() + origin.offset[f.level];
  int v = static_cast<int>(BoxSum(base, f.first));
  if (f.pattern == 41) v -= static_cast<int>(BoxSum(base, f.second));
  return f.divisor > 1 ? v / f.divisor : v;
}

}  // namespace fw
