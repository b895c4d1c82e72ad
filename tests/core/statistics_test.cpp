#include "core/statistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace fw {
namespace {

TEST(Statistics, CentroidOfTwoWeightedPixels) {
  Dib image;
  image.Create(6, 5, 8, false);
  image.Row(1)[1] = 100;
  image.Row(3)[4] = 50;
  int x = -7;
  int y = -7;
  EXPECT_EQ(Centroid(image, x, y), 2);
  EXPECT_EQ(x, 2);  // 300 / 150
  EXPECT_EQ(y, 1);  // 250 / 150, truncated
}

TEST(Statistics, CentroidOfEmptyOrColourImagesLeavesTheOutputs) {
  Dib zero;
  zero.Create(6, 5, 8, false);
  Dib colour;
  colour.Create(6, 5, 24, false);
  colour.Fill(200);
  for (const Dib* image : {&zero, &colour}) {
    int x = -7;
    int y = -7;
    EXPECT_EQ(Centroid(*image, x, y), 0);
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, -7);
  }
}

// Sums of x times value exceed 32 bits on a large bright frame.
TEST(Statistics, CentroidOfALargeBrightFrame) {
  Dib image;
  image.Create(4000, 600, 8, false);
  image.Fill(255);
  int x = 0;
  int y = 0;
  EXPECT_EQ(Centroid(image, x, y), 2400000);
  EXPECT_EQ(x, 1999);
  EXPECT_EQ(y, 299);
}

TEST(Statistics, CentroidMomentOfTwoPixelsAroundTheirCentre) {
  // Two masked pixels of weight g one step either side of the centre: 2 g^2 / (W x H).
  Dib grey;
  grey.Create(4, 1, 8, false);
  grey.Row(0)[0] = 2;
  grey.Row(0)[2] = 2;
  grey.Row(0)[3] = 200;  // outside the mask
  const std::vector<uint8_t> mask = {1, 0, 1, 0};
  EXPECT_FLOAT_EQ(CentroidMoment(grey, mask, 2), 2.0f);

  Dib colour;
  colour.Create(4, 1, 24, false);
  colour.SetPixelRgb(0, 0, 0, 100, 0);  // g = 0.59 x 100
  colour.SetPixelRgb(2, 0, 0, 100, 0);
  EXPECT_NEAR(CentroidMoment(colour, mask, 2), 2 * 59.0 * 59.0 / 4, 0.01);
}

TEST(Statistics, CentroidMomentRefusalsAndZeroWeight) {
  Dib grey;
  grey.Create(4, 1, 8, false);
  grey.Fill(3);
  const std::vector<uint8_t> mask(4, 1);
  EXPECT_EQ(CentroidMoment(grey, mask, 1), -1.0f);
  EXPECT_EQ(CentroidMoment(grey, std::vector<uint8_t>(3, 1), 2), -1.0f);
  Dib deep;
  deep.Create(4, 1, 32, false);
  EXPECT_EQ(CentroidMoment(deep, mask, 2), -1.0f);
  EXPECT_EQ(CentroidMoment(grey, std::vector<uint8_t>(4, 0), 2), 0.0f);
}

TEST(Statistics, RectMeanInclusiveClippedAndEmpty) {
  Dib grey;
  grey.Create(4, 3, 8, false);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) grey.Row(y)[x] = static_cast<uint8_t>(10 * y + x);
  }
  struct Case {
    int x0, y0, x1, y1;
    int expected;
  };
  const Case cases[] = {
      {1, 0, 2, 1, 6},         // (1 + 2 + 11 + 12) / 4
      {3, 2, 3, 2, 23},        // one pixel
      {-5, -5, 100, 100, 11},  // clipped to the whole image: 138 / 12
      {3, 0, 1, 0, 0},         // inverted
      {10, 10, 12, 12, 0},     // outside
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RectMean(grey, c.x0, c.y0, c.x1, c.y1), c.expected)
        << c.x0 << " " << c.y0 << " " << c.x1 << " " << c.y1;
  }
  Dib colour;
  colour.Create(2, 1, 24, false);
  colour.SetPixelRgb(0, 0, 10, 200, 30);  // 59 x 200 + 11 x 30 + 30 x 10 = 12430
  EXPECT_EQ(RectMean(colour, 0, 0, 0, 0), 124);
  EXPECT_EQ(RectMean(colour, 0, 0, 1, 0), 62);
}

// A 4 x 3 picture with two interior pixels: (1, 1) sees differences in every channel, (2, 1)
// none.
Dib TexturePicture() {
  Dib image;
  image.Create(4, 3, 24, false);
  image.SetPixelRgb(1, 0, 0, 0, 10);  // above (1, 1): blue 10
  image.SetPixelRgb(1, 2, 0, 20, 0);  // below: green 20
  image.SetPixelRgb(0, 1, 30, 0, 0);  // left: red 30
  image.SetPixelRgb(2, 1, 5, 5, 5);   // right
  return image;
}

