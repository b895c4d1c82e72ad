// A picture brought to a flavour's base window and the flavour's planes built over it: the one
// place where sample pictures become feature values and cascade decisions, for training,
// evaluation of sample folders and the mining of negatives.
#pragma once

#include <memory>
#include <span>

#include "core/dib.h"
#include "core/resample.h"
#include "learn/compiled_cascade.h"
#include "learn/flavour.h"

namespace fw {

// Crop types: the region of the picture stretched to the base window (W x H the picture's size,
// rectangles (left, top, right, bottom) inclusive, in memory rows).
//   1 whole picture; 2..6 fixed squares (texture family: type 2 the centre half); 7 whole
//   picture mirrored left-right; texture family only: 8 the picture less a tenth on every side,
//   90, 180, 270 the whole picture rotated about its centre.
bool IsCropType(FeatureFamily family, int cropType);

class FlavourSample {
 public:
  static std::unique_ptr<FlavourSample> Create(Flavour flavour);
  virtual ~FlavourSample() = default;

  Flavour flavour() const { return flavour_; }
  int Base() const { return InfoOf(flavour_).baseWindow; }

  // Stretches the crop of a 24-bit picture to the base window and builds the planes. False
  // (planes unchanged) for another depth, a crop type the family lacks, or a crop that leaves
  // no pixel of the picture.
  bool PrepareCrop(const Dib& picture, int cropType);
  // The same for an inclusive rectangle of the picture (a window of a frame), mirrored left-right
  // when asked.
  bool PrepareRegion(const Dib& picture, SampleRect region, bool mirror = false);
  // The base-window picture the planes were built from (24-bit, before any conversion).
  const Dib& Window() const { return window_; }

  // Features whose values Values() returns, resolved for the base window.
  virtual void SetFeatures(std::span<const FeatureChoice> features) = 0;
  virtual void Values(std::span<double> out) const = 0;

  // The cascade of a loaded model (of this flavour), resolved for the base window.
  virtual void SetCascade(const ClassifierSet& model) = 0;
  virtual int CascadeStages() const = 0;
  virtual CascadeResult Decide() const = 0;
  virtual void Votes(std::span<StageVote> out) const = 0;

 protected:
  explicit FlavourSample(Flavour flavour) : flavour_(flavour) {}
  virtual void BuildPlanes() = 0;

  Dib window_;  // base x base, 24-bit
  Dib work_;    // the converted window (intensity and saturation for the texture family)

 private:
  bool Stretch(const Dib& picture, SampleRect region, bool mirror);
  Flavour flavour_;
  Dib rotated_;
};

}  // namespace fw
