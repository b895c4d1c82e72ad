#include "detect/fourier_analyzer.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

#include "core/dib.h"

namespace fw {

namespace {

int Log2(int powerOfTwo) {
  int levels = 0;
  while ((1 << levels) < powerOfTwo) ++levels;
  return levels;
}

// Four floats in one vector register (GCC and Clang vector extension); element-wise operators.
using Float4 = float __attribute__((vector_size(16)));
inline Float4 Load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
inline void Store4(float* p, Float4 v) {
  std::memcpy(p, &v, sizeof(v));
}

inline float Magnitude(const ComplexF& z) {
  return std::sqrt(z.re * z.re + z.im * z.im);
}

// Rows x columns complex matrix into its transpose, in tiles that stay in cache.
void Transpose(const ComplexF* __restrict in, int rows, int columns, ComplexF* __restrict out) {
  constexpr int kTile = 16;
  for (int r0 = 0; r0 < rows; r0 += kTile) {
    const int r1 = std::min(r0 + kTile, rows);
    for (int c0 = 0; c0 < columns; c0 += kTile) {
      const int c1 = std::min(c0 + kTile, columns);
      for (int r = r0; r < r1; ++r) {
        for (int c = c0; c < c1; ++c) {
          out[static_cast<ptrdiff_t>(c) * rows + r] = in[static_cast<ptrdiff_t>(r) * columns + c];
        }
      }
    }
  }
}

// Number of rows of a bar: truncate(value), at most `limit`, never negative.
int BarRows(float value, int limit) {
  if (!(value > 0.0f)) return 0;
  if (value >= static_cast<float>(limit)) return limit;
  return static_cast<int>(value);
}

int PictureStride(int width, int bitCount) {
  return DibStride(width, bitCount);
}

}  // namespace

int FloorPowerOfTwo(int n) {
  int p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

int CeilPowerOfTwo(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p *= 2;
  return p;
}

const FourierAnalyzer::FftTable& FourierAnalyzer::Table(int levels) {
  assert(levels >= 0 && levels < static_cast<int>(tables_.size()));
  FftTable& t = tables_[levels];
  if (t.built) return t;
  const int n = 1 << levels;
  // w[k] = cos(-2 pi k / N) + i sin(-2 pi k / N) for k < N/2, exact at k = 0 and k = N/4.
  std::vector<ComplexF> w(std::max(n / 2, 1));
  for (int k = 0; k < n / 2; ++k) {
    const double angle = -2.0 * std::numbers::pi * k / n;
    w[k] = {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
  }
  if (n >= 2) w[0] = {1.0f, 0.0f};
  if (n >= 4) w[n / 4] = {0.0f, -1.0f};
  // The stage of half-length h uses w[j x N / (2h)] for j < h; stored stage after stage.
  t.twiddleRe.clear();
  t.twiddleIm.clear();
  for (int half = n / 2; half >= 1; half /= 2) {
    const int step = n / (2 * half);
    for (int j = 0; j < half; ++j) {
      t.twiddleRe.push_back(w[j * step].re);
      t.twiddleIm.push_back(w[j * step].im);
    }
  }
  t.reversed.resize(n);
  for (int i = 0; i < n; ++i) {
    int reversed = 0;
    for (int b = 0; b < levels; ++b) reversed |= ((i >> b) & 1) << (levels - 1 - b);
    t.reversed[i] = reversed;
  }
  t.built = true;
  return t;
}

void FourierAnalyzer::Transform1D(const ComplexF* input, ComplexF* result, int levels) {
  const FftTable& t = Table(levels);
  const int n = 1 << levels;
  if (static_cast<int>(lineRe_.size()) < n) {
    lineRe_.resize(n);
    lineIm_.resize(n);
  }
  float* __restrict re = lineRe_.data();
  float* __restrict im = lineIm_.data();
  for (int i = 0; i < n; ++i) {
    re[i] = input[i].re;
    im[i] = input[i].im;
  }
  // Decimation in frequency: butterflies from the full length down to pairs. Stages of four or
  // more butterflies per block run four lanes at a time, each lane computing exactly what the
  // scalar butterfly computes.
  const float* twr = t.twiddleRe.data();
  const float* twi = t.twiddleIm.data();
  for (int half = n / 2; half >= 2; twr += half, twi += half, half /= 2) {
    for (int base = 0; base < n; base += 2 * half) {
      float* __restrict loRe = re + base;
      float* __restrict loIm = im + base;
      float* __restrict hiRe = loRe + half;
      float* __restrict hiIm = loIm + half;
      if (half >= 4) {
        for (int j = 0; j < half; j += 4) {
          const Float4 aRe = Load4(loRe + j);
          const Float4 aIm = Load4(loIm + j);
          const Float4 bRe = Load4(hiRe + j);
          const Float4 bIm = Load4(hiIm + j);
          const Float4 wRe = Load4(twr + j);
          const Float4 wIm = Load4(twi + j);
          const Float4 dre = aRe - bRe;
          const Float4 dim = aIm - bIm;
          Store4(loRe + j, aRe + bRe);
          Store4(loIm + j, aIm + bIm);
          Store4(hiRe + j, dre * wRe - dim * wIm);
          Store4(hiIm + j, dre * wIm + dim * wRe);
        }
      } else {
        for (int j = 0; j < half; ++j) {
          const float dre = loRe[j] - hiRe[j];
          const float dim = loIm[j] - hiIm[j];
          loRe[j] = loRe[j] + hiRe[j];
          loIm[j] = loIm[j] + hiIm[j];
          hiRe[j] = dre * twr[j] - dim * twi[j];
          hiIm[j] = dre * twi[j] + dim * twr[j];
        }
      }
    }
  }
  // The last stage's twiddle is 1.
  for (int base = 0; base + 1 < n; base += 2) {
    const float dre = re[base] - re[base + 1];
    const float dim = im[base] - im[base + 1];
    re[base] = re[base] + re[base + 1];
    im[base] = im[base] + im[base + 1];
    re[base + 1] = dre;
    im[base + 1] = dim;
  }
  // The butterflies leave X[k] at the bit-reversed position of k.
  const int32_t* reversed = t.reversed.data();
  for (int k = 0; k < n; ++k) result[k] = {re[reversed[k]], im[reversed[k]]};
}

void FourierAnalyzer::TransformColumns(ComplexF* data, int columns, int rows) {
  const FftTable& t = Table(Log2(rows));
  const float* twr = t.twiddleRe.data();
  const float* twi = t.twiddleIm.data();
  const int pairs = columns / 2;
  for (int half = rows / 2; half >= 1; twr += half, twi += half, half /= 2) {
    for (int base = 0; base < rows; base += 2 * half) {
      for (int j = 0; j < half; ++j) {
        ComplexF* __restrict lo = data + static_cast<ptrdiff_t>(base + j) * columns;
        ComplexF* __restrict hi = lo + static_cast<ptrdiff_t>(half) * columns;
        const float wr = twr[j];
        const float wi = twi[j];
        // Two columns per vector: (re, im, re, im). The imaginary lanes add the same two
        // products as the scalar butterfly, in the other order (addition commutes exactly).
        const Float4 wRe = {wr, wr, wr, wr};
        const Float4 wIm = {-wi, wi, -wi, wi};
        for (int c = 0; c < pairs; ++c) {
          const Float4 a = Load4(&lo[2 * c].re);
          const Float4 b = Load4(&hi[2 * c].re);
          const Float4 d = a - b;
          const Float4 swapped = __builtin_shufflevector(d, d, 1, 0, 3, 2);
          Store4(&lo[2 * c].re, a + b);
          Store4(&hi[2 * c].re, d * wRe + swapped * wIm);
        }
        for (int c = 2 * pairs; c < columns; ++c) {
          const ComplexF a = lo[c];
          const ComplexF b = hi[c];
          const float dre = a.re - b.re;
          const float dim = a.im - b.im;
          lo[c] = {a.re + b.re, a.im + b.im};
          hi[c] = {dre * wr - dim * wi, dre * wi + dim * wr};
        }
      }
    }
  }
  // Row k of the result is the butterflies' row at the bit-reversed position of k.
  for (int k = 0; k < rows; ++k) {
    const int from = t.reversed[k];
    if (k < from) {
      std::swap_ranges(data + static_cast<ptrdiff_t>(k) * columns,
                       data + static_cast<ptrdiff_t>(k + 1) * columns,
                       data + static_cast<ptrdiff_t>(from) * columns);
    }
  }
}

void FourierAnalyzer::TransformPlanes(int planes, bool keep) {
  const int levels1 = Log2(n1_);
  const ptrdiff_t size = static_cast<ptrdiff_t>(n1_) * n2_;
  for (int p = 0; p < planes; ++p) {
    ComplexF* in = input_.data() + p * size;
    ComplexF* out = result_.data() + p * size;
    for (int v = 0; v < n2_; ++v) {
      Transform1D(in + static_cast<ptrdiff_t>(v) * n1_, out + static_cast<ptrdiff_t>(v) * n1_,
                  levels1);
    }
    // The column transforms run down all columns at once, which leaves the result row-major.
    TransformColumns(out, n1_, n2_);
    if (keep) {
      std::memcpy(in, out, sizeof(ComplexF) * size);
    } else {
      Transpose(out, n2_, n1_, in);
      std::memcpy(out, in, sizeof(ComplexF) * size);
    }
  }
  keepLayout_ = keep;
}

bool FourierAnalyzer::Transform2D(const uint8_t* picture, int width, int height, int bitCount,
                                  bool centre, bool keep) {
  if (picture == nullptr || (bitCount != 8 && bitCount != 24) || width < 1 || height < 1) {
    return false;
  }
  n1_ = FloorPowerOfTwo(width);
  n2_ = FloorPowerOfTwo(height);
  const int planes = bitCount == 24 ? 3 : 1;
  const int bytesPerPixel = bitCount / 8;
  const int stride = PictureStride(width, bitCount);
  const ptrdiff_t size = static_cast<ptrdiff_t>(n1_) * n2_;
  input_.resize(size * planes);
  result_.resize(size * planes);
  threeChannels_ = planes == 3;
  for (int p = 0; p < planes; ++p) {
    for (int v = 0; v < n2_; ++v) {
      const uint8_t* row = picture + static_cast<ptrdiff_t>(v) * stride + p;
      ComplexF* dst = input_.data() + p * size + static_cast<ptrdiff_t>(v) * n1_;
      for (int u = 0; u < n1_; ++u) {
        const float value = static_cast<float>(row[u * bytesPerPixel]);
        dst[u] = {centre && ((u + v) & 1) ? -value : value, 0.0f};
      }
    }
  }
  TransformPlanes(planes, keep);
  return true;
}

void FourierAnalyzer::TransformHistory(const int32_t* rows, int count, int n, int start,
                                       bool centre, bool keep) {
  if (rows == nullptr || count < 1 || n < 1 || count > (1 << 30) || n > (1 << 30)) return;
  n1_ = CeilPowerOfTwo(count);
  n2_ = CeilPowerOfTwo(n);
  const ptrdiff_t size = static_cast<ptrdiff_t>(n1_) * n2_;
  input_.assign(size, ComplexF{});
  result_.resize(size);
  threeChannels_ = false;
  for (int l = 0; l < count; ++l) {
    // The oldest slot first: a non-negative remainder whatever the start.
    int64_t slot = (static_cast<int64_t>(l) + start - 1) % count;
    if (slot < 0) slot += count;
    const int32_t* history = rows + slot * n;
    for (int k = 0; k < n; ++k) {
      const float value = static_cast<float>(history[k]);
      input_[static_cast<ptrdiff_t>(k) * n1_ + l] = {centre && ((k + l) & 1) ? -value : value,
                                                     0.0f};
    }
  }
  TransformPlanes(1, keep);
}

bool FourierAnalyzer::MagnitudeImage(uint8_t* picture, int width, int height, int bitCount) const {
  if (picture == nullptr || (bitCount != 8 && bitCount != 24)) return false;
  const int bytesPerPixel = bitCount / 8;
  const int stride = PictureStride(width, bitCount);
  const ptrdiff_t size = static_cast<ptrdiff_t>(n1_) * n2_;
  const float scale = static_cast<float>(n1_);
  for (int i = 0; i < height; ++i) {
    uint8_t* row = picture + static_cast<ptrdiff_t>(i) * stride;
    for (int j = 0; j < width; ++j) {
      for (int c = 0; c < bytesPerPixel; ++c) {
        uint8_t value = 0;
        if (j < n1_ && i < n2_) {
          const int plane = threeChannels_ ? c : 0;
          const float m = Magnitude(result_[plane * size + static_cast<ptrdiff_t>(i) * n1_ + j]);
          value = static_cast<uint8_t>(BarRows(m / scale, 255));
        }
        row[j * bytesPerPixel + c] = value;
      }
    }
  }
  return true;
}

template <typename T>
void FourierAnalyzer::TransformAlternating(const T* values, int count) {
  n1_ = CeilPowerOfTwo(count);
  n2_ = 1;  // a one-dimensional result: later picture displays see one row
  threeChannels_ = false;
  input_.assign(n1_, ComplexF{});
  result_.resize(n1_);
  for (int i = 0; i < count; ++i) {
    const float value = static_cast<float>(values[i]);
    input_[i] = {(i & 1) ? -value : value, 0.0f};
  }
  Transform1D(input_.data(), result_.data(), Log2(n1_));
}

void FourierAnalyzer::Spectrum1D(const int32_t* values, uint8_t* picture, int pictureWidth,
                                 int count, int pictureHeight, int bitCount) {
  if (values == nullptr) count = 0;
  TransformAlternating(values, std::max(count, 0));
  float largest = 0.0f;
  for (const ComplexF& z : result_) largest = std::max(largest, Magnitude(z));
  if (picture == nullptr || (bitCount != 8 && bitCount != 24) || pictureWidth < 1 ||
      pictureHeight < 1) {
    return;
  }
  const int stride = PictureStride(pictureWidth, bitCount);
  std::memset(picture, 0, static_cast<size_t>(stride) * pictureHeight);
  // An all-zero spectrum draws every bar at height 0.
  const float scale = largest > 0.0f ? static_cast<float>(pictureHeight) / largest : 0.0f;
  const int columns = std::min(count, pictureWidth);
  for (int i = 0; i < columns; ++i) {
    const int r = BarRows(scale * Magnitude(result_[i]), pictureHeight - 1);
    if (bitCount == 8) {
      for (int y = 0; y <= r; ++y) picture[static_cast<ptrdiff_t>(y) * stride + i] = 255;
    } else {
      picture[static_cast<ptrdiff_t>(r) * stride + 3 * i] = 255;
    }
  }
}

void FourierAnalyzer::RadialProfile(uint8_t* picture, int width, int height, int bitCount,
                                    bool centred) {
  const int cu = n1_ / 2;
  const int cv = n2_ / 2;
  int count = 0;
  if (centred) {
    count = static_cast<int>(
        std::sqrt(static_cast<double>(cu + 1) * (cu + 1) + static_cast<double>(cv + 1) * (cv + 1)));
  } else {
    count = static_cast<int>(std::sqrt(static_cast<double>(n1_ - 1) * (n1_ - 1) +
                                       static_cast<double>(n2_ - 1) * (n2_ - 1))) +
            1;
  }
  bins_.assign(count, 0.0f);
  for (int v = 0; v < n2_; ++v) {
    const ComplexF* row = result_.data() + static_cast<ptrdiff_t>(v) * n1_;
    const int dv = centred ? v - cv : v;
    for (int u = 0; u < n1_; ++u) {
      const int du = centred ? u - cu : u;
      const int bin =
          static_cast<int>(std::sqrt(static_cast<double>(du) * du + static_cast<double>(dv) * dv));
      bins_[bin] += Magnitude(row[u]);
    }
  }
  float largest = 0.0f;
  for (const float b : bins_) largest = std::max(largest, b);
  if (largest < 0.0001f || picture == nullptr || (bitCount != 8 && bitCount != 24) || width < 1 ||
      height < 1) {
    return;
  }
  const int bytesPerPixel = bitCount / 8;
  const int stride = PictureStride(width, bitCount);
  std::memset(picture, 0, static_cast<size_t>(stride) * height);
  const float gain = static_cast<float>(height - 1) / largest;
  auto bar = [&](int column, float value) {
    const int rows = BarRows(gain * value, height);
    for (int y = 0; y < rows; ++y) {
      picture[static_cast<ptrdiff_t>(y) * stride + column * bytesPerPixel] = 255;
    }
  };
  if (centred) {
    const int c = width / 2;
    for (int j = 0; j <= c - 2 && j < count; ++j) {
      bar(c + j, bins_[j]);
      bar(c - j, bins_[j]);
    }
  } else {
    for (int j = 0; j < width && j < count; ++j) bar(j, bins_[j]);
  }
}

void FourierAnalyzer::HistogramSpectrum(const float* values, int count) {
  if (values == nullptr) count = 0;
  TransformAlternating(values, std::max(count, 0));
}

float FourierAnalyzer::ContourDescriptors(const int32_t* x, const int32_t* y, int n) {
  if (x == nullptr || y == nullptr || n < 2) return 0.0f;
  auto stepLength = [](int dx, int dy) { return dx == 0 || dy == 0 ? 1.0f : 1.4142135f; };
  // The perimeter first: the phases need it.
  float perimeter = 0.0f;
  for (int k = 0; k < n; ++k) {
    const int previous = k == 0 ? n - 1 : k - 1;
    perimeter += stepLength(x[k] - x[previous], y[k] - y[previous]);
  }
  std::array<float, kHarmonicCount> sumA{};
  std::array<float, kHarmonicCount> sumB{};
  float t = 0.0f;
  for (int k = 0; k < n; ++k) {
    const int previous = k == 0 ? n - 1 : k - 1;
    const int dx = x[k] - x[previous];
    const int dy = y[k] - y[previous];
    t += stepLength(dx, dy);
    const float phase = t * 6.283185f / perimeter;
    const float fdx = static_cast<float>(dx);
    const float fdy = static_cast<float>(dy);
    for (int j = 1; j < kHarmonicCount; ++j) {
      const float s = std::sin(static_cast<float>(j) * phase);
      const float c = std::cos(static_cast<float>(j) * phase);
      sumA[j] += fdx * s - fdy * c;
      sumB[j] += fdx * c + fdy * s;
    }
  }
  sine_[0] = 0.0f;
  cosine_[0] = 0.0f;
  for (int j = 1; j < kHarmonicCount; ++j) {
    const float factor = 0.15915495f / static_cast<float>(j);
    sine_[j] = -(factor * sumA[j]);
    cosine_[j] = -(factor * sumB[j]);
  }
  return perimeter;
}

void FourierAnalyzer::DrawContourSpectrum(uint8_t* picture, int width, int height, int bitCount) {
  const float first = std::sqrt(sine_[1] * sine_[1] + cosine_[1] * cosine_[1]);
  const float scale = first > 0.0f ? 5.0f / first : 0.0f;
  for (int j = 1; j < kHarmonicCount; ++j) {
    current_[j] = scale * std::sqrt(sine_[j] * sine_[j] + cosine_[j] * cosine_[j]);
  }
  if (picture != nullptr && (bitCount == 8 || bitCount == 24) && width >= 1 && height >= 1) {
    const int bytesPerPixel = bitCount / 8;
    const int stride = PictureStride(width, bitCount);
    std::memset(picture, 0, static_cast<size_t>(stride) * height);
    const float h = static_cast<float>(height);
    const int lastColumn = std::min(kHarmonicCount, width);
    auto fill = [&](int column, int rows, int byte) {
      for (int y = 0; y < rows; ++y) {
        picture[static_cast<ptrdiff_t>(y) * stride + column * bytesPerPixel + byte] = 255;
      }
    };
    if (bitCount == 24) {
      for (int j = 4; j < lastColumn; ++j) {
        const int rows = BarRows(0.8f * h * current_[j], height - 1);
        fill(j, rows, 1);
        fill(j, rows, 2);
      }
      float change = 0.0f;
      for (int j = 4; j < kHarmonicCount; ++j) change += std::fabs(current_[j] - previous_[j]);
      if (width > 50) {
        const int rows = BarRows(0.5f * h * change, height - 1);
        for (int column = 40; column <= 49; ++column) fill(column, rows, 2);
      }
    } else {
      for (int j = 1; j < lastColumn; ++j) fill(j, BarRows(0.8f * h * current_[j], height - 1), 0);
    }
  }
  std::swap(current_, previous_);
}

}  // namespace fw
