#include "learn/compiled_cascade.h"

#include <bit>

namespace fw {

FeatureChoice SpecOf(const WeakRecord& r) {
  FeatureChoice s;
  s.code = r.featureCode;
  s.x = r.x;
  s.y = r.y;
  s.w = r.w;
  s.h = r.h;
  s.second = std::bit_cast<CountRect>(r.minValue);
  return s;
}

void SetFeature(WeakRecord& r, const FeatureChoice& s, bool codeCount) {
  r.featureCode = s.code;
  r.x = s.x;
  r.y = s.y;
  r.w = s.w;
  r.h = s.h;
  const uint32_t pattern = (static_cast<uint32_t>(s.code) >> 16) & 0xFFFF;
  if (codeCount && pattern == 41) r.minValue = std::bit_cast<float>(s.second);
}

}  // namespace fw
