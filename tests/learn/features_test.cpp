// Feature values of the three families on small hand-made pictures, checked against hand
// computation or a plain per-pixel reference, including windows at the border of a frame.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "learn/code_count_features.h"
#include "learn/compiled_cascade.h"
#include "learn/texture_features.h"
#include "learn/window_features.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/images.h"

namespace fw {
namespace {

using test::GreyPicture;

float FloatValue(const Dib& picture, int code, int x, int y, int w, int h) {
  WindowPlanes planes;
  EXPECT_TRUE(BuildWindowPlanes(picture, planes));
  return WindowValueFloat(
      planes, ResolveWindowFeature(code, x, y, w, h, 24, planes.Width(), WindowForm::Float), 0);
}

int ByteValue(const Dib& picture, int code, int x, int y, int w, int h) {
  WindowPlanes planes;
  EXPECT_TRUE(BuildWindowPlanes(picture, planes));
  return WindowValueByte(
      planes, ResolveWindowFeature(code, x, y, w, h, 24, planes.Width(), WindowForm::Byte), 0);
}

// --- window family -------------------------------------------------------------------------

TEST(WindowFeatures, UniformWindowGivesItsGreyAndNoPattern) {
  const Dib flat = GreyPicture(24, 24, [](int, int) { return 100; });
  EXPECT_FLOAT_EQ(FloatValue(flat, 1, 0, 0, 24, 24), 100.0f);
  EXPECT_EQ(ByteValue(flat, 1, 0, 0, 24, 24), 100);
  for (int code : {2, 3, 11, 12, 13, 21, 22, 23, 31, 32, 41, 42, 43, 44, 1001, 1011, 1043}) {
    EXPECT_FLOAT_EQ(FloatValue(flat, code, 2, 3, 20, 19), 0.0f) << code;
  }
  for (int code : {2, 3, 11, 13, 14, 23, 24, 41, 43, 1002}) {
    EXPECT_EQ(ByteValue(flat, code, 2, 3, 20, 19), 0) << code;
  }
}

TEST(WindowFeatures, HalvesSplitAtTheMiddleColumnAndSaturateInByteForm) {
  struct Case {
    int right;  // grey of columns 12..23 (columns 0..11 are 100)
    float floatValue;
    int byteValue;
  };
  for (const Case& c : {Case{150, 50.0f, 250}, Case{151, 51.0f, 255}, Case{40, 60.0f, 255}}) {
    const Dib split = GreyPicture(24, 24, [&](int x, int) { return x < 12 ? 100 : c.right; });
    // Rectangle 0..23: reference column 0, halves cover columns 1..11 and 12..23.
    EXPECT_FLOAT_EQ(FloatValue(split, 11, 0, 0, 24, 24), c.floatValue);
    EXPECT_EQ(ByteValue(split, 11, 0, 0, 24, 24), c.byteValue);
    // Width 4 from column 10: split at column 11, halves cover 11 and 12..13.
    EXPECT_FLOAT_EQ(FloatValue(split, 11, 10, 0, 4, 24), c.floatValue);
    EXPECT_FLOAT_EQ(FloatValue(split, 12, 0, 0, 24, 24), 0.0f);
  }
}

TEST(WindowFeatures, VarianceAndDeviationOfTwoLevels) {
  // Columns alternate 0 and 100 inside the rectangle's pixels: mean 50, variance 2500.
  const Dib stripes = GreyPicture(24, 24, [](int x, int) { return x % 2 ? 0 : 100; });
  EXPECT_FLOAT_EQ(FloatValue(stripes, 1, 0, 0, 21, 5), 50.0f);
  EXPECT_FLOAT_EQ(FloatValue(stripes, 2, 0, 0, 21, 5), 2500.0f);
  EXPECT_FLOAT_EQ(FloatValue(stripes, 3, 0, 0, 21, 5), 50.0f);
  EXPECT_EQ(ByteValue(stripes, 2, 0, 0, 21, 5), 255);  // half the variance, clamped
  EXPECT_EQ(ByteValue(stripes, 3, 0, 0, 21, 5), 200);  // four times the deviation
}

TEST(WindowFeatures, FrameWindowAtTheBorderEqualsTheSampleOfItsPixels) {
  const Dib frame = test::RandomImage(40, 30, 24, 7);
  WindowPlanes framePlanes, samplePlanes;
  ASSERT_TRUE(BuildWindowPlanes(frame, framePlanes));
  for (const auto& [wx, wy] : {std::pair{16, 6}, std::pair{0, 0}, std::pair{5, 3}}) {
    Dib crop;
    crop.Create(24, 24, 24, false);
    for (int y = 0; y < 24; ++y) {
      std::copy_n(frame.Row(wy + y) + 3 * wx, 72, crop.Row(y));
    }
    ASSERT_TRUE(BuildWindowPlanes(crop, samplePlanes));
    for (const WindowPool& pool : {CentredPool(), SlidingPool()}) {
      for (size_t i = 0; i < pool.features.size(); i += 7) {
        const FeatureDesc& d = pool.features[i];
        for (WindowForm form : {WindowForm::Float, WindowForm::Byte}) {
          const auto inFrame =
              ResolveWindowFeature(d.featureCode, d.x, d.y, d.w, d.h, 24, 40, form);
          const auto inSample =
              ResolveWindowFeature(d.featureCode, d.x, d.y, d.w, d.h, 24, 24, form);
          const size_t origin = static_cast<size_t>(wy) * 40 + wx;
          if (form == WindowForm::Float) {
            ASSERT_EQ(WindowValueFloat(framePlanes, inFrame, origin),
                      WindowValueFloat(samplePlanes, inSample, 0))
                << i;
          } else {
            ASSERT_EQ(WindowValueByte(framePlanes, inFrame, origin),
                      WindowValueByte(samplePlanes, inSample, 0))
                << i;
          }
        }
      }
    }
  }
}

TEST(WindowFeatures, ScaledRectanglesOfADoubledPictureKeepTheMeans) {
  // Every pixel doubled: the byte form's means of a rectangle scaled by 48 / 24 are the same.
  const Dib small = test::RandomImage(24, 24, 24, 3);
  Dib big;
  big.Create(48, 48, 24, false);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) std::copy_n(small.Row(y / 2) + 3 * (x / 2), 3, big.Row(y) + 3 * x);
  }
  WindowPlanes planes;
  ASSERT_TRUE(BuildWindowPlanes(big, planes));
  // Rectangle (0, 0, 13, 13) scaled to (0, 0, 26, 26): pixels 1..25 of the doubled picture.
  const auto f = ResolveWindowFeature(1, 0, 0, 13, 13, 48, 48, WindowForm::Float);
  double sum = 0.0;
  for (int y = 1; y <= 25; ++y) {
    for (int x = 1; x <= 25; ++x) {
      const uint8_t* p = big.Row(y) + 3 * x;
      sum += (p[0] + p[1] + p[2]) / 3;
    }
  }
  EXPECT_NEAR(WindowValueFloat(planes, f, 0), sum / 625.0, 1e-3);
}

