#include "detect/engines/smoke_engine.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/draw.h"
#include "detect/dispatch.h"

namespace fw::engines {

namespace {

constexpr int kSums =
    SmokeEngine::kFeatures + SmokeEngine::kFeatures * (SmokeEngine::kFeatures + 1) / 2;  // 10 + 55
constexpr int kStats = SmokeEngine::kStatistics;
constexpr Rgb8 kRejectedColour{0, 100, 0};
constexpr Rgb8 kSmallColour{255, 0, 0};

// Blocks of a frame of this size.
size_t Blocks(int width, int height) {
  return static_cast<size_t>(std::max(width, 0) / SmokeEngine::kBlockSize) *
         static_cast<size_t>(std::max(height, 0) / SmokeEngine::kBlockSize);
}

// Colours of the labels: distinct hues for the regions, fixed colours for the marks.
std::array<Rgb8, 256> MakeLabelColours() {
  std::array<Rgb8, 256> colours;
  colours.fill({255, 255, 255});
  for (int i = 0; i < SmokeEngine::kMaxRegions; ++i) {
    const float hue = std::fmod(0.13f + 0.618034f * static_cast<float>(i), 1.0f);
    colours[kFirstRegionLabel + i] = HsvToRgb(hue, 0.85f, 1.0f);
  }
  colours[253] = {0, 0, 0};
  colours[SmokeEngine::kColourRejected] = kRejectedColour;
  colours[kSmallRegionLabel] = kSmallColour;
  return colours;
}

}  // namespace

size_t SmokeEngine::EngineeringBytes(int width, int height) {
  const size_t n = Blocks(width, height);
  const size_t frame = static_cast<size_t>(DibStride(width, 24)) * std::max(height, 0);
  return n * (5 + 8 + kWindow) + n * sizeof(int32_t) + 2 * frame +
         static_cast<size_t>(RegionTracks::kFrames) * RegionTracks::kMaxRegions *
             sizeof(RegionTracks::Entry);
}

size_t SmokeEngine::FuzzyBytes(int width, int height) {
  const size_t n = Blocks(width, height);
  return EngineeringBytes(width, height) + n * kWindow * kFeatures * sizeof(float) +
         n * kSums * sizeof(double) + kShownRegions * kStats * kStats * sizeof(float);
}

void SmokeEngine::InitialiseEngineering(Dib& frame) {
  Initialise(frame, false);
}

void SmokeEngine::InitialiseFuzzy(Dib& frame) {
  Initialise(frame, true);
}

bool SmokeEngine::Initialise(Dib& frame, bool fuzzy) {
  *this = SmokeEngine();  // what an earlier initialisation allocated goes
  frame_ = &frame;
  fuzzy_ = fuzzy;
  if (frame.GetBitCount() != 24) return false;
  width_ = frame.Width();
  height_ = frame.Height();
  columns_ = width_ / kBlockSize;
  rows_ = height_ / kBlockSize;
  const size_t n = static_cast<size_t>(columns_) * rows_;
  for (std::vector<uint8_t>* map :
       {&directionMap_, &movingMap_, &labelMap_, &dominantMap_, &countMap_}) {
    map->assign(n, 0);
  }
  directionCounts_.assign(8 * n, 0);
  directionRing_.assign(kWindow * n, 0);
  queue_.assign(n, 0);
  for (Dib& reference : reference_) reference.CreateSigned(width_, frame.HeaderHeight(), 24, false);
  if (fuzzy) {
    featureRing_.assign(kWindow * n * kFeatures, 0.0f);
    featureSums_.assign(n * kSums, 0.0);
    covariances_.assign(static_cast<size_t>(kShownRegions) * kStats * kStats, 0.0f);
  }
  tracks_.Reset();
  labelColours_ = MakeLabelColours();
  ramp_ = MakeColourRamp();
  ready_ = true;
  return true;
}

bool SmokeEngine::FrameMatches() const {
  return ready_ && frame_->SameFormat(width_, height_, 24) &&
         frame_->Stride() == reference_[0].Stride();
}

std::span<const float, SmokeEngine::kFeatures> SmokeEngine::Features(int block) const {
  return std::span<const float, kFeatures>(
      featureRing_.data() + (static_cast<size_t>(slot_) * BlockCount() + block) * kFeatures,
      kFeatures);
}

std::span<const float> SmokeEngine::Covariance(int region) const {
  return std::span<const float>(covariances_)
      .subspan(static_cast<size_t>(region) * kStats * kStats, kStats * kStats);
}

void SmokeEngine::EstimateBlockMotion() {
  if (!FrameMatches()) return;
  // Displacements of the previous block, in the order they are tried, and the code each gives
  // (the content moved against the displacement).
  constexpr int kTried[16][3] = {{1, 0, 5},  {2, 0, 5},  {1, 1, 6},   {2, 2, 6},
                                 {0, 1, 7},  {0, 2, 7},  {-1, 1, 8},  {-2, 2, 8},
                                 {-1, 0, 1}, {-2, 0, 1}, {-1, -1, 2}, {-2, -2, 2},
                                 {0, -1, 3}, {0, -2, 3}, {1, -1, 4},  {2, -2, 4}};
  std::fill(directionMap_.begin(), directionMap_.end(), 0);
  std::fill(movingMap_.begin(), movingMap_.end(), 0);
  const Dib& previous = Previous();
  const int stride = frame_->Stride();
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const uint8_t* current = frame_->Row(r * kBlockSize) + 3 * kBlockSize * c;
      const uint8_t* still = previous.Row(r * kBlockSize) + 3 * kBlockSize * c;
      if (BlockSad(current, still, stride) < kStaticCost) continue;
      int best = INT_MAX;
      int code = 0;
      for (const auto& d : kTried) {
        const int cost = BlockSadBelow(current, still + d[1] * stride + 3 * d[0], stride, best);
        if (cost < best) {
          best = cost;
          code = d[2];
        }
      }
      const int block = r * columns_ + c;
      directionMap_[block] = static_cast<uint8_t>(code);
      movingMap_[block] = 1;
    }
  }
}

