// The Fourier component: one- and two-dimensional discrete Fourier transforms of pictures, of
// projection histories and of short sequences, their magnitudes drawn as pictures or bar charts,
// the radial profile of a two-dimensional spectrum, and Fourier descriptors of a closed contour
// with their bar chart.
//
// Pictures are the pixel rows of 8-bit or 24-bit images: rows DibStride(width, bitCount) bytes
// apart, row 0 first in memory; the caller passes a buffer of that stride times the height it
// names. A display operation uses the result of the last transform of its instance.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace fw {

struct ComplexF {
  float re = 0.0f;
  float im = 0.0f;
};

// Powers of two that bound n from below and from above; both are 1 for n <= 1.
int FloorPowerOfTwo(int n);
int CeilPowerOfTwo(int n);

class FourierAnalyzer {
 public:
  static constexpr int kHarmonicCount = 32;  // contour harmonics; index 0 always holds 0

  // Forward transform X[k] = sum x[n] e^(-2 pi i kn/N) of N = 2^levels points (levels 0..30),
  // without normalisation, into `result` in natural order. `input` is left unchanged (it may be
  // `result` itself).
  void Transform1D(const ComplexF* input, ComplexF* result, int levels);

  // Transform of the top-left N1 x N2 pixels (the largest powers of two within the picture), one
  // plane per byte of a 24-bit pixel. The centre flag moves the zero frequency to (N1/2, N2/2).
  // Without keep the result is left transposed (element u x N2 + v); with keep it is row-major
  // (element v x N1 + u) in both the result and the input array. Returns false and does nothing
  // for a bit count other than 8 or 24, no picture, or a side below 1.
  bool Transform2D(const uint8_t* picture, int width, int height, int bitCount, bool centre,
                   bool keep);
  // Transform of a history of `count` rows of n values (rows + r x n), zero-padded to the
  // smallest powers of two: row (l + start - 1) mod count becomes column l. Does nothing for
  // count or n below 1.
  void TransformHistory(const int32_t* rows, int count, int n, int start, bool centre, bool keep);

  // Magnitudes of the last (row-major) two-dimensional result divided by N1, capped at 255, into
  // the picture; pixels beyond the result get 0. A 24-bit picture takes byte c from plane c of a
  // three-plane result and all three bytes from the one plane otherwise. False for no picture or
  // a bit count other than 8 or 24.
  bool MagnitudeImage(uint8_t* picture, int width, int height, int bitCount) const;

  // Spectrum of (-1)^i x values[i], zero-padded to a power of two, as a bar chart (8-bit) or dot
  // plot (24-bit) of `count` columns scaled to the picture height; columns beyond the picture's
  // width are not drawn. With no picture only the transform is made.
  void Spectrum1D(const int32_t* values, uint8_t* picture, int pictureWidth, int count,
                  int pictureHeight, int bitCount);

  // Sums the magnitudes of the last row-major result (first plane) into rings of integer radius,
  // about (N1/2, N2/2) when centred, else about (0, 0), and draws the ring sums as bars (mirrored
  // about the middle column when centred). Draws nothing for an all-zero spectrum or no picture.
  void RadialProfile(uint8_t* picture, int width, int height, int bitCount, bool centred);

  // Transform of (-1)^i x values[i], zero-padded to a power of two; the zero frequency lands in
  // the middle. The result array holds it, TransformWidth() its length.
  void HistogramSpectrum(const float* values, int count);

  // Elliptic Fourier descriptors of a closed contour of n points: sine coefficients A and cosine
  // coefficients B of harmonics 1..31 over the arc length. Returns the contour's length T (0 and
  // nothing computed when n < 2).
  float ContourDescriptors(const int32_t* x, const int32_t* y, int n);
  // Bar chart of the descriptor magnitudes scaled by the first harmonic; 24-bit pictures also
  // show, as a red bar, how much the magnitudes changed since the last chart. A contour whose
  // first harmonic is 0 gives all magnitudes 0.
  void DrawContourSpectrum(uint8_t* picture, int width, int height, int bitCount);

  // --- the last transform and the descriptors ---
  int TransformWidth() const { return n1_; }
  int TransformHeight() const { return n2_; }
  bool ThreeChannels() const { return threeChannels_; }
  bool KeptLayout() const { return keepLayout_; }
  std::span<const ComplexF> Result() const { return result_; }
  std::span<const ComplexF> Input() const { return input_; }
  std::span<const float> RadialBins() const { return bins_; }
  const std::array<float, kHarmonicCount>& SineCoefficients() const { return sine_; }
  const std::array<float, kHarmonicCount>& CosineCoefficients() const { return cosine_; }
  const std::array<float, kHarmonicCount>& CurrentMagnitudes() const { return current_; }
  const std::array<float, kHarmonicCount>& PreviousMagnitudes() const { return previous_; }

 private:
  // Twiddle factors per stage (N/2 for the first, then N/4, ..., 1), real and imaginary parts
  // apart, and the bit-reversal order of one transform size, built on first use.
  struct FftTable {
    std::vector<float> twiddleRe;
    std::vector<float> twiddleIm;
    std::vector<int32_t> reversed;
    bool built = false;
  };
  const FftTable& Table(int levels);
  // Transforms of every row, then of every column, of each plane; without keep the result is
  // transposed at the end. The input array is used as work space and ends up a copy of the result.
  void TransformPlanes(int planes, bool keep);
  // The transform of every column of a rows x columns matrix, in place.
  void TransformColumns(ComplexF* data, int columns, int rows);
  // Fills the input with the sign-alternated values (zero-padded to n1_) and transforms it.
  template <typename T>
  void TransformAlternating(const T* values, int count);

  int n1_ = 0;
  int n2_ = 0;
  std::vector<ComplexF> input_;
  std::vector<ComplexF> result_;
  bool threeChannels_ = false;
  bool keepLayout_ = false;
  std::array<float, kHarmonicCount> sine_{};
  std::array<float, kHarmonicCount> cosine_{};
  std::array<float, kHarmonicCount> current_{};
  std::array<float, kHarmonicCount> previous_{};
  std::array<FftTable, 31> tables_;
  // Real and imaginary parts of the line being transformed, so that the butterflies vectorise.
  std::vector<float> lineRe_;
  std::vector<float> lineIm_;
  std::vector<float> bins_;
};

}  // namespace fw
