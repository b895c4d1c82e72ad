// What the background models' row kernels share: the build of a kernel for several instruction
// sets, branch-free selects, the channel split, and the single-precision constants as the models
// use them. Only the models' own files include it.
#pragma once

#include <bit>
#include <cstdint>

// The row kernels that carry the per-frame work of the first mixture, the channel split and the
// display are built three times on x86-64, for AVX-512 (x86-64-v4), for AVX2 and for the baseline
// instruction set, and the loader picks the one the processor runs. All do the same
// single-precision operations in the same order (no fused multiply-add), so the results are the
// same bit for bit. Sanitized builds (FW_NO_KERNEL_VARIANTS) keep the baseline only: the loader
// picks a variant before a sanitizer's runtime is ready.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(FW_NO_KERNEL_VARIANTS) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define FW_ROW_KERNEL __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define FW_ROW_KERNEL
#endif

namespace fw::background {

constexpr float kOneSixtieth = 0.016666668f;
constexpr float kMixtureAlpha = 0.05f;  // learning rate of both mixtures
constexpr float kBackgroundWeight = 0.95f;
constexpr float kMinVariance = 1e-7f;

// a where the mask is all ones, b where it is zero; a select the row kernels can vectorise.
inline float Choose(int32_t mask, float a, float b) {
  return std::bit_cast<float>((std::bit_cast<int32_t>(a) & mask) |
                              (std::bit_cast<int32_t>(b) & ~mask));
}
inline int32_t Choose32(int32_t mask, int32_t a, int32_t b) {
  return (a & mask) | (b & ~mask);
}

// Splits a row of 24-bit pixels into three float rows (blue, green, red).
void SplitChannels(const uint8_t* src, int width, float* blue, float* green, float* red);

// Squared colour distances of a pixel to the previous frame (integer) and to the float background,
// summed over blue, green and red in that order (7001, 7004).
struct Distances {
  int frame;
  float background;
};
inline Distances SquaredDistances(const uint8_t* cur, const uint8_t* prev, const float* bg) {
  Distances d{0, 0.0f};
  for (int ch = 0; ch < 3; ++ch) {
    const int e = cur[ch] - prev[ch];
    d.frame += e * e;
    const float h = static_cast<float>(cur[ch]) - bg[ch];
    d.background += h * h;
  }
  return d;
}

}  // namespace fw::background
