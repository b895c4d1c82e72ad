// A pace clock that tests drive: the simulated card sleeps until the test lets one more frame go.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "video/simulated_card.h"

namespace fw::test {

// A clock the test drives: the card sleeps until the test lets one more frame go, and then finds
// the time it asked for, plus a delay the test can set for chosen frames (a stalled machine).
class LockstepClock : public PaceClock {
 public:
  Clock::time_point Now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  bool SleepUntil(Clock::time_point due) override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return tickets_ > 0 || woken_; });
    if (woken_) return false;
    --tickets_;
    now_ = std::max(now_, due);
    if (const auto late = stalls_.find(sleeps_++); late != stalls_.end()) now_ += late->second;
    return true;
  }
  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    changed_.notify_all();
  }
  void Rearm() override {
    std::lock_guard lock(mutex_);
    woken_ = false;
  }
  void Release(int frames) {
    std::lock_guard lock(mutex_);
    tickets_ += frames;
    changed_.notify_all();
  }
  // The card's sleep number `sleep` wakes `delay` late.
  void Stall(int sleep, Clock::duration delay) { stalls_[sleep] = delay; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Clock::time_point now_{std::chrono::seconds(100)};
  int tickets_ = 0;
  int sleeps_ = 0;
  bool woken_ = false;
  std::map<int, Clock::duration> stalls_;
};

}  // namespace fw::test
