#include "app/evaluation/truth_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/input_file.h"

namespace fw {

namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t from = 0;
  while (true) {
    const size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
    if (tab == std::string_view::npos) return fields;
    from = tab + 1;
  }
}

// A frame number: whole, 0 or more, below 2^31.
bool ParseFrame(std::string_view text, int& out) {
  if (text.empty() || text.size() > 10) return false;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 0x7fffffff) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

Result ParseTruth(std::string_view text, const std::string& name, std::vector<TruthRow>& rows) {
  std::vector<TruthRow> parsed;
  int lineNumber = 0;
  size_t from = 0;
  while (from < text.size()) {
    const size_t newline = text.find('\n', from);
    std::string_view line = text.substr(
        from, newline == std::string_view::npos ? std::string_view::npos : newline - from);
    from = newline == std::string_view::npos ? text.size() : newline + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const auto bad = [&](const std::string& problem) {
      return Result::Error(name + ": line " + std::to_string(lineNumber) + ": " + problem);
    };
    const std::vector<std::string_view> fields = SplitTabs(line);
    if (fields.size() < 2 || fields.size() > 4) {
      return bad(
          "expected the clip's file name, its onset frame or -, and optionally an end "
          "frame and a kind, separated by tabs (found " +
          std::to_string(fields.size()) + " field" + (fields.size() == 1 ? "" : "s") + ")");
    }
    TruthRow row;
    row.line = lineNumber;
    row.clip = std::string(fields[0]);
    if (row.clip.empty() || row.clip.find('/') != std::string::npos) {
      return bad("the clip must be a file name without folders (got \"" + row.clip + "\")");
    }
    if (fields[1] != "-" && !ParseFrame(fields[1], row.onset)) {
      return bad("the onset must be a frame number or - (got \"" + std::string(fields[1]) + "\")");
    }
    if (fields.size() >= 3 && !fields[2].empty()) {
      if (!row.HasEvent()) return bad("a clip without an event (onset -) has no end frame");
      if (!ParseFrame(fields[2], row.end)) {
        return bad("the end must be a frame number (got \"" + std::string(fields[2]) + "\")");
      }
      if (row.end < row.onset) {
        return bad("the end frame " + std::to_string(row.end) + " lies before the onset " +
                   std::to_string(row.onset));
      }
    }
    if (fields.size() == 4) row.kind = std::string(fields[3]);
    const auto same = std::find_if(parsed.begin(), parsed.end(),
                                   [&](const TruthRow& r) { return r.clip == row.clip; });
    if (same != parsed.end()) {
      return bad("\"" + row.clip + "\" has a row already, on line " + std::to_string(same->line));
    }
    parsed.push_back(std::move(row));
  }
  rows = std::move(parsed);
  return Result::Ok();
}

Result ReadTruthFile(const std::string& path, std::vector<TruthRow>& rows) {
  if (const Result regular = CheckInputFile(path); !regular) return regular.In(path);
  // One short row per clip: a file this large is not a truth file.
  constexpr std::uintmax_t kMostBytes = 16u << 20;
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) > kMostBytes && !ec) {
    return Result::Error(path + ": the truth file is larger than 16 MB");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Result::Error(path + ": cannot open the truth file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return Result::Error(path + ": cannot read the truth file");
  return ParseTruth(text.str(), path, rows);
}

const TruthRow* FindTruth(const std::vector<TruthRow>& rows, const std::string& clipPath) {
  const std::string base = std::filesystem::path(clipPath).filename().string();
  const auto it =
      std::find_if(rows.begin(), rows.end(), [&](const TruthRow& r) { return r.clip == base; });
  return it == rows.end() ? nullptr : &*it;
}

}  // namespace fw
