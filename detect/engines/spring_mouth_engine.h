// "MSEA FWX (Spring mouth)" (7016): a full-search block matching of 8 x 8 blocks within +-4 pixels,
// made fast by successive elimination (window-sum bounds of the cost at three sub-block sizes
// reject most candidates before their cost is computed; the vectors are exactly those of the
// plain full search). Moving blocks are classified by saturation, texture and brightness, their
// motion accumulated per class over the last 200 frames; blocks that moved in more than 40 of
// them form regions, shown with their mean motion and the spectra of their direction histograms.
// It never raises the alarm.
//
// The engine works on the frame pane it was initialised with (24-bit); every step does nothing
// while the pane has another size or depth. The two blocks along every edge are never analysed.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"
#include "detect/engines/block_motion.h"
#include "detect/fourier_analyzer.h"

namespace fw::engines {

class SpringMouthEngine {
 public:
  static constexpr int kBlockSize = 8;
  static constexpr int kBorder = 2;
  static constexpr int kRange = 4;         // displacements -4..4 in x and y
  static constexpr int kStaticCost = 288;  // 8 x 8 x 9 / 2: below it a block did not move
  static constexpr int kWindow = 200;      // frames accumulated
  static constexpr int kMaxStatic = 159;   // still frames a region block may have
  static constexpr int kClasses = 8;
  static constexpr int kMaxRegions = 50;
  static constexpr int kAngleBins = 64;
  static constexpr int kShownSpectra = 4;
  static constexpr uint8_t kMoved = 100;

  void InitialiseSpringMouth(Dib& frame);
  static size_t Bytes(int width, int height);

  bool FrameMatches() const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int BlockCount() const { return columns_ * rows_; }

  // --- the per-frame steps, in their order ---
  void ComputeIntegralImages();
  // Displacement and state (0 or kMoved) of every block against the previous frame.
  void SearchBlockMotion();
  // The frame with the displacement of every moving block as an arrow, and the colour ramp.
  void DrawBlockVectors(Dib& image) const;
  // Moving blocks get their class 1..8 and their displacement is added to the class's sums; still
  // blocks count as still; the frame 200 back leaves the sums as its record is replaced.
  void ClassifyAndAccumulate();
  // Once 200 frames are accumulated: regions of the blocks that moved in more than 40 of them.
  void LabelMovingRegions(int minimum);
  // The initialisation's progress, or the frame with the mean motion of each region block.
  void DrawRegionMotion(Dib& image);
  // Histogram of the directions of the mean motions of each region's blocks (64 bins).
  void BuildAngleHistograms();
  // Spectra (green) and histograms (red) of up to four regions over white.
  void DrawAngleSpectra(Dib& image);
  // The frame becomes the previous frame of the next one (pixel buffers exchanged with the frame
  // pane), the integral images move on, the next slot.
  void AdvanceSlot();

  // --- state (one byte per block, row-major, row 0 the bottom block row) ---
  // This frame's displacement of a block and its state: 0 still, kMoved after the search, its
  // class 1..8 after the accumulation.
  int Dx(int block) const { return dx_[block]; }
  int Dy(int block) const { return dy_[block]; }
  int State(int block) const { return state_[block]; }
  int ClassCount(int block, int k) const { return classCounts_[block * kClasses + k - 1]; }
  int ClassSumX(int block, int k) const { return classSumX_[block * kClasses + k - 1]; }
  int ClassSumY(int block, int k) const { return classSumY_[block * kClasses + k - 1]; }
  int StaticCount(int block) const { return staticCount_[block]; }
  int FramesAccumulated() const { return accumulated_; }
  int Slot() const { return slot_; }
  std::span<const uint8_t> LabelMap() const { return labelMap_; }
  std::span<const uint8_t> DominantClassMap() const { return dominantClass_; }
  std::span<const uint8_t> AngleBinMap() const { return angleBin_; }
  int RegionCount() const { return regionCount_; }
  int RegionSize(int region) const { return regionSizes_[region]; }
  std::span<const float> AngleHistogram(int region) const;
  // Class of a block from the 64 pixels of the frame pane (interior blocks).
  int ClassifyBlock(int column, int row) const;

 private:
  int DominantClass(int block) const;
  void Retire(int block, int slot);

  Dib* frame_ = nullptr;
  bool ready_ = false;
  int width_ = 0;
  int height_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  IntegralImage current_;   // blue, green, red of the frame
  IntegralImage previous_;  // of the previous frame (0 before the first)
  std::array<Dib, 2> reference_;
  std::vector<int8_t> dx_;
  std::vector<int8_t> dy_;
  std::vector<uint8_t> state_;
  // The records of the last kWindow frames: displacements and states.
  std::vector<int8_t> ringDx_;
  std::vector<int8_t> ringDy_;
  std::vector<uint8_t> ringState_;
  int slot_ = 0;
  int accumulated_ = 0;
  std::vector<int32_t> classSumX_;  // kClasses per block
  std::vector<int32_t> classSumY_;
  std::vector<uint8_t> classCounts_;
  std::vector<uint8_t> staticCount_;
  std::vector<uint8_t> dominantClass_;
  std::vector<uint8_t> angleBin_;
  std::vector<uint8_t> labelMap_;
  int regionCount_ = 0;
  std::array<int32_t, kMaxRegions> regionSizes_{};
  std::vector<int32_t> queue_;
  std::vector<float> histograms_;       // kAngleBins per region
  std::vector<uint8_t> lowSaturation_;  // 1 at [max * 256 + min] when 1 - min / max < 0.3
  ColourRamp ramp_{};
  FourierAnalyzer fourier_;  // the engine's own instance
};

}  // namespace fw::engines
