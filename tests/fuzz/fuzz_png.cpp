// PNG loading through the picture loader (libpng and its longjmp error path). Headers beyond the
// size limits reach the refusal.
#include <cstdint>
#include <span>

#include "core/image_file.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fw::fuzz::SetUpFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::Dib picture;
  if (fw::LoadImageFromMemory(picture, std::span<const uint8_t>(data, size), "fuzz.png").ok()) {
    fw::fuzz::CheckImage(picture);
    if (picture.GetBitCount() != 24 || !picture.IsBottomUp()) std::abort();
  }
  return 0;
}
