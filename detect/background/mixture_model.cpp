#include "detect/background/mixture_model.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#include "detect/background/model_kernels.h"

namespace fw {

namespace {

using background::Choose;
using background::Choose32;
using background::kBackgroundWeight;
using background::kMinVariance;
using background::kMixtureAlpha;

constexpr float kOneEighteenth = 0.055555556f;
constexpr float kReplacementWeight = 0.025000006f;
constexpr float kMixtureMatchCost = 1500.0f;
constexpr float kMaxMixtureVariance = 25.0f;
constexpr int kMixtureLearnFrames = 12;  // learning frames per component

// Fields of a first-mixture component. The variance is one value for all channels, kept within
// [1e-7, 25]; the two cost terms depend on the variance alone and are kept beside it, so that a
// frame divides only for the component it moves.
enum MixtureField {
  kVariance,
  kMeanBlue,
  kMeanGreen,
  kMeanRed,
  kWeight,
  kDistanceScale,  // 0.5 / variance + 1/18
  kVarianceCost,   // 1.5 x (variance / 9 + 9 / variance - 2)
  kMixtureFields
};

constexpr int kLanes = kMixtureLanes;
constexpr int kBlockLanes = kMixtureComponents * kMixtureFields;  // lane rows of one block

// The records of one block of kLanes neighbouring pixels of a row: field f of component slot c
// of lane l is first[c * kMixtureFields + f].lane[l]. All fields of all five components of the
// block lie together, so the block is read once per frame and its moving components are
// fetched and stored within it.
struct MixtureBlock {
  MixtureLanes* first;
  float* row(int slot, int field) const { return first[slot * kMixtureFields + field].lane; }
  float& at(int slot, int field, int l) const { return row(slot, field)[l]; }
};

// Clamps a variance as the matching does (below 1e-7 it becomes 1, from 25 on it is 25) and
// refreshes the cost terms that depend on it. Clamping when the variance is written gives the
// values that clamping before every match would: nothing reads a variance in between.
void SetMixtureVariance(const MixtureBlock& b, int l, int slot, float variance) {
  if (variance < kMinVariance) variance = 1.0f;
  if (variance >= kMaxMixtureVariance) variance = kMaxMixtureVariance;
  b.at(slot, kVariance, l) = variance;
  b.at(slot, kDistanceScale, l) = 0.5f / variance + kOneEighteenth;
  b.at(slot, kVarianceCost, l) = 1.5f * (variance / 9.0f + 9.0f / variance - 2.0f);
}

void SwapMixtureSlots(const MixtureBlock& b, int l, int first, int second) {
  for (int f = 0; f < kMixtureFields; ++f) std::swap(b.at(first, f, l), b.at(second, f, l));
}

// The last background component of a record in weight order: the smallest i in 0..3 whose
// cumulative weight reaches 0.95, `b` when none does.
int8_t LastBackground(const MixtureBlock& block, int l, int8_t b) {
  float sum = 0.0f;
  for (int i = 0; i < kMixtureComponents - 1; ++i) {
    sum += block.at(i, kWeight, l);
    if (sum >= kBackgroundWeight) return static_cast<int8_t>(i);
  }
  return b;
}

// Sorts the five components of a record, largest key first, by adjacent exchanges (stable; at

// One frame row of the mixture test, block by block. For each pixel of a block:
// 1. the matching cost of all five components, keeping the cheapest (the first of equal costs);
// 2. the weights: a matched background component k (cost below 1500, k not above B) makes all
//    weights scale by 1 - alpha and k gain alpha; otherwise the last component is replaced, with
//    weight 0.025000006, and components 0..3 share the rest;
// 3. the moving component (k, or 4 for a replacement) is updated: with rho = alpha / its weight,
//    mean = rho x pixel + (1 - rho) x mean and variance = rho (1 - rho) x D' + (1 - rho) x
//    variance + 9 rho; a replacement takes the pixel as its mean and the smallest variance of
//    components 0..3;
// 4. the moving component climbs past lighter ones, as the stable adjacent-exchange sort would
//    move it: a record is in weight order before its update, and an update changes all other
//    weights by the same monotonic step, so they stay in order and the ones lighter than the
//    moving component are the last ones above it. It lands at its slot less their number, the
//    slots between move down by one, and the record is written back in that order;
// 5. the mask (1 for a replacement) and B, the smallest i in 0..3 whose cumulative weight
//    reaches 0.95 (unchanged when none does).
// Picking the moving component and placing the record are selects over the five slots, so the
// lanes of a block run as one branch-free vector loop.
FW_ROW_KERNEL void MixtureTestRow(MixtureLanes* records, const float* const channel[3],
                                  int8_t* bRow, uint8_t* maskRow, int width) {
  constexpr float alpha = kMixtureAlpha;
  constexpr float keep = 1.0f - kMixtureAlpha;
  constexpr int kLast = kMixtureComponents - 1;
  for (int x0 = 0; x0 < width; x0 += kLanes, records += kBlockLanes, bRow += kLanes) {
    float* const f = records[0].lane;
    const float* const blue = channel[0] + x0;
    const float* const green = channel[1] + x0;
    const float* const red = channel[2] + x0;
    auto at = [f](int slot, int field) { return f + (slot * kMixtureFields + field) * kLanes; };
    // The byte rows are widened and narrowed outside the lane loop, so that it runs on 32-bit
    // lanes alone and vectorises at the full width.
    int32_t last[kLanes];
    int32_t foreground[kLanes];
    for (int l = 0; l < kLanes; ++l) last[l] = bRow[l];
#pragma GCC ivdep
    for (int l = 0; l < kLanes; ++l) {
      const float pb = blue[l];
      const float pg = green[l];
      const float pr = red[l];
      // 1. Matching costs.
      float cheapest = 1e11f;
      int32_t best = -1;
#pragma GCC unroll 5
      for (int c = 0; c < kMixtureComponents; ++c) {
        const float db = pb - at(c, kMeanBlue)[l];
        const float dg = pg - at(c, kMeanGreen)[l];
        const float dr = pr - at(c, kMeanRed)[l];
        const float distance = db * db + dg * dg + dr * dr;
        const float cost = distance * at(c, kDistanceScale)[l] + at(c, kVarianceCost)[l];
        const int32_t better = -static_cast<int32_t>(cost < cheapest);
        cheapest = Choose(better, cost, cheapest);
        best = Choose32(better, c, best);
      }
      const int32_t matched =
          -static_cast<int32_t>((best >= 0) & (cheapest < kMixtureMatchCost) & (best <= last[l]));

      // 2. Weights; the slot that moves and the slot its variance comes from.
      const float share = (at(kLast, kWeight)[l] - kReplacementWeight) * 0.25f;
      float weight[kMixtureComponents];
      int32_t smallest = 0;
      float smallestVariance = 1e11f;
#pragma GCC unroll 5
      for (int c = 0; c < kMixtureComponents; ++c) {
        const float old = at(c, kWeight)[l];
        const float scaled = keep * old;
        const float gained = scaled + alpha;
        const float replaced = c < kLast ? old + share : kReplacementWeight;
        const int32_t isBest = -static_cast<int32_t>(best == c);
        weight[c] = Choose(matched, Choose(isBest, gained, scaled), replaced);
        if (c < kLast) {
          const float v = at(c, kVariance)[l];
          const int32_t less = -static_cast<int32_t>(v < smallestVariance);
          smallestVariance = Choose(less, v, smallestVariance);
          smallest = Choose32(less, c, smallest);
        }
      }
      const int32_t target = Choose32(matched, best, kLast);
      const int32_t source = Choose32(matched, best, smallest);

      // 3. The moving component.
      float moving = weight[0];
      float oldBlue = at(0, kMeanBlue)[l];
      float oldGreen = at(0, kMeanGreen)[l];
      float oldRed = at(0, kMeanRed)[l];
      float oldVariance = at(0, kVariance)[l];
      float oldScale = at(0, kDistanceScale)[l];
      float oldCost = at(0, kVarianceCost)[l];
#pragma GCC unroll 4
      for (int c = 1; c < kMixtureComponents; ++c) {
        const float meanBlue = at(c, kMeanBlue)[l];
        const float meanGreen = at(c, kMeanGreen)[l];
        const float meanRed = at(c, kMeanRed)[l];
        const float variance = at(c, kVariance)[l];
        const float distanceScale = at(c, kDistanceScale)[l];
        const float varianceCost = at(c, kVarianceCost)[l];
        const int32_t isTarget = -static_cast<int32_t>(target == c);
        const int32_t isSource = -static_cast<int32_t>(source == c);
        moving = Choose(isTarget, weight[c], moving);
        oldBlue = Choose(isTarget, meanBlue, oldBlue);
        oldGreen = Choose(isTarget, meanGreen, oldGreen);
        oldRed = Choose(isTarget, meanRed, oldRed);
        oldVariance = Choose(isSource, variance, oldVariance);
        oldScale = Choose(isSource, distanceScale, oldScale);
        oldCost = Choose(isSource, varianceCost, oldCost);
      }
      const float rho = alpha / moving;
      const float rest = 1.0f - rho;
      const float mb = rho * pb + rest * oldBlue;
      const float mg = rho * pg + rest * oldGreen;
      const float mr = rho * pr + rest * oldRed;
      const float db = pb - mb;
      const float dg = pg - mg;
      const float dr = pr - mr;
      const float distance = db * db + dg * dg + dr * dr;
      float v = rho * rest * distance + rest * oldVariance + 9.0f * rho;
      v = Choose(-static_cast<int32_t>(v < kMinVariance), 1.0f, v);
      v = Choose(-static_cast<int32_t>(v >= kMaxMixtureVariance), kMaxMixtureVariance, v);
      const float scale = 0.5f / v + kOneEighteenth;
      const float cost = 1.5f * (v / 9.0f + 9.0f / v - 2.0f);
      float moved[kMixtureFields];  // the moving component; its weight is `moving`
      moved[kVariance] = Choose(matched, v, oldVariance);
      moved[kMeanBlue] = Choose(matched, mb, pb);
      moved[kMeanGreen] = Choose(matched, mg, pg);
      moved[kMeanRed] = Choose(matched, mr, pr);
      moved[kDistanceScale] = Choose(matched, scale, oldScale);
      moved[kVarianceCost] = Choose(matched, cost, oldCost);

      // 4. The slot the moving component climbs to, and the record written back in order: the
      // slots above `lands` keep their components, the ones from `lands` to `target` take the
      // moving component and then the components above them. Slots are written from the last,
      // so that each reads the one above it before that is written.
      int32_t lighter = 0;
#pragma GCC unroll 4
      for (int c = 0; c < kLast; ++c) {
        lighter += static_cast<int32_t>(c < target) & static_cast<int32_t>(weight[c] < moving);
      }
      const int32_t lands = target - lighter;
      float placed[kMixtureComponents];
#pragma GCC unroll 5
      for (int c = kLast; c >= 0; --c) {
        const int32_t isLanding = -static_cast<int32_t>(c == lands);
        const int32_t shifts = -static_cast<int32_t>((c > lands) & (c <= target));
        placed[c] = Choose(isLanding, moving, Choose(shifts, weight[c > 0 ? c - 1 : 0], weight[c]));
        at(c, kWeight)[l] = placed[c];
#pragma GCC unroll 7
        for (int field = 0; field < kMixtureFields; ++field) {
          if (field == kWeight) continue;
          const float below = at(c, field)[l];
          const float above = c > 0 ? at(c - 1, field)[l] : below;
          at(c, field)[l] = Choose(isLanding, moved[field], Choose(shifts, above, below));
        }
      }

      // 5. Mask and B.
      foreground[l] = target == kLast;
      float sum[kLast];
      sum[0] = placed[0];
#pragma GCC unroll 3
      for (int i = 1; i < kLast; ++i) sum[i] = sum[i - 1] + placed[i];
      int32_t b = last[l];
#pragma GCC unroll 4
      for (int i = kLast - 1; i >= 0; --i) {
        b = Choose32(-static_cast<int32_t>(sum[i] >= kBackgroundWeight), i, b);
      }
      last[l] = b;
    }
    uint8_t mask[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      bRow[l] = static_cast<int8_t>(last[l]);
      mask[l] = static_cast<uint8_t>(foreground[l]);
    }
    std::memcpy(maskRow + x0, mask, static_cast<size_t>(std::min(kLanes, width - x0)));
  }
}

}  // namespace

MixtureModel::MixtureModel(Dib& source, Dib& display) : BackgroundModel(kKind, source, display) {
  blocks_ = (width_ + kLanes - 1) / kLanes;
  const size_t blocks = static_cast<size_t>(blocks_) * height_;
  records_.assign(blocks * kBlockLanes, MixtureLanes{});
  for (size_t k = 0; k < blocks; ++k) {
    const MixtureBlock b{records_.data() + k * kBlockLanes};
    for (int c = 0; c < kMixtureComponents; ++c) std::fill_n(b.row(c, kWeight), kLanes, 0.2f);
  }
  b_.assign(blocks * kLanes, 2);
  // The channel rows run to the end of the last block; the lanes past the frame's width stay 0.
  rowFloats_.assign(static_cast<size_t>(blocks_) * kLanes * 3, 0.0f);
}

MixtureComponent MixtureModel::ComponentAt(int pixel, int c) const {
  assert(pixel >= 0 && static_cast<size_t>(pixel) < pixels_);
  const int y = pixel / width_;
  const int x = pixel % width_;
  const MixtureLanes* block =
      records_.data() + (static_cast<size_t>(y) * blocks_ + x / kLanes) * kBlockLanes;
  auto field = [&](int f) { return block[c * kMixtureFields + f].lane[x % kLanes]; };
  return {field(kVariance), {field(kMeanBlue), field(kMeanGreen), field(kMeanRed)}, field(kWeight)};
}

int MixtureModel::Background(int pixel) const {
  assert(pixel >= 0 && static_cast<size_t>(pixel) < pixels_);
  const int y = pixel / width_;
  const int x = pixel % width_;
  return b_[static_cast<size_t>(y) * blocks_ * kLanes + x];
}

void MixtureModel::Step() {
  if (!FrameFits()) return;
  if (learningCount_ < kLearningFrames) {
    Learn();
    ++learningCount_;
    return;
  }
  Test();
  if (!postProcessing_) Paint();
}

// Frame n adds to component n / 12: channel sums in the means, the sum of the squared channels in
// the variance. All sums are of integers well below 2^24, so they are exact. After the last
// frame the records are ordered by weight (stable adjacent exchanges) and B is found.
void MixtureModel::Learn() {
  const int n = learningCount_;
  const int k = n / kMixtureLearnFrames;
  const bool finish = n % kMixtureLearnFrames == kMixtureLearnFrames - 1;
  const int w = width_;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    MixtureLanes* records = records_.data() + static_cast<size_t>(y) * blocks_ * kBlockLanes;
    int8_t* bRow = b_.data() + static_cast<size_t>(y) * blocks_ * kLanes;
    for (int x0 = 0; x0 < w; x0 += kLanes, records += kBlockLanes, bRow += kLanes) {
      const MixtureBlock block{records};
      float* meanBlue = block.row(k, kMeanBlue);
      float* meanGreen = block.row(k, kMeanGreen);
      float* meanRed = block.row(k, kMeanRed);
      float* variance = block.row(k, kVariance);
      const int lanes = std::min(kLanes, w - x0);
      const uint8_t* p = src + 3 * x0;
      for (int l = 0; l < lanes; ++l) {
        const int b = p[3 * l];
        const int g = p[3 * l + 1];
        const int red = p[3 * l + 2];
        meanBlue[l] += static_cast<float>(b);
        meanGreen[l] += static_cast<float>(g);
        meanRed[l] += static_cast<float>(red);
        variance[l] += static_cast<float>(b * b + g * g + red * red);
      }
      // The padding lanes past the row's end learn along with black pixels, so that their
      // records hold finite values like every other.
      if (finish) {
        for (int l = 0; l < kLanes; ++l) {
          const float mb = meanBlue[l] / 12.0f;
          const float mg = meanGreen[l] / 12.0f;
          const float mr = meanRed[l] / 12.0f;
          meanBlue[l] = mb;
          meanGreen[l] = mg;
          meanRed[l] = mr;
          SetMixtureVariance(block, l, k,
                             variance[l] / 36.0f - (mb * mb + mg * mg + mr * mr) / 3.0f);
        }
      }
      if (n == kLearningFrames - 1) {
        for (int l = 0; l < kLanes; ++l) {
          for (int pass = 0; pass < kMixtureComponents - 1; ++pass) {
            for (int i = 0; i < kMixtureComponents - 1 - pass; ++i) {
              if (block.at(i, kWeight, l) < block.at(i + 1, kWeight, l)) {
                SwapMixtureSlots(block, l, i, i + 1);
              }
            }
          }
          bRow[l] = LastBackground(block, l, bRow[l]);
        }
      }
    }
  }
}

void MixtureModel::Test() {
  const int w = width_;
  const size_t blocks = static_cast<size_t>(blocks_);
  const size_t padded = blocks * kLanes;
  float* const channel[3] = {rowFloats_.data(), rowFloats_.data() + padded,
                             rowFloats_.data() + 2 * padded};
  for (int y = 0; y < height_; ++y) {
    background::SplitChannels(source_->Row(y), w, channel[0], channel[1], channel[2]);
    MixtureTestRow(records_.data() + y * blocks * kBlockLanes, channel, b_.data() + y * padded,
                   mask_.data() + static_cast<size_t>(y) * w, w);
  }
}

}  // namespace fw
