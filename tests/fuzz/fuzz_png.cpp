// PNG loading through the picture loader (libpng and its longjmp error path).
#include <cstdint>
#include <span>

#include "core/image_file.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::fuzz::InstallSilentSink();
  if (size >= 24) {
    const auto be32 = [](const uint8_t* p) {
      return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    };
    const uint64_t pixels = uint64_t{be32(data + 16)} * be32(data + 20);
    if (pixels > static_cast<uint64_t>(fw::fuzz::kFuzzMaxPixels)) return 0;
  }
  fw::Dib picture;
  if (fw::LoadImageFromMemory(picture, std::span<const uint8_t>(data, size), "fuzz.png").ok) {
    fw::fuzz::CheckImage(picture);
    if (picture.GetBitCount() != 24 || !picture.IsBottomUp()) std::abort();
  }
  return 0;
}
