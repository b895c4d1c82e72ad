#include "core/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/colour.h"
#include "tests/support/images.h"

namespace fw {
namespace {

using test::RandomImage;

Dib Filled(int width, int height, int bits, uint8_t value) {
  Dib image;
  image.Create(width, height, bits, false);
  image.Fill(value);
  return image;
}

void ExpectUnchanged(const Dib& image, uint8_t value, const std::string& what) {
  for (size_t i = 0; i < image.PixelBytes(); ++i) {
    ASSERT_EQ(image.Pixels()[i], value) << what << " byte " << i;
  }
}

// --- zoom view -------------------------------------------------------------------------------

// The zoom view written per pixel from its definition.
void ReferenceZoom(const Dib& source, Dib& destination, float zoom, int cx, int cy) {
  const int bytes = source.GetBitCount() / 8;
  const int w = destination.Width();
  const int h = destination.Height();
  const float inverse = 1.0f / zoom;
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) {
      const float sy = static_cast<float>(cy) - static_cast<float>(h / 2 - i) * inverse;
      const float sx = static_cast<float>(cx) - static_cast<float>(w / 2 - j) * inverse;
      uint8_t* out = destination.Row(i) + 3 * j;
      if (sx < 0 || sy < 0 || sx > source.Width() - 1 || sy > source.Height() - 1) {
        out[0] = 216;
        out[1] = 233;
        out[2] = 236;
        continue;
      }
      const int x0 = static_cast<int>(sx);
      const int y0 = static_cast<int>(sy);
      const int x1 = x0 == source.Width() - 1 ? x0 : x0 + 1;
      const int y1 = y0 == source.Height() - 1 ? y0 : y0 + 1;
      const float ax = sx - x0;
      const float ay = sy - y0;
      for (int k = 0; k < 3; ++k) {
        const int c = bytes == 1 ? 0 : k;
        const auto p = [&](int x, int y) { return source.Row(y)[bytes * x + c]; };
        const float v = (1 - ay) * (1 - ax) * p(x0, y0) + (1 - ay) * ax * p(x1, y0) +
                        ay * (1 - ax) * p(x0, y1) + ay * ax * p(x1, y1);
        out[k] = static_cast<uint8_t>(v);
      }
    }
  }
}

TEST(Resample, ZoomOneAboutTheCentreReproducesTheSource) {
  for (const int bits : {8, 24}) {
    const Dib source = RandomImage(11, 7, bits, 1);
    Dib view = Filled(11, 7, 24, 9);
    ZoomView(source, view, 1.0f, 11 / 2, 7 / 2);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 11; ++x) {
        for (int k = 0; k < 3; ++k) {
          const uint8_t expected = bits == 8 ? source.Row(y)[x] : source.Row(y)[3 * x + k];
          ASSERT_EQ(view.Row(y)[3 * x + k], expected) << bits << " " << x << " " << y;
        }
      }
    }
  }
}

TEST(Resample, ZoomShowsTheBackgroundOutsideTheSource) {
  const Dib source = Filled(4, 4, 24, 50);
  Dib view = Filled(10, 10, 24, 9);
  ZoomView(source, view, 1.0f, 2, 2);  // source columns 0..3 land on 3..6
  const uint8_t* inside = view.Row(5) + 3 * 4;
  EXPECT_EQ(inside[0], 50);
  for (const auto [x, y] : {std::pair{2, 5}, std::pair{7, 5}, std::pair{4, 2}, std::pair{4, 7}}) {
    const uint8_t* p = view.Row(y) + 3 * x;
    EXPECT_EQ(p[0], 216) << x << " " << y;  // blue
    EXPECT_EQ(p[1], 233);
    EXPECT_EQ(p[2], 236);  // red
  }
}

