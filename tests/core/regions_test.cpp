#include "core/regions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/ui_sink.h"

namespace fw {
namespace {

// A plane drawn as text: '.' is 0, '#' is 1, digits and letters as listed.
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bytes;
  uint8_t& at(int x, int y) { return bytes[y * width + x]; }
};

uint8_t Decode(char c) {
  switch (c) {
    case '.':
      return 0;
    case '#':
      return 1;
    case 'K':
      return kMaskKept;
    case 'B':
      return kBoundaryMark;
    case 'P':
      return kPassedMark;
    case 'C':
      return kContourMark;
    default:
      return static_cast<uint8_t>(c - '0');
  }
}

Plane Draw(const std::vector<std::string>& rows) {
  Plane p;
  p.height = static_cast<int>(rows.size());
  p.width = static_cast<int>(rows[0].size());
  for (const std::string& row : rows) {
    for (const char c : row) p.bytes.push_back(Decode(c));
  }
  return p;
}

Plane Blank(int width, int height) {
  return {width, height, std::vector<uint8_t>(width * height)};
}

// A filled run of pixels in raster order starting at (x, y), wrapping within columns x..x+w-1.
void FillRun(Plane& p, int x, int y, int w, int count, uint8_t value) {
  for (int i = 0; i < count; ++i) p.at(x + i % w, y + i / w) = value;
}

int CountValue(const Plane& p, uint8_t value) {
  int n = 0;
  for (const uint8_t b : p.bytes) n += b == value;
  return n;
}

TEST(RemoveSpecks, ErasesSpecksAndFillsHolesOfSixteenButNotSeventeen) {
  struct Case {
    bool hole;
    int pixels;
    bool survives;  // the blob stays foreground, or the hole stays background
  };
  for (const Case c : {Case{false, 16, false}, Case{false, 17, true}, Case{true, 16, false},
                       Case{true, 17, true}}) {
    SCOPED_TRACE(std::string(c.hole ? "hole " : "speck ") + std::to_string(c.pixels));
    // A 4-wide run of 16 or 17 pixels: a 4 x 4 square, plus one below it for 17.
    Plane p = Blank(12, 12);
    if (c.hole) FillRun(p, 0, 0, 12, 144, 1);
    FillRun(p, 4, 4, 4, c.pixels, c.hole ? 0 : 1);
    FloodWorkspace ws;
    EXPECT_EQ(RemoveSpecks(p.bytes.data(), p.width, p.height, ws), 144);
    const int blobValue = c.hole ? (c.survives ? 0 : 255) : (c.survives ? 255 : 0);
    EXPECT_EQ(p.at(4, 4), blobValue);
    EXPECT_EQ(p.at(4, 8), c.pixels == 17 ? blobValue : (c.hole ? 255 : 0));
    EXPECT_EQ(p.at(0, 0), c.hole ? 255 : 0);
    EXPECT_EQ(CountValue(p, 0) + CountValue(p, 255), 144);
  }
}

TEST(RemoveSpecks, LargeRegionCutByTheFloodLimitIsKeptWhole) {
  // A 3-row band of 60 pixels: the first flood stops after 16 pushes, the later seeds of the
  // band meet the kept part and are kept too.
  Plane p = Blank(20, 5);
  FillRun(p, 0, 1, 20, 60, 1);
  FloodWorkspace ws;
  RemoveSpecks(p.bytes.data(), p.width, p.height, ws);
  EXPECT_EQ(CountValue(p, 255), 60);
}

TEST(Regions, CornerTouchingBlobsAreTwoSpecksButOneRegion) {
  const std::vector<std::string> drawing = {
      "..........",  //
      ".###......",  //
      ".###......",  //
      ".###......",  //
      "....###...",  //
      "....###...",  //
      "....###...",  //
      "..........",
  };
  Plane specks = Draw(drawing);
  FloodWorkspace ws;
  RemoveSpecks(specks.bytes.data(), specks.width, specks.height, ws);
  EXPECT_EQ(CountValue(specks, 255), 0);  // two 4-connected specks of 9 pixels

  Plane regions = Draw(drawing);
  RegionSet set;
  set.LabelRegions(regions.bytes.data(), regions.width, regions.height);
  ASSERT_EQ(set.RegionCount(), 1);  // one 8-connected region: 17 pushes
  EXPECT_EQ(set.RegionSizes()[0], 17);
  EXPECT_EQ(CountValue(regions, 2), 18);
}

TEST(RemoveSmallRegionsAndFillHoles, KeepOnlyWhatReachesTheLimit) {
  // RemoveSmallRegions(minimum 4): a diagonal of 5 pixels (4 pushes) stays, one of 4 goes.
  for (const int length : {4, 5}) {
    Plane p = Blank(8, 8);
    for (int i = 0; i < length; ++i) p.at(i, i) = 1;
    FloodWorkspace ws;
    RemoveSmallRegions(p.bytes.data(), p.width, p.height, 4, ws);
    EXPECT_EQ(CountValue(p, 255), length == 5 ? 5 : 0) << length;
    EXPECT_EQ(CountValue(p, 0), length == 5 ? 59 : 64) << length;
  }
  // FillHoles on 8 x 8: holes of up to 64 / 4 = 16 pixels are filled, 17 stay open.
  for (const int hole : {16, 17}) {
    Plane p = Blank(8, 8);
    FillRun(p, 0, 0, 8, 64, 255);
    FillRun(p, 2, 2, 4, hole, 0);
    FloodWorkspace ws;
    EXPECT_EQ(FillHoles(p.bytes.data(), p.width, p.height, ws), 64);
    EXPECT_EQ(CountValue(p, 0), hole == 16 ? 0 : 17) << hole;
  }
}

TEST(HasRegionOfSize, CountsPushesBeyondTheSeed) {
  struct Case {
    int n;
    bool expected;
  };
  for (const Case c : {Case{4, true}, Case{5, false}}) {
    Plane p = Draw({
        "#.#..",  //
        "..#..",  //
        "..###",
    });
    FloodWorkspace ws;
    EXPECT_EQ(HasRegionOfSize(p.bytes.data(), p.width, p.height, c.n, ws), c.expected) << c.n;
  }
}

TEST(CleanThreshold, ErasesSpecksAndSubThresholdPixelsOfAnEightBitImage) {
  Dib image;
  image.Create(10, 10, 8, false);
  for (int y = 2; y < 7; ++y) {
    for (int x = 2; x < 6; ++x) image.Row(y)[x] = 200;  // 20 pixels: kept
  }
  image.Row(0)[9] = 220;  // a speck: erased
  image.Row(9)[0] = 50;   // below the threshold: erased
  image.Row(4)[3] = 90;   // a one-pixel hole in the blob: filled in the plane, left as it is
  FloodWorkspace ws;
  CleanThreshold(image, 100, ws);
  EXPECT_EQ(image.Row(2)[2], 200);
  EXPECT_EQ(image.Row(0)[9], 0);
  EXPECT_EQ(image.Row(9)[0], 0);
  EXPECT_EQ(image.Row(4)[3], 90);
  EXPECT_TRUE(ThresholdHasRegion(image, 100, 18, ws));
  EXPECT_FALSE(ThresholdHasRegion(image, 100, 19, ws));

  Dib colour;
  colour.Create(4, 4, 24, false);
  colour.Fill(9);
  CleanThreshold(colour, 100, ws);
  EXPECT_EQ(colour.Pixels()[0], 9);
  EXPECT_FALSE(ThresholdHasRegion(colour, 1, 0, ws));
}

TEST(LabelRegions, MinimumSizeFollowsTheForeground) {
  struct Case {
    int foreground;
    int small;  // pixels of the small region
    bool kept;
  };
  // 10000 foreground pixels: minimum 78 pushes; 1000: minimum 16.
  for (const Case c : {Case{10000, 79, true}, Case{9999, 78, false}, Case{1000, 17, true},
                       Case{1000, 16, false}}) {
    SCOPED_TRACE(std::to_string(c.foreground) + " / " + std::to_string(c.small));
    Plane p = Blank(200, 100);
    FillRun(p, 0, 0, 200, c.foreground - c.small, 1);
    FillRun(p, 0, 80, 100, c.small, 1);
    RegionSet set;
    set.LabelRegions(p.bytes.data(), p.width, p.height);
    EXPECT_EQ(set.RegionCount(), c.kept ? 2 : 1);
    EXPECT_EQ(p.at(0, 80), c.kept ? 3 : 0);
  }
}

TEST(LabelRegions, SortsBySizeLargestFirst) {
  // Regions of 30, 50 and 40 pushes in raster order.
  Plane p = Blank(60, 6);
  FillRun(p, 0, 0, 60, 31, 9);
  FillRun(p, 0, 2, 60, 51, 9);
  FillRun(p, 0, 4, 60, 41, 9);
  RegionSet set;
  set.LabelRegions(p.bytes.data(), p.width, p.height);
  ASSERT_EQ(set.RegionCount(), 3);
  EXPECT_EQ(std::vector<uint8_t>(set.RegionLabels().begin(), set.RegionLabels().end()),
            (std::vector<uint8_t>{3, 4, 2}));
  EXPECT_EQ(std::vector<int32_t>(set.RegionSizes().begin(), set.RegionSizes().end()),
            (std::vector<int32_t>{50, 40, 30}));
  EXPECT_EQ(p.at(30, 0), 2);
  EXPECT_EQ(p.at(50, 2), 3);
  EXPECT_EQ(p.at(40, 4), 4);
}

TEST(LabelRegions, StopsAtTwoHundredFiftyRegionsWithTheMessage) {
  // The foreground-scaled minimum never lets 250 regions through, so the limit is exercised with
  // an explicit minimum of 0 pushes: every isolated pixel is a region.
  for (const int pixels : {250, 260}) {
    SCOPED_TRACE(pixels);
    Plane p = Blank(40, 40);
    for (int i = 0; i < pixels; ++i) p.at(2 * (i % 20), 2 * (i / 20)) = 1;
    FillRun(p, 0, 39, 40, 40, 1);  // never reached
    RecordingUiSink sink;
    ScopedUiSink scoped(sink);
    RegionSet set;
    set.LabelRegionsWithMinimum(p.bytes.data(), p.width, p.height, 0);
    EXPECT_EQ(set.RegionCount(), 250);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].text, "区域太多,大于250");
    EXPECT_EQ(sink.Messages()[0].caption, "");
    EXPECT_EQ(set.RegionLabels()[249], 251);
    // Foreground beyond the 250th region stays 255.
    EXPECT_EQ(CountValue(p, 255), pixels - 250 + 40);
  }
  // With fewer regions the scan completes and the largest comes first.
  Plane p = Blank(40, 40);
  for (int i = 0; i < 10; ++i) p.at(2 * i, 0) = 1;
  FillRun(p, 0, 39, 40, 40, 1);
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  RegionSet set;
  set.LabelRegionsWithMinimum(p.bytes.data(), p.width, p.height, 0);
  EXPECT_EQ(set.RegionCount(), 11);
  EXPECT_EQ(set.RegionSizes()[0], 39);
  EXPECT_EQ(set.RegionLabels()[0], 12);
  EXPECT_TRUE(sink.Messages().empty());
}

