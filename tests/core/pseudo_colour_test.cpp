#include "core/pseudo_colour.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace fw {
namespace {

struct Expected {
  int scheme;
  int index;
  int red, green, blue;
};

TEST(PseudoColour, TableEntries) {
  const Expected cases[] = {
      {1, 0, 0, 0, 0},
      {1, 200, 200, 200, 200},
      {2, 0, 255, 255, 255},
      {2, 255, 0, 0, 0},
      {3, 0, 0, 0, 0},
      {3, 255, 255, 0, 0},
      {4, 9, 0, 9, 0},
      {5, 9, 0, 0, 9},
      {6, 9, 9, 9, 0},
      {7, 9, 0, 9, 9},
      {8, 9, 9, 0, 9},
      // rainbow from black
      {9, 0, 0, 0, 0},
      {9, 1, 0, 0, 7},
      {9, 32, 0, 0, 255},
      {9, 33, 0, 8, 255},
      {9, 64, 0, 255, 255},
      {9, 96, 0, 255, 0},
      {9, 100, 32, 255, 0},
      {9, 128, 255, 255, 0},
      {9, 130, 255, 247, 0},
      {9, 192, 255, 0, 0},
      {9, 255, 255, 252, 252},
      // rainbow from blue
      {10, 0, 0, 0, 255},
      {10, 1, 0, 3, 255},
      {10, 64, 0, 255, 255},
      {10, 96, 0, 255, 0},
      // hot metal
      {11, 0, 0, 0, 0},
      {11, 64, 0, 0, 255},
      {11, 65, 4, 0, 255},
      {11, 96, 128, 0, 247},
      {11, 127, 252, 0, 0},
      {11, 128, 255, 0, 0},
      {11, 191, 255, 252, 0},
      {11, 255, 255, 255, 252},
      // smooth hot metal: given entries and rounded interpolation between them
      {12, 0, 0, 0, 0},
      {12, 1, 0, 0, 30},
      {12, 4, 0, 0, 43},
      {12, 8, 0, 0, 60},
      {12, 20, 12, 0, 111},
      {12, 104, 206, 8, 66},
      {12, 216, 255, 240, 13},
      {12, 220, 255, 248, 39},
      {12, 252, 255, 255, 237},
      {12, 255, 255, 255, 255},
  };
  for (const Expected& e : cases) {
    const Rgb8 got = PseudoColourTableFor(e.scheme)[e.index];
    EXPECT_EQ(got.red, e.red) << e.scheme << "/" << e.index;
    EXPECT_EQ(got.green, e.green) << e.scheme << "/" << e.index;
    EXPECT_EQ(got.blue, e.blue) << e.scheme << "/" << e.index;
  }
}

TEST(PseudoColour, ApplyReplacesThePaletteOfGreyImagesOnly) {
  Dib grey;
  grey.Create(4, 4, 8, false);
  ApplyPseudoColour(grey, 2);  // inverse grey: black pixels show white
  EXPECT_EQ(grey.GetPalette()[0].blue, 255);
  EXPECT_EQ(grey.GetPalette()[0].green, 255);
  EXPECT_EQ(grey.GetPalette()[0].red, 255);
  ApplyPseudoColour(grey, 3);
  const RgbQuad top = grey.GetPalette()[255];
  EXPECT_EQ(top.red, 255);
  EXPECT_EQ(top.green, 0);
  EXPECT_EQ(top.blue, 0);
  EXPECT_EQ(top.reserved, 0);
  EXPECT_EQ(grey.GetPalette()[0].red, 0);

  const auto before = grey.GetPalette();
  for (int scheme : {0, 13, -1}) {
    ApplyPseudoColour(grey, scheme);
    EXPECT_EQ(grey.GetPalette()[77].red, before[77].red);
    EXPECT_EQ(grey.GetPalette()[77].green, before[77].green);
  }
  Dib colour;
  colour.Create(2, 2, 24, false);
  ApplyPseudoColour(colour, 3);
  EXPECT_EQ(colour.GetPalette()[255].red, 0);
}

TEST(PseudoColour, GreenPaletteFromStartIndex) {
  Dib grey;
  grey.Create(2, 2, 8, false);
  SetGreenPalette(grey, 100);
  EXPECT_EQ(grey.GetPalette()[99].red, 99);
  EXPECT_EQ(grey.GetPalette()[99].blue, 99);
  EXPECT_EQ(grey.GetPalette()[100].red, 0);
  EXPECT_EQ(grey.GetPalette()[100].green, 100);
  EXPECT_EQ(grey.GetPalette()[100].blue, 0);
  SetGreenPalette(grey, -5);  // a negative start covers the whole palette, nothing before it
  EXPECT_EQ(grey.GetPalette()[0].green, 0);
  EXPECT_EQ(grey.GetPalette()[1].red, 0);
  EXPECT_EQ(grey.GetPalette()[1].green, 1);
}

TEST(PseudoColour, Names) {
  EXPECT_EQ(PseudoColourName(1), "  1   常规灰度编码");
  EXPECT_EQ(PseudoColourName(kDefaultPseudoColourScheme), "11   热金属编码 1");
  EXPECT_EQ(PseudoColourName(12), "12   热金属编码 2");
  EXPECT_TRUE(PseudoColourName(13).empty());
}

}  // namespace
}  // namespace fw
