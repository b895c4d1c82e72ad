// The infrared flame detector: on an infrared camera's picture hot areas are bright, and a flame
// is a bright area whose shape keeps changing. Each frame's grey picture is cleaned of small hot
// specks and holes; the shape-change method compares the cleaned pictures `frameInterval` frames
// apart and votes "fire" when the shape changed enough, raising the alarm when enough of the votes
// in the alarm window say so; the hot-region method raises it for any hot region of at least the
// noise size.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "core/regions.h"

namespace fw {

struct InfraredParams {
  static constexpr int kShapeChange = 1;  // methods
  static constexpr int kHotRegion = 2;
  static constexpr int kFramesPerSecond = 25;  // the alarm window is set in seconds of 25 frames

  uint8_t greyThreshold = 128;   // a pixel is hot when its grey level reaches it
  int frameInterval = 1;         // frames between the two compared pictures
  int alarmWindow = 125;         // frames of votes the alarm looks at (5 seconds)
  float shapeThreshold = 0.1f;   // a frame votes "fire" when its shape change reaches it
  float fireProbability = 0.8f;  // the alarm needs this fraction of fire votes in the window
  // Shape change: measured only when a picture has more hot pixels than this. Hot region: the
  // size a region must reach.
  int noiseSize = 225;
  int method = kShapeChange;
};

class InfraredDetector {
 public:
  // Builds the ring of frameInterval + 1 grey pictures (the first holds the frame thresholded:
  // 255 where its grey level is above the grey threshold) and an empty vote window of alarmWindow
  // frames; both keep these lengths until the next Initialise. A frame that is not 24-bit leaves
  // the detector empty: Step then does nothing.
  void Initialise(const Dib& frame, const InfraredParams& params);
  // True when the frame has the size the detector was built for and 24 bits.
  bool FrameMatches(const Dib& frame) const;
  int Width() const { return width_; }
  int Height() const { return height_; }

  // One frame. The grey picture (1000ths: 114 B + 587 G + 299 R), cleaned, goes into the ring
  // slot at the ring index, whose pixels are then exchanged with the bottom-left pane: the pane
  // shows the cleaned frame, the slot holds the cleaned picture the pane held. Shape change:
  // the top-right pane gets the cleaned difference of the slot after the index (older) and the
  // slot at it (newer), the shape change of the two is plotted into the bottom-right pane (when
  // 24-bit) and voted on, and the index advances. Hot region: the slot at the index is searched.
  // Returns the alarm flag. The top-right and bottom-left panes must be 8-bit pictures of the
  // frame's size (otherwise nothing happens and 0 is returned).
  uint8_t Step(const Dib& frame, Dib& topRight, Dib& bottomLeft, Dib& bottomRight,
               const InfraredParams& params);

  int RingSize() const { return static_cast<int>(ring_.size()); }
  int RingIndex() const { return ringIndex_; }
  const Dib& RingImage(int index) const { return ring_[index]; }
  int WindowLength() const { return static_cast<int>(window_.size()); }
  int Votes() const { return votes_; }
  float ShapeChange() const { return shapeChange_; }
  float FireProbability() const { return fireProbability_; }

 private:
  bool Fits(const Dib& image, int bitCount) const;

  int width_ = 0;
  int height_ = 0;
  std::vector<Dib> ring_;
  int ringIndex_ = 0;
  std::vector<uint8_t> window_;  // one vote (0 or 1) per frame
  int windowPosition_ = 0;
  int votes_ = 0;  // votes 1 in the window
  float shapeChange_ = 0.0f;
  float fireProbability_ = 0.0f;
  int chartCounter_ = 0;
  FloodWorkspace workspace_;
};

// Bytes a detector made on the heap holds after its Initialise for a width x height frame with
// these parameters.
size_t InfraredDetectorBytes(int width, int height, const InfraredParams& params);

}  // namespace fw
