#include "learn/flavour_sample.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/colour.h"

namespace fw {

bool IsCropType(FeatureFamily family, int cropType) {
  if (cropType >= 1 && cropType <= 7) return true;
  return family == FeatureFamily::Texture &&
         (cropType == 8 || cropType == 90 || cropType == 180 || cropType == 270);
}

bool FlavourSample::Stretch(const Dib& picture, SampleRect s, bool mirror) {
  if (picture.GetBitCount() != 24 || picture.Width() == 0 || picture.Height() == 0) return false;
  s.x0 = std::max(s.x0, 0);
  s.y0 = std::max(s.y0, 0);
  s.x1 = std::min(s.x1, picture.Width() - 1);
  s.y1 = std::min(s.y1, picture.Height() - 1);
  if (s.x1 < s.x0 || s.y1 < s.y0) return false;
  const int base = Base();
  if (!window_.SameFormat(base, base, 24)) window_.Create(base, base, 24, false);
  ResampleRect(picture, window_, s, SampleRect{0, 0, base - 1, base - 1});
  window_.MirrorLeftRight(mirror);
  BuildPlanes();
  return true;
}

bool FlavourSample::PrepareRegion(const Dib& picture, SampleRect region, bool mirror) {
  return Stretch(picture, region, mirror);
}

bool FlavourSample::PrepareCrop(const Dib& picture, int type) {
  const FeatureFamily family = InfoOf(flavour_).family;
  if (!IsCropType(family, type)) return false;
  const int w = picture.Width(), h = picture.Height();
  const SampleRect whole{0, 0, w - 1, h - 1};
  const bool texture = family == FeatureFamily::Texture;
  switch (type) {
    case 1:
      return Stretch(picture, whole, false);
    case 2:
      return Stretch(picture,
                     texture ? SampleRect{w / 4 - 1, h / 4 - 1, 3 * w / 4 - 4, 3 * h / 4 - 4}
                             : SampleRect{23, 23, 70, 70},
                     false);
    case 3:
      return Stretch(picture, {11, 11, 58, 58}, false);
    case 4:
      return Stretch(picture, {11, 34, 58, 81}, false);
    case 5:
      return Stretch(picture, {34, 11, 81, 58}, false);
    case 6:
      return Stretch(picture, {34, 34, 81, 81}, false);
    case 7:
      return Stretch(picture, whole, true);
    case 8:
      return Stretch(picture, {w / 10, h / 10, w - w / 10, h - h / 10}, false);
    default: {  // 90, 180, 270
      if (picture.GetBitCount() != 24) return false;
      if (!rotated_.SameFormat(w, h, 24)) rotated_.Create(w, h, 24, false);
      RotateAbout(picture, rotated_, (w - 1) / 2.0, (h - 1) / 2.0, type * std::numbers::pi / 180.0);
      return Stretch(rotated_, whole, false);
    }
  }
}

namespace {

template <typename Family>
class FamilySample : public FlavourSample {
 public:
  FamilySample(Flavour flavour, typename Family::Context context)
      : FlavourSample(flavour), context_(context) {}

  void SetFeatures(std::span<const FeatureChoice> features) override {
    features_.clear();
    for (const FeatureChoice& s : features) features_.push_back(Family::Resolve(s, context_));
  }
  void Values(std::span<double> out) const override {
    for (size_t i = 0; i < features_.size(); ++i) {
      out[i] = static_cast<double>(Family::Eval(planes_, features_[i], origin_));
    }
  }
  void SetCascade(const ClassifierSet& model) override { cascade_.Compile(model, context_); }
  int CascadeStages() const override { return cascade_.Stages(); }
  CascadeResult Decide() const override { return cascade_.Decide(planes_, origin_); }
  void Votes(std::span<StageVote> out) const override { cascade_.Votes(planes_, origin_, out); }

 protected:
  void BuildPlanes() override;

  typename Family::Context context_;
  typename Family::Planes planes_;
  typename Family::Origin origin_{};
  std::vector<typename Family::Feature> features_;
  CompiledCascade<Family> cascade_;
};

template <>
void FamilySample<WindowByteFamily>::BuildPlanes() {
  BuildWindowPlanes(window_, planes_);
}
template <>
void FamilySample<WindowFloatFamily>::BuildPlanes() {
  BuildWindowPlanes(window_, planes_);
}
template <>
void FamilySample<TextureFamily>::BuildPlanes() {
  work_.CopyFrom(window_, work_.SameFormat(window_));
  IntensitySaturationInPlace(work_);
  planes_.Compute(work_);
}
template <>
void FamilySample<CodeCountFamily>::BuildPlanes() {
  BuildCodeCountPlanes(window_, flavour() == Flavour::Blbp ? CodeFamily::Blbp : CodeFamily::Pltp,
                       planes_);
}

// The code-count family resolves against its planes' level sizes, so they exist (built over a
// black window) before the first sample.
class CountSample : public FamilySample<CodeCountFamily> {
 public:
  explicit CountSample(Flavour flavour) : FamilySample(flavour, {}) {
    window_.Create(kCountBase, kCountBase, 24, false);
    BuildPlanes();
    context_.planes = &planes_;
  }
};

}  // namespace

std::unique_ptr<FlavourSample> FlavourSample::Create(Flavour flavour) {
  switch (flavour) {
    case Flavour::Byte:
      return std::make_unique<FamilySample<WindowByteFamily>>(flavour, WindowByteFamily::Context{});
    case Flavour::Float:
      return std::make_unique<FamilySample<WindowFloatFamily>>(flavour,
                                                               WindowFloatFamily::Context{});
    case Flavour::Blbp:
    case Flavour::Pltp:
      return std::make_unique<CountSample>(flavour);
    case Flavour::Eoh:
      return std::make_unique<FamilySample<TextureFamily>>(flavour, TextureFamily::Context{});
  }
  return nullptr;
}

}  // namespace fw