TEST(WindowPools, SizesAndPatternCounts) {
  const WindowPool centred = CentredPool();
  EXPECT_EQ(centred.features.size(), 6344u);
  EXPECT_EQ(centred.shapeCounts, (std::array<int, 8>{484, 420, 420, 399, 399, 400, 361, 289}));
  const WindowPool sliding = SlidingPool();
  EXPECT_EQ(sliding.features.size(), 27288u);
  EXPECT_EQ(sliding.shapeCounts,
            (std::array<int, 8>{1089, 2544, 2544, 1749, 1749, 2304, 1089, 576}));
  // Each shape twice, grey then range, inside the window, never of width or height 1.
  for (const WindowPool* pool : {&centred, &sliding}) {
    for (size_t i = 0; i < pool->features.size(); i += 2) {
      const FeatureDesc& a = pool->features[i];
      EXPECT_EQ(pool->features[i + 1].featureCode, a.featureCode + 1000);
      EXPECT_LE(a.x + a.w, 24);
      EXPECT_LE(a.y + a.h, 24);
      EXPECT_GE(a.w, 3);
      EXPECT_GE(a.h, 3);
    }
  }
}

// --- code-count family ---------------------------------------------------------------------

TEST(LbpMapper, TablesHaveTheirClassCounts) {
  const LbpMapper& t = LbpTables();
  int uniformMax = 0, rotationMax = 0, riuMax = 0, uniformCodes = 0;
  for (int c = 0; c < 256; ++c) {
    uniformMax = std::max<int>(uniformMax, t.Uniform()[c]);
    rotationMax = std::max<int>(rotationMax, t.RotationInvariant()[c]);
    riuMax = std::max<int>(riuMax, t.RotationInvariantUniform()[c]);
    uniformCodes += t.Uniform()[c] != 0;
  }
  EXPECT_EQ(uniformMax, 58);
  EXPECT_EQ(uniformCodes, 58);
  EXPECT_EQ(rotationMax, 35);
  EXPECT_EQ(riuMax, 9);
  EXPECT_EQ(t.Uniform()[0], 1);
  EXPECT_EQ(t.Uniform()[255], 58);
  EXPECT_EQ(t.RotationInvariantUniform()[255], 9);
  EXPECT_EQ(t.Uniform()[0x55], 0);  // 8 transitions
  EXPECT_EQ(t.RotationInvariantUniform()[0x55], 0);
  EXPECT_EQ(t.BitsAndTransitions()[255], 8);
  EXPECT_EQ(t.BitsAndTransitions()[256 + 0x55], 8);
  // Rotations of one code share a class; classes are numbered as they first appear.
  EXPECT_EQ(t.RotationInvariant()[0x01], t.RotationInvariant()[0x80]);
  EXPECT_EQ(t.RotationInvariant()[0], 0);
  EXPECT_EQ(t.RotationInvariant()[1], 1);
}

