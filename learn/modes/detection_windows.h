// The rectangles a classifier scan accepts in one frame (at most 200, each with a status), the
// overlap test that keeps a scan from accepting the same place twice, the two confirmations of
// rectangles by their neighbours, and their outlines in a result pane.
#pragma once

#include <array>
#include <cstdint>

#include "core/dib.h"

namespace fw {

// A rectangle of memory columns left..right - 1 and rows top..bottom - 1.
struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  int Area() const { return Width() * Height(); }
};

// A map of one flag per 8 x 8 block (columns x rows blocks, row by row).
struct BlockFlags {
  static constexpr int kBlock = 8;
  const uint8_t* flags = nullptr;
  int columns = 0;
  int rows = 0;
  // True when a block that the rectangle covers (in part) has its flag set.
  bool AnyUnder(const WindowRect& rect) const;
  // How many of those blocks have their flag set.
  int CountUnder(const WindowRect& rect) const;
};

// Status of a rectangle after the checks: confirmed, not confirmed, refused (7020's border and
// motion checks).
enum class WindowStatus : int8_t { Refused = -1, Unconfirmed = 0, Confirmed = 1 };

class WindowList {
 public:
  static constexpr int kCapacity = 200;

  void Clear() { count_ = 0; }
  int Count() const { return count_; }
  bool Full() const { return count_ == kCapacity; }
  // Appends a rectangle with status Confirmed; false (nothing kept) when the list is full.
  bool Add(const WindowRect& rect);
  const WindowRect& Rect(int i) const { return rects_[i]; }
  WindowStatus Status(int i) const { return status_[i]; }
  void SetStatus(int i, WindowStatus s) { status_[i] = s; }

  // True when the window (x, y, w, h) overlaps an accepted rectangle by more than a quarter of
  // its side along both axes and their intersection covers at least half the window.
  bool Overlaps(int x, int y, int w, int h) const;

  // Confirms a rectangle when another one touches it within 2 pixels (both widened by 2 on every
  // side overlap); the others become Unconfirmed.
  void ConfirmByTouch();
  // Confirms a rectangle when another one overlaps it by more than 2 pixels along both axes with
  // an intersection of at least 20 % of (smaller width x smaller height), and one of the 8 x 8
  // blocks under it changed colour in this frame; the others become Unconfirmed.
  void ConfirmByOverlap(const BlockFlags& changed);

  // Outlines every rectangle: Confirmed red, Unconfirmed green, Refused blue.
  void Outline(Dib& image) const;

 private:
  int count_ = 0;
  std::array<WindowRect, kCapacity> rects_{};
  std::array<WindowStatus, kCapacity> status_{};
};

}  // namespace fw
