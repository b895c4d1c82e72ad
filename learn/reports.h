// Text reports of the learning runs, with CR LF lines and the system's own texts (UTF-8).
#pragma once

#include <cstdio>
#include <string>

namespace fw {

// printf-style formatting into a string (reports and progress texts).
template <typename... Values>
std::string Format(const char* format, Values... values) {
  const int n = std::snprintf(nullptr, 0, format, values...);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) std::snprintf(out.data(), out.size() + 1, format, values...);
  return out;
}

}  // namespace fw
