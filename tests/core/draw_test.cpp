#include "core/draw.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fw {
namespace {

using Points = std::set<std::pair<int, int>>;

Dib Canvas(int width, int height) {
  Dib image;
  image.CreateSigned(width, height, 24, false);
  return image;
}

// Every pixel that is not black.
Points Lit(const Dib& image) {
  Points lit;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const uint8_t* p = image.Row(y) + 3 * x;
      if (p[0] | p[1] | p[2]) lit.insert({x, y});
    }
  }
  return lit;
}

bool SamePixels(const Dib& a, const Dib& b) {
  return a.PixelBytes() == b.PixelBytes() &&
         std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels());
}

TEST(Draw, LineStepsWithoutItsEndPoint) {
  struct Case {
    int x0, y0, x1, y1;
    Points expected;
  };
  const Case cases[] = {
      {0, 0, 3, 0, {{0, 0}, {1, 0}, {2, 0}}},         {3, 0, 0, 0, {{3, 0}, {2, 0}, {1, 0}}},
      {0, 0, 2, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},  // steep: the minor axis steps late
      {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},         {2, 2, 2, 2, {}},  // zero length
      {-2, 1, 3, 1, {{0, 1}, {1, 1}, {2, 1}}},                           // clipped at the left edge
      {5, 5, 9, 9, {{5, 5}, {6, 6}, {7, 7}}},  // runs off the bottom-right corner
  };
  for (const Case& c : cases) {
    Dib image = Canvas(8, 8);
    DrawLine(image, c.x0, c.y0, c.x1, c.y1, 255, 0, 0);
    EXPECT_EQ(Lit(image), c.expected) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
  }
  Dib image = Canvas(4, 1);
  DrawLine(image, 0, 0, 2, 0, 10, 20, 30);
  EXPECT_EQ(image.Row(0)[0], 30);  // stored blue, green, red
  EXPECT_EQ(image.Row(0)[1], 20);
  EXPECT_EQ(image.Row(0)[2], 10);
  Dib grey;
  grey.Create(4, 4, 8, false);
  DrawLine(grey, 0, 0, 3, 3, 255, 255, 255);
  EXPECT_EQ(grey.Row(1)[1], 0);  // lines are drawn into colour images only
}

TEST(Draw, RectanglesInEitherCornerOrder) {
  Points border;
  for (int x = 1; x <= 4; ++x) border.insert({x, 2}), border.insert({x, 5});
  for (int y = 2; y <= 5; ++y) border.insert({1, y}), border.insert({4, y});
  for (const IntRect r : {IntRect{1, 2, 4, 5}, IntRect{4, 5, 1, 2}, IntRect{4, 2, 1, 5}}) {
    Dib image = Canvas(8, 8);
    DrawRect(image, r, 0, 255, 0);
    EXPECT_EQ(Lit(image), border);
  }

  Points filled;
  for (int y = 2; y <= 5; ++y) {
    for (int x = 1; x <= 4; ++x) filled.insert({x, y});
  }
  for (const IntRect r : {IntRect{1, 2, 4, 5}, IntRect{4, 5, 1, 2}, IntRect{1, 5, 4, 2}}) {
    Dib image = Canvas(8, 8);
    FillRect(image, r.x0, r.y0, r.x1, r.y1, 0, 0, 255);
    EXPECT_EQ(Lit(image), filled);
  }
  Dib image = Canvas(4, 4);
  FillRect(image, -3, 2, 1, 9, 1, 1, 1);  // clipped
  EXPECT_EQ(Lit(image), (Points{{0, 2}, {1, 2}, {0, 3}, {1, 3}}));
  Dib outside = Canvas(4, 4);
  FillRect(outside, -5, -5, -1, -1, 1, 1, 1);  // wholly outside: nothing, not the corner pixel
  FillRect(outside, 4, 0, 9, 3, 1, 1, 1);
  EXPECT_TRUE(Lit(outside).empty());
  Dib grey;
  grey.Create(4, 4, 8, false);
  FillRect(grey, 1, 1, 2, 2, 77, 5, 5);  // the red argument is the grey byte
  EXPECT_EQ(grey.Row(1)[1], 77);
  EXPECT_EQ(grey.Row(2)[2], 77);
  EXPECT_EQ(grey.Row(0)[0], 0);
}

