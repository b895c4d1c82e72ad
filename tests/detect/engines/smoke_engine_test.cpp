// The engineering engine (7014, 7015): block matching finds known shifts in the eight directions
// (up is towards higher memory rows), the static cost and tie rules, the 100-frame direction
// histograms, the dominant direction, and the region and 70-of-100 votes at their limits.
#include "detect/engines/smoke_engine.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/detect/engines/engine_frames.h"

namespace fw::engines {
namespace {

// Runs the motion estimate of the chosen kind on two frames; the first is matched against the
// black frame of the initialisation.
void TwoFrames(SmokeEngine& engine, Dib& pane, const test::ShiftedPair& frames, bool fuzzy) {
  pane.CopyFrom(frames.first, false);
  fuzzy ? engine.InitialiseFuzzy(pane) : engine.InitialiseEngineering(pane);
  fuzzy ? engine.EstimateFuzzyMotion() : engine.EstimateBlockMotion();
  engine.AdvanceFrame();
  pane.CopyFrom(frames.second, true);
  fuzzy ? engine.EstimateFuzzyMotion() : engine.EstimateBlockMotion();
}

TEST(SmokeEngine, BlockMatchingFindsKnownShifts) {
  const Dib texture = test::Texture(120, 100, 11);
  // Sizes that are not multiples of the block, so that the remainders lie outside every block.
  const struct {
    int width;
    int height;
  } sizes[] = {{100, 77}, {64, 48}};
  for (const bool fuzzy : {false, true}) {
    for (const auto& size : sizes) {
      for (int code = 1; code <= 8; ++code) {
        for (int distance = 1; distance <= (fuzzy ? 3 : 2); ++distance) {
          SCOPED_TRACE(testing::Message()
                       << (fuzzy ? "7015" : "7014") << " " << size.width << "x" << size.height
                       << " code " << code << " distance " << distance);
          const test::ShiftedPair frames =
              test::Shifted(texture, size.width, size.height, distance * kCodeStepX[code],
                            distance * kCodeStepY[code], 4);
          Dib pane;
          SmokeEngine engine;
          TwoFrames(engine, pane, frames, fuzzy);
          ASSERT_EQ(engine.Columns(), size.width / 8);
          for (int r = 0; r < engine.Rows(); ++r) {
            for (int c = 0; c < engine.Columns(); ++c) {
              const int block = r * engine.Columns() + c;
              // Every interior block, those next to the border included; the border is never
              // analysed.
              EXPECT_EQ(engine.DirectionMap()[block], engine.IsInterior(c, r) ? code : 0)
                  << c << "," << r;
              EXPECT_EQ(engine.MovingMap()[block], engine.IsInterior(c, r) ? 1 : 0);
            }
          }
          if (fuzzy) {
            // The winning direction holds the largest membership; the speed is the distance
            // over 3 sqrt(2).
            const std::span<const float, SmokeEngine::kFeatures> f =
                engine.Features(2 * engine.Columns() + 2);
            float sum = 0.0f;
            for (int k = 0; k <= 8; ++k) {
              sum += f[k];
              EXPECT_LE(f[k], f[code]);
            }
            EXPECT_NEAR(sum, 1.0f, 1e-5f);
            EXPECT_FLOAT_EQ(f[9], distance * (code % 2 == 1 ? 0.2357f : 0.3333f));
          }
        }
      }
    }
  }
}

// On the first frame the previous frame is black, so every displaced cost equals the cost at
// rest: a block whose pixels sum to 480 moves (code 5, the first displacement tried, wins the
// tie) in 7014 and stays at rest in 7015; 479 is at rest in both.
TEST(SmokeEngine, StaticCostLimitAndTies) {
  for (const int sum : {479, 480}) {
    for (const bool fuzzy : {false, true}) {
      Dib pane;
      pane.CreateSigned(64, 64, 24, false);
      uint8_t* corner = pane.Row(16) + 3 * 16;  // block (2, 2)
      corner[0] = 255;
      corner[1] = static_cast<uint8_t>(sum - 255);
      SmokeEngine engine;
      fuzzy ? engine.InitialiseFuzzy(pane) : engine.InitialiseEngineering(pane);
      fuzzy ? engine.EstimateFuzzyMotion() : engine.EstimateBlockMotion();
      const int block = 2 * engine.Columns() + 2;
      const bool moves = sum == 480 && !fuzzy;
      EXPECT_EQ(engine.DirectionMap()[block], moves ? 5 : 0) << sum << " " << fuzzy;
      EXPECT_EQ(engine.MovingMap()[block], moves ? 1 : 0);
      if (fuzzy) {
        // At rest by the test, or because no direction beats the cost at rest: memberships then
        // spread evenly over equal costs.
        const float expected = sum == 480 ? 1.0f / 9 : 1.0f;
        EXPECT_NEAR(engine.Features(block)[0], expected, 1e-6f);
      }
    }
  }
}

// An engine on a black 96 x 96 frame (12 x 12 blocks, interior 8 x 8) whose maps a test fills.
struct MapEngine {
  MapEngine() {
    pane.CreateSigned(96, 96, 24, false);
    engine.InitialiseEngineering(pane);
  }
  int Block(int c, int r) const { return r * engine.Columns() + c; }
  Dib pane;
  SmokeEngine engine;
};

TEST(SmokeEngine, DirectionHistogramsHoldTheLastHundredFrames) {
  MapEngine m;
  SmokeEngine& e = m.engine;
  const int a = m.Block(3, 3);
  const int b = m.Block(4, 3);
  // One frame with the pair of blocks moving in `code` (a region of two), then the next slot.
  const auto frame = [&](uint8_t code) {
    std::fill(e.DirectionMap().begin(), e.DirectionMap().end(), 0);
    e.DirectionMap()[a] = code;
    e.DirectionMap()[b] = code;
    e.LabelRegions(2, e.DirectionMap());
    e.AccumulateDirections();
    e.FindDominantDirections(25, 30);
    e.AdvanceFrame();
  };
  for (int t = 0; t < 130; ++t) frame(3);
  EXPECT_EQ(e.DirectionCount(a, 3), 100);
  EXPECT_EQ(e.CountMap()[a], 100);
  EXPECT_EQ(e.DominantMap()[a], 3);
  for (int t = 0; t < 30; ++t) frame(2);
  EXPECT_EQ(e.DirectionCount(a, 3), 70);
  EXPECT_EQ(e.DirectionCount(a, 2), 30);
  EXPECT_EQ(e.DominantMap()[a], 3);
  // Frames without motion take the codes out one by one.
  for (int t = 0; t < 71; ++t) frame(0);
  EXPECT_EQ(e.DirectionCount(a, 3), 0);
  EXPECT_EQ(e.DirectionCount(a, 2), 29);
  EXPECT_EQ(e.DominantMap()[a], 0);  // fewer than 30 codes
  EXPECT_EQ(e.DirectionCount(m.Block(5, 3), 2), 0);
}

TEST(SmokeEngine, DominantDirectionNeedsTheOppositeSideToBeWeak) {
  const struct {
    int codes[9];  // count of each code 1..8 (index 0 unused)
    int dominant;
  } cases[] = {
      {{0, 0, 0, 40, 0, 0, 0, 19, 0}, 3},  // 19 < 40 / 2
      {{0, 0, 0, 40, 0, 0, 0, 20, 0}, 0},  // 20 >= 40 / 2
      {{0, 0, 10, 12, 10, 0, 0, 0, 0}, 3},
      {{0, 10, 0, 0, 0, 10, 0, 0, 10}, 0},  // code 1 ties with 5 around the opposite
      {{0, 0, 0, 29, 0, 0, 0, 0, 0}, 0},    // fewer than 30
      {{0, 7, 0, 0, 0, 7, 0, 0, 16}, 8},    // the largest count
  };
  for (const auto& c : cases) {
    MapEngine m;
    SmokeEngine& e = m.engine;
    const int block = m.Block(3, 3);
    // Feed each code its count of frames through the histogram ring.
    for (int code = 1; code <= 8; ++code) {
      for (int i = 0; i < c.codes[code]; ++i) {
        std::fill(e.DirectionMap().begin(), e.DirectionMap().end(), 0);
        e.DirectionMap()[block] = static_cast<uint8_t>(code);
        e.DirectionMap()[block + 1] = static_cast<uint8_t>(code);
        e.LabelRegions(2, e.DirectionMap());
        e.AccumulateDirections();
        e.AdvanceFrame();
      }
    }
    e.FindDominantDirections(25, 30);
    EXPECT_EQ(e.DominantMap()[block], c.dominant) << c.codes[3] << " " << c.codes[7];
  }
}

// Fills the dominant map with a 2 x 5 region of which `upward` blocks are upward and labels it.
void UpwardRegion(MapEngine& m, int upward) {
  SmokeEngine& e = m.engine;
  std::fill(e.DominantMap().begin(), e.DominantMap().end(), 0);
  int placed = 0;
  for (int r = 3; r < 5; ++r) {
    for (int c = 3; c < 8; ++c) e.DominantMap()[m.Block(c, r)] = placed++ < upward ? 3 : 1;
  }
  e.LabelRegions(3, e.DominantMap());
}

TEST(SmokeEngine, RegionVoteNeedsMoreThanEightyPercentUpward) {
  for (const int upward : {8, 9, 10}) {
    MapEngine m;
    UpwardRegion(m, upward);
    ASSERT_EQ(m.engine.RegionCount(), 1);
    ASSERT_EQ(m.engine.RegionSize(0), 10);
    m.engine.DecideAlarm();
    EXPECT_EQ(m.engine.FlaggedFrames(), upward > 8 ? 1 : 0) << upward;
    EXPECT_FLOAT_EQ(m.engine.UpwardRatio(), upward > 8 ? upward / 10.0f : 0.0f);
  }
}

TEST(SmokeEngine, AlarmNeedsSeventyFlaggedFramesOfTheLastHundred) {
  MapEngine m;
  SmokeEngine& e = m.engine;
  const auto frame = [&](bool flagged) {
    UpwardRegion(m, flagged ? 10 : 0);
    const uint8_t alarm = e.DecideAlarm();
    e.AdvanceFrame();
    return alarm;
  };
  for (int t = 0; t < 31; ++t) EXPECT_EQ(frame(false), 0);
  for (int t = 0; t < 68; ++t) EXPECT_EQ(frame(true), 0);
  EXPECT_EQ(frame(true), 0);  // 69 of 100
  EXPECT_FLOAT_EQ(e.AlarmRatio(), 0.69f);
  EXPECT_FALSE(e.AlarmLatch());
  EXPECT_EQ(frame(true), 1);  // replaces an unflagged frame: 70
  EXPECT_FLOAT_EQ(e.AlarmRatio(), 0.7f);
  EXPECT_TRUE(e.AlarmLatch());
  // The latch stays when the alarm drops.
  for (int t = 0; t < 40; ++t) frame(false);
  EXPECT_EQ(frame(false), 0);
  EXPECT_TRUE(e.AlarmLatch());
}

TEST(SmokeEngine, StepsLeaveFramesOfAnotherSizeAlone) {
  Dib pane;
  pane.CreateSigned(64, 48, 24, false);
  SmokeEngine engine;
  engine.InitialiseFuzzy(pane);
  pane.CreateSigned(40, 40, 24, false);
  EXPECT_FALSE(engine.FrameMatches());
  Dib out;
  engine.EstimateFuzzyMotion();
  engine.TestRegionColour(out, {});
  engine.DrawMotion(out);
  EXPECT_EQ(engine.DecideAlarm(), 0);
  engine.AdvanceFrame();
  EXPECT_EQ(pane.Width(), 40);
  EXPECT_EQ(out.Width(), 16);  // not written
  Dib grey;
  grey.CreateSigned(64, 48, 8, false);
  SmokeEngine onGrey;
  onGrey.InitialiseEngineering(grey);
  EXPECT_FALSE(onGrey.FrameMatches());
}

}  // namespace
}  // namespace fw::engines
