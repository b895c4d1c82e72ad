#include "learn/haar/haar_detector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/draw.h"
#include "core/input_file.h"

namespace fw {

float LowerAsFloat(const HaarRecord& r) {
  return std::bit_cast<float>(r.lower);
}

int32_t LowerAsPolarity(const HaarRecord& r) {
  return std::bit_cast<int32_t>(r.lower);
}

namespace {

inline bool IntervalYes(float v, float t1, float t2) {
  return t2 <= t1 ? (t2 <= v && v < t1) : (v < t1 || v >= t2);
}

// p v < p T1 decided by the sign of p, so that no product can overflow or round.
inline bool PolarityYes(float v, float t1, int32_t p) {
  return p > 0 ? v < t1 : (p < 0 && v > t1);
}

}  // namespace

bool HaarWeakYes(HaarReading reading, const HaarRecord& r, float v) {
  return reading == HaarReading::Interval ? IntervalYes(v, r.threshold, LowerAsFloat(r))
                                          : PolarityYes(v, r.threshold, LowerAsPolarity(r));
}

int HaarModel::StageCount() const {
  int s = 0;
  while (s < kMaxStages && stageSizes[s] != 0) ++s;
  return s;
}

int HaarModel::RecordsInStages() const {
  int n = 0;
  for (int s = 0; s < StageCount(); ++s) n += stageSizes[s];
  return n;
}

namespace {

constexpr size_t kMaxFileBytes =
    8 + 4 * HaarModel::kMaxStages + sizeof(HaarRecord) * HaarModel::kMaxRecords;

int32_t ReadInt(std::string_view bytes, size_t at) {
  int32_t v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

// 10, then 4/3 of the previous while the total is below `total`, the last cut to the total;
// entries after the rebuilt ones keep what the file gave them.
void RebuildByGrowth(std::array<int32_t, HaarModel::kMaxStages>& sizes, int total) {
  int size = 10, sum = 10, s = 0;
  sizes[0] = 10;
  while (sum < total && s + 1 < HaarModel::kMaxStages) {
    size = 4 * size / 3;
    sizes[++s] = size;
    sum += size;
  }
  sizes[s] += total - sum;
}

// A rectangle pattern of the window family (no means or variances) inside the base window.
bool IsHaarFeature(const HaarRecord& r) {
  const int pattern =
      r.featureCode > kRangeCodeOffset ? r.featureCode - kRangeCodeOffset : r.featureCode;
  return pattern >= 11 && IsWindowCode(r.featureCode, WindowForm::Float) && r.x >= 0 && r.y >= 0 &&
         r.w >= 1 && r.h >= 1 && r.x <= kWindowBase - r.w && r.y <= kWindowBase - r.h;
}

}  // namespace

Result ParseHaarFile(std::string_view bytes, const std::string& path, HaarModel& model) {
  auto fail = [&path](const std::string& problem) { return Result::Error(path + ": " + problem); };
  if (bytes.size() < 8) {
    return fail("too short for a Haar detector file (" + std::to_string(bytes.size()) + " bytes)");
  }
  const int32_t s = ReadInt(bytes, 0);
  const int32_t n = ReadInt(bytes, 4);
  if (s < 0 || s > HaarModel::kMaxStages) {
    return fail("holds " + std::to_string(s) + " stages; at most 20 fit the detector");
  }
  if (n < 0 || n > HaarModel::kMaxRecords) {
    return fail("holds " + std::to_string(n) + " weak records; at most 1000 fit the detector");
  }
  const size_t expected = 8 + 4 * static_cast<size_t>(s) + sizeof(HaarRecord) * n;
  if (bytes.size() != expected) {
    return fail(std::to_string(s) + " stages and " + std::to_string(n) + " weak records need " +
                std::to_string(expected) + " bytes, the file has " + std::to_string(bytes.size()));
  }
  HaarModel m;
  for (int k = 0; k < s; ++k) {
    m.stageSizes[k] = ReadInt(bytes, 8 + 4 * k);
    if (m.stageSizes[k] < 0 || m.stageSizes[k] > HaarModel::kMaxRecords) {
      return fail("stage " + std::to_string(k + 1) + " has " + std::to_string(m.stageSizes[k]) +
                  " weak records");
    }
  }
  m.records.resize(static_cast<size_t>(n));
  std::memcpy(m.records.data(), bytes.data() + 8 + 4 * s, sizeof(HaarRecord) * n);
  RebuildByGrowth(m.stageSizes, m.stageSizes[0]);
  const int used = m.RecordsInStages();
  if (used > n) {
    return fail("its stages use " + std::to_string(used) + " weak records but it holds " +
                std::to_string(n));
  }
  for (int k = 0; k < used; ++k) {
    const HaarRecord& r = m.records[k];
    if (!IsHaarFeature(r)) {
      return fail("weak record " + std::to_string(k + 1) + " (feature code " +
                  std::to_string(r.featureCode) + ", rectangle " + std::to_string(r.x) + "," +
                  std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h) +
                  ") is no rectangle feature of the 24 x 24 window");
    }
    if (!std::isfinite(r.alpha) || std::isnan(r.threshold)) {
      return fail("weak record " + std::to_string(k + 1) + " has no usable threshold or weight");
    }
  }
  model = std::move(m);
  return Result::Ok();
}

Result LoadHaarFile(const std::string& path, HaarModel& model) {
  if (Result r = CheckInputFile(path); !r) return r.In(path);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return Result::Error(path + ": " + ec.message());
  if (size > kMaxFileBytes) return Result::Error(path + ": is longer than any Haar detector file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Result::Error(path + ": cannot open the Haar detector file");
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.gcount() != static_cast<std::streamsize>(bytes.size())) {
    return Result::Error(path + ": cannot read the Haar detector file");
  }
  return ParseHaarFile(bytes, path, model);
}

std::string HaarFileBytes(std::span<const HaarRecord> records) {
  const int32_t n = static_cast<int32_t>(records.size());
  const int32_t head[3] = {1, n, n};
  std::string out(reinterpret_cast<const char*>(head), sizeof head);
  out.append(reinterpret_cast<const char*>(records.data()), records.size_bytes());
  return out;
}

int HaarWindowSides(int height, std::span<int> out) {
  int n = 0;
  for (int c = height; c > 23 && n < static_cast<int>(out.size()); c = c * 4 / 5) out[n++] = c;
  return n;
}

// --- set-up -------------------------------------------------------------------------------

Result HaarDetector::SetUp(const Dib& frame, const std::string& path, HaarReading reading) {
  HaarModel model;
  if (Result r = LoadHaarFile(path, model); !r) return r;
  SetUp(frame, std::move(model), reading);
  return Result::Ok();
}

void HaarDetector::SetUp(const Dib& frame, HaarModel model, HaarReading reading) {
  *this = HaarDetector();
  reading_ = reading;
  model_ = std::move(model);
  stages_ = model_.StageCount();
  const int used = model_.RecordsInStages();
  weak_.resize(static_cast<size_t>(used));
  int first = 0;
  for (int s = 0; s < stages_; ++s) {
    firstRecord_[s] = first;
    const int end = first + model_.stageSizes[s];
    float total = 0.0f;
    bool nonNegative = true;
    for (int k = first; k < end; ++k) {
      const HaarRecord& r = model_.records[k];
      weak_[k] = {r.threshold, LowerAsFloat(r), LowerAsPolarity(r), r.alpha, 0.0};
      total += r.alpha;
      nonNegative = nonNegative && r.alpha >= 0.0f;
    }
    double rest = 0.0;
    for (int k = end - 1; k >= first; --k) {
      weak_[k].rest = rest;
      rest += weak_[k].alpha;
    }
    bar_[s] = kStageRatio * total;
    early_[s] = nonNegative;
    first = end;
  }
  firstRecord_[stages_] = first;
  if (frame.GetBitCount() != 24 || frame.Width() < 1 || frame.Height() < 1) return;
  width_ = frame.Width();
  height_ = frame.Height();
  scales_ = HaarWindowSides(height_, sides_);
  resolved_.resize(static_cast<size_t>(scales_) * used);
  planes_.grey.Resize(width_, height_);
  planes_.greySquare.Resize(width_, height_);
  planes_.range.Resize(width_, height_);
  planes_.rangeSquare.Resize(width_, height_);
  for (int k = 0; k < kRing; ++k) {
    greyRing_[k].Resize(width_, height_);
    rangeRing_[k].Resize(width_, height_);
  }
  const size_t blocks = static_cast<size_t>(width_ / kBlock) * (height_ / kBlock);
  changeMap_.assign(blocks, 0);
  persistence_.assign(blocks, 0);
  inside_.assign(blocks, 0);
}

size_t HaarDetector::Bytes(int width, int height, uint64_t fileBytes) {
  const size_t pixels = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
  const size_t records = static_cast<size_t>(fileBytes / sizeof(HaarRecord));
  std::array<int, kMaxScales> sides{};
  const size_t scales = static_cast<size_t>(HaarWindowSides(height, sides));
  const size_t blocks = static_cast<size_t>(width / kBlock) * (height / kBlock);
  return pixels * (2 * sizeof(uint32_t) + 2 * sizeof(uint64_t)) +  // the frame's planes
         pixels * 2 * kRing * sizeof(uint32_t) +                   // the rings
         3 * blocks +                                              // change, persistence, scratch
         fileBytes + records * (sizeof(HaarRecord) + sizeof(Weak)) +
         scales * records * sizeof(ResolvedWindowFeature);
}

bool HaarDetector::FrameMatches(const Dib& frame) const {
  return width_ > 0 && frame.GetBitCount() == 24 && frame.Width() == width_ &&
         frame.Height() == height_;
}

// --- scan ---------------------------------------------------------------------------------

void HaarDetector::ResolveUpTo(int scale, int stage) {
  const int used = firstRecord_[stages_];
  ResolvedWindowFeature* out = resolved_.data() + static_cast<size_t>(scale) * used;
  for (int k = firstRecord_[resolvedStages_[scale]]; k < firstRecord_[stage + 1]; ++k) {
    const HaarRecord& r = model_.records[k];
    out[k] = ResolveWindowFeature(r.featureCode, r.x, r.y, r.w, r.h, sides_[scale], width_,
                                  WindowForm::Float);
  }
  resolvedStages_[scale] = stage + 1;
}

template <HaarReading R>
bool HaarDetector::AcceptsAs(int scale, size_t origin) {
  const ResolvedWindowFeature* features =
      resolved_.data() + static_cast<size_t>(scale) * firstRecord_[stages_];
  for (int s = 0; s < stages_; ++s) {
    if (resolvedStages_[scale] <= s) ResolveUpTo(scale, s);
    const int first = firstRecord_[s], end = firstRecord_[s + 1];
    auto yes = [&](int k) {
      const float v = WindowValueFloat(planes_, features[k], origin);
      if constexpr (R == HaarReading::Interval) {
        return IntervalYes(v, weak_[k].t1, weak_[k].t2);
      } else {
        return PolarityYes(v, weak_[k].t1, weak_[k].polarity);
      }
    };
    float v = 0.0f;
    if (!early_[s]) {
      float total = 0.0f;
      for (int k = first; k < end; ++k) {
        total += weak_[k].alpha;
        if (yes(k)) v += weak_[k].alpha;
      }
      if (!(v >= kStageRatio * total)) return false;
      continue;
    }
    // The yes-weights only grow: the stage passes once they reach the bar and fails once even
    // all the weights left could not lift them there (with a margin for the rounding of the sum).
    bool passes = v >= bar_[s];
    for (int k = first; k < end && !passes; ++k) {
      if (yes(k)) v += weak_[k].alpha;
      if (v >= bar_[s]) {
        passes = true;
      } else if ((v + weak_[k].rest) * 1.0001 < bar_[s]) {
        break;
      }
    }
    if (!passes) return false;
  }
  return true;
}

void HaarDetector::BuildPlanes(const Dib& frame) {
  BuildWindowPlanes(frame, planes_);
}

bool HaarDetector::Accepts(int scale, int x, int y) {
  const size_t origin = static_cast<size_t>(y) * width_ + x;
  return reading_ == HaarReading::Interval ? AcceptsAs<HaarReading::Interval>(scale, origin)
                                           : AcceptsAs<HaarReading::Polarity>(scale, origin);
}

bool HaarDetector::Overlaps(int x, int y, int side) const {
  const int w = side, h = side;
  for (int k = 0; k < count_; ++k) {
    const HaarRect& a = rects_[k];
    if (x < a.right - w / 4 && a.left + w / 4 < x + w && y < a.bottom - h / 4 &&
        a.top + h / 4 < y + h &&
        // The intersection of the two: the nearer right edge less the farther left edge (the
        // nearer left edge would count the whole window and make the half-area test void).
        static_cast<int64_t>(std::min(a.right, x + w) - std::max(a.left, x)) *
                (std::min(a.bottom, y + h) - std::max(a.top, y)) >=
            static_cast<int64_t>(w) * h * 50 / 100) {
      return true;
    }
  }
  return false;
}

int HaarDetector::Scan(const Dib& frame) {
  count_ = 0;
  if (!FrameMatches(frame)) return 0;
  BuildPlanes(frame);
  for (int s = 0; s < scales_; ++s) {
    const int c = sides_[s], step = c / 4;
    for (int y = 0; y <= height_ - c; y += step) {
      for (int x = 0; x <= width_ - c; x += step) {
        if (Overlaps(x, y, c) || !Accepts(s, x, y)) continue;
        rects_[count_] = {x, y, x + c, y + c};
        confirmed_[count_] = 1;
        if (++count_ == kMaxRects) return count_;
      }
    }
  }
  return count_;
}

// --- rings, change and persistence ------------------------------------------------------------

void HaarDetector::RotateRings() {
  if (width_ == 0) return;
  planes_.grey.values.swap(greyRing_[ringPosition_].values);
  planes_.range.values.swap(rangeRing_[ringPosition_].values);
  ringPosition_ = (ringPosition_ + 1) % kRing;
}

void HaarDetector::BlockChange() {
  if (width_ == 0) return;
  const int current = (ringPosition_ + kRing - 1) % kRing;
  const int previous = (ringPosition_ + kRing - 2) % kRing;
  const uint32_t* g1 = greyRing_[current].values.data();
  const uint32_t* g0 = greyRing_[previous].values.data();
  const uint32_t* r1 = rangeRing_[current].values.data();
  const uint32_t* r0 = rangeRing_[previous].values.data();
  const int columns = width_ / kBlock, rows = height_ / kBlock;
  const BoxOffsets box = ResolveRect(0, 0, kBlock, kBlock, width_);
  // (8 x 8 - 8)(8 - 1) / 10 and (8 - 1)(3 x 8 - 3) / 10
  constexpr int64_t kGreyStep = (kBlock * kBlock - kBlock) * (kBlock - 1) / 10;
  constexpr int64_t kRangeStep = (kBlock - 1) * (3 * kBlock - 3) / 10;
  for (int by = 0; by < rows; ++by) {
    for (int bx = 0; bx < columns; ++bx) {
      const size_t origin = static_cast<size_t>(by * kBlock) * width_ + bx * kBlock;
      const int64_t dg = static_cast<int64_t>(BoxSum(g1 + origin, box)) - BoxSum(g0 + origin, box);
      const int64_t dr = static_cast<int64_t>(BoxSum(r1 + origin, box)) - BoxSum(r0 + origin, box);
      changeMap_[by * columns + bx] =
          static_cast<uint8_t>((std::abs(dg) >= kGreyStep ? kGreyChanged : 0) |
                               (std::abs(dr) >= kRangeStep ? kRangeChanged : 0));
    }
  }
}

void HaarDetector::ConfirmRects() {
  const int columns = width_ / kBlock, rows = height_ / kBlock;
  for (int k = 0; k < count_; ++k) {
    const HaarRect& r = rects_[k];
    int changed = 0;
    for (int by = r.top / kBlock; by <= std::min((r.bottom - 1) / kBlock, rows - 1); ++by) {
      for (int bx = r.left / kBlock; bx <= std::min((r.right - 1) / kBlock, columns - 1); ++bx) {
        changed += changeMap_[by * columns + bx] != 0 ? 1 : 0;
      }
    }
    confirmed_[k] = changed >= 2 ? 1 : 0;
  }
}

void HaarDetector::UpdatePersistence(bool all) {
  if (width_ == 0) return;
  const int columns = width_ / kBlock, rows = height_ / kBlock;
  std::fill(inside_.begin(), inside_.end(), 0);
  constexpr int kHalf = kBlock / 2;
  for (int k = 0; k < count_; ++k) {
    if (!all && !confirmed_[k]) continue;
    const HaarRect& r = rects_[k];
    // Blocks whose centre 8 b + 4 lies in [left, right) and [top, bottom).
    const int bx0 = std::max((r.left - kHalf + kBlock - 1) / kBlock, 0);
    const int by0 = std::max((r.top - kHalf + kBlock - 1) / kBlock, 0);
    const int bx1 = std::min((r.right - 1 - kHalf) / kBlock, columns - 1);
    const int by1 = std::min((r.bottom - 1 - kHalf) / kBlock, rows - 1);
    for (int by = by0; by <= by1; ++by) {
      std::fill(inside_.begin() + by * columns + bx0, inside_.begin() + by * columns + bx1 + 1,
                uint8_t{1});
    }
  }
  for (size_t b = 0; b < persistence_.size(); ++b) {
    persistence_[b] = static_cast<uint8_t>((255 * inside_[b] + 99 * persistence_[b]) / 100);
  }
}

// --- drawing ------------------------------------------------------------------------------

void HaarDetector::DrawChange(Dib& view, const Dib& frame) const {
  if (!FrameMatches(frame) || !view.SameFormat(frame)) return;
  view.CopyFrom(frame, true);
  struct Colour {
    uint8_t red, green, blue;
  };
  // Indexed by the change bits: none, grey only, range only, both.
  constexpr Colour kByChange[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  const int columns = width_ / kBlock, rows = height_ / kBlock;
  for (int by = 0; by < rows; ++by) {
    for (int bx = 0; bx < columns; ++bx) {
      const uint8_t bits = changeMap_[by * columns + bx];
      const int kind = ((bits & kGreyChanged) ? 1 : 0) | ((bits & kRangeChanged) ? 2 : 0);
      if (kind == 0) continue;
      const Colour c = kByChange[kind];
      DrawRect(view, bx * kBlock, by * kBlock, bx * kBlock + kBlock - 1, by * kBlock + kBlock - 1,
               c.red, c.green, c.blue);
    }
  }
}

void HaarDetector::DrawPersistence(Dib& view) const {
  if (width_ == 0 || !view.SameFormat(width_, height_, 24)) return;
  FillRect(view, 0, 0, width_ - 1, height_ - 1, 255, 255, 255);
  const int columns = width_ / kBlock, rows = height_ / kBlock;
  for (int by = 0; by < rows; ++by) {
    for (int bx = 0; bx < columns; ++bx) {
      const int p = persistence_[by * columns + bx];
      const int x = bx * kBlock, y = by * kBlock;
      if (p >= kShownPersistence) {
        FillRect(view, x, y, x + kBlock - 1, y + kBlock - 1, 255, 255, 0);
      } else {
        const auto tint = static_cast<uint8_t>(255 - 255 * p / kShownPersistence);
        FillRect(view, x, y, x + kBlock - 1, y + kBlock - 1, tint, 255, tint);
      }
    }
  }
}

void HaarDetector::DrawRects(Dib& view, const Dib& frame, bool byConfirmation) const {
  if (!FrameMatches(frame) || !view.SameFormat(frame)) return;
  view.CopyFrom(frame, true);
  for (int k = 0; k < count_; ++k) {
    const HaarRect& r = rects_[k];
    const bool red = !byConfirmation || confirmed_[k];
    DrawRect(view, r.left, r.top, r.right - 1, r.bottom - 1, red ? 255 : 0, red ? 0 : 255, 0);
  }
}

}  // namespace fw
