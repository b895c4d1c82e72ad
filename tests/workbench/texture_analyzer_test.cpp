// The texture analyser: the colour key's limit, the co-occurrence by key, the signature learned
// over 100 frames, the external mask, the projections and the region pipeline on small masks.
#include "workbench/texture_analyzer.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/regions.h"
#include "core/ui_sink.h"

namespace fw {
namespace {

// A black 24-bit bottom-up picture.
Dib Black(int width, int height) {
  Dib picture;
  picture.CreateSigned(width, height, 24, false);
  return picture;
}

void Paint(Dib& picture, int x0, int y0, int x1, int y1, uint8_t blue, uint8_t green, uint8_t red) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      uint8_t* p = picture.Row(y) + 3 * x;
      p[0] = blue;
      p[1] = green;
      p[2] = red;
    }
  }
}

TEST(ColourKey, LimitOfTheWeightedDifferenceFromBlack) {
  struct Case {
    uint8_t blue, green, red;
    int key;  // 59 G + 30 R + 11 B >= 2500 belongs to the texture
  };
  const Case cases[] = {
      {0, 42, 0, 0},    // 2478
      {0, 43, 0, 1},    // 2537
      {0, 0, 83, 0},    // 2490
      {0, 0, 84, 1},    // 2520
      {227, 0, 0, 0},   // 2497
      {228, 0, 0, 1},   // 2508
      {10, 30, 22, 1},  // 110 + 1770 + 660 = 2540
  };
  for (const Case& c : cases) {
    Dib picture = Black(4, 4);
    Paint(picture, 1, 1, 2, 2, c.blue, c.green, c.red);
    TextureAnalyzer analyzer;
    analyzer.Initialise(picture, false);
    EXPECT_EQ(analyzer.BuildKeyMask(picture, nullptr), c.key)
        << int(c.blue) << " " << int(c.green) << " " << int(c.red);
    EXPECT_EQ(analyzer.Mask()[1 * 4 + 1], c.key);
  }
  // An 8-bit picture: above 24.
  Dib grey;
  grey.CreateSigned(3, 1, 8, false);
  grey.Row(0)[0] = 24;
  grey.Row(0)[1] = 25;
  TextureAnalyzer analyzer;
  analyzer.Initialise(grey, false);
  EXPECT_EQ(analyzer.BuildKeyMask(grey, nullptr), 1);
  EXPECT_EQ(analyzer.Mask()[1], 1);
}

TEST(ColourKey, DisplayTintsTheKeyPixelsBlue) {
  Dib picture = Black(4, 2);
  Paint(picture, 0, 0, 1, 1, 100, 200, 50);
  TextureAnalyzer analyzer;
  analyzer.Initialise(picture, false);
  Dib display;
  analyzer.BuildKeyMask(picture, &display);
  ASSERT_EQ(display.GetBitCount(), 24);
  EXPECT_EQ(display.Row(0)[0], 100 / 2 + 127);
  EXPECT_EQ(display.Row(0)[1], 100);
  EXPECT_EQ(display.Row(0)[2], 25);
  EXPECT_EQ(display.Row(0)[3], 0);  // black stays black
}

TEST(LearnCooccurrenceByKey, SixteenPixelsOrFewerLeaveTheMatrices) {
  Dib picture = Black(20, 20);
  Paint(picture, 2, 2, 7, 7, 200, 200, 200);  // 25 key pixels of one grey
  TextureAnalyzer analyzer;
  analyzer.Initialise(picture, false);
  ASSERT_EQ(analyzer.LearnCooccurrenceByKey(picture), 25);
  const int level = (59 * 200 + 11 * 200 + 30 * 200) / 800;
  EXPECT_EQ(analyzer.QuantisedImage().Row(3)[3], level);
  EXPECT_EQ(analyzer.QuantisedImage().Row(10)[10], 0);
  // 5 x 5 pixels: 20 horizontal pairs, each from both sides.
  EXPECT_EQ(analyzer.Matrices().At(0, level, level), 40);
  const CooccurrenceMatrices before = analyzer.Matrices();

  Dib small = Black(20, 20);
  Paint(small, 2, 2, 6, 6, 90, 90, 90);  // 16 key pixels: no texture
  EXPECT_EQ(analyzer.LearnCooccurrenceByKey(small), 0);
  EXPECT_EQ(analyzer.Matrices().m, before.m);

  // A black picture: an empty mask and no update either.
  EXPECT_EQ(analyzer.LearnCooccurrenceByKey(Black(20, 20)), 0);
  EXPECT_EQ(analyzer.Matrices().m, before.m);
}

