#include "workbench/region_analysis.h"

#include <algorithm>
#include <array>

#include "workbench/displays.h"

namespace fw {

namespace {

struct PaintColour {
  bool on = false;
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
};

constexpr std::array<PaintColour, 5> kLargestRegions = {{
    {true, 255, 0, 0},      // blue
    {true, 255, 0, 134},    // purple
    {true, 255, 0, 255},    // magenta
    {true, 255, 255, 0},    // cyan
    {true, 255, 255, 255},  // white
}};

inline void SetPixel(uint8_t* pixel, const PaintColour& p) {
  pixel[0] = p.blue;
  pixel[1] = p.green;
  pixel[2] = p.red;
}

}  // namespace

void RegionAnalysis::Allocate(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  const size_t pixels = size_t(width_) * height_;
  plane_.assign(pixels, 0);
  marks_.assign(pixels, 0);
  regions_.Workspace().Reserve(static_cast<int>(pixels));
}

void RegionAnalysis::Prepare(const uint8_t* mask) {
  for (size_t i = 0; i < plane_.size(); ++i) plane_[i] = mask[i] != 0;
}

void RegionAnalysis::MarkMaskBoundary(const Dib& source, Dib& display) {
  const int w = width_;
  const int h = height_;
  uint8_t* plane = plane_.data();
  uint8_t* marks = marks_.data();
  RemoveSpecks(plane, w, h, regions_.Workspace());
  // 1: marked; 2: a mark dropped again (still counted as marked by its neighbours).
  std::fill(marks_.begin(), marks_.end(), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int i = y * w + x;
      if (plane[i] == 0) continue;
      const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      if (border || plane[i - 1] == 0 || plane[i + 1] == 0 || plane[i - w] == 0 ||
          plane[i + w] == 0) {
        marks[i] = 1;
      }
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int i = y * w + x;
      if (marks[i] == 0) continue;
      bool touchesInterior = false;
      for (int dy = -1; dy <= 1 && !touchesInterior; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx;
          const int ny = y + dy;
          if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const int n = ny * w + nx;
          if (plane[n] != 0 && marks[n] == 0) {
            touchesInterior = true;
            break;
          }
        }
      }
      if (!touchesInterior) marks[i] = 2;
    }
  }
  if (!CopyAsColour(source, display)) return;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = display.Row(y);
    for (int x = 0; x < w; ++x) {
      if (marks[y * w + x] == 1) SetPixel(row + 3 * x, {true, 0, 255, 0});
    }
  }
}

int RegionAnalysis::RunPipeline(bool alternativeCleanup) {
  uint8_t* plane = plane_.data();
  FloodWorkspace& workspace = regions_.Workspace();
  contourPoints_ = 0;
  if (alternativeCleanup) {
    RemoveSmallRegions(plane, width_, height_, 4, workspace);
    FillHoles(plane, width_, height_, workspace);
  } else {
    RemoveSpecks(plane, width_, height_, workspace);
  }
  regions_.LabelRegions(plane, width_, height_);
  if (regions_.RegionCount() == 0) return 0;
  MarkRegionBoundary(plane, width_, height_, regions_.RegionLabels()[0]);
  if (regions_.RegionSizes()[0] <= 16) return 0;
  contourPoints_ = regions_.TraceBoundary(plane, width_, height_);
  return contourPoints_;
}

int RegionAnalysis::Label() {
  contourPoints_ = 0;
  regions_.LabelRegions(plane_.data(), width_, height_);
  return regions_.RegionCount();
}

void RegionAnalysis::Paint(const Dib& source, Dib& display) const {
  if (!CopyAsColour(source, display)) return;
  std::array<PaintColour, 256> paint{};
  const int painted = std::min<int>(regions_.RegionCount(), kLargestRegions.size());
  for (int r = 0; r < painted; ++r) paint[regions_.RegionLabels()[r]] = kLargestRegions[r];
  paint[kBoundaryMark] = {true, 0, 255, 0};
  paint[kPassedMark] = {true, 169, 255, 0};
  paint[kContourMark] = {true, 0, 0, 255};
  const uint8_t* plane = plane_.data();
  for (int y = 0; y < height_; ++y) {
    uint8_t* row = display.Row(y);
    const uint8_t* p = plane + size_t(y) * width_;
    for (int x = 0; x < width_; ++x) {
      if (paint[p[x]].on) SetPixel(row + 3 * x, paint[p[x]]);
    }
  }
}

}  // namespace fw
