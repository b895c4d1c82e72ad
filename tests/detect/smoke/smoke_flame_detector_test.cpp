#include "detect/smoke/smoke_flame_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "app/mode_table.h"
#include "core/colour.h"
#include "core/ui_sink.h"
#include "detect/dispatch.h"
#include "detect/pipeline.h"
#include "detect/smoke/smoke_modes.h"
#include "tests/detect/scene_feed.h"
#include "tests/support/allocations.h"
#include "tests/support/modes.h"

namespace fw {
namespace {

using test::SelectMode;

using Detector = SmokeFlameDetector;

struct Bgr {
  uint8_t b, g, r;
};

// A bottom-up 24-bit frame, as the video reader delivers them.
Dib MakeFrame(int width, int height, Bgr fill) {
  Dib frame;
  frame.CreateSigned(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = frame.Row(y);
    for (int x = 0; x < width; ++x) {
      p[3 * x] = fill.b;
      p[3 * x + 1] = fill.g;
      p[3 * x + 2] = fill.r;
    }
  }
  return frame;
}

void Put(Dib& image, int x, int y, Bgr c) {
  uint8_t* p = image.Row(y) + 3 * x;
  p[0] = c.b;
  p[1] = c.g;
  p[2] = c.r;
}

Bgr At(const Dib& image, int x, int y) {
  const uint8_t* p = image.Row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

bool operator==(Bgr a, Bgr b) {
  return a.b == b.b && a.g == b.g && a.r == b.r;
}

// --- pixel mode ------------------------------------------------------------------------------

TEST(SmokePixelMode, InitialiseBuildsRingMasksAndGrid) {
  Dib frame = MakeFrame(40, 20, {10, 20, 30});
  Detector d;
  d.Initialise(frame, false);
  ASSERT_TRUE(d.FrameMatches());
  EXPECT_EQ(d.HistoryLength(), 64);  // largest power of two not above 25 x 4
  EXPECT_EQ(d.RingIndex(), 0);
  EXPECT_EQ(At(d.RingFrame(0), 39, 19), (Bgr{10, 20, 30}));
  EXPECT_EQ(At(d.RingFrame(1), 0, 0), (Bgr{0, 0, 0}));
  EXPECT_EQ(At(d.Background(), 5, 5), (Bgr{10, 20, 30}));
  EXPECT_EQ(d.BlockColumns(), 2);
  EXPECT_EQ(d.BlockRows(), 1);
  for (auto mask : {d.MotionMask(), d.ColourMask(), d.TemporalMask()}) {
    EXPECT_TRUE(std::all_of(mask.begin(), mask.end(), [](uint8_t v) { return v == 1; }));
  }
  EXPECT_EQ(d.FramesSeen(), 0);
  EXPECT_EQ(d.FlickerMean(0), -10.0f);
}

TEST(SmokePixelMode, MotionIsTheWeightedDifferenceAgainstTheLatestFrame) {
  // 11 |dB| + 59 |dG| + 30 |dR| >= 1500 with the default motion threshold 15.
  struct Case {
    Bgr now;
    uint8_t moved;
  };
  const Bgr base{100, 100, 100};
  const Case cases[] = {
      {{100, 100, 100}, 0}, {{100, 126, 100}, 1}, {{100, 125, 100}, 0},
      {{100, 100, 150}, 1}, {{100, 100, 149}, 0}, {{237, 100, 100}, 1},
      {{236, 100, 100}, 0}, {{90, 80, 120}, 1},   {{95, 105, 95}, 0},
  };
  const int n = static_cast<int>(std::size(cases));
  Dib frame = MakeFrame(n, 1, base);
  Detector d;
  d.Initialise(frame, false);
  for (int i = 0; i < n; ++i) Put(frame, i, 0, cases[i].now);
  d.DetectMotion(Detector::kMotionToLastFrame);
  for (int i = 0; i < n; ++i) EXPECT_EQ(d.MotionMask()[i], cases[i].moved) << i;

  // After the end of the frame this frame is the reference: the same picture shows no motion.
  d.EndOfFrame();
  EXPECT_EQ(d.RingIndex(), 1);
  for (int i = 0; i < n; ++i) Put(frame, i, 0, cases[i].now);
  d.DetectMotion(Detector::kMotionToLastFrame);
  for (int i = 0; i < n; ++i) EXPECT_EQ(d.MotionMask()[i], 0) << i;
}

TEST(SmokePixelMode, MotionAgainstTheBackgroundUpdatesItWhereTheFrameIsStill) {
  Dib frame = MakeFrame(2, 1, {100, 100, 100});
  Detector d;
  d.Initialise(frame, false);
  // Pixel 0 is still against the latest frame and drifts the background 1/10 of the way:
  // (9 x 100 + 120) / 10 = 102. Pixel 1 jumps: motion, and its background stays.
  Put(frame, 0, 0, {120, 110, 100});
  Put(frame, 1, 0, {100, 200, 100});
  d.DetectMotion(Detector::kMotionToBackground);
  EXPECT_EQ(d.MotionMask()[0], 0);
  EXPECT_EQ(d.MotionMask()[1], 1);
  EXPECT_EQ(At(d.Background(), 0, 0), (Bgr{102, 101, 100}));
  EXPECT_EQ(At(d.Background(), 1, 0), (Bgr{100, 100, 100}));
}

TEST(SmokePixelMode, GreyColourTest) {
  struct Case {
    Bgr pixel;
    uint8_t motion;
    uint8_t grey;
  };
  const Case cases[] = {
      {{120, 125, 130}, 1, 1},  // S = 255 x 10 / 130 = 19
      {{100, 130, 160}, 1, 0},  // S = 95
      {{230, 240, 255}, 1, 1},  // S = 25, the limit
      {{229, 240, 255}, 1, 0},  // S = 26
      {{0, 0, 0}, 1, 1},        // max 0
      {{120, 125, 130}, 0, 0},  // still pixels are never smoke-coloured
  };
  const int n = static_cast<int>(std::size(cases));
  Dib frame = MakeFrame(n, 1, {0, 0, 0});
  Detector d;
  d.Initialise(frame, false);
  for (int i = 0; i < n; ++i) {
    Put(frame, i, 0, cases[i].pixel);
    d.MotionMask()[i] = cases[i].motion;
  }
  d.TestGreyColour(25);
  for (int i = 0; i < n; ++i) EXPECT_EQ(d.ColourMask()[i], cases[i].grey) << i;
}

TEST(SmokePixelMode, GreyColourMatchesTheDividingFormula) {
  std::mt19937 rng(7);
  const int w = 64;
  const int h = 64;
  Dib frame = MakeFrame(w, h, {0, 0, 0});
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Mostly near-grey pixels, where the limit matters, and some extremes.
      const int base = static_cast<int>(rng() % 256);
      const int spread = static_cast<int>(rng() % (x < 8 ? 256 : 40));
      auto channel = [&] {
        return static_cast<uint8_t>(
            std::clamp<int>(base - spread / 2 + static_cast<int>(rng() % (spread + 1)), 0, 255));
      };
      Put(frame, x, y, {channel(), channel(), channel()});
    }
  }
  Detector d;
  d.Initialise(frame, false);
  for (const int limit : {-3, 0, 1, 25, 100, 254, 255, 1000}) {
    d.TestGreyColour(limit);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const Bgr p = At(frame, x, y);
        const int high = std::max({p.b, p.g, p.r});
        const int low = std::min({p.b, p.g, p.r});
        const bool grey = high == 0 || 255 * (high - low) / high <= limit;
        ASSERT_EQ(d.ColourMask()[y * w + x], grey ? 1 : 0) << limit << " " << x << "," << y;
      }
    }
  }
}