TEST(LearnCooccurrenceByKey, ExternalMaskReplacesTheKey) {
  Dib picture = Black(10, 10);
  Paint(picture, 0, 0, 10, 10, 255, 255, 255);  // every pixel is a key pixel
  TextureAnalyzer analyzer;
  analyzer.Initialise(picture, false);
  std::vector<uint8_t> mask(100, 0);
  for (int i = 0; i < 20; ++i) mask[i] = 255;  // the two lowest rows
  analyzer.SetExternalMask(mask.data());
  EXPECT_EQ(analyzer.LearnCooccurrenceByKey(picture), 20);
  EXPECT_EQ(analyzer.QuantisedImage().Row(5)[5], 0);  // outside the mask
  EXPECT_EQ(analyzer.Matrices().At(0, 31, 31), 2 * 2 * 9);
  analyzer.SetExternalMask(nullptr);
  EXPECT_EQ(analyzer.LearnCooccurrenceByKey(picture), 100);
}

TEST(TextureSignature, LearnedOverOneHundredFramesThenMatched) {
  // Vertical stripes of two greys: the same scores on every frame.
  Dib stripes = Black(24, 24);
  for (int x = 0; x < 24; ++x) {
    const uint8_t v = x % 2 ? 200 : 100;
    Paint(stripes, x, 0, x + 1, 24, v, v, v);
  }
  TextureAnalyzer analyzer;
  analyzer.Initialise(stripes, false);
  EXPECT_EQ(analyzer.SignatureMeans(), kDefaultSignature);
  for (int frame = 0; frame < 99; ++frame) {
    analyzer.LearnTextureSignature(stripes, nullptr);
    EXPECT_FALSE(analyzer.MatchTextureSignature()) << frame;
  }
  analyzer.LearnTextureSignature(stripes, nullptr);
  EXPECT_EQ(analyzer.LearningCount(), 100);
  EXPECT_TRUE(analyzer.MatchTextureSignature());
  for (int d = 0; d < kDirections; ++d) {
    EXPECT_FLOAT_EQ(analyzer.SignatureMeans()[d], analyzer.Scores().scores[d]);
    EXPECT_NEAR(analyzer.SignatureDeviations()[d], 0.0f, 1e-6f);
  }
  // A uniform texture scores 0: far from the stripes' signature.
  Dib flat = Black(24, 24);
  Paint(flat, 0, 0, 24, 24, 150, 150, 150);
  analyzer.LearnTextureSignature(flat, nullptr);
  EXPECT_FALSE(analyzer.MatchTextureSignature());
  // No texture at all: no recognition, whatever the scores kept.
  analyzer.LearnTextureSignature(stripes, nullptr);
  EXPECT_TRUE(analyzer.MatchTextureSignature());
  analyzer.LearnTextureSignature(Black(24, 24), nullptr);
  EXPECT_FALSE(analyzer.MatchTextureSignature());
  // Choosing the learning again starts over from the default means.
  analyzer.ResetSignature();
  EXPECT_EQ(analyzer.SignatureMeans(), kDefaultSignature);
  analyzer.LearnTextureSignature(stripes, nullptr);
  EXPECT_FALSE(analyzer.MatchTextureSignature());
}

TEST(TextureSignature, ScoreChartScrollsOnceFull) {
  // Two stripe textures with different scores, alternating from frame to frame.
  Dib stripes[2] = {Black(8, 8), Black(8, 8)};
  for (int x = 0; x < 8; ++x) {
    Paint(stripes[0], x, 0, x + 1, 8, 0, x % 2 ? 200 : 100, 0);
    Paint(stripes[1], x, 0, x + 1, 8, 0, x % 4 < 2 ? 250 : 60, 0);
  }
  TextureAnalyzer analyzer;
  analyzer.Initialise(stripes[0], false);
  Dib chart;
  const auto column = [&](int x) {
    std::vector<uint8_t> c;
    for (int y = 0; y < 256; ++y) c.insert(c.end(), chart.Row(y) + 3 * x, chart.Row(y) + 3 * x + 3);
    return c;
  };
  const std::vector<uint8_t> black(3 * 256, 0);
  analyzer.LearnTextureSignature(stripes[0], &chart);
  ASSERT_EQ(chart.Width(), 256);
  ASSERT_EQ(chart.Height(), 256);
  EXPECT_NE(column(0), black);
  EXPECT_EQ(column(1), black);
  for (int i = 1; i < 256; ++i) analyzer.LearnTextureSignature(stripes[i % 2], &chart);
  EXPECT_NE(column(255), black);
  EXPECT_NE(column(0), column(1));
  // Once full, everything moves one column to the left and the new scores go on the right.
  const std::vector<uint8_t> second = column(1);
  const std::vector<uint8_t> last = column(255);
  analyzer.LearnTextureSignature(stripes[0], &chart);
  EXPECT_EQ(column(0), second);
  EXPECT_EQ(column(254), last);
  EXPECT_EQ(column(255), column(253));
}

