#include "core/gradient.h"
#include "tests/support/images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace fw {
namespace {

using test::RandomImage;

// Smooth random image: small steps between neighbours, so that magnitudes spread over the whole
// range and many land near every threshold.
Dib RampImage(int width, int height, int bits, uint32_t seed) {
  Dib image = RandomImage(width, height, bits, seed);
  const int bytes = bits / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * bytes; ++x) {
      image.Row(y)[x] = static_cast<uint8_t>((x * 3 + y * 5 + image.Row(y)[x] % 40) & 0xFF);
    }
  }
  return image;
}

int Channel(const Dib& image, int x, int y, int c) {
  return image.Row(y)[image.GetBitCount() / 8 * x + c];
}

// Difference of two pixels as the operations define it, straight from the formula.
int Diff(const Dib& image, int x1, int y1, int x2, int y2) {
  if (image.GetBitCount() == 8) return Channel(image, x1, y1, 0) - Channel(image, x2, y2, 0);
  return 59 * (Channel(image, x1, y1, 1) - Channel(image, x2, y2, 1)) +
         30 * (Channel(image, x1, y1, 2) - Channel(image, x2, y2, 2)) +
         11 * (Channel(image, x1, y1, 0) - Channel(image, x2, y2, 0));
}

enum class Kind { Magnitude, AbsSum };

// Plain per-pixel reference: neighbours clamped one by one, the floating-point formula as written.
std::vector<uint8_t> ReferenceGradient(const Dib& image, Kind kind, int threshold) {
  const int w = image.Width();
  const int h = image.Height();
  const bool colour = image.GetBitCount() == 24;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int left = x > 0 ? x - 1 : x;
      const int right = x < w - 1 ? x + 1 : x;
      const int up = y > 0 ? y - 1 : y;
      const int down = y < h - 1 ? y + 1 : y;
      const int gx = Diff(image, left, y, right, y);
      const int gy = Diff(image, x, up, x, down);
      int m;
      if (kind == Kind::Magnitude) {
        m = static_cast<int>(
            std::sqrt(static_cast<double>(gx) * gx + static_cast<double>(gy) * gy) *
            (colour ? 0.00707 : 0.707));
      } else {
        m = colour ? (std::abs(gx) + std::abs(gy)) / 200 : (std::abs(gx) + std::abs(gy)) / 2;
      }
      out[static_cast<size_t>(y) * w + x] =
          threshold == 0 ? static_cast<uint8_t>(std::min(m, 255)) : (m >= threshold ? 255 : 0);
    }
  }
  return out;
}

std::vector<uint8_t> ReferenceSobel(const Dib& image) {
  const int w = image.Width();
  const int h = image.Height();
  const int bytes = image.GetBitCount() / 8;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h, 0);
  for (int y = 1; y < h - 1; ++y) {
    for (int x = 1; x < w - 1; ++x) {
      int gx = 0;
      int gy = 0;
      for (int c = 0; c < bytes; ++c) {
        const auto p = [&](int dx, int dy) { return Channel(image, x + dx, y + dy, c); };
        gx += (p(1, -1) + 2 * p(1, 0) + p(1, 1)) - (p(-1, -1) + 2 * p(-1, 0) + p(-1, 1));
        gy += (p(-1, 1) + 2 * p(0, 1) + p(1, 1)) - (p(-1, -1) + 2 * p(0, -1) + p(1, -1));
      }
      const double scale = bytes == 1 ? 0.17675 : 0.05891667;
      out[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(
          std::sqrt(static_cast<double>(gx) * gx + static_cast<double>(gy) * gy) * scale);
    }
  }
  return out;
}

void ExpectPixels(const Dib& image, const std::vector<uint8_t>& expected, bool interiorOnly,
                  const std::string& what) {
  const int w = image.Width();
  const int h = image.Height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (interiorOnly && (x == 0 || y == 0 || x == w - 1 || y == h - 1)) continue;
      ASSERT_EQ(image.Row(y)[x], expected[static_cast<size_t>(y) * w + x])
          << what << " at (" << x << ", " << y << ")";
    }
  }
}

