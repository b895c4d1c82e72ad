#include "core/colour.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <vector>

namespace fw {

namespace {

// A conversion writes only into a destination of the source's size and the depth it needs.
bool SameSize(const Dib& a, const Dib& b) {
  return a.Width() == b.Width() && a.Height() == b.Height();
}

uint8_t UnitToByte(float unit) {
  const float v = unit * 255.0f;
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 255.0f) return 255;
  return static_cast<uint8_t>(v);
}

// --- 4:2:0 tables, 16.16 fixed point ---------------------------------------------------------

constexpr int kClampOffset = 384;

struct YuvTables {
  std::array<int32_t, 256> y{};
  std::array<int32_t, 256> c1Blue{};
  std::array<int32_t, 256> c1Green{};
  std::array<int32_t, 256> c2Green{};
  std::array<int32_t, 256> c2Red{};
  std::array<uint8_t, 1024> clamp{};  // index k + 384 for k in [-384, 639]
};

constexpr YuvTables MakeYuvTables() {
  YuvTables t;
  // The first chroma plane carries Cb, the second Cr: each plane gets its own chroma's weights
  // (Cb 1.763 to blue and 0.339 to green, Cr 1.397 to red and 0.711 to green).
  for (int i = 0; i < 256; ++i) {
    t.y[i] = i * 65536;
    t.c1Blue[i] = (i - 128) * 115556;
    t.c1Green[i] = (i - 128) * 22200;
    t.c2Green[i] = (i - 128) * 46571;
    t.c2Red[i] = (i - 128) * 91536;
  }
  for (int k = -kClampOffset; k < 1024 - kClampOffset; ++k) {
    t.clamp[k + kClampOffset] = static_cast<uint8_t>(k < 0 ? 0 : (k > 255 ? 255 : k));
  }
  return t;
}

// Read-only from the start, so the capture thread needs no initialisation order.
constexpr YuvTables kYuv = MakeYuvTables();

inline uint8_t ClampShift(int32_t fixed) {
  return kYuv.clamp[(fixed >> 16) + kClampOffset];
}

// One pixel from its luma and the chroma terms of its 2 x 2 block.
inline void YuvPixel(uint8_t* out, int y, int32_t blue, int32_t green, int32_t red) {
  const int32_t luma = kYuv.y[y];
  out[0] = ClampShift(luma + blue);
  out[1] = ClampShift(luma - green);
  out[2] = ClampShift(luma + red);
}

}  // namespace

// --- float conversions -----------------------------------------------------------------------

Hsv RgbToHsv(float red, float green, float blue) {
  Hsv out;
  const float value = std::max(red, std::max(green, blue));
  const float m = std::min(red, std::min(green, blue));
  out.value = value;
  if (value == 0.0f) return out;
  const float delta = value - m;
  out.saturation = delta / value;
  if (out.saturation == 0.0f) return out;
  float h;
  if (red == value) {
    h = (green - blue) / delta;
  } else if (green == value) {
    h = 2.0f + (blue - red) / delta;
  } else {
    h = 4.0f + (red - green) / delta;
  }
  h = h * 60.0f;
  if (h < 0.0f) h += 360.0f;
  out.hue = h / 360.0f;
  return out;
}

Rgb8 HsvToRgb(float hue, float saturation, float value) {
  if (saturation == 0.0f) {
    const uint8_t v = UnitToByte(value);
    return {v, v, v};
  }
  if (hue == 1.0f) hue = 0.0f;
  const float l = hue * 6.0f;
  // A hue outside [0, 1) has no sector; NaN fails the test as well.
  if (!(l >= 0.0f && l < 6.0f)) return {};
  const float i = std::floor(l);
  const float f = l - i;
  const float p = value * (1.0f - saturation);
  const float q = value * (1.0f - saturation * f);
  const float t = value * (1.0f - saturation * (1.0f - f));
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  switch (static_cast<int>(i)) {
    case 0:
      r = value, g = t, b = p;
      break;
    case 1:
      r = q, g = value, b = p;
      break;
    case 2:
      r = p, g = value, b = t;
      break;
    case 3:
      r = p, g = q, b = value;
      break;
    case 4:
      r = t, g = p, b = value;
      break;
    default:
      r = value, g = p, b = q;
      break;
  }
  return {UnitToByte(r), UnitToByte(g), UnitToByte(b)};
}

