// What every classifier mode keeps of the frames before the current one: the last three frames
// (a ring) and, from them, the colour-change map of 8 x 8 blocks between the previous frame and
// the frame three back, with the previous frame's mean intensity.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/modes/detection_windows.h"

namespace fw {

class FrameHistory {
 public:
  static constexpr int kBlock = BlockFlags::kBlock;
  static constexpr int kFrames = 3;
  // A block changed when at least this many of its 64 pixels did (a quarter).
  static constexpr int kChangedPixels = 16;

  // Empty rings for 24-bit frames of this size.
  void Build(int width, int height);
  static uint64_t Bytes(int width, int height);

  bool Matches(const Dib& frame) const {
    return frame.GetBitCount() == 24 && frame.Width() == width_ && frame.Height() == height_;
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }

  // The map of this frame: a pixel changed when one of its channels differs by at least
  // `threshold` between the previous frame and the frame three back. Until three frames have
  // been remembered the ring holds no frame three back, and no block counts as changed (an empty
  // slot is not a black frame that everything changed from).
  void ComputeColourChange(int threshold);
  BlockFlags Changed() const { return {changed_.data(), columns_, rows_}; }
  const std::vector<uint8_t>& ChangeMap() const { return changed_; }
  // Mean of all channels of the previous frame over the whole blocks.
  float MeanIntensity() const { return meanIntensity_; }

  // The previous frame and the frame three back (rows Stride() bytes apart).
  const uint8_t* Previous() const { return frames_[(position_ + kFrames - 1) % kFrames].data(); }
  const uint8_t* ThreeBack() const { return frames_[position_].data(); }
  // Frames remembered since the mode was built.
  int FramesSeen() const { return framesSeen_; }

  // End of the frame: the frame takes the oldest slot.
  void Remember(const Dib& frame);

 private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  int position_ = 0;  // the oldest slot
  int framesSeen_ = 0;
  float meanIntensity_ = 0.0f;
  std::array<std::vector<uint8_t>, kFrames> frames_;
  std::vector<uint8_t> changed_;
  std::vector<uint16_t> counts_;  // changed pixels per block of one block row
};

}  // namespace fw
