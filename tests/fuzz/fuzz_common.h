// Shared by the picture fuzz targets: a silent message sink and checks that a decoded image's
// header, stride and pixel buffer agree.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/dib.h"
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

inline void InstallSilentSink() {
  static SilentSink sink;
  SetUiSink(&sink);
}

// Inputs announcing more pixels than this are skipped: the decoders accept them (up to their
// caps) but filling them makes each run take seconds without reaching new code.
inline constexpr int64_t kFuzzMaxPixels = int64_t{1} << 22;

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
