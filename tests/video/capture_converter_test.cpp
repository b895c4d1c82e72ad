#include "video/capture_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/colour.h"
#include "video/capture_source.h"

namespace fw {
namespace {

struct Rgb {
  int red, green, blue;
};

// Eight bars across, another colour in the lower half of each, so that a picture turned upside
// down or mirrored gives other values.
constexpr Rgb kUpper[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                           {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {16, 16, 16}};
constexpr Rgb kLower[8] = {{0, 0, 0},     {128, 128, 128}, {200, 60, 20}, {30, 90, 160},
                           {90, 40, 120}, {250, 200, 150}, {60, 60, 60},  {10, 200, 90}};

Rgb BarColour(int x, int y, int width, int height) {
  const int bar = x * 8 / width;
  return y < height / 2 ? kUpper[bar] : kLower[bar];
}

// The bars as a 24-bit image; picture row 0 is memory row height-1 when bottom-up.
Dib PaintBars(int width, int height, bool bottomUp) {
  Dib image;
  image.CreateSigned(width, bottomUp ? height : -height, 24, false);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(bottomUp ? height - 1 - y : y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = BarColour(x, y, width, height);
      row[3 * x] = static_cast<uint8_t>(c.blue);
      row[3 * x + 1] = static_cast<uint8_t>(c.green);
      row[3 * x + 2] = static_cast<uint8_t>(c.red);
    }
  }
  return image;
}

// Full-range BT.601, written from its definition.
int Luma(Rgb c) {
  return static_cast<int>(std::lround(0.299 * c.red + 0.587 * c.green + 0.114 * c.blue));
}
int Cb(Rgb c) {
  return std::clamp(
      static_cast<int>(std::lround(128 - 0.168736 * c.red - 0.331264 * c.green + 0.5 * c.blue)), 0,
      255);
}
int Cr(Rgb c) {
  return std::clamp(
      static_cast<int>(std::lround(128 + 0.5 * c.red - 0.418688 * c.green - 0.081312 * c.blue)), 0,
      255);
}

struct Case {
  int width, height;
  bool bottomUp;
};

// The frame of a known picture, at the capture size and scaled from other sizes, in both
// orientations: every sample away from the bars' edges holds the picture's luma, Cb and Cr.
TEST(CaptureConverterTest, KnownPictureGivesItsFullRangeLumaAndChroma) {
  const Case cases[] = {
      {352, 288, true}, {352, 288, false}, {704, 576, true}, {176, 144, true}, {320, 240, false}};
  CaptureConverter converter;
  std::vector<uint8_t> frame(kCaptureFrameBytes);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.width << " x " << c.height << (c.bottomUp ? " bottom-up" : " top-down"));
    const Dib picture = PaintBars(c.width, c.height, c.bottomUp);
    std::fill(frame.begin(), frame.end(), 7);
    ASSERT_TRUE(converter.FromDib(picture, frame.data()));
    const uint8_t* luma = frame.data();
    const uint8_t* cb = luma + kCaptureWidth * kCaptureHeight;
    const uint8_t* cr = cb + (kCaptureWidth / 2) * (kCaptureHeight / 2);
    const int barWidth = kCaptureWidth / 8;
    // Samples at least 4 pixels from a bar's edge and the halves' border; a scaled picture
    // blurs its edges a little.
    auto inside = [&](int x, int y) {
      const int bx = x % barWidth;
      const int dy = std::abs(y - kCaptureHeight / 2);
      return bx >= 4 && bx < barWidth - 4 && dy >= 4 && y >= 2 && y < kCaptureHeight - 2;
    };
    int checked = 0;
    for (int y = 0; y < kCaptureHeight; ++y) {
      for (int x = 0; x < kCaptureWidth; ++x) {
        if (!inside(x, y)) continue;
        const Rgb colour = BarColour(x, y, kCaptureWidth, kCaptureHeight);
        ASSERT_NEAR(luma[y * kCaptureWidth + x], Luma(colour), 1) << x << "," << y;
        if (x % 2 == 0 && y % 2 == 0 && inside(x + 1, y + 1)) {
          const int i = (y / 2) * (kCaptureWidth / 2) + x / 2;
          ASSERT_NEAR(cb[i], Cb(colour), 1) << x << "," << y;
          ASSERT_NEAR(cr[i], Cr(colour), 1) << x << "," << y;
        }
        ++checked;
      }
    }
    EXPECT_GT(checked, kCaptureWidth * kCaptureHeight / 2);
  }
}

