// Outcome of work on data that can be wrong (a picture, a video, a classifier file, a sample
// folder, a command line): success, or one line naming the thing and the problem. The layer that
// finds the problem writes the message; callers pass it on unchanged, so it is reported once.
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

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // Empty on success.
  const std::string& message() const { return message_; }

 private:
  bool ok_ = true;
  std::string message_;
};

}  // namespace fw
