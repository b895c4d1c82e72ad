// The scene mask: the parts of the picture that no mode may decide on (a flashing sign, a busy
// road). The rule, the same for every mode: before any mode's step sees a frame, each pixel under
// black in the mask takes its value in the reference frame, the first frame read after the mask
// was set or another video was opened. Nothing moves, flickers or changes colour there, so no
// background model, block vote or classifier window finds anything in it; the unmasked pixels are
// left exactly as read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/result.h"

namespace fw {

class SceneMask {
 public:
  SceneMask() = default;
  // A copy has the same mask picture and takes its own reference frame.
  SceneMask(const SceneMask& other) { SetPlane(other.picture_, other.width_, other.height_); }
  SceneMask& operator=(const SceneMask& other) {
    if (this != &other) SetPlane(other.picture_, other.width_, other.height_);
    return *this;
  }
  SceneMask(SceneMask&&) noexcept = default;
  SceneMask& operator=(SceneMask&&) noexcept = default;

  // Reads a black-and-white picture (JPEG, PNG or BMP): a pixel whose grey value is below 128 is
  // masked. The picture may have another size than the video; it is stretched over the frame.
  // On failure the mask stays as it was and the message names the file.
  Result Load(const std::string& path);
  // A painted mask: one byte per pixel, rows from the top of the picture, non-zero masked.
  void SetPlane(std::vector<uint8_t> masked, int width, int height);
  void Clear();
  bool Empty() const { return picture_.empty(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // One byte per pixel (1 masked), rows from the top; empty when there is no mask.
  const std::vector<uint8_t>& Plane() const { return picture_; }
  // Pixels masked in the picture.
  int MaskedCount() const;

  // The next frame becomes the reference (another video was opened, capture started).
  void ResetReference() {
    haveReference_ = false;
    haveLumaReference_ = false;
  }
  // Sets the masked pixels of an 8-bit or 24-bit frame to the reference. Allocates only on the
  // first frame and when the frame's size, depth or row order changes.
  void Apply(Dib& frame);
  // The same rule on a live frame's luminance plane (width x height bytes, rows from the top),
  // which some modes read directly while online. Allocates only on the first frame and when the
  // size changes.
  void ApplyLuminance(uint8_t* plane, int width, int height);

 private:
  void Fit(const Dib& frame);

  std::vector<uint8_t> picture_;  // width_ x height_, rows from the top
  int width_ = 0;
  int height_ = 0;
  // The picture stretched over the frame, one mask byte (0 or 255) per frame byte, row padding
  // unmasked; rebuilt when the frame's format changes.
  std::vector<uint8_t> frameBytes_;
  int fitWidth_ = 0;
  int fitHeight_ = 0;
  int fitHeaderHeight_ = 0;
  int fitBits_ = 0;
  Dib reference_;
  bool haveReference_ = false;
  // The luminance plane's mask (0 or 255 per pixel) and reference.
  std::vector<uint8_t> lumaMask_;
  std::vector<uint8_t> lumaReference_;
  int lumaWidth_ = 0;
  int lumaHeight_ = 0;
  bool haveLumaReference_ = false;
};

}  // namespace fw
