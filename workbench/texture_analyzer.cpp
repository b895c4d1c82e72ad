#include "workbench/texture_analyzer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "detect/fourier_analyzer.h"
#include "workbench/displays.h"

namespace fw {

namespace {

constexpr int kMinTexturePixels = 16;  // this many key pixels or fewer: no texture
constexpr int kChartSide = 256;
// The moment the program started, for the clock-driven position of the random block.
const auto kStart = std::chrono::steady_clock::now();

// Colours of the four scores in the chart (blue, green, red).
constexpr uint8_t kScoreColours[kDirections][3] = {
    {0, 0, 255}, {0, 255, 0}, {255, 128, 0}, {0, 255, 255}};

inline bool KeyPixel24(const uint8_t* p) {
  return 59 * p[1] + 30 * p[2] + 11 * p[0] >= 2500;
}
inline bool KeyPixel8(uint8_t v) {
  return v > 24;
}

}  // namespace

void TextureAnalyzer::Initialise(const Dib& source, bool keepMatrices) {
  width_ = source.Width();
  height_ = source.Height();
  bits_ = source.GetBitCount();
  headerHeight_ = source.HeaderHeight();
  const size_t pixels = size_t(width_) * height_;
  keyMask_.assign(pixels, 0);
  keyMaskBuilt_ = false;
  if (!keepMatrices) matrices_.Clear();
  EnsureDisplay(quantised_, width_, headerHeight_, 8);
  auto& palette = quantised_.GetPalette();
  for (int j = 0; j < 256; ++j) {
    palette[j] =
        RgbQuad{0, static_cast<uint8_t>(j < kGreyLevels ? (256 / kGreyLevels) * j : 0), 0, 0};
  }
  projections_.Allocate(width_, height_);
  regions_.Allocate(width_, height_);
}

bool TextureAnalyzer::Fits(const Dib& source) const {
  return width_ > 0 && source.Width() == width_ && source.Height() == height_ &&
         source.GetBitCount() == bits_ && (bits_ == 8 || bits_ == 24);
}

// --- the colour key --------------------------------------------------------------------------

int TextureAnalyzer::BuildKeyMask(const Dib& source, Dib* display) {
  int count = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* row = source.Row(y);
    uint8_t* mask = keyMask_.data() + size_t(y) * width_;
    for (int x = 0; x < width_; ++x) {
      const bool key = bits_ == 24 ? KeyPixel24(row + 3 * x) : KeyPixel8(row[x]);
      mask[x] = key;
      count += key;
    }
  }
  keyMaskBuilt_ = true;
  if (display && CopyAsColour(source, *display)) {
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = display->Row(y);
      const uint8_t* mask = keyMask_.data() + size_t(y) * width_;
      for (int x = 0; x < width_; ++x) {
        if (!mask[x]) continue;
        uint8_t* p = row + 3 * x;
        p[0] = static_cast<uint8_t>(p[0] / 2 + 127);
        p[1] = static_cast<uint8_t>(p[1] / 2);
        p[2] = static_cast<uint8_t>(p[2] / 2);
      }
    }
  }
  return count;
}

void TextureAnalyzer::EnsureKeyMask(const Dib& source, bool everyFrame) {
  if (externalMask_) return;
  if (!keyMaskBuilt_ || everyFrame) BuildKeyMask(source, nullptr);
}

// --- co-occurrence ---------------------------------------------------------------------------

void TextureAnalyzer::Quantise(const Dib& source, const uint8_t* mask, Dib& levels) {
  constexpr int kDivisor24 = 25600 / kGreyLevels;
  constexpr int kDivisor8 = 256 / kGreyLevels;
  const int w = source.Width();
  const int bits = source.GetBitCount();
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* row = source.Row(y);
    uint8_t* out = levels.Row(y);
    const uint8_t* m = mask ? mask + size_t(y) * w : nullptr;
    for (int x = 0; x < w; ++x) {
      if (m && !m[x]) {
        out[x] = 0;
      } else if (bits == 24) {
        const uint8_t* p = row + 3 * x;
        out[x] = static_cast<uint8_t>((59 * p[1] + 11 * p[0] + 30 * p[2]) / kDivisor24);
      } else {
        out[x] = static_cast<uint8_t>(row[x] / kDivisor8);
      }
    }
  }
}

int TextureAnalyzer::LearnCooccurrenceByKey(const Dib& source) {
  int count = 0;
  if (externalMask_) {
    const size_t pixels = size_t(width_) * height_;
    for (size_t i = 0; i < pixels; ++i) count += externalMask_[i] != 0;
  } else {
    count = BuildKeyMask(source, nullptr);
  }
  lastTexturePixels_ = count;
  if (count <= kMinTexturePixels) return 0;
  const uint8_t* mask = Mask();
  Quantise(source, mask, quantised_);
  AccumulateSymmetric(quantised_.Pixels(), quantised_.Stride(), mask, width_, height_, matrices_);
  return count;
}

void TextureAnalyzer::LearnCooccurrenceWhole(const Dib& source) {
  Quantise(source, nullptr, quantised_);
  AccumulateSymmetric(quantised_.Pixels(), quantised_.Stride(), nullptr, width_, height_,
                      matrices_);
}

void TextureAnalyzer::LearnCooccurrenceBlock(const IntRect& rect) {
  AccumulateBlock(quantised_.Pixels(), quantised_.Stride(), width_, height_, rect, matrices_);
}