TEST(Resample, ZoomMatchesThePlainPerPixelView) {
  struct Case {
    int bits;
    float zoom;
    int cx, cy;
  };
  for (const Case c : {Case{24, 2.5f, 10, 7}, Case{24, 0.37f, 3, 12}, Case{8, 3.0f, 20, 0},
                       Case{8, 1.7f, 0, 14}, Case{24, 100.0f, 20, 14}}) {
    const Dib source = RandomImage(21, 15, c.bits, 7);
    Dib fast = Filled(33, 19, 24, 9);
    Dib reference = Filled(33, 19, 24, 9);
    ZoomView(source, fast, c.zoom, c.cx, c.cy);
    ReferenceZoom(source, reference, c.zoom, c.cx, c.cy);
    for (size_t i = 0; i < fast.PixelBytes(); ++i) {
      ASSERT_EQ(fast.Pixels()[i], reference.Pixels()[i]) << "zoom " << c.zoom << " byte " << i;
    }
  }
}

TEST(Resample, ZoomRefusesANonPositiveZoomOrAGreyDestination) {
  const Dib source = RandomImage(8, 8, 24, 2);
  Dib view = Filled(8, 8, 24, 9);
  ZoomView(source, view, 0.0f, 4, 4);
  ZoomView(source, view, -2.0f, 4, 4);
  ExpectUnchanged(view, 9, "zoom <= 0");
  Dib grey = Filled(8, 8, 8, 9);
  ZoomView(source, grey, 1.0f, 4, 4);
  ExpectUnchanged(grey, 9, "8-bit destination");
}

// --- rectangle resampling --------------------------------------------------------------------

TEST(Resample, RectOntoItsOwnSizeReproducesTheSource) {
  const Dib source = RandomImage(9, 6, 24, 3);
  const SampleRect whole{0, 0, 8, 5};
  Dib colour = Filled(9, 6, 24, 9);
  ResampleRect(source, colour, whole, whole);
  Dib grey = Filled(9, 6, 8, 9);
  ResampleRect(source, grey, whole, whole);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 9; ++x) {
      const uint8_t* p = source.Row(y) + 3 * x;
      for (int k = 0; k < 3; ++k) ASSERT_EQ(colour.Row(y)[3 * x + k], p[k]) << x << " " << y;
      ASSERT_EQ(grey.Row(y)[x], (11 * p[0] + 59 * p[1] + 30 * p[2]) / 100) << x << " " << y;
    }
  }
}

// Doubling a row of three: the neighbour steps on only while the sample is below the far edge
// minus one, so the last source column is never blended.
TEST(Resample, RectDoublingBlendsOnlyBeforeTheLastColumn) {
  Dib source;
  source.Create(3, 1, 24, false);
  for (int x = 0; x < 3; ++x) source.SetPixelRgb(x, 0, 0, static_cast<uint8_t>(100 * x), 0);
  Dib destination = Filled(6, 1, 24, 9);
  ResampleRect(source, destination, {0, 0, 2, 0}, {0, 0, 5, 0});
  const uint8_t expected[6] = {0, 50, 100, 100, 200, 200};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(destination.Row(0)[3 * x + 1], expected[x]) << x;
}

TEST(Resample, RectsReachingOutsideTheImagesStayInBounds) {
  const Dib source = RandomImage(10, 10, 24, 4);
  Dib destination = Filled(8, 8, 24, 9);
  ResampleRect(source, destination, {-5, -5, 30, 30}, {-3, -3, 20, 20});
  Dib grey = Filled(8, 8, 8, 9);
  ResampleGray(source, grey, {-5, -5, 30, 30}, {-3, -3, 20, 20});
  // Only the destination rectangle is written.
  Dib part = Filled(8, 8, 24, 9);
  ResampleRect(source, part, {0, 0, 9, 9}, {2, 2, 4, 4});
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (x >= 2 && x <= 4 && y >= 2 && y <= 4) continue;
      ASSERT_EQ(part.Row(y)[3 * x], 9) << x << " " << y;
    }
  }
  // Empty or inverted rectangles write nothing.
  Dib untouched = Filled(8, 8, 24, 9);
  ResampleRect(source, untouched, {5, 5, 2, 2}, {0, 0, 7, 7});
  ResampleRect(source, untouched, {0, 0, 9, 9}, {7, 7, 0, 0});
  ExpectUnchanged(untouched, 9, "inverted rectangles");
}

