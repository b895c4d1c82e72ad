#include "app/evaluation/run_files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/evaluation/evidence.h"
#include "core/input_file.h"

namespace fw {

namespace {

constexpr const char* kScoresHeader = "frame,time_s,alarm,evidence";

Result ReadText(const std::string& path, const char* what, std::string& text) {
  if (const Result regular = CheckInputFile(path); !regular) return regular.In(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) return Result::Error(path + ": cannot open the " + what);
  std::ostringstream all;
  all << in.rdbuf();
  if (in.bad()) return Result::Error(path + ": cannot read the " + what);
  text = all.str();
  return Result::Ok();
}

// Calls `line` for each line (without its line end) with its number; stops at the first error.
template <typename F>
Result ForEachLine(const std::string& text, F&& line) {
  std::istringstream in(text);
  std::string row;
  for (int number = 1; std::getline(in, row); ++number) {
    if (!row.empty() && row.back() == '\r') row.pop_back();
    if (const Result r = line(row, number); !r) return r;
  }
  return Result::Ok();
}

}  // namespace

void RunSeries::Reserve(int frames) {
  alarm.reserve(static_cast<size_t>(frames));
  evidence.reserve(static_cast<size_t>(frames));
}

void RunSeries::Record(const DetectionState& state) {
  alarm.push_back(state.alarmFlag != 0 ? 1 : 0);
  const std::optional<double> value = ModeEvidence(state);
  if (value) hasEvidence = true;
  evidence.push_back(value.value_or(std::nan("")));
}

Result WriteWholeFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return Result::Error(path + ": cannot write (" + std::strerror(errno) + ")");
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return Result::Error(path + ": cannot write (" + std::strerror(written ? errno : writeError) +
                         ")");
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::remove(temporary.c_str());
    return Result::Error(path + ": cannot write (" + ec.message() + ")");
  }
  return Result::Ok();
}

Result WriteScoresCsv(const RunSeries& series, const std::string& path) {
  std::string text = std::string(kScoresHeader) + "\n";
  char row[96];
  for (int i = 0; i < series.Frames(); ++i) {
    const double seconds = series.fps > 0.0 ? i / series.fps : 0.0;
    const double value = series.evidence[i];
    const int n = std::isnan(value)
                      ? std::snprintf(row, sizeof row, "%d,%.4f,%d,\n", i, seconds, series.alarm[i])
                      : std::snprintf(row, sizeof row, "%d,%.4f,%d,%.10g\n", i, seconds,
                                      series.alarm[i], value);
    text.append(row, static_cast<size_t>(n));
  }
  return WriteWholeFile(path, text);
}

Result ReadScoresCsv(const std::string& path, RunSeries& series) {
  std::string text;
  if (const Result read = ReadText(path, "scores file", text); !read) return read;
  RunSeries parsed;
  const Result rows = ForEachLine(text, [&](const std::string& row, int number) {
    const auto bad = [&](const char* problem) {
      return Result::Error(path + ": line " + std::to_string(number) + ": " + problem);
    };
    if (number == 1) return row == kScoresHeader ? Result::Ok() : bad("not a scores file header");
    int frame = 0;
    double seconds = 0.0;
    int alarm = 0;
    int used = 0;
    if (std::sscanf(row.c_str(), "%d,%lf,%d,%n", &frame, &seconds, &alarm, &used) != 3 ||
        used == 0) {
      return bad("expected frame,time_s,alarm,evidence");
    }
    if (frame != parsed.Frames() || (alarm != 0 && alarm != 1)) {
      return bad("frames must count up from 0 and the alarm be 0 or 1");
    }
    double value = std::nan("");
    if (row[static_cast<size_t>(used)] != '\0') {
      char* end = nullptr;
      value = std::strtod(row.c_str() + used, &end);
      if (*end != '\0') return bad("the evidence is not a number");
      parsed.hasEvidence = true;
    }
    parsed.alarm.push_back(static_cast<uint8_t>(alarm));
    parsed.evidence.push_back(value);
    return Result::Ok();
  });
  if (!rows) return rows;
  if (text.empty()) return Result::Error(path + ": the scores file is empty");
  parsed.fps = series.fps;
  series = std::move(parsed);
  return Result::Ok();
}

Result ReadAlarmLog(const std::string& path, std::vector<FrameInterval>& intervals) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    intervals.clear();
    return Result::Ok();
  }
  std::string text;
  if (const Result read = ReadText(path, "alarm log", text); !read) return read;
  std::vector<FrameInterval> parsed;
  const Result lines = ForEachLine(text, [&](const std::string& row, int number) {
    FrameInterval interval;
    int used = 0;
    if (std::sscanf(row.c_str(), "Fire alarm at frame # %d to %d. %n", &interval.start,
                    &interval.end, &used) != 2 ||
        static_cast<size_t>(used) != row.size() || interval.end <= interval.start ||
        interval.start < 0) {
      return Result::Error(path + ": line " + std::to_string(number) +
                           ": not an alarm log line (\"Fire alarm at frame # S to E. \")");
    }
    parsed.push_back(interval);
    return Result::Ok();
  });
  if (!lines) return lines;
  intervals = std::move(parsed);
  return Result::Ok();
}

}  // namespace fw