// The count of a class in a box, pixel by pixel from the class images.
int ReferenceCount(const CountLevel& lv, const std::array<int, 3>& firstPlane,
                   const std::array<int, 3>& sizes, int images, int plane, int x0, int y0, int x1,
                   int y1) {
  int n = 0;
  for (int y = y0 + 1; y <= y1; ++y) {
    for (int x = x0 + 1; x <= x1; ++x) {
      for (int t = 0; t < images; ++t) {
        const int c = lv.codes[t][static_cast<size_t>(y) * lv.width + x];
        if (c < sizes[t] && firstPlane[t] + c == plane) ++n;
      }
    }
  }
  return n;
}

TEST(CodeCountFeatures, CountsMatchThePixelsOfTheClassImages) {
  const Dib frame = test::RandomImage(70, 60, 24, 11);
  for (CodeFamily family : {CodeFamily::Blbp, CodeFamily::Pltp}) {
    CodeCountPlanes planes;
    ASSERT_TRUE(BuildCodeCountPlanes(frame, family, planes));
    // A window touching the right and bottom border of the frame, and one at the origin.
    for (const auto& [wx, wy] : {std::pair{22, 12}, std::pair{0, 0}}) {
      for (int level = 0; level < planes.levels; ++level) {
        const CountLevel& lv = planes.level[level];
        const bool blbp = family == CodeFamily::Blbp;
        const std::array<int, 3> first = blbp         ? std::array<int, 3>{0, 0, 0}
                                         : level == 0 ? std::array<int, 3>{0, 59, 95}
                                         : level == 1 ? std::array<int, 3>{0, 36, 0}
                                                      : std::array<int, 3>{0, 0, 0};
        const std::array<int, 3> sizes = blbp         ? std::array<int, 3>{10, 0, 0}
                                         : level == 0 ? std::array<int, 3>{59, 36, 10}
                                         : level == 1 ? std::array<int, 3>{36, 10, 0}
                                                      : std::array<int, 3>{10, 0, 0};
        const int images = blbp ? 1 : 3 - level;
        const CountRect r{8, 4, 25, 29};
        for (int plane = 0; plane < CountClasses(family, level); plane += 3) {
          const auto f = ResolveCountFeature(planes, CountFeatureCode(plane, level, 1), r, {}, 1);
          const int x0 = (wx >> level) + (r.x >> level), y0 = (wy >> level) + (r.y >> level);
          const int x1 = x0 + (r.w >> level) - 1, y1 = y0 + (r.h >> level) - 1;
          EXPECT_EQ(CountValue(planes, f, CountWindowOrigin(planes, wx, wy)),
                    ReferenceCount(lv, first, sizes, images, plane, x0, y0, x1, y1))
              << "level " << level << " plane " << plane;
        }
      }
    }
  }
}

TEST(CodeCountFeatures, UniformPictureHasOneClassAndPatternFortyOneSubtracts) {
  const Dib flat = GreyPicture(48, 48, [](int, int) { return 77; });
  CodeCountPlanes planes;
  ASSERT_TRUE(BuildCodeCountPlanes(flat, CodeFamily::Blbp, planes));
  const CountOrigin o = CountWindowOrigin(planes, 0, 0);
  // Every chain comparison holds: code 255, class 9. The border (row and column 47 inside the
  // rectangle) is not counted: 46 x 46 of the 47 x 47 pixels.
  EXPECT_EQ(
      CountValue(planes,
                 ResolveCountFeature(planes, CountFeatureCode(9, 0, 1), {0, 0, 48, 48}, {}, 1), o),
      46 * 46);
  EXPECT_EQ(
      CountValue(planes,
                 ResolveCountFeature(planes, CountFeatureCode(3, 0, 1), {0, 0, 48, 48}, {}, 1), o),
      0);
  const auto diff =
      ResolveCountFeature(planes, CountFeatureCode(9, 0, 41), {0, 0, 11, 11}, {10, 10, 21, 21}, 1);
  EXPECT_EQ(CountValue(planes, diff, o), 100 - 400);
  // A level byte on a BLBP code is the constant 1.
  EXPECT_EQ(
      CountValue(planes,
                 ResolveCountFeature(planes, CountFeatureCode(0, 1, 1), {0, 0, 5, 5}, {}, 1), o),
      1);
}