TEST(Resample, GrayRoundsTheFloatGreyAndExcludesTheFarEdges) {
  Dib source;
  source.Create(4, 3, 24, false);
  source.SetPixelRgb(0, 0, 0, 1, 0);        // 0.59 + 0.5: 1 (the integer grey would be 0)
  source.SetPixelRgb(1, 0, 1, 0, 0);        // 0.3 + 0.5: 0
  source.SetPixelRgb(2, 0, 255, 255, 255);  // 255.5: 255
  source.SetPixelRgb(0, 1, 101, 50, 200);   // 29.5 + 22 + 30.3 + 0.5 = 82.3
  Dib destination = Filled(4, 3, 8, 9);
  ResampleGray(source, destination, {0, 0, 3, 2}, {0, 0, 3, 2});
  EXPECT_EQ(destination.Row(0)[0], 1);
  EXPECT_EQ(destination.Row(0)[1], 0);
  EXPECT_EQ(destination.Row(0)[2], 255);
  EXPECT_EQ(destination.Row(1)[0], 82);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(destination.Row(y)[3], 9) << "last column excluded";
  for (int x = 0; x < 4; ++x) EXPECT_EQ(destination.Row(2)[x], 9) << "last row excluded";
}

// --- rotation --------------------------------------------------------------------------------

TEST(Resample, RotateByZeroKeepsTheInteriorAndBlanksTheLastRowAndColumn) {
  for (const int bits : {8, 24}) {
    const Dib source = RandomImage(6, 5, bits, 5);
    Dib destination = Filled(6, 5, bits, 9);
    RotateAbout(source, destination, 2.5, 2.0, 0.0);
    const int bytes = bits / 8;
    for (int y = 0; y < 5; ++y) {
      for (int i = 0; i < 6 * bytes; ++i) {
        const bool outside = i / bytes == 5 || y == 4;
        ASSERT_EQ(destination.Row(y)[i], outside ? 0 : source.Row(y)[i]) << bits << " " << i;
      }
    }
  }
}

TEST(Resample, RotateQuarterTurnMovesAnImpulse) {
  Dib source = Filled(5, 5, 8, 0);
  source.Row(2)[1] = 200;  // (1, 2)
  Dib destination = Filled(5, 5, 8, 9);
  // A quarter turn about (2, 2): destination (x, y) samples source (y, 4 - x).
  RotateAbout(source, destination, 2.0, 2.0, std::numbers::pi / 2);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) {
      if (x == 2 && y == 1) {
        EXPECT_GE(destination.Row(y)[x], 199);
      } else {
        EXPECT_LE(destination.Row(y)[x], 1) << x << " " << y;
      }
    }
  }
}

// Positions just left of the image have a whole part of -1, not 0: they are outside.
TEST(Resample, RotatePositionsJustOutsideTheImageAreBlank) {
  const Dib source = Filled(4, 3, 8, 200);
  Dib destination = Filled(4, 3, 8, 9);
  RotateAbout(source, destination, 1.25, 1.0, std::numbers::pi);  // x maps to 2.5 - x
  for (int x = 0; x < 3; ++x) EXPECT_GE(destination.Row(1)[x], 199) << x;
  EXPECT_EQ(destination.Row(1)[3], 0);  // source x = -0.5
}

// --- halving, cropping, pasting --------------------------------------------------------------

TEST(Resample, HalveTakesEveryOtherPixelOfEveryOtherRow) {
  for (const int bits : {8, 24}) {
    const Dib source = RandomImage(5, 3, bits, 6);
    const int bytes = bits / 8;
    Dib half = Filled(2, 1, bits, 9);
    Halve(source, half);
    Dib two = Filled(2, 1, bits, 9);
    HalveTwoBytes(source, two);
    for (int x = 0; x < 2; ++x) {
      for (int k = 0; k < bytes; ++k) {
        const uint8_t expected = source.Row(0)[2 * bytes * x + k];
        EXPECT_EQ(half.Row(0)[bytes * x + k], expected) << bits;
        EXPECT_EQ(two.Row(0)[bytes * x + k], k == 2 ? 9 : expected) << bits;
      }
    }
  }
}