void SmokeEngine::AddFeatureSums(int block, const float* f, double sign) {
  double* sums = featureSums_.data() + static_cast<size_t>(block) * kSums;
  for (int a = 0; a < kFeatures; ++a) sums[a] += sign * f[a];
  double* products = sums + kFeatures;
  for (int a = 0; a < kFeatures; ++a) {
    const double fa = sign * f[a];
    for (int b = a; b < kFeatures; ++b) *products++ += fa * f[b];
  }
}

void SmokeEngine::EstimateFuzzyMotion() {
  if (!FrameMatches() || !fuzzy_) return;
  std::fill(directionMap_.begin(), directionMap_.end(), 0);
  std::fill(movingMap_.begin(), movingMap_.end(), 0);
  const Dib& previous = Previous();
  const int stride = frame_->Stride();
  const size_t n = static_cast<size_t>(BlockCount());
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const int block = r * columns_ + c;
      float* f = featureRing_.data() + (static_cast<size_t>(slot_) * n + block) * kFeatures;
      AddFeatureSums(block, f, -1.0);  // the features of the frame leaving the window
      const uint8_t* current = frame_->Row(r * kBlockSize) + 3 * kBlockSize * c;
      const uint8_t* still = previous.Row(r * kBlockSize) + 3 * kBlockSize * c;
      std::array<int, 9> cost{};
      cost[0] = BlockSad(current, still, stride);
      std::fill(f, f + kFeatures, 0.0f);
      if (cost[0] < kStaticCost) {
        f[0] = 1.0f;
        AddFeatureSums(block, f, 1.0);
        continue;
      }
      // The previous block lies against the direction: the content at distance d moved to here.
      std::array<int, 9> distance{};
      for (int k = 1; k <= kCodeCount; ++k) {
        cost[k] = INT_MAX;
        for (int d = 1; d <= 3; ++d) {
          const uint8_t* p = still - d * kCodeStepY[k] * stride - 3 * d * kCodeStepX[k];
          const int value = BlockSadBelow(current, p, stride, cost[k]);
          if (value < cost[k]) {
            cost[k] = value;
            distance[k] = d;
          }
        }
      }
      int code = 0;
      for (int k = 1; k <= kCodeCount; ++k) {
        if (cost[k] < cost[code]) code = k;
      }
      const auto [low, high] = std::minmax_element(cost.begin(), cost.end());
      float total = 0.0f;
      for (int k = 0; k <= kCodeCount; ++k) {
        if (*high == *low) {
          f[k] = 1.0f;
        } else {
          const float t = static_cast<float>(cost[k] - *low) / static_cast<float>(*high - *low);
          f[k] = std::exp(-4.5f * (t * t));
        }
        total += f[k];
      }
      for (int k = 0; k <= kCodeCount; ++k) f[k] /= total;
      // Displacement length over 3 sqrt(2).
      if (code != 0)
        f[9] = static_cast<float>(distance[code]) * (code % 2 == 1 ? 0.2357f : 0.3333f);
      AddFeatureSums(block, f, 1.0);
      directionMap_[block] = static_cast<uint8_t>(code);
      movingMap_[block] = code != 0 ? 1 : 0;
    }
  }
}