// --- texture family ------------------------------------------------------------------------

int32_t Texture(const TexturePlanes& planes, int plane, int pattern, int moment, int x, int y,
                int w, int h) {
  return TextureValue(planes,
                      ResolveTextureFeature(TextureFeatureCode(plane, 0, pattern, moment), x, y, w,
                                            h, planes.Width()),
                      0, 0);
}

TEST(TextureFeatures, FlatWindowHasNoGradient) {
  const Dib flat = GreyPicture(24, 24, [](int, int) { return 90; });
  TexturePlanes planes;
  ASSERT_TRUE(planes.Compute(flat));
  for (int bin = 0; bin < 8; ++bin) EXPECT_EQ(Texture(planes, bin, 1, 0, 0, 0, 24, 24), 100000);
  EXPECT_EQ(Texture(planes, 29, 4, 0, 0, 0, 24, 24), 0);
  EXPECT_EQ(Texture(planes, 8, 1, 0, 0, 0, 24, 24), 0);
  EXPECT_EQ(Texture(planes, 8, 0, 5, 0, 0, 24, 24), 0);  // moment of an all-zero plane
  // Interior pixels: centre >= every neighbour, code 255, one eighth of the 1 bits per bit.
  for (int bit = 10; bit <= 17; ++bit) EXPECT_EQ(Texture(planes, bit, 1, 0, 2, 2, 10, 10), 12500);
  EXPECT_EQ(planes.LbpCode(5, 5), 255);
  EXPECT_EQ(Texture(planes, 9, 1, 0, 0, 0, 24, 24), 23 * 23 * 90);
  EXPECT_EQ(Texture(planes, 19, 2, 0, 0, 0, 24, 24), 0);
  // Raw sums: equal halves cancel; thirds leave one third (7 of 21 columns, 21 rows).
  EXPECT_EQ(Texture(planes, 9, 11, 0, 0, 0, 23, 23), 0);
  EXPECT_EQ(Texture(planes, 9, 12, 0, 0, 0, 23, 23), 0);
  EXPECT_EQ(Texture(planes, 9, 21, 0, 0, 0, 22, 22), 7 * 21 * 90);
  EXPECT_EQ(Texture(planes, 9, 22, 0, 0, 0, 22, 22), 7 * 21 * 90);
}

TEST(TextureFeatures, StepEdgeGradientAndOrientation) {
  // Intensity 0 left of column 12, 100 from it: Sobel gx = 400 at columns 11 and 12.
  const Dib step = GreyPicture(24, 24, [](int x, int) { return x < 12 ? 0 : 100; });
  TexturePlanes planes;
  ASSERT_TRUE(planes.Compute(step));
  EXPECT_EQ(planes.GradientX(11, 5), 400);
  EXPECT_EQ(planes.GradientY(11, 5), 0);
  EXPECT_EQ(planes.OrientationBin(12, 5), 0);
  EXPECT_FLOAT_EQ(planes.Magnitude(12, 5), 400.0f);
  EXPECT_FLOAT_EQ(planes.Magnitude(5, 5), 0.0f);
  // All magnitude in bin 0: its share is 100000; the spread is (7/8)^2 + 7 (1/8)^2.
  EXPECT_EQ(Texture(planes, 0, 1, 0, 0, 0, 24, 24), 100000);
  EXPECT_EQ(Texture(planes, 3, 1, 0, 0, 0, 24, 24), 0);
  EXPECT_EQ(Texture(planes, 29, 4, 0, 0, 0, 24, 24), 87500);
  // Magnitude sum of rows 1..22 (border rows have none) of columns 11 and 12.
  EXPECT_EQ(Texture(planes, 8, 1, 0, 0, 0, 24, 24), 22 * 2 * 400);
}

