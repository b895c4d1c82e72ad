// The spring-mouth engine (7016): the search finds every displacement within +-4 pixels, gives
// exactly the vectors of a plain full search (ties included), and the accumulation holds exactly
// the last 200 frames; blocks still in more than 159 of them are no region candidates.
#include "detect/engines/spring_mouth_engine.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/detect/engines/engine_frames.h"

namespace fw::engines {
namespace {

// One frame through the steps that carry the motion and the accumulation.
void Step(SpringMouthEngine& engine, Dib& pane, const Dib& frame) {
  pane.CopyFrom(frame, true);
  engine.ComputeIntegralImages();
  engine.SearchBlockMotion();
  engine.ClassifyAndAccumulate();
  engine.LabelMovingRegions(3);
  engine.BuildAngleHistograms();
  engine.AdvanceSlot();
}

TEST(SpringMouthEngine, SearchFindsEveryDisplacement) {
  const Dib texture = test::Texture(120, 100, 21);
  for (int dy = -4; dy <= 4; ++dy) {
    for (int dx = -4; dx <= 4; ++dx) {
      if (dx == 0 && dy == 0) continue;
      SCOPED_TRACE(testing::Message() << dx << "," << dy);
      // 100 x 77: the remainders lie outside every block.
      const test::ShiftedPair frames = test::Shifted(texture, 100, 77, dx, dy, 6);
      Dib pane;
      pane.CopyFrom(frames.first, false);
      SpringMouthEngine engine;
      engine.InitialiseSpringMouth(pane);
      Step(engine, pane, frames.first);
      pane.CopyFrom(frames.second, true);
      engine.ComputeIntegralImages();
      engine.SearchBlockMotion();
      for (int r = 0; r < engine.Rows(); ++r) {
        for (int c = 0; c < engine.Columns(); ++c) {
          const int block = r * engine.Columns() + c;
          const bool inside = c >= 2 && c < engine.Columns() - 2 && r >= 2 && r < engine.Rows() - 2;
          EXPECT_EQ(engine.Dx(block), inside ? dx : 0) << c << "," << r;
          EXPECT_EQ(engine.Dy(block), inside ? dy : 0) << c << "," << r;
          EXPECT_EQ(engine.State(block), inside ? SpringMouthEngine::kMoved : 0);
        }
      }
      engine.ClassifyAndAccumulate();
      const int k = engine.State(2 * engine.Columns() + 2);
      EXPECT_TRUE(k >= 1 && k <= 8);
    }
  }
}

// Frames of two grey levels, so that many candidates cost the same, with patches of the
// previous frame moved by random displacements, flat patches and a few changed bytes.
std::vector<Dib> TieProneFrames(int width, int height, int count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Dib> frames;
  Dib& first = frames.emplace_back();
  first.CreateSigned(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3 * width; ++x) first.Row(y)[x] = rng() % 2 ? 100 : 130;
  }
  const auto any = [&rng](int low, int high) {
    return low + static_cast<int>(rng() % static_cast<uint32_t>(high - low + 1));
  };
  for (int i = 0; i < 4; ++i) {
    const int x0 = any(0, width - 20);
    const int y0 = any(0, height - 20);
    for (int y = y0; y < y0 + 20; ++y) std::fill_n(first.Row(y) + 3 * x0, 60, 115);
  }
  for (int t = 1; t < count; ++t) {
    const Dib& previous = frames.back();
    Dib next;
    next.CopyFrom(previous, false);
    for (int k = 0; k < 10; ++k) {
      const int w = any(8, 40);
      const int h = any(8, 40);
      const int x0 = any(4, width - w - 4);
      const int y0 = any(4, height - h - 4);
      const int dx = any(-4, 4);
      const int dy = any(-4, 4);
      for (int y = y0; y < y0 + h; ++y) {
        std::copy_n(previous.Row(y - dy) + 3 * (x0 - dx), 3 * w, next.Row(y) + 3 * x0);
      }
    }
    for (int k = 0; k < width * height / 50; ++k) {
      next.Row(any(0, height - 1))[any(0, 3 * width - 1)] ^= 16;
    }
    frames.push_back(std::move(next));
  }
  return frames;
}

struct Vector {
  int dx = 0;
  int dy = 0;
  bool moved = false;
};

// The plain full search: the cost at rest first, then every displacement in order, the first
// strictly smaller cost winning.
Vector FullSearch(const Dib& current, const Dib& previous, int x, int y) {
  const int stride = current.Stride();
  const uint8_t* block = current.Row(y) + 3 * x;
  int best = BlockSadPlain(block, previous.Row(y) + 3 * x, stride);
  Vector v;
  if (best < SpringMouthEngine::kStaticCost) return v;
  for (int dy = -4; dy <= 4; ++dy) {
    for (int dx = -4; dx <= 4; ++dx) {
      if (dx == 0 && dy == 0) continue;
      const int cost = BlockSadPlain(block, previous.Row(y - dy) + 3 * (x - dx), stride);
      if (cost < best) {
        best = cost;
        v = {dx, dy, true};
      }
    }
  }
  return v;
}

TEST(SpringMouthEngine, EliminationGivesTheVectorsOfThePlainFullSearch) {
  for (const uint32_t seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    const std::vector<Dib> frames = TieProneFrames(124, 92, 8, seed);
    Dib pane;
    pane.CopyFrom(frames[0], false);
    SpringMouthEngine engine;
    engine.InitialiseSpringMouth(pane);
    Dib black;
    black.CreateSigned(124, 92, 24, false);
    int moved = 0;
    for (size_t t = 0; t < frames.size(); ++t) {
      pane.CopyFrom(frames[t], true);
      engine.ComputeIntegralImages();
      engine.SearchBlockMotion();
      const Dib& previous = t == 0 ? black : frames[t - 1];
      for (int r = 2; r < engine.Rows() - 2; ++r) {
        for (int c = 2; c < engine.Columns() - 2; ++c) {
          const int block = r * engine.Columns() + c;
          const Vector expected = FullSearch(frames[t], previous, 8 * c, 8 * r);
          ASSERT_EQ(engine.Dx(block), expected.dx) << t << ": " << c << "," << r;
          ASSERT_EQ(engine.Dy(block), expected.dy) << t << ": " << c << "," << r;
          ASSERT_EQ(engine.State(block) != 0, expected.moved) << t << ": " << c << "," << r;
          moved += expected.moved ? 1 : 0;
        }
      }
      engine.ClassifyAndAccumulate();
      engine.AdvanceSlot();
    }
    EXPECT_GT(moved, 100);  // the search was exercised
  }
}

// A random texture scrolling one pixel to the right on the frames whose number is in `moves`.
std::vector<Dib> Scrolling(int count, const std::vector<bool>& moves) {
  const Dib texture = test::Texture(64 + count + 8, 48, 31);
  std::vector<Dib> frames;
  int shift = 0;
  for (int t = 0; t < count; ++t) {
    if (moves[t]) ++shift;
    frames.push_back(test::Window(texture, count + 4 - shift, 0, 64, 48));
  }
  return frames;
}

TEST(SpringMouthEngine, AccumulationHoldsExactlyTheLastTwoHundredFrames) {
  // Every frame moves; the first is matched against a black frame and counts as still.
  const std::vector<Dib> frames = Scrolling(260, std::vector<bool>(260, true));
  Dib pane;
  pane.CopyFrom(frames[0], false);
  SpringMouthEngine engine;
  engine.InitialiseSpringMouth(pane);
  const int block = 2 * engine.Columns() + 3;
  const auto moving = [&] {
    int frames = 0;
    int sumX = 0;
    for (int k = 1; k <= 8; ++k) {
      frames += engine.ClassCount(block, k);
      sumX += engine.ClassSumX(block, k);
    }
    EXPECT_EQ(sumX, frames);  // one pixel to the right each time
    return frames;
  };
  for (int t = 0; t < 199; ++t) Step(engine, pane, frames[t]);
  EXPECT_EQ(engine.FramesAccumulated(), 199);
  EXPECT_EQ(engine.RegionCount(), 0);  // nothing is labelled while initialising
  Step(engine, pane, frames[199]);
  EXPECT_EQ(engine.FramesAccumulated(), 200);
  EXPECT_EQ(engine.StaticCount(block), 1);
  EXPECT_EQ(moving(), 199);
  EXPECT_EQ(engine.RegionCount(), 1);
  EXPECT_EQ(engine.RegionSize(0), (engine.Columns() - 4) * (engine.Rows() - 4));
  // The first frame leaves the window with the 201st.
  Step(engine, pane, frames[200]);
  EXPECT_EQ(engine.StaticCount(block), 0);
  EXPECT_EQ(moving(), 200);
  for (int t = 201; t < 260; ++t) Step(engine, pane, frames[t]);
  EXPECT_EQ(engine.StaticCount(block), 0);
  EXPECT_EQ(moving(), 200);
  // Every region block's mean motion points right: angle bin 0, all of the histogram there.
  EXPECT_EQ(engine.AngleBinMap()[block], 0);
  EXPECT_FLOAT_EQ(engine.AngleHistogram(0)[0], 1.0f);
}

TEST(SpringMouthEngine, RegionBlocksMayBeStillInAtMost159Frames) {
  for (const int movingFrames : {40, 41}) {
    // Frames 2 .. movingFrames + 1 move (frame 1 is still against the black frame).
    std::vector<bool> moves(200, false);
    for (int t = 1; t <= movingFrames; ++t) moves[t] = true;
    const std::vector<Dib> frames = Scrolling(200, moves);
    Dib pane;
    pane.CopyFrom(frames[0], false);
    SpringMouthEngine engine;
    engine.InitialiseSpringMouth(pane);
    for (const Dib& frame : frames) Step(engine, pane, frame);
    const int block = 2 * engine.Columns() + 2;
    EXPECT_EQ(engine.StaticCount(block), 200 - movingFrames);
    EXPECT_EQ(engine.LabelMap()[block], movingFrames == 41 ? 10 : 0) << movingFrames;
  }
}

}  // namespace
}  // namespace fw::engines