// --- projections -------------------------------------------------------------------------------

TEST(Projections, RowsAndColumnsOfAKnownMask) {
  // 6 x 4 mask: row 1 has 3 pixels (x 1..3), row 2 has 1 pixel (x 3).
  std::vector<uint8_t> mask(24, 0);
  mask[1 * 6 + 1] = mask[1 * 6 + 2] = mask[1 * 6 + 3] = 1;
  mask[2 * 6 + 3] = 255;
  ProjectionHistory p;
  p.Allocate(6, 4);
  p.Measure(mask.data());
  EXPECT_EQ(std::vector<int32_t>(p.Rows().begin(), p.Rows().end()),
            (std::vector<int32_t>{0, 3, 1, 0}));
  EXPECT_EQ(std::vector<int32_t>(p.Columns().begin(), p.Columns().end()),
            (std::vector<int32_t>{0, 1, 1, 2, 0, 0}));
  EXPECT_EQ(p.FirstRow(), 1);
  EXPECT_EQ(p.LastRow(), 2);
  EXPECT_EQ(p.FirstColumn(), 1);
  EXPECT_EQ(p.LastColumn(), 3);

  Dib chart;
  p.DrawCurves(chart, 4, p.Rows(), p.Columns());
  ASSERT_EQ(chart.GetBitCount(), 24);
  const auto colour = [&](int x, int y) {
    const uint8_t* q = chart.Row(y) + 3 * x;
    return (q[2] << 16) | (q[1] << 8) | q[0];
  };
  // Row 1: yellow from x = 5 - 0 = 5 to 5 - 3 = 2; row 2: from 2 to 4. Column 3: blue from
  // y = 1 - 1 = 0 to 2 - 1 = 1, over the yellow (columns 1 and 2: from 0 to 0).
  for (const int x : {2, 4, 5}) EXPECT_EQ(colour(x, 1), 0xffff00) << x;
  EXPECT_EQ(colour(1, 1), 0);
  EXPECT_EQ(colour(3, 1), 0x0000ff);
  EXPECT_EQ(colour(4, 2), 0xffff00);
  EXPECT_EQ(colour(5, 2), 0);
  EXPECT_EQ(colour(3, 0), 0x0000ff);
  EXPECT_EQ(colour(1, 0), 0x0000ff);
  EXPECT_EQ(colour(0, 0), 0);
  EXPECT_EQ(colour(4, 3), 0);

  std::vector<uint8_t> empty(24, 0);
  p.Measure(empty.data());
  EXPECT_EQ(p.FirstRow(), kNoProjection);
  EXPECT_EQ(p.LastColumn(), kNoProjection);
}

// One frame of a mask whose only pixels are the first `pixels` of row 0, stored in the history.
void StoreRowZero(ProjectionHistory& p, int pixels) {
  std::vector<uint8_t> mask(size_t(p.Width()) * p.Height(), 0);
  std::fill(mask.begin(), mask.begin() + pixels, 1);
  p.Measure(mask.data());
  p.Store();
}

