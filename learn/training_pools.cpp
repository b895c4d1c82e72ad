#include "learn/training_pools.h"

#include <initializer_list>

namespace fw {

namespace {

// Rectangles R(x, y, w, h) of a window of side `base` covering `c` pixels a side (w = c + 1),
// positions c / 2 apart, for every c of the list and independently along x and y.
std::vector<CountRect> Rectangles(int base, std::initializer_list<int> covered, int scale) {
  struct Span {
    int start, size;
  };
  std::vector<Span> spans;
  for (int c : covered) {
    const int w = c + 1;
    for (int x = 0; x + w <= base; x += std::max(c / 2, 1)) spans.push_back({x, w});
  }
  std::vector<CountRect> rects;
  for (const Span& ys : spans) {
    for (const Span& xs : spans) {
      rects.push_back(
          {static_cast<uint8_t>(xs.start * scale), static_cast<uint8_t>(ys.start * scale),
           static_cast<uint8_t>(xs.size * scale), static_cast<uint8_t>(ys.size * scale)});
    }
  }
  return rects;
}

FeatureChoice Choice(int32_t code, CountRect r, CountRect second = {}) {
  return {code, r.x, r.y, r.w, r.h, second};
}

std::vector<FeatureChoice> WindowPoolSpecs() {
  std::vector<FeatureChoice> choices;
  for (const WindowPool& pool : {CentredPool(), SlidingPool()}) {
    for (const FeatureDesc& d : pool.features)
      choices.push_back({d.featureCode, d.x, d.y, d.w, d.h, {}});
  }
  return choices;
}

std::vector<FeatureChoice> BlbpPool() {
  std::vector<FeatureChoice> choices;
  const std::vector<CountRect> rects = Rectangles(kCountBase, {8, 12, 16, 24, 47}, 1);
  for (int k = 0; k < CountClasses(CodeFamily::Blbp, 0); ++k) {
    for (const CountRect& r : rects) choices.push_back(Choice(CountFeatureCode(k, 0, 1), r));
  }
  for (int k = 0; k < CountClasses(CodeFamily::Blbp, 0); ++k) {
    for (const CountRect& r : rects) {
      const CountRect right{static_cast<uint8_t>(r.x + r.w - 1), r.y, r.w, r.h};
      const CountRect below{r.x, static_cast<uint8_t>(r.y + r.h - 1), r.w, r.h};
      for (const CountRect& n : {right, below}) {
        if (n.x + n.w <= kCountBase && n.y + n.h <= kCountBase) {
          choices.push_back(Choice(CountFeatureCode(k, 0, 41), r, n));
        }
      }
    }
  }
  return choices;
}

std::vector<FeatureChoice> PltpPool() {
  std::vector<FeatureChoice> choices;
  struct Level {
    int level;
    std::initializer_list<int> covered;
  };
  for (const Level& lv : {Level{0, {12, 16, 24, 47}}, Level{1, {6, 12, 23}}, Level{2, {5, 11}}}) {
    const int scale = 1 << lv.level;
    const std::vector<CountRect> rects = Rectangles(kCountBase / scale, lv.covered, scale);
    for (int k = 0; k < CountClasses(CodeFamily::Pltp, lv.level); ++k) {
      for (const CountRect& r : rects) choices.push_back(Choice(CountFeatureCode(k, lv.level, 1), r));
    }
  }
  return choices;
}

std::vector<FeatureChoice> EohPool() {
  std::vector<FeatureChoice> choices;
  const std::vector<CountRect> rects = Rectangles(kTextureBase, {6, 8, 12, 16, 23}, 1);
  auto add = [&](int plane, int pattern) {
    for (const CountRect& r : rects)
      choices.push_back(Choice(TextureFeatureCode(plane, 0, pattern, 0), r));
  };
  for (int plane = 0; plane <= 30; ++plane) {
    if (plane != 19 && plane != 20 && plane != 29) add(plane, 1);
  }
  add(19, 2);
  add(20, 2);
  add(29, 4);
  for (int pattern : {11, 12, 21, 22}) {
    for (int plane : {8, 9, 18, 30}) add(plane, pattern);
  }
  for (int plane : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 18, 30}) {
    for (int m = 1; m <= kMomentCount; ++m) {
      choices.push_back(Choice(TextureFeatureCode(plane, 0, 0, m), {0, 0, 24, 24}));
    }
  }
  return choices;
}

}  // namespace

std::vector<FeatureChoice> TrainingPool(Flavour flavour) {
  switch (flavour) {
    case Flavour::Byte:
    case Flavour::Float:
      return WindowPoolSpecs();
    case Flavour::Blbp:
      return BlbpPool();
    case Flavour::Pltp:
      return PltpPool();
    case Flavour::Eoh:
      return EohPool();
  }
  return {};
}

}  // namespace fw
