#include "detect/engines/region_tracks.h"

#include <algorithm>
#include <cmath>

#include "core/draw.h"
#include "detect/engines/block_motion.h"

namespace fw::engines {

void RegionTracks::Reset() {
  entries_.assign(static_cast<size_t>(kFrames) * kMaxRegions, Entry{});
  counts_.fill(0);
  current_ = 0;
  recorded_ = 0;
  highlighted_ = -1;
}

float RegionTracks::Agreement(int a, int b) {
  constexpr float kByDistance[5] = {1.0f, 0.8f, 0.2f, 0.1f, 0.0f};
  if (a < 1 || b < 1) return 0.0f;
  const int d = std::abs(a - b) % kCodeCount;
  return kByDistance[std::min(d, kCodeCount - d)];
}

float RegionTracks::Overlap(const Entry& a, const Entry& b) {
  const int w = std::min(a.c1, b.c1) - std::max(a.c0, b.c0) + 1;
  const int h = std::min(a.r1, b.r1) - std::max(a.r0, b.r0) + 1;
  if (w <= 0 || h <= 0) return 0.0f;
  const int areaA = (a.c1 - a.c0 + 1) * (a.r1 - a.r0 + 1);
  const int areaB = (b.c1 - b.c0 + 1) * (b.r1 - b.r0 + 1);
  return static_cast<float>(w * h) / static_cast<float>(areaA + areaB - w * h);
}

namespace {

float SizeRatio(const RegionTracks::Entry& a, const RegionTracks::Entry& b) {
  return static_cast<float>(std::min(a.size, b.size)) /
         static_cast<float>(std::max(a.size, b.size));
}

}  // namespace

void RegionTracks::Link(Entry& entry) const {
  // The region of an earlier frame that overlaps most (the most recent on ties).
  float best = 0.0f;
  int bestBack = 0;
  int bestIndex = -1;
  for (int back = 1; back < recorded_ && back < kFrames; ++back) {
    const int frame = (current_ - back + kFrames) % kFrames;
    for (int j = 0; j < counts_[frame]; ++j) {
      const float overlap = Overlap(entry, At(frame, j));
      if (overlap > best) {
        best = overlap;
        bestBack = back;
        bestIndex = j;
      }
    }
  }
  if (bestIndex < 0 || best < kMinOverlap) return;
  const Entry& earlier = At((current_ - bestBack + kFrames) % kFrames, bestIndex);
  if (Agreement(entry.code, earlier.code) > kMinAgreement &&
      SizeRatio(entry, earlier) >= kMinSizeRatio) {
    entry.back = bestBack;
    entry.previous = bestIndex;
    entry.length = earlier.length + 1;
  }
}

float RegionTracks::TrackScore(int region) const {
  const Entry& head = At(current_, region);
  if (head.length < kScoredLength) return kUnscored;
  // Mean displacement of the box centre along the track's direction, over the steps whose two
  // regions are of similar size, as far back as the records reach.
  const float ux = static_cast<float>(kCodeStepX[head.code]);
  const float uy = static_cast<float>(kCodeStepY[head.code]);
  const float norm = std::sqrt(ux * ux + uy * uy);
  float sum = 0.0f;
  int steps = 0;
  const Entry* newer = &head;
  int age = 0;
  while (newer->back > 0 && age + newer->back < kFrames && age + newer->back < recorded_) {
    age += newer->back;
    const Entry& older = At((current_ - age + kFrames) % kFrames, newer->previous);
    if (SizeRatio(*newer, older) >= kScoredSizeRatio) {
      const float dx = 0.5f * static_cast<float>(newer->c0 + newer->c1 - older.c0 - older.c1);
      const float dy = 0.5f * static_cast<float>(newer->r0 + newer->r1 - older.r0 - older.r1);
      sum += (dx * ux + dy * uy) / norm;
      ++steps;
    }
    newer = &older;
  }
  return steps > 0 ? sum / static_cast<float>(steps) : kUnscored;
}

void RegionTracks::Add(std::span<const uint8_t> labels, std::span<const uint8_t> codes, int columns,
                       int rows, int regionCount) {
  current_ = (current_ + 1) % kFrames;
  recorded_ = std::min(recorded_ + 1, kFrames);
  const int count = std::min(regionCount, kMaxRegions);
  counts_[current_] = count;
  Entry* entries = &At(current_, 0);
  std::array<std::array<int, kCodeCount + 1>, kMaxRegions> bins{};
  for (int i = 0; i < count; ++i) entries[i] = Entry{columns, rows, -1, -1, 0, 0, 0, -1, 1};
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const int index = r * columns + c;
      const int region = labels[index] - kFirstRegionLabel;
      if (region < 0 || region >= count) continue;
      Entry& e = entries[region];
      e.c0 = std::min(e.c0, c);
      e.r0 = std::min(e.r0, r);
      e.c1 = std::max(e.c1, c);
      e.r1 = std::max(e.r1, r);
      ++e.size;
      ++bins[region][std::min<int>(codes[index], kCodeCount)];
    }
  }
  for (int i = 0; i < count; ++i) {
    Entry& e = entries[i];
    for (int code = 1; code <= kCodeCount; ++code) {
      if (bins[i][code] > (e.code > 0 ? bins[i][e.code] : 0)) e.code = code;
    }
    Link(e);
  }
  highlighted_ = -1;
  for (int i = 0; i < count; ++i) {
    scores_[i] = TrackScore(i);
    if (scores_[i] < kUnscored && (highlighted_ < 0 || scores_[i] < scores_[highlighted_])) {
      highlighted_ = i;
    }
  }
}

void RegionTracks::Draw(Dib& image, int blockSize, std::span<const Rgb8, 256> labelColours) const {
  const auto centre = [blockSize](const Entry& e, int& x, int& y) {
    x = (e.c0 + e.c1 + 1) * blockSize / 2;
    y = (e.r0 + e.r1 + 1) * blockSize / 2;
  };
  for (int i = 0; i < counts_[current_]; ++i) {
    const Entry& head = At(current_, i);
    if (head.length < 2) continue;
    const Rgb8 colour =
        i == highlighted_ ? Rgb8{255, 255, 255} : labelColours[kFirstRegionLabel + i];
    DrawRect(image, head.c0 * blockSize, head.r0 * blockSize, (head.c1 + 1) * blockSize - 1,
             (head.r1 + 1) * blockSize - 1, colour.red, colour.green, colour.blue);
    const Entry* newer = &head;
    int age = 0;
    while (newer->back > 0 && age + newer->back < kFrames && age + newer->back < recorded_) {
      age += newer->back;
      const Entry& older = At((current_ - age + kFrames) % kFrames, newer->previous);
      int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
      centre(*newer, x0, y0);
      centre(older, x1, y1);
      DrawLine(image, x0, y0, x1, y1, colour.red, colour.green, colour.blue);
      newer = &older;
    }
  }
}

}  // namespace fw::engines
