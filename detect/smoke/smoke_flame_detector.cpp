#include "detect/smoke/smoke_flame_detector.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/statistics.h"
#include "core/wavelet.h"

namespace fw {

namespace {

// Weighted colour difference of two 24-bit pixels, in hundredths of a grey level.
inline int WeightedDifference(const uint8_t* a, const uint8_t* b) {
  return 11 * std::abs(a[0] - b[0]) + 59 * std::abs(a[1] - b[1]) + 30 * std::abs(a[2] - b[2]);
}

// Re-creates a result pane as a bottom-up 24-bit image of the frame's size when it is not one.
void EnsureColourPane(Dib& image, int width, int height) {
  if (!image.SameFormat(width, height, 24)) image.CreateSigned(width, height, 24, false);
}

void FillBlock(Dib& image, int column, int row, uint8_t blue, uint8_t green, uint8_t red) {
  const int size = SmokeFlameDetector::kBlockSize;
  for (int y = row * size; y < (row + 1) * size; ++y) {
    uint8_t* p = image.Row(y) + 3 * column * size;
    for (int x = 0; x < size; ++x, p += 3) {
      p[0] = blue;
      p[1] = green;
      p[2] = red;
    }
  }
}

int LargestPowerOfTwoAtMost(int n) {
  int p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

}  // namespace

// --- initialisation ------------------------------------------------------------------------------

void SmokeFlameDetector::Initialise(Dib& frame, bool blockMode) {
  // Everything a previous initialisation built goes; the parameters stay.
  const SmokeFlameParams kept = params;
  *this = SmokeFlameDetector();
  params = kept;
  historyLength_ = LargestPowerOfTwoAtMost(params.frameRateFactor * params.secondsFactor);
  source_ = &frame;
  blockMode_ = blockMode;
  if (frame.GetBitCount() != 24 || frame.Width() <= 0 || frame.Height() <= 0) return;
  width_ = frame.Width();
  height_ = frame.Height();
  ready_ = true;

  const size_t pixels = static_cast<size_t>(width_) * height_;
  if (!blockMode) InitialisePixelMode(frame);

  motionMask_.assign(pixels, 1);
  colourMask_.assign(pixels, 1);
  temporalMask_.assign(pixels, 1);
  finalMask_.assign(pixels, 0);

  // The remainders right of and below the grid belong to no block.
  blockColumns_ = width_ / kBlockSize;
  blockRows_ = height_ / kBlockSize;
  const size_t blocks = static_cast<size_t>(BlockCount());
  currentBlockMeans_.assign(blocks, 0);
  previousBlockMeans_.assign(blocks, 0);
  backgroundBlockMeans_.assign(blocks, 0);
  blockMotion_.assign(blocks, 0);
  smokeBlocks_.assign(blocks, 0);
  blockCounters_.assign(blocks, 0);
  blockMaskRing_.assign(blocks * kBlockWindow, 0);
  blockSums_.assign(static_cast<size_t>(blockColumns_), 0);
  blockEnergies_.assign(blocks, 0);
  blockRingIndex_ = 0;
  blockRingFill_ = 0;
  previousLuminance_.assign(pixels, 0);

  if (blockMode) InitialiseBlockMode(frame);
}

void SmokeFlameDetector::InitialisePixelMode(const Dib& frame) {
  // The ring starts with the selection frame in slot 0 and black frames elsewhere.
  ring_.resize(static_cast<size_t>(historyLength_));
  for (Dib& image : ring_) image.CreateSigned(width_, frame.HeaderHeight(), 24, false);
  background_.CopyFrom(frame, false);
  ring_[0].CopyFrom(frame, true);
  ringIndex_ = 0;
  const size_t planeSize = static_cast<size_t>(std::max(kSignalLength, historyLength_));
  for (std::vector<int32_t>& plane : waveletPlanes_) plane.assign(planeSize, 0);
  blackRow_.assign(static_cast<size_t>(3 * width_), 0);

  const size_t pixels = static_cast<size_t>(width_) * height_;
  flickerMean_.assign(pixels, -10.0f);
  flickerState_.assign(pixels, 0);
  flickerChanges_.assign(pixels, 0);
  toggleHistory_.assign(pixels * (kToggleHistory / 8), 0);
  togglePosition_ = 0;
  framesSeen_ = 0;
}

void SmokeFlameDetector::InitialiseBlockMode(const Dib& frame) {
  background_.CopyFrom(frame, false);
  previousFrame_.CopyFrom(frame, false);
  const size_t pixels = static_cast<size_t>(width_) * height_;
  backgroundEdges_.assign(pixels, 0);
  currentEdges_.assign(pixels, 0);
  ComputeBlockMeans();
  TextureMap(frame, backgroundEdges_);
  smokeCounts_.fill(0);
  smokeCountIndex_ = 0;
  previousBlockMeans_ = currentBlockMeans_;
  backgroundBlockMeans_ = currentBlockMeans_;
}

namespace {

// The object with its small tables, the first images of its member pictures and the allocator's
// rounding of its blocks.
constexpr size_t kDetectorObject = sizeof(SmokeFlameDetector) + 16384;

// What both modes build: four masks and the previous live luminance plane, and per block its
// means, flags, counters, energy and the kBlockWindow-frame mask ring, and one row of block sums.
size_t SharedBytes(int width, int height) {
  constexpr int kSize = SmokeFlameDetector::kBlockSize;
  const size_t pixels = static_cast<size_t>(width) * height;
  const size_t columns = static_cast<size_t>(width / kSize);
  const size_t blocks = columns * static_cast<size_t>(height / kSize);
  return kDetectorObject + 5 * pixels +
         blocks * (6 + sizeof(int32_t) + SmokeFlameDetector::kBlockWindow) +
         columns * sizeof(int32_t);
}

size_t FrameBytes(int width, int height) {
  return static_cast<size_t>(DibStride(width, 24)) * height;
}

}  // namespace

size_t SmokeFlameDetector::PixelModeBytes(int width, int height, const SmokeFlameParams& params) {
  const size_t pixels = static_cast<size_t>(width) * height;
  const size_t history =
      static_cast<size_t>(LargestPowerOfTwoAtMost(params.frameRateFactor * params.secondsFactor));
  // The ring's images and the background; the flicker records (mean, state, changes and the
  // toggle bits); the two wavelet planes and the black row.
  const size_t planes = 2 * sizeof(int32_t) * std::max<size_t>(kSignalLength, history);
  return SharedBytes(width, height) + (history + 1) * FrameBytes(width, height) +
         history * sizeof(Dib) + pixels * (sizeof(float) + 2 + kToggleHistory / 8) + planes +
         3 * static_cast<size_t>(width);
}

size_t SmokeFlameDetector::BlockModeBytes(int width, int height) {
  const size_t pixels = static_cast<size_t>(width) * height;
  // The background and the previous frame, the two edge maps.
  return SharedBytes(width, height) + 2 * FrameBytes(width, height) + 2 * pixels * sizeof(int32_t);
}

void SmokeFlameDetector::AttachLiveLuminance(const uint8_t* plane) {
  liveLuminance_ = ready_ ? plane : nullptr;
  if (liveLuminance_ == nullptr) return;
  if (blockMode_) {
    ComputeBlockMeans();
    previousBlockMeans_ = currentBlockMeans_;
    backgroundBlockMeans_ = currentBlockMeans_;
  } else {
    std::copy_n(liveLuminance_, previousLuminance_.size(), previousLuminance_.data());
  }
}

bool SmokeFlameDetector::FrameMatches() const {
  return ready_ && source_->GetBitCount() == 24 && source_->Width() == width_ &&
         source_->Height() == height_;
}

// --- pixel mode ----------------------------------------------------------------------------------

void SmokeFlameDetector::DetectMotion(int kind) {
  if (!FrameMatches() || blockMode_) return;
  if (kind == kMotionToLastFrame && liveLuminance_ != nullptr) {
    // Memory row y is picture row height - 1 - y, the plane's row of the same picture point.
    const int limit = params.motionThreshold;
    for (int y = 0; y < height_; ++y) {
      const size_t planeRow = static_cast<size_t>(height_ - 1 - y) * width_;
      const uint8_t* __restrict cur = liveLuminance_ + planeRow;
      const uint8_t* __restrict last = previousLuminance_.data() + planeRow;
      uint8_t* __restrict mask = motionMask_.data() + static_cast<size_t>(y) * width_;
      for (int x = 0; x < width_; ++x) mask[x] = std::abs(cur[x] - last[x]) >= limit ? 1 : 0;
    }
    return;
  }
  const int limit = 100 * params.motionThreshold;
  const Dib& latest = ring_[ringIndex_];
  for (int y = 0; y < height_; ++y) {
    const uint8_t* __restrict cur = source_->Row(y);
    const uint8_t* __restrict last = latest.Row(y);
    uint8_t* __restrict mask = motionMask_.data() + static_cast<size_t>(y) * width_;
    if (kind == kMotionToLastFrame) {
      for (int x = 0; x < width_; ++x) {
        mask[x] = WeightedDifference(cur + 3 * x, last + 3 * x) >= limit ? 1 : 0;
      }
    } else if (kind == kMotionToBackground) {
      uint8_t* __restrict back = background_.Row(y);
      for (int x = 0; x < width_; ++x) {
        const uint8_t* c = cur + 3 * x;
        uint8_t* b = back + 3 * x;
        mask[x] = WeightedDifference(c, b) >= limit ? 1 : 0;
        if (WeightedDifference(c, last + 3 * x) < limit) {
          for (int k = 0; k < 3; ++k) b[k] = static_cast<uint8_t>((9 * b[k] + c[k]) / 10);
        }
      }
    }
  }
}

void SmokeFlameDetector::TestGreyColour(int limit) {
  if (!FrameMatches() || blockMode_) return;
  // S = 255 (max - min) / max <= limit is, for max > 0, 255 (max - min) < (limit + 1) max: no
  // division per pixel. S lies in 0..255, so limits outside -1..255 act as -1 or 255.
  const int bound = std::clamp(limit, -1, 255) + 1;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* __restrict p = source_->Row(y);
    const uint8_t* __restrict motion = motionMask_.data() + static_cast<size_t>(y) * width_;
    uint8_t* __restrict colour = colourMask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      // Most pixels are still: they skip the colour arithmetic.
      if (motion[x] == 0) {
        colour[x] = 0;
        continue;
      }
      const int b = p[3 * x];
      const int g = p[3 * x + 1];
      const int r = p[3 * x + 2];
      const int high = std::max(b, std::max(g, r));
      const int low = std::min(b, std::min(g, r));
      colour[x] = high == 0 || 255 * (high - low) < bound * high ? 1 : 0;
    }
  }
}

