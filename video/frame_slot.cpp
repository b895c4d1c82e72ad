#include "video/frame_slot.h"

#include <utility>

namespace fw {

namespace {

constexpr size_t kAlignment = 64;

}  // namespace

FrameSlot::FrameSlot(size_t frameBytes)
    : frameBytes_(frameBytes),
      stride_((frameBytes + kAlignment - 1) / kAlignment * kAlignment),
      storage_(3 * stride_ + kAlignment, 0) {
  const auto address = reinterpret_cast<uintptr_t>(storage_.data());
  offset_ = (kAlignment - address % kAlignment) % kAlignment;
}

void FrameSlot::Publish(Clock::time_point time) {
  {
    std::lock_guard lock(mutex_);
    sequence_[filling_] = counts_.delivered++;
    time_[filling_] = time;
    if (waiting_ != kNone) {
      // The engine is late for the waiting frame: the new one replaces it.
      ++counts_.dropped;
      std::swap(filling_, waiting_);
    } else {
      waiting_ = filling_;
      filling_ = 3 - waiting_ - held_;  // the buffer that has no role
    }
  }
  published_.notify_all();
}

void FrameSlot::Finish() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  published_.notify_all();
}

bool FrameSlot::TakeLocked(CapturedFrame& frame) {
  if (waiting_ == kNone) return false;
  held_ = std::exchange(waiting_, kNone);
  ++counts_.taken;
  frame.data = Buffer(held_);
  frame.bytes = frameBytes_;
  frame.sequence = sequence_[held_];
  frame.time = time_[held_];
  return true;
}

bool FrameSlot::Take(CapturedFrame& frame) {
  std::lock_guard lock(mutex_);
  return TakeLocked(frame);
}

FrameSlot::Wait FrameSlot::WaitTake(CapturedFrame& frame, Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  published_.wait_until(lock, deadline,
                        [this] { return waiting_ != kNone || finished_ || interrupted_; });
  interrupted_ = false;
  if (TakeLocked(frame)) return Wait::Frame;
  return finished_ ? Wait::Finished : Wait::Timeout;
}

void FrameSlot::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
  }
  published_.notify_all();
}

void FrameSlot::Reset() {
  std::lock_guard lock(mutex_);
  waiting_ = kNone;  // the filling buffer keeps its role; the engine's frame stays readable
  counts_ = CaptureCounts{};
  finished_ = false;
  interrupted_ = false;
}

CaptureCounts FrameSlot::Counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

}  // namespace fw
