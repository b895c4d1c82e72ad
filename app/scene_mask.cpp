#include "app/scene_mask.h"

#include <algorithm>
#include <cstddef>

#include "core/image_file.h"

namespace fw {

Result SceneMask::Load(const std::string& path) {
  Dib picture;
  if (const Result loaded = LoadImageFile(picture, path); !loaded) return loaded;
  const int w = picture.Width();
  const int h = picture.Height();
  if (w <= 0 || h <= 0) return Result::Error(path + ": the mask picture is empty");
  std::vector<uint8_t> masked(static_cast<size_t>(w) * h);
  for (int top = 0; top < h; ++top) {
    const uint8_t* p = picture.Row(picture.IsBottomUp() ? h - 1 - top : top);
    uint8_t* out = masked.data() + static_cast<size_t>(top) * w;
    for (int x = 0; x < w; ++x, p += 3) {
      const int grey = (30 * p[2] + 59 * p[1] + 11 * p[0]) / 100;
      out[x] = grey < 128 ? 1 : 0;
    }
  }
  SetPlane(std::move(masked), w, h);
  return Result::Ok();
}

void SceneMask::SetPlane(std::vector<uint8_t> masked, int width, int height) {
  for (uint8_t& m : masked) m = m != 0 ? 1 : 0;
  picture_ = std::move(masked);
  width_ = width;
  height_ = height;
  fitWidth_ = 0;  // refit on the next frame
  lumaWidth_ = 0;
  haveReference_ = false;
  haveLumaReference_ = false;
}

void SceneMask::Clear() {
  SetPlane({}, 0, 0);
  frameBytes_.clear();
  reference_ = Dib();
}

int SceneMask::MaskedCount() const {
  return static_cast<int>(std::count(picture_.begin(), picture_.end(), 1));
}

void SceneMask::Fit(const Dib& frame) {
  const int w = frame.Width();
  const int h = frame.Height();
  const int bytes = frame.BytesPerPixel();
  frameBytes_.assign(static_cast<size_t>(frame.Stride()) * h, 0);
  for (int y = 0; y < h; ++y) {
    // Memory row y shows picture row `top` counted from the top.
    const int top = frame.IsBottomUp() ? h - 1 - y : y;
    const uint8_t* source =
        picture_.data() + static_cast<size_t>(static_cast<int64_t>(top) * height_ / h) * width_;
    uint8_t* out = frameBytes_.data() + static_cast<size_t>(y) * frame.Stride();
    for (int x = 0; x < w; ++x) {
      if (source[static_cast<int64_t>(x) * width_ / w] == 0) continue;
      std::fill_n(out + static_cast<size_t>(x) * bytes, bytes, uint8_t{255});
    }
  }
  fitWidth_ = w;
  fitHeight_ = h;
  fitHeaderHeight_ = frame.HeaderHeight();
  fitBits_ = frame.GetBitCount();
  haveReference_ = false;
}

void SceneMask::Apply(Dib& frame) {
  if (picture_.empty() || frame.Width() <= 0) return;
  if (frame.GetBitCount() != 8 && frame.GetBitCount() != 24) return;
  if (fitWidth_ != frame.Width() || fitHeight_ != frame.Height() ||
      fitHeaderHeight_ != frame.HeaderHeight() || fitBits_ != frame.GetBitCount()) {
    Fit(frame);
  }
  if (!haveReference_) {
    reference_.CopyFrom(frame, false);
    haveReference_ = true;
    return;
  }
  uint8_t* p = frame.Pixels();
  const uint8_t* r = reference_.Pixels();
  const uint8_t* m = frameBytes_.data();
  const size_t n = std::min(frame.PixelBytes(), frameBytes_.size());
  for (size_t i = 0; i < n; ++i) {
    p[i] = static_cast<uint8_t>((p[i] & ~m[i]) | (r[i] & m[i]));
  }
}

void SceneMask::ApplyLuminance(uint8_t* plane, int width, int height) {
  if (picture_.empty() || width <= 0 || height <= 0) return;
  const size_t n = static_cast<size_t>(width) * height;
  if (lumaWidth_ != width || lumaHeight_ != height) {
    lumaMask_.assign(n, 0);
    for (int y = 0; y < height; ++y) {
      const uint8_t* source =
          picture_.data() +
          static_cast<size_t>(static_cast<int64_t>(y) * height_ / height) * width_;
      for (int x = 0; x < width; ++x) {
        if (source[static_cast<int64_t>(x) * width_ / width] != 0) {
          lumaMask_[static_cast<size_t>(y) * width + x] = 255;
        }
      }
    }
    lumaWidth_ = width;
    lumaHeight_ = height;
    haveLumaReference_ = false;
  }
  if (!haveLumaReference_) {
    lumaReference_.assign(plane, plane + n);
    haveLumaReference_ = true;
    return;
  }
  const uint8_t* r = lumaReference_.data();
  const uint8_t* m = lumaMask_.data();
  for (size_t i = 0; i < n; ++i)
    plane[i] = static_cast<uint8_t>((plane[i] & ~m[i]) | (r[i] & m[i]));
}

}  // namespace fw
