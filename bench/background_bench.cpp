// Frames per second of the background-model modes on the sample clip (352 x 288): the pipeline
// on frames decoded before the timing. Each mode first runs through its learning phase untimed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_frames.h"

namespace {

constexpr int kFrames = 120;

const std::vector<fw::Dib>& Frames() {
  static const std::vector<fw::Dib> frames = fw::bench::DecodeSample(kFrames);
  return frames;
}

void BM_BackgroundMode(benchmark::State& bench) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.size() < 64) {
    bench.SkipWithError("cannot read the sample clip");
    return;
  }
  const auto mode = static_cast<fw::ModeId>(bench.range(0));
  fw::DetectionState state;
  state.background.params.postProcessing = bench.range(1) != 0;
  state.background.params.clusterSeed = 1;
  fw::bench::SelectOnFirstFrame(state, frames, mode);
  fw::bench::FrameFeed feed(frames);
  for (int i = 0; i < 61; ++i) fw::RunPipeline(state, feed);  // learning phases
  for (auto _ : bench) fw::RunPipeline(state, feed);
  bench.SetItemsProcessed(bench.iterations());
  bench.SetLabel(std::to_string(frames[0].Width()) + "x" + std::to_string(frames[0].Height()) +
                 (bench.range(1) ? " post-processing" : ""));
}

BENCHMARK(BM_BackgroundMode)
    ->ArgNames({"mode", "post"})
    ->ArgsProduct({{1, 2, 257, 258, 260, 264, 7001, 7002, 7004}, {0}})
    ->Args({257, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