void SmokeFlameDetector::TestFlicker(int minimumChanges) {
  if (!FrameMatches() || blockMode_) return;
  const bool learning = framesSeen_ < kFlickerWindow;
  if (learning) ++framesSeen_;
  const int n = framesSeen_;

  if (n == 1 && learning) {
    // The first frame starts every pixel's record.
    for (int y = 0; y < height_; ++y) {
      const uint8_t* p = source_->Row(y);
      const size_t base = static_cast<size_t>(y) * width_;
      for (int x = 0; x < width_; ++x) {
        flickerMean_[base + x] = static_cast<float>(p[3 * x + 2]);
        flickerState_[base + x] = 0;
      }
    }
    std::fill(temporalMask_.begin(), temporalMask_.end(), 0);
    togglePosition_ = (togglePosition_ + 1) % kToggleHistory;
    return;
  }

  // The bit written now and the one written kFlickerWindow - 1 frames ago, which leaves the
  // window. Bits never written are 0, so the learning frames need no case of their own.
  const int writePosition = togglePosition_;
  const int leavePosition =
      (togglePosition_ + kToggleHistory - (kFlickerWindow - 1)) % kToggleHistory;
  const size_t plane = static_cast<size_t>(width_) * height_;
  uint8_t* const writePlane = toggleHistory_.data() + (writePosition / 8) * plane;
  const uint8_t* const leavePlane = toggleHistory_.data() + (leavePosition / 8) * plane;
  const int writeBit = writePosition % 8;
  const int leaveBit = leavePosition % 8;
  const uint8_t keepMask = static_cast<uint8_t>(~(1u << writeBit));

  // Running mean of the red channel, in single precision in this order.
  const float previousWeight = static_cast<float>(n - 1);
  const float count = static_cast<float>(n);

  for (int y = 0; y < height_; ++y) {
    const uint8_t* __restrict p = source_->Row(y);
    const size_t base = static_cast<size_t>(y) * width_;
    float* __restrict mean = flickerMean_.data() + base;
    uint8_t* __restrict state = flickerState_.data() + base;
    uint8_t* __restrict changes = flickerChanges_.data() + base;
    uint8_t* __restrict written = writePlane + base;
    const uint8_t* __restrict leaving = leavePlane + base;
    uint8_t* __restrict temporal = temporalMask_.data() + base;
    for (int x = 0; x < width_; ++x) {
      const float v = static_cast<float>(p[3 * x + 2]);
      const float m = (v + previousWeight * mean[x]) / count;
      mean[x] = m;
      const uint8_t newState = v > m + 10.0f ? 1 : 0;
      const uint8_t toggle = newState != state[x] ? 1 : 0;
      state[x] = newState;
      // The leaving bit is read before the write: with a window of a multiple of 8 frames
      // both would share a byte.
      const uint8_t left = (leaving[x] >> leaveBit) & 1;
      written[x] = static_cast<uint8_t>((written[x] & keepMask) | (toggle << writeBit));
      const uint8_t c = static_cast<uint8_t>(changes[x] + toggle - left);
      changes[x] = c;
      if (!learning) temporal[x] = c >= minimumChanges ? 1 : 0;
    }
  }
  togglePosition_ = (togglePosition_ + 1) % kToggleHistory;
}

