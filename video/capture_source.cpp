#include "video/capture_source.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace fw {

std::string DurationText(std::chrono::milliseconds d) {
  const int64_t ms = d.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text + " s";
}

CaptureSource::CaptureSource(std::string name) : name_(std::move(name)) {}

CaptureSource::~CaptureSource() {
  assert(!thread_.joinable() && "the source's destructor must Close() it");
}

Result CaptureSource::Open() {
  Close();
  fault_ = CaptureFault::None;
  Result opened = OpenSource();
  open_ = opened.ok();
  return opened;
}

void CaptureSource::SetListener(CaptureListener listener) {
  assert(!thread_.joinable());
  listener_ = std::move(listener);
}

Result CaptureSource::Start(int framesPerSecond) {
  if (!open_) return Result::Error(name_ + ": the source is not open");
  if (streaming_.load()) return Result::Ok();
  if (thread_.joinable()) Stop();  // the stream had ended: start it afresh
  Result started = StartStream(std::clamp(framesPerSecond, kMinCaptureRate, kMaxCaptureRate));
  if (!started) return started;
  slot_.Reset();
  stop_ = false;
  announcement_ = "streaming";
  streaming_ = true;
  thread_ = std::thread([this] { Run(); });
  return Result::Ok();
}

void CaptureSource::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  Interrupt();
  thread_.join();
  streaming_ = false;
  StopStream();
}

void CaptureSource::Close() {
  Stop();
  if (!open_) return;
  CloseSource();
  open_ = false;
}

std::string CaptureSource::Named(const std::string& text) const {
  // "sim:" ends in its own colon: "sim: streaming", not "sim:: streaming".
  return name_ + (name_.ends_with(':') ? " " : ": ") + text;
}

Result CaptureSource::Fail(CaptureFault fault, const std::string& problem) {
  fault_ = fault;
  return Result::Error(Named(problem));
}

void CaptureSource::Report(CaptureEvent event, CaptureFault fault, const std::string& text) {
  if (listener_.status) listener_.status(CaptureStatus{event, fault, Named(text)});
}

void CaptureSource::AnnounceNextFrame(std::string text) {
  announcement_ = std::move(text);
}

void CaptureSource::Run() {
  for (;;) {
    Clock::time_point time;
    const Grab grab = GrabFrame(slot_.Filling(), &time);
    if (grab.outcome != Grabbed::Frame) {
      if (grab.outcome == Grabbed::Ended && !stop_.load()) {
        Report(CaptureEvent::Ended, grab.fault, grab.problem);
      }
      break;
    }
    slot_.Publish(time);
    if (!announcement_.empty()) {
      Report(CaptureEvent::Streaming, CaptureFault::None, announcement_);
      announcement_.clear();
    }
    if (listener_.frameReady) listener_.frameReady();
  }
  streaming_ = false;
  slot_.Finish();
}

}  // namespace fw
