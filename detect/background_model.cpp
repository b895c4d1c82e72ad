#include "detect/background_model.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

#include "core/difference.h"
#include "core/ui_sink.h"

// The row kernels that carry the per-frame work of the first mixture, the channel split and the
// display are built three times on x86-64, for AVX-512 (x86-64-v4), for AVX2 and for the baseline
// instruction set, and the loader picks the one the processor runs. All do the same
// single-precision operations in the same order (no fused multiply-add), so the results are the
// same bit for bit.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define FW_ROW_KERNEL __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define FW_ROW_KERNEL
#endif

namespace fw {

namespace {

// Single-precision constants as the models use them.
constexpr float kOneSixtieth = 0.016666668f;
constexpr float kOneEighteenth = 0.055555556f;
constexpr float kReplacementWeight = 0.025000006f;
constexpr float kMixtureAlpha = 0.05f;  // learning rate of both mixtures
constexpr float kBackgroundWeight = 0.95f;
constexpr float kMixtureMatchCost = 1500.0f;
constexpr float kMixture2MatchDistance = 27.0f;
constexpr float kMinVariance = 1e-7f;
constexpr float kMaxMixtureVariance = 25.0f;
constexpr float kKernelSigmaStep = 1.0398629f;
constexpr float kKernelNorm = 0.3989423f;  // 1 / sqrt(2 pi)
constexpr int kMixtureLearnFrames = 12;    // learning frames per component of the first mixture
constexpr int kGaussLowVarianceDistance = 900;  // 30 squared
constexpr int kMaxClusterPasses = 300;          // ends a clustering that never settles

// Mask cleaning marks.
constexpr uint8_t kForegroundVisit = 100;
constexpr uint8_t kBackgroundVisit = 150;
constexpr uint8_t kLargeBackground = 200;
constexpr uint8_t kKept = 255;

inline void PaintBlue(uint8_t* pixel) {
  pixel[0] = 255;
  pixel[1] = 0;
  pixel[2] = 0;
}

// a where the mask is all ones, b where it is zero; a select the row kernels can vectorise.
inline float Choose(int32_t mask, float a, float b) {
  return std::bit_cast<float>((std::bit_cast<int32_t>(a) & mask) |
                              (std::bit_cast<int32_t>(b) & ~mask));
}
inline int32_t Choose32(int32_t mask, int32_t a, int32_t b) {
  return (a & mask) | (b & ~mask);
}

// Splits a row of 24-bit pixels into three float rows (blue, green, red).
FW_ROW_KERNEL void SplitChannels(const uint8_t* src, int width, float* blue, float* green,
                                 float* red) {
  for (int x = 0; x < width; ++x) {
    blue[x] = src[3 * x];
    green[x] = src[3 * x + 1];
    red[x] = src[3 * x + 2];
  }
}

// Fields of a first-mixture component. The variance is one value for all channels, kept within
// [1e-7, 25]; the two cost terms depend on the variance alone and are kept beside it, so that a
// frame divides only for the component it moves.
enum MixtureField {
  kVariance,
  kMeanBlue,
  kMeanGreen,
  kMeanRed,
  kWeight,
  kDistanceScale,  // 0.5 / variance + 1/18
  kVarianceCost,   // 1.5 x (variance / 9 + 9 / variance - 2)
  kMixtureFields
};

constexpr int kLanes = kMixtureLanes;
constexpr int kBlockLanes = kMixtureComponents * kMixtureFields;  // lane rows of one block

// The records of one block of kLanes neighbouring pixels of a row: field f of component slot c
// of lane l is first[c * kMixtureFields + f].lane[l]. All fields of all five components of the
// block lie together, so the block is read once per frame and its moving components are
// fetched and stored within it.
struct MixtureBlock {
  MixtureLanes* first;
  float* row(int slot, int field) const { return first[slot * kMixtureFields + field].lane; }
  float& at(int slot, int field, int l) const { return row(slot, field)[l]; }
};

// Clamps a variance as the matching does (below 1e-7 it becomes 1, from 25 on it is 25) and
// refreshes the cost terms that depend on it. Clamping when the variance is written gives the
// values that clamping before every match would: nothing reads a variance in between.
void SetMixtureVariance(const MixtureBlock& b, int l, int slot, float variance) {
  if (variance < kMinVariance) variance = 1.0f;
  if (variance >= kMaxMixtureVariance) variance = kMaxMixtureVariance;
  b.at(slot, kVariance, l) = variance;
  b.at(slot, kDistanceScale, l) = 0.5f / variance + kOneEighteenth;
  b.at(slot, kVarianceCost, l) = 1.5f * (variance / 9.0f + 9.0f / variance - 2.0f);
}

void SwapMixtureSlots(const MixtureBlock& b, int l, int first, int second) {
  for (int f = 0; f < kMixtureFields; ++f) std::swap(b.at(first, f, l), b.at(second, f, l));
}

// The last background component of a record in weight order: the smallest i in 0..3 whose
// cumulative weight reaches 0.95, `b` when none does.
int8_t LastBackground(const MixtureBlock& block, int l, int8_t b) {
  float sum = 0.0f;
  for (int i = 0; i < kMixtureComponents - 1; ++i) {
    sum += block.at(i, kWeight, l);
    if (sum >= kBackgroundWeight) return static_cast<int8_t>(i);
  }
  return b;
}

// Sorts the five components of a record, largest key first, by adjacent exchanges (stable; at
// most four passes), then finds the last background component: the smallest i in 0..3 whose
// cumulative weight reaches 0.95. When none does, b keeps its value.
template <typename Component, typename Key>
void SortComponents(Component* c, int8_t& b, Key key) {
  for (int pass = 0; pass < kMixtureComponents - 1; ++pass) {
    bool exchanged = false;
    for (int i = 0; i < kMixtureComponents - 1 - pass; ++i) {
      if (key(c[i]) < key(c[i + 1])) {
        std::swap(c[i], c[i + 1]);
        exchanged = true;
      }
    }
    if (!exchanged) break;
  }
  float sum = 0.0f;
  for (int i = 0; i < kMixtureComponents - 1; ++i) {
    sum += c[i].weight;
    if (sum >= kBackgroundWeight) {
      b = static_cast<int8_t>(i);
      return;
    }
  }
}

inline float RankKey(float weight, const std::array<float, 3>& variance) {
  return weight * weight / (variance[0] * variance[1] * variance[2]);
}

// The learning frame of the second mixture: the 60 samples of one pixel are clustered into five
// components. The fuzzy memberships of a sample depend only on its byte value within one pass and
// channel, so they are computed once per value that occurs (stamped), and the sums still run over
// the samples in order.
class PixelClusterer {
 public:
  explicit PixelClusterer(uint32_t seed) : random_(seed) {}

