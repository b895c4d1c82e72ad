// The infrared detector: the shape-change vote and its window, the noise size, the hot-region
// method, the ring's lengths, and the one-shot sound of the mode.
#include "detect/flame/infrared_detector.h"

#include <gtest/gtest.h>

#include <functional>

#include "detect/alarm.h"
#include "detect/flame/flame_modes.h"
#include "tests/detect/scene_feed.h"

namespace fw {
namespace {

constexpr int kW = 40;
constexpr int kH = 30;

// A black frame with a white (hot) rectangle.
Dib HotRectangle(int x0, int y0, int width, int height) {
  Dib frame;
  frame.CreateSigned(kW, kH, 24, false);
  for (int y = y0; y < y0 + height; ++y) {
    uint8_t* p = frame.Row(y) + 3 * x0;
    std::fill(p, p + 3 * width, uint8_t{255});
  }
  return frame;
}

struct Panes8 {
  Dib topRight;
  Dib bottomLeft;
  Dib bottomRight;
  Panes8() {
    topRight.CreateSigned(kW, kH, 8, false);
    bottomLeft.CreateSigned(kW, kH, 8, false);
    bottomRight.CreateSigned(kW, kH, 24, false);
  }
};

uint8_t Step(InfraredDetector& d, const Dib& frame, Panes8& p, const InfraredParams& params) {
  return d.Step(frame, p.topRight, p.bottomLeft, p.bottomRight, params);
}

TEST(Infrared, TheAlarmNeedsTheFireShareOfTheWindow) {
  // Two shapes of about 400 hot pixels in turn: every comparison sees a shape change.
  const Dib square = HotRectangle(5, 5, 20, 20);
  const Dib bar = HotRectangle(2, 8, 35, 12);
  InfraredParams params;  // window 125 frames, threshold 0.8
  InfraredDetector d;
  d.Initialise(square, params);
  Panes8 p;
  bool sawNinetyNine = false;
  bool sawHundred = false;
  for (int t = 0; t < 200; ++t) {
    const uint8_t alarm = Step(d, t % 2 == 0 ? bar : square, p, params);
    ASSERT_EQ(alarm, d.Votes() * 5 >= 4 * d.WindowLength() ? 1 : 0) << t;
    if (d.Votes() == 99) {
      sawNinetyNine = true;
      EXPECT_EQ(alarm, 0);  // 0.792
    }
    if (d.Votes() == 100 && !sawHundred) {
      sawHundred = true;
      EXPECT_EQ(alarm, 1);  // 0.8
    }
  }
  EXPECT_TRUE(sawNinetyNine);
  EXPECT_TRUE(sawHundred);
  EXPECT_GE(d.ShapeChange(), params.shapeThreshold);
  // The bottom-left pane shows the cleaned frame; the top-right pane the cleaned change.
  EXPECT_EQ(p.bottomLeft.Row(15)[15], 255);
  EXPECT_EQ(p.bottomLeft.Row(1)[1], 0);
}

TEST(Infrared, ShapesBelowTheNoiseSizeDoNotChange) {
  // Two hot pictures of 200 pixels each (below 225).
  const Dib tall = HotRectangle(5, 5, 10, 20);
  const Dib wide = HotRectangle(5, 5, 20, 10);
  InfraredParams params;
  InfraredDetector d;
  d.Initialise(tall, params);
  Panes8 p;
  for (int t = 0; t < 10; ++t) {
    Step(d, t % 2 == 0 ? wide : tall, p, params);
    EXPECT_EQ(d.ShapeChange(), 0.0f) << t;
  }
  EXPECT_EQ(d.Votes(), 0);
  // With a smaller noise size the same pictures change shape.
  params.noiseSize = 199;
  Step(d, wide, p, params);
  EXPECT_GT(d.ShapeChange(), 0.0f);
}

TEST(Infrared, HotRegionMethodNeedsTheNoiseSize) {
  const struct {
    int width;
    int height;
    uint8_t alarm;
  } cases[] = {{14, 16, 0}, {15, 15, 1}, {8, 28, 0}, {9, 25, 1}};
  for (const auto& c : cases) {
    InfraredParams params;
    params.method = InfraredParams::kHotRegion;
    const Dib frame = HotRectangle(2, 2, c.width, c.height);
    InfraredDetector d;
    d.Initialise(frame, params);
    Panes8 p;
    // The slot searched holds the cleaned picture the bottom-left pane held: the frame before.
    EXPECT_EQ(Step(d, frame, p, params), 0);
    EXPECT_EQ(Step(d, frame, p, params), c.alarm) << c.width << " x " << c.height;
    EXPECT_EQ(d.RingIndex(), 1);  // this method does not advance the ring
  }
}

TEST(Infrared, RingAndWindowKeepTheLengthsOfSelection) {
  DetectionState state;
  const auto frame = [](Dib& f, int t) { f.CopyFrom(HotRectangle(2 + t % 3, 2, 20, 20), true); };
  test::PaintFirstFrame(state, kW, kH, frame);
  state.flame.infrared.frameInterval = 3;
  state.flame.infrared.alarmWindow = 2 * 25;
  ASSERT_TRUE(test::SelectMode(state, ModeId::Infrared));
  const InfraredDetector& d = *state.flame.infraredDetector;
  EXPECT_EQ(d.RingSize(), 4);
  EXPECT_EQ(d.WindowLength(), 50);
  EXPECT_EQ(d.RingIndex(), 1);
  // The first slot holds the selection frame thresholded at the grey threshold.
  EXPECT_EQ(d.RingImage(0).Row(3)[3], 255);
  EXPECT_EQ(state.panes.bottomLeft().GetPalette()[0].blue, 255);  // zero pixels show blue
  state.flame.infrared.frameInterval = 7;                         // the next selection takes it
  test::RunFrames(state, frame, 5);
  EXPECT_EQ(d.RingSize(), 4);
  EXPECT_EQ(d.RingIndex(), (1 + 5) % 4);
  ASSERT_TRUE(test::SelectMode(state, ModeId::Infrared));  // off
  ASSERT_TRUE(test::SelectMode(state, ModeId::Infrared));
  EXPECT_EQ(state.flame.infraredDetector->RingSize(), 8);
}

int64_t g_now = 0;
int64_t FakeClock() {
  return g_now;
}

TEST(Infrared, ShapeChangeAlarmPlaysOnceEvery3500Milliseconds) {
  for (const int method : {InfraredParams::kShapeChange, InfraredParams::kHotRegion}) {
    SCOPED_TRACE(method);
    RecordingAlarmSound sound;
    DetectionState state;
    state.sound = &sound;
    state.flame.clock = FakeClock;
    const auto frame = [](Dib& f, int t) {
      f.CopyFrom(t % 2 == 0 ? HotRectangle(5, 5, 20, 20) : HotRectangle(2, 8, 35, 12), true);
    };
    test::PaintFirstFrame(state, kW, kH, frame);
    state.flame.infrared.method = method;
    state.flame.infrared.fireProbability = 0.0f;  // every frame is in alarm
    ASSERT_TRUE(test::SelectMode(state, ModeId::Infrared));
    const int64_t times[] = {1000, 2000, 4499, 4500, 4600, 8000};
    std::vector<int> onceAfter;
    test::PaintedFeed feed(frame);
    for (size_t i = 0; i < std::size(times); ++i) {
      g_now = times[i];
      feed.t = static_cast<int>(i) + 1;
      RunPipeline(state, feed);
      onceAfter.push_back(sound.Count(RecordingAlarmSound::Request::PlayOnce));
    }
    if (method == InfraredParams::kShapeChange) {
      // The hot-region pictures need a second frame: from frame 2 on both methods alarm.
      EXPECT_EQ(onceAfter, (std::vector<int>{1, 1, 1, 2, 2, 3}));
      // The single play comes before the loop of the first alarm frame.
      EXPECT_EQ(sound.log[0].request, RecordingAlarmSound::Request::PlayOnce);
    } else {
      EXPECT_EQ(onceAfter, (std::vector<int>(std::size(times), 0)));
    }
    EXPECT_EQ(sound.Count(RecordingAlarmSound::Request::StartLoop), 1);
  }
}

}  // namespace
}  // namespace fw