Triple RgbToYiq(float red, float green, float blue) {
  return {0.299f * red + 0.587f * green + 0.114f * blue,
          0.596f * red - 0.275f * green - 0.321f * blue,
          0.212f * red - 0.523f * green + 0.311f * blue};
}

Triple RgbToYuv(float red, float green, float blue) {
  return {0.299f * red + 0.587f * green + 0.114f * blue,
          0.437f * blue - (0.148f * red + 0.289f * green),
          0.615f * red - 0.515f * green - 0.1f * blue};
}

void HueRamp(uint8_t* table, int count, float a, float b) {
  if (table == nullptr || count <= 0) return;
  // With one entry there is no step: the ramp is hue a alone.
  const float steps = count > 1 ? static_cast<float>(count - 1) : 1.0f;
  if (a < b) {
    const float step = (b - a) / steps;
    for (int i = 0; i < count; ++i) {
      const Rgb8 c = HsvToRgb(a + i * step, 1.0f, 1.0f);
      table[3 * i] = c.red;
      table[3 * i + 1] = c.green;
      table[3 * i + 2] = c.blue;
    }
    return;
  }
  const float step = (b + 1.0f - a) / steps;
  float hue = a;
  for (int i = 0; i < count; ++i) {
    const Rgb8 c = HsvToRgb(hue, 1.0f, 1.0f);
    table[3 * i] = c.red;
    table[3 * i + 1] = c.green;
    table[3 * i + 2] = c.blue;
    hue += step;
    if (hue >= 1.0f) hue -= 1.0f;
  }
}

// --- image conversions -----------------------------------------------------------------------

void ToGray(const Dib& source, Dib& destination) {
  if (source.GetBitCount() != 24 || destination.GetBitCount() != 8) return;
  assert(SameSize(source, destination));
  if (!SameSize(source, destination)) return;
  const int w = source.Width();
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* __restrict src = source.Row(y);
    uint8_t* __restrict dst = destination.Row(y);
    for (int x = 0; x < w; ++x) {
      const uint32_t sum = 30u * src[3 * x + 2] + 59u * src[3 * x + 1] + 11u * src[3 * x];
      dst[x] = static_cast<uint8_t>(DivideBy100(sum));
    }
  }
}

void ToGrayThousandths(const Dib& source, Dib& destination, uint8_t threshold, int mode) {
  if (source.GetBitCount() != 24 || destination.GetBitCount() != 8) return;
  assert(SameSize(source, destination));
  if (!SameSize(source, destination)) return;
  const int w = source.Width();
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* __restrict src = source.Row(y);
    uint8_t* __restrict dst = destination.Row(y);
    if (mode == 1) {
      for (int x = 0; x < w; ++x) {
        const uint32_t sum = 299u * src[3 * x + 2] + 587u * src[3 * x + 1] + 114u * src[3 * x];
        dst[x] = DivideBy1000(sum) > threshold ? 255 : 0;
      }
    } else {
      for (int x = 0; x < w; ++x) {
        const uint32_t sum = 299u * src[3 * x + 2] + 587u * src[3 * x + 1] + 114u * src[3 * x];
        dst[x] = static_cast<uint8_t>(DivideBy1000(sum));
      }
    }
  }
}

namespace {

// Intensity in out[0], saturation in out[1]; out may be the pixel itself.
inline void IntensitySaturationPixel(const uint8_t* in, uint8_t* out) {
  const int b = in[0];
  const int g = in[1];
  const int r = in[2];
  const int intensity = (b + g + r) / 3;
  int saturation = 0;
  if (intensity != 0) saturation = 255 - std::min(b, std::min(g, r)) * 255 / intensity;
  out[0] = static_cast<uint8_t>(intensity);
  out[1] = static_cast<uint8_t>(saturation);
}

}  // namespace

void ToIntensitySaturation(const Dib& source, Dib& destination) {
  if (source.GetBitCount() != 24 || destination.GetBitCount() != 24) return;
  assert(SameSize(source, destination));
  if (!SameSize(source, destination)) return;
  const int w = source.Width();
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* src = source.Row(y);
    uint8_t* dst = destination.Row(y);
    for (int x = 0; x < w; ++x) IntensitySaturationPixel(src + 3 * x, dst + 3 * x);
  }
}

