#include "video/frame_clock.h"

#include <algorithm>

namespace fw {

FrameClock::Clock::duration FrameClock::Ticks(Seconds interval) {
  if (!(interval.count() > 0.0)) return Clock::duration::zero();
  // Far beyond any frame rate, but keeps the tick count inside the clock's range.
  constexpr double kLongest = 1e9;
  return std::chrono::ceil<Clock::duration>(Seconds(std::min(interval.count(), kLongest)));
}

bool FrameClock::IsFrameDue(Clock::time_point now, Seconds interval) {
  if (now - last_ < Ticks(interval)) return false;
  last_ = now;
  return true;
}

}  // namespace fw