  // samples: 60 (blue, green, red) triples. Writes the five components in rank order and b.
  void Cluster(const uint8_t* samples, Mixture2Component* out, int8_t& b) {
    float centre[kMixtureComponents][3];
    for (int c = 0; c < kMixtureComponents; ++c) {
      const uint8_t* s = samples + 3 * (random_() % kDensitySamples);
      for (int ch = 0; ch < 3; ++ch) centre[c][ch] = s[ch];
    }
    for (int pass = 0; pass < kMaxClusterPasses; ++pass) {
      float change = 0.0f;
      float moved[kMixtureComponents][3];
      for (int ch = 0; ch < 3; ++ch) {
        NextStamp();
        float weighted[kMixtureComponents] = {};
        float total[kMixtureComponents] = {};
        for (int s = 0; s < kDensitySamples; ++s) {
          const int x = samples[3 * s + ch];
          const float* g = Memberships(x, centre, ch);
          const float value = static_cast<float>(x);
          for (int c = 0; c < kMixtureComponents; ++c) {
            weighted[c] += g[c] * value;
            total[c] += g[c];
          }
        }
        // A centre that no sample belongs to stays where it is (its quotient would be 0 / 0).
        for (int c = 0; c < kMixtureComponents; ++c) {
          moved[c][ch] = total[c] > 0.0f ? weighted[c] / total[c] : centre[c][ch];
        }
      }
      for (int c = 0; c < kMixtureComponents; ++c) {
        for (int ch = 0; ch < 3; ++ch) {
          change += std::fabs(centre[c][ch] - moved[c][ch]);
          centre[c][ch] = moved[c][ch];
        }
      }
      if (change <= 0.01f) break;
    }

    int count[kMixtureComponents] = {};
    float squares[kMixtureComponents][3] = {};
    for (int s = 0; s < kDensitySamples; ++s) {
      const uint8_t* x = samples + 3 * s;
      int best = 0;
      float bestDistance = 0.0f;
      for (int c = 0; c < kMixtureComponents; ++c) {
        const float db = x[0] - centre[c][0];
        const float dg = x[1] - centre[c][1];
        const float dr = x[2] - centre[c][2];
        const float distance = db * db + dg * dg + dr * dr;
        if (c == 0 || distance < bestDistance) {
          best = c;
          bestDistance = distance;
        }
      }
      ++count[best];
      for (int ch = 0; ch < 3; ++ch) {
        const float d = x[ch] - centre[best][ch];
        squares[best][ch] += d * d;
      }
    }
    for (int c = 0; c < kMixtureComponents; ++c) {
      Mixture2Component& m = out[c];
      for (int ch = 0; ch < 3; ++ch) {
        m.mean[ch] = centre[c][ch];
        m.variance[ch] =
            count[c] == 0 ? 1.0f : std::max(squares[c][ch] / static_cast<float>(count[c]), 1.0f);
      }
      m.weight = std::max(static_cast<float>(count[c]) * kOneSixtieth, kMinVariance);
      m.rankKey = RankKey(m.weight, m.variance);
    }
    SortComponents(out, b, [](const Mixture2Component& m) { return m.rankKey; });
  }

 private:
  void NextStamp() {
    if (++stamp_ == 0) {
      stamps_.fill(0);
      stamp_ = 1;
    }
  }

  // Normalised memberships of value x in the five centres of one channel. A sample far from
  // every centre (all five kernels vanish) is shared equally.
  const float* Memberships(int x, const float (*centre)[3], int ch) {
    float* g = memberships_[x].data();
    if (stamps_[x] == stamp_) return g;
    stamps_[x] = stamp_;
    float sum = 0.0f;
    for (int c = 0; c < kMixtureComponents; ++c) {
      const float d = static_cast<float>(x) - centre[c][ch];
      g[c] = std::exp(-0.02f * (d * d));
      sum += g[c];
    }
    for (int c = 0; c < kMixtureComponents; ++c) g[c] = sum > 0.0f ? g[c] / sum : 0.2f;
    return g;
  }

