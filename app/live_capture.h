// The session's capture channel: the live source the user chose, the capture buffer the frame
// pane is converted from, the reports the capture thread leaves for the engine thread, and the
// rate at which frames reach the pipeline. Used on the engine thread, except where a call says
// otherwise.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "video/capture_address.h"
#include "video/capture_source.h"

namespace fw {

// What a wait for a live frame ended with.
enum class LiveWait {
  Frame,     // a frame was taken into the capture buffer
  Timeout,   // none came before the deadline
  Finished,  // the stream ended: no frame follows until the source is started again
};

// The live alarm log's file name: the source's name made a file name (every run of characters
// other than letters, digits, ".", "-" and "_" becomes one "_"), "_", the date, ".txt":
// "tcp_127.0.0.1_5000_2024-05-03.txt".
std::string LiveAlarmLogName(std::string_view sourceName, const std::tm& date);

class LiveCapture {
 public:
  using Clock = std::chrono::steady_clock;
  using SourceFactory =
      std::function<std::unique_ptr<CaptureSource>(const CaptureAddress&, const CaptureOptions&)>;

  LiveCapture();
  ~LiveCapture();
  LiveCapture(const LiveCapture&) = delete;
  LiveCapture& operator=(const LiveCapture&) = delete;

  // The source the next Open makes: sim: (the default), sim:FILE, /dev/videoN or a stream URL.
  // A name that is refused leaves the address as it was.
  Result SetAddress(std::string_view text);
  const std::string& Address() const { return address_; }
  void SetOptions(const CaptureOptions& options) { options_ = options; }
  // Tests give the sources they drive themselves.
  void SetSourceFactory(SourceFactory factory) { factory_ = std::move(factory); }

  // The card's initialisation and channel: makes the source for the address and opens it (the
  // previous one is closed first). The message names the source; Fault() says what kind.
  Result Open();
  bool IsOpen() const { return source_ != nullptr && source_->IsOpen(); }
  CaptureFault Fault() const { return fault_; }
  // The source as it names itself (passwords hidden); the address before a source was made.
  std::string SourceName() const;
  CaptureParameters Parameters() const;
  // The image stream on and off. Start restarts a stream that had ended; after Stop, a frame
  // still waiting is left untaken.
  Result Start(int framesPerSecond);
  void Stop();
  // Channel and card released.
  void Close();
  bool IsStreaming() const { return source_ != nullptr && source_->IsStreaming(); }
  // The rate last asked of the source (the frame rate truncated to a whole number, 1..200).
  int RequestedRate() const { return requestedRate_; }
  // From any thread: a slow open or start gives up soon, a waiting read ends.
  void Cancel();
  // Cancel was called since the last Open or Start began (its failure is no news).
  bool Cancelled() const { return cancelled_.load(); }

  // Copies the newest waiting frame into the capture buffer; false when none waits.
  bool TakeFrame();
  // As TakeFrame, waiting until the deadline for a frame or the end of the stream.
  LiveWait WaitFrame(Clock::time_point deadline);
  // The capture buffer: one 352 x 288 planar 4:2:0 frame, at this address for the object's life.
  const uint8_t* Buffer() const { return buffer_.data(); }
  // The same buffer for the engine thread's own change of a taken frame (the scene mask).
  uint8_t* MutableBuffer() { return buffer_.data(); }
  // Frames of the current run of the stream: delivered, taken and dropped.
  CaptureCounts Counts() const;
  // Frames per second taken over the last second or so (0 before a second has passed).
  double MeasuredRate() const { return measuredRate_; }

  // The next report the capture thread left, oldest first; false when none waits.
  bool PopReport(CaptureStatus& report);
  // Called on the capture thread after each frame and each report (the engine thread wakes).
  // Set and cleared from any thread; a call in progress finishes before a change returns.
  void SetWake(std::function<void()> wake);

 private:
  void Wake();
  void CountTaken(Clock::time_point now);

  std::string address_{kDefaultCaptureAddress};
  CaptureOptions options_;
  SourceFactory factory_;
  CaptureFault fault_ = CaptureFault::None;
  int requestedRate_ = 0;
  std::atomic<bool> cancelled_{false};
  bool stopped_ = false;  // Stop was asked: a frame still waiting is not taken
  std::vector<uint8_t> buffer_;

  double measuredRate_ = 0.0;
  Clock::time_point rateStart_{};
  int rateFrames_ = 0;

  // What the capture thread shares with the engine thread.
  std::mutex mailboxMutex_;
  std::deque<CaptureStatus> reports_;
  std::mutex wakeMutex_;  // held while the wake runs, so that it never runs once cleared
  std::function<void()> wake_;

  // Guards the pointer for Cancel, which comes from other threads.
  mutable std::mutex sourceMutex_;
  std::unique_ptr<CaptureSource> source_;
};

}  // namespace fw
