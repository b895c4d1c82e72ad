// The one analysis object of the top-left pane's operations. It looks at the pane's picture
// through three lenses: the grey-level co-occurrence of a texture (four direction matrices and
// four texture scores, learned over frames and matched against a signature), the projections of
// a foreground mask onto rows and columns, and the regions of that mask.
//
// The texture pixels are chosen by a colour key: a pixel that differs enough from black belongs
// to the texture, so an operator can paint a sample's background black and study the rest. While
// an external mask is set (a background model's foreground), it replaces the key mask.
//
// The analyser is initialised for one picture size when an operation is chosen; every operation
// checks that the picture still has that size and depth (Fits) and allocates nothing per frame.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "core/draw.h"
#include "workbench/cooccurrence.h"
#include "workbench/projections.h"
#include "workbench/region_analysis.h"

namespace fw {

class FourierAnalyzer;

inline constexpr int kSignatureFrames = 100;  // frames the texture signature is learned over
// The signature's means before anything has been learned.
inline constexpr std::array<float, kDirections> kDefaultSignature = {0.5653466f, 0.6678829f,
                                                                     0.6742806f, 0.6676419f};

class TextureAnalyzer {
 public:
  // --- set-up ---
  // Sizes the mask, the quantised image, the projection history and the region planes for the
  // source's size and depth (8-bit or 24-bit) and forgets the key mask; the co-occurrence
  // matrices are cleared unless kept. The learning store, the signature and the counters stay.
  void Initialise(const Dib& source, bool keepMatrices);
  bool Initialised() const { return width_ > 0; }
  // The picture has the size and depth the analyser was initialised for.
  bool Fits(const Dib& source) const;
  int Width() const { return width_; }
  int Height() const { return height_; }

  // A packed width x height mask (non-zero: foreground) that replaces the key mask, or null.
  // The caller keeps it alive while it is set and sets it again before every use (Initialise
  // leaves it alone).
  void SetExternalMask(const uint8_t* mask) { externalMask_ = mask; }
  bool HasExternalMask() const { return externalMask_ != nullptr; }
  // The mask the operations read: the external one when set, else the key mask.
  const uint8_t* Mask() const { return externalMask_ ? externalMask_ : keyMask_.data(); }

  // --- the colour key ---
  // Key mask = 1 where a 24-bit pixel differs from black by 59 |G| + 30 |R| + 11 |B| >= 2500, or
  // an 8-bit pixel exceeds 24. With a display: the source with the key pixels tinted blue.
  // Returns the number of key pixels.
  int BuildKeyMask(const Dib& source, Dib* display);
  // Builds the key mask when none has been built since the last Initialise, or always when
  // `everyFrame` (the "Color Key" switch); nothing while an external mask is set.
  void EnsureKeyMask(const Dib& source, bool everyFrame);

  // --- co-occurrence ---
  // With more than 16 mask pixels (external mask, else a fresh key mask): the quantised image
  // (levels of the mask pixels, 0 elsewhere) and the symmetric co-occurrence of neighbouring mask
  // pixels. Returns the number of mask pixels; 0, with the matrices unchanged, for 16 or fewer.
  int LearnCooccurrenceByKey(const Dib& source);
  // The quantised image of every pixel and the symmetric co-occurrence of all neighbours.
  void LearnCooccurrenceWhole(const Dib& source);
  // The co-occurrence of the quantised image inside the rectangle (x1, y1 excluded), from the
  // centre's side only (not symmetrised).
  void LearnCooccurrenceBlock(const IntRect& rect);
  // Negative examples: a block a fifth of the second source's width and height (at `rect` when
  // given, else at a position taken from the clock) quantised like the whole picture, its left
  // and right edges drawn into a 24-bit second source, and its symmetric co-occurrence.
  void LearnCooccurrenceRandomBlock(Dib& second, const IntRect* rect);
  // The symmetric co-occurrence of the pixels of one region of the last labelling (LabelMask),
  // over the quantised image of the last LearnCooccurrenceByKey.
  void LearnCooccurrenceByRegion(uint8_t label);
  void ShowCooccurrence(Dib& display, bool logScale) const;
  // Recomputes the scores and measures; false (both unchanged) when a matrix is too small.
  bool UpdateScores();
  const TextureScores& Scores() const { return scores_; }
  const CooccurrenceMatrices& Matrices() const { return matrices_; }
  // The quantised image: 8-bit, source size, palette entry j green (256 / 32) x j.
  Dib& QuantisedImage() { return quantised_; }

  // --- the texture signature ---
  // The co-occurrence by key and the scores; during the first 100 frames the scores are stored,
  // and on the 100th frame the signature (mean and deviation of each score) is computed. With a
  // display: one column of the scrolling 256 x 256 score chart.
  void LearnTextureSignature(const Dib& source, Dib* display);
  // True once the signature is learned, when the last frame had texture and its scores lie
  // within 0.15 (a squared distance below 0.0225) of the signature's means.
  bool MatchTextureSignature() const;
  // The signature means return to their defaults and learning starts again.
  void ResetSignature();
  // One column of the scrolling 256 x 256 score chart: the four scores as dots in four colours,
  // and a second set (the negative examples') in darker ones.
  void ChartScores(Dib& display, const TextureScores& scores, const TextureScores* second);
  int LearningCount() const { return learningCount_; }
  const std::array<float, kDirections>& SignatureMeans() const { return signatureMean_; }
  const std::array<float, kDirections>& SignatureDeviations() const { return signatureDeviation_; }

  // --- mask boundary, projections, regions ---
  void MarkMaskBoundary(const Dib& source, Dib& display);
  ProjectionHistory& Projections() { return projections_; }
  // This frame's projections of the mask, stored in the history slot of the counter.
  void MeasureProjections();
  // The region pipeline on a copy of the mask, painted into the display. Returns the number of
  // contour points traced.
  int RegionPipeline(const Dib& source, Dib& display, bool alternativeCleanup);
  // The regions of a copy of the mask, labelled by size. Returns their number.
  int LabelMask();
  // The Fourier descriptors of the last traced contour as a bar chart in the display (24-bit,
  // the source's size).
  void ContourSpectrum(FourierAnalyzer& fourier, Dib& display);
  const RegionAnalysis& Regions() const { return regions_; }

 private:
  // Levels of the source into `levels` (8-bit, the source's size): 24-bit (59 G + 11 B + 30 R)
  // / 800, 8-bit v / 8; pixels outside the mask (when one is given) 0.
  static void Quantise(const Dib& source, const uint8_t* mask, Dib& levels);

  int width_ = 0;
  int height_ = 0;
  int bits_ = 0;
  int headerHeight_ = 0;
  std::vector<uint8_t> keyMask_;
  bool keyMaskBuilt_ = false;
  const uint8_t* externalMask_ = nullptr;
  Dib quantised_;
  Dib secondQuantised_;  // the levels of the second source
  CooccurrenceMatrices matrices_;
  TextureScores scores_;
  int lastTexturePixels_ = 0;

  std::array<float, kDirections> signatureMean_ = kDefaultSignature;
  std::array<float, kDirections> signatureDeviation_{};
  std::array<std::array<float, kDirections>, kSignatureFrames> learningStore_{};
  int learningCount_ = 0;
  int chartColumn_ = 0;  // columns of the score chart drawn so far

  ProjectionHistory projections_;
  RegionAnalysis regions_;
};

}  // namespace fw
