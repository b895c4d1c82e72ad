#include "detect/background/accurate_background_model.h"

#include <algorithm>

#include "detect/background/model_kernels.h"

namespace fw {

namespace {

// One pass of the 3 x 3 box mean (sum of nine / 9) over the interior of a packed plane; the
// border is copied.
void BoxMean3x3(const uint8_t* source, uint8_t* destination, int width, int height) {
  std::copy_n(source, width, destination);
  std::copy_n(source + static_cast<size_t>(height - 1) * width, width,
              destination + static_cast<size_t>(height - 1) * width);
  for (int y = 1; y + 1 < height; ++y) {
    const uint8_t* up = source + static_cast<size_t>(y - 1) * width;
    const uint8_t* mid = up + width;
    const uint8_t* down = mid + width;
    uint8_t* out = destination + static_cast<size_t>(y) * width;
    out[0] = mid[0];
    out[width - 1] = mid[width - 1];
    for (int x = 1; x + 1 < width; ++x) {
      const uint16_t sum =
          static_cast<uint16_t>(up[x - 1] + up[x] + up[x + 1] + mid[x - 1] + mid[x] + mid[x + 1] +
                                down[x - 1] + down[x] + down[x + 1]);
      out[x] = static_cast<uint8_t>(sum / 9);
    }
  }
}

}  // namespace

AccurateBackgroundModel::AccurateBackgroundModel(Dib& source, Dib& display)
    : BackgroundModel(kKind, source, display) {
  frameDifference_.assign(pixels_, 0);
  backgroundDifference_.assign(pixels_, 0);
  filterWork_.assign(pixels_, 0);
}

void AccurateBackgroundModel::Step(const Dib& previous, const BackgroundParams& params) {
  if (!FrameFits() || !FitsModel(previous, 24) || !ModelImageFits(24, true)) {
    return;
  }
  const float* background = modelImage_->FloatCopy().data();
  for (int y = 0; y < height_; ++y) {
    const uint8_t* cur = source_->Row(y);
    const uint8_t* prev = previous.Row(y);
    const float* bg = background + static_cast<size_t>(y) * width_ * 3;
    const size_t row = static_cast<size_t>(y) * width_;
    uint8_t* fd = frameDifference_.data() + row;
    uint8_t* bd = backgroundDifference_.data() + row;
    for (int x = 0; x < width_; ++x) {
      const auto [f, gf] = background::SquaredDistances(cur + 3 * x, prev + 3 * x, bg + 3 * x);
      fd[x] = static_cast<uint8_t>(std::min(f, 255));
      bd[x] = gf >= 255.0f ? 255 : static_cast<uint8_t>(gf);
    }
  }
  if (width_ >= 3 && height_ >= 3) {
    for (std::vector<uint8_t>* map : {&frameDifference_, &backgroundDifference_}) {
      for (int pass = 0; pass < 3; ++pass) {
        BoxMean3x3(map->data(), filterWork_.data(), width_, height_);
        map->swap(filterWork_);
      }
    }
  }
  const int frameLimit = params.frameDifferenceLimit * params.frameDifferenceLimit;
  const int backgroundLimit = params.backgroundDistanceLimit * params.backgroundDistanceLimit;
  std::fill(mask_.begin(), mask_.end(), 0);
  for (int y = 1; y + 1 < height_; ++y) {
    const size_t row = static_cast<size_t>(y) * width_;
    const uint8_t* fd = frameDifference_.data() + row;
    const uint8_t* bd = backgroundDifference_.data() + row;
    uint8_t* m = mask_.data() + row;
    for (int x = 1; x + 1 < width_; ++x) {
      m[x] = fd[x] > frameLimit && bd[x] > backgroundLimit ? 1 : 0;
    }
  }
}

}  // namespace fw
