// info, detect and bench on a live source (--live): the simulated card, a V4L2 device or a
// network stream, run at the source's pace through the session's online mode.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/mode_table.h"
#include "app/session.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "detect/alarm.h"

namespace fw::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The live options every command takes: the source, its rate and reconnection.
struct LiveSetup {
  std::string source;
  int rate = 25;
  bool reconnect = false;
};

bool ReadLiveSetup(Args& parsed, LiveSetup& setup) {
  setup.source = parsed.Value("live").value_or("");
  setup.reconnect = parsed.Has("reconnect");
  if (!parsed.IntValue("rate", kMinCaptureRate, kMaxCaptureRate, setup.rate)) {
    Fail(parsed.error());
    return false;
  }
  if (!parsed.Positional().empty()) {
    Fail("a live run takes no video file (got \"" + parsed.Positional()[0] + "\")");
    return false;
  }
  return true;
}

// The session online on the source: every report of the source is one line on stderr.
bool GoOnline(Session& session, const LiveSetup& setup) {
  if (const Result address = session.SetCaptureAddress(setup.source); !address) {
    Fail(address.message());
    return false;
  }
  CaptureOptions options;
  options.reconnect = setup.reconnect;
  session.SetCaptureOptions(options);
  session.SetFrameRate(static_cast<float>(setup.rate));
  session.SetCaptureReporter([](const CaptureStatus& status) {
    std::fprintf(stderr, "fumewatch-cli: %s\n", status.text.c_str());
  });
  return session.StartCapture();
}

// When a live run ends: after a number of frames, after a time, or neither (the source's end or
// Ctrl+C).
struct LiveLimits {
  int frames = -1;
  double seconds = -1.0;
};

struct LiveRun {
  int processed = 0;
  bool sourceEnded = false;  // the stream ended or failed before the limit
};

// Runs live frames until the limit: the mode is selected on the first one. Progress goes to a
// terminal on stderr.
LiveRun RunLiveFrames(Session& session, const ModeInfo& mode, const LiveLimits& limits) {
  const bool progress = isatty(STDERR_FILENO) != 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = limits.seconds >= 0
                                    ? start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(limits.seconds))
                                    : Clock::time_point::max();
  LiveRun run;
  while (!InterruptStops::Flag() && (limits.frames < 0 || run.processed < limits.frames)) {
    const Clock::time_point now = Clock::now();
    if (now >= end) break;
    // A short wait, so that Ctrl+C and the end of the time are seen soon.
    const LiveWait wait =
        session.RunCaptureFrame(std::min(end, now + std::chrono::milliseconds(100)));
    session.HandleCaptureReports();
    if (wait == LiveWait::Finished) {
      run.sourceEnded = true;
      break;
    }
    if (wait != LiveWait::Frame) continue;
    if (++run.processed == 1) session.SelectMode(mode.id);
    if (progress && run.processed % 25 == 0) {
      std::fprintf(stderr, "\rframe %d, %.1f frames/s, %lld dropped", run.processed,
                   session.Capture().MeasuredRate(),
                   static_cast<long long>(session.Capture().Counts().dropped));
    }
  }
  if (progress && run.processed >= 25) std::fputc('\n', stderr);
  session.HandleCaptureReports();
  return run;
}

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int RunLiveInfo(const ArgList& args) {
  Args parsed(args, {"live"}, {});
  if (!parsed.ok()) return Fail(parsed.error());
  LiveSetup setup;
  if (!ReadLiveSetup(parsed, setup)) return 1;
  LiveCapture capture;
  if (const Result address = capture.SetAddress(setup.source); !address) {
    return Fail(address.message());
  }
  if (const Result opened = capture.Open(); !opened) return Fail(opened.message());
  const CaptureParameters p = capture.Parameters();
  std::printf("source=%s width=%d height=%d input=%dx%d fps=%g format=%s\n",
              capture.SourceName().c_str(), kCaptureWidth, kCaptureHeight, p.inputWidth,
              p.inputHeight, p.inputRate, p.format.c_str());
  return 0;
}

int RunLiveDetect(const ArgList& args) {
  Args parsed(args, {"mode", "live", "rate", "frames", "seconds", "events", "set"}, {"reconnect"});
  if (!parsed.ok()) return Fail(parsed.error());
  LiveSetup setup;
  LiveLimits limits;
  int seconds = -1;
  if (!ReadLiveSetup(parsed, setup)) return 1;
  const ModeInfo* info = ModeOption(parsed, -1);
  if (!info) return 1;
  if (!parsed.IntValue("frames", 0, 1 << 30, limits.frames) ||
      !parsed.IntValue("seconds", 0, 1 << 30, seconds)) {
    return Fail(parsed.error());
  }
  if (seconds >= 0) limits.seconds = seconds;
  std::ofstream events;
  if (!OpenEvents(parsed, events)) return 1;

  InterruptStops interrupts;
  Session session;  // no sound in batch runs
  if (!ApplySettings(session, *info, parsed)) return 1;
  if (!GoOnline(session, setup)) return 1;
  int alarms = 0;
  // The source as it names itself: a password in its URL is hidden.
  PrintAlarmIntervals(session, info->number(), "source", session.Capture().SourceName(), events,
                      alarms);
  std::fprintf(stderr, "fumewatch-cli: watching %s in mode %d; alarm log %s\n",
               session.Capture().SourceName().c_str(), info->number(),
               AlarmLogOf(session.State()).c_str());
  const LiveRun run = RunLiveFrames(session, *info, limits);
  const int64_t dropped = session.Capture().Counts().dropped;
  // An alarm still on ends with the run.
  session.StopCapture();
  std::printf("frames=%d alarms=%d dropped=%lld\n", run.processed, alarms,
              static_cast<long long>(dropped));
  return run.sourceEnded ? 1 : 0;
}

int RunLiveBench(const ArgList& args) {
  Args parsed(args, {"mode", "live", "rate", "seconds"}, {"reconnect"});
  if (!parsed.ok()) return Fail(parsed.error());
  LiveSetup setup;
  int seconds = 10;
  if (!ReadLiveSetup(parsed, setup)) return 1;
  const ModeInfo* info = ModeOption(parsed, ModeNumber(ModeId::Smoke));
  if (!info) return 1;
  if (!parsed.IntValue("seconds", 1, 1 << 20, seconds)) return Fail(parsed.error());

  InterruptStops interrupts;
  Session session;
  session.State().alarmLogEnabled = false;  // a measurement writes no log
  if (!GoOnline(session, setup)) return 1;
  const Clock::time_point start = Clock::now();
  const double processorStart = ProcessorSeconds();
  LiveLimits limits;
  limits.seconds = seconds;
  const LiveRun run = RunLiveFrames(session, *info, limits);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double processor = ProcessorSeconds() - processorStart;
  const int64_t dropped = session.Capture().Counts().dropped;
  const std::string name = session.Capture().SourceName();
  session.StopCapture();
  std::printf("source=%s mode=%d frames=%d seconds=%.1f fps=%.1f dropped=%lld cpu=%.1f%% ms=%.3f\n",
              name.c_str(), info->number(), run.processed, wall,
              wall > 0 ? run.processed / wall : 0.0, static_cast<long long>(dropped),
              wall > 0 ? 100.0 * processor / wall : 0.0,
              run.processed > 0 ? 1000.0 * processor / run.processed : 0.0);
  return run.sourceEnded ? 1 : 0;
}

}  // namespace fw::cli
