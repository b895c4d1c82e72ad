#include "detect/motion/motion_regions.h"

#include <algorithm>
#include <array>

#include "core/colour.h"

namespace fw {

namespace {

constexpr int kPaintedRegions = 5;
constexpr Rgb8 kRegionColours[kPaintedRegions] = {
    {0, 0, 255}, {134, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
constexpr Rgb8 kBoundaryColour = {0, 255, 0};
constexpr Rgb8 kPassedColour = {0, 255, 169};
constexpr Rgb8 kContourColour = {255, 0, 0};
// Regions of more pixels than this get their boundary traced.
constexpr int kTracedRegion = 16;

}  // namespace

void DrawMotionRegions(std::span<const uint8_t> mask, const Dib& frame, Dib& display,
                       RegionSet& regions, std::vector<uint8_t>& plane) {
  const int w = frame.Width();
  const int h = frame.Height();
  const size_t pixels = static_cast<size_t>(w) * h;
  if (frame.GetBitCount() != 24 || !display.SameFormat(w, h, 24) || mask.size() < pixels ||
      pixels == 0) {
    return;
  }
  plane.resize(pixels);
  for (size_t i = 0; i < pixels; ++i) plane[i] = mask[i] != 0 ? kMaskUnprocessed : 0;
  RemoveSpecks(plane.data(), w, h, regions.Workspace());
  regions.LabelRegions(plane.data(), w, h);
  if (regions.RegionCount() > 0) {
    MarkRegionBoundary(plane.data(), w, h, regions.RegionLabels()[0]);
    if (regions.RegionSizes()[0] > kTracedRegion) regions.TraceBoundary(plane.data(), w, h);
  }

  // Colour of each plane value; null keeps the frame's pixel.
  std::array<const Rgb8*, 256> colourOf{};
  const int painted = std::min(regions.RegionCount(), kPaintedRegions);
  for (int i = 0; i < painted; ++i) colourOf[regions.RegionLabels()[i]] = &kRegionColours[i];
  colourOf[kBoundaryMark] = &kBoundaryColour;
  colourOf[kPassedMark] = &kPassedColour;
  colourOf[kContourMark] = &kContourColour;
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = frame.Row(y);
    uint8_t* dst = display.Row(y);
    const uint8_t* p = plane.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const Rgb8* c = colourOf[p[x]];
      dst[3 * x] = c ? c->blue : src[3 * x];
      dst[3 * x + 1] = c ? c->green : src[3 * x + 1];
      dst[3 * x + 2] = c ? c->red : src[3 * x + 2];
    }
  }
}

}  // namespace fw
