// The engineering smoke engine: rising smoke from the motion of 8 x 8 blocks. Per frame it
// matches every block against the previous frame, groups the moving blocks into regions, keeps
// per block a histogram of its direction codes over the last 100 frames, finds each block's
// dominant direction, and raises the alarm when in at least 70 of the last 100 frames a region of
// dominant-direction blocks moved mostly upwards. "Engineering FWX" (7014) and "Fuzzy Engineering
// FWX" (7015) run it, each with its own motion estimate and displays; "Adaboost+Motion" (7019)
// drives the same steps in a sequence of its own.
//
// The engine works on the frame pane it was initialised with (24-bit). The steps are called in
// the mode's order; each does nothing while FrameMatches() is false, so a frame of another size
// or depth is never read out of bounds. The two blocks along every edge are never analysed.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/colour.h"
#include "core/dib.h"
#include "detect/engines/block_motion.h"
#include "detect/engines/region_tracks.h"

namespace fw::engines {

// The colour test of TestRegionColour.
struct RegionColourTest {
  int tolerance = 20;   // D
  int brightLow = 150;  // bright pixels: mean grey in brightLow..brightHigh
  int brightHigh = 250;
  int dimLow = 50;  // or in dimLow..dimHigh
  int dimHigh = 150;
};

class SmokeEngine {
 public:
  static constexpr int kBlockSize = 8;
  static constexpr int kBorder = 2;        // blocks along each edge left out
  static constexpr int kWindow = 100;      // frames of the direction histograms and the vote
  static constexpr int kAlarmFrames = 70;  // flagged frames of the window that raise the alarm
  static constexpr int kMaxRegions = 50;
  static constexpr int kStaticCost = 480;   // 8 x 8 x 15 / 2: below it a block did not move
  static constexpr int kFeatures = 10;      // nine memberships and the speed (7015)
  static constexpr int kStatistics = 12;    // the features and the position in the region
  static constexpr int kShownRegions = 16;  // covariance matrices shown (7015)
  static constexpr uint8_t kColourRejected = 254;

  // "Engineering FWX" and "Fuzzy Engineering FWX": everything the mode's steps use, built from
  // the frame pane (which must be 24-bit, else the engine stays empty). The first frame is
  // matched against a black previous frame.
  void InitialiseEngineering(Dib& frame);
  void InitialiseFuzzy(Dib& frame);
  // Bytes the initialisations allocate for a frame of this size.
  static size_t EngineeringBytes(int width, int height);
  static size_t FuzzyBytes(int width, int height);

