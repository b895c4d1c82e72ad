#include "learn/modes/detection_windows.h"

#include <algorithm>

#include "core/draw.h"

namespace fw {

int BlockFlags::CountUnder(const WindowRect& rect) const {
  const int c0 = std::max(rect.left, 0) / kBlock;
  const int r0 = std::max(rect.top, 0) / kBlock;
  const int c1 = std::min((rect.right - 1) / kBlock, columns - 1);
  const int r1 = std::min((rect.bottom - 1) / kBlock, rows - 1);
  int count = 0;
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) count += flags[r * columns + c] != 0 ? 1 : 0;
  }
  return count;
}

bool BlockFlags::AnyUnder(const WindowRect& rect) const {
  return CountUnder(rect) > 0;
}

bool WindowList::Add(const WindowRect& rect) {
  if (Full()) return false;
  rects_[count_] = rect;
  status_[count_] = WindowStatus::Confirmed;
  ++count_;
  return true;
}

bool WindowList::Overlaps(int x, int y, int w, int h) const {
  const int qw = w / 4, qh = h / 4;
  const int half = w * h * 50 / 100;
  for (int i = 0; i < count_; ++i) {
    const WindowRect& r = rects_[i];
    if (!(x < r.right - qw && r.left + qw < x + w && y < r.bottom - qh && r.top + qh < y + h)) {
      continue;
    }
    // The intersection of the two: the nearer right edge less the farther left edge.
    const int iw = std::min(r.right, x + w) - std::max(r.left, x);
    const int ih = std::min(r.bottom, y + h) - std::max(r.top, y);
    if (iw * ih >= half) return true;
  }
  return false;
}

void WindowList::ConfirmByTouch() {
  constexpr int kReach = 2;
  for (int i = 0; i < count_; ++i) {
    const WindowRect& a = rects_[i];
    bool touched = false;
    for (int j = 0; j < count_ && !touched; ++j) {
      if (j == i) continue;
      const WindowRect& b = rects_[j];
      touched = a.left - kReach < b.right + kReach && b.left - kReach < a.right + kReach &&
                a.top - kReach < b.bottom + kReach && b.top - kReach < a.bottom + kReach;
    }
    status_[i] = touched ? WindowStatus::Confirmed : WindowStatus::Unconfirmed;
  }
}

void WindowList::ConfirmByOverlap(const BlockFlags& changed) {
  constexpr int kMargin = 2;
  for (int i = 0; i < count_; ++i) {
    const WindowRect& a = rects_[i];
    bool overlapped = false;
    for (int j = 0; j < count_ && !overlapped; ++j) {
      if (j == i) continue;
      const WindowRect& b = rects_[j];
      const int iw = std::min(a.right, b.right) - std::max(a.left, b.left);
      const int ih = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
      if (iw <= kMargin || ih <= kMargin) continue;
      const int smaller = std::min(a.Width(), b.Width()) * std::min(a.Height(), b.Height());
      overlapped = iw * ih * 100 >= smaller * 20;
    }
    const bool confirmed = overlapped && changed.AnyUnder(a);
    status_[i] = confirmed ? WindowStatus::Confirmed : WindowStatus::Unconfirmed;
  }
}

void WindowList::Outline(Dib& image) const {
  struct Colour {
    uint8_t red, green, blue;
  };
  // Indexed by status + 1: Refused, Unconfirmed, Confirmed.
  constexpr Colour kColours[3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
  for (int i = 0; i < count_; ++i) {
    const WindowRect& r = rects_[i];
    const Colour c = kColours[static_cast<int>(status_[i]) + 1];
    DrawRect(image, r.left, r.top, r.right - 1, r.bottom - 1, c.red, c.green, c.blue);
  }
}

}  // namespace fw
