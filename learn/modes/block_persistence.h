// The evidence modes 7021-7024 gather over frames: a persistence score per 8 x 8 block that
// rises while confirmed rectangles cover the block, regions of persistent blocks, and the ring
// of the last 100 frames' flags (and, for 7024, raised-block counts) that the alarm is voted on.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/modes/detection_windows.h"

namespace fw {

class BlockPersistence {
 public:
  static constexpr int kBlock = BlockFlags::kBlock;
  static constexpr int kRing = 100;
  static constexpr float kPersistent = 0.3f;  // a block this persistent joins regions
  static constexpr int kSmallestRegion = 3;   // blocks; smaller regions are discarded
  static constexpr int kMaxRegions = 50;
  static constexpr int kFirstLabel = 10;
  static constexpr int kAlarmRate = 70;  // flags among the last 100 frames

  void Build(int width, int height);
  static uint64_t Bytes(int width, int height);

  // p <- 0.98 p + 0.02 for every block whose top-left corner lies inside at least `minRects`
  // confirmed rectangles, p <- 0.98 p for the others. Returns the number of raised blocks.
  int Update(const WindowList& windows, int minRects);
  // Fills the pane (24-bit, the frame's size): persistent blocks yellow, the others from white
  // (0) towards green; the rest of the pane white.
  void Draw(Dib& pane) const;
  // Groups persistent blocks into 8-connected regions: regions of fewer than 3 blocks are
  // discarded (their blocks outlined blue in the pane when it is given), the kept ones labelled
  // from 10 (outlined red); the search stops at 50 kept regions. Returns the kept regions.
  int FindRegions(Dib* pane);

  // The frame's flag and its raised-block count go into the ring at its position; returns the
  // number of set flags among the last 100 frames. Advance() moves the position on.
  int PushFlag(bool flag);
  void SetRaised(int raised) { raised_[position_] = raised; }
  void Advance() { position_ = (position_ + 1) % kRing; }
  // Mean and variance (mean of squares less the squared mean) of the last ten raised counts,
  // this frame's included.
  void RecentRaised(float& mean, float& variance) const;

  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int Position() const { return position_; }
  float Score(int column, int row) const { return score_[row * columns_ + column]; }
  uint8_t Label(int column, int row) const { return label_[row * columns_ + column]; }
  int Regions() const { return regions_; }
  int RegionSize(int k) const { return regionSizes_[k]; }
  const std::array<int, kRing>& Raised() const { return raised_; }

 private:
  int columns_ = 0;
  int rows_ = 0;
  int position_ = 0;
  int regions_ = 0;
  std::vector<float> score_;
  std::vector<uint8_t> label_;
  std::vector<uint8_t> inside_;  // confirmed rectangles over each block's corner, this frame
  std::vector<int> stack_;       // the flood fill's pending blocks
  std::vector<int> members_;     // the blocks of the region being filled
  std::array<int, kMaxRegions> regionSizes_{};
  std::array<uint8_t, kRing> flags_{};
  std::array<int, kRing> raised_{};
};

}  // namespace fw
