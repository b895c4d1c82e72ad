// Frames per second of the background-model modes on the sample clip (352 x 288): the mode's
// detection step and the model's post step, as the pipeline runs them, on frames decoded before
// the timing. Each mode first runs through its learning phase untimed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "detect/background_model.h"
#include "detect/background_modes.h"
#include "detect/dispatch.h"
#include "video/avi_reader.h"

namespace {

const std::string kSample = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";
constexpr int kFrames = 120;

const std::vector<fw::Dib>& Frames() {
  static const std::vector<fw::Dib> frames = [] {
    std::vector<fw::Dib> decoded;
    fw::AviReader reader;
    fw::Dib frame;
    if (!reader.OpenInto(kSample, frame, fw::OpenReport::Quiet)) return decoded;
    for (int i = 0; i < kFrames && reader.GetFrame(i, frame); ++i) {
      decoded.emplace_back().CopyFrom(frame, false);
    }
    return decoded;
  }();
  return frames;
}

void Frame(fw::DetectionState& state, const fw::Dib& frame) {
  state.modelDisplayFlag = 1;
  state.regionFlag = 0;
  state.panes.topLeft().CopyFrom(frame, true);
  fw::RunDetectionStep(state);
  fw::ModelPostStep(state);
}

void BM_BackgroundMode(benchmark::State& bench) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.size() < 64) {
    bench.SkipWithError("cannot read the sample clip");
    return;
  }
  const int mode = static_cast<int>(bench.range(0));
  fw::DetectionState state;
  state.panes.topLeft().CopyFrom(frames[0], false);
  state.backgroundParams.postProcessing = bench.range(1) != 0;
  fw::SelectMode(state, mode);
  if (state.backgroundModel) state.backgroundModel->SetClusterSeed(1);
  for (int i = 0; i < 61; ++i) Frame(state, frames[i]);  // learning phases
  size_t i = 61;
  for (auto _ : bench) {
    Frame(state, frames[i]);
    if (++i == frames.size()) i = 0;
  }
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