  std::minstd_rand random_;
  uint32_t stamp_ = 0;
  std::array<uint32_t, 256> stamps_{};
  std::array<std::array<float, kMixtureComponents>, 256> memberships_{};
};

}  // namespace

// --- shared filters ------------------------------------------------------------------------------

namespace {

bool FilterFormats(const Dib& source, const Dib& destination) {
  const int bits = source.GetBitCount();
  return (bits == 8 || bits == 24) && source.SameFormat(destination) &&
         source.Stride() == destination.Stride() && source.Width() >= 3 && source.Height() >= 3;
}

inline void SortPair(uint8_t& a, uint8_t& b) {
  const uint8_t lo = std::min(a, b);
  const uint8_t hi = std::max(a, b);
  a = lo;
  b = hi;
}

// Median of nine by a fixed exchange network (19 exchanges).
inline uint8_t MedianOfNine(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5,
                            uint8_t p6, uint8_t p7, uint8_t p8) {
  SortPair(p1, p2);
  SortPair(p4, p5);
  SortPair(p7, p8);
  SortPair(p0, p1);
  SortPair(p3, p4);
  SortPair(p6, p7);
  SortPair(p1, p2);
  SortPair(p4, p5);
  SortPair(p7, p8);
  SortPair(p0, p3);
  SortPair(p5, p8);
  SortPair(p4, p7);
  SortPair(p3, p6);
  SortPair(p1, p4);
  SortPair(p2, p5);
  SortPair(p4, p7);
  SortPair(p4, p2);
  SortPair(p6, p4);
  SortPair(p4, p2);
  return p4;
}

}  // namespace

void Median3x3(const Dib& source, Dib& destination) {
  if (!FilterFormats(source, destination)) return;
  const int bpp = source.BytesPerPixel();
  const int first = bpp;
  const int last = (source.Width() - 1) * bpp;  // one past the last interior byte
  for (int y = 1; y + 1 < source.Height(); ++y) {
    const uint8_t* up = source.Row(y - 1);
    const uint8_t* mid = source.Row(y);
    const uint8_t* down = source.Row(y + 1);
    uint8_t* out = destination.Row(y);
    for (int i = first; i < last; ++i) {
      out[i] = MedianOfNine(up[i - bpp], up[i], up[i + bpp], mid[i - bpp], mid[i], mid[i + bpp],
                            down[i - bpp], down[i], down[i + bpp]);
    }
  }
}

void Smooth3x3(const Dib& source, Dib& destination) {
  if (!FilterFormats(source, destination)) return;
  const int bpp = source.BytesPerPixel();
  const int first = bpp;
  const int last = (source.Width() - 1) * bpp;
  for (int y = 1; y + 1 < source.Height(); ++y) {
    const uint8_t* up = source.Row(y - 1);
    const uint8_t* mid = source.Row(y);
    const uint8_t* down = source.Row(y + 1);
    uint8_t* out = destination.Row(y);
    for (int i = first; i < last; ++i) {
      const uint16_t sum =
          static_cast<uint16_t>(3 * mid[i] + 2 * (mid[i - bpp] + mid[i + bpp] + up[i] + down[i]) +
                                up[i - bpp] + up[i + bpp] + down[i - bpp] + down[i + bpp]);
      out[i] = static_cast<uint8_t>(sum / 15);
    }
  }
}

// --- construction and settings -------------------------------------------------------------------

BackgroundModel::BackgroundModel(BackgroundKind kind, Dib& source, Dib& display)
    : kind_(kind),
      source_(&source),
      display_(&display),
      width_(source.Width()),
      height_(source.Height()),
      pixels_(static_cast<size_t>(source.Width()) * static_cast<size_t>(source.Height())) {
  mask_.assign(pixels_, 0);
  secondMask_.assign(pixels_, 0);
  if (kind == BackgroundKind::Gauss) rowFloats_.assign(static_cast<size_t>(width_) * 3, 0.0f);
  switch (kind) {
    case BackgroundKind::Mixture: {
      mixtureBlocks_ = (width_ + kLanes - 1) / kLanes;
      const size_t blocks = static_cast<size_t>(mixtureBlocks_) * height_;
      mixture_.assign(blocks * kBlockLanes, MixtureLanes{});
      for (size_t k = 0; k < blocks; ++k) {
        const MixtureBlock b{mixture_.data() + k * kBlockLanes};
        for (int c = 0; c < kMixtureComponents; ++c) std::fill_n(b.row(c, kWeight), kLanes, 0.2f);
      }
      mixtureB_.assign(blocks * kLanes, 2);
      // The channel rows run to the end of the last block; the lanes past the frame's width stay
      // 0.
      rowFloats_.assign(static_cast<size_t>(mixtureBlocks_) * kLanes * 3, 0.0f);
      break;
    }
    case BackgroundKind::Gauss:
      for (int ch = 0; ch < 3; ++ch) {
        gaussMean_[ch].assign(pixels_, 0.0f);
        gaussDistance_[ch].assign(pixels_, 0.0f);
        gaussVariance_[ch].assign(pixels_, 0.0f);
      }
      break;
    case BackgroundKind::Density:
      densitySamples_.assign(pixels_ * 3 * kDensitySamples, 0);
      BuildKernelTable();
      break;
    case BackgroundKind::Mixture2:
      mixture2_.assign(pixels_ * kMixtureComponents, Mixture2Component{});
      mixture2B_.assign(pixels_, 2);
      mixture2Samples_.assign(pixels_ * 3 * kDensitySamples, 0);
      break;
    case BackgroundKind::TimeBackground:
      frameDifference_.assign(pixels_, 0);
      backgroundDifference_.assign(pixels_, 0);
      persistence_.assign(pixels_, 0);
      break;
    case BackgroundKind::AccurateBackground:
      frameDifference_.assign(pixels_, 0);
      backgroundDifference_.assign(pixels_, 0);
      filterWork_.assign(pixels_, 0);
      break;
    case BackgroundKind::MaskBuffers:
    case BackgroundKind::Difference:
    case BackgroundKind::SimpleBackground:
      break;
  }
}

void BackgroundModel::SetDisplayMode(int mode) {
  if (mode == kDisplayForeground || mode == kDisplayBackground) displayMode_ = mode;
}

void BackgroundModel::SetClusterSeed(uint32_t seed) {
  seed_ = seed;
  seeded_ = true;
}

bool BackgroundModel::FitsModel(const Dib& image, int bitCount) const {
  return image.GetBitCount() == bitCount && image.Width() == width_ && image.Height() == height_;
}

bool BackgroundModel::FrameFits() const {
  return FitsModel(*source_, 24) && FitsModel(*display_, 24);
}

bool BackgroundModel::ModelImageFits(int bitCount, bool needsFloatCopy) const {
  if (!modelImage_ || !FitsModel(*modelImage_, bitCount)) return false;
  return !needsFloatCopy || modelImage_->FloatCopy().size() == pixels_ * (bitCount / 8);
}

std::span<const float> BackgroundModel::KernelRow(int index) const {
  if (kernelTable_.empty()) return {};
  const int row = std::clamp(index, 0, kKernelRows - 1);
  return std::span<const float>(kernelTable_).subspan(static_cast<size_t>(row) * 256, 256);
}

MixtureComponent BackgroundModel::MixtureComponentAt(int pixel, int c) const {
  assert(kind_ == BackgroundKind::Mixture && pixel >= 0 && static_cast<size_t>(pixel) < pixels_);
  const int y = pixel / width_;
  const int x = pixel % width_;
  const MixtureLanes* block =
      mixture_.data() + (static_cast<size_t>(y) * mixtureBlocks_ + x / kLanes) * kBlockLanes;
  auto field = [&](int f) { return block[c * kMixtureFields + f].lane[x % kLanes]; };
  return {field(kVariance), {field(kMeanBlue), field(kMeanGreen), field(kMeanRed)}, field(kWeight)};
}

int BackgroundModel::MixtureBackground(int pixel) const {
  assert(kind_ == BackgroundKind::Mixture && pixel >= 0 && static_cast<size_t>(pixel) < pixels_);
  const int y = pixel / width_;
  const int x = pixel % width_;
  return mixtureB_[static_cast<size_t>(y) * mixtureBlocks_ * kLanes + x];
}

Mixture2Component BackgroundModel::Mixture2ComponentAt(int pixel, int c) const {
  return mixture2_[static_cast<size_t>(pixel) * kMixtureComponents + c];
}

// Row 0 is (1, 0.5, 0, ...); row i is a normal density of width i x 1.0398629 at the colour
// difference j, cut to 0 where its exponent reaches -32. Columns 128..255 stay 0, so that a colour
// difference of 128 or more contributes nothing.
void BackgroundModel::BuildKernelTable() {
  kernelTable_.assign(static_cast<size_t>(kKernelRows) * 256, 0.0f);
  kernelTable_[0] = 1.0f;
  kernelTable_[1] = 0.5f;
  for (int i = 1; i < kKernelRows; ++i) {
    const float sigma = static_cast<float>(i) * kKernelSigmaStep;
    float* row = kernelTable_.data() + static_cast<size_t>(i) * 256;
    for (int j = 0; j < kKernelColumns; ++j) {
      const float exponent = -static_cast<float>(j * j) / (2.0f * sigma * sigma);
      row[j] = exponent > -32.0f ? kKernelNorm / sigma * std::exp(exponent) : 0.0f;
    }
  }
}

// --- display rule, cleaning, colour test ---------------------------------------------------------

namespace {

// Display "Background": background pixels take the frame's colour, foreground pixels keep theirs.
// Branch-free byte selects, so that the row vectorises.
FW_ROW_KERNEL void PaintBackgroundRow(const uint8_t* src, uint8_t* dst, const uint8_t* m,
                                      int width) {
  for (int x = 0; x < width; ++x) {
    const uint8_t keep = m[x] != 0 ? 0xFF : 0;
    for (int k = 0; k < 3; ++k) {
      dst[3 * x + k] = static_cast<uint8_t>((dst[3 * x + k] & keep) | (src[3 * x + k] & ~keep));
    }
  }
}

// Display "Foreground": foreground pixels take the frame's colour, background pixels turn blue.
// Returns the number of foreground pixels.
FW_ROW_KERNEL int PaintForegroundRow(const uint8_t* src, uint8_t* dst, const uint8_t* m,
                                     int width) {
  int painted = 0;
  for (int x = 0; x < width; ++x) {
    const uint8_t shown = m[x] != 0 ? 0xFF : 0;
    painted += m[x] != 0;
    dst[3 * x] = static_cast<uint8_t>((src[3 * x] & shown) | (255 & ~shown));
    dst[3 * x + 1] = static_cast<uint8_t>(src[3 * x + 1] & shown);
    dst[3 * x + 2] = static_cast<uint8_t>(src[3 * x + 2] & shown);
  }
  return painted;
}

}  // namespace

int BackgroundModel::Paint() {
  if (!FrameFits()) return 0;
  int painted = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* dst = display_->Row(y);
    const uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    if (displayMode_ == kDisplayBackground) {
      PaintBackgroundRow(src, dst, m, width_);
    } else {
      painted += PaintForegroundRow(src, dst, m, width_);
    }
  }
  return displayMode_ == kDisplayForeground ? painted : 0;
}

