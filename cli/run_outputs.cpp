#include "cli/run_outputs.h"

#include <filesystem>

#include "app/evaluation/evidence.h"
#include "app/evaluation/timeline_chart.h"
#include "app/mode_table.h"
#include "cli/png_file.h"

namespace fw::cli {

namespace fs = std::filesystem;

namespace {

// An output file must not be the clip, and its folder must exist.
Result CheckOutput(const std::string& path, const std::string& video, const char* option) {
  std::error_code ec;
  if (fs::exists(path, ec) && fs::equivalent(path, video, ec)) {
    return Result::Error(path + ": " + option + " names the video itself");
  }
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    return Result::Error(path + ": " + option + ": no such folder " + folder.string());
  }
  return Result::Ok();
}

}  // namespace

Result PrepareRunFiles(const Args& parsed, const std::string& video, RunFiles& files) {
  files.scores = parsed.Value("scores").value_or("");
  files.plot = parsed.Value("plot").value_or("");
  if (!files.scores.empty()) {
    if (const Result ok = CheckOutput(files.scores, video, "--scores"); !ok) return ok;
  }
  if (!files.plot.empty()) {
    if (const Result ok = CheckOutput(files.plot, video, "--plot"); !ok) return ok;
  }
  if (const auto mask = parsed.Value("mask")) {
    if (const Result loaded = files.mask.Load(*mask); !loaded) return loaded;
  }
  if (const auto truthPath = parsed.Value("truth")) {
    std::vector<TruthRow> rows;
    if (const Result read = ReadTruthFile(*truthPath, rows); !read) return read;
    const TruthRow* row = FindTruth(rows, video);
    if (!row) {
      return Result::Error(*truthPath + ": no row for " + fs::path(video).filename().string());
    }
    files.truth = *row;
  }
  return Result::Ok();
}

Result CheckLogIsNotTheVideo(const std::string& log, const std::string& video) {
  std::error_code ec;
  if (fs::exists(log, ec) && fs::equivalent(log, video, ec)) {
    return Result::Error(log + ": the alarm log would be written into the video itself");
  }
  return Result::Ok();
}

Result RunFiles::Write(const std::string& video) const {
  if (!scores.empty()) {
    if (const Result written = WriteScoresCsv(series, scores); !written) return written;
  }
  if (plot.empty()) return Result::Ok();
  TimelineRow row;
  row.frames = series.Frames();
  row.series = &series;
  row.intervals = intervals;
  if (truth) {
    row.onset = truth->onset;
    row.end = truth->end;
  }
  const char* label = ModeLabel(static_cast<ModeId>(mode));
  row.label = fs::path(video).filename().string() + "  " + std::to_string(mode) +
              (label ? std::string(" ") + label : std::string());
  if (const char* evidence = EvidenceName(static_cast<ModeId>(mode))) {
    row.label += std::string("  (curve: ") + evidence + ")";
  }
  Dib picture;
  DrawTimeline(picture, std::span<const TimelineRow>(&row, 1));
  return SavePng(picture, plot);
}

}  // namespace fw::cli