TEST(LabelRegions, LimitCutShortStillPutsTheLargestFirst) {
  Plane p = Blank(40, 40);
  for (int i = 0; i < 249; ++i) p.at(2 * (i % 20), 2 * (i / 20)) = 1;
  FillRun(p, 0, 30, 40, 80, 1);  // the 250th region, the largest
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  RegionSet set;
  set.LabelRegionsWithMinimum(p.bytes.data(), p.width, p.height, 0);
  ASSERT_EQ(set.RegionCount(), 250);
  EXPECT_EQ(set.RegionSizes()[0], 79);
  EXPECT_EQ(set.RegionLabels()[0], 251);
}

TEST(MarkRegionBoundary, KeepsMarksTouchingTheInteriorAndDropsSpurs) {
  Plane p = Draw({
      "..........",  //
      ".22222....",  //
      ".22222....",  //
      ".22222222.",  //
      ".22222....",  //
      ".22222....",  //
      "..........",
  });
  p.at(0, 0) = 3;  // another label is left alone
  MarkRegionBoundary(p.bytes.data(), p.width, p.height, 2);
  // Corners and the spur beyond its first pixel touch no unmarked pixel of the region.
  const Plane expected = Draw({
      "3.........",  //
      "..BBB.....",  //
      ".B222B....",  //
      ".B2222B...",  //
      ".B222B....",  //
      "..BBB.....",  //
      "..........",
  });
  EXPECT_EQ(p.bytes, expected.bytes);
}

