// eval: every mode over every clip against the ground truth, as a table, CSV, JSON and pictures.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include "app/evaluation/evaluation.h"
#include "app/evaluation/report_formats.h"
#include "app/mode_table.h"
#include "app/scene_mask.h"
#include "cli/commands.h"
#include "cli/png_file.h"

namespace fw::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEvalHelp =
    "usage: fumewatch-cli eval --truth TRUTH.tsv --modes N[,N...] [options] CLIPS...\n\n"
    "Runs each mode over each clip (as 'detect' does, one process per run, --jobs at once) and\n"
    "prints per mode and clip: detected or missed, the delay from the onset to the first alarm\n"
    "frame at or after it (frames and seconds; 0 when the alarm is on at the onset) and the\n"
    "false-alarm intervals, then a summary per mode: clips detected, mean and worst delay,\n"
    "false alarms per hour of video. A clip that cannot be read gives rows with its error; the\n"
    "exit status is then 1.\n\n"
    "A false alarm is, on a clip without an event, every alarm interval; on a clip with one, an\n"
    "interval whose last alarm frame lies before the onset, or that starts after the end frame\n"
    "when the truth gives one (such an interval is never the detection).\n\n"
    "The truth file has one row per clip, tab-separated: the clip's file name (matched against\n"
    "the file name of each clip given), its onset frame (the first frame showing smoke or fire)\n"
    "or - for a clip without any, then optionally the end frame (the last frame showing it) and\n"
    "a kind. Lines that start with # are comments.\n\n"
    "Written in --out: each run's alarm log <clip>.<mode>.txt and per-frame scores\n"
    "<clip>.<mode>.csv (see 'detect --scores'), eval.csv (mode,clip,detected,delay_frames,\n"
    "delay_s,false_alarms: detected 1 or 0, empty for a clip without an event, error for a run\n"
    "without a result; the delays empty when missed) and eval.json (every run with its\n"
    "intervals or its error, and the summaries). Nothing is written beside the clips.\n\n"
    "options:\n"
    "  --truth FILE    the ground truth (required)\n"
    "  --modes LIST    the modes, comma-separated (required; see 'fumewatch-cli modes')\n"
    "  --jobs N        runs at once (default: the number of cores)\n"
    "  --out DIR       where the results go (default: eval-results; created when missing)\n"
    "  --mask MASK     a scene mask for every run (see 'detect --mask')\n"
    "  --plot          also draw <clip>.png in --out: one timeline row per mode with the\n"
    "                  evidence curve, the alarm intervals as red bars, the onset in green and\n"
    "                  the end frame in dark green\n";

// "7010,7011" -> the modes, each known and given once.
Result ParseModes(const std::string& list, std::vector<int>& modes) {
  std::set<int> seen;
  size_t from = 0;
  while (from <= list.size()) {
    const size_t comma = list.find(',', from);
    const std::string item =
        list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    int mode = 0;
    if (!ParseInt(item, mode)) {
      return Result::Error("--modes: \"" + item + "\" is not a mode number");
    }
    if (!FindMode(mode)) {
      return Result::Error("--modes: unknown mode " + item + " (see 'fumewatch-cli modes')");
    }
    if (!seen.insert(mode).second) return Result::Error("--modes: mode " + item + " given twice");
    modes.push_back(mode);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return Result::Ok();
}

std::string ThisProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

}  // namespace

int RunEval(const ArgList& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kEvalHelp, stdout);
      return 0;
    }
  }
  Args parsed(args, {"truth", "modes", "jobs", "out", "mask"}, {"plot"});
  if (!parsed.ok()) return Fail(parsed.error());
  if (!parsed.Has("truth") || !parsed.Has("modes") || parsed.Positional().empty()) {
    std::fputs(kEvalHelp, stderr);
    return 2;
  }
  EvaluationRequest request;
  request.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (!parsed.IntValue("jobs", 1, 256, request.jobs)) return Fail(parsed.error());
  if (const Result modes = ParseModes(*parsed.Value("modes"), request.modes); !modes) {
    return Fail(modes.message());
  }
  if (const Result read = ReadTruthFile(*parsed.Value("truth"), request.truth); !read) {
    return Fail(read.message());
  }
  if (const auto mask = parsed.Value("mask")) {
    SceneMask check;
    if (const Result loaded = check.Load(*mask); !loaded) return Fail(loaded.message());
    request.mask = fs::absolute(*mask).string();
  }
  request.outDir = parsed.Value("out").value_or("eval-results");
  std::error_code ec;
  fs::create_directories(request.outDir, ec);
  if (!fs::is_directory(request.outDir)) return Fail(request.outDir + ": cannot create the folder");
  if (::access(request.outDir.c_str(), W_OK | X_OK) != 0) {
    return Fail(request.outDir + ": the folder cannot be written");
  }
  request.clips = parsed.Positional();
  request.worker = ThisProgram();
  if (request.worker.empty()) return Fail("cannot find this program to run the clips with");

  const bool tty = isatty(STDERR_FILENO) != 0;
  const EvaluationReport report =
      RunEvaluation(request, [tty](int done, int total, const RunOutcome& run) {
        if (tty) {
          std::fprintf(stderr, "\reval: %d/%d runs", done, total);
          if (done == total) std::fputc('\n', stderr);
        } else if (!run.ok) {
          std::fprintf(stderr, "fumewatch-cli: %s, mode %d: %s\n", run.name.c_str(), run.mode,
                       run.error.c_str());
        }
      });
  std::fputs(FormatTable(report).c_str(), stdout);
  std::fflush(stdout);

  const fs::path out(request.outDir);
  Result written = WriteWholeFile((out / "eval.csv").string(), FormatCsv(report));
  if (written) written = WriteWholeFile((out / "eval.json").string(), FormatJson(report));
  if (written && parsed.Has("plot")) {
    std::vector<std::string> drawn;
    for (const RunOutcome& run : report.runs) {
      if (std::find(drawn.begin(), drawn.end(), run.name) != drawn.end()) continue;
      drawn.push_back(run.name);
      const std::vector<TimelineRow> rows = TimelineRows(report, run.name);
      Dib picture;
      DrawTimeline(picture, rows);
      written = SavePng(picture, (out / (run.name + ".png")).string());
      if (!written) break;
    }
  }
  if (!written) return Fail(written.message());
  const int failed = static_cast<int>(std::count_if(report.runs.begin(), report.runs.end(),
                                                    [](const RunOutcome& r) { return !r.ok; }));
  if (failed > 0) {
    std::fprintf(stderr, "fumewatch-cli: %d of %zu runs have no result (see the table)\n", failed,
                 report.runs.size());
    return 1;
  }
  return 0;
}

}  // namespace fw::cli