void SmokeEngine::LabelRegions(int minimum, std::span<const uint8_t> map) {
  if (!FrameMatches()) return;
  assert(map.size() == labelMap_.size());
  std::copy_n(map.begin(), std::min(map.size(), labelMap_.size()), labelMap_.begin());
  regionCount_ =
      LabelBlockRegions(labelMap_, columns_, rows_, 1, kCodeCount, minimum, regionSizes_, queue_);
}

void SmokeEngine::TrackRegions() {
  if (!FrameMatches()) return;
  tracks_.Add(labelMap_, directionMap_, columns_, rows_, regionCount_);
}

void SmokeEngine::TestRegionColour(Dib& image, const RegionColourTest& test) {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  const int d = test.tolerance;
  const auto within = [](int v, int low, int high) { return v >= low && v <= high; };
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      int smokePixels = 0;
      for (int j = 0; j < kBlockSize; ++j) {
        const uint8_t* p = frame_->Row(r * kBlockSize + j) + 3 * kBlockSize * c;
        uint8_t* out = image.Row(r * kBlockSize + j) + 3 * kBlockSize * c;
        for (int i = 0; i < kBlockSize; ++i, p += 3, out += 3) {
          const int b = p[0];
          const int g = p[1];
          const int red = p[2];
          const int mean = (red + g + b) / 3;
          const int rg = std::abs(red - g);
          const int gb = std::abs(g - b);
          const int rb = std::abs(red - b);
          const int high = std::max({red, g, b});
          const int low = std::min({red, g, b});
          const bool bright = within(mean, test.brightLow, test.brightHigh) ||
                              within(mean, test.dimLow, test.dimHigh);
          const bool bluish = b >= g && b >= red && rg <= 2 * d && gb <= 3 * d && rb <= 3 * d;
          const bool neutral = rg < d / 3 && gb < d / 3 && rb < d / 3;
          const bool faint = g < high && high - low < d;
          const bool reddish = bright && red == high && rg >= d + 5 && rb >= d + 5;
          if (bright && (bluish || neutral || faint) && !reddish) {
            ++smokePixels;
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
          } else {
            out[0] = static_cast<uint8_t>(b / 2 + 127);
            out[1] = static_cast<uint8_t>(g / 2);
            out[2] = static_cast<uint8_t>(red / 2);
          }
        }
      }
      uint8_t& label = labelMap_[r * columns_ + c];
      if (IsRegionLabel(label, regionCount_) && smokePixels <= kBlockSize * kBlockSize * 7 / 10) {
        label = kColourRejected;
      }
    }
  }
}

void SmokeEngine::DrawMotion(Dib& image) const {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.CopyFrom(*frame_, true);
  constexpr int kHead = (kBlockSize + kBlockSize) / 2 * 7 / 10;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      const int block = r * columns_ + c;
      const int code = directionMap_[block];
      if (code == 0) continue;
      DrawCodeArrow(image, code, kBlockSize * c, kBlockSize * r, kBlockSize,
                    labelColours_[labelMap_[block]], kHead);
    }
  }
}

