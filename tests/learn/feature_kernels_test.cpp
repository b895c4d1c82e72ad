// The fast kernels of the feature planes against plain per-pixel reference formulas, bit for bit:
// every Sobel gradient for the orientation bins, and whole texture planes of random and smooth
// pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "learn/code_count_features.h"
#include "learn/texture_features.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/images.h"

namespace fw {
namespace {

// The orientation bin straight from the float angle.
int ReferenceBin(int gx, int gy) {
  constexpr float kPi = 3.14159265f;
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
  return std::min(static_cast<int>(angle / 0.3926991f), 7);
}

TEST(FeatureKernels, GradientBinMatchesTheAngleForEverySobelGradient) {
  // Sobel gradients of 8-bit pictures lie in [-1020, 1020] on both axes.
  int mismatches = 0;
  for (int gy = -1020; gy <= 1020; ++gy) {
    for (int gx = -1020; gx <= 1020; ++gx) {
      if (GradientBin(gx, gy) != ReferenceBin(gx, gy) && ++mismatches <= 5) {
        ADD_FAILURE() << "gx " << gx << " gy " << gy << ": " << int(GradientBin(gx, gy))
                      << " instead of " << ReferenceBin(gx, gy);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Per-pixel planes and the 30 integral planes, computed pixel by pixel.
struct ReferencePlanes {
  std::vector<int> gx, gy, bin, lbp;
  std::vector<float> magnitude;
  std::vector<uint32_t> integral;
};

ReferencePlanes Reference(const Dib& image) {
  const int w = image.Width(), h = image.Height();
  const size_t pixels = static_cast<size_t>(w) * h;
  ReferencePlanes r{std::vector<int>(pixels), std::vector<int>(pixels), std::vector<int>(pixels),
                    std::vector<int>(pixels), std::vector<float>(pixels),
                    std::vector<uint32_t>(pixels * kTexturePlanes)};
  const auto& transitions = LbpTables().BitsAndTransitions();
  constexpr std::array<std::array<int, 2>, 8> kNeighbours = {
      {{0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}}};
  for (int y = 1; y < h - 1; ++y) {
    for (int x = 1; x < w - 1; ++x) {
      auto P = [&](int dr, int dc) { return static_cast<int>(image.Row(y + dr)[3 * (x + dc)]); };
      const int gx = (P(-1, 1) + 2 * P(0, 1) + P(1, 1)) - (P(-1, -1) + 2 * P(0, -1) + P(1, -1));
      const int gy = (P(1, -1) + 2 * P(1, 0) + P(1, 1)) - (P(-1, -1) + 2 * P(-1, 0) + P(-1, 1));
      const size_t p = static_cast<size_t>(y) * w + x;
      r.gx[p] = gx;
      r.gy[p] = gy;
      r.bin[p] = ReferenceBin(gx, gy);
      r.magnitude[p] = gx == 0 ? static_cast<float>(std::abs(gy))
                               : std::sqrt(static_cast<float>(gx * gx + gy * gy));
      unsigned code = 0;
      for (int k = 0; k < 8; ++k) {
        code |= (P(0, 0) >= P(kNeighbours[k][0], kNeighbours[k][1]) ? 1u : 0u) << k;
      }
      r.lbp[p] = transitions[256 + code] > 2 ? 0 : static_cast<int>(code);
    }
  }
  // Each integral entry sums its plane's per-pixel value over the rectangle up to (x, y).
  std::vector<std::array<uint32_t, kTexturePlanes>> value(pixels);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t p = static_cast<size_t>(y) * w + x;
      auto& v = value[p];
      v.fill(0);
      const uint32_t m = static_cast<uint32_t>(r.magnitude[p]);
      v[r.bin[p]] += m;
      v[8] = m;
      v[21 + std::min(m / 12, 7u)] += 1;
      for (int k = 0; k < 8; ++k) v[10 + k] = (r.lbp[p] >> k) & 1;
      v[29] = static_cast<uint32_t>(std::popcount(static_cast<unsigned>(r.lbp[p])));
      const uint32_t i = image.Row(y)[3 * x], s = image.Row(y)[3 * x + 1];
      v[9] = i;
      v[19] = i * i / 4;
      v[18] = s;
      v[20] = s * s / 4;
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int j = 0; j < kTexturePlanes; ++j) {
        uint32_t sum = 0;
        for (int yy = 0; yy <= y; ++yy) {
          for (int xx = 0; xx <= x; ++xx) sum += value[static_cast<size_t>(yy) * w + xx][j];
        }
        r.integral[(static_cast<size_t>(y) * w + x) * kTexturePlanes + j] = sum;
      }
    }
  }
  return r;
}

// Computes `planes` from the picture and compares every pixel and integral entry.
void ExpectSamePlanes(const Dib& picture, const char* what, TexturePlanes&& planes = {}) {
  SCOPED_TRACE(what);
  ASSERT_TRUE(planes.Compute(picture));
  const ReferencePlanes r = Reference(picture);
  const int w = picture.Width();
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t p = static_cast<size_t>(y) * w + x;
      ASSERT_EQ(planes.GradientX(x, y), r.gx[p]) << x << "," << y;
      ASSERT_EQ(planes.GradientY(x, y), r.gy[p]) << x << "," << y;
      ASSERT_EQ(planes.OrientationBin(x, y), r.bin[p]) << x << "," << y;
      ASSERT_EQ(std::bit_cast<uint32_t>(planes.Magnitude(x, y)),
                std::bit_cast<uint32_t>(r.magnitude[p]))
          << x << "," << y;
      ASSERT_EQ(planes.LbpCode(x, y), r.lbp[p]) << x << "," << y;
    }
  }
  ASSERT_TRUE(std::equal(r.integral.begin(), r.integral.end(), planes.Integral()));
}

TEST(FeatureKernels, TexturePlanesMatchThePixelByPixelFormulas) {
  for (const auto& [w, h, seed] : std::vector<std::array<int, 3>>{
           {1, 1, 1}, {2, 3, 2}, {3, 3, 3}, {17, 9, 4}, {40, 31, 5}}) {
    ExpectSamePlanes(test::RandomImage(w, h, 24, seed), "random");
  }
  // Smooth ramps and rings give gradients at every angle, many close to the bin edges.
  ExpectSamePlanes(test::GreyPicture(37, 29, [](int x, int y) { return (7 * x + 3 * y) % 256; }),
                   "ramp");
  ExpectSamePlanes(test::GreyPicture(41, 41,
                                     [](int x, int y) {
                                       const int dx = x - 20, dy = y - 20;
                                       return (dx * dx + dy * dy) / 2 % 256;
                                     }),
                   "rings");
  ExpectSamePlanes(test::SmokeLike(48, 36, 7), "smoke");
  ExpectSamePlanes(test::ClearLike(48, 36, 8), "clear");
}

TEST(FeatureKernels, SmallerPictureReusesThePlanesAndMatches) {
  TexturePlanes planes;
  ASSERT_TRUE(planes.Compute(test::RandomImage(40, 30, 24, 11)));
  // A narrower picture puts its border where the larger one had interior pixels.
  ExpectSamePlanes(test::RandomImage(20, 14, 24, 12), "smaller", std::move(planes));
}

}  // namespace
}  // namespace fw
