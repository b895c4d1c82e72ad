#include "detect/engines/spring_mouth_engine.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

#include "core/draw.h"
#include "detect/dispatch.h"

namespace fw::engines {

namespace {

constexpr float kHalfDiagonal = 5.656854f;  // sqrt(8^2 + 8^2) / 2
constexpr int kHead = (8 + 8) / 2 * 7 / 10;

size_t Blocks(int width, int height) {
  return static_cast<size_t>(std::max(width, 0) / SpringMouthEngine::kBlockSize) *
         static_cast<size_t>(std::max(height, 0) / SpringMouthEngine::kBlockSize);
}

// The window sums of a block at three sub-block sizes come from a 5 x 5 grid of integral-image
// points two pixels apart, starting one pixel below and left of the block's corner: the 2 x 2
// sub-blocks use all of them, the 4 x 4 ones the points of even index, the whole block the four
// corners. Values are the three channel sums at each point.
struct Grid {
  std::array<std::array<std::array<uint32_t, 3>, 5>, 5> at;  // [j][i][channel]

  void Load(const IntegralImage& sums, int x, int y, int i, int j) {
    const uint32_t* p = sums.At(x - 1 + 2 * i, y - 1 + 2 * j);
    at[j][i] = {p[0], p[1], p[2]};
  }
  // Channel sum of the sub-block between grid points (i0, j0) and (i1, j1).
  int32_t Sum(int i0, int j0, int i1, int j1, int c) const {
    return static_cast<int32_t>(at[j1][i1][c] - at[j1][i0][c] - at[j0][i1][c] + at[j0][i0][c]);
  }
};

// Points of the grid each level adds: the corners, the middles of the 4 x 4 sub-blocks' sides
// and centre, then the rest.
constexpr int kLevel0Points[4][2] = {{0, 0}, {4, 0}, {0, 4}, {4, 4}};
constexpr int kLevel1Points[5][2] = {{2, 0}, {0, 2}, {2, 2}, {4, 2}, {2, 4}};
constexpr int kLevel2Points[16][2] = {{1, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1},
                                      {4, 1}, {1, 2}, {3, 2}, {0, 3}, {1, 3}, {2, 3},
                                      {3, 3}, {4, 3}, {1, 4}, {3, 4}};

// The bound of one level: the sum over its sub-blocks (side `step` grid points) and the three
// channels of |current sum - previous sum|, leaving off once it reaches `limit`.
int Bound(const Grid& current, const Grid& previous, int step, int limit) {
  int sum = 0;
  for (int j = 0; j < 4; j += step) {
    for (int i = 0; i < 4; i += step) {
      for (int c = 0; c < 3; ++c) {
        sum += std::abs(current.Sum(i, j, i + step, j + step, c) -
                        previous.Sum(i, j, i + step, j + step, c));
      }
    }
    if (sum >= limit) return sum;
  }
  return sum;
}

// An arrow of a vector about a block's centre, scaled to half the block's diagonal.
void DrawScaledArrow(Dib& image, int cx, int cy, float vx, float vy, float g, Rgb8 colour) {
  const int ux = g > 0.0f ? static_cast<int>(vx / g) : 0;
  const int uy = g > 0.0f ? static_cast<int>(vy / g) : 0;
  DrawArrow(image, cx - ux, cy - uy, cx + ux, cy + uy, colour.red, colour.green, colour.blue, kHead,
            30.0);
}

Rgb8 RampColour(const ColourRamp& ramp, float g) {
  return ramp[std::min(static_cast<int>(100.0f * g), kRampSize - 1)];
}

}  // namespace

size_t SpringMouthEngine::Bytes(int width, int height) {
  const size_t n = Blocks(width, height);
  const size_t pixels = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
  return 2 * pixels * 3 * sizeof(uint32_t) +
         2 * static_cast<size_t>(DibStride(width, 24)) * std::max(height, 0) + n * 3 +
         n * kWindow * 3 + n * kClasses * (2 * sizeof(int32_t) + 1) + n * 4 + n * sizeof(int32_t) +
         kMaxRegions * kAngleBins * sizeof(float) + 256 * 256;
}

void SpringMouthEngine::InitialiseSpringMouth(Dib& frame) {
  *this = SpringMouthEngine();  // what an earlier initialisation allocated goes
  frame_ = &frame;
  if (frame.GetBitCount() != 24) return;
  width_ = frame.Width();
  height_ = frame.Height();
  columns_ = width_ / kBlockSize;
  rows_ = height_ / kBlockSize;
  const size_t n = static_cast<size_t>(columns_) * rows_;
  current_.Allocate(width_, height_, 3);
  previous_.Allocate(width_, height_, 3);
  for (Dib& reference : reference_) reference.CreateSigned(width_, frame.HeaderHeight(), 24, false);
  dx_.assign(n, 0);
  dy_.assign(n, 0);
  state_.assign(n, 0);
  ringDx_.assign(kWindow * n, 0);
  ringDy_.assign(kWindow * n, 0);
  ringState_.assign(kWindow * n, 0);
  classSumX_.assign(kClasses * n, 0);
  classSumY_.assign(kClasses * n, 0);
  classCounts_.assign(kClasses * n, 0);
  staticCount_.assign(n, 0);
  dominantClass_.assign(n, 0);
  angleBin_.assign(n, 0);
  labelMap_.assign(n, 0);
  queue_.assign(n, 0);
  histograms_.assign(kMaxRegions * kAngleBins, 0.0f);
  lowSaturation_.assign(256 * 256, 0);
  for (int high = 0; high < 256; ++high) {
    for (int low = 0; low <= high; ++low) {
      lowSaturation_[high * 256 + low] =
          high == 0 || 1.0f - static_cast<float>(low) / static_cast<float>(high) < 0.3f ? 1 : 0;
    }
  }
  ramp_ = MakeColourRamp();
  // The spectrum display's transform tables, built now rather than on the first frame shown.
  const std::array<float, kAngleBins> zeros{};
  fourier_.HistogramSpectrum(zeros.data(), kAngleBins);
  ready_ = true;
}

bool SpringMouthEngine::FrameMatches() const {
  return ready_ && frame_->SameFormat(width_, height_, 24) &&
         frame_->Stride() == reference_[0].Stride();
}

std::span<const float> SpringMouthEngine::AngleHistogram(int region) const {
  return std::span<const float>(histograms_)
      .subspan(static_cast<size_t>(region) * kAngleBins, kAngleBins);
}

void SpringMouthEngine::ComputeIntegralImages() {
  if (!FrameMatches()) return;
  current_.Compute(*frame_);
}

void SpringMouthEngine::SearchBlockMotion() {
  if (!FrameMatches()) return;
  std::fill(dx_.begin(), dx_.end(), 0);
  std::fill(dy_.begin(), dy_.end(), 0);
  std::fill(state_.begin(), state_.end(), 0);
  const Dib& previous = reference_[(slot_ + 1) % 2];
  const int stride = frame_->Stride();
  // Position of a displacement in the order of the full search (dy, then dx, from -4).
  constexpr int kSide = 2 * kRange + 1;
  const auto order = [](int dx, int dy) { return (dy + kRange) * kSide + dx + kRange; };
  Grid here{};
  Grid there{};
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const int index = r * columns_ + c;
      const int x = kBlockSize * c;
      const int y = kBlockSize * r;
      const uint8_t* block = frame_->Row(y) + 3 * x;
      const auto cost = [&](int dx, int dy, int limit) {
        return BlockSadBelow(block, previous.Row(y - dy) + 3 * (x - dx), stride, limit);
      };
      // The full search: the smallest cost wins, the displacement (0, 0) on ties and otherwise
      // the earliest in the search order. A neighbour's displacement is tried first, so that a
      // small cost is known early and the bounds reject most candidates; candidates before the
      // best one found keep their right to win a tie, so the result is the full search's.
      int best = BlockSad(block, previous.Row(y) + 3 * x, stride);
      if (best < kStaticCost) continue;
      int bestDx = 0;
      int bestDy = 0;
      int bestOrder = -1;  // (0, 0) comes before every candidate
      const int guess = c > kBorder && state_[index - 1] != 0          ? index - 1
                        : r > kBorder && state_[index - columns_] != 0 ? index - columns_
                                                                       : -1;
      if (guess >= 0) {
        const int gx = dx_[guess];
        const int gy = dy_[guess];
        const int value = cost(gx, gy, best);
        if (value < best) {
          best = value;
          bestDx = gx;
          bestDy = gy;
          bestOrder = order(gx, gy);
        }
      }
      for (int j = 0; j < 5; ++j) {
        for (int i = 0; i < 5; ++i) here.Load(current_, x, y, i, j);
      }
      for (int dy = -kRange; dy <= kRange; ++dy) {
        for (int dx = -kRange; dx <= kRange; ++dx) {
          if (dx == 0 && dy == 0) continue;
          const int position = order(dx, dy);
          if (position == bestOrder) continue;
          // A candidate before the best one wins with an equal cost.
          const int limit = position < bestOrder ? best + 1 : best;
          // The previous block whose content moved by (dx, dy) to here.
          const int px = x - dx;
          const int py = y - dy;
          for (const auto& p : kLevel0Points) there.Load(previous_, px, py, p[0], p[1]);
          if (Bound(here, there, 4, limit) >= limit) continue;
          for (const auto& p : kLevel1Points) there.Load(previous_, px, py, p[0], p[1]);
          if (Bound(here, there, 2, limit) >= limit) continue;
          for (const auto& p : kLevel2Points) there.Load(previous_, px, py, p[0], p[1]);
          if (Bound(here, there, 1, limit) >= limit) continue;
          const int value = cost(dx, dy, limit);
          if (value < limit) {
            best = value;
            bestDx = dx;
            bestDy = dy;
            bestOrder = position;
          }
        }
      }
      if (bestDx != 0 || bestDy != 0) {
        dx_[index] = static_cast<int8_t>(bestDx);
        dy_[index] = static_cast<int8_t>(bestDy);
        state_[index] = kMoved;
      }
    }
  }
}

