// Per-frame image operations at CIF (352 x 288) and 720p (1280 x 720) on a deterministic
// synthetic picture: gradients, the background-difference mask, grey conversion, the zoom view
// of the panes and the 4:2:0 conversion of live frames.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/colour.h"
#include "core/dib.h"
#include "core/difference.h"
#include "core/gradient.h"
#include "core/resample.h"

namespace fw {
namespace {

// Smooth ramps, a checker of fine texture and a bright disc, moved by `shift` pixels: a second
// frame with a small shift gives a realistic mix of changed and unchanged pixels.
Dib SyntheticPicture(int width, int height, int shift) {
  Dib image;
  image.CreateSigned(width, height, 24, false);
  const int cx = width / 2 + shift;
  const int cy = height / 2;
  const int radius = height / 4;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < width; ++x) {
      const int dx = x - cx;
      const int dy = y - cy;
      const bool disc = dx * dx + dy * dy < radius * radius;
      const int texture = ((x + shift) / 3 + y / 3) % 2 == 0 ? 12 : 0;
      row[3 * x] = static_cast<uint8_t>((x + shift) * 255 / width / 2 + texture);
      row[3 * x + 1] = static_cast<uint8_t>(disc ? 230 : y * 200 / height + texture);
      row[3 * x + 2] = static_cast<uint8_t>(disc ? 240 : 60 + texture);
    }
  }
  return image;
}

Dib GreyPicture(int width, int height) {
  const Dib colour = SyntheticPicture(width, height, 0);
  Dib grey;
  grey.Create(width, height, 8, false);
  ToGray(colour, grey);
  return grey;
}

void SetPixels(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

void BM_GradientMagnitude24(benchmark::State& state) {
  const Dib source = SyntheticPicture(state.range(0), state.range(1), 0);
  const auto threshold = static_cast<uint8_t>(state.range(2));
  Dib destination;
  GradientMagnitude(source, destination, threshold);
  for (auto _ : state) {
    GradientMagnitude(source, destination, threshold);
    benchmark::DoNotOptimize(destination.Pixels());
  }
  SetPixels(state);
}

void BM_GradientMagnitude8(benchmark::State& state) {
  const Dib source = GreyPicture(state.range(0), state.range(1));
  const auto threshold = static_cast<uint8_t>(state.range(2));
  Dib destination;
  GradientMagnitude(source, destination, threshold);
  for (auto _ : state) {
    GradientMagnitude(source, destination, threshold);
    benchmark::DoNotOptimize(destination.Pixels());
  }
  SetPixels(state);
}

void BM_GradientAbsSum24(benchmark::State& state) {
  const Dib source = SyntheticPicture(state.range(0), state.range(1), 0);
  Dib destination;
  GradientAbsSum(source, destination, 0);
  for (auto _ : state) {
    GradientAbsSum(source, destination, 0);
    benchmark::DoNotOptimize(destination.Pixels());
  }
  SetPixels(state);
}

void BM_SobelMagnitude24(benchmark::State& state) {
  const Dib source = SyntheticPicture(state.range(0), state.range(1), 0);
  Dib destination;
  SobelMagnitude(source, destination);
  for (auto _ : state) {
    SobelMagnitude(source, destination);
    benchmark::DoNotOptimize(destination.Pixels());
  }
  SetPixels(state);
}

void BM_SobelMagnitude8(benchmark::State& state) {
  const Dib source = GreyPicture(state.range(0), state.range(1));
  Dib destination;
  SobelMagnitude(source, destination);
  for (auto _ : state) {
    SobelMagnitude(source, destination);
    benchmark::DoNotOptimize(destination.Pixels());
  }
  SetPixels(state);
}

void BM_DifferenceMask24(benchmark::State& state) {
  const int w = state.range(0);
  const int h = state.range(1);
  const Dib frame = SyntheticPicture(w, h, 3);
  const Dib background = SyntheticPicture(w, h, 0);
  Dib mask;
  mask.CreateSigned(w, h, 24, false);
  for (auto _ : state) {
    DifferenceMask(mask, frame, background, 20);
    benchmark::DoNotOptimize(mask.Pixels());
  }
  SetPixels(state);
}

void BM_ToGray(benchmark::State& state) {
  const Dib source = SyntheticPicture(state.range(0), state.range(1), 0);
  Dib grey;
  grey.Create(state.range(0), state.range(1), 8, false);
  for (auto _ : state) {
    ToGray(source, grey);
    benchmark::DoNotOptimize(grey.Pixels());
  }
  SetPixels(state);
}

// The pane's zoom buffer is the picture's size here, magnified 1.5 times about its centre.
void BM_ZoomView(benchmark::State& state) {
  const int w = state.range(0);
  const int h = state.range(1);
  const Dib source = SyntheticPicture(w, h, 0);
  Dib view;
  view.Create(w, h, 24, false);
  for (auto _ : state) {
    ZoomView(source, view, 1.5f, w / 2, h / 2);
    benchmark::DoNotOptimize(view.Pixels());
  }
  SetPixels(state);
}

void BM_Yuv420ToRgb(benchmark::State& state) {
  const int w = state.range(0);
  const int h = state.range(1);
  std::vector<uint8_t> frame(Yuv420FrameBytes(w, h));
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i * 7 + i / w) & 0xFF);
  InitYuvTables();
  Dib image;
  image.CreateSigned(w, h, 24, false);
  for (auto _ : state) {
    Yuv420ToRgb(frame.data(), image, true);
    benchmark::DoNotOptimize(image.Pixels());
  }
  SetPixels(state);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({352, 288})->Args({1280, 720});
}

void SizesAndThresholds(benchmark::internal::Benchmark* b) {
  for (const int t : {0, 30}) b->Args({352, 288, t})->Args({1280, 720, t});
}

BENCHMARK(BM_GradientMagnitude24)->Apply(SizesAndThresholds);
BENCHMARK(BM_GradientMagnitude8)->Apply(SizesAndThresholds);
BENCHMARK(BM_GradientAbsSum24)->Apply(Sizes);
BENCHMARK(BM_SobelMagnitude24)->Apply(Sizes);
BENCHMARK(BM_SobelMagnitude8)->Apply(Sizes);
BENCHMARK(BM_DifferenceMask24)->Apply(Sizes);
BENCHMARK(BM_ToGray)->Apply(Sizes);
BENCHMARK(BM_ZoomView)->Apply(Sizes);
BENCHMARK(BM_Yuv420ToRgb)->Apply(Sizes);

}  // namespace
}  // namespace fw

BENCHMARK_MAIN();
