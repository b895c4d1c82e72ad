#include "detect/flame/infrared_detector.h"

#include <algorithm>

#include "core/charts.h"
#include "core/colour.h"
#include "core/difference.h"

namespace fw {

void InfraredDetector::Initialise(const Dib& frame, const InfraredParams& params) {
  *this = InfraredDetector();
  if (frame.GetBitCount() != 24 || frame.Width() <= 0 || frame.Height() <= 0) return;
  width_ = frame.Width();
  height_ = frame.Height();
  ring_.resize(static_cast<size_t>(std::max(params.frameInterval, 0)) + 1);
  for (Dib& image : ring_) image.CreateSigned(width_, frame.HeaderHeight(), 8, false);
  ToGrayThousandths(frame, ring_[0], params.greyThreshold, 1);
  ringIndex_ = 1 % RingSize();
  window_.assign(static_cast<size_t>(std::max(params.alarmWindow, 1)), 0);
  const int pixels = width_ * height_;
  workspace_.Reserve(pixels);
  workspace_.BytePlane().assign(static_cast<size_t>(pixels), 0);
}

bool InfraredDetector::FrameMatches(const Dib& frame) const {
  return width_ > 0 && Fits(frame, 24);
}

bool InfraredDetector::Fits(const Dib& image, int bitCount) const {
  return image.GetBitCount() == bitCount && image.Width() == width_ && image.Height() == height_;
}

uint8_t InfraredDetector::Step(const Dib& frame, Dib& topRight, Dib& bottomLeft, Dib& bottomRight,
                               const InfraredParams& params) {
  if (!FrameMatches(frame) || !Fits(topRight, 8) || !Fits(bottomLeft, 8) ||
      !bottomLeft.SameFormat(ring_[0]) || bottomLeft.Stride() != ring_[0].Stride()) {
    return 0;
  }
  Dib& current = ring_[ringIndex_];
  ToGrayThousandths(frame, current, 0, 0);
  CleanThreshold(current, params.greyThreshold, workspace_);
  current.SwapPixels(bottomLeft);

  if (params.method == InfraredParams::kHotRegion) {
    // A region "reaches" the noise size: it has more than noiseSize - 1 pixels.
    const int size = std::max(params.noiseSize, 1);
    return ThresholdHasRegion(current, params.greyThreshold, size - 1, workspace_) ? 1 : 0;
  }

  const int slots = RingSize();
  const Dib& older = ring_[(ringIndex_ + 1) % slots];
  const Dib& newer = current;
  AbsDifference(topRight, older, newer);
  CleanThreshold(topRight, params.greyThreshold, workspace_);
  shapeChange_ = MaskChangeRatio(bottomRight, older, newer, true, params.noiseSize,
                                 params.shapeThreshold, chartCounter_);
  ringIndex_ = (ringIndex_ + 1) % slots;

  const uint8_t vote = shapeChange_ >= params.shapeThreshold ? 1 : 0;
  votes_ += vote - window_[windowPosition_];
  window_[windowPosition_] = vote;
  windowPosition_ = (windowPosition_ + 1) % WindowLength();
  fireProbability_ = static_cast<float>(votes_) / static_cast<float>(WindowLength());
  return fireProbability_ >= params.fireProbability ? 1 : 0;
}

size_t InfraredDetectorBytes(int width, int height, const InfraredParams& params) {
  const size_t picture = static_cast<size_t>(DibStride(width, 8)) * height;
  const size_t pixels = static_cast<size_t>(width) * height;
  const size_t slots = static_cast<size_t>(std::max(params.frameInterval, 0)) + 1;
  // The detector, the ring's images and their pixels, the vote window, the flood stacks (four
  // int32 arrays) and their byte plane; the allocator's header and rounding of each ring block,
  // and of the other blocks with the pages of the largest.
  constexpr size_t kPerBlock = 16;
  constexpr size_t kRounding = 16384;
  return sizeof(InfraredDetector) + slots * (sizeof(Dib) + picture + kPerBlock) +
         static_cast<size_t>(std::max(params.alarmWindow, 1)) + pixels * (4 * sizeof(int32_t) + 1) +
         kRounding;
}

}  // namespace fw
