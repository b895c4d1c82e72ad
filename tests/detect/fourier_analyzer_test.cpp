#include "detect/fourier_analyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "core/dib.h"

namespace fw {
namespace {

using Cd = std::complex<double>;

// Slow reference: the defining sum in double precision.
std::vector<Cd> NaiveDft(const std::vector<Cd>& x) {
  const size_t n = x.size();
  std::vector<Cd> out(n);
  for (size_t k = 0; k < n; ++k) {
    for (size_t j = 0; j < n; ++j) {
      out[k] += x[j] * std::polar(1.0, -2.0 * std::numbers::pi * double((k * j) % n) / double(n));
    }
  }
  return out;
}

// X[v][u] of an n2 x n1 row-major matrix.
std::vector<Cd> NaiveDft2D(const std::vector<Cd>& x, int n1, int n2) {
  std::vector<Cd> rows(x.size()), out(x.size());
  for (int v = 0; v < n2; ++v) {
    const std::vector<Cd> r = NaiveDft({x.begin() + v * n1, x.begin() + (v + 1) * n1});
    std::copy(r.begin(), r.end(), rows.begin() + v * n1);
  }
  for (int u = 0; u < n1; ++u) {
    std::vector<Cd> column(n2);
    for (int v = 0; v < n2; ++v) column[v] = rows[v * n1 + u];
    const std::vector<Cd> c = NaiveDft(column);
    for (int v = 0; v < n2; ++v) out[v * n1 + u] = c[v];
  }
  return out;
}

void ExpectNear(const ComplexF& z, const Cd& expected, double tolerance, const char* what, int i) {
  EXPECT_NEAR(z.re, expected.real(), tolerance) << what << " " << i;
  EXPECT_NEAR(z.im, expected.imag(), tolerance) << what << " " << i;
}

TEST(FourierSizes, PowersOfTwoAroundN) {
  const int cases[][3] = {{-3, 1, 1},      {0, 1, 1},       {1, 1, 1},
                          {2, 2, 2},       {3, 2, 4},       {100, 64, 128},
                          {240, 128, 256}, {320, 256, 512}, {256, 256, 256}};
  for (const auto& c : cases) {
    EXPECT_EQ(FloorPowerOfTwo(c[0]), c[1]) << c[0];
    EXPECT_EQ(CeilPowerOfTwo(c[0]), c[2]) << c[0];
  }
}

TEST(Transform1D, HandCasesAndInputLeftUnchanged) {
  struct Case {
    std::vector<ComplexF> x;
    std::vector<ComplexF> expected;
  };
  const std::vector<Case> cases = {
      {{{1, 0}, {0, 0}, {0, 0}, {0, 0}}, {{1, 0}, {1, 0}, {1, 0}, {1, 0}}},
      {{{1, 0}, {1, 0}, {1, 0}, {1, 0}}, {{4, 0}, {0, 0}, {0, 0}, {0, 0}}},
      {{{0, 0}, {1, 0}, {0, 0}, {0, 0}}, {{1, 0}, {0, -1}, {-1, 0}, {0, 1}}},
      {{{2, 3}}, {{2, 3}}},
  };
  FourierAnalyzer f;
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::vector<ComplexF> input = cases[i].x;
    std::vector<ComplexF> result(input.size());
    const int levels = input.size() == 4 ? 2 : 0;
    f.Transform1D(input.data(), result.data(), levels);
    for (size_t k = 0; k < result.size(); ++k) {
      EXPECT_EQ(result[k].re, cases[i].expected[k].re) << i << "/" << k;
      EXPECT_EQ(result[k].im, cases[i].expected[k].im) << i << "/" << k;
    }
    for (size_t k = 0; k < input.size(); ++k) EXPECT_EQ(input[k].re, cases[i].x[k].re);
  }
}

TEST(Transform1D, MatchesTheDefiningSumAndKeepsEnergy) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> value(-100.0f, 100.0f);
  FourierAnalyzer f;
  for (int levels = 1; levels <= 10; ++levels) {
    const int n = 1 << levels;
    std::vector<ComplexF> x(n);
    std::vector<Cd> xd(n);
    double energy = 0.0;
    for (int i = 0; i < n; ++i) {
      x[i] = {value(rng), value(rng)};
      xd[i] = {x[i].re, x[i].im};
      energy += std::norm(xd[i]);
    }
    std::vector<ComplexF> result(n);
    f.Transform1D(x.data(), result.data(), levels);
    const std::vector<Cd> expected = NaiveDft(xd);
    double spectrumEnergy = 0.0;
    for (int k = 0; k < n; ++k) {
      ExpectNear(result[k], expected[k], 1e-4 * n, "n", n);
      spectrumEnergy += double(result[k].re) * result[k].re + double(result[k].im) * result[k].im;
    }
    EXPECT_NEAR(spectrumEnergy / (n * energy), 1.0, 1e-5) << n;
    // In place gives the same.
    f.Transform1D(x.data(), x.data(), levels);
    for (int k = 0; k < n; ++k) EXPECT_EQ(x[k].re, result[k].re);
  }
}

