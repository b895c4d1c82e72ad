// The regions of a foreground mask as the analysis operations see them: the mask is copied into a
// work plane (so that the mask itself, which may be a background model's, is never changed),
// cleaned, labelled by size, and the boundary of the largest region is marked and traced. The
// painted result shows the five largest regions, the boundary marks and the contour.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "core/regions.h"

namespace fw {

class RegionAnalysis {
 public:
  // Sizes the work planes and flood stacks for masks of width x height.
  void Allocate(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The work plane becomes the packed mask with every non-zero byte as 1.
  void Prepare(const uint8_t* mask);

  // Speck removal on the work plane, then the boundary of what is left: a non-zero pixel on the
  // image border or 4-touching the background is marked; a mark touching no unmarked foreground
  // pixel among its 8 neighbours is dropped. The display shows the source with the marks green.
  void MarkMaskBoundary(const Dib& source, Dib& display);

  // The region pipeline on the work plane: the cleanup (with `alternativeCleanup` the removal of
  // regions of up to 4 pixels and the filling of holes, else the speck removal), the labelling,
  // the boundary marks of the largest region and, when that region has more than 16 pixels, the
  // trace of its contour. Returns the number of contour points.
  int RunPipeline(bool alternativeCleanup);
  // Only the labelling of the work plane (largest region first). Returns the number of regions.
  int Label();
  // The source with the five largest regions painted blue, purple, magenta, cyan and white, the
  // boundary marks green, the passed marks light green and the contour red.
  void Paint(const Dib& source, Dib& display) const;

  const RegionSet& Regions() const { return regions_; }
  // The contour traced by the last pipeline run (none when it traced nothing).
  int ContourCount() const { return contourPoints_; }
  const int32_t* ContourX() const { return regions_.ContourX(); }
  const int32_t* ContourY() const { return regions_.ContourY(); }
  const uint8_t* Plane() const { return plane_.data(); }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> plane_;
  std::vector<uint8_t> marks_;
  RegionSet regions_;
  int contourPoints_ = 0;
};

}  // namespace fw
