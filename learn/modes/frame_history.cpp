#include "learn/modes/frame_history.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace fw {

void FrameHistory::Build(int width, int height) {
  width_ = width;
  height_ = height;
  stride_ = DibStride(width, 24);
  columns_ = width / kBlock;
  rows_ = height / kBlock;
  position_ = 0;
  framesSeen_ = 0;
  meanIntensity_ = 0.0f;
  const size_t bytes = static_cast<size_t>(stride_) * height;
  for (std::vector<uint8_t>& f : frames_) f.assign(bytes, 0);
  changed_.assign(static_cast<size_t>(columns_) * rows_, 0);
  counts_.assign(static_cast<size_t>(columns_), 0);
}

uint64_t FrameHistory::Bytes(int width, int height) {
  const uint64_t frame = static_cast<uint64_t>(DibStride(width, 24)) * height;
  const uint64_t blocks = static_cast<uint64_t>(width / kBlock) * (height / kBlock);
  return kFrames * frame + blocks + 2 * static_cast<uint64_t>(width / kBlock);
}

void FrameHistory::ComputeColourChange(int threshold) {
  const uint8_t* f1 = Previous();
  const uint8_t* f3 = ThreeBack();
  const bool compare = framesSeen_ >= kFrames;
  const int blockWidth = columns_ * kBlock;  // whole blocks only
  uint64_t sum = 0;
  for (int r = 0; r < rows_; ++r) {
    std::fill(counts_.begin(), counts_.end(), 0);
    for (int y = r * kBlock; y < (r + 1) * kBlock; ++y) {
      const uint8_t* a = f1 + static_cast<size_t>(y) * stride_;
      const uint8_t* b = f3 + static_cast<size_t>(y) * stride_;
      uint32_t rowSum = 0;
      for (int c = 0; c < columns_; ++c) {
        int changed = 0;
        for (int k = 0; k < 3 * kBlock; k += 3) {
          rowSum += a[k] + a[k + 1] + a[k + 2];
          changed +=
              (std::abs(a[k] - b[k]) >= threshold || std::abs(a[k + 1] - b[k + 1]) >= threshold ||
               std::abs(a[k + 2] - b[k + 2]) >= threshold)
                  ? 1
                  : 0;
        }
        counts_[c] = static_cast<uint16_t>(counts_[c] + changed);
        a += 3 * kBlock;
        b += 3 * kBlock;
      }
      sum += rowSum;
    }
    uint8_t* out = changed_.data() + static_cast<size_t>(r) * columns_;
    for (int c = 0; c < columns_; ++c) out[c] = compare && counts_[c] >= kChangedPixels ? 1 : 0;
  }
  const uint64_t samples = 3ull * blockWidth * rows_ * kBlock;
  meanIntensity_ = samples > 0 ? static_cast<float>(sum) / static_cast<float>(samples) : 0.0f;
}

void FrameHistory::Remember(const Dib& frame) {
  std::memcpy(frames_[position_].data(), frame.Pixels(), frames_[position_].size());
  position_ = (position_ + 1) % kFrames;
  ++framesSeen_;
}

}  // namespace fw