void IntensitySaturationInPlace(Dib& image) {
  if (image.GetBitCount() != 24) return;
  const int w = image.Width();
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < w; ++x) IntensitySaturationPixel(row + 3 * x, row + 3 * x);
  }
}

void InitYuvTables() {}

void Yuv420ToRgb(const uint8_t* frame, Dib& image, bool enable) {
  if (!enable || frame == nullptr || image.GetBitCount() != 24) return;
  const int w = image.Width();
  const int h = image.Height();
  // Each chroma sample covers a 2 x 2 block: an odd size has no layout.
  assert(w % 2 == 0 && h % 2 == 0);
  if (w % 2 != 0 || h % 2 != 0) return;
  const int cw = w / 2;
  const uint8_t* lumaPlane = frame;
  const uint8_t* c1Plane = frame + static_cast<size_t>(w) * h;
  const uint8_t* c2Plane = c1Plane + static_cast<size_t>(cw) * (h / 2);
  for (int k = 0; k < h / 2; ++k) {
    const uint8_t* luma0 = lumaPlane + static_cast<size_t>(2 * k) * w;
    const uint8_t* luma1 = luma0 + w;
    const uint8_t* c1 = c1Plane + static_cast<size_t>(k) * cw;
    const uint8_t* c2 = c2Plane + static_cast<size_t>(k) * cw;
    uint8_t* out0 = image.Row(h - 1 - 2 * k);
    uint8_t* out1 = image.Row(h - 2 - 2 * k);
    for (int j = 0; j < cw; ++j) {
      const int32_t blue = kYuv.c1Blue[c1[j]];
      const int32_t green = kYuv.c1Green[c1[j]] + kYuv.c2Green[c2[j]];
      const int32_t red = kYuv.c2Red[c2[j]];
      YuvPixel(out0 + 6 * j, luma0[2 * j], blue, green, red);
      YuvPixel(out0 + 6 * j + 3, luma0[2 * j + 1], blue, green, red);
      YuvPixel(out1 + 6 * j, luma1[2 * j], blue, green, red);
      YuvPixel(out1 + 6 * j + 3, luma1[2 * j + 1], blue, green, red);
    }
  }
}

// --- HSV plane and colour adjustment ---------------------------------------------------------

void AllocHsvPlane(Dib& image) {
  std::vector<float>& plane = image.HsvPlane();
  plane.assign(static_cast<size_t>(image.Width()) * image.Height() * 3, 0.0f);
}

void ComputeHsvPlane(Dib& image) {
  if (image.GetBitCount() != 24) return;
  const int w = image.Width();
  const int h = image.Height();
  const size_t n = static_cast<size_t>(w) * h * 3;
  if (image.HsvPlane().size() != n) AllocHsvPlane(image);
  float* out = image.HsvPlane().data();
  constexpr float kUnit = 0.003921569f;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = image.Row(y);
    for (int x = 0; x < w; ++x, out += 3) {
      const Hsv hsv = RgbToHsv(row[3 * x + 2] * kUnit, row[3 * x + 1] * kUnit, row[3 * x] * kUnit);
      out[0] = hsv.hue;
      out[1] = hsv.saturation;
      out[2] = hsv.value;
    }
  }
}

void ShiftHsv(Dib& destination, float dh, float ds, float dv, const Dib& source) {
  const int w = source.Width();
  const int h = source.Height();
  if (destination.GetBitCount() != 24 || !SameSize(source, destination)) return;
  if (source.HsvPlane().size() != static_cast<size_t>(w) * h * 3) return;
  const float* in = source.HsvPlane().data();
  for (int y = 0; y < h; ++y) {
    uint8_t* row = destination.Row(y);
    for (int x = 0; x < w; ++x, in += 3) {
      float hue = in[0] + dh;
      if (hue > 1.0f) {
        hue -= 1.0f;
      } else if (hue < 0.0f) {
        hue += 1.0f;
      }
      const float saturation = std::clamp(in[1] + ds, 0.0f, 1.0f);
      const float value = std::clamp(in[2] + dv, 0.0f, 1.0f);
      const Rgb8 c = HsvToRgb(hue, saturation, value);
      row[3 * x] = c.blue;
      row[3 * x + 1] = c.green;
      row[3 * x + 2] = c.red;
    }
  }
}

}  // namespace fw
