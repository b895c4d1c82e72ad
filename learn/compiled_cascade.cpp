#include "learn/compiled_cascade.h"

#include <bit>

namespace fw {

FeatureSpec SpecOf(const WeakRecord& r) {
  FeatureSpec s;
  s.code = r.featureCode;
  s.x = r.x;
  s.y = r.y;
  s.w = r.w;
  s.h = r.h;
  s.second = std::bit_cast<CountRect>(r.minValue);
  return s;
}

void SetFeature(WeakRecord& r, const FeatureSpec& s, bool codeCount) {
  r.featureCode = s.code;
  r.x = s.x;
  r.y = s.y;
  r.w = s.w;
  r.h = s.h;
  const uint32_t pattern = (static_cast<uint32_t>(s.code) >> 16) & 0xFFFF;
  if (codeCount && pattern == 41) r.minValue = std::bit_cast<float>(s.second);
}

CountClassSet CountClassesRead(const ClassifierSet& model, CodeFamily family) {
  CountClassSet read;
  for (int k = 0; k < model.RecordsInStages(); ++k) {
    const uint32_t code = static_cast<uint32_t>(model.records[k].featureCode);
    const uint32_t plane = code & 0xFF, level = (code >> 8) & 0xFF;
    if (family == CodeFamily::Blbp && level != 0) continue;
    if (level < read.size() && plane < kMaxCountClasses) read[level].set(plane);
  }
  return read;
}

}  // namespace fw