void SmokeFlameDetector::CombineMasks() {
  if (!ready_) return;
  const size_t n = finalMask_.size();
  const uint8_t* __restrict colour = colourMask_.data();
  const uint8_t* __restrict temporal = temporalMask_.data();
  uint8_t* __restrict out = finalMask_.data();
  for (size_t i = 0; i < n; ++i) out[i] = colour[i] & temporal[i];
}

uint8_t SmokeFlameDetector::ShowAndCount(Dib& display) {
  if (!FrameMatches()) return 0;
  EnsureColourPane(display, width_, height_);
  int count = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* __restrict p = source_->Row(y);
    const uint8_t* __restrict mask = finalMask_.data() + static_cast<size_t>(y) * width_;
    uint8_t* __restrict out = display.Row(y);
    for (int x = 0; x < width_; ++x) {
      const uint8_t* s = p + 3 * x;
      uint8_t* d = out + 3 * x;
      const bool set = mask[x] != 0;
      d[0] = set ? static_cast<uint8_t>(s[0] / 2) : s[0];
      d[1] = set ? static_cast<uint8_t>(s[1] / 2 + 128) : s[1];
      d[2] = set ? static_cast<uint8_t>(s[2] / 2) : s[2];
      count += set ? 1 : 0;
    }
  }
  return count >= params.alarmPixelCount ? 1 : 0;
}