std::vector<uint8_t> Picture(int width, int height, int bitCount, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> p(DibStride(width, bitCount) * height);
  for (auto& b : p) b = static_cast<uint8_t>(rng() & 0xff);
  return p;
}

TEST(Transform2D, MatchesTheDefiningSumInBothLayouts) {
  // 9 x 5 pixels of 24 bits: the top-left 8 x 4 of each of the three bytes is transformed.
  const int w = 9, h = 5, n1 = 8, n2 = 4;
  const std::vector<uint8_t> picture = Picture(w, h, 24, 4);
  const int stride = DibStride(w, 24);
  for (const bool centre : {false, true}) {
    FourierAnalyzer kept, transposed;
    ASSERT_TRUE(kept.Transform2D(picture.data(), w, h, 24, centre, true));
    ASSERT_TRUE(transposed.Transform2D(picture.data(), w, h, 24, centre, false));
    EXPECT_EQ(kept.TransformWidth(), n1);
    EXPECT_EQ(kept.TransformHeight(), n2);
    EXPECT_TRUE(kept.ThreeChannels());
    for (int c = 0; c < 3; ++c) {
      std::vector<Cd> x(n1 * n2);
      for (int v = 0; v < n2; ++v) {
        for (int u = 0; u < n1; ++u) {
          const double sign = centre && (u + v) % 2 ? -1.0 : 1.0;
          x[v * n1 + u] = sign * picture[v * stride + 3 * u + c];
        }
      }
      const std::vector<Cd> expected = NaiveDft2D(x, n1, n2);
      const size_t plane = static_cast<size_t>(c) * n1 * n2;
      for (int v = 0; v < n2; ++v) {
        for (int u = 0; u < n1; ++u) {
          const int i = v * n1 + u;
          ExpectNear(kept.Result()[plane + i], expected[i], 0.05, "row-major", i);
          ExpectNear(kept.Input()[plane + i], expected[i], 0.05, "input copy", i);
          ExpectNear(transposed.Result()[plane + u * n2 + v], expected[i], 0.05, "transposed", i);
        }
      }
    }
  }
}

