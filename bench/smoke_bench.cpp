// Per-frame cost of the smoke modes 7010 and 7011 on the sample clip (352 x 288), frames decoded
// before the timed loop. Each iteration runs the pipeline on the next frame (delivered into the
// frame pane as a copy, as decoding would write it); the copy alone is measured beside them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_frames.h"

namespace {

const std::vector<fw::Dib>& Frames() {
  static const std::vector<fw::Dib> frames = fw::bench::DecodeSample(0);
  return frames;
}

void RunMode(benchmark::State& bench, fw::ModeId mode) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) {
    bench.SkipWithError("cannot read the sample clip");
    return;
  }
  fw::DetectionState state;
  fw::bench::SelectOnFirstFrame(state, frames, mode);
  fw::bench::FrameFeed feed(frames, 1);
  for (auto _ : bench) fw::RunPipeline(state, feed);
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
  RunMode(bench, fw::ModeId::Smoke);
}
void BM_SmokeBlockMode7011(benchmark::State& bench) {
  RunMode(bench, fw::ModeId::BlockSmoke);
}

BENCHMARK(BM_FrameCopyOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmokePixelMode7010)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmokeBlockMode7011)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