void BackgroundModel::CleanMask() {
  uint8_t* mask = mask_.data();
  const int w = width_;
  const int h = height_;
  // A region search collects at most 17 pixels: the 17th decides that the region stays.
  std::array<int, kSmallRegion + 1> stack;
  std::array<int, kSmallRegion + 1> region;

  // Grows the 4-connected region of `start` through pixels accepted by `member`, marking them
  // `visit`. Returns true when the region is large (17 pixels) or touches a pixel marked `large`;
  // `collected` is the number of marked pixels.
  auto grow = [&](int start, auto member, uint8_t visit, uint8_t large, int& collected) {
    int top = 0;
    collected = 0;
    mask[start] = visit;
    region[collected++] = start;
    stack[top++] = start;
    while (top > 0) {
      const int p = stack[--top];
      const int x = p % w;
      const int y = p / w;
      // Right, up, left, down.
      const int neighbours[4] = {x + 1 < w ? p + 1 : -1, y > 0 ? p - w : -1, x > 0 ? p - 1 : -1,
                                 y + 1 < h ? p + w : -1};
      for (const int q : neighbours) {
        if (q < 0) continue;
        if (mask[q] == large) return true;
        if (!member(mask[q])) continue;
        mask[q] = visit;
        region[collected++] = q;
        if (collected > kSmallRegion) return true;
        stack[top++] = q;
      }
    }
    return false;
  };

  const int n = w * h;
  // Small foreground regions become background; the others become 255.
  auto unvisitedForeground = [](uint8_t v) {
    return v != 0 && v != kForegroundVisit && v != kKept;
  };
  for (int p = 0; p < n; ++p) {
    if (mask[p] == 0 || mask[p] == kKept) continue;
    int collected = 0;
    const bool large = grow(p, unvisitedForeground, kForegroundVisit, kKept, collected);
    const uint8_t result = large ? kKept : 0;
    for (int i = 0; i < collected; ++i) mask[region[i]] = result;
  }
  // Small background holes are filled; large background regions are marked and end as 0.
  auto unvisitedBackground = [](uint8_t v) { return v == 0; };
  for (int p = 0; p < n; ++p) {
    if (mask[p] != 0) continue;
    int collected = 0;
    const bool large = grow(p, unvisitedBackground, kBackgroundVisit, kLargeBackground, collected);
    const uint8_t result = large ? kLargeBackground : kKept;
    for (int i = 0; i < collected; ++i) mask[region[i]] = result;
  }
  for (int p = 0; p < n; ++p) {
    if (mask[p] == kLargeBackground) mask[p] = 0;
  }
}

void BackgroundModel::ColourTest(bool trim) {
  if (!FrameFits()) return;
  constexpr int kRedLimit = 125;
  constexpr int kSaturationLimit = 60;
  int kept = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* dst = display_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      if (m[x] == 0) continue;
      const int blue = src[3 * x];
      const int green = src[3 * x + 1];
      const int red = src[3 * x + 2];
      const int hi = std::max({blue, green, red});
      const int lo = std::min({blue, green, red});
      const int saturation = hi == 0 ? 0 : 255 * (hi - lo) / hi;
      if (red > kRedLimit && red >= green && green > blue &&
          saturation >= (255 - red) * kSaturationLimit / kRedLimit) {
        ++kept;
        continue;
      }
      m[x] = 0;
      if (trim) {
        PaintBlue(dst + 3 * x);
      } else {
        dst[3 * x + 2] = static_cast<uint8_t>(dst[3 * x + 2] / 2 + 127);
      }
    }
  }
  colourCount_ = kept;
}

// --- frame differences (1, 2) --------------------------------------------------------------------

void BackgroundModel::DifferenceStep(int mode, int threshold, Dib& previous, Dib& secondPrevious) {
  if (kind_ != BackgroundKind::Difference || !FrameFits() || !FitsModel(previous, 24)) return;
  if (!modelImage_ || modelImage_->Width() != width_ || modelImage_->Height() != height_) return;
  const int bits = modelImage_->GetBitCount();
  if (bits != 8 && bits != 24) return;
  if (mode == 1) {
    DifferenceMask(*modelImage_, *source_, previous, threshold);
    previous.SwapPixels(*source_);
  } else if (mode == 2 && FitsModel(secondPrevious, 24)) {
    DoubleDifferenceMask(*modelImage_, secondPrevious, previous, *source_, threshold);
    secondPrevious.SwapPixels(previous);
    previous.SwapPixels(*source_);
  }
}

void BackgroundModel::DeriveDifferenceMask() {
  if (!modelImage_ || modelImage_->Width() != width_ || modelImage_->Height() != height_) return;
  const int bits = modelImage_->GetBitCount();
  if (bits != 8 && bits != 24) return;
  const int bpp = bits / 8;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* row = modelImage_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) m[x] = row[x * bpp] == 255 ? 1 : 0;
  }
}

// --- mixture of Gaussians (257) ------------------------------------------------------------------