void SpringMouthEngine::DrawBlockVectors(Dib& image) const {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.CopyFrom(*frame_, true);
  for (int block = 0; block < BlockCount(); ++block) {
    if (state_[block] == 0) continue;
    const auto vx = static_cast<float>(dx_[block]);
    const auto vy = static_cast<float>(dy_[block]);
    const float g = std::sqrt(vx * vx + vy * vy) / kHalfDiagonal;
    DrawScaledArrow(image, kBlockSize * (block % columns_) + 4, kBlockSize * (block / columns_) + 4,
                    vx, vy, g, RampColour(ramp_, g));
  }
  DrawRampBar(image, ramp_, (width_ - 200) / 2, 4, 200, 8);
}

int SpringMouthEngine::ClassifyBlock(int column, int row) const {
  const int stride = frame_->Stride();
  int lowSaturated = 0;
  int smooth = 0;
  int dark = 0;
  for (int j = 0; j < kBlockSize; ++j) {
    const uint8_t* p = frame_->Row(kBlockSize * row + j) + 3 * kBlockSize * column;
    for (int i = 0; i < kBlockSize; ++i, p += 3) {
      const int high = std::max({p[0], p[1], p[2]});
      const int low = std::min({p[0], p[1], p[2]});
      lowSaturated += lowSaturation_[high * 256 + low];
      int texture = 0;
      for (int ch = 0; ch < 3; ++ch) {
        texture += std::abs(p[ch + stride] - p[ch - stride]) + std::abs(p[ch - 3] - p[ch + 3]);
      }
      smooth += texture < 90 ? 1 : 0;
      dark += p[0] + p[1] + p[2] < 384 ? 1 : 0;
    }
  }
  // 44, 38 and 32 are 70%, 60% and 50% of the 64 pixels.
  return 4 * (lowSaturated < 44) + 2 * (smooth < 38) + (dark < 32) + 1;
}

