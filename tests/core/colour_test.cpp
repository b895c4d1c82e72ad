#include "core/colour.h"
#include "tests/support/images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

namespace fw {
namespace {

using test::RandomImage;

TEST(Colour, ReciprocalDivisionsAreExactOverTheirRanges) {
  for (uint32_t x = 0; x <= 25500; ++x) ASSERT_EQ(DivideBy100(x), x / 100) << x;
  for (uint32_t x = 0; x <= 255000; ++x) ASSERT_EQ(DivideBy1000(x), x / 1000) << x;
  for (uint32_t x = 0; x <= 51000; ++x) ASSERT_EQ(DivideBy200(x), x / 200) << x;
}

TEST(Colour, RgbToHsvPrimariesAndGreys) {
  struct Case {
    float r, g, b;
    float hue, saturation, value;
  };
  const Case cases[] = {
      {1, 0, 0, 0.0f, 1, 1},
      {0, 1, 0, 1.0f / 3, 1, 1},
      {0, 0, 1, 2.0f / 3, 1, 1},
      {1, 0, 1, 5.0f / 6, 1, 1},
      {0, 0, 0, 0, 0, 0},
      {0.5f, 0.5f, 0.5f, 0, 0, 0.5f},
      {1, 0.5f, 0, 1.0f / 12, 1, 1},
      {0.2f, 0.4f, 0.4f, 0.5f, 0.5f, 0.4f},
  };
  for (const Case& c : cases) {
    const Hsv hsv = RgbToHsv(c.r, c.g, c.b);
    EXPECT_NEAR(hsv.hue, c.hue, 1e-6) << c.r << " " << c.g << " " << c.b;
    EXPECT_NEAR(hsv.saturation, c.saturation, 1e-6);
    EXPECT_FLOAT_EQ(hsv.value, c.value);
  }
}

TEST(Colour, HsvToRgbTruncatesAndTreatsHueOneAsZero) {
  struct Case {
    float hue, saturation, value;
    Rgb8 expected;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {1, 1, 1, {255, 0, 0}},       {0.5f, 1, 1, {0, 255, 255}},  {0, 0, 0.999f, {254, 254, 254}},
      {0.25f, 1, 1, {127, 255, 0}}, {0.75f, 1, 1, {127, 0, 255}}, {0, 0, 2.0f, {255, 255, 255}},
      {1.5f, 1, 1, {0, 0, 0}},      {-0.1f, 1, 1, {0, 0, 0}},     {nan, 1, 1, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Rgb8 rgb = HsvToRgb(c.hue, c.saturation, c.value);
    EXPECT_EQ(rgb.red, c.expected.red) << c.hue << " " << c.saturation << " " << c.value;
    EXPECT_EQ(rgb.green, c.expected.green);
    EXPECT_EQ(rgb.blue, c.expected.blue);
  }
}

// Every sector of the hue circle: a colour survives the round trip up to the truncation of one
// unit per channel.
TEST(Colour, HsvRoundTripKeepsColoursWithinOneUnit) {
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 7) {
      for (int b = 0; b < 256; b += 3) {
        const Hsv hsv = RgbToHsv(r / 255.0f, g / 255.0f, b / 255.0f);
        const Rgb8 back = HsvToRgb(hsv.hue, hsv.saturation, hsv.value);
        ASSERT_LE(std::abs(back.red - r), 1) << r << " " << g << " " << b;
        ASSERT_LE(std::abs(back.green - g), 1) << r << " " << g << " " << b;
        ASSERT_LE(std::abs(back.blue - b), 1) << r << " " << g << " " << b;
      }
    }
  }
}

TEST(Colour, YiqAndYuvOfPrimaries) {
  const Triple yiqRed = RgbToYiq(1, 0, 0);
  EXPECT_FLOAT_EQ(yiqRed.a, 0.299f);
  EXPECT_FLOAT_EQ(yiqRed.b, 0.596f);
  EXPECT_FLOAT_EQ(yiqRed.c, 0.212f);
  const Triple yiqWhite = RgbToYiq(1, 1, 1);
  EXPECT_NEAR(yiqWhite.a, 1.0f, 1e-6);
  EXPECT_NEAR(yiqWhite.b, 0.0f, 1e-6);
  EXPECT_NEAR(yiqWhite.c, 0.0f, 1e-6);
  const Triple yuvRed = RgbToYuv(1, 0, 0);
  EXPECT_FLOAT_EQ(yuvRed.b, -0.148f);
  EXPECT_FLOAT_EQ(yuvRed.c, 0.615f);
  const Triple yuvBlue = RgbToYuv(0, 0, 1);
  EXPECT_FLOAT_EQ(yuvBlue.a, 0.114f);
  EXPECT_FLOAT_EQ(yuvBlue.b, 0.437f);
  EXPECT_FLOAT_EQ(yuvBlue.c, -0.1f);
  const Triple yuvGreen = RgbToYuv(0, 1, 0);
  EXPECT_FLOAT_EQ(yuvGreen.b, -0.289f);
  EXPECT_FLOAT_EQ(yuvGreen.c, -0.515f);
}

TEST(Colour, HueRampRunsForwardOrWrapsThroughRed) {
  struct Case {
    int count;
    float a, b;
    std::vector<uint8_t> expected;  // red, green, blue per entry
  };
  const Case cases[] = {
      {3, 0.0f, 0.5f, {255, 0, 0, 127, 255, 0, 0, 255, 255}},
      {3, 0.75f, 0.25f, {127, 0, 255, 255, 0, 0, 127, 255, 0}},
      {1, 0.5f, 0.75f, {0, 255, 255}},  // one entry: hue a alone, no step
      {1, 0.75f, 0.25f, {127, 0, 255}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> table(3 * c.count + 3, 77);
    HueRamp(table.data(), c.count, c.a, c.b);
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(table[i], c.expected[i]) << "count " << c.count << " a " << c.a << " byte " << i;
    }
    for (size_t i = c.expected.size(); i < table.size(); ++i) EXPECT_EQ(table[i], 77);
  }
}

TEST(Colour, GreyWeightingsOfWhiteAndNearBlack) {
  EXPECT_EQ(GreyHundredths(255, 255, 255), 255);
  EXPECT_EQ(GreyThousandths(255, 255, 255), 255);
  EXPECT_EQ(GreyHundredths(1, 1, 1), 1);
  EXPECT_EQ(GreyThousandths(1, 1, 1), 1);
  EXPECT_EQ(GreyHundredths(0, 2, 0), 1);   // 118 / 100
  EXPECT_EQ(GreyThousandths(0, 0, 8), 0);  // 912 / 1000
  EXPECT_EQ(GreyThousandths(0, 0, 9), 1);  // 1026 / 1000
}

// Odd widths leave row padding; the conversions follow the stride and match the formulas.
TEST(Colour, GreyConversionsOfRandomImagesMatchTheFormulas) {
  for (const int width : {1, 3, 13, 64}) {
    const Dib source = RandomImage(width, 7, 24, 11 + width);
    Dib grey;
    grey.Create(width, 7, 8, false);
    Dib thousandths;
    thousandths.Create(width, 7, 8, false);
    Dib mask;
    mask.Create(width, 7, 8, false);
    ToGray(source, grey);
    ToGrayThousandths(source, thousandths, 120, 0);
    ToGrayThousandths(source, mask, 120, 1);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = source.Row(y) + 3 * x;
        ASSERT_EQ(grey.Row(y)[x], GreyHundredths(p[2], p[1], p[0]));
        const int t = GreyThousandths(p[2], p[1], p[0]);
        ASSERT_EQ(thousandths.Row(y)[x], t);
        ASSERT_EQ(mask.Row(y)[x], t > 120 ? 255 : 0);
      }
      for (int x = width; x < grey.Stride(); ++x) ASSERT_EQ(grey.Row(y)[x], 0) << "padding";
    }
  }
}

