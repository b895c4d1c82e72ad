// The simulated capture card: replays a video file, or shows a moving test pattern when no file
// is given, as capture frames at the requested rate. It is the default live source, so online
// mode works on any machine. The file plays in a loop, one file frame per delivered frame, and
// goes on where it was after Stop and Start, as a card fed by a looping player would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/dib.h"
#include "video/avi_reader.h"
#include "video/capture_converter.h"
#include "video/capture_source.h"

namespace fw {

// The time the simulated card paces itself by; tests give it one they drive themselves.
class PaceClock {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~PaceClock() = default;
  virtual Clock::time_point Now() = 0;
  // Waits until `due`; returns false at once when Wake was called since the last Rearm.
  virtual bool SleepUntil(Clock::time_point due) = 0;
  virtual void Wake() = 0;
  virtual void Rearm() = 0;
};

// The steady clock; sleeping never spins.
class SteadyPaceClock : public PaceClock {
 public:
  Clock::time_point Now() override { return Clock::now(); }
  bool SleepUntil(Clock::time_point due) override;
  void Wake() override;
  void Rearm() override;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
};

class SimulatedCard final : public CaptureSource {
 public:
  // An empty `file` shows the test pattern. `clock` (not owned) replaces the steady clock.
  explicit SimulatedCard(std::string file, PaceClock* clock = nullptr);
  ~SimulatedCard() override;

  CaptureParameters Parameters() const override;

 protected:
  Result OpenSource() override;
  Result StartStream(int framesPerSecond) override;
  Grab GrabFrame(uint8_t* frame, Clock::time_point* time) override;
  void Interrupt() override;
  void StopStream() override {}
  void CloseSource() override;

 private:
  // When frame `n` of the current run is due.
  Clock::time_point Due(int64_t n) const;
  bool Render(uint8_t* frame);

  std::string file_;
  AviReader reader_;
  Dib picture_;
  CaptureConverter converter_;
  std::vector<uint8_t> pattern_;  // the still part of the test pattern, as a capture frame
  SteadyPaceClock steady_;
  PaceClock* clock_;

  int framesPerSecond_ = 25;
  Clock::time_point start_{};  // the run's schedule: frame n is due n + 1 frame times after it
  int64_t scheduled_ = 0;
  int64_t cardFrame_ = 0;  // frames the card has delivered since it was opened
};

}  // namespace fw