TEST(Projections, SpaceTimeWrapsAfterSixtyFourFrames) {
  constexpr int W = 8;
  constexpr int H = 3;
  ProjectionHistory p;
  p.Allocate(W, H);
  // Frame f has (f % 8) + 1 pixels in row 0.
  for (int f = 0; f < 70; ++f) {
    StoreRowZero(p, f % 8 + 1);
    if (f < 69) p.Advance();
  }
  EXPECT_EQ(p.Counter(), 69);
  Dib picture;
  p.DrawSpaceTime(picture, true, false);
  ASSERT_EQ(picture.Width(), kHistorySlots);
  ASSERT_EQ(picture.Height(), H);
  // Column j is slot (j + 69) mod 64: j = 0 is slot 5, written by frame 69 (overwriting frame
  // 5); j = 1 is slot 6 from frame 6.
  EXPECT_EQ(picture.Row(0)[0], (69 % 8 + 1) * 255 / W);
  EXPECT_EQ(picture.Row(0)[1], (6 % 8 + 1) * 255 / W);
  EXPECT_EQ(picture.Row(1)[0], 0);
  // Columns: W wide and 64 high; normalised: 64 x 64.
  p.DrawSpaceTime(picture, false, false);
  EXPECT_EQ(picture.Width(), W);
  EXPECT_EQ(picture.Height(), kHistorySlots);
  EXPECT_EQ(picture.Row(0)[0], 1 * 255 / H);
  p.DrawSpaceTime(picture, true, true);
  EXPECT_EQ(picture.Width(), kHistorySlots);
  EXPECT_EQ(picture.Height(), kHistorySlots);
  EXPECT_EQ(picture.Row(0)[0], (69 % 8 + 1) * 255 / W);  // entry 0 from position 0
  EXPECT_EQ(picture.Row(63)[0], 0);                      // entry 63 from position 2
}

TEST(Projections, ChangeAveragesConsecutiveSlots) {
  constexpr int W = 4;
  constexpr int H = 2;
  ProjectionHistory p;
  p.Allocate(W, H);
  // Row 0 alternates between 4 and 2 pixels: each pair changes by (4 - 2) x 4 / 4 = 2.
  for (int f = 0; f < kHistorySlots; ++f) {
    StoreRowZero(p, f % 2 ? 2 : 4);
    p.Advance();
  }
  Dib chart;
  p.DrawChange(chart, H);
  // Row 0 changes by 2 on average but rows are drawn from row 1 on, and row 1 never changes: no
  // yellow. Columns 0 and 1 never change; columns 2 and 3 change by (1 - 0) x 2 / 1 = 2: blue
  // from y = 0 to 1 in column 2 and at y = 1 in column 3.
  const auto blue = [&](int x, int y) {
    const uint8_t* q = chart.Row(y) + 3 * x;
    return q[0] == 255 && q[1] == 0 && q[2] == 0;
  };
  EXPECT_TRUE(blue(2, 0));
  EXPECT_TRUE(blue(2, 1));
  EXPECT_TRUE(blue(3, 1));
  EXPECT_FALSE(blue(3, 0));
  EXPECT_FALSE(blue(1, 0));
  for (int x = 0; x < W; ++x) EXPECT_EQ(chart.Row(1)[3 * x + 1], 0);
}

// --- regions -----------------------------------------------------------------------------------

struct Masked {
  Dib picture;
  TextureAnalyzer analyzer;
};

// A picture whose non-black pixels are the rectangles given, analysed with the key mask.
void Build(Masked& m, int w, int h, std::initializer_list<IntRect> parts) {
  m.picture = Black(w, h);
  for (const IntRect& r : parts) Paint(m.picture, r.x0, r.y0, r.x1, r.y1, 0, 200, 200);
  m.analyzer.Initialise(m.picture, false);
  m.analyzer.EnsureKeyMask(m.picture, false);
}

int CountColour(const Dib& display, uint8_t blue, uint8_t green, uint8_t red) {
  int n = 0;
  for (int y = 0; y < display.Height(); ++y) {
    for (int x = 0; x < display.Width(); ++x) {
      const uint8_t* p = display.Row(y) + 3 * x;
      n += p[0] == blue && p[1] == green && p[2] == red;
    }
  }
  return n;
}

