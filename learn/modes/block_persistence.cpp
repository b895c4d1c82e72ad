#include "learn/modes/block_persistence.h"

#include <algorithm>

#include "core/draw.h"

namespace fw {

namespace {

// Label of a persistent block not yet visited, and of one visited in a discarded region.
constexpr uint8_t kUnvisited = 1;
constexpr uint8_t kDiscarded = 2;

// The fill's neighbour order: right, down-right, down, down-left, left, up-left, up, up-right.
constexpr int kSteps[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};

}  // namespace

void BlockPersistence::Build(int width, int height) {
  columns_ = width / kBlock;
  rows_ = height / kBlock;
  const size_t blocks = static_cast<size_t>(columns_) * rows_;
  score_.assign(blocks, 0.0f);
  label_.assign(blocks, 0);
  inside_.assign(blocks, 0);
  stack_.assign(blocks, 0);
  members_.assign(blocks, 0);
  position_ = 0;
  regions_ = 0;
  regionSizes_.fill(0);
  flags_.fill(0);
  raised_.fill(0);
}

uint64_t BlockPersistence::Bytes(int width, int height) {
  const uint64_t blocks = static_cast<uint64_t>(width / kBlock) * (height / kBlock);
  return blocks * (sizeof(float) + 2 + 2 * sizeof(int));
}

int BlockPersistence::Update(const WindowList& windows, int minRects) {
  // Count, per block, the confirmed rectangles its top-left corner (8 c, 8 r) lies in: the
  // corners inside [left, right) x [top, bottom) are those of columns ceil(left / 8) ..
  // (right - 1) / 8, and the same for rows.
  std::fill(inside_.begin(), inside_.end(), 0);
  for (int i = 0; i < windows.Count(); ++i) {
    if (windows.Status(i) != WindowStatus::Confirmed) continue;
    const WindowRect& w = windows.Rect(i);
    const int c0 = std::max((w.left + kBlock - 1) / kBlock, 0);
    const int c1 = std::min((w.right - 1) / kBlock, columns_ - 1);
    const int r0 = std::max((w.top + kBlock - 1) / kBlock, 0);
    const int r1 = std::min((w.bottom - 1) / kBlock, rows_ - 1);
    for (int r = r0; r <= r1; ++r) {
      uint8_t* row = inside_.data() + static_cast<size_t>(r) * columns_;
      for (int c = c0; c <= c1; ++c) row[c] = static_cast<uint8_t>(std::min(row[c] + 1, 255));
    }
  }
  int raised = 0;
  for (size_t b = 0; b < score_.size(); ++b) {
    float& p = score_[b];
    if (inside_[b] >= minRects) {
      p = 0.98f * p + 0.02f;
      ++raised;
    } else {
      p = 0.98f * p;
    }
  }
  return raised;
}

void BlockPersistence::Draw(Dib& pane) const {
  pane.Fill(255);
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      const float p = Score(c, r);
      uint8_t red = 255, green = 255, blue = 0;
      if (p < kPersistent) {
        red = blue = static_cast<uint8_t>(255.0f - 255.0f * p / kPersistent);
      }
      FillRect(pane, c * kBlock, r * kBlock, (c + 1) * kBlock - 1, (r + 1) * kBlock - 1, red, green,
               blue);
    }
  }
}

int BlockPersistence::FindRegions(Dib* pane) {
  const int blocks = columns_ * rows_;
  for (int i = 0; i < blocks; ++i) label_[i] = score_[i] >= kPersistent ? kUnvisited : 0;
  regions_ = 0;
  for (int start = 0; start < blocks && regions_ < kMaxRegions; ++start) {
    if (label_[start] != kUnvisited) continue;
    int pending = 0, size = 0;
    stack_[pending++] = start;
    label_[start] = kDiscarded;
    while (pending > 0) {
      const int b = stack_[--pending];
      members_[size++] = b;
      const int c = b % columns_, r = b / columns_;
      for (const auto& step : kSteps) {
        const int nc = c + step[0], nr = r + step[1];
        if (nc < 0 || nc >= columns_ || nr < 0 || nr >= rows_) continue;
        const int n = nr * columns_ + nc;
        if (label_[n] != kUnvisited) continue;
        label_[n] = kDiscarded;
        stack_[pending++] = n;
      }
    }
    const bool kept = size >= kSmallestRegion;
    if (kept) {
      const auto label = static_cast<uint8_t>(kFirstLabel + regions_);
      for (int k = 0; k < size; ++k) label_[members_[k]] = label;
      regionSizes_[regions_++] = size;
    }
    if (pane == nullptr) continue;
    for (int k = 0; k < size; ++k) {
      const int c = members_[k] % columns_, r = members_[k] / columns_;
      DrawRect(*pane, c * kBlock, r * kBlock, (c + 1) * kBlock - 1, (r + 1) * kBlock - 1,
               kept ? 255 : 0, 0, kept ? 0 : 255);
    }
  }
  return regions_;
}

int BlockPersistence::PushFlag(bool flag) {
  flags_[position_] = flag ? 1 : 0;
  int rate = 0;
  for (const uint8_t f : flags_) rate += f;
  return rate;
}

void BlockPersistence::RecentRaised(float& mean, float& variance) const {
  constexpr int kRecent = 10;
  float sum = 0.0f, squares = 0.0f;
  for (int k = 0; k < kRecent; ++k) {
    const float v = static_cast<float>(raised_[(position_ + kRing - k) % kRing]);
    sum += v;
    squares += v * v;
  }
  mean = sum / kRecent;
  variance = squares / kRecent - mean * mean;
}

}  // namespace fw
