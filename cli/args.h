// A small command-line parser: positional arguments and --name value / --flag options, with the
// errors reported as one clear line (an unknown option, a value given to a flag or missing for
// an option, a single-dash option).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw::cli {

class Args {
 public:
  // `valueOptions` take a value (--mode 7010 or --mode=7010); `flags` do not.
  Args(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
       const std::vector<std::string>& flags);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool Has(const std::string& name) const { return options_.count(name) > 0; }
  // The last value given for the option.
  std::optional<std::string> Value(const std::string& name) const;
  // Every value given for an option that may repeat, in order.
  std::vector<std::string> Values(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }

  // An integer option within [lo, hi]; sets the error and returns false when malformed.
  bool IntValue(const std::string& name, int lo, int hi, int& out);
  // A memory size ("512M", "2G", megabytes); sets the error and returns false when malformed.
  bool MemoryValue(const std::string& name, uint64_t& out);

 private:
  std::map<std::string, std::vector<std::string>> options_;
  std::vector<std::string> positional_;
  std::string error_;
};

// Parses a whole decimal integer; false on anything else.
bool ParseInt(const std::string& text, int& out);

}  // namespace fw::cli
