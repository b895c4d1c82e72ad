// Cost of reading frames from the sample clip (MPEG-4 part 2, 352 x 288, 258 frames, two
// keyframes) into a bottom-up 24-bit Dib: playing forward, and jumping as the frame slider does.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "video/avi_reader.h"

namespace {

const std::string kClip = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";

bool OpenClip(fw::AviReader& reader, fw::Dib& image, benchmark::State& state) {
  if (const fw::Result opened = reader.OpenInto(kClip, image, fw::OpenReport::Quiet); !opened) {
    state.SkipWithError(opened.message().c_str());
    return false;
  }
  return true;
}

// Plays the clip frame after frame, starting again at frame 0 after the last, as playback does.
void BM_DecodeSequential(benchmark::State& state) {
  fw::AviReader reader;
  fw::Dib image;
  if (!OpenClip(reader, image, state)) return;
  int index = 0;
  for (auto _ : state) {
    if (!reader.GetFrame(index, image)) {
      state.SkipWithError("frame not delivered");
      return;
    }
    benchmark::DoNotOptimize(image.Pixels());
    index = index + 1 < reader.FrameCount() ? index + 1 : 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeSequential)->Unit(benchmark::kMicrosecond);

// Frames at random indices: each costs a seek to the keyframe before it and the decoding of
// every frame from there.
void BM_DecodeRandomAccess(benchmark::State& state) {
  fw::AviReader reader;
  fw::Dib image;
  if (!OpenClip(reader, image, state)) return;
  std::mt19937 random(1);
  std::vector<int> order(1024);
  for (int& i : order) i = static_cast<int>(random() % reader.FrameCount());
  size_t next = 0;
  for (auto _ : state) {
    if (!reader.GetFrame(order[next], image)) {
      state.SkipWithError("frame not delivered");
      return;
    }
    benchmark::DoNotOptimize(image.Pixels());
    next = (next + 1) % order.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeRandomAccess)->Unit(benchmark::kMicrosecond);

// Reading the same frame again (a paused pane being refreshed): only the colour conversion.
void BM_RereadSameFrame(benchmark::State& state) {
  fw::AviReader reader;
  fw::Dib image;
  if (!OpenClip(reader, image, state)) return;
  for (auto _ : state) {
    reader.GetFrame(100, image);
    benchmark::DoNotOptimize(image.Pixels());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RereadSameFrame)->Unit(benchmark::kMicrosecond);

// Opening the clip: container header, index check and decoder set-up.
void BM_Open(benchmark::State& state) {
  fw::Dib image;
  for (auto _ : state) {
    fw::AviReader reader;
    if (!OpenClip(reader, image, state)) return;
  }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
