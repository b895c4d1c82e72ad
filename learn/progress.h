// Progress of the long learning runs and how they are stopped. A run fills the texts and bars of
// the progress window "训练Adaboost" (the large status text, a text above each of the two bars),
// publishes them at most every 50 ms, and polls a stop flag after every sample and candidate.
// Runs go on a worker thread (LearningJob) so that the desktop stays live.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/result.h"

namespace fw {

using StopFlag = std::atomic<bool>;

// What the progress window shows.
struct ProgressState {
  std::string status;      // the large text
  std::string firstText;   // above the first bar
  std::string secondText;  // above the second bar
  int firstMaximum = 100;
  int firstPosition = 0;
  int secondMaximum = 100;
  int secondPosition = 0;
};

// Where a run's progress goes. The desktop's progress window implements it; UiSinkProgress
// passes the texts to the UI sink's learning status.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Show(const ProgressState& state) = 0;
  // The run ended: the window is hidden (not destroyed).
  virtual void Hide() {}
};

// Sends the status text, then the two bar texts (those that are not empty), to
// CurrentUiSink().Status(StatusField::Learning, ...).
class UiSinkProgress : public ProgressSink {
 public:
  void Show(const ProgressState& state) override;
};

// A run's view of its sink: the state it edits, and publishing at most every `interval`.
class ProgressReporter {
 public:
  explicit ProgressReporter(ProgressSink* sink,
                            std::chrono::milliseconds interval = std::chrono::milliseconds(50));
  ProgressState& State() { return state_; }
  // True when an update is due (always the first time).
  bool Due();
  // Shows the state now when forced, else only when due.
  void Publish(bool force = false);
  void Hide();

 private:
  ProgressSink* sink_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
  ProgressState state_;
};

// One learning run on its own thread. The work receives the job's stop flag and returns its
// outcome.
class LearningJob {
 public:
  using Work = std::function<Result(const StopFlag& stop)>;
  LearningJob() = default;
  ~LearningJob();  // asks the run to stop and waits for it
  LearningJob(const LearningJob&) = delete;
  LearningJob& operator=(const LearningJob&) = delete;

  // Clears the stop flag and starts the work; false (nothing started) while a run is going.
  bool Start(Work work);
  void RequestStop() { stop_ = true; }
  // Started and not yet finished.
  bool Running() const { return started_ && !finished_; }
  // Waits for the run and returns its outcome (Ok when none was started).
  Result Wait();

 private:
  std::thread thread_;
  StopFlag stop_{false};
  std::atomic<bool> finished_{false};
  bool started_ = false;
  Result result_;
};

}  // namespace fw
