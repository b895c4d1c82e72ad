// "Fuzzy MAT" (7012): for every 16 x 16 block whose brightness changed, the direction in which its
// brightness moved, found from window sums of the grey picture of this and the previous frame;
// per block a histogram of these directions over the last 100 frames and its dominant direction;
// and per frame a vote whether the dominant directions are mostly upward or strongly
// concentrated. The alarm is raised while at least 60 of the last 100 frames voted yes.
//
// The engine works on the frame pane it was initialised with (24-bit); every step does nothing
// while the pane has another size or depth. Direction codes are those of block_motion.h.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"
#include "detect/engines/block_motion.h"

namespace fw::engines {

class FuzzyMatEngine {
 public:
  static constexpr int kBlockSize = 16;
  static constexpr int kWindow = 100;        // frames of the histograms and of the vote
  static constexpr int kAlarmVotes = 60;     // yes votes of the window that raise the alarm
  static constexpr int kChangeSum = 665;     // a block changed when its window sum moved this far
  static constexpr int kDominantTotal = 20;  // codes a block needs for a dominant direction
  static constexpr int kVoteBlocks = 9;      // dominant blocks a frame needs to vote
  static constexpr uint8_t kChanged = 255;

  // Builds everything from the frame pane (24-bit, else the engine stays empty); the frame copy
  // starts as a copy of the frame, the previous grey sums as 0.
  void InitialiseMat(Dib& frame);
  // Bytes the initialisation allocates for a frame of this size.
  static size_t Bytes(int width, int height);

  bool FrameMatches() const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int BlockCount() const { return columns_ * rows_; }

  // --- the per-frame steps, in their order ---
  // Change map and code map of the frame, the code ring and its counts (a frame with three times
  // as many coded blocks as the previous one, at least nine before, is taken back out of the
  // histograms), and the dominant map.
  void EstimateBlockDirections();
  // The frame with a red arrow for every coded block.
  void DrawBlockDirections(Dib& image) const;
  // Green arrows of the dominant directions over black.
  void DrawBlockDominants(Dib& image) const;
  // The frame's vote into the vote ring, the bars of the dominant codes and the ratios; returns
  // the alarm flag.
  uint8_t VoteDirections(Dib& image);
  // The frame pane and the frame copy exchange pixel buffers (the pane shows the frame before);
  // the grey sums move on; the next ring slot.
  void EndMatFrame();

  // --- state (one byte per block, row-major, row 0 the bottom block row) ---
  std::span<const uint8_t> ChangeMap() const { return changeMap_; }
  std::span<const uint8_t> CodeMap() const { return codeMap_; }
  std::span<uint8_t> DominantMap() { return dominantMap_; }
  std::span<const uint8_t> DominantMap() const { return dominantMap_; }
  int CodeCount(int block, int code) const { return codeCounts_[block * 8 + code - 1]; }
  // Code recorded for a block in a ring slot.
  int RingCode(int slot, int block) const { return codeRing_[slot * BlockCount() + block]; }
  int RingIndex() const { return ringIndex_; }
  int YesVotes() const { return yesVotes_; }
  uint8_t Vote(int slot) const { return voteRing_[slot]; }
  float UpwardRatio() const { return upwardRatio_; }
  float MaximumProportion() const { return maximumProportion_; }
  float AlarmRatio() const { return alarmRatio_; }
  const IntegralImage& CurrentSums() const { return current_; }

  // The window-sum direction test of one block: the code (1..8) of the step whose largest
  // difference over distances 1, 2 and 3 is smallest (the later step on ties).
  int BlockCode(int x0, int y0) const;
  // Records the block codes of the frame (one per block) in the ring at the ring index and
  // applies the frame rejection; then the dominant map.
  void RecordCodes(std::span<const uint8_t> codes);

 private:
  void RecordCode(int block, uint8_t code);
  void ComputeDominants();

  Dib* frame_ = nullptr;
  bool ready_ = false;
  int width_ = 0;
  int height_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  IntegralImage current_;
  IntegralImage previous_;
  std::vector<uint8_t> changeMap_;
  std::vector<uint8_t> codeMap_;
  std::vector<uint8_t> codeCounts_;  // 8 per block
  std::vector<uint8_t> codeRing_;    // kWindow maps
  std::vector<int32_t> ringCoded_;   // coded blocks of each ring map
  int ringIndex_ = 0;
  std::vector<uint8_t> dominantMap_;
  std::array<uint8_t, kWindow> voteRing_{};
  int yesVotes_ = 0;
  float upwardRatio_ = 0.0f;
  float maximumProportion_ = 0.0f;
  float alarmRatio_ = 0.0f;
  Dib frameCopy_;
};

}  // namespace fw::engines