TEST(Gradient, MagnitudeThresholdIsTheFirstSumReachingEachLevel) {
  struct Scale {
    double scale;
    uint32_t maxSum;
  };
  for (const Scale s : {Scale{0.707, 2u * 255 * 255}, Scale{0.00707, 2u * 25500 * 25500},
                        Scale{0.17675, 2u * 1020 * 1020}}) {
    const auto level = [&](uint32_t sum) {
      return static_cast<int>(std::sqrt(static_cast<double>(sum)) * s.scale);
    };
    for (int t = 1; t < 256; ++t) {
      const uint32_t first = MagnitudeThreshold(s.scale, t, s.maxSum);
      if (first > s.maxSum) {
        ASSERT_LT(level(s.maxSum), t) << s.scale << " level " << t;
        continue;
      }
      ASSERT_GE(level(first), t) << s.scale << " level " << t;
      ASSERT_LT(level(first - 1), t) << s.scale << " level " << t;
    }
  }
}

TEST(Gradient, FastOperationsMatchThePlainFormulas) {
  struct Size {
    int w, h;
  };
  for (const int bits : {8, 24}) {
    for (const Size size : {Size{37, 23}, Size{1, 5}, Size{6, 1}, Size{2, 2}, Size{64, 17}}) {
      for (const bool ramp : {false, true}) {
        const uint32_t seed = static_cast<uint32_t>(size.w * 131 + size.h + bits);
        const Dib source =
            ramp ? RampImage(size.w, size.h, bits, seed) : RandomImage(size.w, size.h, bits, seed);
        const std::string what = std::to_string(bits) + "-bit " + std::to_string(size.w) + "x" +
                                 std::to_string(size.h) + (ramp ? " ramp" : " random");
        for (const int t : {0, 1, 7, 50, 70, 71, 128, 254, 255}) {
          Dib magnitude;
          GradientMagnitude(source, magnitude, static_cast<uint8_t>(t));
          ExpectPixels(magnitude, ReferenceGradient(source, Kind::Magnitude, t), false,
                       what + " magnitude t=" + std::to_string(t));
          Dib absSum;
          GradientAbsSum(source, absSum, static_cast<uint8_t>(t));
          ExpectPixels(absSum, ReferenceGradient(source, Kind::AbsSum, t), false,
                       what + " abs sum t=" + std::to_string(t));
        }
        Dib sobel;
        SobelMagnitude(source, sobel);
        ExpectPixels(sobel, ReferenceSobel(source), false, what + " sobel");
      }
    }
  }
}

// Channel differences (blue, green, red), each 0..255, whose hundredths weighting is d.
bool WeightedParts(int d, int parts[3]) {
  for (int g = std::min(255, d / 59); g >= 0; --g) {
    for (int r = std::min(255, (d - 59 * g) / 30); r >= 0; --r) {
      const int rest = d - 59 * g - 30 * r;
      if (rest % 11 == 0 && rest / 11 <= 255) {
        parts[0] = rest / 11;
        parts[1] = g;
        parts[2] = r;
        return true;
      }
    }
  }
  return false;
}

// A 3 x 3 image whose centre sees the differences dx (left minus right) and dy (up minus down).
bool CentreWithDifferences(int bits, int dx, int dy, Dib& image) {
  image.Create(3, 3, bits, false);
  if (bits == 8) {
    if (dx > 255 || dy > 255) return false;
    image.Row(1)[0] = static_cast<uint8_t>(dx);
    image.Row(0)[1] = static_cast<uint8_t>(dy);
    return true;
  }
  int px[3];
  int py[3];
  if (!WeightedParts(dx, px) || !WeightedParts(dy, py)) return false;
  for (int c = 0; c < 3; ++c) {
    image.Row(1)[c] = static_cast<uint8_t>(px[c]);
    image.Row(0)[3 + c] = static_cast<uint8_t>(py[c]);
  }
  return true;
}