// The flicker record as a run-length ring per pixel: the plain form of the flicker test.
class ReferenceFlicker {
 public:
  static constexpr int kWindow = 125;
  explicit ReferenceFlicker(int pixels) : records_(pixels) {}

  // Returns whether the temporal mask was written.
  bool Step(const std::vector<uint8_t>& red, std::vector<uint8_t>& temporal, int minimumChanges) {
    if (framesSeen_ < kWindow) {
      const int n = ++framesSeen_;
      for (size_t i = 0; i < records_.size(); ++i) {
        Record& rec = records_[i];
        const int v = red[i];
        if (n == 1) {
          rec.mean = static_cast<float>(v);
          rec.state = 0;
          rec.runs[rec.current] = 1;
          temporal[i] = 0;
          continue;
        }
        rec.mean = (v + (n - 1) * rec.mean) / n;
        Head(rec, v);
      }
      return n == 1;
    }
    for (size_t i = 0; i < records_.size(); ++i) {
      Record& rec = records_[i];
      const int v = red[i];
      rec.mean = (v + 124 * rec.mean) / 125;
      const int newState = v > rec.mean + 10 ? 1 : 0;
      const bool toggle = newState != rec.state;
      rec.state = newState;
      if (rec.runs[rec.oldest] > 1) {
        --rec.runs[rec.oldest];
      } else {
        rec.oldest = (rec.oldest + 1) % kWindow;
      }
      Advance(rec, toggle);
      temporal[i] = Changes(rec) >= minimumChanges ? 1 : 0;
    }
    return true;
  }
  int Changes(int pixel) const { return Changes(records_[pixel]); }
  float Mean(int pixel) const { return records_[pixel].mean; }

 private:
  struct Record {
    float mean = -10.0f;
    int state = 0;
    std::array<int, kWindow> runs{};
    int oldest = 0;
    int current = 0;
  };
  static void Head(Record& rec, int v) {
    const int newState = v > rec.mean + 10 ? 1 : 0;
    const bool toggle = newState != rec.state;
    rec.state = newState;
    Advance(rec, toggle);
  }
  static void Advance(Record& rec, bool toggle) {
    if (toggle) {
      rec.current = (rec.current + 1) % kWindow;
      rec.runs[rec.current] = 1;
    } else {
      ++rec.runs[rec.current];
    }
  }
  static int Changes(const Record& rec) {
    return rec.current >= rec.oldest ? rec.current - rec.oldest
                                     : kWindow - rec.oldest + rec.current;
  }
  int framesSeen_ = 0;
  std::vector<Record> records_;
};

TEST(SmokePixelMode, FlickerMatchesTheRunLengthRecord) {
  // Each pixel follows its own red sequence: noise of several widths around a level, square
  // waves of several periods, bursts, slow steps and a constant.
  const int w = 12;
  const int h = 6;
  std::mt19937 rng(1234);
  std::vector<int> kind(w * h);
  std::vector<int> level(w * h);
  for (int i = 0; i < w * h; ++i) {
    kind[i] = i % 8;
    level[i] = static_cast<int>(rng() % 200) + 20;
  }
  auto red = [&](int i, int t) -> int {
    switch (kind[i]) {
      case 0:
        return static_cast<int>(rng() % 256);
      case 1:
        return std::clamp(level[i] + static_cast<int>(rng() % 41) - 20, 0, 255);
      case 2:
        return ((t / (1 + i % 5)) % 2) ? level[i] : 0;
      case 3:
        return (t % 300 < 60 && t % 2) ? 255 : level[i];  // bursts
      case 4:
        return (t / 50) % 2 ? 200 : 30;  // slow steps
      case 5:
        return level[i];
      case 6:
        return std::clamp(level[i] + static_cast<int>(rng() % 25) - 12, 0, 255);
      default:
        return (t % 7 < 3) ? 255 : static_cast<int>(rng() % 64);
    }
  };
  Dib frame = MakeFrame(w, h, {0, 0, 0});
  Detector d;
  d.Initialise(frame, false);
  ReferenceFlicker reference(w * h);
  std::vector<uint8_t> reds(w * h);
  std::vector<uint8_t> expected(w * h, 1);
  for (int t = 0; t < 420; ++t) {
    for (int i = 0; i < w * h; ++i) {
      reds[i] = static_cast<uint8_t>(red(i, t));
      Put(frame, i % w, i / w, {static_cast<uint8_t>(i), 50, reds[i]});
    }
    const int minimumChanges = t < 300 ? 10 : 3;
    reference.Step(reds, expected, minimumChanges);
    d.TestFlicker(minimumChanges);
    for (int i = 0; i < w * h; ++i) {
      ASSERT_EQ(std::bit_cast<uint32_t>(d.FlickerMean(i)),
                std::bit_cast<uint32_t>(reference.Mean(i)))
          << "frame " << t << " pixel " << i;
      ASSERT_EQ(d.FlickerChanges(i), reference.Changes(i)) << "frame " << t << " pixel " << i;
      ASSERT_EQ(d.TemporalMask()[i], expected[i]) << "frame " << t << " pixel " << i;
    }
  }
}

