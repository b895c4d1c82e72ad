#include "core/wavelet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/dib.h"

namespace fw {
namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() & 0xff);
  return v;
}

TEST(LargestPowerOfTwo, Table) {
  const int cases[][2] = {{320, 256}, {1, 1}, {0, -1}, {-5, -1}, {256, 256}, {257, 256}, {3, 2}};
  for (const auto& c : cases) EXPECT_EQ(LargestPowerOfTwo(c[0]), c[1]) << c[0];
}

TEST(Analyze1D, FloatLinesOfConstantsPairsAndImpulses) {
  struct Case {
    std::vector<uint8_t> x;
    std::vector<float> expected;  // low band, then high band
  };
  const std::vector<Case> cases = {
      {{9, 9}, {9, 0}},
      {{7, 7, 7, 7, 7, 7}, {7, 7, 7, 0, 0, 0}},
      // Mirrored ends: x[-1] = x[1] = 4, x[4] = x[2] = 0.
      {{0, 4, 0, 4}, {2, 2, 2, 2}},
      {{0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0.5f, 0, 0, -0.25f, -0.25f, 0}},
      {{0, 0, 0, 1, 0, 0, 0, 0}, {0, 0.25f, 0.25f, 0, 0, 0.5f, 0, 0}},
      {{1, 0, 0, 0}, {0.5f, 0, -0.25f, 0}},
      {{0, 0, 0, 1}, {0, 0.25f, 0, 0.5f}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const int n = static_cast<int>(c.x.size());
    std::vector<float> fromBytes(n);
    Analyze1D(n, c.x.data(), 1, fromBytes.data(), 1);
    EXPECT_EQ(fromBytes, c.expected) << "case " << i;
    const std::vector<float> asFloats(c.x.begin(), c.x.end());
    std::vector<float> fromFloats(n);
    Analyze1D(n, asFloats.data(), 1, fromFloats.data(), 1);
    EXPECT_EQ(fromFloats, c.expected) << "case " << i;
  }
}

TEST(Analyze1D, IntegerFormsTruncateTermByTerm) {
  struct ByteCase {
    std::vector<uint8_t> x;
    std::vector<int32_t> expected;
  };
  for (const ByteCase& c :
       {ByteCase{{7, 7, 7, 7}, {5, 5, 1, 1}}, ByteCase{{200, 200, 200, 200}, {200, 200, 0, 0}},
        ByteCase{{0, 4, 0, 4}, {2, 2, 2, 2}}}) {
    std::vector<int32_t> out(4);
    Analyze1D(4, c.x.data(), 1, out.data(), 1);
    EXPECT_EQ(out, c.expected);
  }
  struct IntCase {
    std::vector<int32_t> x;
    std::vector<int32_t> expected;
  };
  // Shifts round toward minus infinity: -7 >> 1 = -4, -7 >> 2 = -2.
  for (const IntCase& c :
       {IntCase{{-7, -7, -7, -7}, {-8, -8, 0, 0}}, IntCase{{7, 7, 7, 7}, {5, 5, 1, 1}},
        IntCase{{-3, 5, -3, 5}, {0, 0, 4, 4}}}) {
    std::vector<int32_t> out(4);
    Analyze1D(4, c.x.data(), 1, out.data(), 1);
    EXPECT_EQ(out, c.expected);
  }
}

// One level by plain line transforms: every row into A, then every column of A into B.
template <typename In, typename T>
void ReferenceLevel(int w, int h, const In* in, int rowStride, int pixelStride, T* a, T* b,
                    int planeStride) {
  for (int r = 0; r < h; ++r) Analyze1D(w, in + r * rowStride, pixelStride, a + r * planeStride, 1);
  for (int c = 0; c < w; ++c) Analyze1D(h, a + c, planeStride, b + c, planeStride);
}

TEST(Analyze2D, RowByRowColumnPassMatchesPlainLineTransforms) {
  const int width = 24;
  const int height = 10;
  const int stride = DibStride(width, 24);
  const std::vector<uint8_t> picture = RandomBytes(stride * height, 3);
  const int w = 16;
  const int h = 8;
  {  // float from one channel of bytes
    std::vector<float> a(w * h), b(w * h), ra(w * h), rb(w * h);
    Analyze2D(w, h, picture.data() + 2, stride, 3, a.data(), b.data());
    ReferenceLevel(w, h, picture.data() + 2, stride, 3, ra.data(), rb.data(), w);
    EXPECT_EQ(b, rb);
    // float from floats, reading plane B and writing back into it
    const std::vector<float> in = b;
    Analyze2D(w / 2, h / 2, b.data(), w, a.data(), b.data(), w);
    std::vector<float> ra2(w * h), rb2 = in;
    ReferenceLevel(w / 2, h / 2, in.data(), w, 1, ra2.data(), rb2.data(), w);
    EXPECT_EQ(b, rb2);
  }
  {  // integer from a rectangle of one channel, then integer from integers
    std::vector<int32_t> a(w * h), b(w * h), ra(w * h), rb(w * h);
    Analyze2D(picture.data() + 1, 5, 2, w, h, 3, stride, a.data(), b.data());
    ReferenceLevel(w, h, picture.data() + 1 + 2 * stride + 5 * 3, stride, 3, ra.data(), rb.data(),
                   w);
    EXPECT_EQ(b, rb);
    const std::vector<int32_t> in = b;
    Analyze2D(w / 2, h / 2, b.data(), w, a.data(), b.data(), w);
    std::vector<int32_t> ra2(w * h), rb2 = in;
    ReferenceLevel(w / 2, h / 2, in.data(), w, 1, ra2.data(), rb2.data(), w);
    EXPECT_EQ(b, rb2);
  }
}

TEST(AnalyzeLevels, ConstantPictureLeavesOnlyTheCoarsestBand) {
  const int w = 16;
  const int h = 8;
  std::vector<uint8_t> picture(w * h, 37);
  std::vector<float> a(w * h), b(w * h);
  AnalyzeLevels(picture.data(), w, h, 1, w, a.data(), b.data(), 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      EXPECT_EQ(b[y * w + x], x < 2 && y < 1 ? 37.0f : 0.0f) << x << "," << y;
  }
}

TEST(SynthesizeLevels, InvertsTheFloatAnalysis) {
  const int w = 32;
  const int h = 16;
  const std::vector<uint8_t> picture = RandomBytes(w * h, 11);
  for (int levels = 1; levels <= 4; ++levels) {
    std::vector<float> a(w * h), b(w * h);
    AnalyzeLevels(picture.data(), w, h, 1, w, a.data(), b.data(), levels);
    SynthesizeLevels(w, h, b.data(), a.data(), levels);
    for (int i = 0; i < w * h; ++i) {
      ASSERT_NEAR(b[i], picture[i], 2e-3) << "levels " << levels << " at " << i;
    }
  }
  // The shortest lines: two samples per side.
  const std::vector<uint8_t> tiny = {10, 200, 3, 77};
  std::vector<float> a(4), b(4);
  AnalyzeLevels(tiny.data(), 2, 2, 1, 2, a.data(), b.data(), 1);
  SynthesizeLevels(2, 2, b.data(), a.data(), 1);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(b[i], tiny[i], 1e-4);
}

TEST(AnalyzeLevels, OneDimensionalFormRepeatsOverTheWholeLength) {
  // 70 bytes: 64 are used. The second level transforms all 64 values of the first again.
  const std::vector<uint8_t> bytes(70, 100);
  std::vector<int32_t> a(65, -1), b(65, -1);
  EXPECT_EQ(AnalyzeLevels(bytes.data(), 70, a.data(), b.data(), 1), a.data());
  EXPECT_EQ(a[0], 100);
  EXPECT_EQ(a[32], 0);
  int32_t* result = AnalyzeLevels(bytes.data(), 70, a.data(), b.data(), 2);
  ASSERT_EQ(result, b.data());
  for (int i = 0; i < 64; ++i) {
    // low: 100 up to 15, the step from 100 to 0 at 16; high: the step at 47.
    const int expected = i < 16 ? 100 : (i == 16 || i == 47 ? 25 : 0);
    EXPECT_EQ(b[i], expected) << i;
  }
  EXPECT_EQ(a[64], -1);
  EXPECT_EQ(b[64], -1);
  EXPECT_EQ(AnalyzeLevels(bytes.data(), 70, a.data(), b.data(), 3), a.data());
}

TEST(DetailEnergy, MeanSquareOutsideTheCoarsestBand) {
  struct Case {
    int x;
    int y;
    int value;
    float expected;
  };
  for (const Case c : {Case{0, 0, 9, 0.0f}, Case{1, 1, 9, 0.0f}, Case{2, 0, 4, 16.0f / 48.0f},
                       Case{0, 2, 4, 16.0f / 48.0f}, Case{7, 7, -6, 36.0f / 48.0f}}) {
    std::vector<int32_t> plane(64, 0);
    plane[c.y * 8 + c.x] = c.value;
    EXPECT_FLOAT_EQ(DetailEnergy(plane.data(), 8, 8), c.expected) << c.x << "," << c.y;
  }
}

TEST(IntWaveletRect, TransformsOneChannelOfARectangleAndRefusesWhatDoesNotFit) {
  Dib image;
  image.Create(16, 16, 24, false);
  const std::vector<uint8_t> noise = RandomBytes(image.PixelBytes(), 5);
  std::copy(noise.begin(), noise.end(), image.Pixels());
  for (int y = 4; y < 12; ++y) {
    for (int x = 8; x < 16; ++x) image.Row(y)[3 * x + 2] = 8;  // red
  }
  std::vector<int32_t> a(64), b(64);
  image.IntWaveletPlanes() = {std::span<int32_t>(a), std::span<int32_t>(b)};
  Dib shown;
  shown.Create(8, 8, 8, false);
  ASSERT_TRUE(IntWaveletRect(image, 8, 4, 8, 8, 2, 2, &shown));
  for (int i = 0; i < 64; ++i) {
    const bool coarsest = i % 8 < 2 && i / 8 < 2;
    EXPECT_EQ(b[i], coarsest ? 8 : 0) << i;
    EXPECT_EQ(shown.Row(i / 8)[i % 8], coarsest ? 8 : 0) << i;
  }
  EXPECT_EQ(DetailEnergy(b.data(), 8, 8), 0.0f);
  // A colour destination shows the one transformed channel in all three bytes.
  Dib colour;
  colour.Create(8, 8, 24, false);
  ASSERT_TRUE(IntWaveletRect(image, 8, 4, 8, 8, 2, 2, &colour));
  for (int i = 0; i < 64; ++i) {
    const uint8_t expected = i % 8 < 2 && i / 8 < 2 ? 8 : 0;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(colour.Row(i / 8)[3 * (i % 8) + k], expected) << i;
  }

  struct Refusal {
    int x, y, w, h, channel, levels;
  };
  for (const Refusal r :
       {Refusal{9, 4, 8, 8, 2, 2}, Refusal{8, 9, 8, 8, 2, 2}, Refusal{-2, 4, 8, 8, 2, 2},
        Refusal{8, 4, 8, 8, 3, 2}, Refusal{8, 4, 6, 8, 2, 2}, Refusal{8, 4, 8, 8, 2, 4},
        Refusal{0, 0, 16, 16, 0, 1}}) {
    std::fill(b.begin(), b.end(), 77);
    EXPECT_FALSE(IntWaveletRect(image, r.x, r.y, r.w, r.h, r.channel, r.levels, nullptr))
        << r.x << "," << r.y << " " << r.w << "x" << r.h << " c" << r.channel;
    EXPECT_EQ(b[0], 77);
  }
  Dib small;
  small.Create(4, 4, 8, false);
  EXPECT_FALSE(IntWaveletRect(image, 8, 4, 8, 8, 2, 2, &small));
}

TEST(FloatWavelet, UsesThePowerOfTwoPartAndInvertsIt) {
  Dib image;
  image.Create(320, 240, 24, false);
  const std::vector<uint8_t> noise = RandomBytes(image.PixelBytes(), 9);
  std::copy(noise.begin(), noise.end(), image.Pixels());
  Dib shown;
  shown.Create(320, 240, 24, false);
  ASSERT_TRUE(FloatWavelet(image, 3, &shown));
  const std::vector<float> planeB = image.FloatWaveletPlanes()[1];
  ASSERT_EQ(planeB.size(), 256u * 128u * 3u);
  EXPECT_EQ(shown.Row(0)[2],
            static_cast<uint8_t>(std::min(std::fabs(planeB[2 * 256 * 128]), 255.0f)));

  // Pixels outside the top-left 256 x 128 part do not matter; one inside does.
  image.Row(200)[3 * 10] ^= 0xff;
  image.Row(10)[3 * 300] ^= 0xff;
  ASSERT_TRUE(FloatWavelet(image, 3, &shown));
  EXPECT_EQ(image.FloatWaveletPlanes()[1], planeB);
  image.Row(127)[3 * 255 + 1] ^= 0xff;
  ASSERT_TRUE(FloatWavelet(image, 3, &shown));
  EXPECT_NE(image.FloatWaveletPlanes()[1], planeB);

  Dib restored;
  restored.Create(320, 240, 24, false);
  ASSERT_TRUE(FloatWaveletInverse(image, 3, &restored));
  int worst = 0;
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 256 * 3; ++x)
      worst = std::max(worst, std::abs(restored.Row(y)[x] - image.Row(y)[x]));
  }
  EXPECT_LE(worst, 1);  // truncation of values a rounding error below a whole number

  // Refusals leave the planes and the destination alone.
  Dib grey;
  grey.Create(320, 240, 8, false);
  Dib deep;
  deep.Create(64, 64, 32, false);
  EXPECT_FALSE(FloatWavelet(image, 3, &grey));
  EXPECT_FALSE(FloatWavelet(image, 8, &shown));  // 128 rows do not halve 8 times
  EXPECT_FALSE(FloatWavelet(deep, 1, nullptr));
  EXPECT_FALSE(FloatWaveletInverse(grey, 1, nullptr));  // no transform of this size yet
  EXPECT_EQ(grey.Pixels()[0], 0);
}

}  // namespace
}  // namespace fw
