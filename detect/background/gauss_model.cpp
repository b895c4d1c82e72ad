#include "detect/background/gauss_model.h"

#include "detect/background/model_kernels.h"

namespace fw {

namespace {

using background::Choose;
using background::kMinVariance;
using background::kOneSixtieth;

constexpr int kGaussLowVarianceDistance = 900;  // 30 squared

}  // namespace

GaussModel::GaussModel(Dib& source, Dib& display) : BackgroundModel(kKind, source, display) {
  rowFloats_.assign(static_cast<size_t>(width_) * 3, 0.0f);
  for (int ch = 0; ch < 3; ++ch) {
    mean_[ch].assign(pixels_, 0.0f);
    distance_[ch].assign(pixels_, 0.0f);
    variance_[ch].assign(pixels_, 0.0f);
  }
}

void GaussModel::Step() {
  if (!FrameFits()) return;
  if (gaussCount_ < kLearningFrames) {
    Learn();
    ++gaussCount_;
    return;
  }
  Test();
  if (!postProcessing_) Paint();
  // The count passes 60 once the first frame has been tested.
  if (gaussCount_ == kLearningFrames) ++gaussCount_;
}

// Sums and sums of squares of integers below 2^24: exact in single precision.
void GaussModel::Learn() {
  const bool finish = gaussCount_ == kLearningFrames - 1;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    const size_t row = static_cast<size_t>(y) * width_;
    for (int ch = 0; ch < 3; ++ch) {
      float* mean = mean_[ch].data() + row;
      float* variance = variance_[ch].data() + row;
      for (int x = 0; x < width_; ++x) {
        const float v = src[3 * x + ch];
        mean[x] += v;
        variance[x] += v * v;
        if (finish) {
          mean[x] = mean[x] * kOneSixtieth;
          variance[x] = variance[x] * kOneSixtieth - mean[x] * mean[x];
        }
      }
    }
  }
}

void GaussModel::Test() {
  const float threshold = threshold_;
  const int w = width_;
  float* value[3] = {rowFloats_.data(), rowFloats_.data() + w, rowFloats_.data() + 2 * w};
  for (int y = 0; y < height_; ++y) {
    const size_t row = static_cast<size_t>(y) * w;
    background::SplitChannels(source_->Row(y), w, value[0], value[1], value[2]);
    for (int ch = 0; ch < 3; ++ch) {
      const float* v = value[ch];
      const float* mean = mean_[ch].data() + row;
      float* distance = distance_[ch].data() + row;
      for (int x = 0; x < w; ++x) {
        const float e = v[x] - mean[x];
        distance[x] = e * e;
      }
    }
    const float* db = distance_[0].data() + row;
    const float* dg = distance_[1].data() + row;
    const float* dr = distance_[2].data() + row;
    const float* vb = variance_[0].data() + row;
    const float* vg = variance_[1].data() + row;
    const float* vr = variance_[2].data() + row;
    uint8_t* m = mask_.data() + row;
    for (int x = 0; x < w; ++x) {
      // Where a variance is below 1 the quotients are not used (they may be infinite). Integer
      // masks instead of branches, so that the row kernel vectorises.
      const int32_t lowVariance = (vb[x] < 1.0f) | (vg[x] < 1.0f) | (vr[x] < 1.0f);
      const int32_t far = (db[x] > kGaussLowVarianceDistance) |
                          (dg[x] > kGaussLowVarianceDistance) | (dr[x] > kGaussLowVarianceDistance);
      const int32_t beyond = db[x] / vb[x] + dg[x] / vg[x] + dr[x] / vr[x] > threshold;
      m[x] = static_cast<uint8_t>((lowVariance & far) | (~lowVariance & beyond));
    }
  }
}

void GaussModel::BeforePaint() {
  if (gaussCount_ <= kLearningFrames - 1) return;
  const int w = width_;
  float* value[3] = {rowFloats_.data(), rowFloats_.data() + w, rowFloats_.data() + 2 * w};
  for (int y = 0; y < height_; ++y) {
    const size_t row = static_cast<size_t>(y) * w;
    background::SplitChannels(source_->Row(y), w, value[0], value[1], value[2]);
    const uint8_t* m = mask_.data() + row;
    for (int ch = 0; ch < 3; ++ch) {
      const float* v = value[ch];
      float* mean = mean_[ch].data() + row;
      float* variance = variance_[ch].data() + row;
      const float* distance = distance_[ch].data() + row;
      for (int x = 0; x < w; ++x) {
        const float updated = 0.1f * distance[x] + 0.9f * variance[x];
        const float floored = updated < kMinVariance ? kMinVariance : updated;
        const float moved = 0.1f * v[x] + 0.9f * mean[x];
        const int32_t background = -static_cast<int32_t>(m[x] == 0);
        variance[x] = Choose(background, floored, variance[x]);
        mean[x] = Choose(background, moved, mean[x]);
      }
    }
  }
}

}  // namespace fw