TEST(TextureFeatures, SumsAtAWindowOfALargerPictureMatchThePixels) {
  Dib picture = test::RandomImage(50, 40, 24, 5);
  TexturePlanes planes;
  ASSERT_TRUE(planes.Compute(picture));
  const int wx = 26, wy = 16;  // touches the right and bottom border
  const auto f =
      ResolveTextureFeature(TextureFeatureCode(8, 0, 1, 0), 3, 4, 21, 20, planes.Width());
  int64_t sum = 0;
  for (int y = wy + 4 + 1; y <= wy + 4 + 19; ++y) {
    for (int x = wx + 3 + 1; x <= wx + 3 + 20; ++x) sum += static_cast<int>(planes.Magnitude(x, y));
  }
  EXPECT_EQ(TextureValue(planes, f, wx, wy), sum);
}

TEST(TextureFeatures, EveryMomentIsFiniteAndNonNegative) {
  const Dib picture = test::RandomImage(24, 24, 24, 9);
  TexturePlanes planes;
  ASSERT_TRUE(planes.Compute(picture));
  for (int m = 1; m <= kMomentCount; ++m) {
    ASSERT_TRUE(IsTextureFeature(TextureFeatureCode(9, 0, 0, m), 0, 0, 24, 24));
    const int32_t v = Texture(planes, 9, 0, m, 0, 0, 24, 24);
    EXPECT_GE(v, 0) << m;
    EXPECT_LE(v, 2100000000) << m;
  }
  EXPECT_FALSE(IsTextureFeature(TextureFeatureCode(9, 0, 0, 214), 0, 0, 24, 24));
  EXPECT_FALSE(IsTextureFeature(TextureFeatureCode(9, 0, 0, 5), 1, 0, 24, 24));
  EXPECT_FALSE(IsTextureFeature(TextureFeatureCode(29, 0, 1, 0), 0, 0, 24, 24));
  EXPECT_FALSE(IsTextureFeature(TextureFeatureCode(9, 1, 1, 0), 0, 0, 24, 24));
  EXPECT_FALSE(IsTextureFeature(TextureFeatureCode(9, 0, 51, 0), 0, 0, 24, 24));
}

}  // namespace
}  // namespace fw

namespace fw {
namespace {

// --- compiled cascades: early stopping ------------------------------------------------------

TEST(CompiledCascade, EarlyStoppingDecidesAsTheWholeStages) {
  std::mt19937 rng(21);
  const WindowPool pool = CentredPool();
  const Dib frame = test::RandomImage(100, 80, 24, 13);
  WindowPlanes planes;
  ASSERT_TRUE(BuildWindowPlanes(frame, planes));
  for (float ratio : {0.2f, 0.45f, 0.6f, 0.8f}) {
    ClassifierSet m;
    m.flavour = Flavour::Byte;
    const std::array<int, 3> sizes = {10, 13, 20};
    int k = 0;
    for (int s = 0; s < 3; ++s) {
      m.stageSizes[s] = sizes[s];
      for (int j = 0; j < sizes[s]; ++j, ++k) {
        const FeatureDesc& d = pool.features[rng() % pool.features.size()];
        WeakRecord& r = m.records[k];
        r.featureCode = d.featureCode;
        r.x = d.x, r.y = d.y, r.w = d.w, r.h = d.h;
        SetThresholds(r, ThresholdType::UInt8, rng() % 256, rng() % 256);
        r.alpha = static_cast<float>(rng() % 1000) / 500.0f;
      }
    }
    m.records[30].alpha = -0.5f;  // the third stage is always evaluated whole
    m.SetStageRatio(ratio * 100.0f);
    int evaluatedEarly = 0, evaluatedAll = 0, accepted = 0;
    for (int side : {24, 48}) {
      CompiledCascade<WindowByteFamily> c;
      c.Compile(m, {side, planes.Width()});
      for (int y = 0; y + side <= 80; y += 3) {
        for (int x = 0; x + side <= 100; x += 3) {
          const size_t origin = static_cast<size_t>(y) * 100 + x;
          const CascadeResult fast = c.Decide(planes, origin), all = c.DecideAll(planes, origin);
          ASSERT_EQ(fast.accepted, all.accepted) << ratio << " " << x << "," << y;
          ASSERT_EQ(fast.stagesPassed, all.stagesPassed);
          evaluatedEarly += fast.weakEvaluated;
          evaluatedAll += all.weakEvaluated;
          accepted += fast.accepted;
        }
      }
    }
    EXPECT_LE(evaluatedEarly, evaluatedAll);
    if (ratio == 0.45f) {
      EXPECT_GT(accepted, 0);
    }
  }
}

}  // namespace
}  // namespace fw
