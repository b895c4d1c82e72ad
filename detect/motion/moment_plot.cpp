#include "detect/motion/moment_plot.h"

#include <algorithm>
#include <cstring>

namespace fw {

void MomentPlot::Reset(int length) {
  changes_.assign(static_cast<size_t>(std::max(length, 1)), 0.0f);
  writeIndex_ = 0;
  last_ = 0.0f;
}

float MomentPlot::Change(int age) const {
  const int n = Length();
  return changes_[((writeIndex_ - 1 - age) % n + n) % n];
}

void MomentPlot::Plot(Dib& image, float value) {
  if (changes_.empty()) return;
  changes_[writeIndex_] = value - last_;
  last_ = value;
  writeIndex_ = (writeIndex_ + 1) % Length();

  const int bits = image.GetBitCount();
  if (bits != 8 && bits != 24) return;
  const int w = image.Width();
  const int h = image.Height();
  if (w <= 0 || h <= 0) return;
  image.Clear();
  const int middle = h / 2;
  const auto put = [&](int x, int y, bool point) {
    uint8_t* p = image.Row(y);
    if (bits == 8) {
      p[x] = point ? 255 : 128;
    } else {
      p[3 * x] = point ? 0 : 255;
      p[3 * x + 1] = 0;
      p[3 * x + 2] = point ? 255 : 0;
    }
  };
  for (int x = 0; x < w; ++x) put(x, middle, false);
  const int columns = std::min(w, Length());
  for (int age = 0; age < columns; ++age) {
    // Clamped before the conversion, so that any change gives a row inside the picture.
    const float offset =
        std::clamp(Change(age) / 100.0f, -static_cast<float>(h), static_cast<float>(h));
    const int row = std::clamp(middle + static_cast<int>(offset), 0, h - 1);
    put(w - 1 - age, row, true);
  }
}

}  // namespace fw