TEST(SmokePixelMode, FlickerCountsAnAlternatingAndAConstantPixel) {
  Dib frame = MakeFrame(2, 1, {0, 0, 0});
  Detector d;
  d.Initialise(frame, false);
  for (int t = 1; t <= 250; ++t) {
    Put(frame, 0, 0, {0, 0, static_cast<uint8_t>(t % 2 ? 200 : 0)});
    Put(frame, 1, 0, {0, 0, 90});
    d.TestFlicker(10);
    if (t <= Detector::kFlickerWindow) {
      // Learning: nothing flickers yet.
      ASSERT_EQ(d.TemporalMask()[0], 0) << t;
      ASSERT_EQ(d.TemporalMask()[1], 0) << t;
    }
  }
  EXPECT_EQ(d.FramesSeen(), Detector::kFlickerWindow);
  EXPECT_EQ(d.FlickerChanges(0), 124);
  EXPECT_EQ(d.FlickerChanges(1), 0);
  EXPECT_EQ(d.TemporalMask()[0], 1);
  EXPECT_EQ(d.TemporalMask()[1], 0);
}

TEST(SmokePixelMode, AlarmNeedsOneHundredFinalPixels) {
  for (const int marked : {0, 99, 100, 200}) {
    Dib frame = MakeFrame(20, 10, {10, 20, 30});
    Detector d;
    d.Initialise(frame, false);
    std::fill(d.TemporalMask().begin(), d.TemporalMask().end(), 1);
    std::fill(d.ColourMask().begin(), d.ColourMask().end(), 0);
    for (int i = 0; i < marked; ++i) d.ColourMask()[i] = 1;
    // A flickering pixel of another colour is not smoke.
    if (marked < 200) d.TemporalMask()[199] = 1;
    d.CombineMasks();
    Dib display;
    EXPECT_EQ(d.ShowAndCount(display), marked >= 100 ? 1 : 0) << marked;
    ASSERT_EQ(display.GetBitCount(), 24);
    ASSERT_EQ(display.HeaderHeight(), 10);
    // Marked pixels are tinted green, the others copied.
    EXPECT_EQ(At(display, 0, 0), marked > 0 ? (Bgr{5, 138, 15}) : (Bgr{10, 20, 30}));
    EXPECT_EQ(At(display, 19, 9), marked == 200 ? (Bgr{5, 138, 15}) : (Bgr{10, 20, 30}));
  }
}

TEST(SmokePixelMode, EndOfFrameExchangesBuffers) {
  Dib frame = MakeFrame(8, 4, {1, 2, 3});
  Detector d;
  d.Initialise(frame, false);
  for (int i = 1; i <= 70; ++i) {
    const int next = i % d.HistoryLength();
    const uint8_t* framePixels = frame.Pixels();
    const uint8_t* slotPixels = d.RingFrame(next).Pixels();
    d.EndOfFrame();
    ASSERT_EQ(d.RingIndex(), next);
    ASSERT_EQ(d.RingFrame(next).Pixels(), framePixels);
    ASSERT_EQ(frame.Pixels(), slotPixels);
  }
}

// --- block mode ------------------------------------------------------------------------------

TEST(SmokeBlockMode, GridLeavesTheRemaindersOutsideEveryBlock) {
  // 330 x 40: 20 x 2 blocks; columns 320..329 and rows 32..39 belong to none.
  Dib frame = MakeFrame(330, 40, {100, 100, 100});
  Detector d;
  d.Initialise(frame, true);
  EXPECT_EQ(d.BlockColumns(), 20);
  EXPECT_EQ(d.BlockRows(), 2);
  EXPECT_EQ(d.CurrentBlockMeans()[0], 100);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 330; ++x) {
      if (x >= 320 || y >= 32) Put(frame, x, y, {255, 255, 255});
    }
  }
  // Block (19, 1) becomes brighter: (11 x 150 + 59 x 150 + 30 x 150) / 100 = 150.
  for (int y = 16; y < 32; ++y) {
    for (int x = 304; x < 320; ++x) Put(frame, x, y, {150, 150, 150});
  }
  d.ComputeBlockMeans();
  Dib display = MakeFrame(330, 40, {7, 7, 7});
  d.CompareBlocks(5, display);
  for (int b = 0; b < d.BlockCount(); ++b) {
    EXPECT_EQ(d.BlockMotion()[b], b == 39 ? 1 : 0) << b;
    EXPECT_EQ(d.CurrentBlockMeans()[b], b == 39 ? 150 : 100) << b;
  }
  EXPECT_EQ(At(display, 319, 31), (Bgr{0, 255, 255}));  // moving: yellow
  EXPECT_EQ(At(display, 303, 31), (Bgr{255, 0, 0}));    // still: blue
  EXPECT_EQ(At(display, 320, 0), (Bgr{7, 7, 7}));       // outside the grid: untouched
  EXPECT_EQ(At(display, 0, 32), (Bgr{7, 7, 7}));

  std::vector<uint8_t> counters(d.BlockCount(), 0);
  counters[1] = 3;
  counters[2] = 200;
  d.ShowBlockCounters(display, counters, 2);
  EXPECT_EQ(At(display, 20, 0), (Bgr{6, 0, 0}));
  EXPECT_EQ(At(display, 40, 15), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(display, 0, 0), (Bgr{0, 0, 0}));
  EXPECT_EQ(At(display, 329, 39), (Bgr{7, 7, 7}));
}

TEST(SmokeBlockMode, BlockMotionVoteNeedsFourBlocksIn37Of125Frames) {
  Dib frame = MakeFrame(64, 32, {100, 100, 100});  // 4 x 2 blocks
  Detector d;
  d.Initialise(frame, true);
  auto step = [&](int movingBlocks) {
    for (int b = 0; b < d.BlockCount(); ++b) d.BlockMotion()[b] = b < movingBlocks ? 1 : 0;
    return d.AccumulateBlockMotion();
  };
  // Three blocks are never enough.
  for (int t = 1; t <= 50; ++t) ASSERT_EQ(step(3), 0) << t;
  Detector e;
  e.Initialise(frame, true);
  d = std::move(e);
  // Four blocks moving in frames 1..37: the vote holds from frame 37 until the first of those
  // frames leaves the 125-frame window at frame 126.
  for (int t = 1; t <= 130; ++t) {
    const uint8_t v = step(t <= 37 ? 4 : 0);
    ASSERT_EQ(v, t >= 37 && t <= 125 ? 1 : 0) << t;
  }
  EXPECT_EQ(d.BlockCounters()[0], 32);
}