void TextureAnalyzer::LearnCooccurrenceRandomBlock(Dib& second, const IntRect* rect) {
  const int bits = second.GetBitCount();
  const int w = second.Width();
  const int h = second.Height();
  if ((bits != 8 && bits != 24) || w < 5 || h < 5) return;
  IntRect block;
  if (rect) {
    block = *rect;
  } else {
    // A position that changes with the clock: the fractional parts of multiples of pi and e.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - kStart)
                        .count();
    const double t1 = static_cast<double>(ms % 3230) * 3.14159265;
    const double t2 = static_cast<double>(ms % 3401) * 2.7182817;
    const int64_t x = static_cast<int64_t>((t1 - std::floor(t1)) * 1271.01256);
    const int64_t y = static_cast<int64_t>((t2 - std::floor(t2)) * 1101.130354);
    block.x0 = static_cast<int>(x % (4 * w / 5));
    block.y0 = static_cast<int>(y % (4 * h / 5));
    block.x1 = block.x0 + w / 5;
    block.y1 = block.y0 + h / 5;
  }
  EnsureDisplay(secondQuantised_, w, second.HeaderHeight(), 8);
  Quantise(second, nullptr, secondQuantised_);
  if (bits == 24) {
    DrawLine(second, block.x0, block.y0, block.x0, block.y1, 255, 0, 0);
    DrawLine(second, block.x1, block.y0, block.x1, block.y1, 255, 0, 0);
  }
  AccumulateSymmetricRect(secondQuantised_.Pixels(), secondQuantised_.Stride(), w, h, block,
                          matrices_);
}

void TextureAnalyzer::LearnCooccurrenceByRegion(uint8_t label) {
  AccumulateSymmetricLabel(quantised_.Pixels(), quantised_.Stride(), regions_.Plane(), label,
                           width_, height_, matrices_);
}

void TextureAnalyzer::ShowCooccurrence(Dib& display, bool logScale) const {
  fw::ShowCooccurrence(matrices_, display, logScale);
}

bool TextureAnalyzer::UpdateScores() {
  return ComputeTextureScores(matrices_, scores_);
}

// --- the texture signature -------------------------------------------------------------------

void TextureAnalyzer::LearnTextureSignature(const Dib& source, Dib* display) {
  LearnCooccurrenceByKey(source);
  UpdateScores();
  if (learningCount_ < kSignatureFrames) {
    learningStore_[learningCount_] = scores_.scores;
    if (learningCount_ == kSignatureFrames - 1) {
      for (int d = 0; d < kDirections; ++d) {
        double sum = 0;
        double squares = 0;
        for (const auto& entry : learningStore_) {
          sum += entry[d];
          squares += double{entry[d]} * entry[d];
        }
        const double mean = sum / kSignatureFrames;
        signatureMean_[d] = static_cast<float>(mean);
        signatureDeviation_[d] =
            static_cast<float>(std::sqrt(std::max(squares / kSignatureFrames - mean * mean, 0.0)));
      }
    }
  }
  ++learningCount_;
  if (display) ChartScores(*display, scores_, nullptr);
}

bool TextureAnalyzer::MatchTextureSignature() const {
  if (learningCount_ < kSignatureFrames || lastTexturePixels_ <= kMinTexturePixels) return false;
  float distance = 0.0f;
  for (int d = 0; d < kDirections; ++d) {
    const float e = scores_.scores[d] - signatureMean_[d];
    distance += e * e;
  }
  return distance < 0.0225f;
}

void TextureAnalyzer::ResetSignature() {
  signatureMean_ = kDefaultSignature;
  signatureDeviation_.fill(0.0f);
  learningCount_ = 0;
}

void TextureAnalyzer::ChartScores(Dib& display, const TextureScores& scores,
                                  const TextureScores* second) {
  EnsureDisplay(display, kChartSide, kChartSide, 24);
  int column = chartColumn_;
  if (column >= kChartSide) {
    // The chart is full: everything moves one column to the left.
    for (int y = 0; y < kChartSide; ++y) {
      uint8_t* row = display.Row(y);
      std::memmove(row, row + 3, size_t(kChartSide - 1) * 3);
    }
    column = kChartSide - 1;
  }
  for (int y = 0; y < kChartSide; ++y) std::memset(display.Row(y) + 3 * column, 0, 3);
  const auto dots = [&](const TextureScores& set, int shift) {
    for (int d = 0; d < kDirections; ++d) {
      const float s = set.scores[d] * kChartSide;
      const int y = std::clamp(std::isfinite(s) ? static_cast<int>(s) : 0, 0, kChartSide - 1);
      uint8_t* p = display.Row(y) + 3 * column;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(kScoreColours[d][c] >> shift);
    }
  };
  dots(scores, 0);
  if (second) dots(*second, 1);
  ++chartColumn_;
}

// --- mask boundary, projections, regions -----------------------------------------------------

void TextureAnalyzer::MarkMaskBoundary(const Dib& source, Dib& display) {
  regions_.Prepare(Mask());
  regions_.MarkMaskBoundary(source, display);
}

void TextureAnalyzer::MeasureProjections() {
  projections_.Measure(Mask());
  projections_.Store();
}

int TextureAnalyzer::LabelMask() {
  regions_.Prepare(Mask());
  return regions_.Label();
}

int TextureAnalyzer::RegionPipeline(const Dib& source, Dib& display, bool alternativeCleanup) {
  regions_.Prepare(Mask());
  const int points = regions_.RunPipeline(alternativeCleanup);
  regions_.Paint(source, display);
  return points;
}

void TextureAnalyzer::ContourSpectrum(FourierAnalyzer& fourier, Dib& display) {
  EnsureDisplay(display, width_, headerHeight_, 24);
  fourier.ContourDescriptors(regions_.ContourX(), regions_.ContourY(), regions_.ContourCount());
  fourier.DrawContourSpectrum(display.Pixels(), width_, height_, 24);
}

}  // namespace fw
