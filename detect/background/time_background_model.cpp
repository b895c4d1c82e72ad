#include "detect/background/time_background_model.h"

#include "detect/background/model_kernels.h"

namespace fw {

TimeBackgroundModel::TimeBackgroundModel(Dib& source, Dib& display)
    : BackgroundModel(kKind, source, display) {
  frameDifference_.assign(pixels_, 0);
  backgroundDifference_.assign(pixels_, 0);
  persistence_.assign(pixels_, 0);
}

void TimeBackgroundModel::Step(const Dib& previous, const BackgroundParams& params) {
  if (!FrameFits() || !FitsModel(previous, 24) || !ModelImageFits(24, true)) {
    return;
  }
  const int limit = params.backgroundDistanceLimit * params.backgroundDistanceLimit;
  const float* background = modelImage_->FloatCopy().data();
  for (int y = 0; y < height_; ++y) {
    const uint8_t* cur = source_->Row(y);
    const uint8_t* prev = previous.Row(y);
    const float* bg = background + static_cast<size_t>(y) * width_ * 3;
    const size_t row = static_cast<size_t>(y) * width_;
    uint8_t* m = mask_.data() + row;
    uint8_t* fd = frameDifference_.data() + row;
    uint8_t* bd = backgroundDifference_.data() + row;
    uint8_t* counter = persistence_.data() + row;
    for (int x = 0; x < width_; ++x) {
      const auto [f, gf] = background::SquaredDistances(cur + 3 * x, prev + 3 * x, bg + 3 * x);
      const int g = static_cast<int>(gf);
      fd[x] = f > 3 ? 1 : 0;
      bd[x] = g >= 9 ? 1 : 0;
      uint8_t foreground = g > limit ? 1 : 0;
      // A pixel must stay off the background for four frames before it counts as foreground.
      if (foreground) {
        ++counter[x];
        if (counter[x] < 4) foreground = 0;
      } else if (counter[x] > 0) {
        --counter[x];
      }
      m[x] = foreground;
    }
  }
}

}  // namespace fw