TEST(SmokeBlockMode, SpreadOfTheChangedPixels) {
  // The changed pixels of one block, and whether the block keeps its motion: more than 50 of
  // them, with column and row variances of at least 10.
  struct Case {
    const char* name;
    std::function<bool(int, int)> changed;
    int delta;
    bool keeps;
  };
  const Case cases[] = {
      {"one-pixel vertical line", [](int x, int) { return x == 7; }, 60, false},
      {"whole block", [](int, int) { return true; }, 60, true},
      {"whole block, change 45", [](int, int) { return true; }, 15, false},
      {"whole block, change 46", [](int, int) { return true; }, 16, true},
      {"columns 6..9", [](int x, int) { return x >= 6 && x <= 9; }, 60, false},
      {"columns 12..15", [](int x, int) { return x >= 12; }, 60, false},
      {"rows 0..3", [](int, int y) { return y < 4; }, 60, false},
      {"columns 0..10, variance 10", [](int x, int) { return x <= 10; }, 60, true},
      {"columns 0..9, variance 8.25", [](int x, int) { return x <= 9; }, 60, false},
      {"checkerboard", [](int x, int y) { return (x + y) % 2 == 0; }, 60, true},
      {"51 pixels", [](int x, int y) { return y * 16 + x < 51; }, 60, false},
      {"51 spread pixels", [](int x, int y) { return (y * 16 + x) % 5 == 0; }, 60, true},
      {"50 spread pixels", [](int x, int y) { return (y * 16 + x) % 5 == 0 && y * 16 + x < 250; },
       60, false},
  };
  for (const Case& c : cases) {
    Dib frame = MakeFrame(48, 16, {100, 100, 100});
    Detector d;
    d.Initialise(frame, true);
    // The middle block changes against the previous frame; the first block changes everywhere
    // but has no motion, so it stays still.
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        if (c.changed(x, y)) {
          // 15, 15, 16 sum to 46; the other deltas spread over the channels alike.
          const int db = c.delta == 16 ? 15 : c.delta;
          const int dg = c.delta == 16 ? 15 : c.delta;
          Put(frame, 16 + x, y,
              {static_cast<uint8_t>(100 + db), static_cast<uint8_t>(100 + dg),
               static_cast<uint8_t>(100 + c.delta)});
        }
        Put(frame, x, y, {200, 200, 200});
      }
    }
    d.BlockMotion()[0] = 0;
    d.BlockMotion()[1] = 1;
    d.BlockMotion()[2] = 1;  // unchanged: no changed pixels at all
    d.FilterBlockSpread();
    EXPECT_EQ(d.BlockMotion()[0], 0) << c.name;
    EXPECT_EQ(d.BlockMotion()[1], c.keeps ? 1 : 0) << c.name;
    EXPECT_EQ(d.BlockMotion()[2], 0) << c.name;
  }
}

// Block-mode detector over a 64 x 32 frame (4 x 2 blocks) whose edge strengths the test sets.
class EdgeLossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = MakeFrame(64, 32, {100, 100, 100});
    d_.Initialise(frame_, true);
    std::fill(d_.BackgroundEdges().begin(), d_.BackgroundEdges().end(), 20);
  }
  // One frame with the given blocks moving at edge strength `edge` and the others still.
  uint8_t Frame(std::initializer_list<int> moving, int edge) {
    std::fill(d_.CurrentEdges().begin(), d_.CurrentEdges().end(), 20);
    std::fill(d_.BlockMotion().begin(), d_.BlockMotion().end(), 0);
    for (const int b : moving) {
      d_.BlockMotion()[b] = 1;
      const int c = b % 4;
      const int r = b / 4;
      for (int y = 16 * r; y < 16 * r + 16; ++y) {
        for (int x = 16 * c; x < 16 * c + 16; ++x) d_.CurrentEdges()[y * 64 + x] = edge;
      }
    }
    return d_.TestEdgeLoss();
  }
  Dib frame_;
  Detector d_;
};

TEST_F(EdgeLossTest, SmokeBlocksLoseMoreThanFourLevelsOfEdgeStrength) {
  // Background 20: a moving block at 15 lost edge strength (15 + 4 < 20); at 16 it did not.
  Frame({0, 5}, 15);
  EXPECT_EQ(d_.LastSmokeBlocks(), 2);
  Frame({0, 5}, 16);
  EXPECT_EQ(d_.LastSmokeBlocks(), 0);
  // Still blocks are never smoke, whatever their edges.
  std::fill(d_.CurrentEdges().begin(), d_.CurrentEdges().end(), 0);
  std::fill(d_.BlockMotion().begin(), d_.BlockMotion().end(), 0);
  d_.BlockMotion()[3] = 1;
  for (int y = 0; y < 16; ++y) {
    for (int x = 48; x < 64; ++x) d_.CurrentEdges()[y * 64 + x] = 20;
  }
  d_.TestEdgeLoss();
  EXPECT_EQ(d_.LastSmokeBlocks(), 0);
}

TEST_F(EdgeLossTest, TwentyFiveSmokeBlocksWithin125FramesAreNeeded) {
  // One smoke block on every fifth frame, between frames with a moving block that keeps its
  // edges (so that the background stays).
  int smokeFrames = 0;
  for (int t = 0; t < 140; ++t) {
    const bool smoke = t % 5 == 0 && smokeFrames < 25;
    const uint8_t w = smoke ? Frame({1}, 10) : Frame({2}, 20);
    smokeFrames += smoke ? 1 : 0;
    // The 25th smoke block arrives at frame 120; the first leaves the window at frame 125.
    ASSERT_EQ(w, t >= 120 && t < 125 ? 1 : 0) << t;
  }
}

TEST_F(EdgeLossTest, AStillFrameBecomesTheBackground) {
  // A frame without moving blocks: its edges (10) and picture replace the background.
  Put(frame_, 3, 3, {1, 2, 3});
  EXPECT_EQ(Frame({}, 0), 0);
  EXPECT_EQ(d_.BackgroundEdges()[5 * 64 + 5], 20);  // all current edges were 20
  EXPECT_EQ(At(d_.Background(), 3, 3), (Bgr{1, 2, 3}));
  // Measured against the new background of 20 a block at 15 is smoke...
  Frame({0}, 15);
  EXPECT_EQ(d_.LastSmokeBlocks(), 1);
  // ...but after a still frame at edge strength 10 it is not.
  std::fill(d_.BlockMotion().begin(), d_.BlockMotion().end(), 0);
  std::fill(d_.CurrentEdges().begin(), d_.CurrentEdges().end(), 10);
  d_.TestEdgeLoss();
  Frame({0}, 15);
  EXPECT_EQ(d_.LastSmokeBlocks(), 0);
  Frame({0}, 5);
  EXPECT_EQ(d_.LastSmokeBlocks(), 1);
}

