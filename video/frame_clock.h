// Paces playback: a frame is due when at least one frame interval has passed since the moment
// the previous frame was due. Time points come from the caller, so the clock is testable with
// synthetic times and the engine thread can sleep until the next frame instead of polling.
#pragma once

#include <chrono>

namespace fw {

class FrameClock {
 public:
  using Clock = std::chrono::steady_clock;
  using Seconds = std::chrono::duration<double>;

  // Makes `now` the reference point (the start of playback).
  void InitFrameClock(Clock::time_point now) { last_ = now; }
  // True when at least `interval` has passed since the reference point, which then becomes
  // `now`: time spent beyond the interval is not made up, so a frame that took longer than the
  // interval is followed at once by the next and the one after waits a full interval again.
  bool IsFrameDue(Clock::time_point now, Seconds interval);
  // The earliest time at which IsFrameDue returns true for this interval.
  Clock::time_point NextDue(Seconds interval) const { return last_ + Ticks(interval); }
  Clock::time_point Reference() const { return last_; }

 private:
  // The interval in clock ticks, rounded up so that a frame is never due early.
  static Clock::duration Ticks(Seconds interval);

  Clock::time_point last_{};
};

}  // namespace fw
