// "Losing Frames FWX" (7013), a display mode: a sliding sum of the last seven frames (over the
// three channels) and how far this seven-frame mean has changed over four, two and one frames.
// It never raises the alarm.
//
// The engine works on the frame pane it was prepared with (24-bit); AddFrame does nothing while
// the pane has another size or depth. Planes are packed rows of width values in memory row order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"

namespace fw::engines {

class LosingFramesEngine {
 public:
  static constexpr int kRingLength = 8;  // frames kept: the seven summed and the one leaving
  static constexpr int kSummed = 7;
  static constexpr int kPlanes = 25;   // seven-frame sums kept
  static constexpr int kDivisor = 21;  // seven frames times three channels
  static constexpr int kOutputs = 4;   // D0, D1, D2 and their combined mask D3

  // Builds the ring (black frames), the sum planes (0) and the outputs for the frame pane.
  void Prepare(Dib& frame);
  static size_t Bytes(int width, int height);

  bool FrameMatches() const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  int ProcessedFrames() const { return processed_; }

  // A frame into the ring (its pixel buffer exchanged with the slot's: the pane is left with the
  // frame that dropped out) and into the current sum plane.
  void AddFrame(int frameNumber, Dib& frame);
  // 8-bit picture of the current seven-frame mean.
  void ShowMean(Dib& image) const;
  // D0, D1, D2: |change of the mean| over 4a, 2a and a frames; D3: 255 where their sum reaches
  // the threshold, else 0.
  void CombineDifferences(int a, int threshold);
  // 8-bit picture of output j, thresholded at T unless T is 0.
  void ShowDifference(int j, Dib& image, int threshold) const;
  void ShowPlane(int j, Dib& image) const;

  std::span<const int16_t> SumPlane(int index) const;
  int SumIndex() const { return sumIndex_; }
  std::span<const uint8_t> Output(int j) const;

 private:
  int16_t* Plane(int index) { return sums_.data() + static_cast<size_t>(index) * pixels_; }
  const int16_t* Plane(int index) const {
    return sums_.data() + static_cast<size_t>(index) * pixels_;
  }

  Dib* frame_ = nullptr;
  bool ready_ = false;
  int step_ = 1;  // a frame is taken when its number modulo step is 0 (always)
  int processed_ = 0;
  std::array<Dib, kRingLength> ring_;
  std::vector<int16_t> sums_;  // kPlanes planes
  int sumIndex_ = kPlanes - 1;
  std::vector<uint8_t> outputs_;  // kOutputs planes
  int ringIndex_ = kRingLength - 1;
  int width_ = 0;
  int height_ = 0;
  size_t pixels_ = 0;
};

}  // namespace fw::engines