TEST(Transform2D, SizeRulesAndRefusals) {
  const std::vector<uint8_t> big = Picture(320, 240, 8, 6);
  FourierAnalyzer f;
  ASSERT_TRUE(f.Transform2D(big.data(), 320, 240, 8, false, true));
  EXPECT_EQ(f.TransformWidth(), 256);
  EXPECT_EQ(f.TransformHeight(), 128);
  EXPECT_FALSE(f.ThreeChannels());
  const std::vector<ComplexF> before(f.Result().begin(), f.Result().end());
  std::vector<uint8_t> changed = big;
  const int stride = DibStride(320, 8);
  changed[200 * stride + 10] ^= 0xff;  // below row 128
  changed[10 * stride + 300] ^= 0xff;  // right of column 256
  ASSERT_TRUE(f.Transform2D(changed.data(), 320, 240, 8, false, true));
  for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(f.Result()[i].re, before[i].re) << i;

  EXPECT_FALSE(f.Transform2D(big.data(), 320, 240, 16, false, true));
  EXPECT_FALSE(f.Transform2D(nullptr, 320, 240, 8, false, true));
  EXPECT_FALSE(f.Transform2D(big.data(), 0, 240, 8, false, true));
  EXPECT_EQ(f.TransformWidth(), 256);

  f.TransformHistory(std::vector<int32_t>(100 * 240, 1).data(), 100, 240, 0, false, true);
  EXPECT_EQ(f.TransformWidth(), 128);
  EXPECT_EQ(f.TransformHeight(), 256);
}

TEST(TransformHistory, OldestRowBecomesTheFirstColumn) {
  // Three rows of two values; row r holds (10 r + 1, 10 r + 2). Padded to 4 x 2.
  const std::vector<int32_t> rows = {1, 2, 11, 12, 21, 22};
  struct Case {
    int start;
    int firstRow;  // the row that lands in column 0: (start - 1) mod 3
  };
  for (const Case c : {Case{0, 2}, Case{1, 0}, Case{5, 1}, Case{-4, 1}}) {
    FourierAnalyzer f;
    f.TransformHistory(rows.data(), 3, 2, c.start, true, true);
    ASSERT_EQ(f.TransformWidth(), 4);
    ASSERT_EQ(f.TransformHeight(), 2);
    std::vector<Cd> x(8, 0.0);
    for (int l = 0; l < 3; ++l) {
      const int row = (c.firstRow + l) % 3;
      for (int k = 0; k < 2; ++k) x[k * 4 + l] = ((k + l) % 2 ? -1.0 : 1.0) * rows[row * 2 + k];
    }
    const std::vector<Cd> expected = NaiveDft2D(x, 4, 2);
    for (int i = 0; i < 8; ++i) ExpectNear(f.Result()[i], expected[i], 1e-4, "start", c.start);
  }
}

TEST(MagnitudeImage, CentredConstantPictureShowsOnlyTheMiddle) {
  // 16 x 8, bytes (1, 2, 3): the centred spectrum is v x 128 at (8, 4); shown divided by 16.
  std::vector<uint8_t> picture(DibStride(16, 24) * 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      for (int c = 0; c < 3; ++c) picture[y * DibStride(16, 24) + 3 * x + c] = c + 1;
    }
  }
  FourierAnalyzer f;
  ASSERT_TRUE(f.Transform2D(picture.data(), 16, 8, 24, true, true));
  const int w = 20, h = 10, stride = DibStride(w, 24);
  std::vector<uint8_t> shown(stride * h, 99);
  ASSERT_TRUE(f.MagnitudeImage(shown.data(), w, h, 24));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int expected = x == 8 && y == 4 ? 8 * (c + 1) : 0;
        ASSERT_EQ(shown[y * stride + 3 * x + c], expected) << x << "," << y << "," << c;
      }
    }
  }
  // A one-plane result shows in all three bytes; a one-row result leaves the other rows 0.
  std::vector<uint8_t> grey(DibStride(16, 8) * 8, 5);
  ASSERT_TRUE(f.Transform2D(grey.data(), 16, 8, 8, true, true));
  ASSERT_TRUE(f.MagnitudeImage(shown.data(), w, h, 24));
  EXPECT_EQ(shown[4 * stride + 3 * 8 + 0], 40);
  EXPECT_EQ(shown[4 * stride + 3 * 8 + 2], 40);
  const std::vector<float> ones(64, 1.0f);
  f.HistogramSpectrum(ones.data(), 64);
  std::vector<uint8_t> wide(DibStride(64, 8) * 8, 9);
  ASSERT_TRUE(f.MagnitudeImage(wide.data(), 64, 8, 8));
  EXPECT_EQ(wide[32], 1);  // 64 / 64
  EXPECT_EQ(wide[DibStride(64, 8) + 32], 0);
  EXPECT_FALSE(f.MagnitudeImage(nullptr, 64, 8, 8));
  EXPECT_FALSE(f.MagnitudeImage(wide.data(), 64, 8, 32));
}

