#include "video/frame_slot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace fw {
namespace {

using Clock = FrameSlot::Clock;

constexpr size_t kBytes = 4096;

// Every byte of a frame carries its number, so a torn or overwritten frame shows.
void FillFrame(FrameSlot& slot, int64_t number) {
  std::memset(slot.Filling(), static_cast<int>(number % 251), kBytes);
}

bool FrameIs(const CapturedFrame& frame, int64_t number) {
  return std::all_of(frame.data, frame.data + frame.bytes,
                     [&](uint8_t b) { return b == number % 251; });
}

// A slow consumer, step by step: 'P' publishes the next frame, 'T' takes. Each take gets the
// newest frame or nothing, never a frame twice; every frame replaced while waiting is dropped.
TEST(FrameSlotTest, LateFramesReplaceTheWaitingOneAndAreCounted) {
  struct Case {
    std::string steps;
    std::vector<int64_t> taken;  // -1: the take found nothing
    int64_t dropped;
  };
  const Case cases[] = {
      {"PT", {0}, 0},           {"PPPPPT", {4}, 4},       {"PPPPPTT", {4, -1}, 4},
      {"TPTT", {-1, 0, -1}, 0}, {"PTPTPT", {0, 1, 2}, 0}, {"PPTPPPTPT", {1, 4, 5}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps);
    FrameSlot slot(kBytes);
    std::vector<int64_t> taken;
    int64_t next = 0;
    for (const char step : c.steps) {
      if (step == 'P') {
        FillFrame(slot, next);
        slot.Publish(Clock::time_point(std::chrono::milliseconds(40 * next)));
        ++next;
        continue;
      }
      CapturedFrame frame;
      if (!slot.Take(frame)) {
        taken.push_back(-1);
        continue;
      }
      taken.push_back(frame.sequence);
      EXPECT_TRUE(FrameIs(frame, frame.sequence));
      EXPECT_EQ(frame.time, Clock::time_point(std::chrono::milliseconds(40 * frame.sequence)));
      EXPECT_EQ(frame.bytes, kBytes);
    }
    EXPECT_EQ(taken, c.taken);
    const CaptureCounts counts = slot.Counts();
    EXPECT_EQ(counts.delivered, next);
    EXPECT_EQ(counts.dropped, c.dropped);
    EXPECT_EQ(counts.taken, static_cast<int64_t>(std::count_if(taken.begin(), taken.end(),
                                                               [](int64_t s) { return s >= 0; })));
  }
}

// A producer that never waits against a consumer that holds each frame a while: frames come
// out in order, none twice, none torn, the held frame never changes under the consumer, and
// every frame is either taken or counted as dropped.
TEST(FrameSlotTest, SlowConsumerOnAnotherThreadSeesWholeFramesInOrder) {
  constexpr int64_t kFrames = 20000;
  FrameSlot slot(kBytes);
  std::atomic<bool> go{false};
  std::thread producer([&] {
    while (!go.load()) std::this_thread::yield();
    for (int64_t i = 0; i < kFrames; ++i) {
      FillFrame(slot, i);
      slot.Publish(Clock::now());
      std::this_thread::yield();
    }
    slot.Finish();
  });
  int64_t last = -1;
  int64_t takes = 0;
  bool ordered = true;
  bool whole = true;
  CapturedFrame frame;
  const auto deadline = Clock::now() + std::chrono::minutes(2);
  go = true;
  while (slot.WaitTake(frame, deadline) == FrameSlot::Wait::Frame) {
    ++takes;
    ordered = ordered && frame.sequence > last;
    last = frame.sequence;
    whole = whole && FrameIs(frame, frame.sequence);
    // Hold the frame while the producer goes on, then look at it again.
    const int64_t seen = slot.Counts().delivered;
    while (slot.Counts().delivered < std::min(seen + 3, kFrames)) std::this_thread::yield();
    whole = whole && FrameIs(frame, frame.sequence);
  }
  producer.join();
  EXPECT_TRUE(ordered);
  EXPECT_TRUE(whole);
  const CaptureCounts counts = slot.Counts();
  EXPECT_EQ(counts.delivered, kFrames);
  EXPECT_EQ(counts.taken, takes);
  EXPECT_EQ(counts.taken + counts.dropped, kFrames);
  EXPECT_EQ(last, kFrames - 1);  // the last frame is never lost
  EXPECT_GT(counts.dropped, 0);
  EXPECT_GT(takes, 1);
}

// A finished slot still hands out the frame that waits, then says it is finished; an
// interrupt or a passed deadline returns at once without a frame.
TEST(FrameSlotTest, WaitEndsWithFrameFinishOrInterrupt) {
  FrameSlot slot(kBytes);
  CapturedFrame frame;
  EXPECT_EQ(slot.WaitTake(frame, Clock::now()), FrameSlot::Wait::Timeout);
  slot.Interrupt();
  EXPECT_EQ(slot.WaitTake(frame, Clock::now() + std::chrono::hours(1)), FrameSlot::Wait::Timeout);
  FillFrame(slot, 0);
  slot.Publish(Clock::now());
  slot.Finish();
  const auto later = Clock::now() + std::chrono::hours(1);
  EXPECT_EQ(slot.WaitTake(frame, later), FrameSlot::Wait::Frame);
  EXPECT_EQ(frame.sequence, 0);
  EXPECT_EQ(slot.WaitTake(frame, later), FrameSlot::Wait::Finished);
}

// Reset (a new start) clears the counts and a waiting frame, and leaves the frame the engine
// holds readable and unchanged while the next frames are written.
TEST(FrameSlotTest, ResetKeepsTheHeldFrame) {
  FrameSlot slot(kBytes);
  FillFrame(slot, 7);
  slot.Publish(Clock::now());
  CapturedFrame held;
  ASSERT_TRUE(slot.Take(held));
  FillFrame(slot, 8);
  slot.Publish(Clock::now());
  slot.Reset();
  EXPECT_EQ(slot.Counts().delivered, 0);
  CapturedFrame frame;
  EXPECT_FALSE(slot.Take(frame));
  for (int i = 0; i < 5; ++i) {
    FillFrame(slot, 20 + i);
    slot.Publish(Clock::now());
  }
  EXPECT_TRUE(FrameIs(held, 7));
  ASSERT_TRUE(slot.Take(frame));
  EXPECT_EQ(frame.sequence, 4);
  EXPECT_TRUE(FrameIs(frame, 24));
}

}  // namespace
}  // namespace fw
