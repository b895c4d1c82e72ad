#include "workbench/cooccurrence.h"

#include <algorithm>
#include <cmath>

namespace fw {

namespace {

// The clamped rectangle, empty when nothing of it lies inside the plane.
IntRect Clamp(const IntRect& rect, int width, int height) {
  IntRect r{std::max(rect.x0, 0), std::max(rect.y0, 0), std::min(rect.x1, width),
            std::min(rect.y1, height)};
  if (r.x1 < r.x0) r.x1 = r.x0;
  if (r.y1 < r.y0) r.y1 = r.y0;
  return r;
}

// Which pixels take part: every one, those with a non-zero mask byte, or those whose byte in a
// label plane is the label.
struct Membership {
  const uint8_t* plane = nullptr;  // null: every pixel
  bool byLabel = false;
  uint8_t label = 0;
  bool operator()(const uint8_t* row, int x) const {
    return byLabel ? row[x] == label : row[x] != 0;
  }
};

// Visits every pair of 8-neighbours inside the rectangle once, as (direction, level of the pixel,
// level of its neighbour to the right or in the next row), pixels that are not members left out.
template <typename Add>
void ForEachPair(const uint8_t* levels, int stride, const Membership& member, int width,
                 const IntRect& r, Add add) {
  const uint8_t* mask = member.plane;
  for (int y = r.y0; y < r.y1; ++y) {
    const uint8_t* row = levels + static_cast<size_t>(y) * stride;
    const uint8_t* next = y + 1 < r.y1 ? row + stride : nullptr;
    const uint8_t* maskRow = mask ? mask + static_cast<size_t>(y) * width : nullptr;
    const uint8_t* maskNext = mask && next ? maskRow + width : nullptr;
    const auto in = [&](const uint8_t* m, int x) { return mask == nullptr || member(m, x); };
    for (int x = r.x0; x < r.x1; ++x) {
      if (!in(maskRow, x)) continue;
      const int a = row[x];
      if (x + 1 < r.x1 && in(maskRow, x + 1)) add(0, a, row[x + 1]);
      if (next == nullptr) continue;
      if (x + 1 < r.x1 && in(maskNext, x + 1)) add(1, a, next[x + 1]);
      if (in(maskNext, x)) add(2, a, next[x]);
      if (x - 1 >= r.x0 && in(maskNext, x - 1)) add(3, a, next[x - 1]);
    }
  }
}

// Each pair is met from both of its pixels: 2 for M[min][max]; then the lower triangle copies
// the upper one.
void Symmetric(const uint8_t* levels, int stride, const Membership& member, int width,
               const IntRect& r, CooccurrenceMatrices& matrices) {
  matrices.Clear();
  ForEachPair(levels, stride, member, width, r, [&](int d, int a, int b) {
    matrices.m[d][std::min(a, b) * kGreyLevels + std::max(a, b)] += 2;
  });
  for (auto& matrix : matrices.m) {
    for (int i = 1; i < kGreyLevels; ++i) {
      for (int j = 0; j < i; ++j) matrix[i * kGreyLevels + j] = matrix[j * kGreyLevels + i];
    }
  }
}

constexpr uint8_t kBand[3] = {216, 233, 236};  // blue, green, red

}  // namespace

void CooccurrenceMatrices::Clear() {
  for (auto& matrix : m) matrix.fill(0);
}

void AccumulateSymmetric(const uint8_t* levels, int stride, const uint8_t* mask, int width,
                         int height, CooccurrenceMatrices& matrices) {
  Symmetric(levels, stride, Membership{mask}, width, IntRect{0, 0, width, height}, matrices);
}

void AccumulateSymmetricLabel(const uint8_t* levels, int stride, const uint8_t* labels,
                              uint8_t label, int width, int height,
                              CooccurrenceMatrices& matrices) {
  Symmetric(levels, stride, Membership{labels, true, label}, width, IntRect{0, 0, width, height},
            matrices);
}

void AccumulateSymmetricRect(const uint8_t* levels, int stride, int width, int height,
                             const IntRect& rect, CooccurrenceMatrices& matrices) {
  Symmetric(levels, stride, Membership{}, width, Clamp(rect, width, height), matrices);
}

void AccumulateBlock(const uint8_t* levels, int stride, int width, int height, const IntRect& rect,
                     CooccurrenceMatrices& matrices) {
  matrices.Clear();
  // The pixel with level a and its neighbour with level b add M[b][a]; the neighbour, seen from
  // its own side, adds M[a][b].
  ForEachPair(levels, stride, Membership{}, width, Clamp(rect, width, height),
              [&](int d, int a, int b) {
                ++matrices.m[d][b * kGreyLevels + a];
                ++matrices.m[d][a * kGreyLevels + b];
              });
}

bool ComputeTextureScores(const CooccurrenceMatrices& matrices, TextureScores& out) {
  constexpr int L = kGreyLevels;
  std::array<int64_t, kDirections> totals{};
  for (int d = 0; d < kDirections; ++d) {
    for (const int32_t c : matrices.m[d]) totals[d] += c;
    if (totals[d] <= 1) return false;
  }
  const double logLevels = std::log(static_cast<double>(L) * L);
  for (int d = 0; d < kDirections; ++d) {
    const auto& m = matrices.m[d];
    const int64_t n = totals[d];
    int64_t rowSum = 0;
    int64_t columnSum = 0;
    for (int i = 0; i < L; ++i) {
      for (int j = 0; j < L; ++j) {
        rowSum += static_cast<int64_t>(i) * m[i * L + j];
        columnSum += static_cast<int64_t>(j) * m[i * L + j];
      }
    }
    const int64_t meanRow = rowSum / n;
    const int64_t meanColumn = columnSum / n;
    double varRow = 0, varColumn = 0, energy = 0, contrast = 0, mLogM = 0, correlation = 0;
    for (int i = 0; i < L; ++i) {
      for (int j = 0; j < L; ++j) {
        const double c = m[i * L + j];
        if (c == 0) continue;
        const double di = static_cast<double>(i - meanRow);
        const double dj = static_cast<double>(j - meanColumn);
        varRow += di * di * c;
        varColumn += dj * dj * c;
        energy += c * c;
        contrast += static_cast<double>((i - j) * (i - j)) * c;
        if (c > 1) mLogM += c * std::log(c);
        correlation += std::fabs(c * di * dj);
      }
    }
    const double nd = static_cast<double>(n);
    const double sigmas = std::sqrt(varRow / nd) * std::sqrt(varColumn / nd);
    const double e = energy / (nd * nd);
    const double con = (contrast / nd) / ((L - 1) * (L - 1));
    const double h = ((nd * std::log(nd) - mLogM) / nd) / logLevels;
    const double r = sigmas > 0 ? correlation / (nd * sigmas) : 0.0;
    out.measures[4 * d + 0] = static_cast<float>(e);
    out.measures[4 * d + 1] = static_cast<float>(con);
    out.measures[4 * d + 2] = static_cast<float>(h);
    out.measures[4 * d + 3] = static_cast<float>(r);
    out.scores[d] = static_cast<float>(0.45 * (1.0 - e) + 0.4 * con + 0.09 * h + 0.06 * r);
  }
  return true;
}

void ShowCooccurrence(const CooccurrenceMatrices& matrices, Dib& display, bool logScale) {
  constexpr int L = kGreyLevels;
  constexpr int kGap = 10;
  constexpr int kSide = 2 * L + kGap;
  if (!display.SameFormat(kSide, kSide, 24) || display.IsBottomUp()) {
    display.Create(kSide, kSide, 24, false);
  }
  for (int y = 0; y < kSide; ++y) {
    uint8_t* row = display.Row(y);
    for (int x = 0; x < kSide; ++x) std::copy(kBand, kBand + 3, row + 3 * x);
  }
  // The intensity of every count that a matrix can hold up to the cap.
  const double logCap = std::log(40.0);
  const auto intensity = [&](int32_t c) -> uint8_t {
    if (!logScale) return static_cast<uint8_t>(std::min<int64_t>(int64_t{c} * 255 / 40, 255));
    if (c <= 1) return 0;
    return static_cast<uint8_t>(std::min(std::log(static_cast<double>(c)) * 255 / logCap, 255.0));
  };
  for (int d = 0; d < kDirections; ++d) {
    const int left = (d % 2) * (L + kGap);
    const int top = (d / 2) * (L + kGap);
    for (int i = 0; i < L; ++i) {
      uint8_t* row = display.Row(top + i) + 3 * left;
      for (int j = 0; j < L; ++j) {
        const uint8_t v = intensity(matrices.At(d, i, j));
        row[3 * j] = 0;
        row[3 * j + 1] = v;
        row[3 * j + 2] = v;
      }
    }
  }
}

}  // namespace fw