TEST_F(EdgeLossTest, PlotScrollsAndMarksTheSelectedBlock) {
  Dib display = MakeFrame(64, 32, {0, 0, 0});
  Put(display, 10, 3, {1, 2, 3});
  // Block (3, 1): current edges 7 (yellow in row 7), background 40, beyond the height (blue in
  // the last row). The selection (9, 9) is clamped to that block.
  for (int y = 16; y < 32; ++y) {
    for (int x = 48; x < 64; ++x) {
      d_.CurrentEdges()[y * 64 + x] = 7;
      d_.BackgroundEdges()[y * 64 + x] = 40;
    }
  }
  Put(display, 63, 7, {9, 9, 9});
  d_.PlotBlockEdges(9, 9, display);
  EXPECT_EQ(At(display, 9, 3), (Bgr{1, 2, 3}));
  EXPECT_EQ(At(display, 10, 3), (Bgr{0, 0, 0}));
  EXPECT_EQ(At(display, 62, 7), (Bgr{9, 9, 9}));
  for (int y = 0; y < 32; ++y) {
    const Bgr expected = y == 7 ? Bgr{0, 255, 255} : y == 31 ? Bgr{255, 0, 0} : Bgr{0, 0, 0};
    EXPECT_EQ(At(display, 63, y), expected) << y;
  }
}

TEST(SmokeBlockMode, InitialiseAndEndOfFrame) {
  Dib frame = MakeFrame(48, 33, {0, 0, 0});
  std::mt19937 rng(5);
  for (int y = 0; y < 33; ++y) {
    for (int x = 0; x < 48; ++x) {
      Put(frame, x, y,
          {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())});
    }
  }
  Detector d;
  d.Initialise(frame, true);
  EXPECT_EQ(d.BlockColumns(), 3);
  EXPECT_EQ(d.BlockRows(), 2);
  // Background edges are the frame's texture; the border stays 0.
  const auto edges = d.BackgroundEdges();
  auto channel = [&](int x, int y, int k) {
    const Bgr p = At(frame, x, y);
    return k == 0 ? p.b : k == 1 ? p.g : p.r;
  };
  int expected = 0;
  for (int k = 0; k < 3; ++k) {
    expected += std::abs(channel(5, 7, k) - channel(5, 5, k)) +
                std::abs(channel(6, 6, k) - channel(4, 6, k));
  }
  EXPECT_EQ(edges[6 * 48 + 5], expected);
  EXPECT_EQ(edges[0 * 48 + 5], 0);
  EXPECT_EQ(edges[6 * 48 + 47], 0);
  const std::vector<uint8_t> means(d.CurrentBlockMeans().begin(), d.CurrentBlockMeans().end());
  EXPECT_TRUE(std::equal(means.begin(), means.end(), d.PreviousBlockMeans().begin()));
  EXPECT_TRUE(std::equal(means.begin(), means.end(), d.BackgroundBlockMeans().begin()));

  const uint8_t* framePixels = frame.Pixels();
  const uint8_t* previousPixels = d.PreviousFrame().Pixels();
  Put(frame, 0, 0, {255, 255, 255});
  d.ComputeBlockMeans();
  const std::vector<uint8_t> now(d.CurrentBlockMeans().begin(), d.CurrentBlockMeans().end());
  d.EndOfFrame();
  EXPECT_EQ(frame.Pixels(), previousPixels);
  EXPECT_EQ(d.PreviousFrame().Pixels(), framePixels);
  EXPECT_TRUE(std::equal(now.begin(), now.end(), d.PreviousBlockMeans().begin()));
}

// --- frames of another size ------------------------------------------------------------------

TEST(SmokeDetector, AFrameOfAnotherSizeIsLeftAlone) {
  for (const bool blockMode : {false, true}) {
    Dib frame = MakeFrame(64, 32, {100, 100, 100});
    Detector d;
    d.Initialise(frame, blockMode);
    const Dib bigger = MakeFrame(96, 48, {0, 0, 0});
    frame.CopyFrom(bigger, false);
    EXPECT_FALSE(d.FrameMatches());
    Dib display;
    d.DetectMotion(Detector::kMotionToLastFrame);
    d.TestGreyColour(25);
    d.TestFlicker(10);
    d.CombineMasks();
    EXPECT_EQ(d.ShowAndCount(display), 0);
    d.ComputeBlockMeans();
    d.CompareBlocks(0, display);
    EXPECT_EQ(d.AccumulateBlockMotion(), 0);
    d.FilterBlockSpread();
    d.PlotBlockEdges(0, 0, display);
    d.ComputeEdgeStrength();
    EXPECT_EQ(d.TestEdgeLoss(), 0);
    const uint8_t* pixels = frame.Pixels();
    d.EndOfFrame();
    EXPECT_EQ(frame.Pixels(), pixels);
    EXPECT_EQ(display.Width(), 16);  // never touched
    EXPECT_EQ(d.FramesSeen(), 0);
  }
  // A grey frame gives an empty detector.
  Dib grey;
  grey.CreateSigned(32, 32, 8, false);
  Detector d;
  d.Initialise(grey, false);
  EXPECT_FALSE(d.FrameMatches());
}

