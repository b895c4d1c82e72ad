// Co-occurrence matrices, texture scores and their picture on small hand-made textures.
#include "workbench/cooccurrence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace fw {
namespace {

constexpr int L = kGreyLevels;

// A packed level plane (stride = width) from rows of levels.
struct Plane {
  int width;
  int height;
  std::vector<uint8_t> levels;
};

Plane Rows(std::initializer_list<std::initializer_list<int>> rows) {
  Plane p{static_cast<int>(rows.begin()->size()), static_cast<int>(rows.size()), {}};
  for (const auto& row : rows) {
    for (const int v : row) p.levels.push_back(static_cast<uint8_t>(v));
  }
  return p;
}

int64_t Total(const CooccurrenceMatrices& m, int d) {
  int64_t n = 0;
  for (const int32_t c : m.m[d]) n += c;
  return n;
}

TEST(Cooccurrence, SymmetricCountsOfATwoByThreeTexture) {
  // 1 2 1
  // 3 3 1      pairs by direction (first row is memory row 0):
  const Plane p = Rows({{1, 2, 1}, {3, 3, 1}});
  CooccurrenceMatrices m;
  m.m[0][5] = 99;  // cleared first
  AccumulateSymmetric(p.levels.data(), p.width, nullptr, p.width, p.height, m);
  // M0 (left-right): (1,2), (2,1), (3,3), (3,1): each unordered pair counted from both pixels.
  EXPECT_EQ(m.At(0, 1, 2), 4);
  EXPECT_EQ(m.At(0, 2, 1), 4);  // the lower triangle copies the upper one
  EXPECT_EQ(m.At(0, 3, 3), 2);
  EXPECT_EQ(m.At(0, 1, 3), 2);
  EXPECT_EQ(m.At(0, 3, 1), 2);
  EXPECT_EQ(m.At(0, 0, 5), 0);
  EXPECT_EQ(Total(m, 0), 14);
  // M90 (up-down): (1,3), (2,3), (1,1).
  EXPECT_EQ(m.At(2, 1, 3), 2);
  EXPECT_EQ(m.At(2, 2, 3), 2);
  EXPECT_EQ(m.At(2, 1, 1), 2);
  // M45 (up-left/down-right): (1,3), (2,1). M135 (up-right/down-left): (2,3), (1,3).
  EXPECT_EQ(m.At(1, 1, 3), 2);
  EXPECT_EQ(m.At(1, 1, 2), 2);
  EXPECT_EQ(m.At(3, 2, 3), 2);
  EXPECT_EQ(m.At(3, 1, 3), 2);
  EXPECT_EQ(Total(m, 1), 8);
  EXPECT_EQ(Total(m, 3), 8);
}

TEST(Cooccurrence, MaskKeepsPairsOfMaskPixelsOnly) {
  const Plane p = Rows({{1, 2, 1}, {3, 3, 1}});
  const std::vector<uint8_t> mask = {1, 1, 0, 0, 1, 0};
  CooccurrenceMatrices m;
  AccumulateSymmetric(p.levels.data(), p.width, mask.data(), p.width, p.height, m);
  // Mask pixels 1 (0,0), 2 (1,0) and 3 (1,1): pairs (1,2) in M0, (2,3) in M90, (1,3) in M45.
  EXPECT_EQ(Total(m, 0), 4);
  EXPECT_EQ(m.At(0, 1, 2), 2);
  EXPECT_EQ(Total(m, 2), 4);
  EXPECT_EQ(m.At(2, 2, 3), 2);
  EXPECT_EQ(Total(m, 1), 4);
  EXPECT_EQ(Total(m, 3), 0);
}

TEST(Cooccurrence, BlockCountsEachPairFromBothSidesInsideTheBlockOnly) {
  const Plane p = Rows({{5, 6, 7}, {8, 9, 10}, {11, 12, 13}});
  CooccurrenceMatrices m;
  // The top-left 2 x 2 block: neighbours outside it are left out.
  AccumulateBlock(p.levels.data(), p.width, p.width, p.height, IntRect{0, 0, 2, 2}, m);
  EXPECT_EQ(m.At(0, 6, 5), 1);
  EXPECT_EQ(m.At(0, 5, 6), 1);
  EXPECT_EQ(m.At(0, 9, 8), 1);
  EXPECT_EQ(m.At(0, 7, 6), 0);  // 7 lies outside the block
  EXPECT_EQ(Total(m, 0), 4);
  EXPECT_EQ(Total(m, 2), 4);
  EXPECT_EQ(m.At(1, 9, 5), 1);
  EXPECT_EQ(m.At(3, 8, 6), 1);
  // A block reaching past the plane is clamped to it.
  AccumulateBlock(p.levels.data(), p.width, p.width, p.height, IntRect{2, 2, 18, 18}, m);
  for (int d = 0; d < kDirections; ++d) EXPECT_EQ(Total(m, d), 0);
}

TEST(TextureScores, UniformTextureHasEnergyOneAndNothingElse) {
  CooccurrenceMatrices m;
  for (int d = 0; d < kDirections; ++d) m.m[d][7 * L + 7] = 50;
  TextureScores t;
  ASSERT_TRUE(ComputeTextureScores(m, t));
  for (int d = 0; d < kDirections; ++d) {
    EXPECT_FLOAT_EQ(t.measures[4 * d + 0], 1.0f);  // energy
    EXPECT_FLOAT_EQ(t.measures[4 * d + 1], 0.0f);  // contrast
    EXPECT_FLOAT_EQ(t.measures[4 * d + 2], 0.0f);  // entropy
    EXPECT_FLOAT_EQ(t.measures[4 * d + 3], 0.0f);  // no variation: no correlation
    EXPECT_FLOAT_EQ(t.scores[d], 0.0f);
  }
}

TEST(TextureScores, TwoLevelTextureByHand) {
  // M[0][31] = M[31][0] = 2: N = 4, energy 8 / 16, contrast (4 x 31^2 / 4) / 31^2 = 1,
  // entropy (4 ln 4 - 2 x 2 ln 2) / 4 / ln 1024 = ln 2 / ln 1024 = 0.1.
  // Means 4 x 31 / 2 / 4 = 15 (integer division of 62 / 4); rows and columns vary by 15.5.
  CooccurrenceMatrices m;
  for (int d = 0; d < kDirections; ++d) {
    m.m[d][0 * L + 31] = 2;
    m.m[d][31 * L + 0] = 2;
  }
  TextureScores t;
  ASSERT_TRUE(ComputeTextureScores(m, t));
  const double var = (2 * 15.0 * 15.0 + 2 * 16.0 * 16.0) / 4;  // (i - 15)^2 over i = 0, 0, 31, 31
  const double r = (4 * 15.0 * 16.0) / (4 * var);
  EXPECT_NEAR(t.measures[0], 0.5, 1e-6);
  EXPECT_NEAR(t.measures[1], 1.0, 1e-6);
  EXPECT_NEAR(t.measures[2], 0.1, 1e-6);
  EXPECT_NEAR(t.measures[3], r, 1e-6);
  EXPECT_NEAR(t.scores[0], 0.45 * 0.5 + 0.4 + 0.009 + 0.06 * r, 1e-6);
}

TEST(TextureScores, RefusesMatricesWithOneCountOrNone) {
  CooccurrenceMatrices m;
  for (int d = 0; d < kDirections; ++d) m.m[d][0] = 5;
  TextureScores t;
  t.scores[0] = 0.25f;
  m.m[2][0] = 1;  // one direction holds a single count
  EXPECT_FALSE(ComputeTextureScores(m, t));
  EXPECT_EQ(t.scores[0], 0.25f);
  m.m[2][0] = 0;
  EXPECT_FALSE(ComputeTextureScores(m, t));
}

TEST(ShowCooccurrence, FourMatricesInTheirCornersWithBands) {
  CooccurrenceMatrices m;
  m.m[0][0 * L + 1] = 20;      // M0 row 0 column 1: 20 x 255 / 40 = 127
  m.m[1][2 * L + 3] = 40;      // M45: 255
  m.m[2][31 * L + 31] = 1000;  // M90: capped at 255
  m.m[3][0] = 1;               // M135: 1 x 255 / 40 = 6
  Dib display;
  ShowCooccurrence(m, display, false);
  ASSERT_EQ(display.Width(), 2 * L + 10);
  ASSERT_EQ(display.Height(), 2 * L + 10);
  ASSERT_EQ(display.GetBitCount(), 24);
  const auto pixel = [&](int x, int y) { return display.Row(y) + 3 * x; };
  EXPECT_EQ(pixel(1, 0)[1], 127);
  EXPECT_EQ(pixel(1, 0)[2], 127);
  EXPECT_EQ(pixel(1, 0)[0], 0);
  EXPECT_EQ(pixel(L + 10 + 3, 2)[1], 255);
  EXPECT_EQ(pixel(31, L + 10 + 31)[2], 255);
  EXPECT_EQ(pixel(L + 10, L + 10)[1], 6);
  // The band between the matrices.
  EXPECT_EQ(pixel(L + 4, 5)[0], 216);
  EXPECT_EQ(pixel(L + 4, 5)[1], 233);
  EXPECT_EQ(pixel(L + 4, 5)[2], 236);
  // Log scale: ln 20 x 255 / ln 40 = 207; a count of 1 shows nothing.
  ShowCooccurrence(m, display, true);
  EXPECT_EQ(pixel(1, 0)[1], static_cast<int>(std::log(20.0) * 255 / std::log(40.0)));
  EXPECT_EQ(pixel(L + 10, L + 10)[1], 0);
}

}  // namespace
}  // namespace fw
