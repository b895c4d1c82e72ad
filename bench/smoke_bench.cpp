// Per-frame cost of the smoke modes 7010 and 7011 on the sample clip (352 x 288), frames decoded
// before the timed loop. Each iteration delivers the next frame into the frame pane (a copy, as
// decoding would) and runs the mode's detection and end-of-frame steps; the copy alone is
// measured beside them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "detect/dispatch.h"
#include "detect/smoke_modes.h"
#include "video/avi_reader.h"

namespace {

const std::string kSample = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";

const std::vector<fw::Dib>& Frames() {
  static const std::vector<fw::Dib> frames = [] {
    std::vector<fw::Dib> out;
    fw::AviReader reader;
    fw::Dib frame;
    if (!reader.OpenInto(kSample, frame, fw::OpenReport::Quiet)) return out;
    for (int i = 0; i < reader.FrameCount() && reader.GetFrame(i, frame); ++i) {
      out.emplace_back().CopyFrom(frame, false);
    }
    return out;
  }();
  return frames;
}

void RunMode(benchmark::State& bench, int mode) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) {
    bench.SkipWithError("cannot read the sample clip");
    return;
  }
  fw::DetectionState state;
  state.panes.topLeft().CopyFrom(frames[0], false);
  fw::SelectMode(state, mode);
  size_t next = 1;
  for (auto _ : bench) {
    state.panes.topLeft().CopyFrom(frames[next], true);
    next = next + 1 == frames.size() ? 0 : next + 1;
    fw::RunDetectionStep(state);
    fw::RunEndOfFrame(state);
  }
  bench.SetItemsProcessed(bench.iterations());
}

void BM_FrameCopyOnly(benchmark::State& bench) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) {
    bench.SkipWithError("cannot read the sample clip");
    return;
  }
  fw::Dib pane;
  pane.CopyFrom(frames[0], false);
  size_t next = 1;
  for (auto _ : bench) {
    pane.CopyFrom(frames[next], true);
    next = next + 1 == frames.size() ? 0 : next + 1;
    benchmark::DoNotOptimize(pane.Pixels());
  }
  bench.SetItemsProcessed(bench.iterations());
}

void BM_SmokePixelMode7010(benchmark::State& bench) {
  RunMode(bench, fw::kModeSmoke);
}
void BM_SmokeBlockMode7011(benchmark::State& bench) {
  RunMode(bench, fw::kModeBlockSmoke);
}

BENCHMARK(BM_FrameCopyOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmokePixelMode7010)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmokeBlockMode7011)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
