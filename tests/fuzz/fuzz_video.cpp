// The video path: bytes through the frame source (FFmpeg's demuxers and decoders over a custom
// I/O context, the frame count, the index check, the chunk walk, the damaged-frame rule and
// seeking). Every frame inside the count must be delivered, in order and by jumps, and the one
// past the end refused.
#include <algorithm>
#include <cstdint>
#include <span>

#include "tests/fuzz/fuzz_common.h"
#include "video/avi_reader.h"

namespace {

// Frames read per input, so that a long (or lying) count does not make one run take seconds.
constexpr int kFramesRead = 24;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fw::fuzz::SetUpFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::AviReader reader;
  if (!reader.OpenMemory(std::span<const uint8_t>(data, size), "fuzz.avi").ok()) return 0;
  const int count = reader.FrameCount();
  if (count <= 0 || !fw::WithinSizeLimits(reader.Width(), reader.Height())) std::abort();
  fw::Dib image;
  image.CreateSigned(reader.Width(), reader.Height(), 24, false);
  const int read = std::min(count, kFramesRead);
  for (int i = 0; i < read; ++i) {
    if (!reader.GetFrame(i, image)) std::abort();
    fw::fuzz::CheckImage(image);
  }
  for (const int i : {count - 1, count / 2, read / 3, 0}) {
    if (!reader.GetFrame(i, image)) std::abort();
  }
  if (reader.GetFrame(count, image) || reader.GetFrame(-1, image)) std::abort();
  const std::vector<int> damaged = reader.DamagedFrames();
  if (!std::is_sorted(damaged.begin(), damaged.end())) std::abort();
  for (const int frame : damaged) {
    if (frame < 0 || frame >= count) std::abort();
  }
  return 0;
}
