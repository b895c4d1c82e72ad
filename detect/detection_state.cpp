#include "detect/detection_state.h"

namespace fw {

namespace {

constexpr double kAny = 3.4e38;  // a float's range

const ParamField kControlFields[] = {
    {"threshold", "Threshold: (difference threshold; its low byte for the block modes)", 0, 1000, 5,
     true, [](const DetectionState& s) { return double(s.threshold); },
     [](DetectionState& s, double v) { s.threshold = static_cast<int>(v); }},
    {"gaussThreshold", "Gauss model Threshold (kernel density: probability below 1, else 0.9)",
     -kAny, kAny, 25, false, [](const DetectionState& s) { return double(s.gaussThreshold); },
     [](DetectionState& s, double v) { s.gaussThreshold = static_cast<float>(v); }},
};

}  // namespace

std::span<const ParamField> ControlFields() {
  return kControlFields;
}

}  // namespace fw