TEST(Colour, ThousandthsMaskIsStrictlyAboveTheThreshold) {
  Dib source;
  source.Create(2, 1, 24, false);
  source.SetPixelRgb(0, 0, 100, 100, 100);  // grey exactly 100
  source.SetPixelRgb(1, 0, 101, 101, 101);
  Dib mask;
  mask.Create(2, 1, 8, false);
  ToGrayThousandths(source, mask, 100, 1);
  EXPECT_EQ(mask.Row(0)[0], 0);
  EXPECT_EQ(mask.Row(0)[1], 255);
}

TEST(Colour, ConversionsRefuseDestinationsOfAnotherSize) {
  const Dib source = RandomImage(8, 4, 24, 3);
  Dib small;
  small.Create(4, 4, 8, false);
  small.Fill(9);
  EXPECT_DEBUG_DEATH(ToGray(source, small), "");
  EXPECT_DEBUG_DEATH(ToGrayThousandths(source, small, 0, 0), "");
  for (size_t i = 0; i < small.PixelBytes(); ++i) ASSERT_EQ(small.Pixels()[i], 9);
}

TEST(Colour, IntensitySaturationOfHandPickedPixels) {
  struct Case {
    uint8_t r, g, b;
    uint8_t intensity, saturation;
  };
  const Case cases[] = {{0, 0, 0, 0, 0},
                        {255, 0, 0, 85, 255},
                        {90, 60, 30, 60, 128},
                        {200, 200, 200, 200, 0},
                        {1, 0, 1, 0, 0}};
  const int n = static_cast<int>(std::size(cases));
  Dib source;
  source.Create(n, 1, 24, false);
  for (int i = 0; i < n; ++i) source.SetPixelRgb(i, 0, cases[i].r, cases[i].g, cases[i].b);
  Dib destination;
  destination.Create(n, 1, 24, false);
  destination.Fill(77);
  ToIntensitySaturation(source, destination);
  IntensitySaturationInPlace(source);
  for (int i = 0; i < n; ++i) {
    const uint8_t* out = destination.Row(0) + 3 * i;
    EXPECT_EQ(out[0], cases[i].intensity) << i;
    EXPECT_EQ(out[1], cases[i].saturation) << i;
    EXPECT_EQ(out[2], 77) << "third byte is not written";
    const uint8_t* in = source.Row(0) + 3 * i;
    EXPECT_EQ(in[0], cases[i].intensity) << i;
    EXPECT_EQ(in[1], cases[i].saturation) << i;
    EXPECT_EQ(in[2], cases[i].r) << i;
  }
}