void SmokeEngine::DrawTracks(Dib& image) const {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  tracks_.Draw(image, kBlockSize, labelColours_);
}

void SmokeEngine::AccumulateDirections() {
  if (!FrameMatches()) return;
  const size_t n = static_cast<size_t>(BlockCount());
  uint8_t* ring = directionRing_.data() + static_cast<size_t>(slot_) * n;
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const int block = r * columns_ + c;
      uint8_t* counts = directionCounts_.data() + 8 * static_cast<size_t>(block);
      if (ring[block] != 0) --counts[ring[block] - 1];
      ring[block] = 0;
      if (!IsRegionLabel(labelMap_[block], regionCount_)) {
        movingMap_[block] = 0;
        continue;
      }
      const uint8_t code = directionMap_[block];
      if (code == 0) continue;
      ++counts[code - 1];
      ring[block] = code;
    }
  }
}

void SmokeEngine::FindDominantDirections(int, int minimumTotal) {
  if (!FrameMatches()) return;
  for (int block = 0; block < BlockCount(); ++block) {
    const uint8_t* k = directionCounts_.data() + 8 * static_cast<size_t>(block);
    int total = 0;
    int code = 1;
    for (int i = 0; i < kCodeCount; ++i) {
      total += k[i];
      if (k[i] > k[code - 1]) code = i + 1;
    }
    countMap_[block] = static_cast<uint8_t>(total);
    const auto around = [k](int centre) {
      return k[WrapCode(centre - 1) - 1] + k[centre - 1] + k[WrapCode(centre + 1) - 1];
    };
    if (total < minimumTotal || around(OppositeCode(code)) >= around(code) / 2) code = 0;
    dominantMap_[block] = static_cast<uint8_t>(code);
  }
}

void SmokeEngine::ComputeRegionStatistics() {
  if (!FrameMatches() || !fuzzy_) return;
  statisticsRegions_ = std::min(regionCount_, kShownRegions);
  std::array<std::array<int, 4>, kShownRegions> box{};
  for (auto& b : box) b = {columns_, rows_, -1, -1};
  for (int block = 0; block < BlockCount(); ++block) {
    const int region = labelMap_[block] - kFirstRegionLabel;
    if (region < 0 || region >= statisticsRegions_) continue;
    auto& b = box[region];
    b = {std::min(b[0], block % columns_), std::min(b[1], block / columns_),
         std::max(b[2], block % columns_), std::max(b[3], block / columns_)};
  }
  std::array<std::array<double, kStats>, kShownRegions> sum{};
  std::array<std::array<double, kStats * kStats>, kShownRegions> product{};
  for (int block = 0; block < BlockCount(); ++block) {
    const int region = labelMap_[block] - kFirstRegionLabel;
    if (region < 0 || region >= statisticsRegions_) continue;
    const auto& b = box[region];
    // The block's place in its region's box, 0..1, constant over the window.
    const double px = (block % columns_ - b[0] + 0.5) / (b[2] - b[0] + 1);
    const double py = (block / columns_ - b[1] + 0.5) / (b[3] - b[1] + 1);
    const double* s = featureSums_.data() + static_cast<size_t>(block) * kSums;
    const double* pairs = s + kFeatures;
    double* s1 = sum[region].data();
    double* s2 = product[region].data();
    for (int a = 0; a < kFeatures; ++a) {
      s1[a] += s[a];
      for (int c = a; c < kFeatures; ++c) s2[a * kStats + c] += *pairs++;
      s2[a * kStats + 10] += px * s[a];
      s2[a * kStats + 11] += py * s[a];
    }
    s1[10] += kWindow * px;
    s1[11] += kWindow * py;
    s2[10 * kStats + 10] += kWindow * px * px;
    s2[10 * kStats + 11] += kWindow * px * py;
    s2[11 * kStats + 11] += kWindow * py * py;
  }
  for (int region = 0; region < statisticsRegions_; ++region) {
    const double samples = static_cast<double>(regionSizes_[region]) * kWindow;
    float* out = covariances_.data() + static_cast<size_t>(region) * kStats * kStats;
    for (int a = 0; a < kStats; ++a) {
      for (int c = a; c < kStats; ++c) {
        const double mean = sum[region][a] / samples * (sum[region][c] / samples);
        const auto v = static_cast<float>(product[region][a * kStats + c] / samples - mean);
        out[a * kStats + c] = v;
        out[c * kStats + a] = v;
      }
    }
  }
}