namespace {

// One frame row of the mixture test, block by block. For each pixel of a block:
// 1. the matching cost of all five components, keeping the cheapest (the first of equal costs);
// 2. the weights: a matched background component k (cost below 1500, k not above B) makes all
//    weights scale by 1 - alpha and k gain alpha; otherwise the last component is replaced, with
//    weight 0.025000006, and components 0..3 share the rest;
// 3. the moving component (k, or 4 for a replacement) is updated: with rho = alpha / its weight,
//    mean = rho x pixel + (1 - rho) x mean and variance = rho (1 - rho) x D' + (1 - rho) x
//    variance + 9 rho; a replacement takes the pixel as its mean and the smallest variance of
//    components 0..3;
// 4. the moving component climbs past lighter ones, as the stable adjacent-exchange sort would
//    move it: a record is in weight order before its update, and an update changes all other
//    weights by the same monotonic step, so they stay in order and the ones lighter than the
//    moving component are the last ones above it. It lands at its slot less their number, the
//    slots between move down by one, and the record is written back in that order;
// 5. the mask (1 for a replacement) and B, the smallest i in 0..3 whose cumulative weight
//    reaches 0.95 (unchanged when none does).
// Picking the moving component and placing the record are selects over the five slots, so the
// lanes of a block run as one branch-free vector loop.
FW_ROW_KERNEL void MixtureTestRow(MixtureLanes* records, const float* const channel[3],
                                  int8_t* bRow, uint8_t* maskRow, int width) {
  constexpr float alpha = kMixtureAlpha;
  constexpr float keep = 1.0f - kMixtureAlpha;
  constexpr int kLast = kMixtureComponents - 1;
  for (int x0 = 0; x0 < width; x0 += kLanes, records += kBlockLanes, bRow += kLanes) {
    float* const f = records[0].lane;
    const float* const blue = channel[0] + x0;
    const float* const green = channel[1] + x0;
    const float* const red = channel[2] + x0;
    auto at = [f](int slot, int field) { return f + (slot * kMixtureFields + field) * kLanes; };
    // The byte rows are widened and narrowed outside the lane loop, so that it runs on 32-bit
    // lanes alone and vectorises at the full width.
    int32_t last[kLanes];
    int32_t foreground[kLanes];
    for (int l = 0; l < kLanes; ++l) last[l] = bRow[l];
#pragma GCC ivdep
    for (int l = 0; l < kLanes; ++l) {
      const float pb = blue[l];
      const float pg = green[l];
      const float pr = red[l];
      // 1. Matching costs.
      float cheapest = 1e11f;
      int32_t best = -1;
#pragma GCC unroll 5
      for (int c = 0; c < kMixtureComponents; ++c) {
        const float db = pb - at(c, kMeanBlue)[l];
        const float dg = pg - at(c, kMeanGreen)[l];
        const float dr = pr - at(c, kMeanRed)[l];
        const float distance = db * db + dg * dg + dr * dr;
        const float cost = distance * at(c, kDistanceScale)[l] + at(c, kVarianceCost)[l];
        const int32_t better = -static_cast<int32_t>(cost < cheapest);
        cheapest = Choose(better, cost, cheapest);
        best = Choose32(better, c, best);
      }
      const int32_t matched =
          -static_cast<int32_t>((best >= 0) & (cheapest < kMixtureMatchCost) & (best <= last[l]));

      // 2. Weights; the slot that moves and the slot its variance comes from.
      const float share = (at(kLast, kWeight)[l] - kReplacementWeight) * 0.25f;
      float weight[kMixtureComponents];
      int32_t smallest = 0;
      float smallestVariance = 1e11f;
#pragma GCC unroll 5
      for (int c = 0; c < kMixtureComponents; ++c) {
        const float old = at(c, kWeight)[l];
        const float scaled = keep * old;
        const float gained = scaled + alpha;
        const float replaced = c < kLast ? old + share : kReplacementWeight;
        const int32_t isBest = -static_cast<int32_t>(best == c);
        weight[c] = Choose(matched, Choose(isBest, gained, scaled), replaced);
        if (c < kLast) {
          const float v = at(c, kVariance)[l];
          const int32_t less = -static_cast<int32_t>(v < smallestVariance);
          smallestVariance = Choose(less, v, smallestVariance);
          smallest = Choose32(less, c, smallest);
        }
      }
      const int32_t target = Choose32(matched, best, kLast);
      const int32_t source = Choose32(matched, best, smallest);

      // 3. The moving component.
      float moving = weight[0];
      float oldBlue = at(0, kMeanBlue)[l];
      float oldGreen = at(0, kMeanGreen)[l];
      float oldRed = at(0, kMeanRed)[l];
      float oldVariance = at(0, kVariance)[l];
      float oldScale = at(0, kDistanceScale)[l];
      float oldCost = at(0, kVarianceCost)[l];
#pragma GCC unroll 4
      for (int c = 1; c < kMixtureComponents; ++c) {
        const float meanBlue = at(c, kMeanBlue)[l];
        const float meanGreen = at(c, kMeanGreen)[l];
        const float meanRed = at(c, kMeanRed)[l];
        const float variance = at(c, kVariance)[l];
        const float distanceScale = at(c, kDistanceScale)[l];
        const float varianceCost = at(c, kVarianceCost)[l];
        const int32_t isTarget = -static_cast<int32_t>(target == c);
        const int32_t isSource = -static_cast<int32_t>(source == c);
        moving = Choose(isTarget, weight[c], moving);
        oldBlue = Choose(isTarget, meanBlue, oldBlue);
        oldGreen = Choose(isTarget, meanGreen, oldGreen);
        oldRed = Choose(isTarget, meanRed, oldRed);
        oldVariance = Choose(isSource, variance, oldVariance);
        oldScale = Choose(isSource, distanceScale, oldScale);
        oldCost = Choose(isSource, varianceCost, oldCost);
      }
      const float rho = alpha / moving;
      const float rest = 1.0f - rho;
      const float mb = rho * pb + rest * oldBlue;
      const float mg = rho * pg + rest * oldGreen;
      const float mr = rho * pr + rest * oldRed;
      const float db = pb - mb;
      const float dg = pg - mg;
      const float dr = pr - mr;
      const float distance = db * db + dg * dg + dr * dr;
      float v = rho * rest * distance + rest * oldVariance + 9.0f * rho;
      v = Choose(-static_cast<int32_t>(v < kMinVariance), 1.0f, v);
      v = Choose(-static_cast<int32_t>(v >= kMaxMixtureVariance), kMaxMixtureVariance, v);
      const float scale = 0.5f / v + kOneEighteenth;
      const float cost = 1.5f * (v / 9.0f + 9.0f / v - 2.0f);
      float moved[kMixtureFields];  // the moving component; its weight is `moving`
      moved[kVariance] = Choose(matched, v, oldVariance);
      moved[kMeanBlue] = Choose(matched, mb, pb);
      moved[kMeanGreen] = Choose(matched, mg, pg);
      moved[kMeanRed] = Choose(matched, mr, pr);
      moved[kDistanceScale] = Choose(matched, scale, oldScale);
      moved[kVarianceCost] = Choose(matched, cost, oldCost);

      // 4. The slot the moving component climbs to, and the record written back in order: the
      // slots above `lands` keep their components, the ones from `lands` to `target` take the
      // moving component and then the components above them. Slots are written from the last,
      // so that each reads the one above it before that is written.
      int32_t lighter = 0;
#pragma GCC unroll 4
      for (int c = 0; c < kLast; ++c) {
        lighter += static_cast<int32_t>(c < target) & static_cast<int32_t>(weight[c] < moving);
      }
      const int32_t lands = target - lighter;
      float placed[kMixtureComponents];
#pragma GCC unroll 5
      for (int c = kLast; c >= 0; --c) {
        const int32_t isLanding = -static_cast<int32_t>(c == lands);
        const int32_t shifts = -static_cast<int32_t>((c > lands) & (c <= target));
        placed[c] = Choose(isLanding, moving, Choose(shifts, weight[c > 0 ? c - 1 : 0], weight[c]));
        at(c, kWeight)[l] = placed[c];
#pragma GCC unroll 7
        for (int field = 0; field < kMixtureFields; ++field) {
          if (field == kWeight) continue;
          const float below = at(c, field)[l];
          const float above = c > 0 ? at(c - 1, field)[l] : below;
          at(c, field)[l] = Choose(isLanding, moved[field], Choose(shifts, above, below));
        }
      }

      // 5. Mask and B.
      foreground[l] = target == kLast;
      float sum[kLast];
      sum[0] = placed[0];
#pragma GCC unroll 3
      for (int i = 1; i < kLast; ++i) sum[i] = sum[i - 1] + placed[i];
      int32_t b = last[l];
#pragma GCC unroll 4
      for (int i = kLast - 1; i >= 0; --i) {
        b = Choose32(-static_cast<int32_t>(sum[i] >= kBackgroundWeight), i, b);
      }
      last[l] = b;
    }
    uint8_t mask[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      bRow[l] = static_cast<int8_t>(last[l]);
      mask[l] = static_cast<uint8_t>(foreground[l]);
    }
    std::memcpy(maskRow + x0, mask, static_cast<size_t>(std::min(kLanes, width - x0)));
  }
}

}  // namespace

void BackgroundModel::MixtureStep() {
  if (kind_ != BackgroundKind::Mixture || !FrameFits()) return;
  if (learningCount_ < kLearningFrames) {
    MixtureLearn();
    ++learningCount_;
    return;
  }
  MixtureTest();
  if (!postProcessing_) Paint();
}