  // True when the frame pane has the size and depth it had at initialisation.
  bool FrameMatches() const;
  // Built by InitialiseFuzzy (the feature ring and the region statistics exist).
  bool Fuzzy() const { return fuzzy_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int BlockCount() const { return columns_ * rows_; }
  bool IsInterior(int column, int row) const {
    return column >= kBorder && column < columns_ - kBorder && row >= kBorder &&
           row < rows_ - kBorder;
  }

  // --- the steps, in the order of the modes' sequences ---
  // Direction map and moving map of every interior block (7014): code 0 when the block's cost at
  // rest is below kStaticCost; otherwise the code of the smallest of sixteen displaced costs.
  void EstimateBlockMotion();
  // The same with the best of three distances per direction, the code only when it beats the
  // cost at rest, and the fuzzy memberships and speed into the feature ring (7015).
  void EstimateFuzzyMotion();
  // Regions of the blocks whose value in `map` (one byte per block) is 1..8 into the label map;
  // regions below `minimum` blocks are labelled 255.
  void LabelRegions(int minimum, std::span<const uint8_t> map);
  // Records the regions for the bottom-left display of their trajectories.
  void TrackRegions();
  // Copies the frame into `image` (made 24-bit of the frame size), pixels that do not look like
  // smoke tinted blue; region blocks with at most 44 smoke-like pixels are labelled 254.
  void TestRegionColour(Dib& image, const RegionColourTest& test);
  // The frame with an arrow for every moving block, coloured by its label.
  void DrawMotion(Dib& image) const;
  void DrawTracks(Dib& image) const;
  // The 100-frame direction histograms: the current code of every region block is recorded in
  // the ring, the code it replaces taken out.
  void AccumulateDirections();
  // Dominant map: each block's most frequent code when it has at least `minimumTotal` codes and
  // the codes around the opposite direction are fewer than half those around it.
  void FindDominantDirections(int unused, int minimumTotal);
  // Mean and covariance of the features over each region and the last 100 frames (7015).
  void ComputeRegionStatistics();
  void DrawRegionStatistics(Dib& image) const;
  // The frame flag (some region with more than 80% upward dominant blocks) into the alarm ring;
  // returns the alarm flag: 1 when at least kAlarmFrames of the window's frames are flagged.
  uint8_t DecideAlarm();
  // Dominant directions over white, coloured by how many codes they rest on, with the ramp, the
  // upward ratio and the alarm ratio.
  void DrawDominantDirections(Dib& image) const;
  // The frame becomes the previous frame of the next one (pixel buffers exchanged with the frame
  // pane); the next window slot.
  void AdvanceFrame();

  // --- state the steps share (one byte per block, row-major, row 0 the bottom block row) ---
  std::span<uint8_t> DirectionMap() { return directionMap_; }
  std::span<const uint8_t> DirectionMap() const { return directionMap_; }
  std::span<const uint8_t> MovingMap() const { return movingMap_; }
  std::span<uint8_t> LabelMap() { return labelMap_; }
  std::span<const uint8_t> LabelMap() const { return labelMap_; }
  std::span<uint8_t> DominantMap() { return dominantMap_; }
  std::span<const uint8_t> DominantMap() const { return dominantMap_; }
  std::span<const uint8_t> CountMap() const { return countMap_; }
  // How often the block recorded each code 1..8 in the window.
  int DirectionCount(int block, int code) const { return directionCounts_[block * 8 + code - 1]; }
  int RegionCount() const { return regionCount_; }
  int RegionSize(int region) const { return regionSizes_[region]; }
  int Slot() const { return slot_; }
  int FlaggedFrames() const { return flaggedFrames_; }
  float UpwardRatio() const { return upwardRatio_; }
  float AlarmRatio() const { return alarmRatio_; }
  bool AlarmLatch() const { return alarmLatch_; }
  // Features of a block in the current slot (7015): nine memberships (rest, codes 1..8), speed.
  std::span<const float, kFeatures> Features(int block) const;
  const RegionTracks& Tracks() const { return tracks_; }
  // Covariance of the region's statistics vector (7015), row-major 12 x 12.
  std::span<const float> Covariance(int region) const;
  int StatisticsRegions() const { return statisticsRegions_; }

 private:
  bool Initialise(Dib& frame, bool fuzzy);
  const Dib& Previous() const { return reference_[(slot_ + 1) % 2]; }
  // Adds (sign 1) or takes out (sign -1) a block's features to its sums over the window.
  void AddFeatureSums(int block, const float* features, double sign);

  Dib* frame_ = nullptr;
  bool ready_ = false;
  bool fuzzy_ = false;
  int width_ = 0;
  int height_ = 0;
  int columns_ = 0;
  int rows_ = 0;
  std::array<Dib, 2> reference_;  // the previous frame is the one of the other parity than slot

  std::vector<uint8_t> directionMap_;
  std::vector<uint8_t> movingMap_;
  std::vector<uint8_t> labelMap_;
  std::vector<uint8_t> dominantMap_;
  std::vector<uint8_t> countMap_;
  std::vector<uint8_t> directionCounts_;  // 8 per block
  std::vector<uint8_t> directionRing_;    // kWindow maps: the code each block recorded
  int slot_ = 0;
  std::array<uint8_t, kWindow> alarmRing_{};
  int flaggedFrames_ = 0;
  int regionCount_ = 0;
  std::array<int32_t, kMaxRegions> regionSizes_{};
  std::vector<int32_t> queue_;
  float upwardRatio_ = 0.0f;
  float alarmRatio_ = 0.0f;
  bool alarmLatch_ = false;

  // 7015: features per slot and block, their sums over the window per block (the ten sums, then
  // the 55 products of the upper triangle), and the covariances of the shown regions.
  std::vector<float> featureRing_;
  std::vector<double> featureSums_;
  std::vector<float> covariances_;
  int statisticsRegions_ = 0;

  RegionTracks tracks_;
  std::array<Rgb8, 256> labelColours_{};
  ColourRamp ramp_{};
};

}  // namespace fw::engines
