#include "learn/modes/real_adaboost_detector.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/draw.h"
#include "core/text_stamp.h"
#include "learn/modes/pane_drawing.h"

namespace fw {

namespace {

// The displacements the motion mask inside a rectangle is matched over.
constexpr int kDisplacements[17][2] = {{0, 0},   {1, 0},  {2, 0},  {1, 1},  {2, 2},  {0, 1},
                                       {0, 2},   {-1, 1}, {-2, 2}, {-1, 0}, {-2, 0}, {-1, -1},
                                       {-2, -2}, {0, -1}, {0, -2}, {1, -1}, {2, -2}};
constexpr int kMatchArea = 2 * kWindowBase * 2 * kWindowBase;  // matches are scaled to 48 x 48
constexpr int kBorder = 2;

}  // namespace

int RealAdaBoostDetector::Sides(int height, std::array<int, 16>& sides) {
  if (height < kWindowBase) return 0;
  int side = kWindowBase;
  while (side * 2 <= height) side *= 2;
  int count = 0;
  for (; side > kWindowBase - 1; side /= 2) sides[count++] = side;
  return count;
}

void RealAdaBoostDetector::Build(const ClassifierSet& model, int width, int height) {
  width_ = width;
  height_ = height;
  sideCount_ = Sides(height, sides_);
  cascades_.clear();
  cascades_.resize(static_cast<size_t>(sideCount_));
  for (int k = 0; k < sideCount_; ++k) cascades_[k].Compile(model, {sides_[k], width});
  planes_ = WindowPlanes();
  const size_t blocks =
      static_cast<size_t>(width / BlockFlags::kBlock) * (height / BlockFlags::kBlock);
  for (std::vector<uint8_t>& map : changeRing_) map.assign(blocks, 0);
  changeCount_.assign(blocks, 0);
  changePosition_ = 0;
  const size_t pixels = static_cast<size_t>(width) * height;
  for (std::vector<int32_t>& d : difference_) d.assign(pixels, 0);
  for (std::vector<uint8_t>& m : mask_) m.assign(pixels, 0);
  current_ = 0;
  smoky_.fill(0);
  smokyPosition_ = 0;
}

uint64_t RealAdaBoostDetector::Bytes(int width, int height) {
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  const uint64_t blocks = static_cast<uint64_t>(width / 8) * (height / 8);
  return 2 * (sizeof(int32_t) + 1) * pixels + 4 * blocks;
}

uint64_t RealAdaBoostDetector::PlaneBytes(int width, int height) {
  // Two 32-bit and two 64-bit integral planes.
  return 24 * static_cast<uint64_t>(width) * height;
}

void RealAdaBoostDetector::Scan(const Dib& frame, WindowList& windows) {
  BuildWindowPlanes(frame, planes_);
  for (int k = 0; k < sideCount_; ++k) {
    const int e = sides_[k];
    const int step = e / 4;
    for (int y = 0; y <= height_ - e; y += step) {
      for (int x = 0; x <= width_ - e; x += step) {
        if (windows.Overlaps(x, y, e, e)) continue;
        const size_t origin = static_cast<size_t>(y) * width_ + x;
        if (!cascades_[k].Decide(planes_, origin).accepted) continue;
        windows.Add({x, y, x + e, y + e});
        if (windows.Full()) return;
      }
    }
  }
}

void RealAdaBoostDetector::CountChanges(const FrameHistory& history, Dib& bottomLeft) {
  const std::vector<uint8_t>& now = history.ChangeMap();
  std::vector<uint8_t>& recycled = changeRing_[changePosition_];
  const int columns = history.Columns();
  for (size_t b = 0; b < now.size(); ++b) {
    changeCount_[b] = static_cast<uint8_t>(changeCount_[b] + now[b] - recycled[b]);
    const int c = static_cast<int>(b) % columns, r = static_cast<int>(b) / columns;
    const int k = changeCount_[b];
    if (k > 0) {
      OutlineBlock(bottomLeft, c, r, static_cast<uint8_t>(85 * k), 0, 0);
    } else if (recycled[b] != 0) {
      OutlineBlock(bottomLeft, c, r, 0, 255, 0);
    }
    recycled[b] = now[b];
  }
  changePosition_ = (changePosition_ + 1) % 3;
}

void RealAdaBoostDetector::MotionMask(const FrameHistory& history, Dib& bottomRight) {
  const std::vector<int32_t>& before = difference_[current_];
  current_ ^= 1;
  std::vector<int32_t>& d = difference_[current_];
  std::vector<uint8_t>& mask = mask_[current_];
  // D needs the frame three back; its change needs the D of the frame before as well.
  const bool haveD = history.FramesSeen() >= FrameHistory::kFrames;
  const bool haveMotion = history.FramesSeen() > FrameHistory::kFrames;
  const int stride = history.Stride();
  for (int y = 0; y < height_; ++y) {
    const uint8_t* f1 = history.Previous() + static_cast<size_t>(y) * stride;
    const uint8_t* f3 = history.ThreeBack() + static_cast<size_t>(y) * stride;
    const size_t row = static_cast<size_t>(y) * width_;
    uint8_t* out = bottomRight.Row(y);
    for (int x = 0; x < width_; ++x, f1 += 3, f3 += 3, out += 3) {
      const int32_t v = haveD ? (f1[0] + f1[1] + f1[2]) - (f3[0] + f3[1] + f3[2]) : 0;
      d[row + x] = v;
      const bool moving = haveMotion && std::abs(v - before[row + x]) >= kMotionStep;
      mask[row + x] = moving ? 1 : 0;
      out[0] = moving ? 0 : 255;
      out[1] = moving ? 100 : 255;
      out[2] = moving ? 0 : 255;
    }
  }
}

int RealAdaBoostDetector::BestMotionMatch(const WindowRect& r) const {
  const std::vector<uint8_t>& now = mask_[current_];
  const std::vector<uint8_t>& before = mask_[current_ ^ 1];
  const int64_t area = r.Area();
  int64_t best = INT64_MAX;
  for (const auto& shift : kDisplacements) {
    int64_t sum = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      const uint8_t* a = now.data() + static_cast<size_t>(y) * width_;
      const uint8_t* b = before.data() + static_cast<size_t>(y + shift[1]) * width_ + shift[0];
      for (int x = r.left; x < r.right; ++x) sum += a[x] != b[x] ? 1 : 0;
    }
    best = std::min(best, sum * kMatchArea / area);
  }
  return static_cast<int>(best);
}

