#include "learn/neural/lbp_var_features.h"

#include <algorithm>
#include <array>

#include "core/resample.h"
#include "learn/code_count_features.h"

namespace fw {

namespace {

// One level: its class histogram and its variance histogram, each `classes` values, written
// from `out`; returns the position after them.
float* LevelHistograms(const uint8_t* plane, int side, const std::array<uint8_t, 256>& table,
                       int classes, float* out) {
  float* counts = out;
  float* variance = out + classes;
  std::fill(counts, counts + 2 * classes, 0.0f);
  int step[8];
  for (int k = 0; k < 8; ++k) step[k] = kLbpNeighbours[k][1] * side + kLbpNeighbours[k][0];
  float varianceSum = 0.0f;
  for (int y = 1; y < side - 1; ++y) {
    const uint8_t* row = plane + y * side;
    for (int x = 1; x < side - 1; ++x) {
      const uint8_t* p = row + x;
      const int c = *p;
      int code = 0;
      float sum = 0.0f, squares = 0.0f;
      for (int k = 0; k < 8; ++k) {
        const int n = p[step[k]];
        code |= (n >= c ? 1 : 0) << k;
        sum += static_cast<float>(n);
        squares += static_cast<float>(n * n);
      }
      const int cls = table[code];
      const float var = squares / 8.0f - sum * sum / 64.0f;
      counts[cls] += 1.0f;
      variance[cls] += var;
      varianceSum += var;
    }
  }
  const float perPixel = 1.0f / static_cast<float>((side - 2) * (side - 2));
  for (int i = 0; i < classes; ++i) counts[i] *= perPixel;
  // A level without any local variance keeps its variance histogram at 0.
  if (varianceSum > 0.0f) {
    const float scale = 1.0f / varianceSum;
    for (int i = 0; i < classes; ++i) variance[i] *= scale;
  }
  return out + 2 * classes;
}

// destination(x, y) = source(2x, 2y) of a packed square plane of side `side`.
void HalvePlane(const uint8_t* source, int side, uint8_t* destination) {
  const int half = side / 2;
  for (int y = 0; y < half; ++y) {
    for (int x = 0; x < half; ++x) destination[y * half + x] = source[2 * y * side + 2 * x];
  }
}

}  // namespace

void LbpVarFeatures::FromGrey(const uint8_t* grey, std::span<float> out) {
  if (grey != level0_) std::copy(grey, grey + kLbpVarWindow * kLbpVarWindow, level0_);
  HalvePlane(level0_, kLbpVarWindow, level1_);
  HalvePlane(level1_, kLbpVarWindow / 2, level2_);
  const LbpMapper& tables = LbpTables();
  float* v = out.data();
  v = LevelHistograms(level0_, kLbpVarWindow, tables.Uniform(), LbpMapper::kUniformClasses, v);
  v = LevelHistograms(level1_, kLbpVarWindow / 2, tables.RotationInvariant(),
                      LbpMapper::kRotationClasses, v);
  v = LevelHistograms(level2_, kLbpVarWindow / 4, tables.RotationInvariantUniform(),
                      LbpMapper::kRotationUniformClasses, v);
  std::fill(v, out.data() + out.size(), 0.0f);
  out.back() = -1.0f;
}

bool LbpVarFeatures::FromWindow(const Dib& picture, int x, int y, std::span<float> out) {
  const int depth = picture.GetBitCount();
  if ((depth != 8 && depth != 24) || out.size() < static_cast<size_t>(kLbpVarInputs) || x < 0 ||
      y < 0 || x + kLbpVarWindow > picture.Width() || y + kLbpVarWindow > picture.Height()) {
    return false;
  }
  // The grey window goes into level 0's place, which FromGrey reads in place.
  for (int r = 0; r < kLbpVarWindow; ++r) {
    const uint8_t* p = picture.Row(y + r) + static_cast<size_t>(x) * (depth / 8);
    uint8_t* g = level0_ + r * kLbpVarWindow;
    if (depth == 8) {
      std::copy(p, p + kLbpVarWindow, g);
    } else {
      for (int c = 0; c < kLbpVarWindow; ++c, p += 3) g[c] = (30 * p[2] + 59 * p[1] + 11 * p[0]) / 100;
    }
  }
  FromGrey(level0_, out);
  return true;
}

bool LbpVarFeatures::FromPicture(const Dib& picture, std::span<float> out) {
  const int depth = picture.GetBitCount();
  if ((depth != 8 && depth != 24) || picture.Width() < 1 || picture.Height() < 1 ||
      out.size() < static_cast<size_t>(kLbpVarInputs)) {
    return false;
  }
  const Dib* colour = &picture;
  if (depth == 8) {
    if (!colour_.SameFormat(picture.Width(), picture.Height(), 24)) {
      colour_.Create(picture.Width(), picture.Height(), 24, false);
    }
    for (int r = 0; r < picture.Height(); ++r) {
      const uint8_t* g = picture.Row(r);
      uint8_t* c = colour_.Row(r);
      for (int x = 0; x < picture.Width(); ++x, c += 3) c[0] = c[1] = c[2] = g[x];
    }
    colour = &colour_;
  }
  if (!stretched_.SameFormat(kLbpVarWindow, kLbpVarWindow, 8)) {
    stretched_.CreateGray(kLbpVarWindow, kLbpVarWindow);
  }
  ResampleRect(*colour, stretched_, {0, 0, colour->Width() - 1, colour->Height() - 1},
               {0, 0, kLbpVarWindow - 1, kLbpVarWindow - 1});
  return FromWindow(stretched_, 0, 0, out);
}

}  // namespace fw
