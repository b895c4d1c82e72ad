// Per-frame cost of each analysis of the workbench on the sample clip (352 x 288), frames decoded
// before the timing and fed to the pipeline one after the other. The top-left operations and the
// histogram run beside mode 0; the snake needs a background model and runs beside mode 1
// (Backward), which is also measured alone so that the snake's own cost is the difference.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/analysis_commands.h"
#include "bench/bench_frames.h"
#include "workbench/workbench_state.h"

namespace {

using fw::bench::FrameFeed;

// Frames with the workbench's step where the pipeline runs the analyses.
class AnalysisFeed : public FrameFeed {
 public:
  AnalysisFeed(const std::vector<fw::Dib>& frames, fw::WorkbenchState& workbench)
      : FrameFeed(frames, 1), workbench_(workbench) {}
  void RunAnalysisOperations(fw::DetectionState& state) override {
    fw::RunAnalysisFrame(workbench_, state, false, false, nullptr);
  }

 private:
  fw::WorkbenchState& workbench_;
};

const std::vector<fw::Dib>& Frames() {
  static const std::vector<fw::Dib> frames = fw::bench::DecodeSample(0);
  return frames;
}

void RunAnalysis(benchmark::State& state, int analysis, fw::ModeId mode) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) {
    state.SkipWithError("cannot decode the sample clip");
    return;
  }
  fw::DetectionState detection;
  auto workbench = std::make_unique<fw::WorkbenchState>();
  fw::bench::SelectOnFirstFrame(detection, frames, mode);
  if (analysis != 0 && !fw::RunAnalysisCommand(*workbench, detection, analysis)) {
    state.SkipWithError("the analysis cannot be chosen");
    return;
  }
  AnalysisFeed feed(frames, *workbench);
  // One untimed pass, so that the models have learned and every buffer is sized.
  for (size_t i = 0; i < frames.size(); ++i) fw::RunPipeline(detection, feed);
  for (auto _ : state) fw::RunPipeline(detection, feed);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  for (const int id : fw::AnalysisIds()) {
    const bool snake = id == fw::analysis::kSnakeModel;
    const fw::ModeId mode = snake ? fw::ModeId::BackwardDifference : fw::ModeId::None;
    const std::string name =
        "Analysis/" + std::to_string(id) + (snake ? "+mode1/" : "/") + fw::AnalysisLabel(id);
    benchmark::RegisterBenchmark(name.c_str(), [id, mode](benchmark::State& s) {
      RunAnalysis(s, id, mode);
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("Analysis/none/mode0", [](benchmark::State& s) {
    RunAnalysis(s, 0, fw::ModeId::None);
  })->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Analysis/none/mode1", [](benchmark::State& s) {
    RunAnalysis(s, 0, fw::ModeId::BackwardDifference);
  })->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
