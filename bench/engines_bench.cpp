// Per-frame cost of the block-motion engine modes 7012-7016, frames decoded or generated before
// the timed loop: the sample clip (352 x 288), the rising-plume scene at 352 x 288 and 1280 x 720,
// and a worst case for the block matching in which every block moves (a random texture scrolling
// by (3, -2) pixels a frame). Each mode first runs 250 untimed frames, so that 7016 is past its
// 200-frame initialisation and its regions are drawn.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_frames.h"
#include "tests/support/scenes.h"

namespace {

using fw::ModeId;

enum class Feed { Sample, Plume, Scroll };

std::vector<fw::Dib> Scrolling(int width, int height, int count) {
  const int margin = 3 * count + 8;
  std::mt19937 rng(7);
  std::vector<uint8_t> texture(static_cast<size_t>(width + margin) * (height + margin) * 3);
  for (uint8_t& v : texture) v = static_cast<uint8_t>(rng());
  std::vector<fw::Dib> frames;
  for (int t = 0; t < count; ++t) {
    fw::Dib& frame = frames.emplace_back();
    frame.CreateSigned(width, height, 24, false);
    for (int y = 0; y < height; ++y) {
      const size_t row = static_cast<size_t>(y + 2 * t) * (width + margin);
      const uint8_t* src = texture.data() + (row + margin - 3 * t) * 3;
      std::copy(src, src + 3 * width, frame.Row(y));
    }
  }
  return frames;
}

const std::vector<fw::Dib>& Frames(Feed feed, int width) {
  static const std::vector<fw::Dib> sample = fw::bench::DecodeSample(0);
  static const std::vector<fw::Dib> plumeSmall =
      fw::test::SceneFrames(fw::test::Scene::RisingPlume, 352, 288, 300);
  static const std::vector<fw::Dib> plumeLarge =
      fw::test::SceneFrames(fw::test::Scene::RisingPlume, 1280, 720, 60);
  static const std::vector<fw::Dib> scrollSmall = Scrolling(352, 288, 60);
  static const std::vector<fw::Dib> scrollLarge = Scrolling(1280, 720, 30);
  switch (feed) {
    case Feed::Sample:
      return sample;
    case Feed::Plume:
      return width > 352 ? plumeLarge : plumeSmall;
    case Feed::Scroll:
      return width > 352 ? scrollLarge : scrollSmall;
  }
  return sample;
}

void RunMode(benchmark::State& bench, ModeId mode, Feed feed, int width) {
  const std::vector<fw::Dib>& frames = Frames(feed, width);
  if (frames.empty()) {
    bench.SkipWithError("no frames");
    return;
  }
  fw::DetectionState state;
  fw::bench::SelectOnFirstFrame(state, frames, mode);
  fw::bench::FrameFeed host(frames, 1);
  for (int i = 0; i < 250; ++i) fw::RunPipeline(state, host);
  for (auto _ : bench) fw::RunPipeline(state, host);
  bench.SetItemsProcessed(bench.iterations());
  bench.SetLabel(std::to_string(frames[0].Width()) + "x" + std::to_string(frames[0].Height()));
}

void Register() {
  const struct {
    const char* name;
    ModeId mode;
  } modes[] = {{"7012_FuzzyMat", ModeId::FuzzyMat},
               {"7013_LosingFrames", ModeId::LosingFrames},
               {"7014_Engineering", ModeId::Engineering},
               {"7015_FuzzyEngineering", ModeId::FuzzyEngineering},
               {"7016_SpringMouth", ModeId::SpringMouth}};
  const struct {
    const char* name;
    Feed feed;
    int width;
  } feeds[] = {{"sample_352x288", Feed::Sample, 352},
               {"plume_352x288", Feed::Plume, 352},
               {"plume_1280x720", Feed::Plume, 1280},
               {"scroll_352x288", Feed::Scroll, 352},
               {"scroll_1280x720", Feed::Scroll, 1280}};
  for (const auto& m : modes) {
    for (const auto& f : feeds) {
      benchmark::RegisterBenchmark(
          (std::string(m.name) + "/" + f.name).c_str(),
          [m, f](benchmark::State& s) { RunMode(s, m.mode, f.feed, f.width); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
