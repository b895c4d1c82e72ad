// The smoke detector object: a ring of recent frames, a background, per-pixel flicker history and
// a grid of 16 x 16 blocks. The pixel mode decides smoke per pixel (motion, grey colour, flicker of
// the red channel); the block mode per block (motion accumulated over 125 frames, spread of the
// changed pixels, loss of edge strength against the background).
//
// The detector works on the frame pane it was initialised with. Every step first checks that the
// pane still has the size and depth it had then; for any other frame a step does nothing (and a
// step that decides returns 0), so a changed frame size never reads out of bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"

namespace fw {

struct SmokeFlameParams {
  // The frame ring holds the largest power of two not above frameRateFactor x secondsFactor.
  int secondsFactor = 4;
  int frameRateFactor = 25;
  int motionThreshold = 15;   // a pixel moved when its weighted difference >= 100 x this
  int alarmPixelCount = 100;  // final-mask pixels that raise the alarm
  // Flame mode and wavelet view: a pixel oscillates when its red history's transform changes
  // class (above +deadZone, below -deadZone, between) at least crossingThreshold times.
  int crossingThreshold = 10;
  float deadZone = 5.0f;
};

class SmokeFlameDetector {
 public:
  static constexpr int kBlockSize = 16;
  // Frames of the flicker window (also the flicker learning length).
  static constexpr int kFlickerWindow = 125;
  // Frames of the block-motion ring and of the smoke-count ring.
  static constexpr int kBlockWindow = 125;

  // DetectMotion kinds: against the background, updating it where the frame is still (flame
  // mode); against the most recent frame of the ring (smoke mode).
  static constexpr int kMotionToBackground = 1;
  static constexpr int kMotionToLastFrame = 2;

  // The flame test and the wavelet view look at the red channel of the last kSignalLength frames;
  // frames the ring does not hold (yet) count as black. Their transform's crossings are counted
  // among outputs kFirstCrossingOutput..kSignalLength - 1.
  static constexpr int kSignalLength = 64;
  static constexpr int kSignalLevels = 2;
  static constexpr int kFirstCrossingOutput = 17;

  SmokeFlameParams params;

  // Builds everything from the frame pane, which the detector keeps working on. Pixel modes get
  // the frame ring, the background and the flicker history; the block mode the previous frame,
  // the background, the edge strengths and the block means. A frame that is not 24-bit leaves
  // the detector empty: every step then does nothing.
  void Initialise(Dib& frame, bool blockMode);

  // Bytes a detector made on the heap holds, with what Initialise allocates, for a width x height
  // frame: in a pixel mode with these parameters, and in the block mode.
  static size_t PixelModeBytes(int width, int height, const SmokeFlameParams& params);
  static size_t BlockModeBytes(int width, int height);
  // Live video: `plane` is the luminance plane of the capture frame (width x height bytes, the
  // picture's top row first), which the capture source rewrites before each frame. From now on
  // the pixel modes' motion compares it with the previous frame's plane, which receives a copy
  // of it now and at every end of frame, and the block means are the means of its bytes (taken
  // again now, so that the previous and background means are of the same kind). Null goes
  // back to the colour frame.
  void AttachLiveLuminance(const uint8_t* plane);
  const uint8_t* LiveLuminance() const { return liveLuminance_; }

  // True when the frame pane has the width, height and depth it had at Initialise.
  bool FrameMatches() const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool BlockMode() const { return blockMode_; }

  // --- pixel mode ---
  // Motion mask = 1 where the weighted difference 11 |dB| + 59 |dG| + 30 |dR| of the frame and
  // its reference reaches 100 x motion threshold: the most recent ring frame (kind 2), or the
  // background (kind 1), which then moves 1/10 towards the frame wherever the frame differs
  // from the most recent ring frame by less than that. Other kinds change nothing. With live
  // video kind 2 is 1 where the luminance changed by at least the motion threshold since the
  // previous frame, at the same picture point (the plane's rows run top-down, the mask's as the
  // frame's memory rows).
  void DetectMotion(int kind);
  // Colour mask = 1 where the pixel moved and is grey: saturation 255 (max - min) / max (integer)
  // at most `limit`, or max 0.
  void TestGreyColour(int limit);
  // Flicker of the red channel around its running mean + 10. The first kFlickerWindow frames
  // learn the mean (temporal mask 0 from the first of them, unwritten after it); from then on
  // temporal mask = 1 where the state changed at least `minimumChanges` times within the last
  // kFlickerWindow frames.
  void TestFlicker(int minimumChanges);
  // Final mask = colour mask AND temporal mask.
  void CombineMasks();
  // Display (made 24-bit of the frame size) = the frame with final-mask pixels tinted green.
  // Returns 1 when at least alarmPixelCount final-mask pixels are set, else 0.
  uint8_t ShowAndCount(Dib& display);