TEST(MaskBoundary, ASpeckOfTenPixelsIsRemovedFirst) {
  Masked m;
  Build(m, 30, 30, {{5, 5, 10, 7}});  // 10 pixels
  Dib display;
  m.analyzer.MarkMaskBoundary(m.picture, display);
  EXPECT_EQ(CountColour(display, 0, 255, 0), 0);
  // A 6 x 6 square shows its 20 border pixels: each touches the interior, the corners
  // diagonally.
  Build(m, 30, 30, {{5, 5, 11, 11}});
  m.analyzer.MarkMaskBoundary(m.picture, display);
  EXPECT_EQ(CountColour(display, 0, 255, 0), 20);
  // A three-pixel spur on its right side: the square pixel it leaves from is no longer a
  // boundary pixel, the spur's first pixel touches it and stays, the other two touch only marks
  // and drop out.
  Build(m, 30, 30, {{5, 5, 11, 11}, {11, 8, 14, 9}});
  m.analyzer.MarkMaskBoundary(m.picture, display);
  EXPECT_EQ(CountColour(display, 0, 255, 0), 19 + 1);
  EXPECT_EQ(display.Row(8)[3 * 13 + 1], 200);  // the spur's end shows the source
  // The mask itself is not changed by the cleanup.
  EXPECT_EQ(m.analyzer.Mask()[5 * 30 + 5], 1);
}

TEST(RegionPipeline, CleansLabelsAndTracesTheLargestRegion) {
  Masked m;
  // A 20 x 12 block, a 6 x 5 block and a 3-pixel speck.
  Build(m, 60, 40, {{5, 5, 25, 17}, {40, 20, 46, 25}, {50, 35, 53, 36}});
  Dib display;
  const int points = m.analyzer.RegionPipeline(m.picture, display, false);
  const RegionAnalysis& regions = m.analyzer.Regions();
  ASSERT_EQ(regions.Regions().RegionCount(), 2);
  EXPECT_EQ(regions.Regions().RegionSizes()[0], 20 * 12 - 1);
  // The contour goes round the big block's border once; its corners touch no interior pixel
  // by a side, so their marks were dropped.
  EXPECT_EQ(points, 2 * (20 + 12) - 8);
  EXPECT_EQ(regions.ContourCount(), points);
  for (int i = 0; i < points; ++i) {
    const int x = regions.ContourX()[i];
    const int y = regions.ContourY()[i];
    EXPECT_TRUE(x == 5 || x == 24 || y == 5 || y == 16) << x << "," << y;
  }
  // Painted: the contour red, the big block's interior blue, the small block purple; the speck
  // (removed) and the four corners show the source.
  EXPECT_EQ(CountColour(display, 0, 0, 255), points);
  EXPECT_EQ(CountColour(display, 255, 0, 0), 18 * 10);
  EXPECT_EQ(CountColour(display, 255, 0, 134), 30);
  EXPECT_EQ(CountColour(display, 0, 200, 200), 3 + 4);
}

TEST(RegionPipeline, AlternativeCleanupFillsHolesAndKeepsSmallRegions) {
  Masked m;
  // A ring block with a 2 x 2 hole, and a 20-pixel region.
  Build(m, 40, 30, {{2, 2, 12, 5}, {2, 7, 12, 12}, {2, 5, 5, 7}, {7, 5, 12, 7}, {20, 20, 25, 24}});
  Dib display;
  m.analyzer.RegionPipeline(m.picture, display, true);
  const RegionSet& set = m.analyzer.Regions().Regions();
  ASSERT_EQ(set.RegionCount(), 2);
  EXPECT_EQ(set.RegionSizes()[0], 10 * 10 - 1);  // the hole was filled
  EXPECT_EQ(set.RegionSizes()[1], 19);
}

TEST(RegionPipeline, ManySmallRegionsNeverReachTheBoundaryMarks) {
  // 300 separate 3 x 3 regions survive the cleanup; the labelling's size rule (1 / 128 of the
  // foreground) erases them all, so no label ever reaches the boundary marks and no message
  // comes.
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  Dib picture = Black(120, 90);
  for (int i = 0; i < 300; ++i) {
    const int x = (i % 30) * 4;
    const int y = (i / 30) * 4;
    Paint(picture, x, y, x + 3, y + 3, 200, 200, 200);
  }
  TextureAnalyzer analyzer;
  analyzer.Initialise(picture, false);
  analyzer.EnsureKeyMask(picture, false);
  Dib display;
  EXPECT_EQ(analyzer.RegionPipeline(picture, display, true), 0);
  EXPECT_LE(analyzer.Regions().Regions().RegionCount(), kMaxRegions);
  for (int i = 0; i < 120 * 90; ++i) {
    const uint8_t v = analyzer.Regions().Plane()[i];
    EXPECT_TRUE(v < kBoundaryMark || v == kMaskKept) << i;
  }
  EXPECT_TRUE(sink.Messages().empty());
}

}  // namespace
}  // namespace fw
