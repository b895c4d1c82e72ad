#include "core/morphology.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace fw {
namespace {

struct Plane {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bytes;
  uint8_t at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0 : bytes[y * width + x];
  }
};

// '#' is 1, anything else 0.
Plane Draw(const std::vector<std::string>& rows) {
  Plane p{static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), {}};
  for (const std::string& row : rows) {
    for (const char c : row) p.bytes.push_back(c == '#' ? 1 : 0);
  }
  return p;
}

int Count(const Plane& p) {
  return static_cast<int>(
      std::count_if(p.bytes.begin(), p.bytes.end(), [](uint8_t b) { return b; }));
}

int Neighbours(const Plane& p, int x, int y) {
  int n = 0;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) n += (dx || dy) && p.at(x + dx, y + dy) != 0;
  }
  return n;
}

bool IsSubset(const Plane& part, const Plane& whole) {
  for (size_t i = 0; i < part.bytes.size(); ++i) {
    if (part.bytes[i] && !whole.bytes[i]) return false;
  }
  return true;
}

const std::vector<std::string> kDiamondRing = {
    "...#...",  //
    "..#.#..",  //
    ".#...#.",  //
    "#.....#",  //
    ".#...#.",  //
    "..#.#..",  //
    "...#...",
};

TEST(PruneEndPoints, EatsOpenLinesAndKeepsRings) {
  struct Case {
    std::vector<std::string> before;
    std::vector<std::string> after;
  };
  const std::vector<Case> cases = {
      // A line is eaten from its end in raster order; its last pixel has no neighbour left.
      {{"......", "######", "......"}, {"......", ".....#", "......"}},
      {{"....#", "...#.", "..#..", ".#...", "#...."},
       {".....", ".....", ".....", ".....", "#...."}},
      {{"..#..", "..#..", "..#..", "..#.."}, {".....", ".....", ".....", "..#.."}},
      // A closed ring survives; a tail hanging from it is eaten back to the ring.
      {kDiamondRing, kDiamondRing},
      {{"...#......", "..#.#.....", ".#...#....", "#.....####", ".#...#....", "..#.#.....",
        "...#......"},
       {"...#......", "..#.#.....", ".#...#....", "#.....#...", ".#...#....", "..#.#.....",
        "...#......"}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    Plane p = Draw(cases[i].before);
    PruneEndPoints(p.bytes.data(), p.width, p.height);
    EXPECT_EQ(p.bytes, Draw(cases[i].after).bytes) << "case " << i;
  }
}

TEST(ThinMask, ThinsBlobsToSkeletonsThenPrunesThem) {
  // A one-pixel ring is already thin: nothing changes.
  Plane ring = Draw(kDiamondRing);
  ThinMask(ring.bytes.data(), ring.width, ring.height);
  EXPECT_EQ(ring.bytes, Draw(kDiamondRing).bytes);

  // A thick bar thins to a line, which pruning eats down to at most one pixel.
  const Plane bar = Draw({
      "..............",  //
      ".############.",  //
      ".############.",  //
      ".############.",  //
      "..............",
  });
  Plane thinBar = bar;
  ThinMask(thinBar.bytes.data(), thinBar.width, thinBar.height);
  EXPECT_LE(Count(thinBar), 1);
  EXPECT_TRUE(IsSubset(thinBar, bar));

  // A thick square annulus thins to a closed one-pixel loop inside it.
  std::vector<std::string> rows(14, std::string(14, '.'));
  for (int y = 1; y < 13; ++y) {
    for (int x = 1; x < 13; ++x) {
      const bool wall = x < 4 || x > 9 || y < 4 || y > 9;
      if (wall) rows[y][x] = '#';
    }
  }
  const Plane annulus = Draw(rows);
  Plane loop = annulus;
  ThinMask(loop.bytes.data(), loop.width, loop.height);
  EXPECT_TRUE(IsSubset(loop, annulus));
  EXPECT_GE(Count(loop), 16);
  for (int y = 0; y < loop.height; ++y) {
    for (int x = 0; x < loop.width; ++x) {
      if (loop.at(x, y)) {
        EXPECT_EQ(Neighbours(loop, x, y), 2) << x << "," << y;
      }
    }
  }
}

// Slow references: the sorted neighbourhood and the weighted sum written out.
uint8_t MedianReference(const std::vector<uint8_t>& src, int w, int x, int y) {
  std::array<uint8_t, 9> v{};
  int k = 0;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) v[k++] = src[(y + dy) * w + x + dx];
  }
  std::sort(v.begin(), v.end());
  return v[4];
}

int SmoothReference(const std::vector<uint8_t>& src, int w, int x, int y) {
  static constexpr int kWeights[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
  int sum = 0;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) sum += kWeights[dy + 1][dx + 1] * src[(y + dy) * w + x + dx];
  }
  return sum / 16;
}

std::vector<uint8_t> RandomPlane(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> p(w * h);
  for (auto& b : p) b = static_cast<uint8_t>(rng() & 0xff);
  return p;
}

TEST(Filters3x3, MatchSlowReferencesAndClearTheBorder) {
  const int w = 19;
  const int h = 13;
  const std::vector<uint8_t> src = RandomPlane(w, h, 7);
  std::vector<uint8_t> median(w * h, 77);
  MedianFilter3(src.data(), median.data(), w, h);
  for (int threshold : {0, 1, 128, 200}) {
    std::vector<uint8_t> smooth(w * h, 77);
    const int result = SmoothFilter3(src.data(), smooth.data(), w, h, threshold);
    int ones = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
        int expected = 0;
        if (!border) {
          const int v = SmoothReference(src, w, x, y);
          expected = threshold == 0 ? v : (v >= threshold ? 1 : 0);
        }
        ASSERT_EQ(smooth[y * w + x], expected) << x << "," << y << " t=" << threshold;
        if (threshold != 0 && expected == 1) ++ones;
        if (threshold == 0) {
          ASSERT_EQ(median[y * w + x], border ? 0 : MedianReference(src, w, x, y)) << x << "," << y;
        }
      }
    }
    EXPECT_EQ(result, threshold == 0 ? w * h : ones) << threshold;
  }
}

TEST(Filters3x3, HandComputedCases) {
  // An isolated 255 is removed by the median; a centre of 16 smooths to 4 x 16 / 16 = 4.
  std::vector<uint8_t> src(5 * 5, 0);
  src[2 * 5 + 2] = 255;
  std::vector<uint8_t> dst(5 * 5, 9);
  MedianFilter3(src.data(), dst.data(), 5, 5);
  EXPECT_EQ(std::count(dst.begin(), dst.end(), 0), 25);
  src[2 * 5 + 2] = 16;
  SmoothFilter3(src.data(), dst.data(), 5, 5, 0);
  EXPECT_EQ(dst[2 * 5 + 2], 4);
  EXPECT_EQ(dst[1 * 5 + 2], 2);
  EXPECT_EQ(dst[1 * 5 + 1], 1);
  EXPECT_EQ(SmoothFilter3(src.data(), dst.data(), 5, 5, 4), 1);
  EXPECT_EQ(SmoothFilter3(src.data(), dst.data(), 5, 5, 5), 0);
}

}  // namespace
}  // namespace fw
