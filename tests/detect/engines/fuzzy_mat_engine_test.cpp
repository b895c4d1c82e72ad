// Fuzzy MAT (7012): block directions of known shifts, the change limit and the tie rule, the
// frame rejection, the dominant direction, and the vote and the 60-of-100 alarm at their limits.
#include "detect/engines/fuzzy_mat_engine.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/detect/engines/engine_frames.h"

namespace fw::engines {
namespace {

// A grey ramp rising along the direction of a code.
Dib Ramp(int width, int height, int code) {
  Dib image;
  image.CreateSigned(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int along =
          (kCodeStepX[code] > 0 ? x : width - 1 - x) + (kCodeStepY[code] > 0 ? y : height - 1 - y);
      std::fill_n(image.Row(y) + 3 * x, 3, static_cast<uint8_t>(1.2 * along));
    }
  }
  return image;
}

// The window sums of a block moved along such a ramp differ least, over the three distances,
// for the step against the motion. (Along an axis the two diagonal steps next to it tie with it
// on any picture whose sums change linearly, and the later step wins the tie: the estimate tells
// the diagonals apart exactly, the axes only on pictures such as the plume's.)
TEST(FuzzyMatEngine, DiagonalShiftsAlongARamp) {
  // 100 x 77: 6 x 4 blocks of 16, the remainders outside every block.
  for (const int code : {2, 4, 6, 8}) {
    for (const int distance : {2, 3}) {
      SCOPED_TRACE(testing::Message() << "code " << code << " distance " << distance);
      const test::ShiftedPair frames =
          test::Shifted(Ramp(108, 85, code), 100, 77, distance * kCodeStepX[code],
                        distance * kCodeStepY[code], 4);
      Dib pane;
      pane.CopyFrom(frames.first, false);
      FuzzyMatEngine engine;
      engine.InitialiseMat(pane);
      engine.EstimateBlockDirections();
      engine.EndMatFrame();
      pane.CopyFrom(frames.second, true);
      engine.EstimateBlockDirections();
      ASSERT_EQ(engine.Columns(), 6);
      ASSERT_EQ(engine.Rows(), 4);
      for (int r = 0; r < engine.Rows(); ++r) {
        for (int c = 0; c < engine.Columns(); ++c) {
          const bool border = c == 0 || r == 0 || c == 5 || r == 3;
          EXPECT_EQ(engine.ChangeMap()[r * 6 + c], 255) << c << "," << r;
          EXPECT_EQ(engine.CodeMap()[r * 6 + c], border ? 0 : code) << c << "," << r;
        }
      }
    }
  }
}

// Against the zero sums of the first frame every displaced window differs by the same amount,
// so the last step tried (1, -1), code 4, wins the tie; a change of 664 is no change.
TEST(FuzzyMatEngine, ChangeLimitAndTies) {
  for (const int sum : {664, 665}) {
    Dib pane;
    pane.CreateSigned(64, 64, 24, false);
    // Three pixels of block (1, 1) whose mean grey adds up to `sum`.
    const int values[3] = {255, 255, sum - 510};
    for (int i = 0; i < 3; ++i) std::fill_n(pane.Row(20) + 3 * (20 + i), 3, values[i]);
    FuzzyMatEngine engine;
    engine.InitialiseMat(pane);
    engine.EstimateBlockDirections();
    const int block = 1 * engine.Columns() + 1;
    EXPECT_EQ(engine.ChangeMap()[block], sum == 665 ? 255 : 0) << sum;
    EXPECT_EQ(engine.CodeMap()[block], sum == 665 ? 4 : 0) << sum;
  }
}

// An engine on a black 160 x 160 frame (10 x 10 blocks).
struct MapEngine {
  MapEngine() {
    pane.CreateSigned(160, 160, 24, false);
    engine.InitialiseMat(pane);
  }
  std::vector<uint8_t> Codes(int count, uint8_t code) const {
    std::vector<uint8_t> codes(engine.BlockCount(), 0);
    std::fill_n(codes.begin(), count, code);
    return codes;
  }
  Dib pane;
  FuzzyMatEngine engine;
};

TEST(FuzzyMatEngine, AFrameWithThreeTimesTheCodedBlocksIsTakenBack) {
  for (const int after : {29, 30}) {
    MapEngine m;
    m.engine.RecordCodes(m.Codes(10, 3));
    m.engine.EndMatFrame();
    m.engine.RecordCodes(m.Codes(after, 3));
    const bool rejected = after == 30;
    EXPECT_EQ(m.engine.RingCode(m.engine.RingIndex(), 0), rejected ? 0 : 3) << after;
    EXPECT_EQ(m.engine.CodeCount(0, 3), rejected ? 1 : 2);
    EXPECT_EQ(m.engine.CodeCount(20, 3), rejected ? 0 : 1);
  }
}

TEST(FuzzyMatEngine, DominantDirectionNeedsTwentyCodesAndTakesTheHigherOnTies) {
  const struct {
    int frames2;
    int frames5;
    int dominant;
  } cases[] = {{7, 7, 0}, {10, 10, 5}, {11, 9, 2}, {19, 0, 0}, {20, 0, 2}};
  for (const auto& c : cases) {
    MapEngine m;
    for (int i = 0; i < c.frames2 + c.frames5; ++i) {
      m.engine.RecordCodes(m.Codes(1, i < c.frames2 ? 2 : 5));
      m.engine.EndMatFrame();
    }
    EXPECT_EQ(m.engine.DominantMap()[0], c.dominant) << c.frames2 << " " << c.frames5;
  }
}

// Sets the dominant map to `counts[k]` blocks of each code k and votes once.
uint8_t Vote(MapEngine& m, const std::vector<int>& counts) {
  std::fill(m.engine.DominantMap().begin(), m.engine.DominantMap().end(), 0);
  int block = 0;
  for (int code = 1; code <= 8; ++code) {
    for (int i = 0; i < counts[code]; ++i)
      m.engine.DominantMap()[block++] = static_cast<uint8_t>(code);
  }
  Dib display;
  const uint8_t alarm = m.engine.VoteDirections(display);
  return alarm;
}

TEST(FuzzyMatEngine, VoteLimits) {
  const struct {
    const char* name;
    std::vector<int> counts;  // blocks per code 1..8 (index 0 unused)
    uint8_t vote;
  } cases[] = {
      {"eight blocks do not vote", {0, 0, 0, 8, 0, 0, 0, 0, 0}, 0},
      {"nine blocks vote", {0, 0, 0, 9, 0, 0, 0, 0, 0}, 1},
      {"upward ratio 0.6 votes yes", {0, 2, 4, 4, 4, 2, 2, 1, 1}, 1},
      {"upward ratio 0.55 does not", {0, 2, 4, 4, 3, 2, 2, 2, 1}, 0},
      {"largest share 0.45 does not", {0, 9, 0, 0, 0, 3, 3, 3, 2}, 0},
      {"largest share 0.5 votes yes", {0, 10, 0, 0, 0, 3, 3, 2, 2}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MapEngine m;
    Vote(m, c.counts);
    EXPECT_EQ(m.engine.Vote(m.engine.RingIndex()), c.vote);
  }
  // Too few blocks keep the ratios of the last vote.
  MapEngine m;
  Vote(m, {0, 2, 4, 4, 4, 2, 2, 1, 1});
  m.engine.EndMatFrame();
  Vote(m, {0, 0, 0, 1, 0, 0, 0, 0, 0});
  EXPECT_FLOAT_EQ(m.engine.UpwardRatio(), 0.6f);
  EXPECT_FLOAT_EQ(m.engine.MaximumProportion(), 0.2f);
}

TEST(FuzzyMatEngine, AlarmWhileSixtyOfTheLastHundredFramesVotedYes) {
  MapEngine m;
  const std::vector<int> yes = {0, 0, 0, 9, 0, 0, 0, 0, 0};
  const std::vector<int> no = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  const auto frame = [&](bool vote) {
    const uint8_t alarm = Vote(m, vote ? yes : no);
    m.engine.EndMatFrame();
    return alarm;
  };
  for (int t = 0; t < 59; ++t) EXPECT_EQ(frame(true), 0);
  EXPECT_EQ(frame(true), 1);  // 60 yes votes
  EXPECT_FLOAT_EQ(m.engine.AlarmRatio(), 0.6f);
  for (int t = 0; t < 40; ++t) EXPECT_EQ(frame(false), 1);
  EXPECT_EQ(frame(false), 0);  // the first yes vote left the window: 59
}

}  // namespace
}  // namespace fw::engines