TEST(Statistics, TextureMapAndItsStatistics) {
  const Dib image = TexturePicture();
  std::vector<int32_t> counts(12, -1);
  TextureMap(image, counts);
  // blue 10 + 5, green 20 + 5, red 0 + 25.
  EXPECT_EQ(counts[1 * 4 + 1], 65);
  // (2, 1): up and down 0, left (1, 1) 0 and right (3, 1) 0 in every channel.
  EXPECT_EQ(counts[1 * 4 + 2], 0);
  for (const int border : {0, 1, 2, 3, 4, 7, 8, 11}) EXPECT_EQ(counts[border], -1) << border;

  const MeanVariance texture = TextureStats(image, 0);
  const double u = 65.0 / 3;
  EXPECT_NEAR(texture.mean, u / 2, 1e-4);
  EXPECT_NEAR(texture.variance, u * u / 2 - (u / 2) * (u / 2), 1e-3);

  const double values[] = {10.0 / 3, 20.0 / 3, 30.0 / 3, 15.0 / 3};  // the rest are black
  double sum = 0;
  double squares = 0;
  for (const double v : values) {
    sum += v;
    squares += v * v;
  }
  const MeanVariance intensity = IntensityStats(image, 0);
  EXPECT_NEAR(intensity.mean, sum / 12, 1e-5);
  EXPECT_NEAR(intensity.variance, squares / 12 - (sum / 12) * (sum / 12), 1e-4);
}

TEST(Statistics, TextureRefusalsAndDegenerateSizes) {
  const Dib image = TexturePicture();
  std::vector<int32_t> small(11, -1);
  TextureMap(image, small);
  for (const int32_t v : small) EXPECT_EQ(v, -1);
  const MeanVariance otherMode = TextureStats(image, 1);
  EXPECT_EQ(otherMode.mean, 0.0f);
  EXPECT_EQ(IntensityStats(image, 1).variance, 0.0f);
  Dib grey;
  grey.Create(4, 3, 8, false);
  grey.Fill(9);
  EXPECT_EQ(IntensityStats(grey, 0).mean, 0.0f);
  Dib thin;
  thin.Create(2, 9, 24, false);
  thin.Fill(50);
  const MeanVariance none = TextureStats(thin, 0);  // no interior pixels
  EXPECT_EQ(none.mean, 0.0f);
  EXPECT_EQ(none.variance, 0.0f);
}

TEST(Statistics, EdgeWidthsMarksRunMiddlesWithRampWidths) {
  Dib mask;
  mask.Create(10, 4, 8, false);
  Dib reference;
  reference.Create(10, 4, 8, false);
  const uint8_t maskRows[4][10] = {
      {9, 0, 255, 255, 255, 0, 0, 255, 255, 9},  // run 2..4 ends at 5; run 7..8 stays open
      {0, 255, 0, 0, 0, 0, 0, 0, 0, 0},          // run 1 ends at 2
      {0, 255, 255, 0, 0, 0, 0, 0, 0, 0},        // last two rows are left as they are
      {0, 255, 255, 0, 0, 0, 0, 0, 0, 0},
  };
  const uint8_t referenceRows[2][10] = {
      {0, 0, 10, 20, 30, 40, 40, 40, 10, 0},  // rising ramp from column 1 to 5 through 3
      {50, 40, 30, 30, 0, 0, 0, 0, 0, 0},     // falling ramp from column 0 to 2 through 1
  };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 10; ++x) {
      mask.Row(y)[x] = maskRows[y][x];
      if (y < 2) reference.Row(y)[x] = referenceRows[y][x];
    }
  }
  EdgeWidths(mask, reference);
  const uint8_t expected[4][10] = {
      {9, 0, 0, 4, 0, 0, 0, 0, 0, 9},
      {0, 2, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 255, 255, 0, 0, 0, 0, 0, 0, 0},
      {0, 255, 255, 0, 0, 0, 0, 0, 0, 0},
  };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 10; ++x) EXPECT_EQ(mask.Row(y)[x], expected[y][x]) << x << " " << y;
  }
}

TEST(Statistics, EdgeWidthsRefusesAReferenceOfAnotherSize) {
  Dib mask;
  mask.Create(10, 4, 8, false);
  mask.Fill(255);
  Dib reference;
  reference.Create(5, 4, 8, false);
  EXPECT_DEBUG_DEATH(EdgeWidths(mask, reference), "");
  for (size_t i = 0; i < mask.PixelBytes(); ++i) ASSERT_EQ(mask.Pixels()[i], 255);
}

}  // namespace
}  // namespace fw
