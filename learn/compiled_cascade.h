// A loaded cascade resolved for one feature family's planes at one window size: per weak record
// the resolved feature, both thresholds in the type the flavour compares them in and its
// weight; per stage its size and threshold. Resolving happens when a mode or a sample run is set
// up; deciding a window then allocates nothing. Samples, frame scans and training all decide
// through this one class and the feature functions of the families.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "learn/classifier_set.h"
#include "learn/code_count_features.h"
#include "learn/texture_features.h"
#include "learn/window_features.h"

namespace fw {

// A weak record's feature in family-neutral form: code, rectangle and, for code-count pattern
// 41, the second rectangle.
struct FeatureSpec {
  int32_t code = 0;
  uint8_t x = 0, y = 0, w = 0, h = 0;
  CountRect second;
};
FeatureSpec SpecOf(const WeakRecord& record);
// Writes code and rectangles into a record (the second rectangle into minValue's bytes).
void SetFeature(WeakRecord& record, const FeatureSpec& spec, bool codeCount);

// Both sums of one stage over one window, for sweeping the stage threshold.
struct StageVote {
  float yes = 0.0f;    // V: weights of the weak classifiers that said yes
  float total = 0.0f;  // W: all weights of the stage
};

// --- the families: planes, resolved features, window origins, values ---

struct WindowByteFamily {
  using Planes = WindowPlanes;
  using Feature = ResolvedWindowFeature;
  using Origin = size_t;
  using Value = int32_t;
  struct Context {
    int side = kWindowBase;
    int stride = kWindowBase;
  };
  static Feature Resolve(const FeatureSpec& s, const Context& c) {
    return ResolveWindowFeature(s.code, s.x, s.y, s.w, s.h, c.side, c.stride, WindowForm::Byte);
  }
  static Value Eval(const Planes& p, const Feature& f, Origin o) {
    return WindowValueByte(p, f, o);
  }
};

struct WindowFloatFamily {
  using Planes = WindowPlanes;
  using Feature = ResolvedWindowFeature;
  using Origin = size_t;
  using Value = float;
  using Context = WindowByteFamily::Context;
  static Feature Resolve(const FeatureSpec& s, const Context& c) {
    return ResolveWindowFeature(s.code, s.x, s.y, s.w, s.h, c.side, c.stride, WindowForm::Float);
  }
  static Value Eval(const Planes& p, const Feature& f, Origin o) {
    return WindowValueFloat(p, f, o);
  }
};

struct CodeCountFamily {
  using Planes = CodeCountPlanes;
  using Feature = ResolvedCountFeature;
  using Origin = CountOrigin;
  using Value = int32_t;
  struct Context {
    const CodeCountPlanes* planes = nullptr;  // the level sizes features are resolved against
    int n = 1;                                // windows of side 48 n
  };
  static Feature Resolve(const FeatureSpec& s, const Context& c) {
    return ResolveCountFeature(*c.planes, s.code, {s.x, s.y, s.w, s.h}, s.second, c.n);
  }
  static Value Eval(const Planes& p, const Feature& f, const Origin& o) {
    return CountValue(p, f, o);
  }
};

struct TextureFamily {
  using Planes = TexturePlanes;
  using Feature = ResolvedTextureFeature;
  struct Origin {
    int x = 0;
    int y = 0;
  };
  using Value = int32_t;
  struct Context {
    int stride = kTextureBase;
  };
  static Feature Resolve(const FeatureSpec& s, const Context& c) {
    return ResolveTextureFeature(s.code, s.x, s.y, s.w, s.h, c.stride);
  }
  static Value Eval(const Planes& p, const Feature& f, const Origin& o) {
    return TextureValue(p, f, o.x, o.y);
  }
};

template <typename Family>
class CompiledCascade {
 public:
  using Value = typename Family::Value;
  using Origin = typename Family::Origin;

  // Resolves the records of the model's stages (which the model's load has checked).
  void Compile(const ClassifierSet& model, const typename Family::Context& context) {
    stages_ = model.StageCount();
    const ThresholdType type = InfoOf(model.flavour).thresholds;
    for (int s = 0; s < stages_; ++s) {
      sizes_[s] = model.stageSizes[s];
      theta_[s] = model.StageTheta(s);
    }
    weak_.clear();
    weak_.reserve(static_cast<size_t>(model.RecordsInStages()));
    for (int k = 0; k < model.RecordsInStages(); ++k) {
      const WeakRecord& r = model.records[k];
      const Thresholds t = ThresholdsOf(r, type);
      weak_.push_back({Family::Resolve(SpecOf(r), context), static_cast<Value>(t.t1),
                       static_cast<Value>(t.t2), r.alpha});
    }
  }

  int Stages() const { return stages_; }
  bool Empty() const { return stages_ == 0; }

  bool Yes(int record, const typename Family::Planes& planes, const Origin& origin) const {
    const Weak& w = weak_[record];
    return WeakYes(Family::Eval(planes, w.feature, origin), w.t1, w.t2);
  }

  CascadeResult Decide(const typename Family::Planes& planes, const Origin& origin) const {
    return RunStages(
        sizes_.data(), theta_.data(), stages_, [this](int r) { return weak_[r].alpha; },
        [&](int r) { return Yes(r, planes, origin); });
  }

  // V and W of every stage (out holds Stages() entries), summed in the order Decide sums them.
  void Votes(const typename Family::Planes& planes, const Origin& origin,
             std::span<StageVote> out) const {
    int record = 0;
    for (int s = 0; s < stages_; ++s) {
      StageVote vote;
      for (int k = 0; k < sizes_[s]; ++k, ++record) {
        vote.total += weak_[record].alpha;
        if (Yes(record, planes, origin)) vote.yes += weak_[record].alpha;
      }
      out[s] = vote;
    }
  }

 private:
  struct Weak {
    typename Family::Feature feature;
    Value t1;
    Value t2;
    float alpha;
  };
  int stages_ = 0;
  std::array<int32_t, ClassifierSet::kMaxStages> sizes_{};
  std::array<float, ClassifierSet::kMaxStages> theta_{};
  std::vector<Weak> weak_;
};

}  // namespace fw
