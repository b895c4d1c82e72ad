// Cost of the learned cascades on CIF frames of the sample clip (352 x 288), frames decoded
// before the timed loop, one thread. Every flavour decides every window of a whole-frame scan at
// every window side of the Byte mode's scan (192, 96, 48 and 24 pixels on a 288-pixel frame,
// windows a quarter side apart): the window family with its rectangles scaled to the side, the
// code-count family at n = side / 48 (sides of 48 and more), the texture family on the 2:1
// pyramid level where the side is 24 (windows 6 level pixels apart). The planes are built before
// the timed scan; their cost per frame is measured apart. Reported: ns per window
// (ns_per_window), weak classifiers evaluated per window and windows per frame.
//
// The cascades are the files that come with the system (data/classifiers/).
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/colour.h"
#include "core/resample.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "video/avi_reader.h"

namespace {

const std::string kSample = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";
const std::string kClassifiers = FW_CLASSIFIER_DIR;

const std::vector<fw::Dib>& Frames() {
  static const std::vector<fw::Dib> frames = [] {
    std::vector<fw::Dib> out;
    fw::AviReader reader;
    fw::Dib frame;
    if (!reader.OpenInto(kSample, frame, fw::OpenReport::Quiet)) return out;
    for (int i = 0; i < reader.FrameCount() && i < 40 && reader.GetFrame(i * 6, frame); ++i) {
      out.emplace_back().CopyFrom(frame, false);
    }
    return out;
  }();
  return frames;
}

bool Load(benchmark::State& bench, fw::Flavour flavour, fw::ClassifierSet& model) {
  if (Frames().empty()) {
    bench.SkipWithError("cannot read the sample clip");
    return false;
  }
  const fw::Result r = model.Load(flavour, kClassifiers + "/" + fw::InfoOf(flavour).defaultFile);
  if (!r) {
    bench.SkipWithError(r.message().c_str());
    return false;
  }
  model.UseModeRatio();
  return true;
}

// The window sides of the Byte mode's scan: the largest 24 x 2^k not above the height, halved
// while above 23.
std::vector<int> Sides(int height) {
  int side = 24;
  while (side * 2 <= height) side *= 2;
  std::vector<int> sides;
  for (; side > 23; side /= 2) sides.push_back(side);
  return sides;
}

// weak_per_window averages over every window of every iteration, so that it does not depend on
// which frame of the ring the last iteration scanned.
void Report(benchmark::State& bench, int64_t windowsPerFrame, int64_t weak, int64_t scanned) {
  bench.counters["windows"] = static_cast<double>(windowsPerFrame);
  bench.counters["weak_per_window"] =
      scanned > 0 ? static_cast<double>(weak) / static_cast<double>(scanned) : 0.0;
  bench.counters["ns_per_window"] = benchmark::Counter(
      static_cast<double>(windowsPerFrame) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The timed loop: every window of the scan at every side, a quarter side apart, one frame of the
// ring per iteration; decide(side index, frame index, x, y) decides one window.
template <typename Decide>
void TimedScan(benchmark::State& bench, const std::vector<int>& sides, int w, int h, size_t frames,
               Decide decide) {
  int64_t windows = 0, weak = 0, scanned = 0, accepted = 0;
  size_t next = 0;
  for (auto _ : bench) {
    windows = 0;
    for (size_t k = 0; k < sides.size(); ++k) {
      const int e = sides[k];
      for (int y = 0; y <= h - e; y += e / 4) {
        for (int x = 0; x <= w - e; x += e / 4) {
          const fw::CascadeResult r = decide(k, next, x, y);
          accepted += r.accepted ? 1 : 0;
          weak += r.weakEvaluated;
          ++windows;
          ++scanned;
        }
      }
    }
    next = (next + 1) % frames;
  }
  benchmark::DoNotOptimize(accepted);
  Report(bench, windows, weak, scanned);
}

template <typename Family>
void WindowScan(benchmark::State& bench, fw::Flavour flavour) {
  fw::ClassifierSet model;
  if (!Load(bench, flavour, model)) return;
  const std::vector<fw::Dib>& frames = Frames();
  const int w = frames[0].Width(), h = frames[0].Height();
  const std::vector<int> sides = Sides(h);
  std::vector<fw::CompiledCascade<Family>> cascades(sides.size());
  for (size_t k = 0; k < sides.size(); ++k) cascades[k].Compile(model, {sides[k], w});
  std::vector<fw::WindowPlanes> planes(frames.size());
  for (size_t f = 0; f < frames.size(); ++f) fw::BuildWindowPlanes(frames[f], planes[f]);
  TimedScan(bench, sides, w, h, frames.size(), [&](size_t k, size_t f, int x, int y) {
    return cascades[k].Decide(planes[f], static_cast<size_t>(y) * w + x);
  });
}

void CountScan(benchmark::State& bench, fw::Flavour flavour) {
  fw::ClassifierSet model;
  if (!Load(bench, flavour, model)) return;
  const std::vector<fw::Dib>& frames = Frames();
  const int w = frames[0].Width(), h = frames[0].Height();
  const fw::CodeFamily family =
      flavour == fw::Flavour::Blbp ? fw::CodeFamily::Blbp : fw::CodeFamily::Pltp;
  std::vector<fw::CodeCountPlanes> planes(frames.size());
  for (size_t f = 0; f < frames.size(); ++f) fw::BuildCodeCountPlanes(frames[f], family, planes[f]);
  std::vector<int> sides;
  for (int side : Sides(h)) {
    if (side >= fw::kCountBase) sides.push_back(side);
  }
  std::vector<fw::CompiledCascade<fw::CodeCountFamily>> cascades(sides.size());
  for (size_t k = 0; k < sides.size(); ++k) {
    cascades[k].Compile(model, {&planes[0], sides[k] / fw::kCountBase});
  }
  TimedScan(bench, sides, w, h, frames.size(), [&](size_t k, size_t f, int x, int y) {
    return cascades[k].Decide(planes[f], fw::CountWindowOrigin(planes[f], x, y));
  });
}

// Levels 0..3 of the frame in intensity and saturation, each a 2:1 reduction of the one before.
void Pyramid(const fw::Dib& frame, std::array<fw::Dib, 4>& levels) {
  levels[0].CreateSigned(frame.Width(), frame.Height(), 24, false);
  fw::ToIntensitySaturation(frame, levels[0]);
  for (int k = 1; k < 4; ++k) {
    levels[k].CreateSigned(levels[k - 1].Width() / 2, levels[k - 1].Height() / 2, 24, false);
    fw::HalveTwoBytes(levels[k - 1], levels[k]);
  }
}

void BM_EohScan(benchmark::State& bench) {
  fw::ClassifierSet model;
  if (!Load(bench, fw::Flavour::Eoh, model)) return;
  const std::vector<fw::Dib>& frames = Frames();
  const size_t levels = Sides(frames[0].Height()).size();
  std::vector<std::array<fw::TexturePlanes, 4>> planes(frames.size());
  std::array<fw::Dib, 4> pyramid;
  for (size_t f = 0; f < frames.size(); ++f) {
    Pyramid(frames[f], pyramid);
    for (size_t k = 0; k < levels; ++k) planes[f][k].Compute(pyramid[k]);
  }
  std::vector<fw::CompiledCascade<fw::TextureFamily>> cascades(levels);
  for (size_t k = 0; k < levels; ++k) cascades[k].Compile(model, {planes[0][k].Width()});
  int64_t windows = 0, weak = 0, scanned = 0, accepted = 0;
  size_t next = 0;
  for (auto _ : bench) {
    windows = 0;
    for (size_t k = 0; k < levels; ++k) {
      const fw::TexturePlanes& p = planes[next][k];
      for (int y = 0; y <= p.Height() - fw::kTextureBase; y += 6) {
        for (int x = 0; x <= p.Width() - fw::kTextureBase; x += 6) {
          const fw::CascadeResult r = cascades[k].Decide(p, {x, y});
          accepted += r.accepted ? 1 : 0;
          weak += r.weakEvaluated;
          ++windows;
          ++scanned;
        }
      }
    }
    next = (next + 1) % frames.size();
  }
  benchmark::DoNotOptimize(accepted);
  Report(bench, windows, weak, scanned);
}

void BM_ByteScan(benchmark::State& bench) {
  WindowScan<fw::WindowByteFamily>(bench, fw::Flavour::Byte);
}
void BM_FloatScan(benchmark::State& bench) {
  WindowScan<fw::WindowFloatFamily>(bench, fw::Flavour::Float);
}
void BM_BlbpScan(benchmark::State& bench) {
  CountScan(bench, fw::Flavour::Blbp);
}
void BM_PltpScan(benchmark::State& bench) {
  CountScan(bench, fw::Flavour::Pltp);
}

// --- planes per frame ---

void BM_WindowPlanes(benchmark::State& bench) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) return bench.SkipWithError("cannot read the sample clip");
  fw::WindowPlanes planes;
  size_t next = 0;
  for (auto _ : bench) {
    fw::BuildWindowPlanes(frames[next], planes);
    next = (next + 1) % frames.size();
  }
}

void BM_CountPlanes(benchmark::State& bench, fw::CodeFamily family) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) return bench.SkipWithError("cannot read the sample clip");
  fw::CodeCountPlanes planes;
  size_t next = 0;
  for (auto _ : bench) {
    fw::BuildCodeCountPlanes(frames[next], family, planes);
    next = (next + 1) % frames.size();
  }
}

void BM_TexturePyramid(benchmark::State& bench) {
  const std::vector<fw::Dib>& frames = Frames();
  if (frames.empty()) return bench.SkipWithError("cannot read the sample clip");
  // One set of planes for the four levels in turn, as the detection mode computes them.
  std::array<fw::Dib, 4> pyramid;
  fw::TexturePlanes planes;
  size_t next = 0;
  for (auto _ : bench) {
    Pyramid(frames[next], pyramid);
    for (int k = 0; k < 4; ++k) planes.Compute(pyramid[k]);
    next = (next + 1) % frames.size();
  }
}

}  // namespace

BENCHMARK(BM_ByteScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloatScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlbpScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PltpScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EohScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowPlanes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CountPlanes, blbp, fw::CodeFamily::Blbp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CountPlanes, pltp, fw::CodeFamily::Pltp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TexturePyramid)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
