#include "app/live_capture.h"

#include <algorithm>
#include <cstring>

namespace fw {

namespace {

// The measured rate covers at least this long.
constexpr auto kRateWindow = std::chrono::seconds(1);

}  // namespace

std::string LiveAlarmLogName(std::string_view sourceName, const std::tm& date) {
  // File names stay well below the system's limit.
  constexpr size_t kNameRoom = 120;
  std::string name;
  for (const char c : sourceName) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    if (kept) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
    if (name.size() >= kNameRoom) break;
  }
  while (!name.empty() && (name.back() == '_' || name.back() == '.')) name.pop_back();
  // A name of dots alone would be a folder's name.
  if (name.find_first_not_of('.') == std::string::npos) name = "live";
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d", &date);
  return name + "_" + day + ".txt";
}

LiveCapture::LiveCapture()
    : factory_([](const CaptureAddress& address, const CaptureOptions& options) {
        return MakeCaptureSource(address, options);
      }),
      buffer_(kCaptureFrameBytes, 0) {}

LiveCapture::~LiveCapture() {
  Close();
}

Result LiveCapture::SetAddress(std::string_view text) {
  CaptureAddress parsed;
  if (Result result = ParseCaptureAddress(text, parsed); !result) return result;
  address_ = std::string(text);
  return Result::Ok();
}

std::string LiveCapture::SourceName() const {
  std::lock_guard lock(sourceMutex_);
  return source_ != nullptr ? source_->Name() : address_;
}

CaptureParameters LiveCapture::Parameters() const {
  std::lock_guard lock(sourceMutex_);
  return source_ != nullptr ? source_->Parameters() : CaptureParameters{};
}

Result LiveCapture::Open() {
  Close();
  cancelled_ = false;
  CaptureAddress address;
  if (Result parsed = ParseCaptureAddress(address_, address); !parsed) {
    fault_ = CaptureFault::NoDevice;
    return parsed;
  }
  std::unique_ptr<CaptureSource> source = factory_(address, options_);
  source->SetListener({[this] { Wake(); },
                       [this](const CaptureStatus& status) {
                         {
                           std::lock_guard lock(mailboxMutex_);
                           reports_.push_back(status);
                         }
                         Wake();
                       }});
  {
    std::lock_guard lock(sourceMutex_);
    source_ = std::move(source);
  }
  // Opening may wait for a slow stream; Cancel reaches it through the pointer set above.
  Result opened = source_->Open();
  fault_ = opened ? CaptureFault::None : source_->Fault();
  return opened;
}

Result LiveCapture::Start(int framesPerSecond) {
  requestedRate_ = std::clamp(framesPerSecond, kMinCaptureRate, kMaxCaptureRate);
  if (source_ == nullptr) return Result::Error(address_ + ": the source is not open");
  rateFrames_ = 0;
  rateStart_ = {};
  measuredRate_ = 0.0;
  stopped_ = false;
  cancelled_ = false;
  Result started = source_->Start(requestedRate_);
  if (!started) fault_ = source_->Fault();
  return started;
}

void LiveCapture::Stop() {
  if (source_ != nullptr) source_->Stop();
  stopped_ = true;
  measuredRate_ = 0.0;
}

void LiveCapture::Close() {
  std::unique_ptr<CaptureSource> closing;
  {
    std::lock_guard lock(sourceMutex_);
    closing = std::move(source_);
  }
  // The source's destructor ends its thread; no report or wake comes after it.
  closing.reset();
  measuredRate_ = 0.0;
  std::lock_guard lock(mailboxMutex_);
  reports_.clear();
}

void LiveCapture::Cancel() {
  cancelled_ = true;
  std::lock_guard lock(sourceMutex_);
  if (source_ != nullptr) source_->Cancel();
}

bool LiveCapture::TakeFrame() {
  if (source_ == nullptr || stopped_) return false;
  CapturedFrame frame;
  if (!source_->Frames().Take(frame)) return false;
  std::memcpy(buffer_.data(), frame.data, std::min(frame.bytes, buffer_.size()));
  CountTaken(Clock::now());
  return true;
}

LiveWait LiveCapture::WaitFrame(Clock::time_point deadline) {
  if (source_ == nullptr || stopped_) return LiveWait::Finished;
  CapturedFrame frame;
  switch (source_->Frames().WaitTake(frame, deadline)) {
    case FrameSlot::Wait::Frame:
      std::memcpy(buffer_.data(), frame.data, std::min(frame.bytes, buffer_.size()));
      CountTaken(Clock::now());
      return LiveWait::Frame;
    case FrameSlot::Wait::Finished:
      return LiveWait::Finished;
    case FrameSlot::Wait::Timeout:
      break;
  }
  return LiveWait::Timeout;
}

void LiveCapture::CountTaken(Clock::time_point now) {
  if (rateStart_ == Clock::time_point{}) rateStart_ = now;
  ++rateFrames_;
  const auto elapsed = now - rateStart_;
  if (elapsed >= kRateWindow) {
    // Frames after the first one of the window, over the time they took.
    measuredRate_ = (rateFrames_ - 1) / std::chrono::duration<double>(elapsed).count();
    rateStart_ = now;
    rateFrames_ = 1;
  }
}

CaptureCounts LiveCapture::Counts() const {
  return source_ != nullptr ? source_->Frames().Counts() : CaptureCounts{};
}

bool LiveCapture::PopReport(CaptureStatus& report) {
  std::lock_guard lock(mailboxMutex_);
  if (reports_.empty()) return false;
  report = std::move(reports_.front());
  reports_.pop_front();
  return true;
}

void LiveCapture::SetWake(std::function<void()> wake) {
  std::lock_guard lock(wakeMutex_);
  wake_ = std::move(wake);
}

void LiveCapture::Wake() {
  std::lock_guard lock(wakeMutex_);
  if (wake_) wake_();
}

}  // namespace fw