TEST(Spectrum1D, BarsScaledToTheLargestMagnitude) {
  // (-1)^i x 5 over 8 values: all the energy at index 4 (40).
  const std::vector<int32_t> fives(8, 5);
  FourierAnalyzer f;
  const int stride8 = DibStride(8, 8);
  std::vector<uint8_t> bars(stride8 * 10, 7);
  f.Spectrum1D(fives.data(), bars.data(), 8, 8, 10, 8);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(bars[y * stride8 + x], x == 4 || y == 0 ? 255 : 0) << x << "," << y;
    }
  }
  const int stride24 = DibStride(8, 24);
  std::vector<uint8_t> dots(stride24 * 10, 7);
  f.Spectrum1D(fives.data(), dots.data(), 8, 8, 10, 24);
  EXPECT_EQ(dots[9 * stride24 + 3 * 4], 255);
  EXPECT_EQ(dots[0 * stride24 + 3 * 4], 0);
  EXPECT_EQ(dots[0 * stride24 + 3 * 3], 255);
  EXPECT_EQ(dots[0 * stride24 + 3 * 3 + 1], 0);
  // All-zero values draw flat bars; a picture narrower than the count gets its own columns only.
  const std::vector<int32_t> zeros(8, 0);
  std::vector<uint8_t> narrow(DibStride(3, 8) * 4, 7);
  f.Spectrum1D(zeros.data(), narrow.data(), 3, 8, 4, 8);
  EXPECT_EQ(narrow, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RadialProfile, ConstantPictureFillsTheFirstRingOnly) {
  std::vector<uint8_t> picture(DibStride(16, 8) * 8, 3);
  const int w = 20, h = 10, stride = DibStride(w, 8);
  for (const bool centred : {true, false}) {
    FourierAnalyzer f;
    ASSERT_TRUE(f.Transform2D(picture.data(), 16, 8, 8, centred, true));
    std::vector<uint8_t> shown(stride * h, 7);
    f.RadialProfile(shown.data(), w, h, 8, centred);
    EXPECT_NEAR(f.RadialBins()[0], 3 * 128, 1e-3);
    const int column = centred ? 10 : 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        EXPECT_EQ(shown[y * stride + x], x == column && y < 9 ? 255 : 0) << x << "," << y;
      }
    }
  }
  // An all-zero spectrum leaves the picture as it was.
  std::vector<uint8_t> black(DibStride(16, 8) * 8, 0);
  FourierAnalyzer f;
  ASSERT_TRUE(f.Transform2D(black.data(), 16, 8, 8, true, true));
  std::vector<uint8_t> shown(stride * h, 7);
  f.RadialProfile(shown.data(), w, h, 8, true);
  EXPECT_EQ(shown, std::vector<uint8_t>(stride * h, 7));
}

TEST(HistogramSpectrum, ZeroFrequencyInTheMiddle) {
  const std::vector<float> ones(50, 1.0f);
  FourierAnalyzer f;
  f.HistogramSpectrum(ones.data(), 50);
  ASSERT_EQ(f.TransformWidth(), 64);
  EXPECT_EQ(f.TransformHeight(), 1);
  std::vector<Cd> x(64, 0.0);
  for (int i = 0; i < 50; ++i) x[i] = i % 2 ? -1.0 : 1.0;
  const std::vector<Cd> expected = NaiveDft(x);
  for (int i = 0; i < 64; ++i) ExpectNear(f.Result()[i], expected[i], 1e-4, "bin", i);
  EXPECT_NEAR(f.Result()[32].re, 50.0, 1e-4);
}