void SpringMouthEngine::Retire(int block, int slot) {
  const size_t entry = static_cast<size_t>(slot) * BlockCount() + block;
  const int k = ringState_[entry];
  if (k == 0) {
    --staticCount_[block];
    return;
  }
  const size_t at = static_cast<size_t>(block) * kClasses + k - 1;
  classSumX_[at] -= ringDx_[entry];
  classSumY_[at] -= ringDy_[entry];
  --classCounts_[at];
}

void SpringMouthEngine::ClassifyAndAccumulate() {
  if (!FrameMatches()) return;
  // Once the window is full, the record of the frame 200 back leaves the sums before this
  // frame's record takes its place, so that the sums hold exactly the last 200 frames.
  const bool full = accumulated_ == kWindow;
  const size_t n = static_cast<size_t>(BlockCount());
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const int block = r * columns_ + c;
      if (full) Retire(block, slot_);
      if (state_[block] != 0) {
        const int k = ClassifyBlock(c, r);
        state_[block] = static_cast<uint8_t>(k);
        const size_t at = static_cast<size_t>(block) * kClasses + k - 1;
        classSumX_[at] += dx_[block];
        classSumY_[at] += dy_[block];
        ++classCounts_[at];
      } else {
        ++staticCount_[block];
      }
      const size_t entry = static_cast<size_t>(slot_) * n + block;
      ringDx_[entry] = dx_[block];
      ringDy_[entry] = dy_[block];
      ringState_[entry] = state_[block];
    }
  }
  accumulated_ = std::min(accumulated_ + 1, kWindow);
}

