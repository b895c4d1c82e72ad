#include "detect/background/simple_background_model.h"

namespace fw {

SimpleBackgroundModel::SimpleBackgroundModel(Dib& source, Dib& display)
    : BackgroundModel(kKind, source, display) {}

void SimpleBackgroundModel::Step(const Dib& current, const Dib& previous) {
  if (!FrameFits() || !FitsModel(current, 8) || !FitsModel(previous, 8) ||
      !ModelImageFits(8, false)) {
    return;
  }
  for (int y = 0; y < height_; ++y) {
    const uint8_t* cur = current.Row(y);
    const uint8_t* prev = previous.Row(y);
    uint8_t* bg = modelImage_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      const int c = cur[x];
      const bool changed = c - prev[x] > 3;
      const bool brighter = c - bg[x] > 3;
      m[x] = changed && brighter ? 1 : 0;
      if (!changed && !brighter) bg[x] = static_cast<uint8_t>((9 * bg[x] + c) / 10);
    }
  }
}

}  // namespace fw
