#include "core/regions.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>

#include "core/ui_sink.h"

namespace fw {

namespace {

struct Offset {
  int dx;
  int dy;
};

// Neighbour orders of the floods ("up" is the row before in memory).
constexpr std::array<Offset, 4> kRightUpLeftDown = {{{1, 0}, {0, -1}, {-1, 0}, {0, 1}}};
constexpr std::array<Offset, 8> kClockwiseFromRight = {
    {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}}};
// The boundary trace looks up-right first and turns clockwise.
constexpr std::array<Offset, 8> kClockwiseFromUpRight = {
    {{1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}}};

constexpr int kNoStopValue = -1;

struct FloodRule {
  uint8_t match;  // a pixel holding this value joins the flood
  uint8_t mark;   // written into every pixel that joins
  int stopValue;  // a neighbour holding this value stops the flood (kNoStopValue: none)
  int pushLimit;  // the flood stops once this many pixels beyond the seed have been pushed
};

struct FloodOutcome {
  int pushes = 0;        // pixels pushed after the seed; the visit list holds pushes + 1 pixels
  bool stopped = false;  // stopped by the limit or by a stop value rather than running out
};

// Depth-first flood from the seed: the pixel on top of the stack pushes its first qualifying
// neighbour in `order`, and is popped when it has none. Visited pixels are listed in the
// workspace's visit list.
template <size_t N>
FloodOutcome Flood(uint8_t* plane, int width, int height, int seedX, int seedY,
                   const FloodRule& rule, const std::array<Offset, N>& order,
                   FloodWorkspace& workspace) {
  assert(rule.match != rule.mark);
  int32_t* xs = workspace.StackX().data();
  int32_t* ys = workspace.StackY().data();
  int32_t* visits = workspace.Visits().data();
  const int seed = seedY * width + seedX;
  plane[seed] = rule.mark;
  xs[0] = seedX;
  ys[0] = seedY;
  visits[0] = seed;
  int top = 0;
  FloodOutcome outcome;
  while (top >= 0) {
    if (outcome.pushes >= rule.pushLimit) {
      outcome.stopped = true;
      return outcome;
    }
    const int x = xs[top];
    const int y = ys[top];
    bool pushed = false;
    for (const Offset o : order) {
      const int nx = x + o.dx;
      const int ny = y + o.dy;
      if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
      const int n = ny * width + nx;
      const uint8_t v = plane[n];
      if (v == rule.stopValue) {
        outcome.stopped = true;
        return outcome;
      }
      if (v == rule.match) {
        plane[n] = rule.mark;
        ++top;
        xs[top] = nx;
        ys[top] = ny;
        visits[++outcome.pushes] = n;
        pushed = true;
        break;
      }
    }
    if (!pushed) --top;
  }
  return outcome;
}

void RewriteVisits(uint8_t* plane, FloodWorkspace& workspace, int count, uint8_t value) {
  const int32_t* visits = workspace.Visits().data();
  for (int i = 0; i < count; ++i) plane[visits[i]] = value;
}

// Floods every pixel holding rule.match in raster order; a flood that stopped rewrites its
// pixels to `ifStopped`, one that ran out of pixels to `ifExhausted`.
template <size_t N>
void FloodEverySeed(uint8_t* plane, int width, int height, const FloodRule& rule,
                    const std::array<Offset, N>& order, uint8_t ifStopped, uint8_t ifExhausted,
                    FloodWorkspace& workspace) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (plane[y * width + x] != rule.match) continue;
      const FloodOutcome f = Flood(plane, width, height, x, y, rule, order, workspace);
      RewriteVisits(plane, workspace, f.pushes + 1, f.stopped ? ifStopped : ifExhausted);
    }
  }
}

void Replace(uint8_t* plane, int count, uint8_t from, uint8_t to) {
  for (int i = 0; i < count; ++i) plane[i] = plane[i] == from ? to : plane[i];
}

bool ValidPlane(const uint8_t* plane, int width, int height) {
  return plane != nullptr && width > 0 && height > 0;
}

// Packed plane of an 8-bit image: 1 where the pixel is at least the threshold, else 0.
void ThresholdPlane(const Dib& image, uint8_t threshold, std::vector<uint8_t>& plane) {
  const int w = image.Width();
  const int h = image.Height();
  plane.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = image.Row(y);
    uint8_t* dst = plane.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) dst[x] = src[x] >= threshold ? 1 : 0;
  }
}

}  // namespace

