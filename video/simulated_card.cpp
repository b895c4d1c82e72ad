#include "video/simulated_card.h"

#include <algorithm>
#include <cstring>

namespace fw {

namespace {

// Colour bars of the test pattern (red, green, blue), left to right.
constexpr uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                 {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
// The moving square: its side (even, so that it covers whole chroma samples), its row and its
// step per frame.
constexpr int kSquare = 32;
constexpr int kSquareTop = 128;
constexpr int kSquareStep = 4;

void PaintBars(Dib& image) {
  image.Create(kCaptureWidth, kCaptureHeight, 24, false);
  for (int y = 0; y < kCaptureHeight; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < kCaptureWidth; ++x, p += 3) {
      const uint8_t* bar = kBars[x * 8 / kCaptureWidth];
      p[0] = bar[2];
      p[1] = bar[1];
      p[2] = bar[0];
    }
  }
}

// A white square whose column moves with the frame number across the bars.
void PaintSquare(uint8_t* frame, int64_t number) {
  const int left = static_cast<int>(number * kSquareStep % (kCaptureWidth - kSquare)) & ~1;
  for (int y = kSquareTop; y < kSquareTop + kSquare; ++y) {
    std::memset(frame + y * kCaptureWidth + left, 255, kSquare);
  }
  uint8_t* cb = frame + kCaptureWidth * kCaptureHeight;
  uint8_t* cr = cb + (kCaptureWidth / 2) * (kCaptureHeight / 2);
  for (int y = kSquareTop / 2; y < (kSquareTop + kSquare) / 2; ++y) {
    std::memset(cb + y * (kCaptureWidth / 2) + left / 2, 128, kSquare / 2);
    std::memset(cr + y * (kCaptureWidth / 2) + left / 2, 128, kSquare / 2);
  }
}

}  // namespace

bool SteadyPaceClock::SleepUntil(Clock::time_point due) {
  std::unique_lock lock(mutex_);
  wake_.wait_until(lock, due, [this] { return woken_; });
  return !woken_;
}

void SteadyPaceClock::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void SteadyPaceClock::Rearm() {
  std::lock_guard lock(mutex_);
  woken_ = false;
}

SimulatedCard::SimulatedCard(std::string file, PaceClock* clock)
    : CaptureSource("sim:" + file), file_(std::move(file)), clock_(clock ? clock : &steady_) {}

SimulatedCard::~SimulatedCard() {
  Close();
}

CaptureParameters SimulatedCard::Parameters() const {
  CaptureParameters p;
  if (file_.empty()) {
    p.inputWidth = kCaptureWidth;
    p.inputHeight = kCaptureHeight;
    p.format = "test pattern";
  } else {
    p.inputWidth = reader_.Width();
    p.inputHeight = reader_.Height();
    p.inputRate = reader_.FramesPerSecond();
    p.format = "video file";
  }
  return p;
}

Result SimulatedCard::OpenSource() {
  cardFrame_ = 0;
  if (file_.empty()) {
    PaintBars(picture_);
    pattern_.resize(kCaptureFrameBytes);
    if (!converter_.FromDib(picture_, pattern_.data())) {
      return Fail(CaptureFault::CardInit, "cannot make the test pattern");
    }
    return Result::Ok();
  }
  if (const Result opened = reader_.OpenInto(file_, picture_, OpenReport::Quiet); !opened) {
    // The reader's message names the file first; the source's name already does.
    std::string problem = opened.message();
    if (problem.starts_with(file_ + ": ")) problem.erase(0, file_.size() + 2);
    return Fail(CaptureFault::CardInit, problem);
  }
  if (!reader_.GetFrame(0, picture_)) {
    reader_.Close();
    return Fail(CaptureFault::CardInit, "the first frame cannot be decoded");
  }
  return Result::Ok();
}

Result SimulatedCard::StartStream(int framesPerSecond) {
  framesPerSecond_ = framesPerSecond;
  clock_->Rearm();
  start_ = clock_->Now();
  scheduled_ = 0;
  return Result::Ok();
}

SimulatedCard::Clock::time_point SimulatedCard::Due(int64_t n) const {
  // Counted from the run's start, so rounding never accumulates into a drift of the rate.
  return start_ + std::chrono::duration_cast<Clock::duration>(
                      std::chrono::nanoseconds((n + 1) * int64_t{1000000000} / framesPerSecond_));
}

CaptureSource::Grab SimulatedCard::GrabFrame(uint8_t* frame, Clock::time_point* time) {
  Clock::time_point due = Due(scheduled_);
  if (!clock_->SleepUntil(due)) return {Grabbed::Stopped, {}};
  const Clock::time_point now = clock_->Now();
  // A card does not make up frames it could not deliver: after a stall of more than two frame
  // times the schedule starts again from now instead of bursting out the missed frames.
  if (now - due > 2 * (Due(1) - Due(0))) {
    start_ = now - (Due(0) - start_);
    scheduled_ = 0;
    due = now;
  }
  if (!Render(frame)) return {Grabbed::Ended, "the replayed picture cannot be converted"};
  *time = due;
  ++scheduled_;
  ++cardFrame_;
  return {Grabbed::Frame, {}};
}

bool SimulatedCard::Render(uint8_t* frame) {
  if (file_.empty()) {
    std::memcpy(frame, pattern_.data(), kCaptureFrameBytes);
    PaintSquare(frame, cardFrame_);
    return true;
  }
  // A frame that does not decode shows the picture before it, as the file reader does for a
  // damaged frame.
  reader_.GetFrame(static_cast<int>(cardFrame_ % reader_.FrameCount()), picture_);
  return converter_.FromDib(picture_, frame);
}

void SimulatedCard::Interrupt() {
  clock_->Wake();
}

void SimulatedCard::CloseSource() {
  reader_.Close();
  pattern_.clear();
}

}  // namespace fw
