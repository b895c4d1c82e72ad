#include "workbench/projections.h"

#include <algorithm>

#include "workbench/displays.h"

namespace fw {

void ProjectionHistory::Allocate(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  rows_.assign(height_, 0);
  columns_.assign(width_, 0);
  rowHistory_.assign(size_t(kHistorySlots) * height_, 0);
  columnHistory_.assign(size_t(kHistorySlots) * width_, 0);
  rowChange_.assign(height_, 0);
  columnChange_.assign(width_, 0);
  firstRow_ = lastRow_ = firstColumn_ = lastColumn_ = kNoProjection;
}

void ProjectionHistory::Measure(const uint8_t* mask) {
  std::fill(columns_.begin(), columns_.end(), 0);
  firstRow_ = lastRow_ = firstColumn_ = lastColumn_ = kNoProjection;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* row = mask + size_t(y) * width_;
    int count = 0;
    for (int x = 0; x < width_; ++x) {
      const int set = row[x] != 0;
      count += set;
      columns_[x] += set;
    }
    rows_[y] = count;
    if (count > 0) {
      if (firstRow_ == kNoProjection) firstRow_ = y;
      lastRow_ = y;
    }
  }
  for (int x = 0; x < width_; ++x) {
    if (columns_[x] == 0) continue;
    if (firstColumn_ == kNoProjection) firstColumn_ = x;
    lastColumn_ = x;
  }
}

void ProjectionHistory::Store() {
  const int slot = counter_ % kHistorySlots;
  std::copy(rows_.begin(), rows_.end(), rowHistory_.begin() + size_t(slot) * height_);
  std::copy(columns_.begin(), columns_.end(), columnHistory_.begin() + size_t(slot) * width_);
}

void ProjectionHistory::DrawCurves(Dib& display, int headerHeight, std::span<const int32_t> rows,
                                   std::span<const int32_t> columns) const {
  const int w = width_;
  const int h = height_;
  EnsureDisplay(display, w, headerHeight, 24);
  display.Clear();
  if (w <= 0 || h <= 0) return;
  for (int y = 1; y < h; ++y) {
    if (rows[y] <= 0) continue;
    const int a = std::clamp(w - 1 - rows[y - 1], 0, w - 1);
    const int b = std::clamp(w - 1 - rows[y], 0, w - 1);
    uint8_t* row = display.Row(y);
    for (int x = std::min(a, b); x <= std::max(a, b); ++x) {
      row[3 * x] = 0;
      row[3 * x + 1] = 255;
      row[3 * x + 2] = 255;
    }
  }
  for (int x = 1; x < w; ++x) {
    if (columns[x] <= 0) continue;
    const int a = std::clamp(columns[x - 1] - 1, 0, h - 1);
    const int b = std::clamp(columns[x] - 1, 0, h - 1);
    for (int y = std::min(a, b); y <= std::max(a, b); ++y) {
      uint8_t* pixel = display.Row(y) + 3 * x;
      pixel[0] = 255;
      pixel[1] = 0;
      pixel[2] = 0;
    }
  }
}

void ProjectionHistory::DrawSpaceTime(Dib& display, bool rows, bool normalised) const {
  const int length = rows ? height_ : width_;  // values of one projection
  const int scale = rows ? width_ : height_;   // the largest count a projection can hold
  const int values = normalised ? kHistorySlots : length;
  if (rows) {
    EnsureDisplay(display, kHistorySlots, values, 8);
  } else {
    EnsureDisplay(display, values, kHistorySlots, 8);
  }
  if (length == 0 || scale == 0) return;
  for (int j = 0; j < kHistorySlots; ++j) {
    const int slot = (j + counter_) % kHistorySlots;
    const int32_t* p = rows ? RowSlot(slot) : ColumnSlot(slot);
    for (int k = 0; k < values; ++k) {
      const int at = normalised ? k * (length - 1) / (kHistorySlots - 1) : k;
      const auto v = static_cast<uint8_t>(std::min(p[at] * 255 / scale, 255));
      if (rows) {
        display.Row(k)[j] = v;
      } else {
        display.Row(j)[k] = v;
      }
    }
  }
}

void ProjectionHistory::DrawChange(Dib& display, int headerHeight) {
  const auto average = [](const std::vector<int32_t>& history, int length, int scale,
                          std::vector<int32_t>& change) {
    for (int k = 0; k < length; ++k) {
      int64_t sum = 0;
      for (int s = 0; s + 1 < kHistorySlots; ++s) {
        const int32_t a = history[size_t(s) * length + k];
        const int32_t b = history[size_t(s + 1) * length + k];
        const int32_t larger = std::max(a, b);
        if (larger == 0) continue;
        sum += int64_t{larger - std::min(a, b)} * scale / larger;
      }
      change[k] = static_cast<int32_t>(sum / (kHistorySlots - 1));
    }
  };
  average(rowHistory_, height_, width_, rowChange_);
  average(columnHistory_, width_, height_, columnChange_);
  DrawCurves(display, headerHeight, rowChange_, columnChange_);
}

}  // namespace fw