TEST(Resample, HalveRefusesADestinationOfAnotherSize) {
  const Dib source = RandomImage(8, 8, 24, 7);
  Dib wrong = Filled(8, 8, 24, 9);
  EXPECT_DEBUG_DEATH(Halve(source, wrong), "");
  ExpectUnchanged(wrong, 9, "halve");
}

TEST(Resample, CropRecreatesBottomUpOnlyOnAFormatMismatch) {
  const Dib source = RandomImage(20, 25, 24, 8);
  Dib crop = Filled(3, 3, 8, 9);
  Crop(source, crop, 5, 10, 15, 20);
  ASSERT_EQ(crop.Width(), 10);
  ASSERT_EQ(crop.Height(), 10);
  EXPECT_EQ(crop.HeaderHeight(), 10);
  EXPECT_EQ(crop.GetBitCount(), 24);
  for (int i = 0; i < 10; ++i) {
    for (int b = 0; b < 30; ++b) ASSERT_EQ(crop.Row(i)[b], source.Row(10 + i)[15 + b]);
  }
  Dib same = Filled(10, 10, 24, 9);  // top-down, same format: kept
  Crop(source, same, 5, 10, 15, 20);
  EXPECT_EQ(same.HeaderHeight(), -10);
  EXPECT_EQ(same.Row(0)[0], source.Row(10)[15]);
  for (const SampleRect r : {SampleRect{-1, 0, 5, 5}, SampleRect{0, 0, 21, 5},
                             SampleRect{0, 20, 5, 26}, SampleRect{5, 5, 5, 9}}) {
    Dib untouched = Filled(3, 3, 8, 9);
    Crop(source, untouched, r.x0, r.y0, r.x1, r.y1);
    EXPECT_EQ(untouched.Width(), 3);
    ExpectUnchanged(untouched, 9, "crop outside");
  }
}

TEST(Resample, PasteCentredClipsAtEveryEdge) {
  Dib source;
  source.Create(10, 10, 8, false);
  for (int i = 0; i < 10; ++i) {
    for (int j = 0; j < 10; ++j) source.Row(i)[j] = static_cast<uint8_t>(10 * i + j);
  }
  struct Case {
    int x, y;
  };
  for (const Case c : {Case{0, 0}, Case{19, 19}, Case{7, 12}, Case{-6, 3}, Case{40, 40}}) {
    Dib destination = Filled(20, 20, 8, 255);
    PasteCentred(source, destination, c.x, c.y);
    for (int ty = 0; ty < 20; ++ty) {
      for (int tx = 0; tx < 20; ++tx) {
        const int i = ty - (c.y - 5);
        const int j = tx - (c.x - 5);
        const bool covered = i >= 0 && i < 10 && j >= 0 && j < 10;
        ASSERT_EQ(destination.Row(ty)[tx], covered ? 10 * i + j : 255)
            << "paste at " << c.x << "," << c.y << ": " << tx << " " << ty;
      }
    }
  }
}

TEST(Resample, PasteCentredConvertsBetweenDepths) {
  Dib grey = Filled(2, 2, 8, 77);
  Dib colour = Filled(4, 4, 24, 9);
  PasteCentred(grey, colour, 2, 2);  // grey shows in green
  const uint8_t* p = colour.Row(1) + 3 * 1;
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 77);
  EXPECT_EQ(p[2], 0);
  EXPECT_EQ(colour.Row(0)[0], 9);
  Dib picture;
  picture.Create(1, 1, 24, false);
  picture.SetPixelRgb(0, 0, 10, 200, 30);
  Dib target = Filled(3, 3, 8, 9);
  PasteCentred(picture, target, 1, 1);
  EXPECT_EQ(target.Row(1)[1], 124);  // hundredths grey
}

// --- pyramid and planes ----------------------------------------------------------------------