// Frame n adds to component n / 12: channel sums in the means, the sum of the squared channels in
// the variance. All sums are of integers well below 2^24, so they are exact. After the last
// frame the records are ordered by weight (stable adjacent exchanges) and B is found.
void BackgroundModel::MixtureLearn() {
  const int n = learningCount_;
  const int k = n / kMixtureLearnFrames;
  const bool finish = n % kMixtureLearnFrames == kMixtureLearnFrames - 1;
  const int w = width_;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    MixtureLanes* records = mixture_.data() + static_cast<size_t>(y) * mixtureBlocks_ * kBlockLanes;
    int8_t* bRow = mixtureB_.data() + static_cast<size_t>(y) * mixtureBlocks_ * kLanes;
    for (int x0 = 0; x0 < w; x0 += kLanes, records += kBlockLanes, bRow += kLanes) {
      const MixtureBlock block{records};
      float* meanBlue = block.row(k, kMeanBlue);
      float* meanGreen = block.row(k, kMeanGreen);
      float* meanRed = block.row(k, kMeanRed);
      float* variance = block.row(k, kVariance);
      const int lanes = std::min(kLanes, w - x0);
      const uint8_t* p = src + 3 * x0;
      for (int l = 0; l < lanes; ++l) {
        const int b = p[3 * l];
        const int g = p[3 * l + 1];
        const int red = p[3 * l + 2];
        meanBlue[l] += static_cast<float>(b);
        meanGreen[l] += static_cast<float>(g);
        meanRed[l] += static_cast<float>(red);
        variance[l] += static_cast<float>(b * b + g * g + red * red);
      }
      // The padding lanes past the row's end learn along with black pixels, so that their
      // records hold finite values like every other.
      if (finish) {
        for (int l = 0; l < kLanes; ++l) {
          const float mb = meanBlue[l] / 12.0f;
          const float mg = meanGreen[l] / 12.0f;
          const float mr = meanRed[l] / 12.0f;
          meanBlue[l] = mb;
          meanGreen[l] = mg;
          meanRed[l] = mr;
          SetMixtureVariance(block, l, k,
                             variance[l] / 36.0f - (mb * mb + mg * mg + mr * mr) / 3.0f);
        }
      }
      if (n == kLearningFrames - 1) {
        for (int l = 0; l < kLanes; ++l) {
          for (int pass = 0; pass < kMixtureComponents - 1; ++pass) {
            for (int i = 0; i < kMixtureComponents - 1 - pass; ++i) {
              if (block.at(i, kWeight, l) < block.at(i + 1, kWeight, l)) {
                SwapMixtureSlots(block, l, i, i + 1);
              }
            }
          }
          bRow[l] = LastBackground(block, l, bRow[l]);
        }
      }
    }
  }
}

void BackgroundModel::MixtureTest() {
  const int w = width_;
  const size_t blocks = static_cast<size_t>(mixtureBlocks_);
  const size_t padded = blocks * kLanes;
  float* const channel[3] = {rowFloats_.data(), rowFloats_.data() + padded,
                             rowFloats_.data() + 2 * padded};
  for (int y = 0; y < height_; ++y) {
    SplitChannels(source_->Row(y), w, channel[0], channel[1], channel[2]);
    MixtureTestRow(mixture_.data() + y * blocks * kBlockLanes, channel,
                   mixtureB_.data() + y * padded, mask_.data() + static_cast<size_t>(y) * w, w);
  }
}

// --- single Gaussian (258) -----------------------------------------------------------------------

void BackgroundModel::GaussStep() {
  if (kind_ != BackgroundKind::Gauss || !FrameFits()) return;
  if (gaussCount_ < kLearningFrames) {
    GaussLearn();
    ++gaussCount_;
    return;
  }
  GaussTest();
  if (!postProcessing_) Paint();
  // The count passes 60 once the first frame has been tested.
  if (gaussCount_ == kLearningFrames) ++gaussCount_;
}

// Sums and sums of squares of integers below 2^24: exact in single precision.
void BackgroundModel::GaussLearn() {
  const bool finish = gaussCount_ == kLearningFrames - 1;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    const size_t row = static_cast<size_t>(y) * width_;
    for (int ch = 0; ch < 3; ++ch) {
      float* mean = gaussMean_[ch].data() + row;
      float* variance = gaussVariance_[ch].data() + row;
      for (int x = 0; x < width_; ++x) {
        const float v = src[3 * x + ch];
        mean[x] += v;
        variance[x] += v * v;
        if (finish) {
          mean[x] = mean[x] * kOneSixtieth;
          variance[x] = variance[x] * kOneSixtieth - mean[x] * mean[x];
        }
      }
    }
  }
}

void BackgroundModel::GaussTest() {
  const float threshold = threshold_;
  const int w = width_;
  float* value[3] = {rowFloats_.data(), rowFloats_.data() + w, rowFloats_.data() + 2 * w};
  for (int y = 0; y < height_; ++y) {
    const size_t row = static_cast<size_t>(y) * w;
    SplitChannels(source_->Row(y), w, value[0], value[1], value[2]);
    for (int ch = 0; ch < 3; ++ch) {
      const float* v = value[ch];
      const float* mean = gaussMean_[ch].data() + row;
      float* distance = gaussDistance_[ch].data() + row;
      for (int x = 0; x < w; ++x) {
        const float e = v[x] - mean[x];
        distance[x] = e * e;
      }
    }
    const float* db = gaussDistance_[0].data() + row;
    const float* dg = gaussDistance_[1].data() + row;
    const float* dr = gaussDistance_[2].data() + row;
    const float* vb = gaussVariance_[0].data() + row;
    const float* vg = gaussVariance_[1].data() + row;
    const float* vr = gaussVariance_[2].data() + row;
    uint8_t* m = mask_.data() + row;
    for (int x = 0; x < w; ++x) {
      // Where a variance is below 1 the quotients are not used (they may be infinite). Integer
      // masks instead of branches, so that the row kernel vectorises.
      const int32_t lowVariance = (vb[x] < 1.0f) | (vg[x] < 1.0f) | (vr[x] < 1.0f);
      const int32_t far = (db[x] > kGaussLowVarianceDistance) |
                          (dg[x] > kGaussLowVarianceDistance) | (dr[x] > kGaussLowVarianceDistance);
      const int32_t beyond = db[x] / vb[x] + dg[x] / vg[x] + dr[x] / vr[x] > threshold;
      m[x] = static_cast<uint8_t>((lowVariance & far) | (~lowVariance & beyond));
    }
  }
}

void BackgroundModel::UpdateGaussians() {
  if (kind_ != BackgroundKind::Gauss || gaussCount_ <= kLearningFrames - 1) return;
  const int w = width_;
  float* value[3] = {rowFloats_.data(), rowFloats_.data() + w, rowFloats_.data() + 2 * w};
  for (int y = 0; y < height_; ++y) {
    const size_t row = static_cast<size_t>(y) * w;
    SplitChannels(source_->Row(y), w, value[0], value[1], value[2]);
    const uint8_t* m = mask_.data() + row;
    for (int ch = 0; ch < 3; ++ch) {
      const float* v = value[ch];
      float* mean = gaussMean_[ch].data() + row;
      float* variance = gaussVariance_[ch].data() + row;
      const float* distance = gaussDistance_[ch].data() + row;
      for (int x = 0; x < w; ++x) {
        const float updated = 0.1f * distance[x] + 0.9f * variance[x];
        const float floored = updated < kMinVariance ? kMinVariance : updated;
        const float moved = 0.1f * v[x] + 0.9f * mean[x];
        const int32_t background = -static_cast<int32_t>(m[x] == 0);
        variance[x] = Choose(background, floored, variance[x]);
        mean[x] = Choose(background, moved, mean[x]);
      }
    }
  }
}