TEST(SmokeDetector, TinyFramesAndStepsOfTheOtherForm) {
  // Frames narrower or lower than a block have no blocks; the steps of the other form (the
  // block steps on a pixel-mode detector and back) touch nothing they do not own.
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{15, 40}, std::pair{17, 17}}) {
    for (const bool blockMode : {false, true}) {
      Dib frame = MakeFrame(w, h, {50, 60, 70});
      Detector d;
      d.Initialise(frame, blockMode);
      EXPECT_EQ(d.BlockCount(), (w / 16) * (h / 16));
      Dib tr, bl, br;
      for (int t = 0; t < 3; ++t) {
        Put(frame, 0, 0, {static_cast<uint8_t>(t * 90), 0, 0});
        d.DetectMotion(Detector::kMotionToLastFrame);
        d.DetectMotion(Detector::kMotionToBackground);
        d.TestGreyColour(25);
        d.TestFlicker(10);
        d.CombineMasks();
        d.ShowAndCount(bl);
        d.ComputeBlockMeans();
        d.ShowBlockCounters(br, d.BlockCounters(), 1);
        d.CompareBlocks(0, tr);
        d.AccumulateBlockMotion();
        d.FilterBlockSpread();
        d.PlotBlockEdges(3, 3, bl);
        d.ComputeEdgeStrength();
        d.TestEdgeLoss();
        d.EndOfFrame();
      }
      EXPECT_EQ(d.FramesSeen(), blockMode ? 0 : 3);
      if (!blockMode) {
        // With threshold 0 every block moved; without a previous frame the spread test keeps it.
        EXPECT_TRUE(std::all_of(d.BlockMotion().begin(), d.BlockMotion().end(),
                                [](uint8_t m) { return m == 1; }));
      }
    }
  }
}

// --- the two modes over synthetic scenes -------------------------------------------------------

using test::Painter;
using test::RunScene;
using test::SceneRun;

// A grey-ish texture with strong edges, fixed by its seed.
std::vector<uint8_t> Texture(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> t(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < t.size(); i += 3) {
    const int g = 20 + static_cast<int>(rng() % 80);
    for (int k = 0; k < 3; ++k) t[i + k] = static_cast<uint8_t>(g + static_cast<int>(rng() % 5));
  }
  return t;
}

Painter StaticScene(int width, int height) {
  auto texture = std::make_shared<std::vector<uint8_t>>(Texture(width, height, 11));
  auto rng = std::make_shared<std::mt19937>(12);
  return [=](Dib& frame, int) {
    // Sensor noise of up to 2 levels per channel.
    for (int y = 0; y < height; ++y) {
      uint8_t* p = frame.Row(y);
      const uint8_t* s = texture->data() + static_cast<size_t>(y) * width * 3;
      for (int i = 0; i < 3 * width; ++i) p[i] = static_cast<uint8_t>(s[i] + (*rng)() % 3);
    }
  };
}

// A 40 x 40 region alternating between two colours every frame over the static scene.
Painter FlickeringRegion(int width, int height, Bgr a, Bgr b) {
  Painter background = StaticScene(width, height);
  return [=](Dib& frame, int t) {
    background(frame, t);
    for (int y = 20; y < 60; ++y) {
      for (int x = 30; x < 70; ++x) Put(frame, x, y, t % 2 ? a : b);
    }
  };
}

// A translucent light-grey plume drifting right over the texture, its density changing from
// frame to frame.
Painter Plume(int width, int height) {
  auto texture = std::make_shared<std::vector<uint8_t>>(Texture(width, height, 21));
  auto rng = std::make_shared<std::mt19937>(22);
  return [=](Dib& frame, int t) {
    const int left = 16 + t / 4;
    for (int y = 0; y < height; ++y) {
      uint8_t* p = frame.Row(y);
      const uint8_t* s = texture->data() + static_cast<size_t>(y) * width * 3;
      for (int x = 0; x < width; ++x) {
        const bool inside = t > 0 && x >= left && x < left + 96 && y >= 24 && y < 104;
        const int alpha = inside ? (t % 2 ? 80 : 50) + static_cast<int>((*rng)() % 9) - 4 : 0;
        for (int k = 0; k < 3; ++k) {
          const int v = s[3 * x + k];
          p[3 * x + k] = static_cast<uint8_t>(v + alpha * (220 - v) / 100);
        }
      }
    }
  };
}

TEST(SmokeModes, Scenes) {
  const int w = 160;
  const int h = 128;
  struct Case {
    const char* name;
    ModeId mode;
    Painter paint;
    std::optional<int> firstAlarm;
  };
  const Case cases[] = {
      {"static, pixels", ModeId::Smoke, StaticScene(w, h), std::nullopt},
      {"static, blocks", ModeId::BlockSmoke, StaticScene(w, h), std::nullopt},
      // Grey flicker alarms on the first frame after the 125 learning frames.
      {"grey flicker, pixels", ModeId::Smoke, FlickeringRegion(w, h, {60, 60, 60}, {200, 200, 200}),
       126},
      {"orange flicker, pixels", ModeId::Smoke, FlickeringRegion(w, h, {0, 128, 255}, {0, 40, 120}),
       std::nullopt},
      {"plume, pixels", ModeId::Smoke, Plume(w, h), 126},
      // The vote needs 37 busy frames, then 37 flagged ones: frame 73 at the earliest.
      {"plume, blocks", ModeId::BlockSmoke, Plume(w, h), 73},
  };
  for (const Case& c : cases) {
    const SceneRun run = RunScene(c.mode, 260, w, h, c.paint);
    EXPECT_EQ(run.FirstAlarm(), c.firstAlarm) << c.name;
    if (c.firstAlarm) {
      // Once raised, the alarm holds while the scene goes on.
      EXPECT_TRUE(std::all_of(run.alarm.begin() + *c.firstAlarm - 1, run.alarm.end(),
                              [](uint8_t a) { return a == 1; }))
          << c.name;
    }
  }
}

TEST(SmokeModes, PerFrameStepsAllocateNothingAfterTheFirstFrame) {
  for (const ModeId mode : {ModeId::Smoke, ModeId::BlockSmoke}) {
    long allocations = -1;
    // Still frames first (the block mode takes them as background), then the plume.
    Painter plume = Plume(96, 64);
    Painter scene = [plume](Dib& frame, int t) { plume(frame, t < 20 ? 0 : t); };
    RunScene(mode, 160, 96, 64, scene, &allocations);
    EXPECT_EQ(allocations, 0) << ModeNumber(mode);
  }
}

