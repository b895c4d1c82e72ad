#include "detect/background/density_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "detect/background/model_kernels.h"

namespace fw {

namespace {

using background::kOneSixtieth;

constexpr float kKernelSigmaStep = 1.0398629f;
constexpr float kKernelNorm = 0.3989423f;  // 1 / sqrt(2 pi)

}  // namespace

DensityModel::DensityModel(Dib& source, Dib& display) : BackgroundModel(kKind, source, display) {
  samples_.assign(pixels_ * 3 * kDensitySamples, 0);
  BuildKernelTable();
}

std::span<const float> DensityModel::KernelRow(int index) const {
  if (kernelTable_.empty()) return {};
  const int row = std::clamp(index, 0, kKernelRows - 1);
  return std::span<const float>(kernelTable_).subspan(static_cast<size_t>(row) * 256, 256);
}

// Row 0 is (1, 0.5, 0, ...); row i is a normal density of width i x 1.0398629 at the colour
// difference j, cut to 0 where its exponent reaches -32. Columns 128..255 stay 0, so that a colour
// difference of 128 or more contributes nothing.
void DensityModel::BuildKernelTable() {
  kernelTable_.assign(static_cast<size_t>(kKernelRows) * 256, 0.0f);
  kernelTable_[0] = 1.0f;
  kernelTable_[1] = 0.5f;
  for (int i = 1; i < kKernelRows; ++i) {
    const float sigma = static_cast<float>(i) * kKernelSigmaStep;
    float* row = kernelTable_.data() + static_cast<size_t>(i) * 256;
    for (int j = 0; j < kKernelColumns; ++j) {
      const float exponent = -static_cast<float>(j * j) / (2.0f * sigma * sigma);
      row[j] = exponent > -32.0f ? kKernelNorm / sigma * std::exp(exponent) : 0.0f;
    }
  }
}

void DensityModel::Step(BackgroundParams& params) {
  if (!FrameFits()) return;
  constexpr int kRecord = 3 * kDensitySamples;
  if (learningCount_ < kLearningFrames) {
    const int n = learningCount_;
    for (int y = 0; y < height_; ++y) {
      const uint8_t* src = source_->Row(y);
      uint8_t* record = samples_.data() + static_cast<size_t>(y) * width_ * kRecord;
      for (int x = 0; x < width_; ++x, record += kRecord) {
        std::copy_n(src + 3 * x, 3, record + 3 * n);
      }
    }
    ++learningCount_;
    return;
  }
  const float* kernel = KernelRow(params.kernelIndex).data();
  const float threshold = params.probabilityThreshold;
  int ring = params.sampleRingIndex % kDensitySamples;
  if (ring < 0) ring += kDensitySamples;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    uint8_t* record = samples_.data() + static_cast<size_t>(y) * width_ * kRecord;
    for (int x = 0; x < width_; ++x, record += kRecord) {
      const int b = src[3 * x];
      const int g = src[3 * x + 1];
      const int r = src[3 * x + 2];
      float sum = 0.0f;
      for (int s = 0; s < kDensitySamples; ++s) {
        const uint8_t* sample = record + 3 * s;
        sum += kernel[std::abs(b - sample[0])] * kernel[std::abs(g - sample[1])] *
               kernel[std::abs(r - sample[2])];
      }
      const float density = kOneSixtieth * sum;
      m[x] = density >= threshold ? 0 : 1;
      std::copy_n(src + 3 * x, 3, record + 3 * ring);
      ring = ring + 1 == kDensitySamples ? 0 : ring + 1;
    }
  }
  params.sampleRingIndex = ring;
  if (!postProcessing_) Paint();
}

}  // namespace fw