bool Adjacent(int x0, int y0, int x1, int y1) {
  return std::abs(x0 - x1) <= 1 && std::abs(y0 - y1) <= 1 && (x0 != x1 || y0 != y1);
}

TEST(TraceBoundary, FollowsTheMarksOfABlockOnce) {
  struct Case {
    int width;
    int height;
    int points;
  };
  // The 4 x 5 block has only 10 marks: its trace ends at the dead end beside the start instead
  // of backing out to the start's branch point and losing the loop.
  for (const Case c : {Case{6, 6, 16}, Case{5, 4, 10}}) {
    SCOPED_TRACE(c.points);
    Plane p = Blank(8, 8);
    FillRun(p, 1, 1, c.width, c.width * c.height, 2);
    MarkRegionBoundary(p.bytes.data(), p.width, p.height, 2);
    ASSERT_EQ(CountValue(p, kBoundaryMark), c.points);
    RegionSet set;
    ASSERT_EQ(set.TraceBoundary(p.bytes.data(), p.width, p.height), c.points);
    EXPECT_EQ(set.ContourCount(), c.points);
    EXPECT_EQ(set.ContourX()[0], 2);
    EXPECT_EQ(set.ContourY()[0], 1);
    EXPECT_EQ(set.ContourX()[1], 3);  // right first: the up-right neighbour is not marked
    for (int i = 1; i < c.points; ++i) {
      EXPECT_TRUE(Adjacent(set.ContourX()[i - 1], set.ContourY()[i - 1], set.ContourX()[i],
                           set.ContourY()[i]))
          << i;
    }
    EXPECT_EQ(CountValue(p, kContourMark), c.points);
    EXPECT_EQ(CountValue(p, kBoundaryMark), 0);
  }
}

