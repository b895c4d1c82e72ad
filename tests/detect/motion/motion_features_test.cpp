// The motion features: the cleaned motion mask, the moment, the moment plot, the 255-frame
// accumulation with its energy and alarm, and the three modes on synthetic scenes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "detect/motion/moment_plot.h"
#include "detect/motion/motion_accumulator.h"
#include "detect/motion/motion_feature_model.h"
#include "tests/detect/scene_feed.h"

namespace fw {
namespace {

Dib Picture(int width, int height, int bits, uint8_t value = 0) {
  Dib image;
  image.CreateSigned(width, height, bits, false);
  image.Fill(value);
  return image;
}

void PutGrey(Dib& image, int x, int y, uint8_t v) {
  uint8_t* p = image.Row(y) + 3 * x;
  p[0] = p[1] = p[2] = v;
}

// A model on its own frame and display pictures.
struct ModelFixture {
  Dib frame = Picture(16, 16, 24);
  Dib display = Picture(16, 16, 24);
  MotionFeatureModel model{frame, display};
  Dib difference = Picture(16, 16, 24);
  uint8_t MaskAt(int x, int y) { return model.Mask()[static_cast<size_t>(y) * 16 + x]; }
};

TEST(MotionFeatures, TheMaskKeepsAreasAndDropsSpecks) {
  {
    // An isolated changed pixel disappears in the median.
    ModelFixture f;
    PutGrey(f.difference, 8, 8, 200);
    EXPECT_EQ(f.model.CountMotionFeatures(f.difference, 20), 0);
  }
  {
    // A changed 3 x 3 square of grey difference 40: the median keeps its centre and the middles
    // of its sides, and the smoothing gives 30 at the centre and 20 at the side middles.
    ModelFixture f;
    for (int y = 7; y <= 9; ++y)
      for (int x = 7; x <= 9; ++x) PutGrey(f.difference, x, y, 40);
    EXPECT_EQ(f.model.CountMotionFeatures(f.difference, 20), 5);
    for (const auto [x, y] : {std::pair{8, 8}, {7, 8}, {9, 8}, {8, 7}, {8, 9}}) {
      EXPECT_EQ(f.MaskAt(x, y), 1) << x << "," << y;
    }
    EXPECT_EQ(f.MaskAt(7, 7), 0);
    EXPECT_EQ(f.model.CountMotionFeatures(f.difference, 21), 1);
    // Threshold 0: the mask holds the smoothed values and the count is every pixel.
    EXPECT_EQ(f.model.CountMotionFeatures(f.difference, 0), 16 * 16);
    EXPECT_EQ(f.MaskAt(8, 8), 30);
    EXPECT_EQ(f.MaskAt(7, 8), 20);
  }
  {
    // Changes on the border rows and columns never reach the mask.
    ModelFixture f;
    for (int i = 0; i < 16; ++i) {
      PutGrey(f.difference, i, 0, 255);
      PutGrey(f.difference, 0, i, 255);
    }
    EXPECT_EQ(f.model.CountMotionFeatures(f.difference, 1), 0);
  }
}

TEST(MotionFeatures, MomentOfKnownPatterns) {
  ModelFixture f;
  std::fill(f.model.Mask().begin(), f.model.Mask().end(), 0);
  PutGrey(f.difference, 5, 5, 100);
  PutGrey(f.difference, 9, 5, 100);
  EXPECT_EQ(f.model.ComputeMoment(f.difference), 0.0f);  // nothing masked
  f.model.Mask()[5 * 16 + 5] = 1;
  // A single masked pixel is its own centroid.
  EXPECT_EQ(f.model.ComputeMoment(f.difference), 0.0f);
  // Two pixels of intensity 100, 2 pixels either side of their centroid: 2 x 100^2 x 2 / 256.
  f.model.Mask()[5 * 16 + 9] = 1;
  EXPECT_NEAR(f.model.ComputeMoment(f.difference), 156.25f, 0.01f);
  // A third pixel of intensity 0 moves nothing.
  f.model.Mask()[12 * 16 + 2] = 1;
  EXPECT_NEAR(f.model.ComputeMoment(f.difference), 156.25f, 0.01f);
}

TEST(MotionFeatures, MomentPlotScrollsTheChanges) {
  MomentPlot plot;
  plot.Reset(20);
  Dib colour = Picture(20, 11, 24, 77);
  const auto isRed = [&](int x, int y) {
    const uint8_t* p = colour.Row(y) + 3 * x;
    return p[0] == 0 && p[1] == 0 && p[2] == 255;
  };
  plot.Plot(colour, 300.0f);  // change +300: 3 rows above the middle row 5
  EXPECT_TRUE(isRed(19, 8));
  EXPECT_TRUE(isRed(0, 5));        // the ring's older entries are changes of 0
  EXPECT_EQ(colour.Row(0)[0], 0);  // the rest is cleared
  plot.Plot(colour, 100.0f);       // change -200
  EXPECT_TRUE(isRed(19, 3));
  EXPECT_TRUE(isRed(18, 8));
  EXPECT_EQ(plot.LastValue(), 100.0f);
  plot.Plot(colour, 1e30f);  // far outside: clamped to the top row
  EXPECT_TRUE(isRed(19, 10));
  plot.Plot(colour, -1e30f);
  EXPECT_TRUE(isRed(19, 0));
  // Columns left of the ring's length show the middle row's blue line.
  plot.Reset(3);
  plot.Plot(colour, 0.0f);
  EXPECT_EQ(colour.Row(5)[3 * 10], 255);
  EXPECT_TRUE(isRed(17, 5));

  Dib grey = Picture(6, 5, 8, 9);
  plot.Reset(2);
  plot.Plot(grey, 150.0f);
  EXPECT_EQ(grey.Row(3)[5], 255);  // point at middle 2 + 1
  EXPECT_EQ(grey.Row(2)[4], 255);  // the older entry, a change of 0
  EXPECT_EQ(grey.Row(2)[0], 128);  // line
  EXPECT_EQ(grey.Row(0)[0], 0);
}

TEST(MotionAccumulation, CountsTheLast255MasksAndTheirEnergy) {
  MotionAccumulator accumulator;
  accumulator.Initialise(4, 4);
  Dib a = Picture(4, 4, 8);
  std::vector<uint8_t> ones(16, 1);
  std::vector<uint8_t> zeros(16, 0);
  for (int k = 1; k <= 300; ++k) {
    accumulator.Accumulate(k % 2 == 0 ? std::vector<uint8_t>(16, 7) : ones, a);  // any non-zero
    const int expected = std::min(k, 255);
    ASSERT_EQ(a.Row(2)[1], expected) << k;
    // The first step has no energy; then the mean of the 16 non-zero counts.
    EXPECT_EQ(accumulator.Energy(), k == 1 ? 0.0f : static_cast<float>(expected)) << k;
  }
  // Masks of 255 frames ago leave: ten empty frames take ten counts off.
  for (int k = 0; k < 10; ++k) accumulator.Accumulate(zeros, a);
  EXPECT_EQ(a.Row(0)[0], 245);
  // Fewer than 16 non-zero counts give no energy.
  accumulator.Initialise(4, 4);
  a.Clear();
  std::vector<uint8_t> fifteen(16, 1);
  fifteen[3] = 0;
  accumulator.Accumulate(fifteen, a);
  accumulator.Accumulate(fifteen, a);
  EXPECT_EQ(accumulator.Energy(), 0.0f);
  // A picture of another size is left alone.
  Dib other = Picture(5, 4, 8);
  accumulator.Accumulate(ones, other);
  EXPECT_EQ(other.Row(0)[0], 0);
}

TEST(MotionAccumulation, TheAlarmNeedsABrightAreaFor160Frames) {
  const int w = 20;
  const int h = 10;
  std::vector<uint8_t> work(w * h);
  // A bright area of `pixels` pixels in a row of 10 and the rest below it.
  const auto area = [&](int pixels, uint8_t level) {
    Dib a = Picture(w, h, 8);
    for (int i = 0; i < pixels; ++i) a.Row(2 + i / 10)[3 + i % 10] = level;
    return a;
  };
  const struct {
    int pixels;
    uint8_t level;
    bool counts;
  } cases[] = {{24, 255, false}, {25, 76, true}, {25, 75, false}, {40, 200, true}};
  for (const auto& c : cases) {
    MotionAccumulator accumulator;
    accumulator.Initialise(w, h);
    accumulator.Alarm(area(c.pixels, c.level), work);
    EXPECT_EQ(accumulator.Persistence(), c.counts ? 1 : 0) << c.pixels << " " << int(c.level);
  }

  MotionAccumulator accumulator;
  accumulator.Initialise(w, h);
  const Dib bright = area(25, 76);
  const Dib dark = area(0, 0);
  for (int k = 1; k <= 159; ++k) ASSERT_EQ(accumulator.Alarm(bright, work), 0) << k;
  EXPECT_EQ(accumulator.Alarm(bright, work), 1);  // the 160th
  for (int k = 0; k < 100; ++k) accumulator.Alarm(bright, work);
  EXPECT_EQ(accumulator.Persistence(), 200);
  for (int k = 1; k <= 40; ++k) ASSERT_EQ(accumulator.Alarm(dark, work), 1) << k;
  EXPECT_EQ(accumulator.Alarm(dark, work), 0);  // 41 frames without the area
  for (int k = 0; k < 300; ++k) accumulator.Alarm(dark, work);
  EXPECT_EQ(accumulator.Persistence(), 0);
}

// A 16 x 16 patch that switches between black and grey 200 every frame, on black.
void BlinkingPatch(Dib& frame, int t) {
  frame.Clear();
  if (t % 2 == 1) {
    for (int y = 16; y < 32; ++y)
      for (int x = 16; x < 32; ++x) PutGrey(frame, x, y, 200);
  }
}

TEST(MotionModes, AccumulationAlarmsAfterTheAreaStaysBright) {
  DetectionState state;
  test::PaintFirstFrame(state, 48, 48, BlinkingPatch);
  ASSERT_TRUE(test::SelectMode(state, ModeId::DifferenceAccumulation));
  const Dib& display = state.panes.display;
  ASSERT_TRUE(display.SameFormat(48, 48, 8));
  std::vector<float> energy;
  const test::SceneRun run =
      test::RunFrames(state, BlinkingPatch, 300, [&](const DetectionState& s, int t) {
        energy.push_back(s.motion.energy);
        // The patch's centre counts every frame.
        EXPECT_EQ(display.Row(24)[24], std::min(t, 255));
        EXPECT_EQ(display.Row(2)[2], 0);
      });
  // The centre reaches 76 on frame 76; the persistence counter then passes 159 on frame 235.
  EXPECT_EQ(run.FirstAlarm(), 235);
  EXPECT_EQ(run.Intervals(), 1);
  EXPECT_EQ(energy[0], 0.0f);
  EXPECT_EQ(energy[99], 100.0f);  // every counted pixel counted every frame
  EXPECT_EQ(energy[299], 255.0f);
  // The bottom-left pane shows the mask over the frame; the frame pane held the previous frame.
  EXPECT_EQ(state.motion.featureCount > 16, true);
}

TEST(MotionModes, MomentPlotFollowsTheMaskedDifference) {
  DetectionState state;
  test::PaintFirstFrame(state, 48, 48, BlinkingPatch);
  state.threshold = 256 + 20;  // the low byte, 20
  ASSERT_TRUE(test::SelectMode(state, ModeId::GaussGrad));
  std::vector<float> moments;
  test::RunFrames(state, BlinkingPatch, 4, [&](const DetectionState& s, int) {
    moments.push_back(s.motion.plot.LastValue());
  });
  // The same difference every frame: a 16 x 16 patch of difference 200 (intensity 200 within the
  // float rounding); the mask, symmetric about the patch's centre, reaches a little beyond it
  // where the difference is 0.
  const auto* model = static_cast<const MotionFeatureModel*>(state.background.model.get());
  int masked = 0;
  double reference = 0.0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      if (model->Mask()[y * 48 + x] == 0) continue;
      ++masked;
      const bool patch = x >= 16 && x < 32 && y >= 16 && y < 32;
      if (patch) reference += 200.0 * 200.0 * std::hypot(x - 23.5, y - 23.5);
    }
  EXPECT_GT(masked, 16 * 16);
  for (const float m : moments) EXPECT_NEAR(m, reference / (48 * 48), reference * 1e-5);
  EXPECT_EQ(state.motion.plot.Change(0), 0.0f);
  EXPECT_EQ(state.motion.plot.Change(3), moments[0]);
}

TEST(MotionModes, HighOrderMomentDrawsTheRegionsAtSelection) {
  DetectionState state;
  // The previous-frame image holds a black frame; the selection frame has the patch.
  const auto patch = [](Dib& frame, int) { BlinkingPatch(frame, 1); };
  test::PaintFirstFrame(state, 48, 48, patch);
  state.background.previousFrame.CreateSigned(48, 48, 24, false);
  ASSERT_TRUE(test::SelectMode(state, ModeId::HighOrderMoment));
  const Dib& br = state.panes.bottomRight();
  ASSERT_TRUE(br.SameFormat(48, 48, 24));
  // Inside the largest region: blue; its traced contour is red or its marks green; outside the
  // frame shows through.
  const uint8_t* inside = br.Row(24) + 3 * 24;
  EXPECT_EQ(inside[0], 255);
  EXPECT_EQ(inside[2], 0);
  const uint8_t* outside = br.Row(2) + 3 * 2;
  EXPECT_EQ(outside[0] + outside[1] + outside[2], 0);
  EXPECT_TRUE(state.panes.display.SameFormat(320, 240, 24));
}

}  // namespace
}  // namespace fw
