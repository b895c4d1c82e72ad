#include "detect/motion/motion_feature_model.h"

#include "core/colour.h"
#include "core/morphology.h"
#include "core/statistics.h"

namespace fw {

MotionFeatureModel::MotionFeatureModel(Dib& source, Dib& display)
    : BackgroundModel(kKind, source, display), grey_(pixels_, 0), median_(pixels_, 0) {}

bool MotionFeatureModel::Fits(const Dib& image) const {
  return (image.GetBitCount() == 8 || image.GetBitCount() == 24) && image.Width() == width_ &&
         image.Height() == height_;
}

int MotionFeatureModel::CountMotionFeatures(const Dib& difference, uint8_t threshold) {
  if (!Fits(difference)) return 0;
  const bool colour = difference.GetBitCount() == 24;
  for (int y = 1; y + 1 < height_; ++y) {
    const uint8_t* __restrict p = difference.Row(y);
    uint8_t* __restrict g = grey_.data() + static_cast<size_t>(y) * width_;
    for (int x = 1; x + 1 < width_; ++x) {
      g[x] = colour ? static_cast<uint8_t>(
                          DivideBy100(59u * p[3 * x + 1] + 11u * p[3 * x] + 30u * p[3 * x + 2]))
                    : p[x];
    }
  }
  MedianFilter3(grey_.data(), median_.data(), width_, height_);
  return SmoothFilter3(median_.data(), mask_.data(), width_, height_, threshold);
}

float MotionFeatureModel::ComputeMoment(const Dib& difference) const {
  if (!Fits(difference)) return 0.0f;
  constexpr int kSecondOrder = 2;
  return CentroidMoment(difference, mask_, kSecondOrder);
}

}  // namespace fw
