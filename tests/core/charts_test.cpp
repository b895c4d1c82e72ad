#include "core/charts.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/draw.h"

namespace fw {
namespace {

using Bgr = std::array<int, 3>;

Bgr At(const Dib& image, int x, int y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

// Entry i of the test tables is (red i % 256, green i / 256 + 1, blue 7).
std::vector<Rgb8> Table(int n) {
  std::vector<Rgb8> t(n);
  for (int i = 0; i < n; ++i) {
    t[i] = Rgb8{static_cast<uint8_t>(i % 256), static_cast<uint8_t>(i / 256 + 1), 7};
  }
  return t;
}

Bgr Entry(const std::vector<Rgb8>& t, int i) {
  return {t[i].blue, t[i].green, t[i].red};
}

Dib Mask(int width, int height, std::initializer_list<std::array<int, 3>> pixels) {
  Dib mask;
  mask.Create(width, height, 8, false);
  for (const auto& [x, y, v] : pixels) mask.Row(y)[x] = static_cast<uint8_t>(v);
  return mask;
}

TEST(Charts, MaskToColourRecreatesAsBottomUpColour) {
  const uint8_t plane[] = {0, 1, 255, 0, 0, 9};
  Dib image;  // 16 x 16 grey
  MaskToColour(image, plane, 3, 2);
  EXPECT_EQ(image.GetBitCount(), 24);
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.HeaderHeight(), 2);
  const Bgr blue = {255, 0, 0};
  const Bgr yellow = {0, 255, 255};
  EXPECT_EQ(At(image, 0, 0), blue);
  EXPECT_EQ(At(image, 1, 0), yellow);
  EXPECT_EQ(At(image, 2, 0), yellow);
  EXPECT_EQ(At(image, 1, 1), blue);
  EXPECT_EQ(At(image, 2, 1), yellow);
}

TEST(Charts, BarChartClampsValuesToTheTable) {
  const auto table = Table(256);
  Dib image;
  image.Create(40, 20, 8, false);  // becomes 24-bit of its own size
  const std::vector<float> values = {0.5f, 2.0f, -1.0f};
  BarChart(image, 2, 3, 30, 10, values, table);  // bars 10 wide
  ASSERT_EQ(image.GetBitCount(), 24);
  ASSERT_EQ(image.Width(), 40);
  const Bgr magenta = {255, 0, 255};
  EXPECT_EQ(At(image, 2, 8), magenta);    // left side of the frame
  EXPECT_EQ(At(image, 32, 13), magenta);  // right side at x + 3 x 10
  // Bar 0: v = 0.5, rows 3..8, columns 3..10, entry truncate(0.5 x 255) = 127.
  EXPECT_EQ(At(image, 3, 4), Entry(table, 127));
  EXPECT_EQ(At(image, 10, 8), Entry(table, 127));
  EXPECT_EQ(At(image, 11, 8), (Bgr{0, 0, 0}));
  EXPECT_EQ(At(image, 5, 9), (Bgr{0, 0, 0}));
  // Bar 1: clamped to 1: rows 3..13 in entry 255 (the frame's top row is overdrawn).
  EXPECT_EQ(At(image, 15, 13), Entry(table, 255));
  EXPECT_EQ(At(image, 15, 12), Entry(table, 255));
  // Bar 2: negative counts as 0: one row in entry 0, nothing above it.
  EXPECT_EQ(At(image, 25, 3), Entry(table, 0));
  EXPECT_EQ(At(image, 25, 4), (Bgr{0, 0, 0}));
}

TEST(Charts, ColourBarAndMatrixCells) {
  const auto table = Table(511);
  Dib bar;
  bar.CreateSigned(8, 4, 24, false);
  ColourBar(bar, -1, 1, 5, 10, table, 3);  // entries j x 2 / 4: 0 0 1 1 2, first column clipped
  EXPECT_EQ(At(bar, 0, 1), Entry(table, 0));
  EXPECT_EQ(At(bar, 1, 1), Entry(table, 1));
  EXPECT_EQ(At(bar, 2, 3), Entry(table, 1));
  EXPECT_EQ(At(bar, 3, 2), Entry(table, 2));
  EXPECT_EQ(At(bar, 4, 2), (Bgr{0, 0, 0}));
  EXPECT_EQ(At(bar, 0, 0), (Bgr{0, 0, 0}));

  Dib cells;
  cells.CreateSigned(5, 5, 24, false);
  const std::vector<double> m = {0.5, -3.0, 0.0, 1.004};
  MatrixCells(cells, 1, 1, 2, 2, m, 100.0, 2, table);
  EXPECT_EQ(At(cells, 1, 1), Entry(table, 305));  // 50 + 255
  EXPECT_EQ(At(cells, 2, 2), Entry(table, 305));
  EXPECT_EQ(At(cells, 3, 1), Entry(table, 0));    // -300 clamped to -255
  EXPECT_EQ(At(cells, 1, 3), Entry(table, 255));  // 0
  EXPECT_EQ(At(cells, 4, 4), Entry(table, 355));  // truncate(100.4) + 255, clipped cell
  EXPECT_EQ(At(cells, 0, 0), (Bgr{0, 0, 0}));
}

TEST(Charts, CurveChartDrawsOnlyIntoWideColourImages) {
  Dib image;
  image.CreateSigned(21, 51, 24, false);
  image.Fill(9);
  const std::vector<uint8_t> bytes = {0, 255, 0, 255};
  const std::vector<int> values = {-255, 0, 100, 255};
  CurveChart(image, bytes, values, 3, 51);

  // The same chart drawn by hand: middle row 25, band 51 x 50 / 255 = 10 rows either side;
  // columns i x 20 / 3; red rows 50 x b / 255; yellow rows 25 + 50 x v / 255 clamped to 0..50.
  Dib expected;
  expected.CreateSigned(21, 51, 24, false);
  DrawLine(expected, 0, 25, 21, 25, 0, 0, 255);
  DrawLine(expected, 0, 35, 21, 35, 0, 255, 0);
  DrawLine(expected, 0, 15, 21, 15, 0, 255, 0);
  const int xs[] = {0, 6, 13, 20};
  const int red[] = {0, 50, 0, 50};
  const int yellow[] = {0, 25, 44, 50};
  for (int i = 1; i < 4; ++i) {
    DrawLine(expected, xs[i - 1], red[i - 1], xs[i], red[i], 255, 0, 0);
    DrawLine(expected, xs[i - 1], yellow[i - 1], xs[i], yellow[i], 255, 255, 0);
  }
  DrawInteger(expected, 3, 15, 30, 255, 255, 255, 8);
  EXPECT_TRUE(std::equal(image.Pixels(), image.Pixels() + image.PixelBytes(), expected.Pixels()));
  EXPECT_EQ(At(image, 19, 25), (Bgr{255, 0, 0}));  // the blue middle row

  Dib narrow;
  narrow.CreateSigned(4, 10, 24, false);
  narrow.Fill(9);
  CurveChart(narrow, bytes, values, 3, 10);
  EXPECT_EQ(At(narrow, 0, 0), (Bgr{9, 9, 9}));
}

TEST(Charts, MaskChangeRatio) {
  Dib chart;
  int counter = 0;
  const Dib a = Mask(8, 8, {{1, 1, 255}, {2, 1, 255}, {1, 2, 255}, {2, 2, 255}});
  const Dib shifted = Mask(8, 8, {{5, 5, 255}, {6, 5, 255}, {5, 6, 255}, {6, 6, 255}});
  const Dib dimmer = Mask(8, 8, {{1, 1, 255}, {2, 1, 255}, {1, 2, 255}, {2, 2, 55}});
  const Dib empty = Mask(8, 8, {});
  struct Case {
    const char* name;
    const Dib& a;
    const Dib& b;
    int minPixels;
    float ratio;
  };
  const Case cases[] = {
      {"identical", a, a, 0, 0.0f},
      {"translated copy", a, shifted, 0, 0.0f},
      {"one dimmer pixel", a, dimmer, 0, 200.0f / 1020.0f},
      {"too few pixels", a, dimmer, 4, 0.0f},
      {"mask against empty, few pixels", a, empty, 4, 0.0f},
      {"empty against mask", empty, a, 0, 1.0f},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(MaskChangeRatio(chart, c.a, c.b, false, c.minPixels, 0.5f, counter), c.ratio)
        << c.name;
  }
  EXPECT_EQ(counter, 0);
}

TEST(Charts, MaskChangeChartScrolls) {
  Dib chart;
  chart.CreateSigned(3, 30, 24, false);
  int counter = 0;
  const Dib a = Mask(4, 4, {{0, 0, 200}});
  const Dib b = Mask(4, 4, {{0, 0, 100}});  // ratio 100 / 200
  const Bgr white = {255, 255, 255};
  const Bgr red = {0, 0, 255};
  const Bgr black = {0, 0, 0};
  // Plots: 0.5, 0, 0.5, 0 into three columns; the fourth scrolls the chart left.
  for (int i = 0; i < 4; ++i) {
    const Dib& second = i % 2 == 0 ? b : a;
    MaskChangeRatio(chart, a, second, true, 0, 0.75f, counter);
  }
  EXPECT_EQ(counter, 3);
  // Column 0 now holds the second plot (ratio 0), column 1 the third (0.5), column 2 the fourth.
  for (int column : {0, 2}) {
    EXPECT_EQ(At(chart, column, 10), black) << column;
    EXPECT_EQ(At(chart, column, 17), red) << column;  // 10 + truncate(10 x 0.75)
  }
  for (int y = 10; y < 15; ++y) EXPECT_EQ(At(chart, 1, y), white) << y;  // 5 rows of 0.5
  EXPECT_EQ(At(chart, 1, 15), black);
  EXPECT_EQ(At(chart, 1, 17), red);
  EXPECT_EQ(At(chart, 1, 9), black);
}

}  // namespace
}  // namespace fw
