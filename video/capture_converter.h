// Pictures of any size and pixel layout into capture frames: 352 x 288 planar 4:2:0 with
// full-range BT.601 luma (the luminance plane the online detectors read), then the Cb and the Cr
// quarter planes. The scaler is made when the input's size or layout changes and kept
// otherwise, so a steady stream allocates nothing per frame.
#pragma once

#include <cstdint>
#include <memory>

#include "core/dib.h"

namespace fw {

class CaptureConverter {
 public:
  CaptureConverter();
  ~CaptureConverter();
  CaptureConverter(const CaptureConverter&) = delete;
  CaptureConverter& operator=(const CaptureConverter&) = delete;

  // A 24-bit image of any size, either orientation, its top row first in the frame. False and
  // the frame untouched for another depth or an empty image.
  bool FromDib(const Dib& image, uint8_t* frame);
  // Planes in one of FFmpeg's pixel layouts (`pixelFormat` an AVPixelFormat, `range` an
  // AVColorRange, `space` an AVColorSpace), as a decoder or a device delivers them. False and
  // the frame untouched when the layout or size cannot be converted.
  bool FromPlanes(const uint8_t* const planes[4], const int strides[4], int width, int height,
                  int pixelFormat, int range, int space, uint8_t* frame);

 private:
  struct Scaler;  // swscale state, kept out of this header
  std::unique_ptr<Scaler> scaler_;
};

}  // namespace fw