TEST(SmokeModes, SelectionBuildsTheDetectorAndItsPanes) {
  DetectionState state;
  state.panes.topLeft() = MakeFrame(48, 32, {100, 120, 140});
  state.alarmFlag = 1;
  ASSERT_TRUE(SelectMode(state, ModeId::Smoke));
  ASSERT_NE(state.smoke.detector, nullptr);
  EXPECT_FALSE(state.smoke.detector->BlockMode());
  EXPECT_EQ(state.panes.topRight().GetBitCount(), 8);
  EXPECT_EQ(state.panes.bottomLeft().GetBitCount(), 8);
  EXPECT_EQ(state.panes.bottomRight().GetBitCount(), 24);
  // The display dialog shows the detector's background, the selection frame.
  EXPECT_EQ(state.panes.display.Width(), 48);
  EXPECT_EQ(At(state.panes.display, 47, 31), (Bgr{100, 120, 140}));
  RunDetectionStep(state);
  EXPECT_EQ(state.panes.topRight().GetBitCount(), 24);  // the motion mask in colour
  EXPECT_EQ(At(state.panes.topRight(), 0, 0), (Bgr{255, 0, 0}));
  EXPECT_EQ(state.alarmFlag, 0);

  state.smoke.frameFlags.fill(1);
  state.smoke.frameFlagIndex = 9;
  ASSERT_TRUE(SelectMode(state, ModeId::BlockSmoke));
  EXPECT_TRUE(state.smoke.detector->BlockMode());
  EXPECT_TRUE(std::all_of(state.smoke.frameFlags.begin(), state.smoke.frameFlags.end(),
                          [](uint8_t f) { return f == 0; }));
  EXPECT_EQ(state.smoke.frameFlagIndex, 0);
  EXPECT_EQ(state.smoke.greyDisplay.Width(), 48);
  // The grey display holds the frame quantised with the threshold (5 levels: steps of 51).
  state.threshold = 5;
  RunDetectionStep(state);
  // grey (1100 + 7080 + 4200) / 100 = 123, level 123 / 51 = 2
  EXPECT_EQ(state.smoke.greyDisplay.Row(0)[0], 102);
  EXPECT_EQ(FindMode(ModeId::Smoke)->label, std::string("Fumewatch"));
  EXPECT_EQ(FindMode(ModeId::BlockSmoke)->label, std::string("Fumewatch(Block)"));
}

TEST(SmokeModes, FrameFlagVote) {
  DetectionState state;
  // 36 flagged frames give no alarm, 37 do; the alarm lasts while 37 of the last 125 frames
  // are flagged and clears as the count falls to 36.
  for (int t = 1; t <= 200; ++t) {
    VoteFrameFlag(state, t <= 37 ? 1 : 0);
    ASSERT_EQ(state.alarmFlag, t >= 37 && t <= 125 ? 1 : 0) << t;
  }
  EXPECT_EQ(state.smoke.frameFlagIndex, 200 % 125);
}

TEST(SmokeModes, AChangedFrameSizeIsReportedOnceAndClearsTheAlarm) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  for (const ModeId mode : {ModeId::Smoke, ModeId::BlockSmoke}) {
    sink.Clear();
    DetectionState state;
    state.panes.topLeft() = MakeFrame(48, 32, {10, 20, 30});
    ASSERT_TRUE(SelectMode(state, mode));
    state.panes.topLeft() = MakeFrame(64, 32, {10, 20, 30});
    for (int t = 0; t < 3; ++t) {
      state.alarmFlag = 1;
      RunDetectionStep(state);
      EXPECT_EQ(state.alarmFlag, 0);
      RunEndOfFrame(state);
    }
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages()[0].text.find("64 x 32"), std::string::npos);
    EXPECT_NE(sink.Messages()[0].text.find("48 x 32"), std::string::npos);
  }
  // A detector rebuilt in the pixel form while the block mode is current is left alone.
  sink.Clear();
  DetectionState state;
  state.panes.topLeft() = MakeFrame(48, 32, {10, 20, 30});
  ASSERT_TRUE(SelectMode(state, ModeId::BlockSmoke));
  state.smoke.detector->Initialise(state.panes.topLeft(), false);
  const uint8_t* pixels = state.panes.topLeft().Pixels();
  state.alarmFlag = 1;
  RunDetectionStep(state);
  RunEndOfFrame(state);
  EXPECT_EQ(state.alarmFlag, 0);
  EXPECT_EQ(state.panes.topLeft().Pixels(), pixels);
  EXPECT_EQ(sink.Messages().size(), 1u);
}

// --- live video: the luminance plane of the capture frame ----------------------------------

// A luminance plane of a width x height frame, its picture's top row first; value(x, row).
std::vector<uint8_t> Plane(int width, int height, const std::function<int(int, int)>& value) {
  std::vector<uint8_t> plane(static_cast<size_t>(width) * height);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) plane[row * width + x] = static_cast<uint8_t>(value(x, row));
  }
  return plane;
}

TEST(SmokeLive, MotionComparesTheLuminanceAtTheSamePicturePoint) {
  const int w = 40;
  const int h = 20;
  Dib frame = MakeFrame(w, h, {90, 90, 90});
  Detector d;
  d.Initialise(frame, false);
  std::vector<uint8_t> plane(static_cast<size_t>(w) * h, 100);
  d.AttachLiveLuminance(plane.data());
  ASSERT_EQ(d.LiveLuminance(), plane.data());
  // The colour frame stays still; only the plane changes: by 15 (the motion threshold) at the
  // picture's top-left point, by 14 at its bottom-right point.
  plane[3] = 115;
  plane[(h - 1) * w + (w - 2)] = 86;
  d.DetectMotion(Detector::kMotionToLastFrame);
  const auto mask = d.MotionMask();
  // The top picture row is the last memory row of the bottom-up frame.
  EXPECT_EQ(mask[(h - 1) * w + 3], 1);
  EXPECT_EQ(mask[0 * w + (w - 2)], 0);
  EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 1);
  // The end of the frame makes this plane the previous one: the next frame is still.
  d.EndOfFrame();
  d.DetectMotion(Detector::kMotionToLastFrame);
  EXPECT_EQ(std::count(d.MotionMask().begin(), d.MotionMask().end(), 1), 0);
  // Back on the colour frame, a change of the plane is not motion, a change of the frame is.
  d.AttachLiveLuminance(nullptr);
  plane[3] = 0;
  frame.Fill(90);  // the frame as the ring's newest, which the pane gave away at the end of frame
  Put(frame, 7, 7, {200, 200, 200});
  d.DetectMotion(Detector::kMotionToLastFrame);
  EXPECT_EQ(d.MotionMask()[7 * w + 7], 1);
  EXPECT_EQ(d.MotionMask()[(h - 1) * w + 3], 0);
}