TEST(TraceBoundary, BacksOutOfADeadEndAndEmptyPlanesGiveNoContour) {
  // At the top-right corner of the loop the trace turns right into a dead-end branch first,
  // backs out to the corner and goes on round the loop; the branch stays passed, not contour.
  Plane p = Draw({
      "..BBBBB.....",  //
      ".B.....BBB..",  //
      ".B....B.....",  //
      "..BBBB......",  //
  });
  RegionSet set;
  const int points = set.TraceBoundary(p.bytes.data(), p.width, p.height);
  const Plane expected = Draw({
      "..CCCCC.....",  //
      ".C.....CPP..",  //
      ".C....C.....",  //
      "..CCCC......",  //
  });
  EXPECT_EQ(p.bytes, expected.bytes);
  EXPECT_EQ(points, 13);
  EXPECT_EQ(set.ContourX()[0], 2);
  EXPECT_EQ(set.ContourY()[0], 0);
  EXPECT_EQ(set.ContourX()[6], 6);  // after the corner (7, 1) comes (6, 2), not the branch
  EXPECT_EQ(set.ContourY()[6], 2);

  Plane empty = Blank(5, 5);
  EXPECT_EQ(set.TraceBoundary(empty.bytes.data(), 5, 5), 0);
  EXPECT_EQ(set.ContourCount(), 0);
}

}  // namespace
}  // namespace fw