TEST(Resample, GaussianPyramidMatchesThePlainSmoothing) {
  const Dib source = RandomImage(9, 7, 8, 9);
  std::vector<Dib> levels;
  GaussianPyramid(source, 3, levels);
  ASSERT_EQ(levels.size(), 3u);
  const int sizes[3][2] = {{9, 7}, {4, 3}, {2, 1}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(levels[k].Width(), sizes[k][0]);
    EXPECT_EQ(levels[k].HeaderHeight(), sizes[k][1]);  // bottom-up
    EXPECT_EQ(levels[k].GetBitCount(), 8);
  }
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) ASSERT_EQ(levels[0].Row(y)[x], source.Row(y)[x]);
  }
  for (int k = 1; k < 3; ++k) {
    const Dib& prev = levels[k - 1];
    for (int y = 0; y < levels[k].Height(); ++y) {
      for (int x = 0; x < levels[k].Width(); ++x) {
        int sum = 0;
        const int weights[3] = {1, 2, 1};
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int px = 2 * x + dx < 0 ? 2 * x : 2 * x + dx;
            const int py = 2 * y + dy < 0 ? 2 * y : 2 * y + dy;
            sum += weights[dx + 1] * weights[dy + 1] * prev.Row(py)[px];
          }
        }
        ASSERT_EQ(levels[k].Row(y)[x], sum / 16) << "level " << k << " " << x << " " << y;
      }
    }
  }
}

TEST(Resample, GaussianPyramidOfColourStartsFromGreyAndFollowsNewSizes) {
  Dib source;
  source.Create(8, 8, 24, false);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) source.SetPixelRgb(x, y, 10, 200, 30);  // grey 124
  }
  std::vector<Dib> levels;
  GaussianPyramid(source, 4, levels);
  for (const Dib& level : levels) {
    for (int y = 0; y < level.Height(); ++y) {
      for (int x = 0; x < level.Width(); ++x) ASSERT_EQ(level.Row(y)[x], 124);
    }
  }
  const Dib larger = RandomImage(40, 30, 8, 10);
  GaussianPyramid(larger, 4, levels);
  ASSERT_EQ(levels.size(), 4u);
  EXPECT_EQ(levels[0].Width(), 40);
  EXPECT_EQ(levels[3].Width(), 5);
  EXPECT_EQ(levels[3].Height(), 3);
  EXPECT_EQ(levels[0].Row(29)[39], larger.Row(29)[39]);
}

TEST(Resample, FloatAndIntegerPlanesBecomeClampedBytes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> floats = {-300.0f, -3.7f, 12.9f, nan};
  Dib grey = Filled(3, 2, 8, 9);
  FloatPlanesToImage(floats, 2, 2, 8, grey);
  EXPECT_EQ(grey.Row(0)[0], 255);
  EXPECT_EQ(grey.Row(0)[1], 3);
  EXPECT_EQ(grey.Row(1)[0], 12);
  EXPECT_EQ(grey.Row(1)[1], 255);
  EXPECT_EQ(grey.Row(0)[2], 9);  // beyond the planes' width

  const std::vector<int32_t> ints = {std::numeric_limits<int32_t>::min(), -7, 300, 40, 41, 42};
  Dib colour = Filled(2, 1, 24, 9);
  IntPlanesToImage(ints, 2, 1, 24, colour);  // planes of two values each
  const uint8_t expected[6] = {255, 255, 41, 7, 40, 42};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(colour.Row(0)[i], expected[i]) << i;

  // Planes wider than the image: rows are still read with the planes' width.
  const std::vector<int32_t> wide = {1, 2, 3, 4, 5, 6};
  Dib narrow = Filled(2, 2, 8, 9);
  IntPlanesToImage(wide, 3, 2, 8, narrow);
  EXPECT_EQ(narrow.Row(0)[1], 2);
  EXPECT_EQ(narrow.Row(1)[0], 4);
  EXPECT_EQ(narrow.Row(1)[1], 5);
}

TEST(Resample, PlanesOfTheWrongDepthOrLengthWriteNothing) {
  const std::vector<float> floats(5, 1.0f);
  Dib grey = Filled(3, 2, 8, 9);
  FloatPlanesToImage(floats, 3, 2, 8, grey);   // 6 values needed
  FloatPlanesToImage(floats, 1, 1, 24, grey);  // depth differs from the image's
  FloatPlanesToImage(floats, 1, 1, 16, grey);
  ExpectUnchanged(grey, 9, "planes");
}

}  // namespace
}  // namespace fw