TEST(Draw, ArrowHeadStrokes) {
  // Rightward arrow, head 5 at 45 degrees: strokes from (10 - 3.54, 10 +- 3.54) truncated.
  Dib image = Canvas(16, 16);
  DrawArrow(image, 0, 10, 10, 10, 255, 255, 255, 5, 45.0);
  Dib expected = Canvas(16, 16);
  DrawLine(expected, 0, 10, 10, 10, 255, 255, 255);
  DrawLine(expected, 6, 13, 10, 10, 255, 255, 255);
  DrawLine(expected, 6, 6, 10, 10, 255, 255, 255);
  EXPECT_TRUE(SamePixels(image, expected));

  // Straight up (dx = 0, dy < 0): theta = 3 pi / 2, strokes from (10 -+ 3.54, 2 + 3.54).
  Dib up = Canvas(16, 16);
  DrawArrow(up, 10, 10, 10, 2, 255, 255, 255, 5, 45.0);
  Dib upExpected = Canvas(16, 16);
  DrawLine(upExpected, 10, 10, 10, 2, 255, 255, 255);
  DrawLine(upExpected, 13, 5, 10, 2, 255, 255, 255);
  DrawLine(upExpected, 6, 5, 10, 2, 255, 255, 255);
  EXPECT_TRUE(SamePixels(up, upExpected));
}

TEST(Draw, SegmentGlyphs) {
  // Cell of size 4 from (1, 1): left 1, centre 3, right 5; bottom 1, middle 5, top 9.
  auto hline = [](Points& p, int y, int from, int to) {
    for (int x = from; x <= to; ++x) p.insert({x, y});
  };
  auto vline = [](Points& p, int x, int from, int to) {
    for (int y = from; y <= to; ++y) p.insert({x, y});
  };
  Points one;
  vline(one, 3, 1, 8);
  Points seven;  // top, then the right side down to the last row above the bottom
  hline(seven, 9, 1, 5);
  vline(seven, 5, 2, 9);
  Points zero;  // closed frame
  hline(zero, 1, 1, 5);
  hline(zero, 9, 1, 5);
  vline(zero, 1, 1, 9);
  vline(zero, 5, 1, 9);
  Points eight = zero;
  hline(eight, 5, 1, 5);
  Points minus;  // the middle line stops before the right side
  hline(minus, 5, 1, 4);
  Points plus = minus;
  vline(plus, 3, 3, 6);
  const Points dot = {{3, 1}, {4, 1}, {3, 2}, {4, 2}};
  struct Case {
    char c;
    Points expected;
  };
  const Case cases[] = {{'1', one},  {'7', seven}, {'0', zero}, {'8', eight}, {'-', minus},
                        {'+', plus}, {'.', dot},   {'a', {}},   {' ', {}}};
  for (const Case& c : cases) {
    Dib image = Canvas(12, 12);
    DrawGlyph(image, c.c, 1, 1, 255, 255, 255, 4);
    EXPECT_EQ(Lit(image), c.expected) << c.c;
  }
  // Every digit and 'e' draws something.
  for (char c : std::string("0123456789e")) {
    Dib image = Canvas(12, 12);
    DrawGlyph(image, c, 1, 1, 255, 255, 255, 4);
    EXPECT_FALSE(Lit(image).empty()) << c;
  }
}

TEST(Draw, NumbersAsGlyphStrings) {
  // size 8: characters truncate(1.3 x 8) = 10 pixels apart; size 5: 6 apart.
  struct Case {
    std::string glyphs;
    int size;
    bool isFloat;
    double value;
  };
  const Case cases[] = {
      {"-25", 8, false, -25},       {"+7", 8, false, 7},
      {"+0", 8, false, 0},          {"-2147483648", 5, false, INT_MIN},
      {"-1.500000", 5, true, -1.5}, {"12.250000", 8, true, 12.25},
  };
  for (const Case& c : cases) {
    Dib image = Canvas(200, 24);
    if (c.isFloat) {
      DrawFloat(image, c.value, 3, 2, 255, 255, 0, c.size);
    } else {
      DrawInteger(image, static_cast<int>(c.value), 3, 2, 255, 255, 0, c.size);
    }
    Dib expected = Canvas(200, 24);
    const int advance = c.size == 8 ? 10 : 6;
    for (size_t i = 0; i < c.glyphs.size(); ++i) {
      DrawGlyph(expected, c.glyphs[i], 3 + static_cast<int>(i) * advance, 2, 255, 255, 0, c.size);
    }
    EXPECT_TRUE(SamePixels(image, expected)) << c.glyphs;
  }
}

}  // namespace
}  // namespace fw