TEST(SmokeLive, BlockMeansAreLuminanceMeansCountedFromThePicturesBottom) {
  const int w = 48;
  const int h = 40;  // two block rows; the picture's top 8 rows lie outside every block
  Dib frame = MakeFrame(w, h, {0, 0, 0});
  Detector d;
  d.Initialise(frame, true);
  // Each plane row holds its row number, plus 100 in the middle block column.
  std::vector<uint8_t> plane =
      Plane(w, h, [](int x, int row) { return row + (x / 16 == 1) * 100; });
  d.AttachLiveLuminance(plane.data());
  // Block row 0 covers the picture's bottom rows 24..39 (mean 31.5), block row 1 rows 8..23.
  const std::vector<uint8_t> expected = {31, 131, 31, 15, 115, 15};
  auto same = [&](std::span<const uint8_t> means) {
    return std::equal(expected.begin(), expected.end(), means.begin(), means.end());
  };
  EXPECT_TRUE(same(d.CurrentBlockMeans()));
  // Attaching takes the means again, so the next comparison is of one kind.
  EXPECT_TRUE(same(d.PreviousBlockMeans()));
  EXPECT_TRUE(same(d.BackgroundBlockMeans()));
  std::fill(plane.begin(), plane.end(), 77);
  d.ComputeBlockMeans();
  EXPECT_TRUE(std::all_of(d.CurrentBlockMeans().begin(), d.CurrentBlockMeans().end(),
                          [](uint8_t m) { return m == 77; }));
}

// The capture frame of a frame pane's picture, full-range BT.601 with the top row first, as
// the live sources write it; the frame pane then receives its 4:2:0 conversion.
class LiveFeed : public FrameHost {
 public:
  LiveFeed(const Painter& paint, int width, int height)
      : paint_(paint), capture_(Yuv420FrameBytes(width, height)) {
    picture_.CreateSigned(width, height, 24, false);
  }
  const uint8_t* CaptureFrame() const { return capture_.data(); }
  int t = 0;

  // Paints frame t, encodes it and converts it into the frame pane.
  void Deliver(Dib& pane) {
    paint_(picture_, t);
    const int w = picture_.Width();
    const int h = picture_.Height();
    uint8_t* cb = capture_.data() + static_cast<size_t>(w) * h;
    uint8_t* cr = cb + static_cast<size_t>(w / 2) * (h / 2);
    for (int row = 0; row < h; ++row) {
      const uint8_t* p = picture_.Row(h - 1 - row);
      for (int x = 0; x < w; ++x) {
        const double b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
        capture_[row * w + x] = static_cast<uint8_t>(0.299 * r + 0.587 * g + 0.114 * b + 0.5);
        if (row % 2 == 0 && x % 2 == 0) {
          const int i = (row / 2) * (w / 2) + x / 2;
          cb[i] = static_cast<uint8_t>(
              std::clamp(128.5 - 0.168736 * r - 0.331264 * g + 0.5 * b, 0.0, 255.0));
          cr[i] = static_cast<uint8_t>(
              std::clamp(128.5 + 0.5 * r - 0.418688 * g - 0.081312 * b, 0.0, 255.0));
        }
      }
    }
    Yuv420ToRgb(capture_.data(), pane, true);
  }
  void ReadFrame(DetectionState& state) override {
    Deliver(state.panes.topLeft());
    state.frameNumber = t;
  }

 private:
  const Painter& paint_;
  Dib picture_;
  std::vector<uint8_t> capture_;
};

SceneRun RunLiveScene(ModeId mode, int frames, int width, int height, const Painter& paint,
                      long* allocationsAfterFirstFrame = nullptr) {
  DetectionState state;
  state.alarmLogEnabled = false;
  LiveFeed feed(paint, width, height);
  state.online = true;
  state.captureFrame = feed.CaptureFrame();
  state.panes.topLeft().CreateSigned(width, height, 24, false);
  feed.Deliver(state.panes.topLeft());
  EXPECT_TRUE(SelectMode(state, mode));
  EXPECT_EQ(state.smoke.detector->LiveLuminance(), feed.CaptureFrame());
  SceneRun run;
  run.alarm.reserve(frames);
  for (int t = 1; t <= frames; ++t) {
    if (t == 2 && allocationsAfterFirstFrame) test::StartCountingAllocations();
    feed.t = t;
    RunPipeline(state, feed);
    run.alarm.push_back(state.alarmFlag);
  }
  if (allocationsAfterFirstFrame) *allocationsAfterFirstFrame = test::StopCountingAllocations();
  return run;
}

TEST(SmokeLive, ScenesOnLiveFrames) {
  const int w = 160;
  const int h = 128;
  struct Case {
    const char* name;
    ModeId mode;
    Painter paint;
    std::optional<int> firstAlarm;
  };
  const Case cases[] = {
      {"static, pixels", ModeId::Smoke, StaticScene(w, h), std::nullopt},
      {"static, blocks", ModeId::BlockSmoke, StaticScene(w, h), std::nullopt},
      {"grey flicker, pixels", ModeId::Smoke, FlickeringRegion(w, h, {60, 60, 60}, {200, 200, 200}),
       126},
      {"plume, pixels", ModeId::Smoke, Plume(w, h), 126},
      {"plume, blocks", ModeId::BlockSmoke, Plume(w, h), 73},
  };
  for (const Case& c : cases) {
    long allocations = -1;
    const SceneRun run = RunLiveScene(c.mode, 200, w, h, c.paint, &allocations);
    EXPECT_EQ(run.FirstAlarm(), c.firstAlarm) << c.name;
    EXPECT_EQ(allocations, 0) << c.name;
  }
}

// A detector built on live frames goes back to the colour frames once the session is offline,
// and follows the capture frame again when it is online.
TEST(SmokeLive, TheDetectorFollowsTheOnlineFlag) {
  for (const ModeId mode : {ModeId::Smoke, ModeId::BlockSmoke}) {
    DetectionState state;
    std::vector<uint8_t> capture(Yuv420FrameBytes(48, 32), 128);
    state.online = true;
    state.captureFrame = capture.data();
    state.panes.topLeft() = MakeFrame(48, 32, {128, 128, 128});
    ASSERT_TRUE(SelectMode(state, mode));
    EXPECT_EQ(state.smoke.detector->LiveLuminance(), capture.data());
    state.online = false;
    RunDetectionStep(state);
    RunEndOfFrame(state);
    EXPECT_EQ(state.smoke.detector->LiveLuminance(), nullptr) << ModeNumber(mode);
    state.online = true;
    RunDetectionStep(state);
    EXPECT_EQ(state.smoke.detector->LiveLuminance(), capture.data()) << ModeNumber(mode);
  }
}

}  // namespace
}  // namespace fw