// Finds dx, dy with dx^2 + dy^2 == sum, each at most `limit`.
bool SumOfTwoSquares(uint32_t sum, int limit, int& dx, int& dy) {
  for (int a = 0; a <= limit && static_cast<uint32_t>(a) * a <= sum; ++a) {
    const uint32_t rest = sum - static_cast<uint32_t>(a) * a;
    const int b = static_cast<int>(std::lround(std::sqrt(static_cast<double>(rest))));
    if (b <= limit && static_cast<uint32_t>(b) * b == rest) {
      dx = a;
      dy = b;
      return true;
    }
  }
  return false;
}

// Pixels whose sum of squares is exactly the first one that reaches a threshold are marked, and
// those one below it are not.
TEST(Gradient, MagnitudeThresholdsAtTheExactBoundarySum) {
  for (const int bits : {8, 24}) {
    const double scale = bits == 8 ? 0.707 : 0.00707;
    const int limit = bits == 8 ? 255 : 25500;
    const uint32_t maxSum = 2u * limit * limit;
    int checked = 0;
    for (int t = 1; t < 256; ++t) {
      const uint32_t first = MagnitudeThreshold(scale, t, maxSum);
      for (const uint32_t sum : {first, first - 1}) {
        int dx = 0;
        int dy = 0;
        Dib source;
        if (!SumOfTwoSquares(sum, limit, dx, dy) || !CentreWithDifferences(bits, dx, dy, source)) {
          continue;
        }
        Dib destination;
        GradientMagnitude(source, destination, static_cast<uint8_t>(t));
        ASSERT_EQ(destination.Row(1)[1], sum == first ? 255 : 0)
            << bits << "-bit t=" << t << " dx=" << dx << " dy=" << dy;
        ++checked;
      }
    }
    EXPECT_GT(checked, 50) << bits;
  }
}

// A vertical step from 0 to 100 between columns 4 and 5: both columns see a difference of 100.
TEST(Gradient, VerticalStepWorkedValuesAndThresholdAtExactlyT) {
  Dib source;
  source.Create(10, 6, 8, false);
  for (int y = 0; y < 6; ++y) {
    for (int x = 5; x < 10; ++x) source.Row(y)[x] = 100;
  }
  struct Case {
    int threshold;
    uint8_t onStep;
  };
  for (const Case c : {Case{0, 70}, Case{70, 255}, Case{71, 0}}) {
    Dib destination;
    GradientMagnitude(source, destination, static_cast<uint8_t>(c.threshold));
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 10; ++x) {
        const uint8_t expected = (x == 4 || x == 5) ? c.onStep : 0;
        ASSERT_EQ(destination.Row(y)[x], expected) << "t=" << c.threshold << " x=" << x;
      }
    }
  }
  // Abs sum: (100 + 0) / 2 = 50; threshold 50 marks, 51 does not.
  Dib absSum;
  GradientAbsSum(source, absSum, 0);
  EXPECT_EQ(absSum.Row(2)[4], 50);
  GradientAbsSum(source, absSum, 50);
  EXPECT_EQ(absSum.Row(2)[5], 255);
  GradientAbsSum(source, absSum, 51);
  EXPECT_EQ(absSum.Row(2)[5], 0);
}

TEST(Gradient, ConstantImageHasNoGradientAnywhere) {
  for (const int bits : {8, 24}) {
    Dib source;
    source.Create(7, 5, bits, false);
    source.Fill(173);
    Dib magnitude;
    magnitude.Create(7, 5, 8, false);
    magnitude.Fill(9);
    GradientMagnitude(source, magnitude, 0);
    Dib absSum;
    GradientAbsSum(source, absSum, 0);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 7; ++x) {
        ASSERT_EQ(magnitude.Row(y)[x], 0);
        ASSERT_EQ(absSum.Row(y)[x], 0);
      }
    }
  }
}

