// "View Wavelet and zero crossing": an on/off display beside any mode that shows, for the point
// last picked in the top-left pane, what the flame test sees there: the point's red values over
// the last 64 frames with their transform and crossing count (top-right pane), the two-level
// transform of the 8 x 8 block around the point with its detail energy (bottom-left pane), and a
// scrolling plot of the texture energy of the 16 x 16 block holding the point (bottom-right pane).
//
// The view owns its detector, whose frame ring supplies the history. It stores each frame by
// copying it, before the current mode's end-of-frame step, so that the mode's own detector (which
// exchanges the frame pane's pixels with its ring) is neither rebuilt nor advanced by the view.
#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "core/dib.h"
#include "detect/smoke/smoke_flame_detector.h"

namespace fw {

struct DetectionState;

class WaveletView {
 public:
  static constexpr int kBlock = 8;           // side of the transformed block
  static constexpr int kLevels = 2;          // levels of the block transform
  static constexpr int kPlotRowScale = 256;  // block energy per row of the energy plot

  // A detector in pixel mode on the frame pane; nothing is shown for a frame that is not 24-bit.
  void Initialise(Dib& frame, const SmokeFlameParams& params);
  bool FrameMatches() const { return detector_.FrameMatches(); }

  // The four steps of a frame, at the point (x, row) of the frame in memory columns and rows
  // (inside the frame). A pane of a depth a step cannot draw on is left alone.
  // The point's red history (64 frames, oldest first), its transform and the crossing count as a
  // curve chart (24-bit panes wider than 64 pixels).
  void ShowPointSignal(int x, int row, Dib& image);
  // The image (made 24-bit of the frame's size) shows the frame with the 8 x 8 block's transform
  // pasted in green at the block and its detail energy written at the top right. The block
  // starts 4 pixels left of and below the point, clamped to 0 .. size - 9. Frames narrower or
  // lower than 9 pixels get no block.
  void ShowBlockTransform(int x, int row, Dib& image);
  // The texture energy of every block of the frame pane (8 or 24 bits).
  void ComputeBlockEnergies(const Dib& image);
  // Scrolls the 24-bit image one pixel to the left, clears its rightmost column and marks in red
  // the row energy / 256 (at most the last row) of block (column, row), clamped to the grid.
  void PlotBlockEnergy(int column, int row, Dib& image);
  // After the frame number advanced: a copy of the frame becomes the newest history frame.
  void StoreFrame();

  const SmokeFlameDetector& Detector() const { return detector_; }
  const std::array<uint8_t, SmokeFlameDetector::kSignalLength>& History() const { return history_; }
  int Crossings() const { return crossings_; }
  float BlockEnergy() const { return blockEnergy_; }

 private:
  SmokeFlameDetector detector_;
  Dib* frame_ = nullptr;
  Dib block_;  // the 8 x 8 transform, 8-bit
  std::array<uint8_t, SmokeFlameDetector::kSignalLength> history_{};
  std::array<int, SmokeFlameDetector::kSignalLength> transform_{};
  int crossings_ = 0;
  float blockEnergy_ = 0.0f;
};

struct WaveletViewState {
  bool on = false;
  // The point last picked in the top-left pane: x right, y up from the picture's bottom row.
  int x = 0;
  int y = 0;
  // Built when the view is turned on; kept when it is turned off, until it is turned on again.
  std::unique_ptr<WaveletView> view;
  bool sizeReported = false;  // a frame of another size was reported for this view
};

// The command: turning the view on builds a new view from the current frame; turning it off
// stops its steps. Either way the alarm state is cleared, as by every Bottom View command.
void ToggleWaveletView(DetectionState& state);
// The point picked in the top-left pane (picture coordinates, moved into the picture).
void SetWaveletPoint(DetectionState& state, int x, int y);
// Pipeline, after the background model's post step: the four steps while the view is on.
void WaveletViewStep(DetectionState& state);
// Pipeline, after the frame number advanced and before the mode's end-of-frame step.
void WaveletViewEndOfFrame(DetectionState& state);

// Bytes turning the view on allocates for a width x height frame.
size_t WaveletViewBytes(int width, int height);

}  // namespace fw
