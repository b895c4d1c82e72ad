// Per-frame cost of the whole pipeline (decode included) against decoding alone, on the sample
// clip (352 x 288, MPEG-4) and on a generated 1280 x 720 MPEG-4 clip.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "app/session.h"
#include "video/avi_reader.h"
#include "video/video_writer.h"

namespace {

const std::string kSample = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";

// A moving gradient scene at 1280 x 720, written once per run.
const std::string& LargeClip() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "fw_bench_720p.avi").string();
    fw::VideoWriter writer;
    if (!writer.Open(p, 1280, 720, 25, fw::VideoCodec::Mpeg4)) return std::string();
    fw::Dib frame;
    frame.CreateSigned(1280, 720, 24, false);
    for (int i = 0; i < 60; ++i) {
      for (int y = 0; y < 720; ++y) {
        uint8_t* row = frame.Row(y);
        for (int x = 0; x < 1280; ++x) {
          row[3 * x] = static_cast<uint8_t>(x + i * 4);
          row[3 * x + 1] = static_cast<uint8_t>(y + i * 2);
          row[3 * x + 2] = static_cast<uint8_t>((x ^ y) + i);
        }
      }
      writer.Write(frame);
    }
    writer.Close();
    return p;
  }();
  return path;
}

const std::string& ClipFor(int size) { return size == 0 ? kSample : LargeClip(); }

void BM_PipelineModeNull(benchmark::State& state) {
  fw::Session session;
  if (!session.Open(ClipFor(static_cast<int>(state.range(0))), true)) {
    state.SkipWithError("cannot open clip");
    return;
  }
  for (auto _ : state) session.Step();
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(session.Reader().Width()) + "x" +
                 std::to_string(session.Reader().Height()));
}

void BM_DecodeOnly(benchmark::State& state) {
  fw::AviReader reader;
  fw::Dib frame;
  if (!reader.OpenInto(ClipFor(static_cast<int>(state.range(0))), frame, fw::OpenReport::Quiet)) {
    state.SkipWithError("cannot open clip");
    return;
  }
  int index = 0;
  for (auto _ : state) {
    if (!reader.GetFrame(index, frame)) reader.GetFrame(index = 0, frame);
    ++index;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(reader.Width()) + "x" + std::to_string(reader.Height()));
}

BENCHMARK(BM_PipelineModeNull)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