// Grey pictures come back unchanged through the frame pane's 4:2:0 conversion, as the frame
// pane shows them: the frames are full range (a video-range frame would lift black to 16).
TEST(CaptureConverterTest, GreysSurviveTheFramePanesConversion) {
  CaptureConverter converter;
  std::vector<uint8_t> frame(kCaptureFrameBytes);
  for (const int grey : {0, 1, 16, 100, 128, 235, 254, 255}) {
    Dib picture;
    picture.CreateSigned(kCaptureWidth, kCaptureHeight, 24, false);
    picture.Fill(static_cast<uint8_t>(grey));
    ASSERT_TRUE(converter.FromDib(picture, frame.data()));
    Dib pane;
    pane.CreateSigned(kCaptureWidth, kCaptureHeight, 24, false);
    Yuv420ToRgb(frame.data(), pane, true);
    for (int y = 0; y < kCaptureHeight; y += 7) {
      for (int x = 0; x < kCaptureWidth * 3; x += 5) {
        ASSERT_NEAR(pane.Row(y)[x], grey, 1) << "grey " << grey << " at " << x / 3 << "," << y;
      }
    }
  }
}

// Colours come back through the frame pane's 4:2:0 conversion as they went in: the pane reads
// the first chroma plane as Cb and the second as Cr. The weights are 16.16 approximations, so a
// few levels of difference remain; with the chroma planes' weights exchanged red came back as
// (255, 63, 15).
TEST(CaptureConverterTest, ColoursSurviveTheFramePanesConversion) {
  CaptureConverter converter;
  std::vector<uint8_t> frame(kCaptureFrameBytes);
  ASSERT_TRUE(converter.FromDib(PaintBars(kCaptureWidth, kCaptureHeight, true), frame.data()));
  Dib pane;
  pane.CreateSigned(kCaptureWidth, kCaptureHeight, 24, false);
  Yuv420ToRgb(frame.data(), pane, true);
  constexpr int kTolerance = 5;
  for (int bar = 0; bar < 8; ++bar) {
    const int x = bar * kCaptureWidth / 8 + kCaptureWidth / 16;
    for (const int y : {kCaptureHeight / 4, 3 * kCaptureHeight / 4}) {
      const Rgb want = BarColour(x, y, kCaptureWidth, kCaptureHeight);
      const uint8_t* p = pane.Row(kCaptureHeight - 1 - y) + 3 * x;
      EXPECT_NEAR(p[0], want.blue, kTolerance) << "bar " << bar << " row " << y;
      EXPECT_NEAR(p[1], want.green, kTolerance) << "bar " << bar << " row " << y;
      EXPECT_NEAR(p[2], want.red, kTolerance) << "bar " << bar << " row " << y;
    }
  }
}

// What cannot be converted leaves the frame as it was.
TEST(CaptureConverterTest, RefusedInputLeavesTheFrameAlone) {
  CaptureConverter converter;
  std::vector<uint8_t> frame(kCaptureFrameBytes, 9);
  Dib grey;
  grey.CreateGray(64, 48);
  EXPECT_FALSE(converter.FromDib(grey, frame.data()));
  const uint8_t pixel[4] = {1, 2, 3, 4};
  const uint8_t* planes[4] = {pixel, nullptr, nullptr, nullptr};
  const int strides[4] = {4, 0, 0, 0};
  EXPECT_FALSE(converter.FromPlanes(planes, strides, 0, 1, 3, 0, 0, frame.data()));
  EXPECT_FALSE(converter.FromPlanes(planes, strides, 1, 1, 100000, 0, 0, frame.data()));
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 9; }));
}

}  // namespace
}  // namespace fw
