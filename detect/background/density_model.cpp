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
  const size_t blockCount = (pixels_ + kDensitySamples - 1) / kDensitySamples;
  samples_.assign(blockCount * 3 * kDensitySamples * kDensitySamples, 0);
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

// The samples are kept in blocks of 60 consecutive pixels (in the order of the frame's pixels).
// Within a block, sample slot s of the block's pixel k lives in plane (s - k) mod 60, a plane
// holding one sample of each of the block's pixels. Each detection frame replaces slot
// (ring + i) mod 60 of pixel i, that is the same plane of every block: a frame's new samples are
// written in runs, and the samples one pixel sums lie within its block's 10800 bytes.
namespace {

constexpr size_t kPlaneBytes = 3 * kDensitySamples;  // one sample of each pixel of a block
constexpr size_t kBlockBytes = kPlaneBytes * kDensitySamples;

}  // namespace

void DensityModel::Step(BackgroundParams& params) {
  if (!FrameFits()) return;
  uint8_t* const blocks = samples_.data();
  if (learningCount_ < kLearningFrames) {
    const int n = learningCount_;
    size_t i = 0;
    for (int y = 0; y < height_; ++y) {
      const uint8_t* src = source_->Row(y);
      for (int x = 0; x < width_; ++x, ++i) {
        const size_t k = i % kDensitySamples;
        const size_t plane = (n + kDensitySamples - k) % kDensitySamples;
        std::copy_n(src + 3 * x, 3,
                    blocks + (i / kDensitySamples) * kBlockBytes + plane * kPlaneBytes + 3 * k);
      }
    }
    ++learningCount_;
    return;
  }
  const float* kernel = KernelRow(params.kernelIndex).data();
  const float threshold = params.probabilityThreshold;
  // Every term of the sum is a product of three kernel values, never negative, so the partial
  // sums only grow (rounding keeps that order): a pixel is background as soon as a partial sum
  // reaches the threshold, and no pixel can be when even 60 of the largest possible terms, summed
  // in the same order, stay below it. Both shortcuts leave every mask byte as the full sum sets it.
  const float largest = *std::max_element(kernel, kernel + 256);
  const float largestTerm = largest * largest * largest;
  float largestSum = 0.0f;
  for (int s = 0; s < kDensitySamples; ++s) largestSum += largestTerm;
  const bool reachable = kOneSixtieth * largestSum >= threshold;
  int ring = params.sampleRingIndex % kDensitySamples;
  if (ring < 0) ring += kDensitySamples;
  const size_t replacedPlane = static_cast<size_t>(ring) * kPlaneBytes;
  size_t i = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x, ++i) {
      const size_t k = i % kDensitySamples;
      uint8_t* block = blocks + (i / kDensitySamples) * kBlockBytes;
      bool background = false;
      if (reachable) {
        const int b = src[3 * x];
        const int g = src[3 * x + 1];
        const int r = src[3 * x + 2];
        float sum = 0.0f;
        // Slots 0..k-1 lie in planes 60-k..59, slots k..59 in planes 0..59-k.
        const uint8_t* column = block + 3 * k;
        const auto add = [&](const uint8_t* from, const uint8_t* to) {
          for (const uint8_t* sample = from; sample < to && !background; sample += kPlaneBytes) {
            sum += kernel[std::abs(b - sample[0])] * kernel[std::abs(g - sample[1])] *
                   kernel[std::abs(r - sample[2])];
            background = kOneSixtieth * sum >= threshold;
          }
        };
        add(column + (kDensitySamples - k) * kPlaneBytes, column + kBlockBytes);
        add(column, column + (kDensitySamples - k) * kPlaneBytes);
      }
      m[x] = background ? 0 : 1;
      std::copy_n(src + 3 * x, 3, block + replacedPlane + 3 * k);
    }
  }
  params.sampleRingIndex = static_cast<int>((ring + pixels_) % kDensitySamples);
  if (!postProcessing_) Paint();
}

}  // namespace fw