// --- flame mode ----------------------------------------------------------------------------------

void SmokeFlameDetector::TestFlameColour(int redLimit, int saturationLimit) {
  assert(redLimit > 0);
  if (!FrameMatches() || blockMode_ || redLimit <= 0) return;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* __restrict p = source_->Row(y);
    const uint8_t* __restrict motion = motionMask_.data() + static_cast<size_t>(y) * width_;
    uint8_t* __restrict colour = colourMask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      const int b = p[3 * x];
      const int g = p[3 * x + 1];
      const int r = p[3 * x + 2];
      // With red >= green >= blue, red is the maximum and blue the minimum.
      const bool flame = motion[x] != 0 && r > redLimit && r >= g && g >= b &&
                         255 * (r - b) / r >= (255 - r) * saturationLimit / redLimit;
      colour[x] = flame ? 1 : 0;
    }
  }
}

namespace {

// Rows of one picture row in the last kSignalLength stored frames, oldest first; frames the ring
// does not hold give the black row.
void HistoryRows(const std::vector<Dib>& ring, int ringIndex, int row, const uint8_t* black,
                 std::span<const uint8_t*, SmokeFlameDetector::kSignalLength> rows) {
  const int length = static_cast<int>(ring.size());
  const int n = SmokeFlameDetector::kSignalLength;
  for (int t = 0; t < n; ++t) {
    const int age = n - 1 - t;  // frames before the most recent one
    rows[t] = age < length ? ring[(ringIndex - age + length) % length].Row(row) : black;
  }
}

}  // namespace

void SmokeFlameDetector::TestOscillation() {
  if (!FrameMatches() || blockMode_) return;
  std::array<const uint8_t*, kSignalLength> rows;
  std::array<uint8_t, kSignalLength> history;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* colour = colourMask_.data() + static_cast<size_t>(y) * width_;
    uint8_t* temporal = temporalMask_.data() + static_cast<size_t>(y) * width_;
    if (std::none_of(colour, colour + width_, [](uint8_t c) { return c != 0; })) {
      std::fill(temporal, temporal + width_, 0);
      continue;
    }
    HistoryRows(ring_, ringIndex_, y, blackRow_.data(), rows);
    for (int x = 0; x < width_; ++x) {
      if (colour[x] == 0) {
        temporal[x] = 0;
        continue;
      }
      for (int t = 0; t < kSignalLength; ++t) history[t] = rows[t][3 * x + 2];
      const int crossings = CountCrossings(TransformHistory(history), params.deadZone);
      temporal[x] = crossings >= params.crossingThreshold ? 1 : 0;
    }
  }
}

