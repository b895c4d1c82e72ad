// Outcome of work on data that can be wrong (a picture, a video, a classifier file, a sample
// folder, a command line): success, or one line naming the thing and the problem. The layer that
// finds the problem writes the message; callers pass it on unchanged, so it is reported once. A
// problem the finding layer has already shown the user (the system's own messages, such as "Out
// of memory for DIB bits") is marked reported: callers pass it on and show nothing more.
#pragma once

#include <string>
#include <utility>

namespace fw {

class [[nodiscard]] Result {
 public:
  Result() = default;  // success
  static Result Ok() { return Result(); }
  static Result Error(std::string message) {
    Result r;
    r.ok_ = false;
    r.message_ = std::move(message);
    return r;
  }
  // An error whose message the finding layer has already shown through the UI sink.
  static Result Reported(std::string message) {
    Result r = Error(std::move(message));
    r.reported_ = true;
    return r;
  }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // Empty on success.
  const std::string& message() const { return message_; }
  bool reported() const { return reported_; }
  // The same outcome with `context` (a file name) put in front of the message.
  Result In(const std::string& context) const {
    Result r = *this;
    if (!ok_) r.message_ = context + ": " + message_;
    return r;
  }

 private:
  bool ok_ = true;
  bool reported_ = false;
  std::string message_;
};

// A result with a status code beside it, for callers that act on the kind of problem.
template <typename Status>
class [[nodiscard]] StatusResult : public Result {
 public:
  StatusResult() = default;  // success; the status is Status{} (its first value, "Ok")
  StatusResult(Status status, Result result) : Result(std::move(result)), status_(status) {}
  Status status() const { return status_; }

 private:
  Status status_{};
};

}  // namespace fw