  // --- flame mode ---
  // Colour mask = 1 where the pixel moved and has flame colour: red > redLimit, red >= green >=
  // blue and saturation 255 (max - min) / max >= (255 - red) x saturationLimit / redLimit
  // (integers). redLimit must be positive.
  void TestFlameColour(int redLimit, int saturationLimit);
  // Temporal mask = 1 where a colour-mask pixel's red history oscillates (its transform changes
  // class at least crossingThreshold times); 0 elsewhere.
  void TestOscillation();

  // --- the red history of one pixel (flame test and wavelet view) ---
  // The red bytes of pixel (x, row) in the last kSignalLength stored frames, oldest first.
  void RedHistory(int x, int row, std::span<uint8_t, kSignalLength> out) const;
  // The two-level integer transform of a history in the detector's wavelet planes; returns the
  // plane holding the result (kSignalLength values).
  const int32_t* TransformHistory(std::span<const uint8_t, kSignalLength> history);
  // Class changes (above +deadZone, below -deadZone, between) among the transform's outputs
  // kFirstCrossingOutput..kSignalLength - 1.
  static int CountCrossings(const int32_t* transform, float deadZone);
  // The two integer wavelet planes (each at least kSignalLength values); a frame pane borrows
  // them for its integer transforms.
  std::span<int32_t> WaveletPlane(int index) { return waveletPlanes_[index]; }

  // --- block energies (wavelet view) ---
  // Energy of each block of the grid: the sum over its pixels of |I(x, y) - I(x + 1, y)| +
  // |I(x, y) - I(x, y + 1)|, I the first byte of a pixel, a term left out at the image's last
  // column or row. The image must have the frame's size (8 or 24 bits); others change nothing.
  void ComputeBlockEnergies(const Dib& image);
  std::span<const int32_t> BlockEnergies() const { return blockEnergies_; }

  // --- block mode ---
  // Current block means: sum of (11 B + 59 G + 30 R) over the block / 25600; with live video
  // the mean of the block's 256 luminance bytes (the block's rows counted from the picture's
  // bottom, as its memory rows are).
  void ComputeBlockMeans();
  // Block motion = 1 where |current mean - previous mean| >= threshold; display (made 24-bit of
  // the frame size) shows moving blocks yellow and the others blue.
  void CompareBlocks(uint8_t threshold, Dib& display);
  // Display (made 24-bit of the frame size) with each block blue of intensity
  // min(gain x counter, 255). `counters` holds one value per block.
  void ShowBlockCounters(Dib& display, std::span<const uint8_t> counters, int gain) const;
  // Adds the block motion to the counters of the last kBlockWindow frames. Returns 1 when more
  // than 3 blocks moved in at least 37 of them, else 0.
  uint8_t AccumulateBlockMotion();
  // A moving block keeps its motion only when more than 50 of its pixels changed against the
  // previous frame and their column and row positions both have a variance of at least 10.
  void FilterBlockSpread();
  // Scrolls the display (made 24-bit of the frame size) one pixel to the left and plots, in its
  // rightmost column, the mean current (yellow) and background (blue) edge strength of the
  // block (column, row), clamped to the grid.
  void PlotBlockEdges(int column, int row, Dib& display);
  // Current edges = edge strength of the frame (interior pixels; the border stays 0).
  void ComputeEdgeStrength();
  // Counts the moving blocks whose mean edge strength fell more than 4 below the background's;
  // a frame without moving blocks becomes the background. Returns 1 when the last kBlockWindow
  // frames hold more than 24 smoke blocks, else 0.
  uint8_t TestEdgeLoss();

  // After the frame number advanced. Pixel modes: the frame becomes the newest ring frame and the
  // pane receives the oldest ring buffer; with live video the luminance plane is copied into the
  // previous plane. Block mode: the frame becomes the previous frame and the block means move
  // on. Frame buffers are exchanged, never copied.
  void EndOfFrame();
  // Pixel modes, for a detector that shares its frame pane with another one: the frame is copied
  // into the newest ring slot and the pane keeps its pixels.
  void StoreFrameCopy();

  // --- state the steps read and write (masks hold 0 and 1, rows packed, memory row order) ---
  std::span<uint8_t> MotionMask() { return motionMask_; }
  std::span<uint8_t> ColourMask() { return colourMask_; }
  std::span<uint8_t> TemporalMask() { return temporalMask_; }
  std::span<const uint8_t> FinalMask() const { return finalMask_; }
  const Dib& Background() const { return background_; }
  const Dib& PreviousFrame() const { return previousFrame_; }
  int HistoryLength() const { return historyLength_; }
  int RingIndex() const { return ringIndex_; }
  const Dib& RingFrame(int index) const { return ring_[index]; }
  int FramesSeen() const { return framesSeen_; }
  float FlickerMean(int pixel) const { return flickerMean_[pixel]; }
  // State changes of the pixel's red channel within the flicker window.
  int FlickerChanges(int pixel) const { return flickerChanges_[pixel]; }

