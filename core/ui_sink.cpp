#include "core/ui_sink.h"

#include <atomic>
#include <cstdio>

namespace fw {

namespace {
StderrUiSink& DefaultSink() {
  static StderrUiSink sink;
  return sink;
}
std::atomic<UiSink*> gSink{nullptr};
}  // namespace

MessageResult StderrUiSink::Message(std::string_view text, std::string_view caption,
                                    MessageButtons buttons) {
  if (caption.empty()) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  } else {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
  return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
             ? MessageResult::Yes
             : MessageResult::Ok;
}

void StderrUiSink::Status(StatusField, std::string_view) {}

MessageResult RecordingUiSink::Message(std::string_view text, std::string_view caption,
                                       MessageButtons) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(text), std::string(caption)});
  return answer;
}

void RecordingUiSink::Status(StatusField, std::string_view text) {
  std::lock_guard lock(mutex_);
  status_.emplace_back(text);
}

std::vector<RecordingUiSink::Entry> RecordingUiSink::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> RecordingUiSink::StatusTexts() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void RecordingUiSink::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
  status_.clear();
}

UiSink& CurrentUiSink() {
  UiSink* sink = gSink.load(std::memory_order_acquire);
  return sink ? *sink : DefaultSink();
}

UiSink* SetUiSink(UiSink* sink) { return gSink.exchange(sink, std::memory_order_acq_rel); }

}  // namespace fw
