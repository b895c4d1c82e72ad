// The one-slot queue between a live source and the engine thread. The capture thread fills one
// buffer while at most one finished frame waits for the engine; a frame finished while another
// still waits replaces it, and the replaced one is counted as dropped. The engine takes the
// waiting frame and reads it in place until its next take, so no frame is copied, none is handed
// out twice and capture never waits for the engine. Three buffers, made once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace fw {

// How many frames a run of capture has produced and what became of them. After the run,
// delivered = taken + dropped + (one frame still waiting or not).
struct CaptureCounts {
  int64_t delivered = 0;
  int64_t taken = 0;
  int64_t dropped = 0;
};

// A frame handed to the engine: the bytes stay valid and unchanged until the next take.
struct CapturedFrame {
  const uint8_t* data = nullptr;
  size_t bytes = 0;
  int64_t sequence = -1;  // 0 for the first frame delivered since the slot was reset
  std::chrono::steady_clock::time_point time{};
};

class FrameSlot {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Wait { Frame, Timeout, Finished };

  explicit FrameSlot(size_t frameBytes);
  FrameSlot(const FrameSlot&) = delete;
  FrameSlot& operator=(const FrameSlot&) = delete;

  size_t FrameBytes() const { return frameBytes_; }

  // --- capture thread ---
  // The buffer the next frame is written into; the engine does not see it before Publish.
  uint8_t* Filling() { return Buffer(filling_); }
  // Makes the filled buffer the waiting frame, stamped with `time`, and wakes a waiting take.
  void Publish(Clock::time_point time);
  // No frame follows until Reset: a waiting take returns Finished once the waiting frame (if
  // any) has been taken.
  void Finish();

  // --- engine thread ---
  // Takes the waiting frame; false when none waits (the last frame taken is not given again).
  bool Take(CapturedFrame& frame);
  // As Take, waiting until a frame is published, the slot is finished or the deadline passes.
  Wait WaitTake(CapturedFrame& frame, Clock::time_point deadline);
  // Wakes a waiting take, which then returns Timeout (a command wants the engine thread).
  void Interrupt();

  // --- either, while no capture thread runs ---
  // Counts to zero, no frame waiting, not finished; the engine's current frame stays readable.
  void Reset();

  CaptureCounts Counts() const;

 private:
  static constexpr int kNone = -1;
  uint8_t* Buffer(int index) { return storage_.data() + offset_ + index * stride_; }
  bool TakeLocked(CapturedFrame& frame);

  size_t frameBytes_;
  size_t stride_;  // bytes from one buffer to the next, a multiple of 64
  size_t offset_;  // from the storage to the first 64-byte boundary
  std::vector<uint8_t> storage_;

  mutable std::mutex mutex_;
  std::condition_variable published_;
  // The three buffers' roles: being filled, waiting (or kNone), held by the engine.
  int filling_ = 0;
  int waiting_ = kNone;
  int held_ = 2;
  int64_t sequence_[3] = {-1, -1, -1};
  Clock::time_point time_[3] = {};
  CaptureCounts counts_;
  bool finished_ = false;
  bool interrupted_ = false;
};

}  // namespace fw