  int BlockColumns() const { return blockColumns_; }
  int BlockRows() const { return blockRows_; }
  int BlockCount() const { return blockColumns_ * blockRows_; }
  std::span<uint8_t> BlockMotion() { return blockMotion_; }
  std::span<const uint8_t> BlockMotion() const { return blockMotion_; }
  std::span<const uint8_t> BlockCounters() const { return blockCounters_; }
  std::span<const uint8_t> CurrentBlockMeans() const { return currentBlockMeans_; }
  std::span<const uint8_t> PreviousBlockMeans() const { return previousBlockMeans_; }
  std::span<const uint8_t> BackgroundBlockMeans() const { return backgroundBlockMeans_; }
  std::span<int32_t> BackgroundEdges() { return backgroundEdges_; }
  std::span<int32_t> CurrentEdges() { return currentEdges_; }
  std::span<const int32_t> SmokeCounts() const { return smokeCounts_; }
  // Number of smoke blocks TestEdgeLoss found in the last frame, and which blocks they were.
  int LastSmokeBlocks() const { return lastSmokeBlocks_; }
  std::span<const uint8_t> SmokeBlocks() const { return smokeBlocks_; }

 private:
  // Positions of the toggle history: a ring of kToggleHistory frames, one bit per pixel and
  // frame, stored as kToggleHistory / 8 byte planes.
  static constexpr int kToggleHistory = 128;
  static_assert(kFlickerWindow - 1 <= kToggleHistory && kToggleHistory % 8 == 0);

  void InitialisePixelMode(const Dib& frame);
  void InitialiseBlockMode(const Dib& frame);
  int BlockMeanEdge(std::span<const int32_t> edges, int column, int row) const;
  void ComputeLiveBlockMeans();

  Dib* source_ = nullptr;
  bool ready_ = false;
  bool blockMode_ = false;
  int width_ = 0;
  int height_ = 0;

  // pixel modes
  std::vector<Dib> ring_;
  int historyLength_ = 64;
  int ringIndex_ = 0;
  Dib background_;
  std::vector<uint8_t> motionMask_;
  std::vector<uint8_t> colourMask_;
  std::vector<uint8_t> temporalMask_;
  std::vector<uint8_t> finalMask_;
  std::array<std::vector<int32_t>, 2> waveletPlanes_;
  std::vector<uint8_t> blackRow_;  // stands for the rows of frames the ring does not hold

  // Flicker history per pixel. Within the window the red channel's state sequence is summed up
  // by its changes: a pixel keeps its running mean, its state, the number of changes within the
  // window and one bit per frame telling whether the state changed then, so that the change
  // leaving the window is known in constant time.
  std::vector<float> flickerMean_;
  std::vector<uint8_t> flickerState_;
  std::vector<uint8_t> flickerChanges_;
  std::vector<uint8_t> toggleHistory_;  // kToggleHistory / 8 planes of width x height bytes
  int togglePosition_ = 0;              // history position of the current frame
  int framesSeen_ = 0;

  // block mode
  Dib previousFrame_;
  int blockColumns_ = 0;
  int blockRows_ = 0;
  std::vector<uint8_t> blockMotion_;
  std::vector<uint8_t> smokeBlocks_;  // 1 where TestEdgeLoss found smoke in the last frame
  std::vector<uint8_t> blockCounters_;
  std::vector<uint8_t> blockMaskRing_;  // kBlockWindow masks of one byte per block
  int blockRingIndex_ = 0;
  int blockRingFill_ = 0;
  std::vector<uint8_t> currentBlockMeans_;
  std::vector<uint8_t> previousBlockMeans_;
  std::vector<uint8_t> backgroundBlockMeans_;
  std::vector<int32_t> blockSums_;  // one row of blocks, summed while the means are taken
  std::vector<int32_t> blockEnergies_;
  std::vector<int32_t> backgroundEdges_;
  std::vector<int32_t> currentEdges_;
  std::array<int32_t, kBlockWindow> smokeCounts_{};
  int smokeCountIndex_ = 0;
  int lastSmokeBlocks_ = 0;

  // live video
  const uint8_t* liveLuminance_ = nullptr;  // the capture frame's luminance plane, not owned
  std::vector<uint8_t> previousLuminance_;  // width x height, the previous frame's plane
};

}  // namespace fw
