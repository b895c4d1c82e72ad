// The four-stage flame mode: flame colour, the red history and its crossings, and the four
// stages each able to keep the alarm off, on synthetic scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "detect/flame/flame_modes.h"
#include "detect/smoke/smoke_flame_detector.h"
#include "tests/detect/scene_feed.h"

namespace fw {
namespace {

using Detector = SmokeFlameDetector;

struct Bgr {
  uint8_t b, g, r;
};

void Fill(Dib& frame, Bgr c) {
  for (int y = 0; y < frame.Height(); ++y) {
    uint8_t* p = frame.Row(y);
    for (int x = 0; x < frame.Width(); ++x) {
      p[3 * x] = c.b;
      p[3 * x + 1] = c.g;
      p[3 * x + 2] = c.r;
    }
  }
}

void FillRect(Dib& frame, int x0, int y0, int w, int h, Bgr c) {
  for (int y = y0; y < y0 + h; ++y) {
    uint8_t* p = frame.Row(y);
    for (int x = x0; x < x0 + w; ++x) {
      p[3 * x] = c.b;
      p[3 * x + 1] = c.g;
      p[3 * x + 2] = c.r;
    }
  }
}

Dib Frame(int w, int h, Bgr c) {
  Dib frame;
  frame.CreateSigned(w, h, 24, false);
  Fill(frame, c);
  return frame;
}

TEST(FlameColour, NeedsRedOverGreenOverBlueAndSaturation) {
  const struct {
    Bgr pixel;
    bool moving;
    uint8_t flame;
  } cases[] = {
      {{20, 180, 220}, true, 1},   // bright yellow
      {{250, 250, 250}, true, 0},  // white: saturation 0 below (255 - 250) x 60 / 125 = 2
      {{20, 180, 220}, false, 0},  // still
      {{20, 100, 125}, true, 0},   // red not above 125
      {{20, 230, 220}, true, 0},   // green above red
      {{120, 110, 220}, true, 0},  // blue above green
      {{126, 127, 128}, true, 0},  // saturation 3, below (255 - 128) x 60 / 125 = 60
  };
  for (const auto& c : cases) {
    Dib frame = Frame(4, 4, c.pixel);
    Detector d;
    d.Initialise(frame, false);
    std::fill(d.MotionMask().begin(), d.MotionMask().end(), c.moving ? 1 : 0);
    d.TestFlameColour(kFlameRedLimit, kFlameSaturation);
    EXPECT_EQ(d.ColourMask()[5], c.flame)
        << int(c.pixel.b) << "," << int(c.pixel.g) << "," << int(c.pixel.r);
  }
}

TEST(FlameHistory, FillsFromTheNewestFrameAndCountsCrossings) {
  Dib frame = Frame(4, 4, {0, 0, 10});
  Detector d;
  d.Initialise(frame, false);
  std::array<uint8_t, Detector::kSignalLength> history{};
  d.RedHistory(1, 1, history);
  // Only the selection frame is stored: the older ones count as black.
  EXPECT_EQ(history[63], 10);
  EXPECT_EQ(history[62], 0);
  for (int t = 1; t <= 70; ++t) {
    Fill(frame, {0, 0, static_cast<uint8_t>(10 + t)});
    d.EndOfFrame();
    d.RedHistory(1, 1, history);
    for (int age = 0; age < 64; ++age) {
      const int stored = t - age;  // frame number stored `age` frames before the newest
      ASSERT_EQ(history[63 - age], stored >= 0 ? 10 + stored : 0) << t << " " << age;
    }
  }
  // A constant red of 100 crosses only where the transform's bands meet.
  history.fill(100);
  EXPECT_EQ(Detector::CountCrossings(d.TransformHistory(history), 5.0f), 2);
  // A regular flicker, every frame or with a period of 4, crosses once or twice.
  for (const int period : {2, 4}) {
    for (int i = 0; i < 64; ++i) history[i] = (i % period) < period / 2 ? 0 : 200;
    EXPECT_LE(Detector::CountCrossings(d.TransformHistory(history), 5.0f), 2) << period;
  }
  // An irregular flicker over more than 60 red levels crosses often.
  std::mt19937 rng(7);
  for (uint8_t& v : history) v = static_cast<uint8_t>(130 + rng() % 120);
  EXPECT_GE(Detector::CountCrossings(d.TransformHistory(history), 5.0f), 10);
}

// --- the mode over scenes --------------------------------------------------------------------

constexpr int kW = 48;
constexpr int kH = 40;
constexpr Bgr kBackground = {40, 45, 50};

// A flame-coloured red level: blue 20, green 60% of the red.
Bgr FlameColour(int red) {
  return {20, static_cast<uint8_t>(red * 6 / 10), static_cast<uint8_t>(red)};
}
// The same irregular red level in 130..249 for frame t, whatever the pixel.
int IrregularRed(int t) {
  uint32_t x = static_cast<uint32_t>(t) * 2654435761u + 12345u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return 130 + static_cast<int>(x % 120);
}

test::Painter Patch(int width, int height, const std::function<Bgr(int)>& colour) {
  return [=](Dib& frame, int t) {
    Fill(frame, kBackground);
    FillRect(frame, 10, 10, width, height, colour(t));
  };
}

TEST(FlameMode, AnIrregularFlameRaisesTheAlarm) {
  long allocations = -1;
  const test::SceneRun run = test::RunScene(
      ModeId::FourStageFlame, 150, kW, kH,
      Patch(10, 10, [](int t) { return FlameColour(IrregularRed(t)); }), &allocations);
  ASSERT_TRUE(run.FirstAlarm().has_value());
  EXPECT_LE(*run.FirstAlarm(), 20);
  // The background follows the flame on the frames that hardly change it, which take the motion
  // away for a frame; the alarm is on for most of the others.
  const int alarmFrames = static_cast<int>(std::count(run.alarm.begin() + 64, run.alarm.end(), 1));
  EXPECT_GE(alarmFrames, 86 / 2);
  EXPECT_EQ(allocations, 0);
}

TEST(FlameMode, EachStageCanKeepTheAlarmOff) {
  std::mt19937 rng(3);
  std::vector<int> grey(200);
  for (int& v : grey) v = 100 + static_cast<int>(rng() % 150);
  const struct {
    const char* name;
    int width;
    test::Painter paint;
  } cases[] = {
      // Motion: a static light whose weighted swing stays below 1500 (59 x 9 + 30 x 15).
      {"static light", kW,
       Patch(10, 10, [](int t) { return FlameColour(200 + IrregularRed(t) % 16); })},
      // Colour: a grey patch flickering irregularly.
      {"grey flicker", kW,
       Patch(10, 10,
             [&grey](int t) {
               const auto v = static_cast<uint8_t>(grey[t % 200]);
               return Bgr{v, v, v};
             })},
      // Oscillation: a wide orange patch, its colour steady, sliding once the history is full:
      // each pixel's last 64 frames hold one step at most.
      {"moving orange", 96,
       [](Dib& frame, int t) {
         Fill(frame, kBackground);
         FillRect(frame, t < 70 ? 0 : std::min((t - 70) / 3, 66), 14, 30, 12, FlameColour(230));
       }},
      // Count: 99 flame pixels.
      {"99 pixels", kW, Patch(9, 11, [](int t) { return FlameColour(IrregularRed(t)); })},
  };
  for (const auto& c : cases) {
    const test::SceneRun run = test::RunScene(ModeId::FourStageFlame, 250, c.width, kH, c.paint);
    EXPECT_FALSE(run.FirstAlarm().has_value()) << c.name << " at " << run.FirstAlarm().value_or(0);
  }
}

TEST(FlameMode, PanesAndDisplay) {
  DetectionState state;
  const test::Painter paint = Patch(10, 10, [](int t) { return FlameColour(IrregularRed(t)); });
  test::PaintFirstFrame(state, kW, kH, paint);
  ASSERT_TRUE(test::SelectMode(state, ModeId::FourStageFlame));
  EXPECT_EQ(state.panes.topRight().GetBitCount(), 8);
  test::RunFrames(state, paint, 80);
  // Top right: the motion mask in yellow on blue; bottom left: the flame tinted green.
  const uint8_t* moving = state.panes.topRight().Row(15) + 3 * 15;
  EXPECT_EQ((std::array<int, 3>{moving[0], moving[1], moving[2]}),
            (std::array<int, 3>{0, 255, 255}));
  const uint8_t* still = state.panes.topRight().Row(2) + 3 * 2;
  EXPECT_EQ(still[0], 255);
  const uint8_t* tinted = state.panes.bottomLeft().Row(15) + 3 * 15;
  EXPECT_GE(tinted[1], 128);
  // The display dialog follows the detector's background, which the still parts update.
  const SmokeFlameDetector& d = *state.smoke.detector;
  EXPECT_EQ(std::memcmp(state.panes.display.Pixels(), d.Background().Pixels(),
                        d.Background().PixelBytes()),
            0);
}

}  // namespace
}  // namespace fw
