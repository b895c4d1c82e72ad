#include "video/frame_clock.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

using std::chrono::milliseconds;
using Seconds = FrameClock::Seconds;

// Playback at 10 frames per second, polled at chosen moments (milliseconds after the start):
// a frame is due once 100 ms have passed since the last due frame, and a late poll restarts the
// interval from itself instead of catching up.
TEST(FrameClockTest, FrameIsDueAfterOneIntervalFromTheLastDueFrame) {
  struct Poll {
    int at;
    bool due;
  };
  const Poll polls[] = {
      {0, false},   {50, false},  {99, false}, {100, true},  // exactly one interval
      {150, false}, {199, false}, {200, true},               //
      {450, true},                                           // late: not made up
      {460, false}, {549, false}, {550, true}, {551, false},
  };
  const FrameClock::Clock::time_point start{std::chrono::seconds(1000)};
  FrameClock clock;
  clock.InitFrameClock(start);
  for (const Poll& p : polls) {
    EXPECT_EQ(clock.IsFrameDue(start + milliseconds(p.at), Seconds(0.1)), p.due)
        << "poll at " << p.at << " ms";
  }
  EXPECT_EQ(clock.Reference(), start + milliseconds(550));
}

// NextDue is the first moment IsFrameDue accepts, for intervals that are no whole number of
// clock ticks; a zero interval makes every poll due.
TEST(FrameClockTest, NextDueIsTheFirstDueMoment) {
  const FrameClock::Clock::time_point start{std::chrono::seconds(5)};
  for (const double rate : {1.0, 10.0, 29.97, 30.0, 200.0}) {
    FrameClock clock;
    clock.InitFrameClock(start);
    const Seconds interval(1.0 / rate);
    const auto due = clock.NextDue(interval);
    EXPECT_GE(Seconds(due - start).count(), interval.count()) << rate;
    EXPECT_FALSE(clock.IsFrameDue(due - FrameClock::Clock::duration(1), interval)) << rate;
    EXPECT_TRUE(clock.IsFrameDue(due, interval)) << rate;
    EXPECT_EQ(clock.NextDue(interval), due + (due - start)) << rate;
  }
  FrameClock clock;
  clock.InitFrameClock(start);
  EXPECT_TRUE(clock.IsFrameDue(start, Seconds(0.0)));
  EXPECT_TRUE(clock.IsFrameDue(start, Seconds(0.0)));
}

}  // namespace
}  // namespace fw