void FloodWorkspace::Reserve(int pixels) {
  if (pixels <= Capacity()) return;
  stackIndex_.resize(pixels);
  stackX_.resize(pixels);
  stackY_.resize(pixels);
  visits_.resize(pixels);
}

int RemoveSpecks(uint8_t* plane, int width, int height, FloodWorkspace& workspace) {
  if (!ValidPlane(plane, width, height)) return 0;
  const int count = width * height;
  workspace.Reserve(count);
  // Foreground: a flood of more than 16 pixels, or one that reaches kept foreground, is kept.
  FloodEverySeed(plane, width, height, {kMaskUnprocessed, kMaskVisited, kMaskKept, 16},
                 kRightUpLeftDown, kMaskKept, kMaskBackground, workspace);
  // Background: small holes are filled, large background is parked at 200 until the end.
  FloodEverySeed(plane, width, height, {kMaskBackground, kBackgroundVisited, kLargeBackground, 16},
                 kRightUpLeftDown, kLargeBackground, kMaskKept, workspace);
  Replace(plane, count, kLargeBackground, kMaskBackground);
  return count;
}

void RemoveSmallRegions(uint8_t* plane, int width, int height, int minimum,
                        FloodWorkspace& workspace) {
  if (!ValidPlane(plane, width, height)) return;
  workspace.Reserve(width * height);
  FloodEverySeed(plane, width, height, {kMaskUnprocessed, kMaskVisited, kMaskKept, minimum},
                 kClockwiseFromRight, kMaskKept, kMaskBackground, workspace);
}

int FillHoles(uint8_t* plane, int width, int height, FloodWorkspace& workspace) {
  if (!ValidPlane(plane, width, height)) return 0;
  const int count = width * height;
  workspace.Reserve(count);
  FloodEverySeed(plane, width, height,
                 {kMaskBackground, kBackgroundVisited, kLargeBackground, count / 4},
                 kRightUpLeftDown, kLargeBackground, kMaskKept, workspace);
  Replace(plane, count, kLargeBackground, kMaskBackground);
  return count;
}

bool HasRegionOfSize(uint8_t* plane, int width, int height, int n, FloodWorkspace& workspace) {
  if (!ValidPlane(plane, width, height)) return false;
  workspace.Reserve(width * height);
  const FloodRule rule{kMaskUnprocessed, kMaskVisited, kNoStopValue, n};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (plane[y * width + x] != kMaskUnprocessed) continue;
      if (Flood(plane, width, height, x, y, rule, kRightUpLeftDown, workspace).stopped) {
        return true;
      }
    }
  }
  return false;
}

void CleanThreshold(Dib& image, uint8_t threshold, FloodWorkspace& workspace) {
  if (image.GetBitCount() != 8 || image.Width() <= 0 || image.Height() <= 0) return;
  std::vector<uint8_t>& plane = workspace.BytePlane();
  ThresholdPlane(image, threshold, plane);
  const int w = image.Width();
  const int h = image.Height();
  RemoveSpecks(plane.data(), w, h, workspace);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image.Row(y);
    const uint8_t* cleaned = plane.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) row[x] = cleaned[x] == 0 ? 0 : row[x];
  }
}

bool ThresholdHasRegion(const Dib& image, uint8_t threshold, int n, FloodWorkspace& workspace) {
  if (image.GetBitCount() != 8 || image.Width() <= 0 || image.Height() <= 0) return false;
  std::vector<uint8_t>& plane = workspace.BytePlane();
  ThresholdPlane(image, threshold, plane);
  return HasRegionOfSize(plane.data(), image.Width(), image.Height(), n, workspace);
}

void MarkRegionBoundary(uint8_t* plane, int width, int height, uint8_t label) {
  if (!ValidPlane(plane, width, height)) return;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = plane + y * width;
    const bool edgeRow = y == 0 || y == height - 1;
    for (int x = 0; x < width; ++x) {
      if (row[x] != label) continue;
      if (edgeRow || x == 0 || x == width - 1 || row[x - 1] == 0 || row[x + 1] == 0 ||
          row[x - width] == 0 || row[x + width] == 0) {
        row[x] = kBoundaryMark;
      }
    }
  }
  // A mark survives only where it touches the region's interior.
  for (int y = 0; y < height; ++y) {
    uint8_t* row = plane + y * width;
    for (int x = 0; x < width; ++x) {
      if (row[x] != kBoundaryMark) continue;
      const bool touches = (x + 1 < width && row[x + 1] == label) ||
                           (y + 1 < height && row[x + width] == label) ||
                           (y > 0 && row[x - width] == label) || (x > 0 && row[x - 1] == label);
      if (!touches) row[x] = 0;
    }
  }
}

