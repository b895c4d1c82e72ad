// What the block-motion engines share: direction codes, block costs against their plain
// reference, window sums from integral images against direct sums, and region labelling.
#include "detect/engines/block_motion.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/detect/engines/engine_frames.h"

namespace fw::engines {
namespace {

TEST(BlockMotion, DirectionCodesOppositesAndUpward) {
  const int opposite[9] = {0, 5, 6, 7, 8, 1, 2, 3, 4};
  for (int code = 1; code <= 8; ++code) {
    EXPECT_EQ(OppositeCode(code), opposite[code]) << code;
    // Opposite codes step the opposite way.
    EXPECT_EQ(kCodeStepX[OppositeCode(code)], -kCodeStepX[code]);
    EXPECT_EQ(kCodeStepY[OppositeCode(code)], -kCodeStepY[code]);
    // Upward is towards higher memory rows (up in a bottom-up picture).
    EXPECT_EQ(IsUpwardCode(code), kCodeStepY[code] > 0) << code;
  }
  EXPECT_EQ(WrapCode(0), 8);
  EXPECT_EQ(WrapCode(9), 1);
  EXPECT_EQ(WrapCode(4), 4);
}

TEST(BlockMotion, BlockCostsMatchThePlainSum) {
  const Dib a = test::Texture(40, 20, 1);
  const Dib b = test::Texture(40, 20, 2, 100, 140);
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; ++trial) {
    const int x = static_cast<int>(rng() % 33);
    const int y = static_cast<int>(rng() % 13);
    const uint8_t* pa = a.Row(y) + 3 * x;
    const uint8_t* pb = b.Row(y) + 3 * x;
    const int sum = BlockSadPlain(pa, pb, a.Stride());
    EXPECT_EQ(BlockSad(pa, pb, a.Stride()), sum);
    // Below the limit the whole sum comes back; at or above it, a value between the limit and
    // the sum.
    const int limit = static_cast<int>(rng() % 30000);
    const int bounded = BlockSadBelow(pa, pb, a.Stride(), limit);
    if (sum < limit) {
      EXPECT_EQ(bounded, sum);
    } else {
      EXPECT_GE(bounded, limit);
      EXPECT_LE(bounded, sum);
    }
  }
}

TEST(BlockMotion, IntegralWindowsMatchDirectSums) {
  const Dib picture = test::Texture(37, 23, 4);
  IntegralImage colour;
  colour.Allocate(37, 23, 3);
  colour.Compute(picture);
  IntegralImage grey;
  grey.Allocate(37, 23, 1);
  grey.ComputeMeanGrey(picture);
  std::mt19937 rng(5);
  for (int trial = 0; trial < 300; ++trial) {
    const int x0 = static_cast<int>(rng() % 37);
    const int y0 = static_cast<int>(rng() % 23);
    const int x1 = x0 + static_cast<int>(rng() % (37 - x0));
    const int y1 = y0 + static_cast<int>(rng() % (23 - y0));
    uint32_t direct[3] = {0, 0, 0};
    uint32_t directGrey = 0;
    for (int y = y0 + 1; y <= y1; ++y) {
      for (int x = x0 + 1; x <= x1; ++x) {
        const uint8_t* p = picture.Row(y) + 3 * x;
        for (int c = 0; c < 3; ++c) direct[c] += p[c];
        directGrey += (p[0] + p[1] + p[2]) / 3;
      }
    }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(colour.Window(x0, y0, x1, y1, c), direct[c]);
    EXPECT_EQ(grey.SignedWindow(x0, y0, x1, y1), static_cast<int32_t>(directGrey));
  }
  // I(x, y) itself sums from the first pixel.
  EXPECT_EQ(colour.At(0, 0)[2], picture.Row(0)[2]);
}

// A map from rows of text, the first row the bottom block row: digits are values, '.' is 0.
std::vector<uint8_t> Map(std::initializer_list<const char*> rows, int& columns, int& count) {
  std::vector<uint8_t> map;
  count = static_cast<int>(rows.size());
  for (const char* row : rows) {
    columns = 0;
    for (const char* p = row; *p; ++p, ++columns) map.push_back(*p == '.' ? 0 : *p - '0');
  }
  return map;
}

TEST(BlockMotion, RegionLabelling) {
  struct Case {
    const char* name;
    std::initializer_list<const char*> rows;
    int minimum;
    std::vector<uint8_t> labels;
    std::vector<int> sizes;
  };
  const Case cases[] = {
      {"a pair is a region of two", {"13..", "...."}, 2, {10, 10, 0, 0, 0, 0, 0, 0}, {2}},
      {"a single block is too small", {"3...", "...."}, 2, {255, 0, 0, 0, 0, 0, 0, 0}, {}},
      {"diagonal neighbours join", {"1...", ".2.."}, 2, {10, 0, 0, 0, 0, 10, 0, 0}, {2}},
      {"regions are numbered in row order",
       {"1.22", "1..."},
       2,
       {10, 0, 11, 11, 10, 0, 0, 0},
       {2, 2}},
      {"values outside 1..8 are no candidates",
       {"19..", "...."},
       1,
       {10, 9, 0, 0, 0, 0, 0, 0},
       {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int columns = 0;
    int rows = 0;
    std::vector<uint8_t> map = Map(c.rows, columns, rows);
    std::vector<int32_t> sizes(50);
    std::vector<int32_t> queue(map.size());
    const int regions = LabelBlockRegions(map, columns, rows, 1, 8, c.minimum, sizes, queue);
    EXPECT_EQ(map, c.labels);
    ASSERT_EQ(regions, static_cast<int>(c.sizes.size()));
    for (int i = 0; i < regions; ++i) EXPECT_EQ(sizes[i], c.sizes[i]);
  }
}

TEST(BlockMotion, LabellingStopsAfterFiftyRegions) {
  // 60 separate blocks in a row of 120.
  std::vector<uint8_t> map(120, 0);
  for (int i = 0; i < 60; ++i) map[2 * i] = 3;
  std::vector<int32_t> sizes(50);
  std::vector<int32_t> queue(map.size());
  EXPECT_EQ(LabelBlockRegions(map, 120, 1, 1, 8, 1, sizes, queue), 50);
  EXPECT_EQ(map[98], 10 + 49);
  EXPECT_EQ(map[100], 3);  // later candidates keep their values
}

}  // namespace
}  // namespace fw::engines
