// The wavelet view: the point's history and block near the picture's borders, what it leaves
// alone, the energy plot, and that it runs beside a mode without touching the mode's detector.
#include "detect/wavelet_view.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/ui_sink.h"
#include "detect/smoke/smoke_modes.h"
#include "tests/detect/scene_feed.h"

namespace fw {
namespace {

constexpr int kW = 40;
constexpr int kH = 30;

// Frame t: a texture whose red channel changes with t.
void Texture(Dib& frame, int t) {
  for (int y = 0; y < frame.Height(); ++y) {
    uint8_t* p = frame.Row(y);
    for (int x = 0; x < frame.Width(); ++x) {
      p[3 * x] = static_cast<uint8_t>(60 + (x * 7 + y * 3) % 40);
      p[3 * x + 1] = static_cast<uint8_t>(70 + (x * 5 + y * 11) % 30);
      p[3 * x + 2] = static_cast<uint8_t>(100 + (x + y + 13 * t) % 100);
    }
  }
}

// A state on frame 0 with the view on at a point.
void ViewOn(DetectionState& state, int x, int y, const test::Painter& paint = Texture) {
  test::PaintFirstFrame(state, kW, kH, paint);
  ToggleWaveletView(state);
  SetWaveletPoint(state, x, y);
}

bool IsPastedGreen(const Dib& image, int x, int y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return p[0] == 0 && p[2] == 0;
}

TEST(WaveletView, BlockAtThePicturesBordersStaysInside) {
  const struct {
    int x, y;
    int x0, y0;  // block origin
  } cases[] = {{0, 0, 0, 0},
               {3, 2, 0, 0},
               {20, 15, 16, 11},
               {kW - 1, kH - 1, kW - 9, kH - 9},
               {kW - 5, kH - 5, kW - 9, kH - 9},
               {kW - 6, 4, kW - 10, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    DetectionState state;
    ViewOn(state, c.x, c.y);
    test::RunFrames(state, Texture, 3);
    const Dib& bl = state.panes.bottomLeft();
    ASSERT_TRUE(bl.SameFormat(kW, kH, 24));
    // The transform is pasted on the 8 x 8 block; around it the frame shows.
    for (int y = c.y0; y < c.y0 + 8; ++y)
      for (int x = c.x0; x < c.x0 + 8; ++x) ASSERT_TRUE(IsPastedGreen(bl, x, y)) << x << "," << y;
    if (c.x0 + 8 < kW) EXPECT_FALSE(IsPastedGreen(bl, c.x0 + 8, c.y0));
    if (c.x0 > 0) EXPECT_FALSE(IsPastedGreen(bl, c.x0 - 1, c.y0));
  }
  // Points outside the picture are moved onto its border.
  DetectionState state;
  ViewOn(state, -50, 1000);
  EXPECT_EQ(state.waveletView.x, 0);
  EXPECT_EQ(state.waveletView.y, kH - 1);
}

TEST(WaveletView, PointSignalIsTheRedHistory) {
  DetectionState state;
  ViewOn(state, 7, 5);
  std::vector<std::array<uint8_t, 64>> histories;
  test::RunFrames(state, Texture, 70, [&](const DetectionState& s, int) {
    histories.push_back(s.waveletView.view->History());
  });
  // At frame t the history ends with frame t - 1 (the frame itself is stored afterwards) and
  // starts with black until 64 frames are stored.
  const auto red = [](int t) { return static_cast<uint8_t>(100 + (7 + 5 + 13 * t) % 100); };
  EXPECT_EQ(histories[0][63], red(0));
  EXPECT_EQ(histories[0][62], 0);
  for (int age = 0; age < 64; ++age) EXPECT_EQ(histories[69][63 - age], red(69 - age)) << age;
}

TEST(WaveletView, LeavesPanesItCannotDrawOnAlone) {
  for (const int width : {64, 65}) {
    DetectionState state;
    test::PaintFirstFrame(state, width, kH, Texture);
    state.panes.topRight().CreateSigned(width, kH, 24, false);
    state.panes.topRight().Fill(9);
    state.panes.bottomRight().CreateSigned(width, kH, 8, false);
    state.panes.bottomRight().Fill(9);
    ToggleWaveletView(state);
    test::RunFrames(state, Texture, 2);
    // A chart is drawn only into a picture wider than the 64 values.
    EXPECT_EQ(state.panes.topRight().Row(0)[0] == 9, width == 64) << width;
    EXPECT_EQ(state.panes.bottomRight().Row(0)[width - 1], 9);  // 8-bit: no energy plot
  }
  DetectionState state;
  test::PaintFirstFrame(state, 80, kH, Texture);
  state.panes.topRight().CreateSigned(80, kH, 8, false);
  state.panes.topRight().Fill(9);
  ToggleWaveletView(state);
  test::RunFrames(state, Texture, 2);
  EXPECT_EQ(state.panes.topRight().Row(3)[3], 9);
}

TEST(WaveletView, EnergyPlotOfAConstantPictureStaysOnRowZero) {
  DetectionState state;
  const auto grey = [](Dib& frame, int) { frame.Fill(90); };
  ViewOn(state, 20, 20, grey);
  state.panes.bottomRight().CreateSigned(kW, kH, 24, false);
  test::RunFrames(state, grey, 5);
  const Dib& br = state.panes.bottomRight();
  for (int column = kW - 5; column < kW; ++column) {
    for (int y = 0; y < kH; ++y) {
      const uint8_t* p = br.Row(y) + 3 * column;
      EXPECT_EQ(p[2] == 255, y == 0) << column << "," << y;
    }
  }
}

// The view owns its detector: a mode's detector runs exactly as without the view, and each
// detector's history advances once per frame.
TEST(WaveletView, BesideAModeTheModeRunsAsAlone) {
  for (const ModeId mode : {ModeId::Smoke, ModeId::BlockSmoke, ModeId::FourStageFlame}) {
    SCOPED_TRACE(ModeNumber(mode));
    std::vector<uint8_t> alarms[2];
    std::vector<uint8_t> masks[2];
    int ringIndex[2] = {0, 0};
    for (int withView = 0; withView < 2; ++withView) {
      DetectionState state;
      test::PaintFirstFrame(state, kW, kH, Texture);
      ASSERT_TRUE(test::SelectMode(state, mode));
      const SmokeFlameDetector* before = state.smoke.detector.get();
      if (withView) ToggleWaveletView(state);
      const test::SceneRun run = test::RunFrames(state, Texture, 140);
      EXPECT_EQ(state.smoke.detector.get(), before);  // not rebuilt
      alarms[withView] = run.alarm;
      const std::span<const uint8_t> final = state.smoke.detector->FinalMask();
      masks[withView].assign(final.begin(), final.end());
      ringIndex[withView] = state.smoke.detector->RingIndex();
      if (withView) EXPECT_EQ(state.waveletView.view->Detector().RingIndex(), 140 % 64);
    }
    EXPECT_EQ(alarms[0], alarms[1]);
    EXPECT_EQ(masks[0], masks[1]);
    EXPECT_EQ(ringIndex[0], ringIndex[1]);
  }
}

TEST(WaveletView, TogglingClearsTheAlarmAndAnotherSizeIsReportedOnce) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  DetectionState state;
  ViewOn(state, 3, 3);
  state.alarmFlag = 1;
  state.alarmLogging = true;
  ToggleWaveletView(state);  // off
  EXPECT_FALSE(state.waveletView.on);
  EXPECT_EQ(state.alarmFlag, 0);
  EXPECT_FALSE(state.alarmLogging);
  ToggleWaveletView(state);  // on again
  state.panes.topLeft().CreateSigned(kW + 8, kH, 24, false);
  const auto wide = [](Dib& frame, int t) { Texture(frame, t); };
  test::RunFrames(state, wide, 3);
  EXPECT_EQ(sink.Messages().size(), 1u);
}

TEST(WaveletView, FramesAfterTheFirstAllocateNothing) {
  DetectionState state;
  ViewOn(state, 10, 10);
  state.panes.bottomRight().CreateSigned(kW, kH, 24, false);
  test::RunFrames(state, Texture, 2);
  const test::Painter paint = Texture;
  test::PaintedFeed feed(paint);
  test::StartCountingAllocations();
  for (feed.t = 3; feed.t < 13; ++feed.t) RunPipeline(state, feed);
  EXPECT_EQ(test::StopCountingAllocations(), 0);
}

}  // namespace
}  // namespace fw
