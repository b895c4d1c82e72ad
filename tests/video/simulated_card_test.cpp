#include "video/simulated_card.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/support/clips.h"
#include "tests/support/lockstep_clock.h"

namespace fw {
namespace {

using Clock = PaceClock::Clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using test::LockstepClock;

// A taken frame, copied: the slot's buffer is reused after the next take.
struct Taken {
  int64_t sequence;
  Clock::time_point time;
  std::vector<uint8_t> bytes;
};

// Takes `count` frames, letting the card make each one; every frame is taken, none dropped.
std::vector<Taken> TakeInStep(SimulatedCard& card, LockstepClock& clock, int count) {
  std::vector<Taken> frames;
  for (int i = 0; i < count; ++i) {
    clock.Release(1);
    CapturedFrame frame;
    const auto wait = card.Frames().WaitTake(frame, Clock::now() + std::chrono::seconds(30));
    EXPECT_EQ(wait, FrameSlot::Wait::Frame) << "frame " << i;
    if (wait != FrameSlot::Wait::Frame) break;
    frames.push_back({frame.sequence, frame.time, {frame.data, frame.data + frame.bytes}});
  }
  return frames;
}

uint8_t LumaAt(const Taken& frame, int x, int y) {
  return frame.bytes[y * kCaptureWidth + x];
}

// The card delivers frame n of a run n + 1 frame times after Start, for whole rates (12.9
// frames per second is asked for as 12) and at the ends of the range (0 gives 1, 500 gives 200).
TEST(SimulatedCardTest, FramesAreDueAtTheRequestedRate) {
  for (const int rate : {25, 12, 1, 200, 0, 500}) {
    SCOPED_TRACE(rate);
    const int expected = std::clamp(rate, 1, 200);
    LockstepClock clock;
    SimulatedCard card("", &clock);
    ASSERT_TRUE(card.Open().ok());
    const Clock::time_point start = clock.Now();
    ASSERT_TRUE(card.Start(rate).ok());
    const std::vector<Taken> frames = TakeInStep(card, clock, 30);
    ASSERT_EQ(frames.size(), 30u);
    for (int n = 0; n < 30; ++n) {
      EXPECT_EQ(frames[n].sequence, n);
      EXPECT_EQ(frames[n].time - start, nanoseconds((n + 1) * int64_t{1000000000} / expected));
    }
    card.Stop();
    EXPECT_EQ(card.Frames().Counts().dropped, 0);
  }
}

// After a stall of a second the card goes on from the moment it woke at the same rate; it does
// not burst out the frames it missed.
TEST(SimulatedCardTest, StallRestartsTheScheduleInsteadOfCatchingUp) {
  LockstepClock clock;
  clock.Stall(5, milliseconds(1000));
  SimulatedCard card("", &clock);
  ASSERT_TRUE(card.Open().ok());
  const Clock::time_point start = clock.Now();
  ASSERT_TRUE(card.Start(10).ok());
  const std::vector<Taken> frames = TakeInStep(card, clock, 10);
  ASSERT_EQ(frames.size(), 10u);
  EXPECT_EQ(frames[4].time - start, milliseconds(500));
  EXPECT_EQ(frames[5].time - start, milliseconds(1600));  // due at 600 ms, woke 1 s late
  for (int n = 6; n < 10; ++n) {
    EXPECT_EQ(frames[n].time - frames[n - 1].time, milliseconds(100)) << n;
  }
  card.Close();
}

// A file plays in a loop, one file frame per delivered frame, and goes on where it was after
// Stop and Start. The clip's frames are grey levels 10 x index away from their small square.
TEST(SimulatedCardTest, ReplaysTheFileInALoopAsCaptureFrames) {
  const std::string clip = test::MakeClip("sim_replay", 176, 144, 4);
  LockstepClock clock;
  SimulatedCard card(clip, &clock);
  ASSERT_TRUE(card.Open().ok());
  EXPECT_EQ(card.Parameters().inputWidth, 176);
  EXPECT_EQ(card.Parameters().inputHeight, 144);
  ASSERT_TRUE(card.Start(25).ok());
  std::vector<int> greys;
  for (const Taken& f : TakeInStep(card, clock, 6)) greys.push_back(LumaAt(f, 200, 150));
  card.Stop();
  ASSERT_TRUE(card.Start(25).ok());
  for (const Taken& f : TakeInStep(card, clock, 3)) greys.push_back(LumaAt(f, 200, 150));
  card.Close();
  const std::vector<int> expected = {0, 10, 20, 30, 0, 10, 20, 30, 0};
  ASSERT_EQ(greys.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(greys[i], expected[i], 1) << i;
}

// The test pattern moves: consecutive frames differ, and the bars stay.
TEST(SimulatedCardTest, TestPatternMoves) {
  LockstepClock clock;
  SimulatedCard card("", &clock);
  ASSERT_TRUE(card.Open().ok());
  EXPECT_EQ(card.Parameters().format, "test pattern");
  ASSERT_TRUE(card.Start(25).ok());
  std::vector<std::vector<uint8_t>> frames;
  for (Taken& f : TakeInStep(card, clock, 3)) frames.push_back(std::move(f.bytes));
  card.Close();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_NE(frames[0], frames[1]);
  EXPECT_NE(frames[1], frames[2]);
  // Top row: the first bar is white-ish, the last near black.
  EXPECT_GT(frames[0][10], 200);
  EXPECT_LT(frames[0][kCaptureWidth - 10], 40);
}

// A file the card cannot replay is the card's initialisation failure, named with the file.
TEST(SimulatedCardTest, UnplayableFileFailsToOpen) {
  const std::string dir = test::TempDir("sim_bad");
  const std::string text = dir + "/notes.avi";
  std::ofstream(text) << "not a video";
  for (const std::string& file : {dir + "/missing.avi", text}) {
    SCOPED_TRACE(file);
    SimulatedCard card(file);
    const Result opened = card.Open();
    EXPECT_FALSE(opened.ok());
    EXPECT_EQ(card.Fault(), CaptureFault::CardInit);
    EXPECT_TRUE(opened.message().starts_with("sim:" + file + ": ")) << opened.message();
    EXPECT_GT(opened.message().size(), file.size() + 6);
    EXPECT_FALSE(card.Start(25).ok());
    card.Close();  // the stop sequence on a card that never opened is harmless
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace fw
