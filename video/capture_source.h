// Live frame sources: what stands in for the capture card. Once started, a source writes every
// frame as a 352 x 288 planar 4:2:0 picture (full-range BT.601 luma, then the Cb and the Cr
// quarter planes) into its one-slot queue on a thread of its own and calls the frame listener.
// The engine thread takes the newest frame between commands, so capture never runs a frame
// beside a command, and a frame the engine is too late for is replaced and counted as dropped.
//
// The card library's calls and the operation that stands for each:
//   InitDSPs, ChannelOpen          Open()        (a failure of the simulated card is the card's
//                                                 initialisation failure: kCardInitMessage)
//   GetVideoPara                   Parameters()
//   RegisterImageStreamCallback    SetListener()
//   SetImageStream (start 1, fps)  Start(fps)
//   SetImageStream (start 0)       Stop()
//   ChannelClose, DeInitDSPs       Close()
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/result.h"
#include "video/frame_slot.h"

namespace fw {

constexpr int kCaptureWidth = 352;
constexpr int kCaptureHeight = 288;
constexpr size_t kCaptureFrameBytes =
    size_t{kCaptureWidth} * kCaptureHeight + 2 * size_t{kCaptureWidth / 2} * (kCaptureHeight / 2);
// The rates a source is asked for: the frame-rate spin's range.
constexpr int kMinCaptureRate = 1;
constexpr int kMaxCaptureRate = 200;
// The message box of the card's initialisation failure.
constexpr std::string_view kCardInitMessage = "can not init DSPs\n";

// What went wrong, for the front ends to choose how to show it.
enum class CaptureFault {
  None,
  CardInit,     // the simulated card cannot replay its file
  NoDevice,     // no such device, not a capture device, no permission
  Refused,      // the stream refused or never answered
  WrongFormat,  // no video in the stream, no decoder, no picture format that converts
  Ended,        // the stream ended or dropped, no picture for too long, the device went away
};

enum class CaptureEvent {
  Streaming,     // the first frame after Start or after a reconnection
  Lost,          // the stream dropped; reconnection attempts follow
  Reconnecting,  // the next attempt, after the delay the text names
  Ended,         // no more frames until the source is started again
};

// One status report: `text` is one line that names the source.
struct CaptureStatus {
  CaptureEvent event = CaptureEvent::Streaming;
  CaptureFault fault = CaptureFault::None;
  std::string text;
};

// Both are called on the capture thread and must return quickly: frameReady after each frame
// is in the slot (wake the engine), status for each report (post it to the engine).
struct CaptureListener {
  std::function<void()> frameReady;
  std::function<void(const CaptureStatus&)> status;
};

// What the source reports about its video (the card's video standard and picture settings).
struct CaptureParameters {
  int inputWidth = 0;  // before scaling to 352 x 288
  int inputHeight = 0;
  double inputRate = 0.0;  // frames per second the source announces; 0 when it says nothing
  std::string format;      // the picture format or codec as the source names it
  std::optional<uint64_t> standard;  // analogue video standard bits (V4L2 devices)
  std::optional<int> brightness;
  std::optional<int> contrast;
  std::optional<int> saturation;
  std::optional<int> hue;
};

struct CaptureOptions {
  // Network streams: when the stream drops, reconnect after firstRetryDelay, doubling the delay
  // up to maxRetryDelay, until it comes back or the source is stopped.
  bool reconnect = false;
  std::chrono::milliseconds firstRetryDelay{500};
  std::chrono::milliseconds maxRetryDelay{30000};
  // Connecting and reading a stream's first pictures may take this long.
  std::chrono::milliseconds openTimeout{10000};
  // No picture for this long: the stream is lost (network) or the device stalled (V4L2).
  std::chrono::milliseconds readTimeout{5000};
  // RTSP runs over TCP unless this asks for UDP.
  bool rtspOverUdp = false;
};

// A duration in the sources' messages: "5 s", "0.5 s", "0.01 s".
std::string DurationText(std::chrono::milliseconds duration);

class CaptureSource {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~CaptureSource();
  CaptureSource(const CaptureSource&) = delete;
  CaptureSource& operator=(const CaptureSource&) = delete;

  // The source as the user named it (passwords of URLs hidden); every message starts with it.
  const std::string& Name() const { return name_; }

  // Opens the device, file or stream and checks that it delivers convertible pictures. On
  // failure the message names the source and the problem and Fault() says what kind it was.
  Result Open();
  bool IsOpen() const { return open_; }
  CaptureFault Fault() const { return fault_; }
  virtual CaptureParameters Parameters() const = 0;

  // Not while streaming.
  void SetListener(CaptureListener listener);

  // Starts delivering frames at `framesPerSecond` (clamped to 1..200; network streams keep
  // the sender's rate). Resets the slot's counts. Does nothing while streaming; restarts a
  // source whose stream had ended. Fails when the source is not open or cannot restart.
  Result Start(int framesPerSecond);
  // Ends the capture thread after the frame in progress and waits for it; the source stays
  // open, so Start resumes it. Harmless when not started.
  void Stop();
  // Stop, then releases the device, file or stream. Harmless when not open.
  void Close();
  // From any thread: an Open or Start that waits for a slow stream gives up soon (the user
  // switched capture off while it was connecting); a running stream ends without a report, and
  // Stop or Close still follows.
  void Cancel() { Interrupt(); }
  // True from Start until Stop or until the stream ended.
  bool IsStreaming() const { return streaming_.load(); }

  FrameSlot& Frames() { return slot_; }

 protected:
  enum class Grabbed { Frame, Stopped, Ended };
  struct Grab {
    Grabbed outcome = Grabbed::Frame;
    std::string problem;  // for Ended: what happened, without the source's name
    CaptureFault fault = CaptureFault::Ended;
  };

  explicit CaptureSource(std::string name);

  // The operations each source provides. Open, start, stop and close run on the caller's
  // thread, never while the capture thread runs; GrabFrame runs on the capture thread.
  virtual Result OpenSource() = 0;
  virtual Result StartStream(int framesPerSecond) = 0;
  // Waits for the next picture and writes it as a capture frame; sets its time.
  virtual Grab GrabFrame(uint8_t* frame, Clock::time_point* time) = 0;
  // Called from Stop and Cancel, on any thread: makes a waiting GrabFrame return Stopped soon
  // and a waiting OpenSource or StartStream fail soon.
  virtual void Interrupt() = 0;
  virtual void StopStream() = 0;
  virtual void CloseSource() = 0;

  // The text after the source's name: "tcp://host:5000: the stream ended", "sim: streaming".
  std::string Named(const std::string& text) const;
  // A failure of the given kind, the message naming the source.
  Result Fail(CaptureFault fault, const std::string& problem);
  // A status report from the capture thread; `text` is prefixed with the source's name.
  void Report(CaptureEvent event, CaptureFault fault, const std::string& text);
  // The next frame published is reported as Streaming with this text (after a reconnection).
  void AnnounceNextFrame(std::string text);
  bool StopRequested() const { return stop_.load(); }

  // Each source's destructor calls Close(): the capture thread must end while it still exists.

 private:
  void Run();

  std::string name_;
  FrameSlot slot_{kCaptureFrameBytes};
  CaptureListener listener_;
  bool open_ = false;
  CaptureFault fault_ = CaptureFault::None;
  std::string announcement_;  // capture thread only
  std::atomic<bool> stop_{false};
  std::atomic<bool> streaming_{false};
  std::thread thread_;
};

}  // namespace fw