TEST(Gradient, SobelFullContrastEdgeAndUntouchedBorder) {
  Dib source;
  source.Create(6, 5, 8, false);
  for (int y = 0; y < 5; ++y) {
    for (int x = 3; x < 6; ++x) source.Row(y)[x] = 255;
  }
  Dib destination;
  destination.Create(6, 5, 8, false);
  destination.Fill(9);
  SobelMagnitude(source, destination);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool border = x == 0 || y == 0 || x == 5 || y == 4;
      const uint8_t expected = border ? 9 : ((x == 2 || x == 3) ? 180 : 0);  // 1020 x 0.17675
      ASSERT_EQ(destination.Row(y)[x], expected) << x << " " << y;
    }
  }
}

// A destination of another format is re-created with a positive header height; Sobel zeroes it,
// the central-difference operations keep whatever they overwrite anyway.
TEST(Gradient, DestinationIsRecreatedOnlyOnAFormatMismatch) {
  const Dib source = RandomImage(9, 4, 24, 2);
  Dib wrong;
  wrong.Create(9, 4, 24, false);
  wrong.Fill(9);
  SobelMagnitude(source, wrong);
  EXPECT_EQ(wrong.GetBitCount(), 8);
  EXPECT_EQ(wrong.HeaderHeight(), 4);
  EXPECT_EQ(wrong.Row(0)[3], 0);
  Dib kept;
  kept.Create(9, 4, 8, false);  // top-down, same format: header stays
  GradientMagnitude(source, kept, 0);
  EXPECT_EQ(kept.HeaderHeight(), -4);
  Dib resized;
  resized.Create(3, 3, 8, false);
  GradientAbsSum(source, resized, 0);
  EXPECT_EQ(resized.Width(), 9);
  EXPECT_EQ(resized.HeaderHeight(), 4);
}

TEST(Gradient, OtherDepthsLeaveTheDestinationUnchanged) {
  Dib source;
  source.Create(5, 5, 32, false);
  source.Fill(200);
  Dib destination;
  destination.Create(2, 2, 24, false);
  destination.Fill(9);
  GradientMagnitude(source, destination, 0);
  GradientAbsSum(source, destination, 0);
  SobelMagnitude(source, destination);
  EXPECT_EQ(destination.Width(), 2);
  EXPECT_EQ(destination.GetBitCount(), 24);
  for (size_t i = 0; i < destination.PixelBytes(); ++i) ASSERT_EQ(destination.Pixels()[i], 9);
}

TEST(Gradient, HorizontalEdgeWorkedValueAndThreshold) {
  // Rows above, at and below the centre: differences across the centre of 40, 30 and 10:
  // d = (40 + 2 x 30 + 10) / 4 = 27.
  Dib source;
  source.Create(3, 3, 8, false);
  const uint8_t rows[3][3] = {{10, 0, 50}, {20, 0, 50}, {40, 0, 50}};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) source.Row(y)[x] = rows[y][x];
  }
  struct Case {
    int threshold;
    uint8_t centre;
  };
  for (const Case c : {Case{0, 27}, Case{27, 27}, Case{28, 0}}) {
    Dib destination;
    destination.Create(3, 3, 8, false);
    destination.Fill(9);
    HorizontalEdge(source, destination, static_cast<uint8_t>(c.threshold));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 3; ++x) {
        ASSERT_EQ(destination.Row(y)[x], (x == 1 && y == 1) ? c.centre : 9)
            << "t=" << c.threshold << " " << x << " " << y;
      }
    }
  }
}

TEST(Gradient, HorizontalEdgeRefusesADestinationOfAnotherSize) {
  const Dib source = RandomImage(8, 8, 8, 4);
  Dib small;
  small.Create(4, 4, 8, false);
  small.Fill(9);
  EXPECT_DEBUG_DEATH(HorizontalEdge(source, small, 0), "");
  for (size_t i = 0; i < small.PixelBytes(); ++i) ASSERT_EQ(small.Pixels()[i], 9);
}

}  // namespace
}  // namespace fw
