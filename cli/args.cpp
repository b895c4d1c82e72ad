#include "cli/args.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "app/memory_budget.h"

namespace fw::cli {

bool ParseInt(const std::string& text, int& out) {
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [ptr, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && ptr == last && !text.empty();
}

Args::Args(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flags) {
  auto isIn = [](const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
  };
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    // "-x" is an option this parser does not know; "-", "-12" and "--" are arguments.
    const bool dash = arg.size() >= 2 && arg[0] == '-' && arg[1] != '-' &&
                      !std::isdigit(static_cast<unsigned char>(arg[1]));
    if (dash && arg != "-h") {
      error_ = "unknown option " + arg;
      return;
    }
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      positional_.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> inlineValue;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    if (isIn(flags, name)) {
      if (inlineValue) {
        error_ = "option --" + name + " takes no value";
        return;
      }
      options_[name].push_back("");
    } else if (isIn(valueOptions, name)) {
      if (inlineValue && inlineValue->empty()) {
        error_ = "option --" + name + " needs a value";
        return;
      }
      if (inlineValue) {
        options_[name].push_back(*inlineValue);
      } else if (i + 1 < argv.size()) {
        options_[name].push_back(argv[++i]);
      } else {
        error_ = "option --" + name + " needs a value";
        return;
      }
    } else {
      error_ = "unknown option --" + name;
      return;
    }
  }
}

std::optional<std::string> Args::Value(const std::string& name) const {
  const auto it = options_.find(name);
  if (it == options_.end()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> Args::Values(const std::string& name) const {
  const auto it = options_.find(name);
  return it == options_.end() ? std::vector<std::string>() : it->second;
}

bool Args::MemoryValue(const std::string& name, uint64_t& out) {
  const auto text = Value(name);
  if (!text) return true;
  if (const Result parsed = ParseMemorySize(*text, out); !parsed) {
    error_ = "--" + name + ": " + parsed.message();
    return false;
  }
  return true;
}

bool Args::IntValue(const std::string& name, int lo, int hi, int& out) {
  const auto text = Value(name);
  if (!text) return true;
  int v = 0;
  if (!ParseInt(*text, v) || v < lo || v > hi) {
    error_ = "--" + name + " must be a whole number from " + std::to_string(lo) + " to " +
             std::to_string(hi) + " (got \"" + *text + "\")";
    return false;
  }
  out = v;
  return true;
}

}  // namespace fw::cli
