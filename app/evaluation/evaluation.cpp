#include "app/evaluation/evaluation.h"

#include <algorithm>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>

#include "video/avi_reader.h"

extern char** environ;

namespace fw {

namespace fs = std::filesystem;

namespace {

struct Task {
  size_t run = 0;  // index into the report's runs
  std::string stem;
  std::string stderrPath;
  double pixels = 0;  // the clip's frames times its frame size: how long the run takes
  pid_t pid = -1;
};

// The last line the worker wrote on stderr, without the program's prefix.
std::string WorkerMessage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::string last;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t cr = line.find_last_of('\r');  // progress lines overwritten in place
    if (cr != std::string::npos) line = line.substr(cr + 1);
    if (!line.empty()) last = line;
  }
  constexpr std::string_view kPrefix = "fumewatch-cli: ";
  if (last.starts_with(kPrefix)) last.erase(0, kPrefix.size());
  return last;
}

Result Spawn(const EvaluationRequest& request, const RunOutcome& run, Task& task) {
  const std::string mode = std::to_string(run.mode);
  const std::string clip = fs::absolute(run.clip).string();
  const std::string log = task.stem + ".txt";
  const std::string scores = task.stem + ".csv";
  std::vector<std::string> args = {request.worker, "detect", "--mode",   mode,
                                   "--log",        log,      "--scores", scores};
  if (!request.mask.empty()) {
    args.push_back("--mask");
    args.push_back(request.mask);
  }
  args.push_back(clip);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // A log of an earlier evaluation would be appended to: each run starts from none.
  std::error_code ec;
  fs::remove(log, ec);
  fs::remove(scores, ec);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, task.stderrPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int error =
      posix_spawn(&task.pid, request.worker.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    task.pid = -1;
    return Result::Error(request.worker + ": cannot start the run (" + std::strerror(error) + ")");
  }
  return Result::Ok();
}

void Collect(RunOutcome& run, const Task& task, int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    const double fps = run.series.fps;
    Result read = ReadAlarmLog(task.stem + ".txt", run.intervals);
    if (read) read = ReadScoresCsv(task.stem + ".csv", run.series);
    run.series.fps = fps;
    if (read) {
      run.ok = true;
      run.score = ScoreRun(run.intervals, run.truth, fps);
    } else {
      run.error = read.message();
    }
  } else if (WIFSIGNALED(status)) {
    run.error = "the run ended by signal " + std::to_string(WTERMSIG(status));
  } else {
    run.error = WorkerMessage(task.stderrPath);
    if (run.error.empty())
      run.error = "the run failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  }
  std::error_code ec;
  fs::remove(task.stderrPath, ec);
}

// What can be said about a clip before any run: it opens, and the truth has its row. `pixels` is
// the clip's frame count times its frame size, the measure of a run's work.
std::string ClipProblem(const EvaluationRequest& request, const std::string& clip,
                        const std::vector<std::string>& earlier, double& fps, double& pixels) {
  const std::string name = fs::path(clip).filename().string();
  for (const std::string& other : earlier) {
    if (fs::path(other).filename() == name) {
      return "another clip named " + name + " is evaluated already (" + other + ")";
    }
  }
  if (!FindTruth(request.truth, clip)) return "no row for " + name + " in the truth file";
  AviReader reader;
  if (const Result opened = reader.Open(clip, OpenReport::Quiet); !opened) {
    return opened.message();
  }
  if (reader.FrameCount() <= 0) return clip + ": the video has no frames";
  fps = reader.FramesPerSecond();
  pixels = static_cast<double>(reader.FrameCount()) * reader.Width() * reader.Height();
  return {};
}

}  // namespace

std::string RunFileStem(const std::string& outDir, const std::string& clipName, int mode) {
  return (fs::path(outDir) / (clipName + "." + std::to_string(mode))).string();
}

