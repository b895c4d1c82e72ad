// BMP reading: the image buffer's own reader, then the picture loader's conversion of every BMP
// depth into a 24-bit bottom-up image. Headers beyond the size limits reach the refusals.
#include <cstdint>
#include <span>

#include "core/image_file.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fw::fuzz::SetUpFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  fw::Dib image;
  if (image.ReadFromMemory(bytes).ok()) fw::fuzz::CheckImage(image);
  fw::Dib picture;
  if (fw::LoadImageFromMemory(picture, bytes, "fuzz.bmp").ok()) {
    fw::fuzz::CheckImage(picture);
    if (picture.GetBitCount() != 24 || !picture.IsBottomUp()) std::abort();
  }
  return 0;
}
