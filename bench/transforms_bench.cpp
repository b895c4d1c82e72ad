// Cost of the transforms on frame-sized pictures: the centred two-dimensional Fourier transform
// of a 256 x 256 picture, the three-level float wavelet of a 352 x 288 picture (its top-left
// 256 x 256 part), and labelling and speck removal on a 352 x 288 mask of blobs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/dib.h"
#include "core/regions.h"
#include "core/wavelet.h"
#include "detect/fourier_analyzer.h"

namespace {

void FillNoise(fw::Dib& image, unsigned seed) {
  std::mt19937 rng(seed);
  for (size_t i = 0; i < image.PixelBytes(); ++i) image.Pixels()[i] = static_cast<uint8_t>(rng());
}

void BM_Fourier2D(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const bool keep = state.range(1) != 0;
  fw::Dib picture;
  picture.Create(256, 256, bits, false);
  FillNoise(picture, 1);
  fw::FourierAnalyzer analyzer;
  for (auto _ : state) {
    analyzer.Transform2D(picture.Pixels(), 256, 256, bits, true, keep);
    benchmark::DoNotOptimize(analyzer.Result().data());
  }
}
// Arguments: bits per pixel, keep flag (row-major result).
BENCHMARK(BM_Fourier2D)->Args({8, 1})->Args({8, 0})->Args({24, 1})->Unit(benchmark::kMicrosecond);

void BM_FloatWavelet3(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  fw::Dib picture;
  picture.Create(352, 288, bits, false);
  FillNoise(picture, 2);
  fw::Dib shown;
  shown.Create(352, 288, bits, false);
  for (auto _ : state) {
    fw::FloatWavelet(picture, 3, &shown);
    benchmark::DoNotOptimize(shown.Pixels());
  }
}
BENCHMARK(BM_FloatWavelet3)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

// A 352 x 288 mask of 0 and 1 with about 60 discs of radius 3 to 20 and a scatter of specks.
std::vector<uint8_t> BlobMask() {
  const int w = 352;
  const int h = 288;
  std::vector<uint8_t> mask(w * h, 0);
  std::mt19937 rng(3);
  for (int i = 0; i < 60; ++i) {
    const int cx = static_cast<int>(rng() % w);
    const int cy = static_cast<int>(rng() % h);
    const int r = 3 + static_cast<int>(rng() % 18);
    for (int y = std::max(cy - r, 0); y < std::min(cy + r + 1, h); ++y) {
      for (int x = std::max(cx - r, 0); x < std::min(cx + r + 1, w); ++x) {
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) mask[y * w + x] = 1;
      }
    }
  }
  for (int i = 0; i < 2000; ++i) mask[rng() % mask.size()] = 1;
  return mask;
}

// Each iteration copies the mask back in (about 100 KB), since the operations consume it.
void BM_LabelRegions(benchmark::State& state) {
  const std::vector<uint8_t> mask = BlobMask();
  std::vector<uint8_t> plane(mask.size());
  fw::RegionSet regions;
  for (auto _ : state) {
    std::memcpy(plane.data(), mask.data(), mask.size());
    regions.LabelRegions(plane.data(), 352, 288);
    benchmark::DoNotOptimize(regions.RegionCount());
  }
  state.counters["regions"] = regions.RegionCount();
}
BENCHMARK(BM_LabelRegions)->Unit(benchmark::kMicrosecond);

void BM_RemoveSpecks(benchmark::State& state) {
  const std::vector<uint8_t> mask = BlobMask();
  std::vector<uint8_t> plane(mask.size());
  fw::FloodWorkspace workspace;
  for (auto _ : state) {
    std::memcpy(plane.data(), mask.data(), mask.size());
    benchmark::DoNotOptimize(fw::RemoveSpecks(plane.data(), 352, 288, workspace));
  }
}
BENCHMARK(BM_RemoveSpecks)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
