#include "core/wavelet.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <span>
#include <utility>

#include "core/resample.h"

namespace fw {

namespace {

// The analysis pair. Low(a, b, c) takes x[i-1], x[i], x[i+1]; High(a, b, c) takes x[i], x[i+1],
// x[i+2].
constexpr float kLow0 = 0.25f;
constexpr float kLow1 = 0.5f;
constexpr float kLow2 = 0.25f;
constexpr float kHigh0 = 0.25f;  // subtracted
constexpr float kHigh1 = 0.5f;
constexpr float kHigh2 = 0.25f;  // subtracted

struct FloatPair {
  static float Low(float a, float b, float c) { return kLow0 * a + kLow1 * b + kLow2 * c; }
  static float High(float a, float b, float c) { return kHigh1 * b - kHigh0 * a - kHigh2 * c; }
};

// Bytes are never negative, so the divisions are the same as shifts here; kept as divisions to
// truncate each term as the byte form defines.
struct BytePair {
  static int32_t Low(int32_t a, int32_t b, int32_t c) { return b / 2 + c / 4 + a / 4; }
  static int32_t High(int32_t a, int32_t b, int32_t c) { return b / 2 - c / 4 - a / 4; }
};

// Arithmetic shifts: negative detail values round toward minus infinity.
struct ShiftPair {
  static int32_t Low(int32_t a, int32_t b, int32_t c) { return (b >> 1) + (c >> 2) + (a >> 2); }
  static int32_t High(int32_t a, int32_t b, int32_t c) { return (b >> 1) - (c >> 2) - (a >> 2); }
};

inline int Reflect(int i, int n) {
  if (i < 0) return -i;
  if (i > n - 1) return 2 * (n - 1) - i;
  return i;
}

template <typename Pair, typename In, typename Out>
void AnalyzeLine(int n, const In* x, ptrdiff_t s, Out* out, ptrdiff_t os) {
  assert(n >= 2 && n % 2 == 0);
  const int half = n / 2;
  Out* low = out;
  Out* high = out + half * os;
  auto at = [&](int i) { return x[Reflect(i, n) * s]; };
  low[0] = Pair::Low(at(-1), x[0], at(1));
  high[0] = Pair::High(x[0], at(1), at(2));
  for (int k = 1; k < half - 1; ++k) {
    const In* p = x + 2 * k * s;
    low[k * os] = Pair::Low(p[-s], p[0], p[s]);
    high[k * os] = Pair::High(p[0], p[s], p[2 * s]);
  }
  if (half > 1) {
    const int k = half - 1;
    const int i = 2 * k;
    low[k * os] = Pair::Low(at(i - 1), at(i), at(i + 1));
    high[k * os] = Pair::High(at(i), at(i + 1), at(i + 2));
  }
}

// The column pass of one level, a whole row at a time so that the compiler can vectorise it
// across columns; every value is computed exactly as AnalyzeLine computes it down a column.
template <typename Pair, typename T>
void AnalyzeColumns(int width, int height, const T* __restrict a, ptrdiff_t stride,
                    T* __restrict b) {
  assert(height >= 2 && height % 2 == 0);
  const int half = height / 2;
  auto row = [&](int i) { return a + Reflect(i, height) * stride; };
  for (int k = 0; k < half; ++k) {
    const int i = 2 * k;
    const T* __restrict up = row(i - 1);
    const T* __restrict mid = row(i);
    const T* __restrict down = row(i + 1);
    const T* __restrict down2 = row(i + 2);
    T* __restrict low = b + k * stride;
    T* __restrict high = b + (half + k) * stride;
    for (int c = 0; c < width; ++c) {
      low[c] = Pair::Low(up[c], mid[c], down[c]);
      high[c] = Pair::High(mid[c], down[c], down2[c]);
    }
  }
}

// Inverse of one analysed line of n = 2m samples (low band L[0..m-1], high band H[0..m-1]) under
// the same symmetric extension. Writing E and O for the even and odd samples, the analysis reads
//   L[k] = E[k]/2 + (O[k-1] + O[k])/4,   H[k] = O[k]/2 - (E[k] + E[k+1])/4.
// Eliminating E leaves the tridiagonal system
//   4 O[k] + (O[k-1] + O[k]) + (O[j-1] + O[j]) = 8 H[k] + 4 L[k] + 4 L[j],   j = k + 1,
// with indices reflected at both ends. Every row is diagonally dominant, so it is solved by
// elimination without pivoting; then E[k] = 2 L[k] - (O[k-1] + O[k]) / 2. The elimination
// factors are parked in the even outputs until the odd ones are known.
void SynthesizeLine(int n, const float* in, ptrdiff_t is, float* out, ptrdiff_t os) {
  assert(n >= 2 && n % 2 == 0);
  const int m = n / 2;
  const float* low = in;
  const float* high = in + m * is;
  auto before = [](int k) { return k > 0 ? k - 1 : 0; };      // O[-1] = O[0]
  auto after = [m](int k) { return k + 1 < m ? k + 1 : k; };  // E[m] = E[m-1]
  float prevFactor = 0.0f;
  float prevValue = 0.0f;
  for (int k = 0; k < m; ++k) {
    float a = 0.0f;
    float b = 4.0f;
    float c = 0.0f;
    // The terms O[k-1] + O[k] and O[j-1] + O[j], each index sorted into a, b or c.
    const int j = after(k);
    const int terms[4] = {before(k), k, before(j), j};
    for (const int t : terms) {
      if (t < k) {
        a += 1.0f;
      } else if (t > k) {
        c += 1.0f;
      } else {
        b += 1.0f;
      }
    }
    const float d = 8.0f * high[k * is] + 4.0f * low[k * is] + 4.0f * low[j * is];
    const float pivot = b - a * prevFactor;
    prevFactor = c / pivot;
    prevValue = (d - a * prevValue) / pivot;
    out[2 * k * os] = prevFactor;
    out[(2 * k + 1) * os] = prevValue;
  }
  for (int k = m - 2; k >= 0; --k) {
    out[(2 * k + 1) * os] -= out[2 * k * os] * out[(2 * k + 3) * os];
  }
  for (int k = 0; k < m; ++k) {
    const float odd = out[(2 * k + 1) * os];
    const float oddBefore = out[(2 * before(k) + 1) * os];
    out[2 * k * os] = 2.0f * low[k * is] - 0.5f * (oddBefore + odd);
  }
}

// True when a side of `size` samples halves to an even length at every one of `levels` levels.
bool DividesLevels(int size, int levels) {
  return levels >= 1 && levels < 30 && size >= (1 << levels) && size % (1 << levels) == 0;
}

// The power-of-two part of an image that the float transforms use, or false when the image's
// depth or size does not allow `levels` levels.
bool FloatRegion(const Dib& image, int levels, int& width, int& height) {
  if (image.GetBitCount() != 8 && image.GetBitCount() != 24) return false;
  width = LargestPowerOfTwo(image.Width());
  height = LargestPowerOfTwo(image.Height());
  return DividesLevels(width, levels) && DividesLevels(height, levels);
}

}  // namespace

int LargestPowerOfTwo(int n) {
  if (n <= 0) return -1;
  int p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

void Analyze1D(int n, const uint8_t* input, int inputStride, float* output, int outputStride) {
  AnalyzeLine<FloatPair>(n, input, inputStride, output, outputStride);
}

void Analyze1D(int n, const float* input, int inputStride, float* output, int outputStride) {
  AnalyzeLine<FloatPair>(n, input, inputStride, output, outputStride);
}

void Analyze1D(int n, const uint8_t* input, int inputStride, int32_t* output, int outputStride) {
  AnalyzeLine<BytePair>(n, input, inputStride, output, outputStride);
}

void Analyze1D(int n, const int32_t* input, int inputStride, int32_t* output, int outputStride) {
  AnalyzeLine<ShiftPair>(n, input, inputStride, output, outputStride);
}

void Analyze2D(int width, int height, const uint8_t* picture, int rowStride, int pixelStride,
               float* planeA, float* planeB) {
  for (int r = 0; r < height; ++r) {
    AnalyzeLine<FloatPair>(width, picture + static_cast<ptrdiff_t>(r) * rowStride, pixelStride,
                           planeA + static_cast<ptrdiff_t>(r) * width, 1);
  }
  AnalyzeColumns<FloatPair>(width, height, planeA, width, planeB);
}

void Analyze2D(int width, int height, const float* input, int inputStride, float* planeA,
               float* planeB, int planeStride) {
  for (int r = 0; r < height; ++r) {
    AnalyzeLine<FloatPair>(width, input + static_cast<ptrdiff_t>(r) * inputStride, 1,
                           planeA + static_cast<ptrdiff_t>(r) * planeStride, 1);
  }
  AnalyzeColumns<FloatPair>(width, height, planeA, planeStride, planeB);
}

void Analyze2D(const uint8_t* picture, int x, int y, int width, int height, int bytesPerPixel,
               int rowStride, int32_t* planeA, int32_t* planeB) {
  for (int r = 0; r < height; ++r) {
    const uint8_t* line = picture + static_cast<ptrdiff_t>(y + r) * rowStride +
                          static_cast<ptrdiff_t>(x) * bytesPerPixel;
    AnalyzeLine<BytePair>(width, line, bytesPerPixel, planeA + static_cast<ptrdiff_t>(r) * width,
                          1);
  }
  AnalyzeColumns<ShiftPair>(width, height, planeA, width, planeB);
}

void Analyze2D(int width, int height, const int32_t* input, int inputStride, int32_t* planeA,
               int32_t* planeB, int planeStride) {
  for (int r = 0; r < height; ++r) {
    AnalyzeLine<ShiftPair>(width, input + static_cast<ptrdiff_t>(r) * inputStride, 1,
                           planeA + static_cast<ptrdiff_t>(r) * planeStride, 1);
  }
  AnalyzeColumns<ShiftPair>(width, height, planeA, planeStride, planeB);
}

void AnalyzeLevels(const uint8_t* picture, int width, int height, int bytesPerPixel, int rowStride,
                   float* planeA, float* planeB, int levels) {
  Analyze2D(width, height, picture, rowStride, bytesPerPixel, planeA, planeB);
  for (int level = 1; level < levels; ++level) {
    Analyze2D(width >> level, height >> level, planeB, width, planeA, planeB, width);
  }
}

void AnalyzeLevels(const uint8_t* picture, int x, int y, int width, int height, int bytesPerPixel,
                   int rowStride, int32_t* planeA, int32_t* planeB, int levels) {
  Analyze2D(picture, x, y, width, height, bytesPerPixel, rowStride, planeA, planeB);
  for (int level = 1; level < levels; ++level) {
    Analyze2D(width >> level, height >> level, planeB, width, planeA, planeB, width);
  }
}

int32_t* AnalyzeLevels(const uint8_t* bytes, int n, int32_t* planeA, int32_t* planeB, int levels) {
  const int length = LargestPowerOfTwo(n);
  AnalyzeLine<BytePair>(length, bytes, 1, planeA, 1);
  int32_t* current = planeA;
  int32_t* other = planeB;
  for (int level = 1; level < levels; ++level) {
    AnalyzeLine<ShiftPair>(length, current, 1, other, 1);
    std::swap(current, other);
  }
  return current;
}

void SynthesizeLevels(int width, int height, float* plane, float* scratch, int levels) {
  for (int level = levels; level >= 1; --level) {
    const int w = width >> (level - 1);
    const int h = height >> (level - 1);
    for (int c = 0; c < w; ++c) SynthesizeLine(h, plane + c, width, scratch + c, width);
    for (int r = 0; r < h; ++r) {
      const ptrdiff_t row = static_cast<ptrdiff_t>(r) * width;
      SynthesizeLine(w, scratch + row, 1, plane + row, 1);
    }
  }
}

float DetailEnergy(const int32_t* plane, int width, int height) {
  int64_t sum = 0;
  const int quarterRows = height / 4;
  for (int r = 0; r < height; ++r) {
    const int32_t* row = plane + static_cast<ptrdiff_t>(r) * width;
    for (int c = r < quarterRows ? width / 4 : 0; c < width; ++c) {
      sum += static_cast<int64_t>(row[c]) * row[c];
    }
  }
  return static_cast<float>(sum) / (static_cast<float>(width * height) * 0.75f);
}

bool FloatWavelet(Dib& image, int levels, Dib* destination) {
  int w = 0;
  int h = 0;
  if (!FloatRegion(image, levels, w, h)) return false;
  Dib& target = destination != nullptr ? *destination : image;
  if (target.GetBitCount() != image.GetBitCount()) return false;
  const int channels = image.BytesPerPixel();
  const size_t section = static_cast<size_t>(w) * h;
  std::array<std::vector<float>, 2>& planes = image.FloatWaveletPlanes();
  planes[0].resize(section * channels);
  planes[1].resize(section * channels);
  for (int c = 0; c < channels; ++c) {
    AnalyzeLevels(image.Pixels() + c, w, h, channels, image.Stride(),
                  planes[0].data() + c * section, planes[1].data() + c * section, levels);
  }
  FloatPlanesToImage(planes[1], w, h, image.GetBitCount(), target);
  return true;
}

bool FloatWaveletInverse(Dib& image, int levels, Dib* destination) {
  int w = 0;
  int h = 0;
  if (!FloatRegion(image, levels, w, h)) return false;
  Dib& target = destination != nullptr ? *destination : image;
  if (target.GetBitCount() != image.GetBitCount()) return false;
  const int channels = image.BytesPerPixel();
  const size_t section = static_cast<size_t>(w) * h;
  std::array<std::vector<float>, 2>& planes = image.FloatWaveletPlanes();
  if (planes[0].size() != section * channels || planes[1].size() != section * channels) {
    return false;
  }
  for (int c = 0; c < channels; ++c) {
    SynthesizeLevels(w, h, planes[1].data() + c * section, planes[0].data() + c * section, levels);
  }
  FloatPlanesToImage(planes[1], w, h, image.GetBitCount(), target);
  return true;
}

bool IntWaveletRect(Dib& image, int x, int y, int width, int height, int channel, int levels,
                    Dib* destination) {
  const int channels = image.BytesPerPixel();
  if ((image.GetBitCount() != 8 && image.GetBitCount() != 24) || channel < 0 ||
      channel >= channels || x < 0 || y < 0 || !DividesLevels(width, levels) ||
      !DividesLevels(height, levels) || width > image.Width() - x || height > image.Height() - y) {
    return false;
  }
  std::array<std::span<int32_t>, 2>& planes = image.IntWaveletPlanes();
  const size_t needed = static_cast<size_t>(width) * height;
  if (planes[0].size() < needed || planes[1].size() < needed) return false;
  if (destination != nullptr && (destination->Width() < width || destination->Height() < height)) {
    return false;
  }
  AnalyzeLevels(image.Pixels() + channel, x, y, width, height, channels, image.Stride(),
                planes[0].data(), planes[1].data(), levels);
  if (destination != nullptr && destination->GetBitCount() == 24) {
    // One channel was transformed: a colour destination shows it in all three bytes.
    const int32_t* plane = planes[1].data();
    for (int row = 0; row < height; ++row) {
      uint8_t* out = destination->Row(row);
      for (int col = 0; col < width; ++col) {
        const int32_t v = plane[static_cast<size_t>(row) * width + col];
        const auto magnitude = static_cast<uint8_t>(std::min(v < 0 ? -v : v, 255));
        out[3 * col] = out[3 * col + 1] = out[3 * col + 2] = magnitude;
      }
    }
  } else if (destination != nullptr) {
    IntPlanesToImage(planes[1].first(needed), width, height, destination->GetBitCount(),
                     *destination);
  }
  return true;
}

}  // namespace fw