void SpringMouthEngine::LabelMovingRegions(int minimum) {
  if (!FrameMatches() || accumulated_ < kWindow) return;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      const int block = r * columns_ + c;
      const bool inside =
          c >= kBorder && c < columns_ - kBorder && r >= kBorder && r < rows_ - kBorder;
      labelMap_[block] = inside && staticCount_[block] <= kMaxStatic ? 1 : 0;
    }
  }
  regionCount_ = LabelBlockRegions(labelMap_, columns_, rows_, 1, 1, minimum, regionSizes_, queue_);
}

int SpringMouthEngine::DominantClass(int block) const {
  const uint8_t* counts = classCounts_.data() + static_cast<size_t>(block) * kClasses;
  int k = 1;
  for (int i = 1; i < kClasses; ++i) {
    if (counts[i] > counts[k - 1]) k = i + 1;  // the lowest class on ties
  }
  return k;
}

void SpringMouthEngine::DrawRegionMotion(Dib& image) {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  if (accumulated_ < kWindow) {
    const int n = accumulated_;
    const int e = height_ / 2 - 20;
    const int f = height_ / 2 + 20;
    const int x = 30 + (n + 1) * (width_ - 60) / kWindow;
    FillRect(image, 30, e, x, f, 0, 0, 255);
    FillRect(image, x, e, width_ - 30, f, 255, 255, 255);
    char text[32];
    std::snprintf(text, sizeof text, "Initializing %i%%", (n * 100 + 100) / kWindow);
    StampText(image, text, 60, e + 8, {255, 0, 0});
    return;
  }
  image.CopyFrom(*frame_, true);
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const int block = r * columns_ + c;
      const uint8_t label = labelMap_[block];
      if (label < kFirstRegionLabel) continue;
      const int k = DominantClass(block);
      dominantClass_[block] = static_cast<uint8_t>(k);
      const size_t at = static_cast<size_t>(block) * kClasses + k - 1;
      const int count = classCounts_[at];
      if (count == 0) continue;
      const float mx = static_cast<float>(classSumX_[at]) / static_cast<float>(count);
      const float my = static_cast<float>(classSumY_[at]) / static_cast<float>(count);
      const float length = std::sqrt(mx * mx + my * my);
      const float g = length / kHalfDiagonal;
      Rgb8 colour{255, 255, 0};
      if (label == kSmallRegionLabel) {
        colour = {0, 0, 0};
      } else if (length < 0.5f) {
        colour = {0, 255, 0};
      } else if (state_[block] < 3) {
        colour = RampColour(ramp_, g);
      }
      DrawScaledArrow(image, kBlockSize * c + 4, kBlockSize * r + 4, mx, my, g, colour);
    }
  }
}