EvaluationReport RunEvaluation(const EvaluationRequest& request, const EvaluationProgress& progress,
                               const std::atomic<bool>* stop) {
  EvaluationReport report;
  std::vector<std::string> problems(request.clips.size());
  std::vector<double> rates(request.clips.size(), 0.0);
  std::vector<double> pixels(request.clips.size(), 0.0);
  for (size_t c = 0; c < request.clips.size(); ++c) {
    const std::vector<std::string> earlier(request.clips.begin(),
                                           request.clips.begin() + static_cast<long>(c));
    problems[c] = ClipProblem(request, request.clips[c], earlier, rates[c], pixels[c]);
  }
  std::vector<Task> pending;
  for (const int mode : request.modes) {
    for (size_t c = 0; c < request.clips.size(); ++c) {
      RunOutcome run;
      run.mode = mode;
      run.clip = request.clips[c];
      run.name = fs::path(run.clip).filename().string();
      if (const TruthRow* truth = FindTruth(request.truth, run.clip)) run.truth = *truth;
      run.series.fps = rates[c];
      run.error = problems[c];
      report.runs.push_back(std::move(run));
      if (!problems[c].empty()) continue;
      Task task;
      task.run = report.runs.size() - 1;
      task.pixels = pixels[c];
      task.stem = RunFileStem(request.outDir, report.runs.back().name, mode);
      task.stderrPath = (fs::path(request.outDir) /
                         ("." + report.runs.back().name + "." + std::to_string(mode) + ".stderr"))
                            .string();
      pending.push_back(std::move(task));
    }
  }
  // The longest runs first, so that the last ones to finish are short and the processes end
  // together (the rows keep the order of the modes and clips).
  std::stable_sort(pending.begin(), pending.end(),
                   [](const Task& a, const Task& b) { return a.pixels > b.pixels; });
  const int total = static_cast<int>(report.runs.size());
  int done = total - static_cast<int>(pending.size());
  for (const RunOutcome& run : report.runs) {
    if (!run.error.empty() && progress) progress(done, total, run);
  }

  const int jobs = std::max(request.jobs, 1);
  std::vector<Task> running;
  size_t next = 0;
  while (next < pending.size() || !running.empty()) {
    if (stop && stop->load()) {
      for (Task& task : running) {
        ::kill(task.pid, SIGTERM);
        int status = 0;
        ::waitpid(task.pid, &status, 0);
        RunOutcome& run = report.runs[task.run];
        run.error = "stopped";
        std::error_code ec;
        fs::remove(task.stderrPath, ec);
      }
      for (; next < pending.size(); ++next) report.runs[pending[next].run].error = "stopped";
      report.stopped = true;
      break;
    }
    while (next < pending.size() && static_cast<int>(running.size()) < jobs) {
      Task task = pending[next++];
      RunOutcome& run = report.runs[task.run];
      if (const Result started = Spawn(request, run, task); !started) {
        run.error = started.message();
        if (progress) progress(++done, total, run);
        continue;
      }
      running.push_back(std::move(task));
    }
    bool finished = false;
    for (size_t i = 0; i < running.size();) {
      int status = 0;
      const pid_t pid = ::waitpid(running[i].pid, &status, WNOHANG);
      if (pid == 0 || (pid < 0 && errno == EINTR)) {
        ++i;
        continue;
      }
      RunOutcome& run = report.runs[running[i].run];
      if (pid < 0) {
        run.error = std::string("the run was lost (") + std::strerror(errno) + ")";
      } else {
        Collect(run, running[i], status);
      }
      running.erase(running.begin() + static_cast<long>(i));
      finished = true;
      if (progress) progress(++done, total, run);
    }
    if (!finished && !running.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  SummariseModes(report, request.modes);
  return report;
}

void SummariseModes(EvaluationReport& report, const std::vector<int>& modes) {
  report.modes.clear();
  for (const int mode : modes) {
    ModeResult result;
    result.mode = mode;
    std::vector<RunScore> scores;
    for (const RunOutcome& run : report.runs) {
      if (run.mode != mode) continue;
      if (!run.ok) {
        ++result.failed;
        continue;
      }
      scores.push_back({run.series.Frames(), run.series.fps, run.score});
    }
    result.summary = Summarise(scores);
    report.modes.push_back(result);
  }
}

}  // namespace fw
