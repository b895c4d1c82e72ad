#include "core/histogram.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "core/colour.h"

namespace fw {
namespace {

// One row of 256 grey pixels (red = green = blue = v, so that the grey is v).
Dib GreyRamp() {
  Dib image;
  image.Create(256, 1, 24, false);
  for (int v = 0; v < 256; ++v) {
    image.SetPixelRgb(v, 0, static_cast<uint8_t>(v), static_cast<uint8_t>(v),
                      static_cast<uint8_t>(v));
  }
  return image;
}

TEST(Histogram, DegradeLevelsQuantisesTheGrey) {
  const Dib ramp = GreyRamp();
  struct Case {
    int levels;
    bool indexOnly;
    int grey;
    int expected;
  };
  const Case cases[] = {
      {4, false, 0, 0},
      {4, false, 63, 0},
      {4, false, 64, 64},
      {4, false, 127, 64},
      {4, false, 128, 128},
      {4, false, 191, 128},
      {4, false, 192, 192},
      {4, false, 255, 192},
      {1, false, 137, 137},
      {300, false, 137, 137},
      {256, false, 200, 200},
      {0, false, 5, 5},
      {4, true, 63, 0},
      {4, true, 64, 1},
      {4, true, 255, 3},
      // 256 / 3 = 85: grey 255 gives 255 in the picture, and the last index, 2, as an index.
      {3, false, 255, 255},
      {3, true, 255, 2},
      {3, true, 170, 2},
      {3, true, 169, 1},
      {1, true, 200, 200},
  };
  for (const Case& c : cases) {
    Dib destination;
    DegradeLevels(ramp, destination, c.levels, c.indexOnly);
    EXPECT_EQ(destination.Row(0)[c.grey], c.expected)
        << c.levels << " levels, index " << c.indexOnly << ", grey " << c.grey;
  }
}

TEST(Histogram, DegradeLevelsUsesTheHundredthsGreyAndTheRecreationRule) {
  Dib source;
  source.Create(3, 2, 24, false);
  source.SetPixelRgb(2, 1, 10, 200, 30);  // grey (300 + 11800 + 330) / 100 = 124
  Dib destination;
  destination.Create(5, 5, 8, false);
  DegradeLevels(source, destination, 1, false);
  EXPECT_EQ(destination.Width(), 3);
  EXPECT_EQ(destination.HeaderHeight(), 2);
  EXPECT_EQ(destination.Row(1)[2], 124);
  Dib grey;
  grey.Create(3, 2, 8, false);
  grey.Fill(9);
  DegradeLevels(grey, destination, 4, false);  // an 8-bit source is not handled
  EXPECT_EQ(destination.Row(1)[2], 124);
}

TEST(Histogram, CountsValuesOrGreysAndSkipsRowPadding) {
  Dib grey;
  grey.Create(5, 3, 8, false);  // stride 8: three padding bytes per row
  grey.Fill(200);
  grey.Row(1)[2] = 7;
  std::array<int32_t, 256> counts;
  counts.fill(-1);
  const auto result = Histogram(grey, &counts, nullptr, false);
  EXPECT_EQ(result.data(), counts.data());
  EXPECT_EQ(counts[200], 14);
  EXPECT_EQ(counts[7], 1);
  EXPECT_EQ(counts[0], 0);

  Dib colour;
  colour.Create(3, 1, 24, false);
  colour.SetPixelRgb(0, 0, 10, 200, 30);  // grey 124
  colour.SetPixelRgb(1, 0, 255, 255, 255);
  const auto own = Histogram(colour, nullptr, nullptr, false);
  EXPECT_EQ(own.data(), colour.HistogramBuffer().data());
  EXPECT_EQ(own[124], 1);
  EXPECT_EQ(own[255], 1);
  EXPECT_EQ(own[0], 1);
}

TEST(Histogram, ChartBarsLinearAndLog) {
  // Counts: value 10 appears 100 times, value 20 ten times, value 30 once.
  Dib source;
  source.Create(111, 1, 8, false);
  for (int x = 0; x < 111; ++x) source.Row(0)[x] = x < 100 ? 10 : (x < 110 ? 20 : 30);
  struct Case {
    bool log;
    int bar10, bar20, bar30;
  };
  // Linear: 9 x count / 100. Log: (9 / ln 100) x ln count, none for a count of 1.
  for (const Case c : {Case{false, 9, 0, 0}, Case{true, 9, 4, 0}}) {
    for (const int bits : {8, 24}) {
      Dib chart;
      chart.Create(256, 9, bits, false);
      chart.Fill(77);
      Histogram(source, nullptr, &chart, c.log);
      const auto barHeight = [&](int column) {
        const int at = bits == 8 ? column : 3 * column + 2;
        int n = 0;
        while (n < 9 && chart.Row(n)[at] == 255) ++n;
        for (int y = n; y < 9; ++y) EXPECT_EQ(chart.Row(y)[at], 0) << "column " << column;
        return n;
      };
      EXPECT_EQ(barHeight(10), c.bar10) << "log " << c.log << " bits " << bits;
      EXPECT_EQ(barHeight(20), c.bar20) << "log " << c.log << " bits " << bits;
      EXPECT_EQ(barHeight(30), c.bar30) << "log " << c.log << " bits " << bits;
      EXPECT_EQ(barHeight(0), 0);
      if (bits == 24) {  // yellow bars: blue stays 0
        EXPECT_EQ(chart.Row(0)[3 * 10], 0);
        EXPECT_EQ(chart.Row(0)[3 * 10 + 1], 255);
      }
    }
  }
}

TEST(Histogram, LinearBarsOfLargeCountsDoNotOverflow) {
  Dib source;
  source.Create(4000, 600, 8, false);  // 2.4 million pixels of value 0
  source.Row(0)[0] = 1;
  Dib chart;
  chart.Create(4, 1000, 8, false);
  Histogram(source, nullptr, &chart, false);
  EXPECT_EQ(chart.Row(999)[0], 255);  // full height
  EXPECT_EQ(chart.Row(0)[1], 0);      // 1000 x 1 / 2399999 = 0
}

TEST(Histogram, SingleCountInLogModeAndEmptyImagesDrawNoBars) {
  Dib single;
  single.Create(1, 1, 8, false);
  single.Fill(40);
  Dib chart;
  chart.Create(64, 8, 8, false);
  chart.Fill(77);
  Histogram(single, nullptr, &chart, true);
  for (size_t i = 0; i < chart.PixelBytes(); ++i) ASSERT_EQ(chart.Pixels()[i], 0);

  Dib empty;
  empty.Create(0, 0, 8, false);
  chart.Fill(77);
  for (const bool log : {false, true}) {
    const auto counts = Histogram(empty, nullptr, &chart, log);
    for (const int32_t n : counts) ASSERT_EQ(n, 0);
    for (size_t i = 0; i < chart.PixelBytes(); ++i) ASSERT_EQ(chart.Pixels()[i], 0);
  }
}

}  // namespace
}  // namespace fw