void RegionSet::LabelRegions(uint8_t* plane, int width, int height) {
  regionCount_ = 0;
  if (!ValidPlane(plane, width, height)) return;
  const int count = width * height;
  int foreground = 0;
  for (int i = 0; i < count; ++i) foreground += plane[i] != 0;
  LabelRegionsWithMinimum(plane, width, height, std::max(foreground / 128, 16));
}

void RegionSet::LabelRegionsWithMinimum(uint8_t* plane, int width, int height, int minimum) {
  regionCount_ = 0;
  if (!ValidPlane(plane, width, height)) return;
  const int count = width * height;
  workspace_.Reserve(count);
  for (int i = 0; i < count; ++i) plane[i] = plane[i] != 0 ? kMaskKept : 0;

  int label = kFirstRegionLabel;
  bool full = false;
  for (int y = 0; y < height && !full; ++y) {
    for (int x = 0; x < width; ++x) {
      if (plane[y * width + x] != kMaskKept) continue;
      const FloodRule rule{kMaskKept, static_cast<uint8_t>(label), kNoStopValue, INT_MAX};
      const FloodOutcome f =
          Flood(plane, width, height, x, y, rule, kClockwiseFromRight, workspace_);
      if (f.pushes < minimum) {
        RewriteVisits(plane, workspace_, f.pushes + 1, kMaskBackground);
        continue;
      }
      sizes_[regionCount_] = f.pushes;
      labels_[regionCount_] = static_cast<uint8_t>(label);
      ++regionCount_;
      ++label;
      if (regionCount_ == kMaxRegions) {
        CurrentUiSink().Message("区域太多,大于250", "", MessageButtons::OkCancel);
        full = true;
        break;
      }
    }
  }
  // Largest first, equal sizes in raster order. Also done when the limit cut the scan short, so
  // that the first label is always the largest region.
  for (int i = 1; i < regionCount_; ++i) {
    const int32_t size = sizes_[i];
    const uint8_t lab = labels_[i];
    int j = i;
    for (; j > 0 && sizes_[j - 1] < size; --j) {
      sizes_[j] = sizes_[j - 1];
      labels_[j] = labels_[j - 1];
    }
    sizes_[j] = size;
    labels_[j] = lab;
  }
}

int RegionSet::TraceBoundary(uint8_t* plane, int width, int height) {
  contourCount_ = 0;
  if (!ValidPlane(plane, width, height)) return 0;
  const int count = width * height;
  workspace_.Reserve(count);
  if (static_cast<int>(contourX_.size()) < count) {
    contourX_.resize(count);
    contourY_.resize(count);
  }
  const uint8_t* first = std::find(plane, plane + count, kBoundaryMark);
  if (first == plane + count) return 0;
  const int startX = static_cast<int>(first - plane) % width;
  const int startY = static_cast<int>(first - plane) / width;

  // Contour positions where more than one way on was open, most recent on top.
  int32_t* branches = workspace_.StackIndex().data();
  int branchCount = 0;
  int points = 0;
  int x = startX;
  int y = startY;
  plane[y * width + x] = kPassedMark;
  contourX_[points] = x;
  contourY_[points] = y;
  ++points;
  for (;;) {
    int ways = 0;
    int nextX = 0;
    int nextY = 0;
    for (const Offset o : kClockwiseFromUpRight) {
      const int nx = x + o.dx;
      const int ny = y + o.dy;
      if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
      if (plane[ny * width + nx] != kBoundaryMark) continue;
      if (ways++ == 0) {
        nextX = nx;
        nextY = ny;
      }
    }
    if (ways == 0) {
      // A dead end beside the start closes the loop: backing out to a branch point now would
      // throw away a whole small contour (fewer than 12 points) for nothing.
      const bool closed = points >= 4 && std::abs(x - startX) <= 1 && std::abs(y - startY) <= 1;
      if (closed || branchCount == 0) break;
      points = branches[--branchCount] + 1;
      x = contourX_[points - 1];
      y = contourY_[points - 1];
      continue;
    }
    if (ways > 1) branches[branchCount++] = points - 1;
    x = nextX;
    y = nextY;
    plane[y * width + x] = kPassedMark;
    contourX_[points] = x;
    contourY_[points] = y;
    ++points;
    if (points >= 12 && std::abs(x - startX) <= 1 && std::abs(y - startY) <= 1) break;
  }
  for (int i = 0; i < points; ++i) plane[contourY_[i] * width + contourX_[i]] = kContourMark;
  contourCount_ = points;
  return points;
}

}  // namespace fw
