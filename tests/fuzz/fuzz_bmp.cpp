// BMP reading: the image buffer's own reader, then the picture loader's conversion of every BMP
// depth into a 24-bit bottom-up image.
#include <cstdint>
#include <span>

#include "core/image_file.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool TooLarge(const uint8_t* data, size_t size) {
  if (size < 26) return false;
  int64_t width = 0;
  int64_t height = 0;
  if (Le32(data + 14) == 12) {
    width = data[18] | (data[19] << 8);
    height = data[20] | (data[21] << 8);
  } else {
    width = static_cast<int32_t>(Le32(data + 18));
    height = static_cast<int32_t>(Le32(data + 22));
  }
  if (width < 0) width = -width;
  if (height < 0) height = -height;
  return width * height > fw::fuzz::kFuzzMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::fuzz::InstallSilentSink();
  if (TooLarge(data, size)) return 0;
  const std::span<const uint8_t> bytes(data, size);
  fw::Dib image;
  if (image.ReadFromMemory(bytes).ok()) fw::fuzz::CheckImage(image);
  fw::Dib picture;
  if (fw::LoadImageFromMemory(picture, bytes, "fuzz.bmp").ok) {
    fw::fuzz::CheckImage(picture);
    if (picture.GetBitCount() != 24 || !picture.IsBottomUp()) std::abort();
  }
  return 0;
}
