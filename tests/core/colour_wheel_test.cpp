#include "core/colour_wheel.h"

#include <gtest/gtest.h>

#include <array>

namespace fw {
namespace {

using Bgr = std::array<int, 3>;

Bgr At(const Dib& image, int x, int y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

Bgr AsBgr(Rgb8 c) {
  return {c.blue, c.green, c.red};
}

// Client 300 x 110: picture 173 x 108, wheel radius 50 around (54, 54), value bar x 114..123
// and y 4..103, swatch box x 139..169, y 39..69.
class Wheel : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wheel.Layout(300, 110)); }
  ColourWheel wheel;
};

TEST_F(Wheel, LayoutAndPicture) {
  const Dib& p = wheel.Picture();
  EXPECT_EQ(p.Width(), 173);
  EXPECT_EQ(p.Height(), 108);
  EXPECT_EQ(p.HeaderHeight(), -108);  // top-down
  EXPECT_EQ(wheel.PictureOrigin().x, 63);
  EXPECT_EQ(wheel.PictureOrigin().y, 1);
  EXPECT_EQ(wheel.Radius(), 50);
  EXPECT_EQ(At(p, 0, 0), (Bgr{216, 233, 236}));    // background
  EXPECT_EQ(At(p, 5, 5), (Bgr{216, 233, 236}));    // square corner, outside the circle
  EXPECT_EQ(At(p, 54, 54), (Bgr{255, 255, 255}));  // centre: saturation 0
  EXPECT_EQ(At(p, 104, 54), AsBgr(HsvToRgb(0.0f, 1.0f, 1.0f)));  // right edge: red
  EXPECT_EQ(At(p, 54, 4), AsBgr(HsvToRgb(0.25f, 1.0f, 1.0f)));   // top: a quarter turn
  EXPECT_EQ(At(p, 4, 54), AsBgr(HsvToRgb(0.5f, 1.0f, 1.0f)));
  EXPECT_EQ(At(p, 54, 104), AsBgr(HsvToRgb(0.75f, 1.0f, 1.0f)));
  // Initial colour hue 0, saturation 1, value 1: the bar runs from red down to near black.
  EXPECT_EQ(At(p, 118, 4), AsBgr(HsvToRgb(0.0f, 1.0f, 1.0f)));
  EXPECT_EQ(At(p, 118, 103), AsBgr(HsvToRgb(0.0f, 1.0f, 0.01f)));
  EXPECT_EQ(At(p, 118, 104), (Bgr{216, 233, 236}));

  EXPECT_FALSE(ColourWheel().Layout(300, 10));
  EXPECT_FALSE(ColourWheel().Layout(10, 300));
  ColourWheel smallest;  // radius 0: a single white pixel, no division by zero
  ASSERT_TRUE(smallest.Layout(11, 11));
  EXPECT_EQ(At(smallest.Picture(), 4, 4), (Bgr{255, 255, 255}));
}

TEST_F(Wheel, SwatchFollowsTheColour) {
  wheel.SetHsv(0.5f, 0.5f, 0.8f);
  const Dib& p = wheel.Picture();
  EXPECT_EQ(At(p, 150, 50), AsBgr(HsvToRgb(0.5f, 0.5f, 0.8f)));
  EXPECT_EQ(At(p, 145, 39), (Bgr{255, 255, 255}));  // top edge
  EXPECT_EQ(At(p, 139, 50), (Bgr{255, 255, 255}));  // left edge
  EXPECT_EQ(At(p, 145, 69), (Bgr{0, 0, 0}));        // bottom edge
  EXPECT_EQ(At(p, 169, 50), (Bgr{0, 0, 0}));        // right edge
  EXPECT_EQ(At(p, 118, 4), AsBgr(HsvToRgb(0.5f, 0.5f, 1.0f)));
}

TEST_F(Wheel, PointerMapsToHueSaturationAndValue) {
  struct Case {
    int x, y;
    float hue, saturation;
  };
  const Case cases[] = {
      {104, 54, 0.0f, 1.0f},   // right edge
      {54, 4, 0.25f, 1.0f},    // top
      {29, 54, 0.5f, 0.5f},    // half way to the left
      {54, 200, 0.75f, 1.0f},  // far below: saturation capped at 1
      {54, 54, 0.0f, 0.0f},    // centre
  };
  for (const Case& c : cases) {
    const Hsv at = wheel.HueSaturationAt(c.x, c.y);
    EXPECT_NEAR(at.hue, c.hue, 1e-6) << c.x << "," << c.y;
    EXPECT_NEAR(at.saturation, c.saturation, 1e-6) << c.x << "," << c.y;
  }
  EXPECT_EQ(wheel.ValueAt(-20), 1.0f);  // above the bar
  EXPECT_EQ(wheel.ValueAt(500), 0.0f);  // below it
  EXPECT_EQ(wheel.ValueAt(103), 0.0f);  // last bar row
  EXPECT_FLOAT_EQ(wheel.ValueAt(53), 0.5f);
}

TEST_F(Wheel, DraggingTheMarkers) {
  // Hue 0, saturation 1: the square marker sits on the right edge of the wheel.
  EXPECT_EQ(wheel.HueSaturationMarker().x, 104);
  EXPECT_EQ(wheel.HueSaturationMarker().y, 54);
  EXPECT_EQ(wheel.BeginDrag(60, 54), ColourWheel::DragTarget::None);
  EXPECT_FALSE(wheel.DragTo(54, 4));

  EXPECT_EQ(wheel.BeginDrag(102, 56), ColourWheel::DragTarget::HueSaturation);
  EXPECT_TRUE(wheel.DragTo(54, 4));
  EXPECT_NEAR(wheel.Current().hue, 0.25f, 1e-6);
  EXPECT_NEAR(wheel.Current().saturation, 1.0f, 1e-6);
  EXPECT_EQ(At(wheel.Picture(), 150, 50), AsBgr(HsvToRgb(0.25f, 1.0f, 1.0f)));
  wheel.EndDrag();
  EXPECT_FALSE(wheel.DragTo(104, 54));

  // Value 1: the arrow's tip is on the bar's left edge just above the bar.
  const ColourWheel::Point tip = wheel.ValueArrowTip();
  EXPECT_EQ(tip.x, 114);
  EXPECT_EQ(tip.y, 3);
  EXPECT_EQ(wheel.BeginDrag(tip.x - 3, tip.y + 1), ColourWheel::DragTarget::Value);
  EXPECT_TRUE(wheel.DragTo(0, 500));
  EXPECT_EQ(wheel.Current().value, 0.0f);
  EXPECT_TRUE(wheel.DragTo(0, -50));
  EXPECT_EQ(wheel.Current().value, 1.0f);
  EXPECT_NEAR(wheel.Current().hue, 0.25f, 1e-6);  // the value drag leaves hue alone

  Dib marked;
  marked.CopyFrom(wheel.Picture(), false);
  wheel.DrawMarkers(marked);
  const ColourWheel::Point m = wheel.HueSaturationMarker();
  EXPECT_EQ(At(marked, m.x - 3, m.y - 3), (Bgr{0, 0, 0}));
  EXPECT_EQ(At(marked, tip.x - 6, tip.y), (Bgr{0, 0, 0}));
}

}  // namespace
}  // namespace fw
