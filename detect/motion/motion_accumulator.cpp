#include "detect/motion/motion_accumulator.h"

#include <algorithm>

namespace fw {

void MotionAccumulator::Initialise(int width, int height) {
  *this = MotionAccumulator();
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  const size_t pixels = static_cast<size_t>(width_) * height_;
  ring_.assign(pixels * kRingLength, 0);
  workspace_.Reserve(static_cast<int>(pixels));
}

bool MotionAccumulator::Fits(const Dib& image) const {
  return width_ > 0 && image.GetBitCount() == 8 && image.Width() == width_ &&
         image.Height() == height_;
}

void MotionAccumulator::Accumulate(std::span<const uint8_t> mask, Dib& accumulation) {
  const size_t pixels = static_cast<size_t>(width_) * height_;
  if (!Fits(accumulation) || mask.size() < pixels) return;
  uint8_t* slot = ring_.data() + static_cast<size_t>(frames_ % kRingLength) * pixels;
  const bool full = frames_ >= kRingLength;
  int64_t sum = 0;
  int nonZero = 0;
  for (int y = 0; y < height_; ++y) {
    uint8_t* __restrict a = accumulation.Row(y);
    const uint8_t* __restrict m = mask.data() + static_cast<size_t>(y) * width_;
    uint8_t* __restrict old = slot + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      // The counts stay within 0..255: a mask leaves the sum only after it entered it.
      const int now = m[x] != 0 ? 1 : 0;
      const int leaving = full && old[x] != 0 ? 1 : 0;
      const int v = a[x] + now - leaving;
      a[x] = static_cast<uint8_t>(v);
      old[x] = static_cast<uint8_t>(now);
      sum += v;
      nonZero += v != 0 ? 1 : 0;
    }
  }
  if (frames_ >= 1) {
    energy_ =
        nonZero >= kEnergyMinimum ? static_cast<float>(sum) / static_cast<float>(nonZero) : 0.0f;
  } else {
    energy_ = 0.0f;
  }
  ++frames_;
}

uint8_t MotionAccumulator::Alarm(const Dib& accumulation, std::span<uint8_t> work) {
  const size_t pixels = static_cast<size_t>(width_) * height_;
  if (!Fits(accumulation) || work.size() < pixels) return persistence_ > kAlarmAbove ? 1 : 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* a = accumulation.Row(y);
    uint8_t* w = work.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) w[x] = a[x] >= kBrightLevel ? 1 : 0;
  }
  const bool bright = HasRegionOfSize(work.data(), width_, height_, kBrightRegion - 1, workspace_);
  persistence_ =
      bright ? std::min(persistence_ + 1, kPersistenceLimit) : std::max(persistence_ - 1, 0);
  return persistence_ > kAlarmAbove ? 1 : 0;
}

}  // namespace fw
