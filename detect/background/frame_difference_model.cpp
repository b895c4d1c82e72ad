#include "detect/background/frame_difference_model.h"

#include "core/difference.h"

namespace fw {

FrameDifferenceModel::FrameDifferenceModel(bool centre, Dib& source, Dib& display)
    : BackgroundModel(kKind, source, display), centre_(centre) {}

// The difference modes write the model image whatever its depth (8 or 24 bits); it must have the
// frame's size.
bool FrameDifferenceModel::ModelImageUsable() const {
  if (!modelImage_ || modelImage_->Width() != width_ || modelImage_->Height() != height_) {
    return false;
  }
  const int bits = modelImage_->GetBitCount();
  return bits == 8 || bits == 24;
}

void FrameDifferenceModel::Step(int threshold, Dib& previous, Dib& secondPrevious) {
  if (!FrameFits() || !FitsModel(previous, 24) || !ModelImageUsable()) return;
  if (!centre_) {
    DifferenceMask(*modelImage_, *source_, previous, threshold);
    previous.SwapPixels(*source_);
  } else if (FitsModel(secondPrevious, 24)) {
    DoubleDifferenceMask(*modelImage_, secondPrevious, previous, *source_, threshold);
    secondPrevious.SwapPixels(previous);
    previous.SwapPixels(*source_);
  }
}

void FrameDifferenceModel::PrepareMask() {
  if (!ModelImageUsable()) return;
  const int bpp = modelImage_->GetBitCount() / 8;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* row = modelImage_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) m[x] = row[x * bpp] == 255 ? 1 : 0;
  }
}

}  // namespace fw
