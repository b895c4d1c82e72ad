// Shared by the fuzz targets: a silent message sink, size limits low enough that every run is
// quick while the readers' own refusals are reached, and checks that a decoded image's header,
// stride and pixel buffer agree.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/dib.h"
#include "core/size_limits.h"
#include "core/ui_sink.h"

namespace fw::fuzz {

// Messages ("Out of memory for DIB bits", ...) are expected for hostile input: keep them quiet.
class SilentSink : public UiSink {
 public:
  MessageResult Message(std::string_view, std::string_view, MessageButtons) override {
    return MessageResult::Ok;
  }
  void Status(StatusField, std::string_view) override {}
};

// Installs the silent sink and the fuzzing size limits (a 2048-pixel side, a million pixels):
// a header declaring more is refused by the reader itself, as the real limits refuse theirs.
inline void SetUpFuzzing() {
  static SilentSink sink;
  SetUiSink(&sink);
  SetSizeLimits(SizeLimits{2048, int64_t{1} << 20});
}

// Every row of the image must lie inside its pixel buffer; reading the last byte of each row
// lets AddressSanitizer see a short buffer.
inline void CheckImage(const Dib& image) {
  if (image.Height() == 0) return;
  const size_t needed = static_cast<size_t>(image.Stride()) * image.Height();
  if (image.PixelBytes() < needed ||
      image.Stride() < DibStride(image.Width(), image.GetBitCount())) {
    std::abort();
  }
  volatile uint8_t sink = 0;
  for (int y = 0; y < image.Height(); ++y) sink = sink + image.Row(y)[image.Stride() - 1];
}

}  // namespace fw::fuzz