void SpringMouthEngine::BuildAngleHistograms() {
  if (!FrameMatches() || accumulated_ < kWindow) return;
  std::fill_n(histograms_.begin(), static_cast<size_t>(regionCount_) * kAngleBins, 0.0f);
  constexpr float kPi = 3.1415925f;
  for (int r = kBorder; r < rows_ - kBorder; ++r) {
    for (int c = kBorder; c < columns_ - kBorder; ++c) {
      const int block = r * columns_ + c;
      const int region = labelMap_[block] - kFirstRegionLabel;
      if (region < 0 || region >= regionCount_) continue;
      const int k = DominantClass(block);
      dominantClass_[block] = static_cast<uint8_t>(k);
      const size_t at = static_cast<size_t>(block) * kClasses + k - 1;
      const auto a = static_cast<float>(classSumX_[at]);
      const auto b = static_cast<float>(classSumY_[at]);
      float theta = 0.0f;
      if (a > 0) {
        theta =
            b >= 0 ? std::atan(b / a) * 180.0f / kPi : 360.0f - std::atan(-b / a) * 180.0f / kPi;
      } else if (a == 0) {
        theta = b >= 0 ? 90.0f : 270.0f;
      } else {
        theta = b >= 0 ? 180.0f - std::atan(b / -a) * 180.0f / kPi
                       : 180.0f + std::atan(b / a) * 180.0f / kPi;
      }
      const int bin = std::clamp(static_cast<int>(theta / 5.625f), 0, kAngleBins - 1);
      angleBin_[block] = static_cast<uint8_t>(bin);
      histograms_[static_cast<size_t>(region) * kAngleBins + bin] += 1.0f;
    }
  }
  for (int region = 0; region < regionCount_; ++region) {
    const auto size = static_cast<float>(regionSizes_[region]);
    float* h = histograms_.data() + static_cast<size_t>(region) * kAngleBins;
    for (int i = 0; i < kAngleBins; ++i) h[i] /= size;
  }
}

void SpringMouthEngine::DrawAngleSpectra(Dib& image) {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.Fill(255);
  const int h = (height_ - 15) / 2;
  const auto fh = static_cast<float>(h);
  for (int region = 0; region < std::min(regionCount_, kShownSpectra); ++region) {
    const int t = (region / 2) * (h + 5) + 5;
    const int x0 = region % 2 == 0 ? 10 : 143;
    const float* histogram = histograms_.data() + static_cast<size_t>(region) * kAngleBins;
    fourier_.HistogramSpectrum(histogram, kAngleBins);
    std::array<float, kAngleBins> magnitude{};
    float largest = 0.0f;
    const std::span<const ComplexF> spectrum = fourier_.Result();
    for (int i = 0; i < kAngleBins; ++i) {
      magnitude[i] = std::sqrt(spectrum[i].re * spectrum[i].re + spectrum[i].im * spectrum[i].im);
      largest = std::max(largest, magnitude[i]);
    }
    if (largest <= 0.0f) continue;
    for (int i = 1; i <= kAngleBins - 2; ++i) {
      const int xa = x0 + 2 * (i - 1);
      const int xb = x0 + 2 * i;
      DrawLine(image, xa, t + static_cast<int>(fh * magnitude[i - 1] / largest), xb,
               t + static_cast<int>(fh * magnitude[i] / largest), 0, 255, 0);
      DrawLine(image, xa, t + static_cast<int>(fh * histogram[i - 1]), xb,
               t + static_cast<int>(fh * histogram[i]), 255, 0, 0);
    }
  }
}

void SpringMouthEngine::AdvanceSlot() {
  if (!FrameMatches()) return;
  frame_->SwapPixels(reference_[slot_ % 2]);
  current_.Swap(previous_);
  slot_ = (slot_ + 1) % kWindow;
}

}  // namespace fw::engines
