// Where the engine's messages and status texts go. Core, detection and learning code never print
// and never open windows: they call the current sink. The desktop installs a sink that shows a
// modal message box on the GUI thread (the caller waits); headless runs write to stderr.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

// The status-bar panes the engine writes.
enum class StatusField { Scale, CurrentView, Learning, Message };

class UiSink {
 public:
  virtual ~UiSink() = default;
  // A message box: text, caption and buttons; returns the button pressed.
  virtual MessageResult Message(std::string_view text, std::string_view caption,
                                MessageButtons buttons) = 0;
  // A status text (learning progress, scale, ...).
  virtual void Status(StatusField field, std::string_view text) = 0;
};

// Writes messages to stderr and answers Ok (or Yes); ignores status texts.
class StderrUiSink : public UiSink {
 public:
  MessageResult Message(std::string_view text, std::string_view caption,
                        MessageButtons buttons) override;
  void Status(StatusField field, std::string_view text) override;
};

// Remembers every message and status text; tests read the record.
class RecordingUiSink : public UiSink {
 public:
  struct Entry {
    std::string text;
    std::string caption;
  };
  MessageResult Message(std::string_view text, std::string_view caption,
                        MessageButtons buttons) override;
  void Status(StatusField field, std::string_view text) override;

  std::vector<Entry> Messages() const;
  std::vector<std::string> StatusTexts() const;
  void Clear();
  MessageResult answer = MessageResult::Ok;

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> messages_;
  std::vector<std::string> status_;
};

// The process-wide sink. Starts as a StderrUiSink; front ends replace it at start-up.
UiSink& CurrentUiSink();
// Installs a sink (not owned; nullptr restores the stderr sink). Returns the previous one.
UiSink* SetUiSink(UiSink* sink);

// Installs a sink for the lifetime of the object (tests).
class ScopedUiSink {
 public:
  explicit ScopedUiSink(UiSink& sink) : previous_(SetUiSink(&sink)) {}
  ~ScopedUiSink() { SetUiSink(previous_); }
  ScopedUiSink(const ScopedUiSink&) = delete;
  ScopedUiSink& operator=(const ScopedUiSink&) = delete;

 private:
  UiSink* previous_;
};

}  // namespace fw
