#include "core/difference.h"
#include "tests/support/images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

namespace fw {
namespace {

using test::RandomImage;

// b is a with small random changes, so that differences cluster around the thresholds.
Dib Perturbed(const Dib& a, int spread, uint32_t seed) {
  Dib b;
  b.CopyFrom(a, false);
  std::mt19937 rng(seed);
  for (size_t i = 0; i < b.PixelBytes(); ++i) {
    const int v = b.Pixels()[i] + static_cast<int>(rng() % (2 * spread + 1)) - spread;
    b.Pixels()[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
  return b;
}

Dib Filled(int width, int height, int bits, uint8_t value) {
  Dib image;
  image.Create(width, height, bits, false);
  image.Fill(value);
  return image;
}

int Weighted(const uint8_t* p, const uint8_t* q) {
  return 59 * std::abs(p[1] - q[1]) + 30 * std::abs(p[2] - q[2]) + 11 * std::abs(p[0] - q[0]);
}

// Every byte of each destination pixel must equal `expected(x, y)`.
template <typename Expected>
void ExpectMask(const Dib& mask, Expected expected, const std::string& what) {
  const int bytes = mask.GetBitCount() / 8;
  for (int y = 0; y < mask.Height(); ++y) {
    for (int x = 0; x < mask.Width(); ++x) {
      const uint8_t e = expected(x, y);
      for (int k = 0; k < bytes; ++k) {
        ASSERT_EQ(mask.Row(y)[bytes * x + k], e) << what << " at (" << x << ", " << y << ")";
      }
    }
  }
}

TEST(Difference, ThresholdZeroIsTheByteWiseAbsoluteDifferenceIncludingPadding) {
  for (const int bits : {8, 24}) {
    const Dib a = RandomImage(13, 5, bits, 1);
    const Dib b = RandomImage(13, 5, bits, 2);
    Dib viaMask = Filled(13, 5, bits, 9);
    Dib direct = Filled(13, 5, bits, 7);
    DifferenceMask(viaMask, a, b, 0);
    AbsDifference(direct, a, b);
    for (size_t i = 0; i < a.PixelBytes(); ++i) {
      const auto expected = static_cast<uint8_t>(std::abs(a.Pixels()[i] - b.Pixels()[i]));
      ASSERT_EQ(direct.Pixels()[i], expected) << bits << " byte " << i;
      ASSERT_EQ(viaMask.Pixels()[i], expected) << bits << " byte " << i;
    }
  }
}

TEST(Difference, MasksMatchThePlainFormulasOnRandomImages) {
  for (const int width : {1, 7, 33}) {
    const Dib a8 = RandomImage(width, 9, 8, 3);
    const Dib b8 = Perturbed(a8, 40, 4);
    const Dib a = RandomImage(width, 9, 24, 5);
    const Dib b = Perturbed(a, 40, 6);
    const Dib c = Perturbed(b, 40, 7);
    for (const int t : {1, 10, 23, 40, 255}) {
      const std::string what = "width " + std::to_string(width) + " t=" + std::to_string(t);
      Dib grey = Filled(width, 9, 8, 9);
      DifferenceMask(grey, a8, b8, t);
      ExpectMask(
          grey,
          [&](int x, int y) -> uint8_t {
            return std::abs(a8.Row(y)[x] - b8.Row(y)[x]) >= t ? 255 : 0;
          },
          what + " 8-bit");
      for (const int bits : {24, 8}) {  // a 24-bit mask may go into an 8-bit destination
        Dib mask = Filled(width, 9, bits, 9);
        DifferenceMask(mask, a, b, t);
        ExpectMask(
            mask,
            [&](int x, int y) -> uint8_t {
              return Weighted(a.Row(y) + 3 * x, b.Row(y) + 3 * x) >= 100 * t ? 255 : 0;
            },
            what + " 24-bit into " + std::to_string(bits));
        DoubleDifferenceMask(mask, a, b, c, t);
        ExpectMask(
            mask,
            [&](int x, int y) -> uint8_t {
              const bool ab = Weighted(a.Row(y) + 3 * x, b.Row(y) + 3 * x) >= 100 * t;
              const bool bc = Weighted(b.Row(y) + 3 * x, c.Row(y) + 3 * x) >= 100 * t;
              return ab || bc ? 255 : 0;
            },
            what + " double");
      }
      Dib sum = Filled(width, 9, 8, 9);
      ChannelSumDifferenceMask(sum, a, b, t / 4);
      ExpectMask(
          sum,
          [&](int x, int y) -> uint8_t {
            const uint8_t* p = a.Row(y) + 3 * x;
            const uint8_t* q = b.Row(y) + 3 * x;
            const int d = ((p[0] + p[1] + p[2]) - (q[0] + q[1] + q[2])) / 3;
            return std::abs(d) >= t / 4 ? 255 : 0;
          },
          what + " channel sum");
    }
  }
}

// Pixels changed by exactly t and by t - 1.
TEST(Difference, ThresholdComparisonsAtExactlyT) {
  struct Case {
    int bits;
    uint8_t before[3];
    uint8_t after[3];
    int threshold;
    uint8_t expected;
  };
  const Case cases[] = {
      {8, {120}, {100}, 20, 255},                 // darkens by exactly t
      {8, {120}, {101}, 20, 0},                   // by t - 1
      {24, {50, 50, 50}, {50, 67, 50}, 10, 255},  // green alone by 17: 59 x 17 = 1003
      {24, {50, 50, 50}, {140, 50, 50}, 10, 0},   // blue alone by 90: 990
      {24, {50, 50, 50}, {50, 50, 84}, 10, 255},  // red alone by 34: 1020
      {24, {50, 50, 50}, {50, 50, 83}, 10, 0},    // red alone by 33: 990
  };
  for (const Case& c : cases) {
    const int bytes = c.bits / 8;
    Dib a = Filled(3, 1, c.bits, 0);
    Dib b = Filled(3, 1, c.bits, 0);
    for (int k = 0; k < bytes; ++k) {
      a.Row(0)[bytes + k] = c.after[k];
      b.Row(0)[bytes + k] = c.before[k];
    }
    Dib mask = Filled(3, 1, c.bits, 9);
    DifferenceMask(mask, a, b, c.threshold);
    EXPECT_EQ(mask.Row(0)[bytes], c.expected) << c.bits << "-bit t=" << c.threshold;
    EXPECT_EQ(mask.Row(0)[0], 0);
  }
}

TEST(Difference, ChannelSumTruncatesTowardZero) {
  struct Case {
    int sumA, sumB, threshold;
    uint8_t expected;
  };
  // -5 / 3 is -1 and -6 / 3 is -2: a darkening by 5 misses threshold 2, by 6 reaches it.
  const Case cases[] = {
      {30, 35, 2, 0}, {30, 36, 2, 255}, {36, 30, 2, 255}, {35, 30, 2, 0}, {0, 0, 0, 255}};
  for (const Case& c : cases) {
    Dib a = Filled(1, 1, 24, 0);
    Dib b = Filled(1, 1, 24, 0);
    a.Row(0)[1] = static_cast<uint8_t>(c.sumA);
    b.Row(0)[2] = static_cast<uint8_t>(c.sumB);
    Dib mask = Filled(1, 1, 8, 9);
    ChannelSumDifferenceMask(mask, a, b, c.threshold);
    EXPECT_EQ(mask.Row(0)[0], c.expected) << c.sumA << " " << c.sumB;
  }
}

TEST(Difference, ScaledDifferenceDividesAndCaps) {
  struct Case {
    int scale, cap;
    uint8_t expected;
  };
  // Channel differences 30 + 40 + 20 = 90.
  const Case cases[] = {{3, 255, 10},       {3, 5, 5},    {1, 255, 30},
                        {7, 255, 4},        {0, 255, 30},  // scale 0 counts as 1
                        {256 + 3, 255, 10},                // the scale is a byte
                        {3, -4, 0}};
  for (const Case& c : cases) {
    Dib a = Filled(5, 2, 24, 100);
    Dib b = Filled(5, 2, 24, 100);
    uint8_t* p = a.Row(1) + 3 * 4;
    p[0] = 130;
    p[1] = 60;
    p[2] = 120;
    Dib out = Filled(5, 2, 8, 9);
    ScaledDifference(out, a, b, c.scale, c.cap);
    EXPECT_EQ(out.Row(1)[4], c.expected) << "scale " << c.scale << " cap " << c.cap;
    EXPECT_EQ(out.Row(0)[0], 0);
  }
}

TEST(Difference, InconsistentDestinationsAndSourcesAreRefused) {
  const Dib a = RandomImage(8, 4, 24, 8);
  const Dib b = RandomImage(8, 4, 24, 9);
  Dib small = Filled(4, 4, 8, 9);
  EXPECT_DEBUG_DEATH(DifferenceMask(small, a, b, 10), "");
  EXPECT_DEBUG_DEATH(ScaledDifference(small, a, b, 3, 10), "");
  Dib big = Filled(16, 8, 24, 9);
  EXPECT_DEBUG_DEATH(AbsDifference(big, a, b), "");
  for (size_t i = 0; i < small.PixelBytes(); ++i) ASSERT_EQ(small.Pixels()[i], 9);
  for (size_t i = 0; i < big.PixelBytes(); ++i) ASSERT_EQ(big.Pixels()[i], 9);
  // Sources of unequal formats, or of a depth the operation does not handle.
  const Dib grey = RandomImage(8, 4, 8, 10);
  Dib mask = Filled(8, 4, 8, 9);
  DifferenceMask(mask, a, grey, 10);
  DoubleDifferenceMask(mask, grey, grey, grey, 10);
  ChannelSumDifferenceMask(mask, grey, grey, 10);
  for (size_t i = 0; i < mask.PixelBytes(); ++i) ASSERT_EQ(mask.Pixels()[i], 9);
}

}  // namespace
}  // namespace fw