// The 4:2:0 conversion written from the table definitions, one pixel at a time.
uint8_t Clamp(int v) {
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

void ReferenceYuv420(const std::vector<uint8_t>& frame, int w, int h, Dib& image) {
  const uint8_t* c1Plane = frame.data() + w * h;
  const uint8_t* c2Plane = c1Plane + (w / 2) * (h / 2);
  for (int sy = 0; sy < h; ++sy) {
    uint8_t* row = image.Row(h - 1 - sy);
    for (int x = 0; x < w; ++x) {
      const int luma = frame[sy * w + x] * 65536;
      const int c1 = c1Plane[(sy / 2) * (w / 2) + x / 2] - 128;
      const int c2 = c2Plane[(sy / 2) * (w / 2) + x / 2] - 128;
      row[3 * x] = Clamp((luma + c1 * 115556) >> 16);
      row[3 * x + 1] = Clamp((luma - c1 * 22200 - c2 * 46571) >> 16);
      row[3 * x + 2] = Clamp((luma + c2 * 91536) >> 16);
    }
  }
}

// The first chroma plane is Cb and the second Cr, so Cb's weights (1.763 to blue, 0.339 to
// green) go with the first and Cr's (1.397 to red, 0.711 to green) with the second; with them
// swapped, full-range pure red (76, 85, 255) came out as (255, 63, 15) instead of red.
TEST(Colour, Yuv420WorkedValues) {
  InitYuvTables();
  struct Case {
    uint8_t luma, c1, c2;
    uint8_t blue, green, red;
  };
  const Case cases[] = {
      {255, 128, 128, 255, 255, 255},
      {0, 255, 128, 223, 0, 0},  // 115556 x 127 / 65536 = 223.9, truncated by the shift
      {0, 128, 255, 0, 0, 177},  // 91536 x 127 / 65536 = 177.4
      {100, 200, 50, 226, 131, 0},
      {0, 0, 0, 0, 134, 0},      // both chroma terms push green up: (22200 + 46571) x 128 >> 16
      {76, 85, 255, 0, 0, 253},  // pure red, full-range BT.601
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> frame(Yuv420FrameBytes(2, 2));
    std::fill(frame.begin(), frame.begin() + 4, c.luma);
    frame[4] = c.c1;
    frame[5] = c.c2;
    Dib image;
    image.CreateSigned(2, 2, 24, false);
    Yuv420ToRgb(frame.data(), image, true);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 2; ++x) {
        const uint8_t* p = image.Row(y) + 3 * x;
        EXPECT_EQ(p[0], c.blue) << int{c.luma} << " " << int{c.c1} << " " << int{c.c2};
        EXPECT_EQ(p[1], c.green);
        EXPECT_EQ(p[2], c.red);
      }
    }
  }
}