void SmokeFlameDetector::RedHistory(int x, int row, std::span<uint8_t, kSignalLength> out) const {
  if (!FrameMatches() || blockMode_ || x < 0 || x >= width_ || row < 0 || row >= height_) {
    std::fill(out.begin(), out.end(), 0);
    return;
  }
  std::array<const uint8_t*, kSignalLength> rows;
  HistoryRows(ring_, ringIndex_, row, blackRow_.data(), rows);
  for (int t = 0; t < kSignalLength; ++t) out[t] = rows[t][3 * x + 2];
}

const int32_t* SmokeFlameDetector::TransformHistory(
    std::span<const uint8_t, kSignalLength> history) {
  assert(waveletPlanes_[0].size() >= static_cast<size_t>(kSignalLength));
  return AnalyzeLevels(history.data(), kSignalLength, waveletPlanes_[0].data(),
                       waveletPlanes_[1].data(), kSignalLevels);
}

int SmokeFlameDetector::CountCrossings(const int32_t* transform, float deadZone) {
  const auto classOf = [deadZone](int32_t v) {
    const float f = static_cast<float>(v);
    return f >= deadZone ? 1 : (f <= -deadZone ? -1 : 0);
  };
  int crossings = 0;
  int previous = classOf(transform[kFirstCrossingOutput]);
  for (int i = kFirstCrossingOutput + 1; i < kSignalLength; ++i) {
    const int current = classOf(transform[i]);
    crossings += current != previous ? 1 : 0;
    previous = current;
  }
  return crossings;
}

void SmokeFlameDetector::ComputeBlockEnergies(const Dib& image) {
  const int bits = image.GetBitCount();
  if (!ready_ || (bits != 8 && bits != 24) || image.Width() != width_ ||
      image.Height() != height_) {
    return;
  }
  const int step = image.BytesPerPixel();
  for (int r = 0; r < blockRows_; ++r) {
    for (int c = 0; c < blockColumns_; ++c) {
      int32_t energy = 0;
      for (int y = r * kBlockSize; y < (r + 1) * kBlockSize; ++y) {
        const uint8_t* row = image.Row(y);
        const uint8_t* up = y + 1 < height_ ? image.Row(y + 1) : nullptr;
        for (int x = c * kBlockSize; x < (c + 1) * kBlockSize; ++x) {
          const int v = row[step * x];
          if (x + 1 < width_) energy += std::abs(v - row[step * (x + 1)]);
          if (up != nullptr) energy += std::abs(v - up[step * x]);
        }
      }
      blockEnergies_[static_cast<size_t>(r) * blockColumns_ + c] = energy;
    }
  }
}

// --- block mode ----------------------------------------------------------------------------------

void SmokeFlameDetector::ComputeBlockMeans() {
  if (!FrameMatches()) return;
  if (liveLuminance_ != nullptr) {
    ComputeLiveBlockMeans();
    return;
  }
  const int columns = blockColumns_;
  int32_t* __restrict sums = blockSums_.data();
  for (int r = 0; r < blockRows_; ++r) {
    std::fill(blockSums_.begin(), blockSums_.end(), 0);
    for (int y = r * kBlockSize; y < (r + 1) * kBlockSize; ++y) {
      const uint8_t* __restrict p = source_->Row(y);
      for (int c = 0; c < columns; ++c) {
        const uint8_t* q = p + 3 * kBlockSize * c;
        int32_t s = 0;
        for (int x = 0; x < kBlockSize; ++x) {
          s += 11 * q[3 * x] + 59 * q[3 * x + 1] + 30 * q[3 * x + 2];
        }
        sums[c] += s;
      }
    }
    uint8_t* means = currentBlockMeans_.data() + static_cast<size_t>(r) * columns;
    for (int c = 0; c < columns; ++c) {
      means[c] = static_cast<uint8_t>(sums[c] / (kBlockSize * kBlockSize * 100));
    }
  }
}

