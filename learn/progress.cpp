#include "learn/progress.h"

#include "core/ui_sink.h"

namespace fw {

void UiSinkProgress::Show(const ProgressState& state) {
  UiSink& sink = CurrentUiSink();
  sink.Status(StatusField::Learning, state.status);
  if (!state.firstText.empty()) sink.Status(StatusField::Learning, state.firstText);
  if (!state.secondText.empty()) sink.Status(StatusField::Learning, state.secondText);
}

ProgressReporter::ProgressReporter(ProgressSink* sink, std::chrono::milliseconds interval)
    : sink_(sink), interval_(interval) {}

bool ProgressReporter::Due() {
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < interval_) return false;
  return true;
}

void ProgressReporter::Publish(bool force) {
  if (!sink_ || (!force && !Due())) return;
  last_ = std::chrono::steady_clock::now();
  shown_ = true;
  sink_->Show(state_);
}

void ProgressReporter::Hide() {
  if (sink_) sink_->Hide();
}

LearningJob::~LearningJob() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

bool LearningJob::Start(Work work) {
  if (Running()) return false;
  if (thread_.joinable()) thread_.join();
  stop_ = false;
  finished_ = false;
  started_ = true;
  result_ = Result::Ok();
  thread_ = std::thread([this, work = std::move(work)] {
    result_ = work(stop_);
    finished_ = true;
  });
  return true;
}

Result LearningJob::Wait() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

}  // namespace fw
