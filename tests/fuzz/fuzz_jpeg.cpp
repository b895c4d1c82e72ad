// JPEG loading through the picture loader (libjpeg-turbo).
#include <turbojpeg.h>

#include <cstdint>
#include <span>

#include "core/image_file.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::fuzz::InstallSilentSink();
  tjhandle tj = tjInitDecompress();
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  const bool large = tjDecompressHeader3(tj, data, static_cast<unsigned long>(size), &width,
                                         &height, &subsampling, &colourspace) == 0 &&
                     static_cast<int64_t>(width) * height > fw::fuzz::kFuzzMaxPixels;
  tjDestroy(tj);
  if (large) return 0;
  fw::Dib picture;
  if (fw::LoadImageFromMemory(picture, std::span<const uint8_t>(data, size), "fuzz.jpg").ok) {
    fw::fuzz::CheckImage(picture);
    if (picture.GetBitCount() != 24 || !picture.IsBottomUp()) std::abort();
  }
  return 0;
}
