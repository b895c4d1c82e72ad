// Regions of a mask plane: removal of specks and small regions, filling of small holes, a test
// for a region of a given size, labelling of connected regions by size, and marking and tracing
// of a region's boundary. Planes are packed width x height bytes (no row padding) whose values
// carry meaning; several operations leave their markers in the plane for the next one, so the
// marker values below are fixed.
//
// Every flood is depth-first with an explicit stack: the pixel on top of the stack is examined,
// the first qualifying neighbour in the operation's order is pushed, and when none qualifies the
// stack is popped. The stacks live in a FloodWorkspace that grows to the largest plane it has
// seen and is reused from call to call, so a frame of an unchanged size allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"

namespace fw {

// Values in a mask plane.
inline constexpr uint8_t kMaskBackground = 0;
inline constexpr uint8_t kMaskUnprocessed = 1;      // foreground awaiting cleanup or thinning
inline constexpr uint8_t kFirstRegionLabel = 2;     // labels run 2..251
inline constexpr uint8_t kMaskVisited = 100;        // visited by a flood; thinning candidate
inline constexpr uint8_t kLargeBackground = 200;    // background part of a large region
inline constexpr uint8_t kBackgroundVisited = 201;  // background visited by a flood
inline constexpr uint8_t kBoundaryMark = 252;       // boundary pixel of the selected region
inline constexpr uint8_t kPassedMark = 253;         // boundary pixel already passed by the trace
inline constexpr uint8_t kContourMark = 254;        // pixel of the traced contour
inline constexpr uint8_t kMaskKept = 255;           // kept foreground; unlabelled foreground
inline constexpr int kMaxRegions = 250;             // keeps every label below the boundary marks

// Flood stacks and the list of visited pixels, sized to width x height entries once per size.
class FloodWorkspace {
 public:
  // Grows the arrays to hold `pixels` entries; does nothing when they are large enough.
  void Reserve(int pixels);
  int Capacity() const { return static_cast<int>(stackIndex_.size()); }

  // The arrays themselves (the flood stack as pixel index, x and y, and the visit list), for
  // operations that use them as point lists between floods.
  std::vector<int32_t>& StackIndex() { return stackIndex_; }
  std::vector<int32_t>& StackX() { return stackX_; }
  std::vector<int32_t>& StackY() { return stackY_; }
  std::vector<int32_t>& Visits() { return visits_; }
  // A byte plane for the threshold operations of 8-bit images.
  std::vector<uint8_t>& BytePlane() { return bytePlane_; }

 private:
  std::vector<int32_t> stackIndex_;
  std::vector<int32_t> stackX_;
  std::vector<int32_t> stackY_;
  std::vector<int32_t> visits_;
  std::vector<uint8_t> bytePlane_;
};

// --- cleanup of a plane of 0 (background) and 1 (foreground) ---

// Erases 4-connected specks of at most 16 pixels and fills 4-connected holes of at most 16
// pixels; the plane then holds 0 and 255 only. Returns width x height.
int RemoveSpecks(uint8_t* plane, int width, int height, FloodWorkspace& workspace);
// Keeps 8-connected regions of more than `minimum` pixels (as 255) and erases the others.
void RemoveSmallRegions(uint8_t* plane, int width, int height, int minimum,
                        FloodWorkspace& workspace);
// Fills 4-connected background regions of at most width x height / 4 pixels with 255.
// Returns width x height.
int FillHoles(uint8_t* plane, int width, int height, FloodWorkspace& workspace);
// True when some 4-connected region of 1-pixels has more than n pixels. Visited pixels are left
// at 100: the plane is consumed.
bool HasRegionOfSize(uint8_t* plane, int width, int height, int n, FloodWorkspace& workspace);

// 8-bit images: thresholds at t (>= t is foreground), removes specks and sets to 0 every pixel
// whose speck was erased. Pixels added by hole filling are not written back. Other depths are
// left unchanged.
void CleanThreshold(Dib& image, uint8_t threshold, FloodWorkspace& workspace);
// 8-bit images: HasRegionOfSize of the thresholded plane; false for other depths.
bool ThresholdHasRegion(const Dib& image, uint8_t threshold, int n, FloodWorkspace& workspace);

// --- boundaries ---

// Marks 252 every pixel of region `label` that lies on the image border or 4-touches the
// background, then drops the marks that touch no interior pixel of the region (spurs).
void MarkRegionBoundary(uint8_t* plane, int width, int height, uint8_t label);

// The regions of the last labelled plane, largest first, and the last traced contour.
class RegionSet {
 public:
  // Labels the 8-connected regions of the plane's non-zero pixels 2, 3, ... in raster order,
  // erasing regions of fewer than max(foreground / 128, 16) pushes; then sorts the record by
  // size, largest first. At 250 regions it says "区域太多,大于250" through the UI sink and stops,
  // leaving the remaining foreground at 255.
  void LabelRegions(uint8_t* plane, int width, int height);
  // As LabelRegions with a caller's minimum number of pushes in place of max(foreground / 128,
  // 16). (With that rule 250 regions can never all be large enough, so only a smaller minimum
  // reaches the limit.)
  void LabelRegionsWithMinimum(uint8_t* plane, int width, int height, int minimum);
  // Traces the 252 marks from the first one in raster order, marking passed pixels 253 and the
  // contour 254. At a dead end it backs out to the last branch point, dropping the points after
  // it; it ends beside the start once the contour has 12 points, at a dead end beside the start
  // (a small closed loop), or at a dead end with no branch point left. Returns the number of
  // contour points.
  int TraceBoundary(uint8_t* plane, int width, int height);

  int RegionCount() const { return regionCount_; }
  // Sizes (pushes after the seed) and labels of the recorded regions, largest first.
  std::span<const int32_t> RegionSizes() const { return {sizes_.data(), size_t(regionCount_)}; }
  std::span<const uint8_t> RegionLabels() const { return {labels_.data(), size_t(regionCount_)}; }

  int ContourCount() const { return contourCount_; }
  const int32_t* ContourX() const { return contourX_.data(); }
  const int32_t* ContourY() const { return contourY_.data(); }

  // The flood stacks, also for the cleanup operations run on the same frames.
  FloodWorkspace& Workspace() { return workspace_; }

 private:
  FloodWorkspace workspace_;
  int regionCount_ = 0;
  std::array<int32_t, kMaxRegions> sizes_{};
  std::array<uint8_t, kMaxRegions> labels_{};
  std::vector<int32_t> contourX_;
  std::vector<int32_t> contourY_;
  int contourCount_ = 0;
};

}  // namespace fw