void SmokeEngine::DrawRegionStatistics(Dib& image) const {
  if (!FrameMatches() || !fuzzy_) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.Fill(255);
  // Four matrices a row from the top of the picture, 12 x 12 cells of 4 x 4 pixels each.
  constexpr int kCell = 4;
  constexpr int kPitch = kStats * kCell + 8;
  constexpr int kMargin = 8;
  for (int region = 0; region < statisticsRegions_; ++region) {
    const int x0 = kMargin + (region % 4) * kPitch;
    const int top = height_ - kMargin - (region / 4) * kPitch;
    const std::span<const float> cov = Covariance(region);
    for (int a = 0; a < kStats; ++a) {
      for (int c = 0; c < kStats; ++c) {
        const int index = std::clamp(static_cast<int>(cov[a * kStats + c] * 400.0f), -50, 49);
        const Rgb8 colour = ramp_[index + 50];
        const int y = top - (a + 1) * kCell;
        FillRect(image, x0 + c * kCell, y, x0 + (c + 1) * kCell - 1, y + kCell - 1, colour.red,
                 colour.green, colour.blue);
      }
    }
  }
  DrawRampBar(image, ramp_, kMargin, height_ - kMargin - 4 * kPitch - 8, 200, 8);
}

uint8_t SmokeEngine::DecideAlarm() {
  if (!FrameMatches()) return 0;
  std::array<int, kMaxRegions> upward{};
  for (int block = 0; block < BlockCount(); ++block) {
    const int region = labelMap_[block] - kFirstRegionLabel;
    if (region >= 0 && region < regionCount_ && IsUpwardCode(dominantMap_[block])) {
      ++upward[region];
    }
  }
  upwardRatio_ = 0.0f;
  uint8_t flag = 0;
  for (int region = 0; region < regionCount_; ++region) {
    if (regionSizes_[region] * 80 / 100 < upward[region]) {
      upwardRatio_ = static_cast<float>(upward[region]) / static_cast<float>(regionSizes_[region]);
      flag = 1;
      break;
    }
  }
  flaggedFrames_ += flag - alarmRing_[slot_];
  alarmRing_[slot_] = flag;
  alarmRatio_ = static_cast<float>(flaggedFrames_) / static_cast<float>(kWindow);
  const bool alarm = flaggedFrames_ >= kAlarmFrames;
  if (alarm) alarmLatch_ = true;
  return alarm ? 1 : 0;
}

void SmokeEngine::DrawDominantDirections(Dib& image) const {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.Fill(255);
  constexpr int kHead = (kBlockSize + kBlockSize) / 2 * 7 / 10;
  for (int block = 0; block < BlockCount(); ++block) {
    const int code = dominantMap_[block];
    if (code == 0) continue;
    const uint8_t label = labelMap_[block];
    const Rgb8 colour = label == kColourRejected ? kRejectedColour
                        : label == kSmallRegionLabel
                            ? kSmallColour
                            : ramp_[std::min<int>(countMap_[block], kRampSize - 1)];
    DrawCodeArrow(image, code, kBlockSize * (block % columns_), kBlockSize * (block / columns_),
                  kBlockSize, colour, kHead);
  }
  DrawRampBar(image, ramp_, (width_ - 200) / 2, 4, 200, 8);
  char text[64];
  std::snprintf(text, sizeof text, "UMR:%3.2f,AR:%3.2f", upwardRatio_, alarmRatio_);
  StampText(image, text, 10, height_ - 25, {0, 0, 0});
}

void SmokeEngine::AdvanceFrame() {
  if (!FrameMatches()) return;
  frame_->SwapPixels(reference_[slot_ % 2]);
  slot_ = (slot_ + 1) % kWindow;
}

}  // namespace fw::engines