TEST(Colour, Yuv420MatchesThePlainConversionAndWritesRowsBottomUp) {
  const int w = 10;
  const int h = 6;
  std::vector<uint8_t> frame(Yuv420FrameBytes(w, h));
  std::mt19937 rng(5);
  for (uint8_t& b : frame) b = static_cast<uint8_t>(rng());
  Dib fast;
  fast.CreateSigned(w, h, 24, false);
  Dib reference;
  reference.CreateSigned(w, h, 24, false);
  Yuv420ToRgb(frame.data(), fast, true);
  ReferenceYuv420(frame, w, h, reference);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 3 * w; ++x) ASSERT_EQ(fast.Row(y)[x], reference.Row(y)[x]) << y << " " << x;
  }
  // Source row 0 (luma 0 with neutral chroma) lands in the last memory row.
  std::fill(frame.begin(), frame.end(), 128);
  std::fill(frame.begin(), frame.begin() + w, 0);
  Yuv420ToRgb(frame.data(), fast, true);
  EXPECT_EQ(fast.Row(h - 1)[0], 0);
  EXPECT_EQ(fast.Row(h - 2)[0], 128);
  EXPECT_EQ(fast.Row(0)[0], 128);
}

TEST(Colour, Yuv420WritesNothingWhenDisabledOrOfOddSize) {
  std::vector<uint8_t> frame(Yuv420FrameBytes(4, 4), 200);
  Dib image;
  image.Create(4, 4, 24, false);
  image.Fill(9);
  Yuv420ToRgb(frame.data(), image, false);
  Yuv420ToRgb(nullptr, image, true);
  for (size_t i = 0; i < image.PixelBytes(); ++i) ASSERT_EQ(image.Pixels()[i], 9);
  Dib odd;
  odd.Create(3, 4, 24, false);
  odd.Fill(9);
  EXPECT_DEBUG_DEATH(Yuv420ToRgb(frame.data(), odd, true), "");
  for (size_t i = 0; i < odd.PixelBytes(); ++i) ASSERT_EQ(odd.Pixels()[i], 9);
}

TEST(Colour, ShiftHsvWithoutShiftReproducesThePicture) {
  Dib source = RandomImage(9, 5, 24, 21);
  ComputeHsvPlane(source);
  ASSERT_EQ(source.HsvPlane().size(), 9u * 5u * 3u);
  Dib destination;
  destination.Create(9, 5, 24, false);
  ShiftHsv(destination, 0, 0, 0, source);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 27; ++x) {
      ASSERT_LE(std::abs(destination.Row(y)[x] - source.Row(y)[x]), 1) << y << " " << x;
    }
  }
}

TEST(Colour, ShiftHsvMovesHueAndClampsValue) {
  Dib source;
  source.Create(2, 1, 24, false);
  source.SetPixelRgb(0, 0, 255, 0, 0);
  source.SetPixelRgb(1, 0, 0, 255, 0);
  ComputeHsvPlane(source);
  Dib destination;
  destination.Create(2, 1, 24, false);
  // Red (hue 0) moves to 0.75; green (1/3) passes 1 and wraps to 1/12.
  ShiftHsv(destination, 0.75f, 0, 0, source);
  const uint8_t* p = destination.Row(0);
  const uint8_t expected[6] = {255, 0, 127, 0, 127, 255};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p[i], expected[i]) << i;
  ShiftHsv(destination, 0, 0, -1.0f, source);  // value clamped to 0
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p[i], 0);
  Dib other;
  other.Create(3, 1, 24, false);
  other.Fill(9);
  ShiftHsv(other, 0, 0, 0, source);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(other.Row(0)[i], 9);
}

}  // namespace
}  // namespace fw