void RealAdaBoostDetector::CheckRectangles(const FrameHistory& history, WindowList& windows) const {
  const int n = windows.Count();
  const BlockFlags counted{changeCount_.data(), history.Columns(), history.Rows()};
  const bool dark = history.MeanIntensity() < kDarkFrame;
  for (int i = 0; i < n; ++i) {
    const bool confirmed = !dark && counted.CountUnder(windows.Rect(i)) >= 2;
    windows.SetStatus(i, confirmed ? WindowStatus::Confirmed : WindowStatus::Unconfirmed);
  }
  // A small rectangle stays confirmed only near another confirmed one: the larger of the centre
  // distances along x and y below half the two extents along that axis plus 12. The
  // neighbours are those confirmed before this check, so that the order does not matter.
  std::array<bool, WindowList::kCapacity> before{};
  for (int i = 0; i < n; ++i) before[i] = windows.Status(i) == WindowStatus::Confirmed;
  for (int i = 0; i < n; ++i) {
    const WindowRect& a = windows.Rect(i);
    if (!before[i] || a.Area() >= kSmokyArea) continue;
    int nearest = -1, nearestDistance = 0;
    bool alongX = true;
    for (int j = 0; j < n; ++j) {
      if (j == i || !before[j]) continue;
      const WindowRect& b = windows.Rect(j);
      // Doubled centre distances, to stay in integers.
      const int dx = std::abs((a.left + a.right) - (b.left + b.right));
      const int dy = std::abs((a.top + a.bottom) - (b.top + b.bottom));
      const int d = std::max(dx, dy);
      if (nearest < 0 || d < nearestDistance) {
        nearest = j;
        nearestDistance = d;
        alongX = dx >= dy;
      }
    }
    bool kept = false;
    if (nearest >= 0) {
      const WindowRect& b = windows.Rect(nearest);
      const int extents = alongX ? a.Width() + b.Width() : a.Height() + b.Height();
      kept = nearestDistance < extents + 2 * 12;
    }
    if (!kept) windows.SetStatus(i, WindowStatus::Unconfirmed);
  }
  for (int i = 0; i < n; ++i) {
    if (windows.Status(i) != WindowStatus::Confirmed) continue;
    const WindowRect& r = windows.Rect(i);
    const bool border = r.left < kBorder || r.top < kBorder || r.right > width_ - 1 - kBorder ||
                        r.bottom > height_ - 1 - kBorder;
    if (border || BestMotionMatch(r) < kRigidMatch) windows.SetStatus(i, WindowStatus::Refused);
  }
}

bool RealAdaBoostDetector::AfterScan(const Dib& frame, const FrameHistory& history,
                                     WindowList& windows, bool alarmShown, int frameNumber,
                                     Dib& topRight, Dib& bottomLeft, Dib& bottomRight) {
  CopyFramePixels(frame, bottomLeft);
  CountChanges(history, bottomLeft);
  MotionMask(history, bottomRight);
  CheckRectangles(history, windows);
  CopyFramePixels(frame, topRight);
  windows.Outline(topRight);
  if (alarmShown) StampAlarm(topRight, frameNumber);
  int covered = 0;
  for (int i = 0; i < windows.Count(); ++i) {
    if (windows.Status(i) == WindowStatus::Confirmed) covered += windows.Rect(i).Area();
  }
  smoky_[smokyPosition_] = covered > kSmokyArea ? 1 : 0;
  smokyPosition_ = (smokyPosition_ + 1) % kVoteFrames;
  const int votes = SmokyFrames();
  StampRate(bottomRight, 20 * votes);
  return votes >= kAlarmVotes;
}

int RealAdaBoostDetector::SmokyFrames() const {
  int votes = 0;
  for (const uint8_t s : smoky_) votes += s;
  return votes;
}

}  // namespace fw