TEST(ContourDescriptors, SquaresAndTheirSpectrum) {
  const std::vector<int32_t> sx = {0, 1, 1, 0}, sy = {0, 0, 1, 1};
  const std::vector<int32_t> dx = {1, 2, 1, 0}, dy = {0, 1, 2, 1};
  FourierAnalyzer f;
  EXPECT_FLOAT_EQ(f.ContourDescriptors(dx.data(), dy.data(), 4), 4 * 1.4142135f);
  EXPECT_EQ(f.ContourDescriptors(sx.data(), sy.data(), 1), 0.0f);
  EXPECT_FLOAT_EQ(f.ContourDescriptors(sx.data(), sy.data(), 4), 4.0f);
  // The unit square: B1 = 4 / 2 pi, and nothing at harmonics 2, 3 and 4.
  EXPECT_NEAR(f.SineCoefficients()[1], 0.0f, 1e-5);
  EXPECT_NEAR(f.CosineCoefficients()[1], 0.63661977f, 1e-5);
  for (int j = 2; j <= 4; ++j) {
    EXPECT_NEAR(f.SineCoefficients()[j], 0.0f, 1e-5) << j;
    EXPECT_NEAR(f.CosineCoefficients()[j], 0.0f, 1e-5) << j;
  }
  EXPECT_EQ(f.SineCoefficients()[0], 0.0f);

  // 8-bit chart: harmonic 1 is scaled to 5 and fills the height.
  std::vector<uint8_t> grey(DibStride(40, 8) * 10, 7);
  f.DrawContourSpectrum(grey.data(), 40, 10, 8);
  for (int y = 0; y < 10; ++y) {
    EXPECT_EQ(grey[y * 40 + 1], y < 9 ? 255 : 0) << y;
    EXPECT_EQ(grey[y * 40 + 2], 0) << y;
    EXPECT_EQ(grey[y * 40 + 0], 0) << y;
  }

  // 24-bit chart: yellow bars from harmonic 4 and a red bar for the change since the last chart.
  const int stride = DibStride(60, 24);
  auto redRows = [&](const std::vector<uint8_t>& p) {
    int rows = 0;
    while (rows < 10 && p[rows * stride + 3 * 45 + 2] == 255) ++rows;
    return rows;
  };
  FourierAnalyzer g;
  std::vector<uint8_t> colour(stride * 10, 7);
  g.DrawContourSpectrum(colour.data(), 60, 10, 24);  // no contour yet: first harmonic 0
  EXPECT_EQ(redRows(colour), 0);
  g.ContourDescriptors(sx.data(), sy.data(), 4);
  g.DrawContourSpectrum(colour.data(), 60, 10, 24);
  EXPECT_EQ(redRows(colour), 9);
  EXPECT_EQ(colour[3 * 4 + 1], 0);    // harmonic 4 is 0
  EXPECT_EQ(colour[3 * 5 + 1], 255);  // harmonic 5 is a fifth of harmonic 1
  EXPECT_EQ(colour[3 * 5 + 2], 255);
  EXPECT_EQ(colour[3 * 5 + 0], 0);
  g.DrawContourSpectrum(colour.data(), 60, 10, 24);
  EXPECT_EQ(redRows(colour), 0);  // unchanged contour
  // A contour that collapses to one point has no first harmonic: all magnitudes drop to 0.
  const std::vector<int32_t> px = {3, 3}, py = {4, 4};
  g.ContourDescriptors(px.data(), py.data(), 2);
  g.DrawContourSpectrum(colour.data(), 60, 10, 24);
  EXPECT_EQ(redRows(colour), 9);
  EXPECT_EQ(colour[3 * 5 + 1], 0);
}

}  // namespace
}  // namespace fw