void SmokeFlameDetector::ComputeLiveBlockMeans() {
  const int columns = blockColumns_;
  int32_t* __restrict sums = blockSums_.data();
  for (int r = 0; r < blockRows_; ++r) {
    std::fill(blockSums_.begin(), blockSums_.end(), 0);
    for (int y = r * kBlockSize; y < (r + 1) * kBlockSize; ++y) {
      const uint8_t* __restrict p = liveLuminance_ + static_cast<size_t>(height_ - 1 - y) * width_;
      for (int c = 0; c < columns; ++c) {
        const uint8_t* q = p + kBlockSize * c;
        int32_t s = 0;
        for (int x = 0; x < kBlockSize; ++x) s += q[x];
        sums[c] += s;
      }
    }
    uint8_t* means = currentBlockMeans_.data() + static_cast<size_t>(r) * columns;
    for (int c = 0; c < columns; ++c) {
      means[c] = static_cast<uint8_t>(sums[c] / (kBlockSize * kBlockSize));
    }
  }
}

void SmokeFlameDetector::CompareBlocks(uint8_t threshold, Dib& display) {
  if (!FrameMatches()) return;
  EnsureColourPane(display, width_, height_);
  for (int r = 0; r < blockRows_; ++r) {
    for (int c = 0; c < blockColumns_; ++c) {
      const int b = r * blockColumns_ + c;
      const bool moved = std::abs(currentBlockMeans_[b] - previousBlockMeans_[b]) >= threshold;
      blockMotion_[b] = moved ? 1 : 0;
      if (moved) {
        FillBlock(display, c, r, 0, 255, 255);
      } else {
        FillBlock(display, c, r, 255, 0, 0);
      }
    }
  }
}

void SmokeFlameDetector::ShowBlockCounters(Dib& display, std::span<const uint8_t> counters,
                                           int gain) const {
  if (!FrameMatches() || counters.size() < static_cast<size_t>(BlockCount())) return;
  EnsureColourPane(display, width_, height_);
  for (int r = 0; r < blockRows_; ++r) {
    for (int c = 0; c < blockColumns_; ++c) {
      const int64_t v = static_cast<int64_t>(gain) * counters[r * blockColumns_ + c];
      FillBlock(display, c, r, static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)), 0, 0);
    }
  }
}

uint8_t SmokeFlameDetector::AccumulateBlockMotion() {
  if (!FrameMatches()) return 0;
  const int blocks = BlockCount();
  uint8_t* slot = blockMaskRing_.data() + static_cast<size_t>(blockRingIndex_) * blocks;
  for (int b = 0; b < blocks; ++b) blockCounters_[b] += blockMotion_[b];
  if (blockRingFill_ > kBlockWindow - 1) {
    // The mask of kBlockWindow frames ago leaves the counters.
    for (int b = 0; b < blocks; ++b) blockCounters_[b] -= slot[b];
  } else {
    ++blockRingFill_;
  }
  std::copy_n(blockMotion_.data(), blocks, slot);
  blockRingIndex_ = (blockRingIndex_ + 1) % kBlockWindow;

  int busy = 0;
  for (int b = 0; b < blocks; ++b) busy += blockCounters_[b] > 36 ? 1 : 0;
  return busy > 3 ? 1 : 0;
}

void SmokeFlameDetector::FilterBlockSpread() {
  if (!FrameMatches() || !blockMode_) return;
  for (int r = 0; r < blockRows_; ++r) {
    for (int c = 0; c < blockColumns_; ++c) {
      const int b = r * blockColumns_ + c;
      if (blockMotion_[b] == 0) continue;
      int n = 0;
      int sumX = 0;
      int sumXX = 0;
      int sumY = 0;
      int sumYY = 0;
      for (int j = 0; j < kBlockSize; ++j) {
        const int y = r * kBlockSize + j;
        const uint8_t* cur = source_->Row(y) + 3 * kBlockSize * c;
        const uint8_t* prev = previousFrame_.Row(y) + 3 * kBlockSize * c;
        for (int i = 0; i < kBlockSize; ++i) {
          const int d = std::abs(cur[3 * i] - prev[3 * i]) +
                        std::abs(cur[3 * i + 1] - prev[3 * i + 1]) +
                        std::abs(cur[3 * i + 2] - prev[3 * i + 2]);
          if (d >= 46) {
            ++n;
            sumX += i;
            sumXX += i * i;
            sumY += j;
            sumYY += j * j;
          }
        }
      }
      // Variance E[x^2] - E[x]^2 >= 10, multiplied through by n^2 so that it stays exact.
      const bool spread =
          n > 50 && n * sumXX - sumX * sumX >= 10 * n * n && n * sumYY - sumY * sumY >= 10 * n * n;
      if (!spread) blockMotion_[b] = 0;
    }
  }
}