// --- kernel density (260) ------------------------------------------------------------------------

void BackgroundModel::DensityStep(BackgroundParams& params) {
  if (kind_ != BackgroundKind::Density || !FrameFits()) return;
  constexpr int kRecord = 3 * kDensitySamples;
  if (learningCount_ < kLearningFrames) {
    const int n = learningCount_;
    for (int y = 0; y < height_; ++y) {
      const uint8_t* src = source_->Row(y);
      uint8_t* record = densitySamples_.data() + static_cast<size_t>(y) * width_ * kRecord;
      for (int x = 0; x < width_; ++x, record += kRecord) {
        std::copy_n(src + 3 * x, 3, record + 3 * n);
      }
    }
    ++learningCount_;
    return;
  }
  const float* kernel = KernelRow(params.kernelIndex).data();
  const float threshold = params.probabilityThreshold;
  int ring = params.sampleRingIndex % kDensitySamples;
  if (ring < 0) ring += kDensitySamples;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    uint8_t* record = densitySamples_.data() + static_cast<size_t>(y) * width_ * kRecord;
    for (int x = 0; x < width_; ++x, record += kRecord) {
      const int b = src[3 * x];
      const int g = src[3 * x + 1];
      const int r = src[3 * x + 2];
      float sum = 0.0f;
      for (int s = 0; s < kDensitySamples; ++s) {
        const uint8_t* sample = record + 3 * s;
        sum += kernel[std::abs(b - sample[0])] * kernel[std::abs(g - sample[1])] *
               kernel[std::abs(r - sample[2])];
      }
      const float density = kOneSixtieth * sum;
      m[x] = density >= threshold ? 0 : 1;
      std::copy_n(src + 3 * x, 3, record + 3 * ring);
      ring = ring + 1 == kDensitySamples ? 0 : ring + 1;
    }
  }
  params.sampleRingIndex = ring;
  if (!postProcessing_) Paint();
}

// --- second mixture (264) ------------------------------------------------------------------------

void BackgroundModel::Mixture2Step() {
  if (kind_ != BackgroundKind::Mixture2 || !FrameFits()) return;
  if (learningCount_ < kLearningFrames) {
    Mixture2Learn();
    return;
  }
  Mixture2Test();
  if (!postProcessing_) Paint();
}

void BackgroundModel::Mixture2Learn() {
  constexpr int kRecord = 3 * kDensitySamples;
  const int n = learningCount_;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* record = mixture2Samples_.data() + static_cast<size_t>(y) * width_ * kRecord;
    for (int x = 0; x < width_; ++x, record += kRecord) std::copy_n(src + 3 * x, 3, record + 3 * n);
  }
  char text[64];
  if (n < kLearningFrames - 1) {
    std::snprintf(text, sizeof text, kLearningFrameText, n);
    CurrentUiSink().Status(StatusField::Learning, text);
    ++learningCount_;
    return;
  }
  Mixture2Cluster();
  learningCount_ = kLearningFrames;
}

void BackgroundModel::Mixture2Cluster() {
  constexpr int kRecord = 3 * kDensitySamples;
  uint32_t seed = seed_;
  if (!seeded_) {
    seed = static_cast<uint32_t>(
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
  }
  auto clusterer = std::make_unique<PixelClusterer>(seed);
  char text[64];
  for (int y = 0; y < height_; ++y) {
    std::snprintf(text, sizeof text, kLearningLinesText, y);
    CurrentUiSink().Status(StatusField::Learning, text);
    for (int x = 0; x < width_; ++x) {
      const size_t p = static_cast<size_t>(y) * width_ + x;
      clusterer->Cluster(mixture2Samples_.data() + p * kRecord,
                         mixture2_.data() + p * kMixtureComponents, mixture2B_[p]);
    }
  }
  // The samples are needed only for the clustering.
  std::vector<uint8_t>().swap(mixture2Samples_);
}

void BackgroundModel::Mixture2Test() {
  constexpr float alpha = kMixtureAlpha;
  constexpr float keep = 1.0f - kMixtureAlpha;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    Mixture2Component* record =
        mixture2_.data() + static_cast<size_t>(y) * width_ * kMixtureComponents;
    int8_t* bRow = mixture2B_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x, record += kMixtureComponents) {
      const float pixel[3] = {static_cast<float>(src[3 * x]), static_cast<float>(src[3 * x + 1]),
                              static_cast<float>(src[3 * x + 2])};
      const int last = std::clamp<int>(bRow[x], 0, kMixtureComponents - 2);
      int match = -1;
      float d[3] = {};
      for (int c = 0; c <= last && match < 0; ++c) {
        const Mixture2Component& s = record[c];
        for (int ch = 0; ch < 3; ++ch) d[ch] = pixel[ch] - s.mean[ch];
        const float distance =
            d[0] * d[0] / s.variance[0] + d[1] * d[1] / s.variance[1] + d[2] * d[2] / s.variance[2];
        if (distance <= kMixture2MatchDistance) match = c;
      }
      if (match >= 0) {
        for (int c = 0; c < kMixtureComponents; ++c) record[c].weight = keep * record[c].weight;
        Mixture2Component& s = record[match];
        s.weight += alpha;
        for (int ch = 0; ch < 3; ++ch) {
          s.mean[ch] = keep * s.mean[ch] + alpha * pixel[ch];
          s.variance[ch] = std::max(alpha * (d[ch] * d[ch]) + keep * s.variance[ch], 1.0f);
        }
        for (int c = 0; c < kMixtureComponents; ++c) {
          record[c].weight = std::max(record[c].weight, kMinVariance);
        }
        s.rankKey = RankKey(s.weight, s.variance);
        m[x] = 0;
      } else {
        Mixture2Component& s = record[4];
        s.mean = {pixel[0], pixel[1], pixel[2]};
        s.variance = {25.0f, 25.0f, 25.0f};
        s.rankKey = s.weight * s.weight / 15625.0f;
        m[x] = 1;
      }
      SortComponents(record, bRow[x], [](const Mixture2Component& s) { return s.rankKey; });
    }
  }
}

// --- time and background (7001) ------------------------------------------------------------------

namespace {

// Squared colour distances of a pixel to the previous frame (integer) and to the float background,
// summed over blue, green and red in that order.
struct Distances {
  int frame;
  float background;
};
inline Distances SquaredDistances(const uint8_t* cur, const uint8_t* prev, const float* bg) {
  Distances d{0, 0.0f};
  for (int ch = 0; ch < 3; ++ch) {
    const int e = cur[ch] - prev[ch];
    d.frame += e * e;
    const float h = static_cast<float>(cur[ch]) - bg[ch];
    d.background += h * h;
  }
  return d;
}

}  // namespace

