// The texture family of features (the EOH cascade): per-pixel planes of a picture converted to
// intensity (byte 0) and saturation (byte 1) - Sobel gradients, orientation bins, magnitudes,
// LBP codes - accumulated into 30 integral planes, and features addressed by a packed 32-bit
// code: bits 0..7 the plane code, 8..15 the pyramid slot, 16..23 the pattern, 24..31 the moment
// number (a moment feature when not 0).
//
// Plane codes: 0..7 magnitude per orientation bin, 8 magnitude, 9 intensity, 10..17 LBP bit
// counts, 18 saturation, 19 intensity variance (pattern 2), 20 saturation variance (pattern 2),
// 21..28 magnitude-bin counts, 29 orientation spread (pattern 4), 30 LBP 1 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/integral.h"

namespace fw {

inline constexpr int kTextureBase = 24;
inline constexpr int kTexturePlanes = 30;  // integral planes per position, interleaved
inline constexpr int kMomentCount = 213;

inline int32_t TextureFeatureCode(int planeCode, int slot, int pattern, int moment) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(planeCode) | (static_cast<uint32_t>(slot) << 8) |
      (static_cast<uint32_t>(pattern) << 16) | (static_cast<uint32_t>(moment) << 24));
}

// One set of texture planes for one picture (one pyramid slot). Sized by Compute; a smaller
// picture reuses the buffers of a larger one without allocating.
class TexturePlanes {
 public:
  static constexpr int kOrientationBins = 8;
  static constexpr int kMagnitudeBins = 8;
  static constexpr float kBinWidth = 0.3926991f;  // pi / 8

  // Computes the per-pixel planes and the integral planes of a 24-bit picture whose byte 0 holds
  // intensity and byte 1 saturation. Border pixels have no gradient and no LBP code. Other
  // depths leave the planes as they were and return false.
  bool Compute(const Dib& intensitySaturation);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Integral planes, kTexturePlanes entries per position.
  const uint32_t* Integral() const { return integral_.data(); }
  int16_t GradientX(int x, int y) const { return gx_[Index(x, y)]; }
  int16_t GradientY(int x, int y) const { return gy_[Index(x, y)]; }
  uint8_t OrientationBin(int x, int y) const { return bin_[Index(x, y)]; }
  float Magnitude(int x, int y) const { return magnitude_[Index(x, y)]; }
  uint8_t LbpCode(int x, int y) const { return lbp_[Index(x, y)]; }

 private:
  size_t Index(int x, int y) const { return static_cast<size_t>(y) * width_ + x; }
  int width_ = 0;
  int height_ = 0;
  std::vector<int16_t> gx_, gy_;
  std::vector<uint8_t> bin_;
  std::vector<float> magnitude_;
  std::vector<uint8_t> lbp_;
  std::vector<uint32_t> integral_;
};

// The orientation bin 0..7 of a Sobel gradient: its angle folded to [0, pi) in eight bins of pi / 8.
uint8_t GradientBin(int gx, int gy);

// True when the code and rectangle name a texture feature that can be evaluated inside the
// 24 x 24 window on pyramid slot 0: plane codes 0..30, patterns 1, 2 (19, 20), 4 (29), 11, 12, 21,
// 22, moments 1..213 at the window origin (they cover the whole window).
bool IsTextureFeature(int32_t code, int x, int y, int w, int h);

struct ResolvedTextureFeature {
  enum class Kind : uint8_t {
    Sum,
    OrientationShare,
    BitShare,
    Variance,
    Spread,
    Halves,
    Thirds,
    Histogram,
    Rings,
    Hu
  };
  Kind kind = Kind::Sum;
  bool vertical = false;  // Halves and Thirds: top/bottom bands instead of left/right
  int plane = 0;          // interleaved plane index
  int order = 2;          // moment order, or the Hu moment 1..7
  int stride = 0;         // plane positions per row
  int rectX = 0, rectY = 0, rectW = 0, rectH = 0;
  int cellW = 0, cellH = 0;  // moment blocks, or the ring steps (a, b)
  int moment = 0;
};

// Resolves a valid feature against planes of row length `stride`.
ResolvedTextureFeature ResolveTextureFeature(int32_t code, int x, int y, int w, int h, int stride);

// The non-negative value of a resolved feature at window origin (x, y) of the planes.
int32_t TextureValue(const TexturePlanes& planes, const ResolvedTextureFeature& f, int x, int y);

}  // namespace fw