int SmokeFlameDetector::BlockMeanEdge(std::span<const int32_t> edges, int column, int row) const {
  int32_t sum = 0;
  for (int y = row * kBlockSize; y < (row + 1) * kBlockSize; ++y) {
    const int32_t* e = edges.data() + static_cast<size_t>(y) * width_ + column * kBlockSize;
    for (int x = 0; x < kBlockSize; ++x) sum += e[x];
  }
  return sum / (kBlockSize * kBlockSize);
}

void SmokeFlameDetector::PlotBlockEdges(int column, int row, Dib& display) {
  if (!FrameMatches() || !blockMode_) return;
  EnsureColourPane(display, width_, height_);
  const int last = width_ - 1;
  for (int y = 0; y < height_; ++y) {
    uint8_t* p = display.Row(y);
    std::memmove(p, p + 3, static_cast<size_t>(3 * last));
    p[3 * last] = p[3 * last + 1] = p[3 * last + 2] = 0;
  }
  if (BlockCount() == 0) return;
  column = std::clamp(column, 0, blockColumns_ - 1);
  row = std::clamp(row, 0, blockRows_ - 1);
  const int current = std::min(BlockMeanEdge(currentEdges_, column, row), height_ - 1);
  const int background = std::min(BlockMeanEdge(backgroundEdges_, column, row), height_ - 1);
  uint8_t* yellow = display.Row(current) + 3 * last;
  yellow[0] = 0;
  yellow[1] = 255;
  yellow[2] = 255;
  uint8_t* blue = display.Row(background) + 3 * last;
  blue[0] = 255;
  blue[1] = 0;
  blue[2] = 0;
}

void SmokeFlameDetector::ComputeEdgeStrength() {
  if (!FrameMatches() || !blockMode_) return;
  TextureMap(*source_, currentEdges_);
}

uint8_t SmokeFlameDetector::TestEdgeLoss() {
  if (!FrameMatches() || !blockMode_) return 0;
  int smokeBlocks = 0;
  bool anyMotion = false;
  for (int r = 0; r < blockRows_; ++r) {
    for (int c = 0; c < blockColumns_; ++c) {
      const int block = r * blockColumns_ + c;
      smokeBlocks_[block] = 0;
      if (blockMotion_[block] == 0) continue;
      anyMotion = true;
      // Smoke blurs what is behind it: the block lost edge strength.
      const int current = BlockMeanEdge(currentEdges_, c, r);
      const int background = BlockMeanEdge(backgroundEdges_, c, r);
      if (current + 4 < background) {
        smokeBlocks_[block] = 1;
        ++smokeBlocks;
      }
    }
  }
  if (!anyMotion) {
    // A still frame is the new background.
    std::copy(currentEdges_.begin(), currentEdges_.end(), backgroundEdges_.begin());
    background_.CopyFrom(*source_, true);
  }
  lastSmokeBlocks_ = smokeBlocks;
  smokeCounts_[smokeCountIndex_] = smokeBlocks;
  smokeCountIndex_ = (smokeCountIndex_ + 1) % kBlockWindow;
  int total = 0;
  for (const int32_t count : smokeCounts_) total += count;
  return total > 24 ? 1 : 0;
}

// --- end of frame --------------------------------------------------------------------------------

void SmokeFlameDetector::EndOfFrame() {
  if (!FrameMatches()) return;
  if (blockMode_) {
    source_->SwapPixels(previousFrame_);
    std::swap(currentBlockMeans_, previousBlockMeans_);
  } else {
    ringIndex_ = (ringIndex_ + 1) % historyLength_;
    source_->SwapPixels(ring_[ringIndex_]);
    if (liveLuminance_ != nullptr) {
      std::copy_n(liveLuminance_, previousLuminance_.size(), previousLuminance_.data());
    }
  }
}

void SmokeFlameDetector::StoreFrameCopy() {
  if (!FrameMatches() || blockMode_) return;
  ringIndex_ = (ringIndex_ + 1) % historyLength_;
  ring_[ringIndex_].CopyFrom(*source_, true);
}

}  // namespace fw
