// Projections of a mask onto its rows and columns: this frame's counts, a history of the last 64
// frames (a ring indexed by a frame counter modulo 64), and the pictures drawn from them: the two
// curves, the space-time pictures (plain and resampled to 64 x 64) and the averaged change
// between consecutive frames.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"

namespace fw {

inline constexpr int kHistorySlots = 64;
inline constexpr int kNoProjection = 30000;  // first and last row or column when none is set

class ProjectionHistory {
 public:
  // Sizes the history for masks of width x height (zeroed). The frame counter is kept.
  void Allocate(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Counts the non-zero bytes of each row and column of a packed width x height mask into this
  // frame's projections, and records the first and last non-empty row and column.
  void Measure(const uint8_t* mask);
  // Copies this frame's projections into the slot of the current counter.
  void Store();
  // The counter moves on to the next frame.
  void Advance() { ++counter_; }
  int Counter() const { return counter_; }

  std::span<const int32_t> Rows() const { return rows_; }
  std::span<const int32_t> Columns() const { return columns_; }
  int FirstRow() const { return firstRow_; }
  int LastRow() const { return lastRow_; }
  int FirstColumn() const { return firstColumn_; }
  int LastColumn() const { return lastColumn_; }
  // Slot s of the row history (height values) or column history (width values).
  const int32_t* RowSlot(int slot) const { return rowHistory_.data() + size_t(slot) * height_; }
  const int32_t* ColumnSlot(int slot) const {
    return columnHistory_.data() + size_t(slot) * width_;
  }
  // The whole row history, 64 slots of height values one after the other.
  const int32_t* RowHistory() const { return rowHistory_.data(); }

  // --- pictures; each is re-created when its format differs ---
  // The curves over a cleared 24-bit display of the mask's size (orientation `headerHeight`):
  // in each row y >= 1 with rows[y] > 0 a yellow segment from x = W - 1 - rows[y - 1] to
  // W - 1 - rows[y], in each column x >= 1 with columns[x] > 0 a blue segment from
  // y = columns[x - 1] - 1 to columns[x] - 1 (both clamped at 0).
  void DrawCurves(Dib& display, int headerHeight, std::span<const int32_t> rows,
                  std::span<const int32_t> columns) const;
  // Space-time picture (8-bit): with `rows`, 64 wide and H high, column j the row projection of
  // slot (j + counter) mod 64 as r x 255 / W; otherwise W wide and 64 high, row j the column
  // projection of that slot as c x 255 / H. With `normalised` each projection is resampled to 64
  // values (entry j at position j x (length - 1) / 63): a 64 x 64 picture.
  void DrawSpaceTime(Dib& display, bool rows, bool normalised) const;
  // The change of each row and column count between consecutive slots, averaged over the 63
  // pairs: (larger - smaller) x W / larger for rows (x H for columns), pairs whose larger count
  // is 0 left out; drawn as DrawCurves.
  void DrawChange(Dib& display, int headerHeight);

 private:
  int width_ = 0;
  int height_ = 0;
  int counter_ = 0;
  std::vector<int32_t> rows_;
  std::vector<int32_t> columns_;
  std::vector<int32_t> rowHistory_;
  std::vector<int32_t> columnHistory_;
  std::vector<int32_t> rowChange_;
  std::vector<int32_t> columnChange_;
  int firstRow_ = kNoProjection;
  int lastRow_ = kNoProjection;
  int firstColumn_ = kNoProjection;
  int lastColumn_ = kNoProjection;
};

}  // namespace fw