void BackgroundModel::TimeBackgroundStep(const Dib& previous, const BackgroundParams& params) {
  if (kind_ != BackgroundKind::TimeBackground || !FrameFits() || !FitsModel(previous, 24) ||
      !ModelImageFits(24, true)) {
    return;
  }
  const int limit = params.backgroundDistanceLimit * params.backgroundDistanceLimit;
  const float* background = modelImage_->FloatCopy().data();
  for (int y = 0; y < height_; ++y) {
    const uint8_t* cur = source_->Row(y);
    const uint8_t* prev = previous.Row(y);
    const float* bg = background + static_cast<size_t>(y) * width_ * 3;
    const size_t row = static_cast<size_t>(y) * width_;
    uint8_t* m = mask_.data() + row;
    uint8_t* fd = frameDifference_.data() + row;
    uint8_t* bd = backgroundDifference_.data() + row;
    uint8_t* counter = persistence_.data() + row;
    for (int x = 0; x < width_; ++x) {
      const auto [f, gf] = SquaredDistances(cur + 3 * x, prev + 3 * x, bg + 3 * x);
      const int g = static_cast<int>(gf);
      fd[x] = f > 3 ? 1 : 0;
      bd[x] = g >= 9 ? 1 : 0;
      uint8_t foreground = g > limit ? 1 : 0;
      // A pixel must stay off the background for four frames before it counts as foreground.
      if (foreground) {
        ++counter[x];
        if (counter[x] < 4) foreground = 0;
      } else if (counter[x] > 0) {
        --counter[x];
      }
      m[x] = foreground;
    }
  }
}

void BackgroundModel::WriteBackgroundImage() {
  if (!ModelImageFits(24, true)) return;
  const float* background = modelImage_->FloatCopy().data();
  const int rowBytes = width_ * 3;
  for (int y = 0; y < height_; ++y) {
    const float* bg = background + static_cast<size_t>(y) * rowBytes;
    uint8_t* row = modelImage_->Row(y);
    for (int i = 0; i < rowBytes; ++i) {
      row[i] = static_cast<uint8_t>(std::clamp(bg[i], 0.0f, 255.0f));
    }
  }
}

// --- simple background (7002) --------------------------------------------------------------------

void BackgroundModel::SimpleBackgroundStep(const Dib& current, const Dib& previous) {
  if (kind_ != BackgroundKind::SimpleBackground || !FrameFits() || !FitsModel(current, 8) ||
      !FitsModel(previous, 8) || !ModelImageFits(8, false)) {
    return;
  }
  for (int y = 0; y < height_; ++y) {
    const uint8_t* cur = current.Row(y);
    const uint8_t* prev = previous.Row(y);
    uint8_t* bg = modelImage_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      const int c = cur[x];
      const bool changed = c - prev[x] > 3;
      const bool brighter = c - bg[x] > 3;
      m[x] = changed && brighter ? 1 : 0;
      if (!changed && !brighter) bg[x] = static_cast<uint8_t>((9 * bg[x] + c) / 10);
    }
  }
}

// --- accurate time background (7004) -------------------------------------------------------------

namespace {

// One pass of the 3 x 3 box mean (sum of nine / 9) over the interior of a packed plane; the
// border is copied.
void BoxMean3x3(const uint8_t* source, uint8_t* destination, int width, int height) {
  std::copy_n(source, width, destination);
  std::copy_n(source + static_cast<size_t>(height - 1) * width, width,
              destination + static_cast<size_t>(height - 1) * width);
  for (int y = 1; y + 1 < height; ++y) {
    const uint8_t* up = source + static_cast<size_t>(y - 1) * width;
    const uint8_t* mid = up + width;
    const uint8_t* down = mid + width;
    uint8_t* out = destination + static_cast<size_t>(y) * width;
    out[0] = mid[0];
    out[width - 1] = mid[width - 1];
    for (int x = 1; x + 1 < width; ++x) {
      const uint16_t sum =
          static_cast<uint16_t>(up[x - 1] + up[x] + up[x + 1] + mid[x - 1] + mid[x] + mid[x + 1] +
                                down[x - 1] + down[x] + down[x + 1]);
      out[x] = static_cast<uint8_t>(sum / 9);
    }
  }
}

}  // namespace

void BackgroundModel::AccurateBackgroundStep(const Dib& previous, const BackgroundParams& params) {
  if (kind_ != BackgroundKind::AccurateBackground || !FrameFits() || !FitsModel(previous, 24) ||
      !ModelImageFits(24, true)) {
    return;
  }
  const float* background = modelImage_->FloatCopy().data();
  for (int y = 0; y < height_; ++y) {
    const uint8_t* cur = source_->Row(y);
    const uint8_t* prev = previous.Row(y);
    const float* bg = background + static_cast<size_t>(y) * width_ * 3;
    const size_t row = static_cast<size_t>(y) * width_;
    uint8_t* fd = frameDifference_.data() + row;
    uint8_t* bd = backgroundDifference_.data() + row;
    for (int x = 0; x < width_; ++x) {
      const auto [f, gf] = SquaredDistances(cur + 3 * x, prev + 3 * x, bg + 3 * x);
      fd[x] = static_cast<uint8_t>(std::min(f, 255));
      bd[x] = gf >= 255.0f ? 255 : static_cast<uint8_t>(gf);
    }
  }
  if (width_ >= 3 && height_ >= 3) {
    for (std::vector<uint8_t>* map : {&frameDifference_, &backgroundDifference_}) {
      for (int pass = 0; pass < 3; ++pass) {
        BoxMean3x3(map->data(), filterWork_.data(), width_, height_);
        map->swap(filterWork_);
      }
    }
  }
  const int frameLimit = params.frameDifferenceLimit * params.frameDifferenceLimit;
  const int backgroundLimit = params.backgroundDistanceLimit * params.backgroundDistanceLimit;
  std::fill(mask_.begin(), mask_.end(), 0);
  for (int y = 1; y + 1 < height_; ++y) {
    const size_t row = static_cast<size_t>(y) * width_;
    const uint8_t* fd = frameDifference_.data() + row;
    const uint8_t* bd = backgroundDifference_.data() + row;
    uint8_t* m = mask_.data() + row;
    for (int x = 1; x + 1 < width_; ++x) {
      m[x] = fd[x] > frameLimit && bd[x] > backgroundLimit ? 1 : 0;
    }
  }
}

// --- post step -----------------------------------------------------------------------------------

void BackgroundModel::ModelPostStep(int mode, uint8_t modelDisplayFlag,
                                    const BackgroundParams& params) {
  if (!FrameFits()) return;
  if ((mode == 1 || mode == 2) && kind_ == BackgroundKind::Difference) DeriveDifferenceMask();
  // Region analysis: the mask is published to the region pipeline here.
  if (postProcessing_) CleanMask();
  if (mode == 7001 || mode == 7004) {
    previousCount_ = count_;
    count_ = Paint();
    if (kind_ == BackgroundKind::TimeBackground || kind_ == BackgroundKind::AccurateBackground) {
      WriteBackgroundImage();
    }
  } else if (mode == 7007) {
    // Motion features: while the model-display flag is 1, paint from the accumulation mask.
  } else if (modelDisplayFlag == 1) {
    if (mode == 258) UpdateGaussians();
    previousCount_ = count_;
    count_ = Paint();
  }
  if (params.colourTesting) ColourTest(params.colourTrim);
  // Motion features: the "Frame difference" and "MEI" options of the bottom-left pane run here.
}

}  // namespace fw
