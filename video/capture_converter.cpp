#include "video/capture_converter.h"

#include "video/capture_source.h"
#include "video/ffmpeg_util.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace fw {

namespace {

using video_detail::PlainFormat;
using video_detail::SwsColourSpace;

constexpr int kMaxInputDimension = 16384;

}  // namespace

struct CaptureConverter::Scaler {
  SwsContext* sws = nullptr;
  int width = -1;
  int height = -1;
  int format = -1;
  int fullRange = -1;
  int space = -1;

  ~Scaler() { sws_freeContext(sws); }

  bool Prepare(int w, int h, AVPixelFormat source, bool full, int colourSpace) {
    if (sws != nullptr && w == width && h == height && source == format &&
        static_cast<int>(full) == fullRange && colourSpace == space) {
      return true;
    }
    format = -1;
    // Accurate rounding keeps grey pixels grey and the chroma of flat areas at 128.
    sws = sws_getCachedContext(sws, w, h, source, kCaptureWidth, kCaptureHeight, AV_PIX_FMT_YUV420P,
                               SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (sws == nullptr) return false;
    sws_setColorspaceDetails(sws, sws_getCoefficients(colourSpace), full ? 1 : 0,
                             sws_getCoefficients(SWS_CS_ITU601), 1, 0, 1 << 16, 1 << 16);
    width = w;
    height = h;
    format = source;
    fullRange = full ? 1 : 0;
    space = colourSpace;
    return true;
  }

  bool Scale(const uint8_t* const planes[4], const int strides[4], int h, uint8_t* frame) {
    uint8_t* out[4] = {
        frame, frame + kCaptureWidth * kCaptureHeight,
        frame + kCaptureWidth * kCaptureHeight + (kCaptureWidth / 2) * (kCaptureHeight / 2),
        nullptr};
    const int outStrides[4] = {kCaptureWidth, kCaptureWidth / 2, kCaptureWidth / 2, 0};
    return sws_scale(sws, planes, strides, 0, h, out, outStrides) == kCaptureHeight;
  }
};

CaptureConverter::CaptureConverter() : scaler_(std::make_unique<Scaler>()) {}
CaptureConverter::~CaptureConverter() = default;

bool CaptureConverter::FromDib(const Dib& image, uint8_t* frame) {
  const int w = image.Width();
  const int h = image.Height();
  if (image.GetBitCount() != 24 || w <= 0 || h <= 0) return false;
  // The picture's top row is the last memory row of a bottom-up image.
  const uint8_t* top = image.IsBottomUp() ? image.Row(h - 1) : image.Row(0);
  const int step = image.IsBottomUp() ? -image.Stride() : image.Stride();
  const uint8_t* planes[4] = {top, nullptr, nullptr, nullptr};
  const int strides[4] = {step, 0, 0, 0};
  return FromPlanes(planes, strides, w, h, AV_PIX_FMT_BGR24, AVCOL_RANGE_JPEG, AVCOL_SPC_RGB,
                    frame);
}

bool CaptureConverter::FromPlanes(const uint8_t* const planes[4], const int strides[4], int width,
                                  int height, int pixelFormat, int range, int space,
                                  uint8_t* frame) {
  if (width <= 0 || height <= 0 || width > kMaxInputDimension || height > kMaxInputDimension ||
      planes[0] == nullptr ||
      av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pixelFormat)) == nullptr) {
    return false;
  }
  bool fullRange = range == AVCOL_RANGE_JPEG;
  const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(pixelFormat), &fullRange);
  if (!scaler_->Prepare(width, height, source, fullRange,
                        SwsColourSpace(space))) {
    return false;
  }
  return scaler_->Scale(planes, strides, height, frame);
}

}  // namespace fw
