// A loaded cascade resolved for one feature family's planes at one window size: per weak record
// the resolved feature, both thresholds in the type the flavour compares them in and its
// weight; per stage its size and threshold. Resolving happens when a mode or a sample run is set
// up; deciding a window then allocates nothing. Samples, frame scans and training all decide
// through this one class and the feature functions of the families.
//
// Decide stops a stage as soon as its outcome is certain: once the yes-weights reach theta x W
// (weights are not negative, so the sum can only grow), or once even every remaining weight
// could not lift it there (with a margin of 1e-4 that covers the rounding of up to 1000 single
// precision additions). It answers exactly as DecideAll, which evaluates every weak classifier
// of the stages it reaches; a stage with a negative weight is always evaluated whole.
#pragma once

#include <array>
#include <cmath>
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
struct FeatureChoice {
  int32_t code = 0;
  uint8_t x = 0, y = 0, w = 0, h = 0;
  CountRect second;
};
FeatureChoice SpecOf(const WeakRecord& record);
// Writes code and rectangles into a record (the second rectangle into minValue's bytes).
void SetFeature(WeakRecord& record, const FeatureChoice& feature, bool codeCount);

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
  static Feature Resolve(const FeatureChoice& s, const Context& c) {
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
  static Feature Resolve(const FeatureChoice& s, const Context& c) {
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
  static Feature Resolve(const FeatureChoice& s, const Context& c) {
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
  static Feature Resolve(const FeatureChoice& s, const Context& c) {
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
    weak_.clear();
    weak_.reserve(static_cast<size_t>(model.RecordsInStages()));
    for (int k = 0; k < model.RecordsInStages(); ++k) {
      const WeakRecord& r = model.records[k];
      const Thresholds t = ThresholdsOf(r, type);
      weak_.push_back({Family::Resolve(SpecOf(r), context), static_cast<Value>(t.t1),
                       static_cast<Value>(t.t2), r.alpha, 0.0});
    }
    int first = 0;
    for (int s = 0; s < stages_; ++s) {
      sizes_[s] = model.stageSizes[s];
      theta_[s] = model.StageTheta(s);
      float total = 0.0f;
      bool nonNegative = true;
      for (int k = first; k < first + sizes_[s]; ++k) {
        total += weak_[k].alpha;
        nonNegative = nonNegative && weak_[k].alpha >= 0.0f && std::isfinite(weak_[k].alpha);
      }
      bar_[s] = theta_[s] * total;  // the product StagePasses compares with
      early_[s] = nonNegative && std::isfinite(bar_[s]);
      double rest = 0.0;
      for (int k = first + sizes_[s] - 1; k >= first; --k) {
        weak_[k].rest = rest;
        rest += weak_[k].alpha;
      }
      first += sizes_[s];
    }
  }

  int Stages() const { return stages_; }
  bool Empty() const { return stages_ == 0; }

  bool Yes(int record, const typename Family::Planes& planes, const Origin& origin) const {
    const Weak& w = weak_[record];
    return WeakYes(Family::Eval(planes, w.feature, origin), w.t1, w.t2);
  }

  CascadeResult Decide(const typename Family::Planes& planes, const Origin& origin) const {
    CascadeResult r;
    int first = 0;
    for (int s = 0; s < stages_; ++s) {
      const int end = first + sizes_[s];
      if (!early_[s]) {
        r.weakEvaluated += sizes_[s];
        float w = 0.0f, v = 0.0f;
        for (int k = first; k < end; ++k) {
          w += weak_[k].alpha;
          if (Yes(k, planes, origin)) v += weak_[k].alpha;
        }
        if (!StagePasses(v, w, theta_[s])) {
          r.accepted = false;
          return r;
        }
      } else {
        const float bar = bar_[s];
        float v = 0.0f;
        bool passes = v >= bar;
        for (int k = first; k < end && !passes; ++k) {
          ++r.weakEvaluated;
          if (Yes(k, planes, origin)) v += weak_[k].alpha;
          if (v >= bar) {
            passes = true;
          } else if ((v + weak_[k].rest) * 1.0001 < bar) {
            break;
          }
        }
        if (!passes) {
          r.accepted = false;
          return r;
        }
      }
      ++r.stagesPassed;
      first = end;
    }
    return r;
  }

  // The plain decision: every weak classifier of every stage reached, as the model decides.
  CascadeResult DecideAll(const typename Family::Planes& planes, const Origin& origin) const {
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
    double rest;  // the weights after this one in its stage
  };
  int stages_ = 0;
  std::array<int32_t, ClassifierSet::kMaxStages> sizes_{};
  std::array<float, ClassifierSet::kMaxStages> theta_{};
  std::array<float, ClassifierSet::kMaxStages> bar_{};
  std::array<bool, ClassifierSet::kMaxStages> early_{};
  std::vector<Weak> weak_;
};

}  // namespace fw
