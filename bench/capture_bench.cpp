// What live capture costs: decoding plus conversion to 352 x 288 4:2:0 frames, as the fraction
// of one core the capture thread takes at 25 frames per second. Two ways each for the simulated
// card replaying the sample clip and for an MPEG-TS stream served on the loopback interface by
// an ffmpeg process (its encoding is not counted: it runs in its own process):
//   *FrameCost: the source runs as fast as it can; CPU time per delivered frame, and what that
//               makes at 25 frames per second;
//   *RealTime:  the source runs at 25 frames per second for 10 s; CPU time over wall time.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "video/simulated_card.h"
#include "video/stream_capture.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const std::string kClip = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";
constexpr auto kRealTimeRun = std::chrono::seconds(10);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A clock that never waits: the card delivers frames as fast as it can make them.
class FreeRunningClock : public fw::PaceClock {
 public:
  Clock::time_point Now() override { return Clock::now(); }
  bool SleepUntil(Clock::time_point) override { return !woken_.load(); }
  void Wake() override { woken_ = true; }
  void Rearm() override { woken_ = false; }

 private:
  std::atomic<bool> woken_{false};
};

struct Run {
  double cpuSeconds = 0;
  double wallSeconds = 0;
  fw::CaptureCounts counts;
};

// Takes frames until `frames` were delivered or `length` has passed, measuring the process.
Run Measure(fw::CaptureSource& source, int64_t frames, Clock::duration length) {
  Run run;
  const double cpu0 = ProcessCpuSeconds();
  const auto start = Clock::now();
  fw::CapturedFrame frame;
  while (source.Frames().Counts().delivered < frames && Clock::now() - start < length) {
    if (source.Frames().WaitTake(frame, start + length) == fw::FrameSlot::Wait::Finished) break;
  }
  run.counts = source.Frames().Counts();
  run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpuSeconds = ProcessCpuSeconds() - cpu0;
  source.Stop();
  return run;
}

void Report(benchmark::State& state, const Run& run, bool realTime) {
  const double perFrame = run.counts.delivered > 0 ? run.cpuSeconds / run.counts.delivered : 0;
  state.counters["frames"] = static_cast<double>(run.counts.delivered);
  state.counters["dropped"] = static_cast<double>(run.counts.dropped);
  state.counters["fps"] = run.counts.delivered / run.wallSeconds;
  state.counters["cpu_us_per_frame"] = perFrame * 1e6;
  state.counters["core_at_25fps"] = realTime ? run.cpuSeconds / run.wallSeconds : perFrame * 25;
  state.SetIterationTime(run.wallSeconds);
}

void BM_SimulatedCardFrameCost(benchmark::State& state) {
  for (auto _ : state) {
    FreeRunningClock clock;
    fw::SimulatedCard card(kClip, &clock);
    if (fw::Result r = card.Open(); !r) {
      state.SkipWithError(r.message().c_str());
      return;
    }
    (void)card.Start(25);
    Report(state, Measure(card, 2000, std::chrono::minutes(2)), false);
  }
}
BENCHMARK(BM_SimulatedCardFrameCost)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_SimulatedCardRealTime(benchmark::State& state) {
  for (auto _ : state) {
    fw::SimulatedCard card(kClip);
    if (fw::Result r = card.Open(); !r) {
      state.SkipWithError(r.message().c_str());
      return;
    }
    (void)card.Start(25);
    Report(state, Measure(card, 1 << 30, kRealTimeRun), true);
  }
}
BENCHMARK(BM_SimulatedCardRealTime)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int FreeLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

// An ffmpeg process serving the sample clip as MPEG-TS to one client on a loopback port.
class Sender {
 public:
  Sender(int port, bool realTime) {
    const std::string url = "tcp://127.0.0.1:" + std::to_string(port) + "?listen=1";
    std::vector<std::string> args = {"ffmpeg", "-loglevel", "quiet", "-nostdin"};
    if (realTime) {
      // Played at its own pace and re-encoded at 25 frames per second.
      args.insert(args.end(), {"-re", "-stream_loop", "-1", "-i", kClip, "-vf", "fps=25", "-c:v",
                               "mpeg4", "-q:v", "3"});
    } else {
      // As fast as the reader takes it, the clip's own packets.
      args.insert(args.end(), {"-stream_loop", "20", "-i", kClip, "-c", "copy"});
    }
    args.insert(args.end(), {"-f", "mpegts", url});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~Sender() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

void StreamBenchmark(benchmark::State& state, bool realTime) {
  for (auto _ : state) {
    const int port = FreeLoopbackPort();
    Sender sender(port, realTime);
    if (!sender.Running()) {
      state.SkipWithError("cannot start ffmpeg");
      return;
    }
    fw::StreamCapture stream("tcp://127.0.0.1:" + std::to_string(port));
    fw::Result opened;
    // The sender needs a moment before it listens.
    for (int attempt = 0; attempt < 50; ++attempt) {
      opened = stream.Open();
      if (opened) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!opened) {
      state.SkipWithError(opened.message().c_str());
      return;
    }
    (void)stream.Start(25);
    Report(state,
           realTime ? Measure(stream, 1 << 30, kRealTimeRun)
                    : Measure(stream, 5000, std::chrono::minutes(2)),
           realTime);
    stream.Close();
  }
}

void BM_TcpStreamFrameCost(benchmark::State& state) {
  StreamBenchmark(state, false);
}
BENCHMARK(BM_TcpStreamFrameCost)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_TcpStreamRealTime(benchmark::State& state) {
  StreamBenchmark(state, true);
}
BENCHMARK(BM_TcpStreamRealTime)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
